#pragma once
// Work spread over the machine's hardware threads. A stage cuts its input into batches in file
// order; several threads work on the batches, and the stage's own thread takes the results in
// batch order, so what comes out is exactly what one thread working through the input makes.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>
#include <utility>

namespace tarvik {

// How the stages split their work. Tests and benchmarks change it between tasks, never while
// one runs.
struct ParallelTuning {
  unsigned threads = 0;  // 0: every hardware thread the process may use
  // The least work worth a thread of its own: bytes of the file for the load and the parse,
  // records for the filter and the export.
  std::size_t minBytesPerThread = std::size_t{256} << 10;
  std::uint32_t minRecordsPerThread = 65536;
};
ParallelTuning& Tuning();

// The most threads a stage uses.
constexpr unsigned kMaxThreads = 64;

// The threads to use for `parts` parts of work (at least 1, at most `parts` and kMaxThreads).
unsigned ThreadsFor(std::size_t parts);

// How a pass over n records is cut: batches of at most a percent of the records each (so the
// batches that are done report every percent) and at most 2048, and the threads to use.
struct RecordBatches {
  std::uint32_t size = 1;  // records per batch (the last one may have fewer)
  std::size_t count = 0;   // batches
  unsigned threads = 1;
  std::uint32_t First(std::size_t batch) const { return static_cast<std::uint32_t>(batch * size); }
};
RecordBatches PlanRecordBatches(std::uint32_t records);

// A non-owning reference to a callable, valid while the callable lives.
template <class Signature>
class FunctionRef;
template <class R, class... A>
class FunctionRef<R(A...)> {
 public:
  template <class F, class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, FunctionRef>>>
  FunctionRef(F&& f)  // NOLINT: implicit, like a function pointer
      : object_(const_cast<void*>(static_cast<const void*>(std::addressof(f)))),
        call_([](void* o, A... a) -> R {
          return (*static_cast<std::remove_reference_t<F>*>(o))(std::forward<A>(a)...);
        }) {}
  R operator()(A... a) const { return call_(object_, std::forward<A>(a)...); }

 private:
  void* object_;
  R (*call_)(void*, A...);
};

// Batches in flight are kept in at most this many slots.
constexpr std::size_t kMaxWindow = 1024;

// Runs work(batch, thread) for every batch in [0, count) on up to `threads` threads: the
// calling thread is thread 0, helpers are 1..threads-1, so per-thread state can be indexed by
// it. commit(batch) runs on the calling thread, in batch order, as soon as that batch and all
// before it are done. No batch starts `window` (at most kMaxWindow) or more batches ahead of
// the next one to commit, so a batch's results can live in slot batch % window until its
// commit. When commit returns false or stop() returns true, no further batch starts and none is
// committed any more; batches already running finish first. A helper that cannot be started
// leaves its share to the others. An exception from work, commit or stop, on any thread, ends
// the run the same way and then reaches the caller: it leaves only once every helper has been
// joined.
void RunOrdered(std::size_t count, unsigned threads, std::size_t window,
                FunctionRef<void(std::size_t, unsigned)> work,
                FunctionRef<bool(std::size_t)> commit, FunctionRef<bool()> stop);

}  // namespace tarvik
