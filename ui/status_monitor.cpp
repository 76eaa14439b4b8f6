#include "ui/status_monitor.h"

#include <system_error>

#include "core/text.h"
#include "core/tracked_memory.h"
#include "processing/poi_store.h"
#include "processing/store_lock.h"

namespace tarvik {
namespace {

constexpr std::uint32_t kTextBytes = 902, kTextKb = 903, kTextMb = 904;
constexpr std::uint32_t kTextMatch = 604;
constexpr std::uint32_t kTextLoaded = 605, kTextNotLoaded = 606, kTextBusy = 607,
                        kTextNoStore = 598;

}  // namespace

std::u16string MemoryFigureText(std::int64_t bytes) {
  constexpr double kPerKb = 1.0 / 1024;
  if (bytes < 1024) return StrLoad(kTextBytes, static_cast<long long>(bytes));
  if (bytes < 1048576) return StrLoad(kTextKb, static_cast<double>(bytes) * kPerKb);
  return StrLoad(kTextMb, static_cast<double>(bytes) * kPerKb * kPerKb);
}

StatusReport ComputeStatus(const StatusSource& source) {
  StatusReport r;
  r.statusBar = source.statusBar;
  if (!source.statusBar) return r;
  r.memory = MemoryFigureText(MemInUse(source.context));
  r.poiIcon = ICON_POI_NONE;
  if (!source.poiStore) {
    r.poi = StrLoad(kTextNoStore);
    return r;
  }
  CPoiStore& store = *source.poiStore;
  if (!TryEnterStore(store)) {
    r.poi = StrLoad(kTextBusy);
    return r;
  }
  const PoiData* d = store.data;
  if (d && d->records) {
    const std::u16string path = source.sourcePath ? source.sourcePath() : std::u16string();
    r.poiIcon = ICON_POI_LOADED;
    r.poi = StrLoad(kTextLoaded, d->recordCount, path);
    if (d->recordCount != 0 && d->typeCounterCount != 0) {
      const double p = 100.0 - static_cast<double>(d->unmatchedCount) * 100.0 /
                                   static_cast<double>(d->recordCount);
      r.match = StrLoad(kTextMatch, p);
    }
  } else {
    r.poi = StrLoad(kTextNotLoaded);
  }
  LeaveStore(store);
  return r;
}

StatusMonitor::~StatusMonitor() {
  Stop();
  Join();
}

bool StatusMonitor::Start(StatusSource source, Deliver deliver, End end) {
  if (thread_.joinable()) return false;
  source_ = std::move(source);
  deliver_ = std::move(deliver);
  end_ = std::move(end);
  try {
    thread_ = std::thread([this] { Loop(); });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void StatusMonitor::RaiseStop() {
  std::int32_t expected = 0;
  stopFlag.compare_exchange_strong(expected, 1);
}

void StatusMonitor::Stop() {
  RaiseStop();
  {
    std::lock_guard<std::mutex> guard(eventLock_);
    signalled_ = true;
  }
  event_.notify_all();
}

void StatusMonitor::Join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

bool StatusMonitor::WaitTimedOut() {
  std::unique_lock<std::mutex> lock(eventLock_);
  return !event_.wait_for(lock, kPeriod, [this] { return signalled_; });
}

void StatusMonitor::Loop() {
  while (stopFlag.load() == 0) {
    if (deliver_) deliver_(ComputeStatus(source_));
    if (!WaitTimedOut()) RaiseStop();
  }
  if (end_) end_();
}

}  // namespace tarvik
