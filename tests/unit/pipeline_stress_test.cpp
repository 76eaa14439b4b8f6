// The pipeline under load, for the thread sanitizer above all: a worker runs the tasks the
// windows run (open, export, save and reload) on real stores, a monitor reads the stores as
// the status bar does, and every task is cancelled at another moment: at each report of the
// worker in turn, and from a third thread after a varying delay. Whatever the moment, the
// stores stay whole, the older export and the settings are never torn, and no temporary file
// is left.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/store_lock.h"
#include "core/tracked_memory.h"
#include "engine_test_util.h"
#include "params/ini_file.h"
#include "params/param_store.h"
#include "processing/program_entry.h"
#include "processing/statistics_rows.h"
#include "test_files.h"

namespace tarvik::enginetest {
namespace {

namespace fs = std::filesystem;

class PipelineStress : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = scratch.path();
    std::string table = "X,Y,TYPE,SPEED\r\n";
    for (int i = 0; i < 3000; ++i)
      table += std::to_string(30 + i % 10) + ".5," + std::to_string(50 + i % 7) + ".5," +
               std::to_string(1 + i % 7) + ",60\r\n";
    testfiles::WriteBytes(dir / "cams.txt", table);
  }
  testfiles::ScratchDir scratch{"stress"};
  fs::path dir;
};

// Cancels at the n-th report of the worker (0: never).
class CancelAt : public TaskSink {
 public:
  CancelAt(WorkerTask& task, int n) : task_(task), left_(n) {}
  void SetProgress(int) override { Count(); }
  void SetStatus(std::uint32_t) override { Count(); }
  void EnableCancel(bool) override { Count(); }
  void EndTask(int) override {}

 private:
  void Count() {
    if (left_ > 0 && --left_ == 0) SetAbort(task_);
  }
  WorkerTask& task_;
  int left_;
};

