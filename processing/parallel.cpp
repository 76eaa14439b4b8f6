#include "processing/parallel.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "core/platform.h"

namespace tarvik {

ParallelTuning& Tuning() {
  static ParallelTuning tuning;
  return tuning;
}

unsigned ThreadsFor(std::size_t parts) {
  unsigned threads = Tuning().threads ? Tuning().threads : platform::HardwareThreads();
  if (parts < threads) threads = static_cast<unsigned>(parts);
  return std::clamp(threads, 1u, kMaxThreads);
}

RecordBatches PlanRecordBatches(std::uint32_t records) {
  RecordBatches plan;
  plan.size = std::clamp<std::uint32_t>(records / 100, 1, 2048);
  plan.count = (std::size_t{records} + plan.size - 1) / plan.size;
  plan.threads = ThreadsFor(records / std::max<std::uint32_t>(Tuning().minRecordsPerThread, 1));
  return plan;
}

void RunOrdered(std::size_t count, unsigned threads, std::size_t window,
                FunctionRef<void(std::size_t, unsigned)> work,
                FunctionRef<bool(std::size_t)> commit, FunctionRef<bool()> stop) {
  window = std::clamp<std::size_t>(window, 1, kMaxWindow);
  threads = std::max(1u, threads);
  std::mutex mutex;
  std::condition_variable changed;
  std::size_t next = 0;       // the next batch to start
  std::size_t committed = 0;  // the next batch to commit
  bool ended = false;         // a commit failed, stop() said so, or a helper threw
  bool done[kMaxWindow] = {};
  std::exception_ptr failure;  // a helper's exception, thrown on here once every helper ended

  // Under the lock: may another batch start?
  auto mayStart = [&] {
    if (!ended && stop()) ended = true;
    return !ended && next < count && next < committed + window;
  };
  auto helper = [&](unsigned slot) {
    std::unique_lock<std::mutex> lock(mutex);
    try {
      for (;;) {
        if (mayStart()) {
          std::size_t b = next++;
          lock.unlock();
          std::exception_ptr thrown;
          try {
            work(b, slot);
          } catch (...) {
            thrown = std::current_exception();
          }
          lock.lock();
          // Done also when it threw, so that nobody waits for it; never committed then.
          done[b % window] = true;
          changed.notify_all();
          if (thrown) std::rethrow_exception(thrown);
        } else if (ended || next >= count) {
          return;
        } else {
          changed.wait(lock);  // the window is full until the next commit
        }
      }
    } catch (...) {
      if (!lock.owns_lock()) lock.lock();
      if (!failure) failure = std::current_exception();
      ended = true;
      changed.notify_all();
    }
  };

  {
    // On every way out of this scope, also when work or commit throws on this thread, the
    // helpers are told to end, finish the batch they are in and are joined.
    struct Helpers {
      std::mutex& mutex;
      std::condition_variable& changed;
      bool& ended;
      std::thread threads[kMaxThreads] = {};
      ~Helpers() {
        {
          std::lock_guard<std::mutex> guard(mutex);
          ended = true;
        }
        changed.notify_all();
        for (std::thread& t : threads)
          if (t.joinable()) t.join();
      }
    } helpers{mutex, changed, ended};
    for (unsigned slot = 1; slot < threads && slot < count && slot < kMaxThreads; ++slot) {
      try {
        helpers.threads[slot] = std::thread(helper, slot);
      } catch (const std::exception&) {
        break;  // no thread or no memory for one: the threads that did start share the work
      }
    }

    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
      if (committed < count && done[committed % window]) {
        done[committed % window] = false;
        if (!ended && stop()) ended = true;
        bool ok = true;
        if (!ended) {
          lock.unlock();
          ok = commit(committed);
          lock.lock();
        }
        ++committed;
        if (!ok) ended = true;
        changed.notify_all();
        continue;
      }
      if (mayStart()) {
        std::size_t b = next++;
        lock.unlock();
        work(b, 0);
        lock.lock();
        done[b % window] = true;
        continue;
      }
      std::size_t running = next - committed;  // batches started and not finished
      for (std::size_t b = committed; b < next; ++b) running -= done[b % window] ? 1 : 0;
      if (committed == count || (ended && running == 0)) break;
      changed.wait(lock);
    }
  }
  if (failure) std::rethrow_exception(failure);
}

}  // namespace tarvik
