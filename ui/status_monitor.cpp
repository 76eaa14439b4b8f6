#include "ui/status_monitor.h"

#include <system_error>

#include "core/store_lock.h"
#include "core/text.h"
#include "core/tracked_memory.h"
#include "processing/poi_store.h"
#include "resources/string_ids.h"

namespace tarvik {
std::u16string MemoryFigureText(std::int64_t bytes) {
  constexpr double kPerKb = 1.0 / 1024;
  if (bytes < 1024) return StrLoad(STR_MEMORY_BYTES, static_cast<long long>(bytes));
  if (bytes < 1048576) return StrLoad(STR_MEMORY_KB, static_cast<double>(bytes) * kPerKb);
  return StrLoad(STR_MEMORY_MB, static_cast<double>(bytes) * kPerKb * kPerKb);
}

StatusReport ComputeStatus(const StatusSource& source) {
  StatusReport r;
  r.statusBar = source.statusBar;
  if (!source.statusBar) return r;
  r.memory = MemoryFigureText(MemInUse(source.context));
  r.poiIcon = ICON_POI_NONE;
  if (!source.poiStore) {
    r.poi = StrLoad(STR_POI_NO_STORE);
    return r;
  }
  CPoiStore& store = *source.poiStore;
  if (!TryEnterStore(store)) {
    r.poi = StrLoad(STR_POI_BUSY);
    return r;
  }
  const PoiData* d = store.data;
  if (d && d->records) {
    const std::u16string path = source.sourcePath ? source.sourcePath() : std::u16string();
    r.poiIcon = ICON_POI_LOADED;
    r.poi = StrLoad(d->sourceFormat == SOURCE_OSM ? STR_POI_OSM_LOADED : STR_POI_LOADED,
                    d->recordCount, path);
    if (d->recordCount != 0 && d->typeCounterCount != 0) {
      const double p = 100.0 - static_cast<double>(d->unmatchedCount) * 100.0 /
                                   static_cast<double>(d->recordCount);
      r.match = StrLoad(STR_MATCH, p);
    }
  } else {
    r.poi = StrLoad(STR_POI_NOT_LOADED);
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