TEST_F(PipelineStress, CancelAtEveryMomentWhileAMonitorReads) {
  const std::u16string ini = Utf8ToUtf16((dir / "Tarvik.ini").string());
  const std::u16string table = Utf8ToUtf16((dir / "cams.txt").string());
  const std::u16string out = Utf8ToUtf16((dir / "out.csv").string());
  CAppContext context;
  ProgramEntry entry(context, {ini, true, false});
  CPoiStore poi(&context);
  CParamStore params(&context);

  std::atomic<bool> stop{false};
  // The filter and the export try the settings once and skip their work when another thread
  // holds them (nothing of the program does during a task): the monitor leaves them alone
  // until the reference export has been made.
  std::atomic<bool> readParams{false};
  std::atomic<std::uint64_t> looks{0};
  std::thread monitor([&] {
    while (!stop.load()) {
      volatile std::int64_t inUse = MemInUse(&context);
      (void)inUse;
      if (TryEnterStore(poi)) {
        if (poi.data && poi.data->records) {
          EXPECT_LE(poi.data->unmatchedCount, poi.data->recordCount);
        }
        LeaveStore(poi);
      }
      if (readParams.load() && TryEnterStore(params)) {
        if (params.data) {
          EXPECT_LE(params.Filters().size(), 100u);
        }
        LeaveStore(params);
      }
      ++looks;
      std::this_thread::yield();
    }
  });
  // Ends the monitor also when an assertion returns early.
  struct Join {
    std::atomic<bool>& stop;
    std::thread& thread;
    ~Join() {
      stop = true;
      thread.join();
    }
  } join{stop, monitor};

  // Runs one task on a worker of its own, cancelled at report `at`, or after `delay` from
  // another thread when `at` is negative.
  auto run = [&](std::uint32_t flags, int at, std::chrono::microseconds delay,
                 RefNode* entries = nullptr, RefNode* areas = nullptr,
                 ExportProfile* profile = nullptr) {
    WorkerTask task;
    CancelAt sink(task, at > 0 ? at : 0);
    task.progressWindow = &sink;
    task.appContext = &context;
    task.poiStore = &poi;
    task.paramStore = &params;
    task.stageFlags = flags;
    task.targetPath = flags & TASK_EXPORT ? out : table;
    task.entryList = entries;
    task.areaList = areas;
    task.exportProfile = profile;
    task.replaceTarget = true;
    std::thread worker([&] { RunTask(&task); });
    if (at < 0) {
      std::this_thread::sleep_for(delay);
      SetAbort(task);
    }
    worker.join();
    return !Aborted(task) && task.failure.stringId == 0;
  };

  ASSERT_TRUE(run(TASK_LOAD_PARAMS, 0, {}));
  ASSERT_TRUE(run(TASK_LOAD_FILE | TASK_PARSE | TASK_FILTER, 0, {}));
  // The complete export, for comparison.
  std::string complete;
  auto exportNow = [&](int at, std::chrono::microseconds delay) {
    std::vector<RefNode> entryNodes, areaNodes;
    ExportProfile* profile = nullptr;
    {
      StoreHold<CParamStore> p(&params, StoreHold<CParamStore>::Wait);
      StoreHold<CPoiStore> s(&poi, StoreHold<CPoiStore>::Wait);
      if (!poi.data || !params.data) return false;
      for (const TypeRow& row : BuildTypeRows(*poi.data))
        entryNodes.push_back({row.entry, nullptr});
      for (const AreaRow& row : BuildAreaRows(*poi.data)) areaNodes.push_back({row.area, nullptr});
      profile = params.CurrentProfile();
    }
    if (entryNodes.empty() || areaNodes.empty() || !profile) return false;
    for (std::size_t k = 0; k + 1 < entryNodes.size(); ++k) entryNodes[k].next = &entryNodes[k + 1];
    for (std::size_t k = 0; k + 1 < areaNodes.size(); ++k) areaNodes[k].next = &areaNodes[k + 1];
    return run(TASK_EXPORT, at, delay, entryNodes.data(), areaNodes.data(), profile);
  };
  ASSERT_TRUE(exportNow(0, {}));
  complete = testfiles::ReadBytes(dir / "out.csv");
  ASSERT_GT(complete.size(), 1000u);
  // A save puts the three sections after the others: from then on every save writes the same.
  ASSERT_TRUE(run(TASK_SAVE_PARAMS | TASK_LOAD_PARAMS | TASK_FILTER, 0, {}));
  const std::string settings = testfiles::ReadBytes(dir / "Tarvik.ini");

  readParams = true;

  const int kRounds = 120;
  for (int round = 0; round < kRounds; ++round) {
    // The first half cancels at a report that moves through every stage, the second from
    // outside at a varying moment.
    const int at = round < kRounds / 2 ? 1 + round * 7 % 330 : -1;
    const auto delay = std::chrono::microseconds((round * 397) % 4000);
    run(TASK_LOAD_FILE | TASK_PARSE | TASK_FILTER, at, delay);
    exportNow(at, delay);
    run(TASK_SAVE_PARAMS | TASK_LOAD_PARAMS | TASK_FILTER, at, delay);

    const std::string written = testfiles::ReadBytes(dir / "out.csv");
    ASSERT_TRUE(written == complete) << "round " << round << ": " << written.size() << " bytes";
    ASSERT_EQ(testfiles::ReadBytes(dir / "Tarvik.ini"), settings) << "round " << round;
    ASSERT_TRUE(testfiles::NoTemporaries(dir)) << "round " << round;
    {
      StoreHold<CPoiStore> s(&poi, StoreHold<CPoiStore>::Wait);
      if (poi.data && !poi.data->records) {
        EXPECT_EQ(poi.data->recordCount, 0u);
        EXPECT_EQ(poi.data->typeCounterCount, 0u);
      }
    }
    // A cancelled reload leaves the store empty and marked stale: load it again.
    bool stale = false;
    {
      StoreHold<CParamStore> p(&params, StoreHold<CParamStore>::Wait);
      stale = params.data->stale;
    }
    if (stale) {
      ASSERT_TRUE(run(TASK_LOAD_PARAMS, 0, {}));
    }
  }
  EXPECT_GT(looks.load(), 0u);
}

}  // namespace
}  // namespace tarvik::enginetest
