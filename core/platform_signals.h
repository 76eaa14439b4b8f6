#pragma once
// The signals that end a program from outside (Ctrl+C, kill, the end of a session), turned
// into a call on a thread of their own, so that the program can end the way it ends by
// itself: a running task stops, files in progress go, settings are written.
#include <atomic>
#include <functional>
#include <thread>

namespace tarvik::platform {

// A file larger than the process may write must fail the write (EFBIG, reported like a full
// disk) instead of killing the process half-way.
void IgnoreFileSizeSignal();

class TerminationWatch {
 public:
  // Blocks SIGINT, SIGTERM and SIGHUP in the calling thread and in every thread it starts
  // later (so construct it before any other thread exists), and calls `onSignal` with the
  // first of them on the watch's own thread. A second one ends the process at once, as the
  // signal would have. Without a thread for the watch the signals keep their usual effect
  // and running() is false.
  explicit TerminationWatch(std::function<void(int)> onSignal);
  ~TerminationWatch();
  TerminationWatch(const TerminationWatch&) = delete;
  TerminationWatch& operator=(const TerminationWatch&) = delete;

  bool running() const { return thread_.joinable(); }
  // The signal received, 0 while none was.
  int received() const { return received_.load(); }

 private:
  void Watch();

  std::function<void(int)> onSignal_;
  std::atomic<int> received_{0};
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

// Ends the process by `signal` as if it had never been caught, so that whoever started it
// sees how it ended (the shell's 130 after Ctrl+C).
[[noreturn]] void EndBySignal(int signal);

}  // namespace tarvik::platform
