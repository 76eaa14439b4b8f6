#pragma once
// Test doubles for the task pipeline: a sink that records every call, a temporary source
// file, and a fixture that runs tasks over one POI store.
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "core/std_compat.h"
#include "core/text.h"
#include "core/tracked_memory.h"
#include "processing/pipeline.h"
#include "processing/poi_store.h"

namespace tarvik::enginetest {

// A record as text ("X Y TYPE SPEED DIRTYPE DIRECTION", coordinates to 17 digits), so that
// lists compare with readable failures.
inline std::string Str(const PoiRecord& r) {
  char buf[160];
  char* p = buf;
  for (double v : {r.X, r.Y}) {
    p = compat::to_chars(p, buf + sizeof buf, v, std::chars_format::general, 17).ptr;
    *p++ = ' ';
  }
  for (int v : {r.TYPE, r.SPEED, r.DIRTYPE, r.DIRECTION}) {
    p = std::to_chars(p, buf + sizeof buf, v).ptr;
    *p++ = ' ';
  }
  return std::string(buf, p - 1);
}
inline std::vector<std::string> Strs(const std::vector<PoiRecord>& records) {
  std::vector<std::string> out;
  for (const PoiRecord& r : records) out.push_back(Str(r));
  return out;
}

struct SinkEvent {
  enum Kind { Progress, Status, Cancel, End } kind;
  int value;
  bool operator==(const SinkEvent&) const = default;
};
inline void PrintTo(const SinkEvent& e, std::ostream* os) {
  static const char* names[] = {"Progress", "Status", "Cancel", "End"};
  *os << names[e.kind] << ' ' << e.value;
}

// Records the calls; `onEvent` runs after each one (on the worker thread), e.g. to cancel.
class RecordingSink : public TaskSink {
 public:
  void SetProgress(int percent) override { Add({SinkEvent::Progress, percent}); }
  void SetStatus(std::uint32_t id) override { Add({SinkEvent::Status, static_cast<int>(id)}); }
  void EnableCancel(bool on) override { Add({SinkEvent::Cancel, on ? 1 : 0}); }
  void EndTask(int code) override { Add({SinkEvent::End, code}); }

  void Clear() {
    std::lock_guard<std::mutex> g(mutex_);
    events_.clear();
  }
  std::vector<SinkEvent> Events() {
    std::lock_guard<std::mutex> g(mutex_);
    return events_;
  }
  std::vector<int> Statuses() {
    std::vector<int> out;
    for (const SinkEvent& e : Events())
      if (e.kind == SinkEvent::Status) out.push_back(e.value);
    return out;
  }
  bool SawStatus(int id) {
    for (int s : Statuses())
      if (s == id) return true;
    return false;
  }
  int EndCount() {
    int n = 0;
    for (const SinkEvent& e : Events()) n += e.kind == SinkEvent::End;
    return n;
  }

  std::function<void(const SinkEvent&)> onEvent;

 private:
  void Add(SinkEvent e) {
    {
      std::lock_guard<std::mutex> g(mutex_);
      events_.push_back(e);
    }
    if (onEvent) onEvent(e);
  }
  std::mutex mutex_;
  std::vector<SinkEvent> events_;
};

// A file with the given bytes in the temporary folder, removed at the end of the test.
class TempFile {
 public:
  explicit TempFile(std::string_view bytes, const std::string& suffix = ".txt") {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() / ("tarvik_test_" + std::to_string(::getpid()) +
                                                      "_" + std::to_string(counter++) + suffix);
    std::ofstream out(path_, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  ~TempFile() {
    std::error_code ec;
    std::filesystem::remove(path_, ec);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::u16string path16() const { return Utf8ToUtf16(path_.string()); }

 private:
  std::filesystem::path path_;
};

// One context and POI store; runs tasks with a recording sink.
class EngineTest : public ::testing::Test {
 protected:
  void TearDown() override { MemFailAfter(0); }

  // A fresh task over the store for `path`; the sink forgets earlier tasks.
  void NewTask(std::uint32_t flags, const std::u16string& path = {}) {
    sink.Clear();
    task = std::make_unique<WorkerTask>();
    task->appContext = &context;
    task->poiStore = &store;
    task->progressWindow = &sink;
    task->targetPath = path;
    task->stageFlags = flags;
  }

  // Loads and parses `bytes` through RunTask; true when the task ended without abort.
  bool LoadAndParse(std::string_view bytes) {
    TempFile file(bytes);
    NewTask(TASK_LOAD_FILE | TASK_PARSE, file.path16());
    EXPECT_EQ(RunTask(task.get()), 0);
    return !Aborted(*task);
  }

  PoiData& data() { return *store.data; }
  void ClearStore() {
    std::lock_guard<std::recursive_mutex> hold(store.lock);
    store.Clear(0);
  }
  std::vector<PoiRecord> Records() {
    return std::vector<PoiRecord>(data().records, data().records + data().recordCount);
  }
  std::vector<std::string> RecordStrs() { return Strs(Records()); }
  bool StoreEmpty() {
    const PoiData& d = data();
    return d.fileBytes == nullptr && d.fileLength == 0 && d.records == nullptr &&
           d.recordCount == 0 && d.sourceFormat == SOURCE_NONE && d.typeCounters == nullptr &&
           d.areaCounters == nullptr;
  }

  CAppContext context;
  CPoiStore store{&context};
  RecordingSink sink;
  std::unique_ptr<WorkerTask> task;
};

inline PoiRecord Rec(double x, double y, int type, int speed = 0, int dirtype = 0, int dir = 0) {
  PoiRecord r;
  r.X = x;
  r.Y = y;
  r.TYPE = type;
  r.SPEED = speed;
  r.DIRTYPE = dirtype;
  r.DIRECTION = dir;
  return r;
}

}  // namespace tarvik::enginetest
