#pragma once
// The status monitor: a thread that, every 500 ms, works out the main window's memory figure,
// the POI state and the match percentage, and hands them to the window's thread, which alone
// touches the widgets. It never waits for a store: the POI store is tried once per cycle.
// Stopping it (Exit, Escape, the close box) raises its flag and signals its event; it then
// leaves its loop and asks the main window to end. No window code here.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "resources/dialog_templates.h"

namespace tarvik {

struct CAppContext;
class CPoiStore;

// What one cycle found; the window shows it as it is.
struct StatusReport {
  bool statusBar = false;     // false: only the match label is set
  std::u16string memory;      // part 0, with ICON_MEMORY
  std::uint32_t poiIcon = 0;  // part 1 icon
  std::u16string poi;         // part 1 text
  std::u16string match;       // label 1022; empty shows nothing
};

// What the monitor reads of the main window. Fixed before the thread starts.
struct StatusSource {
  CAppContext* context = nullptr;
  CPoiStore* poiStore = nullptr;  // null: the "no POI store" row
  bool statusBar = false;
  // The source path of the loaded table, copied under the window's own lock.
  std::function<std::u16string()> sourcePath;
};

// The memory figure: bytes below 1 KiB (negative values included), KB below 1 MiB, else MB.
std::u16string MemoryFigureText(std::int64_t bytes);

// One cycle's results, computed on the calling thread.
StatusReport ComputeStatus(const StatusSource& source);

class StatusMonitor {
 public:
  using Deliver = std::function<void(StatusReport)>;  // called on the monitor thread
  using End = std::function<void()>;                  // called once, after the loop

  StatusMonitor() = default;
  // Stops the thread and waits for it.
  ~StatusMonitor();
  StatusMonitor(const StatusMonitor&) = delete;
  StatusMonitor& operator=(const StatusMonitor&) = delete;

  // Starts the thread; false when it cannot be created.
  bool Start(StatusSource source, Deliver deliver, End end);
  // Raises the stop flag (0 -> 1) and signals the stop event; returns at once.
  void Stop();
  // Waits for the thread to end (after Stop it finishes its cycle and ends at once).
  void Join();
  bool Started() const { return thread_.joinable(); }

  static constexpr std::chrono::milliseconds kPeriod{500};

  std::atomic<std::int32_t> stopFlag{0};

 private:
  void Loop();
  void RaiseStop();
  // Waits up to kPeriod; false when the event was signalled.
  bool WaitTimedOut();

  StatusSource source_;
  Deliver deliver_;
  End end_;
  std::mutex eventLock_;
  std::condition_variable event_;  // manual reset: stays signalled once set
  bool signalled_ = false;
  std::thread thread_;
};

}  // namespace tarvik
