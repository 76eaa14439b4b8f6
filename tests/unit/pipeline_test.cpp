// The task pipeline: stage order, reporting, the lock protocol, cancellation at each stage,
// clean-up after failures, allocation failures.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "core/platform.h"
#include "core/store_lock.h"
#include "engine_test_util.h"
#include "params/param_store.h"
#include "processing/parallel.h"
#include "test_files.h"

namespace tarvik::enginetest {
namespace {

namespace fs = std::filesystem;
using E = SinkEvent;

constexpr int kDone = 590, kOpening = 591, kLoading = 592, kParsing = 593;

// Puts doubles into the stage slots and restores the real ones afterwards.
class Pipeline : public EngineTest {
 protected:
  void SetUp() override {
    saved_[0] = g_saveParamsStage;
    saved_[1] = g_loadParamsStage;
    saved_[2] = g_loadFileStage;
    saved_[3] = g_parseStage;
    saved_[4] = g_filterStage;
    saved_[5] = g_exportStage;
  }
  void TearDown() override {
    g_saveParamsStage = saved_[0];
    g_loadParamsStage = saved_[1];
    g_loadFileStage = saved_[2];
    g_parseStage = saved_[3];
    g_filterStage = saved_[4];
    g_exportStage = saved_[5];
    EngineTest::TearDown();
  }

  // Every progress value of the task, in order.
  std::vector<int> Progress() {
    std::vector<int> out;
    for (const E& e : sink.Events())
      if (e.kind == E::Progress) out.push_back(e.value);
    return out;
  }

 private:
  StageOperation saved_[6];
};

std::string SampleTable(int lines) {
  std::string text = "IDX,X,Y,TYPE,SPEED,DIRTYPE,DIRECTION\r\n";
  for (int i = 0; i < lines; ++i)
    text += std::to_string(i) + ",37." + std::to_string(100000 + i) + ",55.75,1,60,1,90\r\n";
  return text;
}

// Stage doubles: each notes its flag in `g_order`.
std::vector<std::uint32_t> g_order;
bool NoteSave(WorkerTask&) {
  return g_order.push_back(TASK_SAVE_PARAMS), true;
}
bool NoteLoadParams(WorkerTask&) {
  return g_order.push_back(TASK_LOAD_PARAMS), true;
}
bool NoteLoad(WorkerTask& t) {
  return g_order.push_back(TASK_LOAD_FILE), LoadSourceFile(t);
}
bool NoteParse(WorkerTask& t) {
  return g_order.push_back(TASK_PARSE), ParseSource(t);
}
bool NoteFilter(WorkerTask&) {
  return g_order.push_back(TASK_FILTER), true;
}
bool NoteExport(WorkerTask&) {
  return g_order.push_back(TASK_EXPORT), true;
}

// ---- running and reporting -----------------------------------------------------------------

TEST_F(Pipeline, NoTaskAndNoStages) {
  EXPECT_EQ(RunTask(nullptr), 1);
  NewTask(0);
  EXPECT_EQ(RunTask(task.get()), 0);
  EXPECT_EQ(sink.Events(), (std::vector<E>{{E::Status, kDone}, {E::End, 2}}));
  // Bits without a stage do nothing either.
  NewTask(0x01 | 0x02 | 0x100);
  RunTask(task.get());
  EXPECT_EQ(sink.Statuses(), std::vector<int>{kDone});
}

TEST_F(Pipeline, StagesRunInTheFixedOrderWhateverTheFlags) {
  g_order.clear();
  g_saveParamsStage = NoteSave;
  g_loadParamsStage = NoteLoadParams;
  g_loadFileStage = NoteLoad;
  g_parseStage = NoteParse;
  g_filterStage = NoteFilter;
  g_exportStage = NoteExport;
  CParamStore params(&context);
  TempFile file(SampleTable(3));
  NewTask(0xFC, file.path16());
  task->paramStore = &params;
  RunTask(task.get());
  EXPECT_EQ(g_order, (std::vector<std::uint32_t>{TASK_SAVE_PARAMS, TASK_LOAD_PARAMS, TASK_LOAD_FILE,
                                                 TASK_PARSE, TASK_FILTER, TASK_EXPORT}));
  EXPECT_EQ(data().recordCount, 3u);
  EXPECT_EQ(sink.Statuses().back(), kDone);
}

TEST_F(Pipeline, LoadAndParseReportProgressOncePerPercent) {
  TempFile file(SampleTable(5000));
  NewTask(TASK_LOAD_FILE | TASK_PARSE, file.path16());
  RunTask(task.get());
  ASSERT_FALSE(Aborted(*task));
  EXPECT_EQ(data().recordCount, 5000u);
  EXPECT_EQ(sink.Statuses(), (std::vector<int>{kOpening, kLoading, kOpening, kParsing, kDone}));

  // Each stage: 0 from the pipeline (before its status), 0 from the operation, then strictly
  // rising to 100.
  std::vector<std::vector<int>> stages;
  const std::vector<E> events = sink.Events();
  for (std::size_t i = 0; i < events.size(); ++i) {
    if (events[i].kind != E::Progress) continue;
    if (i + 1 < events.size() && events[i + 1] == E{E::Status, kOpening}) stages.emplace_back();
    ASSERT_FALSE(stages.empty());
    stages.back().push_back(events[i].value);
  }
  ASSERT_EQ(stages.size(), 2u);
  for (const auto& p : stages) {
    ASSERT_GE(p.size(), 3u);
    EXPECT_EQ(p[0], 0);
    EXPECT_EQ(p[1], 0);
    for (std::size_t i = 2; i < p.size(); ++i) EXPECT_GT(p[i], p[i - 1]);
    EXPECT_EQ(p.back(), 100);
  }
  EXPECT_GT(stages[1].size(), 50u);  // the parse reports many steps of a 250 KB table
  EXPECT_EQ(sink.Events().back(), (E{E::End, 2}));
}

TEST_F(Pipeline, LoadedBytesAreTheFileAndZeroTerminated) {
  std::string bytes = SampleTable(40000);  // a few pieces of reading
  bytes[100] = '\0';
  TempFile file(bytes);
  NewTask(TASK_LOAD_FILE, file.path16());
  RunTask(task.get());
  ASSERT_EQ(data().fileLength, bytes.size());
  EXPECT_EQ(std::string(data().fileBytes, data().fileLength), bytes);
  EXPECT_EQ(data().fileBytes[data().fileLength], 0);
  EXPECT_EQ(data().recordCount, 0u);
}

TEST_F(Pipeline, EmptyFileLoadsNothingAndParsesToNothing) {
  EXPECT_TRUE(LoadAndParse(""));
  EXPECT_EQ(data().fileLength, 0u);
  EXPECT_EQ(data().recordCount, 0u);
  EXPECT_TRUE(sink.SawStatus(kDone));
}

TEST_F(Pipeline, ReloadReplacesTheStore) {
  ASSERT_TRUE(LoadAndParse(SampleTable(10)));
  ASSERT_TRUE(LoadAndParse("2|0|0|0\n1|0|2|3\n"));
  EXPECT_EQ(data().sourceFormat, SOURCE_BAR);
  EXPECT_EQ(data().recordCount, 1u);
  // A parse alone starts again from the loaded bytes.
  NewTask(TASK_PARSE);
  RunTask(task.get());
  EXPECT_EQ(data().recordCount, 1u);
  EXPECT_EQ(data().sourceFormat, SOURCE_BAR);
}

// ---- failures and their clean-up -------------------------------------------------------------

TEST_F(Pipeline, MissingFileFailsTheLoadAndLaterStagesDoNothing) {
  g_order.clear();
  g_filterStage = NoteFilter;
  fs::path missing = fs::temp_directory_path() / "tarvik_test_missing_file.txt";
  NewTask(0xE0, Utf8ToUtf16(missing.string()));
  RunTask(task.get());
  EXPECT_TRUE(Aborted(*task));
  EXPECT_EQ(task->failure.stringId, 705u);
  std::string text = Utf16ToUtf8(FailureText(task->failure));
  EXPECT_NE(text.find(missing.string()), std::string::npos) << text;
  EXPECT_NE(text.find(platform::ErrorText(ENOENT)), std::string::npos) << text;
  EXPECT_TRUE(StoreEmpty());
  // The filter stage still ran (with the flag set): its operation is called and finds it.
  EXPECT_EQ(g_order, std::vector<std::uint32_t>{TASK_FILTER});
  EXPECT_EQ(sink.Statuses().back(), kLoading);  // no "Готово"
  EXPECT_EQ(sink.EndCount(), 1);
}

TEST_F(Pipeline, FolderIsRefusedAsASource) {
  NewTask(TASK_LOAD_FILE | TASK_PARSE, Utf8ToUtf16(fs::temp_directory_path().string()));
  RunTask(task.get());
  EXPECT_TRUE(Aborted(*task));
  EXPECT_EQ(task->failure.stringId, 705u);
  EXPECT_TRUE(StoreEmpty());
}

TEST_F(Pipeline, FileBeyondThirtyTwoBitsIsRefusedBeforeReading) {
  TempFile file("X,Y,TYPE\n");
  std::error_code ec;
  fs::resize_file(file.path(), std::uintmax_t{UINT32_MAX} + 2, ec);  // sparse: costs no space
  if (ec) GTEST_SKIP() << "cannot make a sparse file here: " << ec.message();
  NewTask(TASK_LOAD_FILE | TASK_PARSE, file.path16());
  RunTask(task.get());
  EXPECT_TRUE(Aborted(*task));
  EXPECT_EQ(task->failure.stringId, 707u);
  EXPECT_NE(Utf16ToUtf8(FailureText(task->failure)).find("4294967297"), std::string::npos);
  EXPECT_TRUE(StoreEmpty());
}

TEST_F(Pipeline, ReadErrorFailsTheLoad) {
  // The process's own memory file opens, claims size 0 and fails to read at offset 0.
  NewTask(TASK_LOAD_FILE | TASK_PARSE, u"/proc/self/mem");
  RunTask(task.get());
  if (task->failure.stringId == 705) GTEST_SKIP() << "no /proc/self/mem here";
  EXPECT_TRUE(Aborted(*task));
  EXPECT_EQ(task->failure.stringId, 706u);
  EXPECT_TRUE(StoreEmpty());
}

TEST_F(Pipeline, SourceWithoutASizeIsReadToItsEnd) {
  // A pipe says nothing about its size: the buffer grows as the bytes come.
  fs::path fifo = fs::temp_directory_path() / ("tarvik_test_fifo_" + std::to_string(::getpid()));
  fs::remove(fifo);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string bytes = SampleTable(60000);  // about 2.5 MB, several growth steps
  std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << bytes; });
  NewTask(TASK_LOAD_FILE | TASK_PARSE, Utf8ToUtf16(fifo.string()));
  RunTask(task.get());
  writer.join();
  fs::remove(fifo);
  ASSERT_FALSE(Aborted(*task));
  ASSERT_EQ(data().fileLength, bytes.size());
  EXPECT_EQ(std::string_view(data().fileBytes, data().fileLength), bytes);
  EXPECT_EQ(data().recordCount, 60000u);
  // Without a size there is no percentage to report while loading.
  EXPECT_EQ(Progress().size(), 2u + 2u + 100u);
}

// What cannot hold a table ends the load with the reason, before anything is read: a device
// (read to the size limit, or forever, otherwise); and a cancel ends a wait for a pipe's writer.
TEST_F(Pipeline, DevicesAreRefusedAndACancelEndsTheWaitForAPipe) {
  for (const char16_t* device : {u"/dev/zero", u"/dev/urandom", u"/dev/null"}) {
    NewTask(TASK_LOAD_FILE | TASK_PARSE, device);
    RunTask(task.get());
    EXPECT_TRUE(Aborted(*task));
    EXPECT_EQ(task->failure.stringId, 1269u);
    EXPECT_TRUE(StoreEmpty());
  }
  fs::path fifo = fs::temp_directory_path() / ("tarvik_test_fifo_" + std::to_string(::getpid()));
  fs::remove(fifo);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  NewTask(TASK_LOAD_FILE | TASK_PARSE, Utf8ToUtf16(fifo.string()));
  // Cancelled as the load begins: no writer ever comes, and the load must not wait for one.
  sink.onEvent = [&](const E& e) {
    if (e == E{E::Status, kLoading}) SetAbort(*task);
  };
  RunTask(task.get());
  sink.onEvent = nullptr;
  fs::remove(fifo);
  EXPECT_TRUE(Aborted(*task));
  EXPECT_EQ(task->failure.stringId, 0u);
  EXPECT_TRUE(StoreEmpty());
}

// A file cut short while it is read fails the load, as a read error does: the table would
// lose its end without a word.
TEST_F(Pipeline, FileCutShortWhileReadFailsTheLoad) {
  // On one thread, so that the cut comes after the first megabyte and before the rest.
  const ParallelTuning saved = Tuning();
  Tuning() = ParallelTuning{1, SIZE_MAX, UINT32_MAX};
  TempFile file(SampleTable(100000));  // about 4 MB
  NewTask(TASK_LOAD_FILE | TASK_PARSE, file.path16());
  bool cut = false;
  sink.onEvent = [&](const E& e) {
    if (e.kind == E::Progress && e.value > 0 && !cut) {
      cut = true;
      fs::resize_file(file.path(), 100);
    }
  };
  RunTask(task.get());
  sink.onEvent = nullptr;
  Tuning() = saved;
  EXPECT_TRUE(cut);
  EXPECT_TRUE(Aborted(*task));
  EXPECT_EQ(task->failure.stringId, 1270u);
  EXPECT_TRUE(StoreEmpty());
}

TEST_F(Pipeline, FailedParseEmptiesTheStoreAndReturnsItsMemory) {
  std::int64_t before = MemInUse(&context);
  EXPECT_FALSE(LoadAndParse("X,Y\n1,2\n"));
  EXPECT_EQ(task->failure.stringId, 708u);
  EXPECT_TRUE(StoreEmpty());
  EXPECT_EQ(MemInUse(&context), before);
}

TEST_F(Pipeline, OnlyTheFirstFailureIsKept) {
  NewTask(0);
  SetFailure(*task, 705, u"first");
  SetFailure(*task, 708, u"second");
  EXPECT_EQ(task->failure.stringId, 705u);
  EXPECT_EQ(FailureText(task->failure), u"first");
  EXPECT_FALSE(Aborted(*task));  // recording a reason does not abort by itself
  TaskFailure bare{711, {}};
  EXPECT_EQ(FailureText(bare), StrLoad(711));
  EXPECT_EQ(FailureText(TaskFailure{}), u"");
}

// ---- allocation failures -----------------------------------------------------------------------

TEST_F(Pipeline, NoMemoryForTheFileFailsTheLoad) {
  TempFile file(SampleTable(100));
  NewTask(TASK_LOAD_FILE | TASK_PARSE, file.path16());
  MemFailAfter(1);
  RunTask(task.get());
  EXPECT_TRUE(Aborted(*task));
  EXPECT_EQ(task->failure.stringId, 709u);
  EXPECT_TRUE(StoreEmpty());
}

TEST_F(Pipeline, NoMemoryForRecordsFailsTheParseInsteadOfDroppingCameras) {
  TempFile file(SampleTable(1000));
  // The new table's block and its file buffer come first; whichever later block of the parse
  // fails, the parse fails.
  long n = 3;
  for (;; ++n) {
    NewTask(TASK_LOAD_FILE | TASK_PARSE, file.path16());
    MemFailAfter(n);
    RunTask(task.get());
    if (!Aborted(*task)) break;
    EXPECT_EQ(task->failure.stringId, 710u) << n;
    EXPECT_TRUE(StoreEmpty()) << n;
  }
  EXPECT_GT(n, 3);
  EXPECT_EQ(data().recordCount, 1000u);
  MemFailAfter(0);
  EXPECT_TRUE(LoadAndParse(SampleTable(1000)));
  EXPECT_EQ(data().recordCount, 1000u);
}

TEST_F(Pipeline, StoreWithoutDataIsLeftAlone) {
  MemFailAfter(1);
  CPoiStore bare(&context);
  MemFailAfter(0);
  ASSERT_EQ(bare.data, nullptr);
  bare.Clear(0);  // no-op
  TempFile file(SampleTable(1));
  NewTask(TASK_LOAD_FILE | TASK_PARSE, file.path16());
  task->poiStore = &bare;
  EXPECT_EQ(RunTask(task.get()), 0);
  EXPECT_FALSE(Aborted(*task));
  EXPECT_FALSE(LoadSourceFile(*task));
  EXPECT_FALSE(ParseSource(*task));
  WorkerTask none;
  EXPECT_FALSE(LoadSourceFile(none));
  EXPECT_FALSE(ParseSource(none));
}

TEST_F(Pipeline, ClearLevels) {
  ASSERT_TRUE(LoadAndParse(SampleTable(5)));
  auto addCounters = [&] {
    data().typeCounters = static_cast<TypeCounter*>(MemAllocZero(&context, sizeof(TypeCounter)));
    data().typeCounterCount = 1;
    data().unmatchedCount = 2;
    data().areaCounters = static_cast<AreaCounter*>(MemAllocZero(&context, sizeof(AreaCounter)));
    data().areaCounterCount = 1;
  };
  std::lock_guard<std::recursive_mutex> hold(store.lock);
  addCounters();
  store.Clear(2);
  EXPECT_EQ(data().typeCounters, nullptr);
  EXPECT_EQ(data().typeCounterCount + data().unmatchedCount + data().areaCounterCount, 0u);
  EXPECT_EQ(data().recordCount, 5u);
  addCounters();
  store.Clear(1);
  EXPECT_EQ(data().records, nullptr);
  EXPECT_EQ(data().sourceFormat, SOURCE_NONE);
  EXPECT_EQ(data().areaCounters, nullptr);
  EXPECT_NE(data().fileBytes, nullptr);
  store.Clear(0);
  EXPECT_TRUE(StoreEmpty());
}

// ---- cancellation at each stage ------------------------------------------------------------

// Cancels the task as soon as the sink shows status `id`.
void CancelAt(RecordingSink& sink, WorkerTask*& target, int id) {
  sink.onEvent = [&target, id](const E& e) {
    if (e.kind == E::Status && e.value == id) SetAbort(*target);
  };
}

TEST_F(Pipeline, CancelDuringLoadOrParseLeavesTheStoreEmpty) {
  TempFile file(SampleTable(2000));
  for (int stage : {kLoading, kParsing}) {
    WorkerTask* target = nullptr;
    CancelAt(sink, target, stage);
    NewTask(0xE0, file.path16());
    target = task.get();
    RunTask(task.get());
    EXPECT_TRUE(Aborted(*task));
    EXPECT_EQ(task->failure.stringId, 0u);  // a cancel is no failure
    EXPECT_TRUE(StoreEmpty()) << stage;
    EXPECT_NE(sink.Statuses().back(), kDone);
  }
}

bool FilterThatIsCancelled(WorkerTask& t) {
  // Counts something, then the user cancels.
  PoiData& d = *t.poiStore->data;
  d.typeCounters = static_cast<TypeCounter*>(MemAllocZero(t.poiStore->context, 64));
  d.typeCounterCount = 1;
  SetAbort(t);
  return false;
}

TEST_F(Pipeline, CancelDuringFilterLeavesTheStoreEmpty) {
  g_filterStage = FilterThatIsCancelled;
  TempFile file(SampleTable(20));
  NewTask(0xE0, file.path16());
  RunTask(task.get());
  EXPECT_TRUE(StoreEmpty());
  EXPECT_FALSE(sink.SawStatus(kDone));
}

// A load that fails, finds no table or is cancelled leaves the loaded table as it was, its
// counters too, and gives back all it took; a good one replaces it.
TEST_F(Pipeline, FailedOrCancelledOpenKeepsTheLoadedTable) {
  g_filterStage = [](WorkerTask& t) {
    t.poiStore->Clear(2);
    t.poiStore->data->unmatchedCount = t.poiStore->data->recordCount;  // a mark of the count
    return true;
  };
  TempFile shown(SampleTable(10));
  NewTask(0xE0, shown.path16());
  RunTask(task.get());
  ASSERT_TRUE(task->tableReplaced);
  const PoiRecord* records = data().records;
  const std::int64_t memory = MemInUse(&context);
  struct Case {
    const char* name;
    std::string bytes;  // the file; "-" for none
    int cancelAt;       // a status to cancel at; 0: none
  };
  const Case cases[] = {
      {"missing", "-", 0},
      {"empty", "", 0},
      {"binary",
       std::string("\x7f"
                   "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0",
                   16),
       0},
      {"no TYPE column", "X,Y\n1,2\n", 0},
      {"cancelled while loading", SampleTable(2000), kLoading},
      {"cancelled while parsing", SampleTable(2000), kParsing},
  };
  for (const Case& c : cases) {
    TempFile file(c.bytes == "-" ? "" : c.bytes);
    const std::u16string path =
        c.bytes == "-" ? Utf8ToUtf16((fs::temp_directory_path() / "tarvik_none.txt").string())
                       : file.path16();
    WorkerTask* target = nullptr;
    sink.onEvent = nullptr;
    if (c.cancelAt) CancelAt(sink, target, c.cancelAt);
    NewTask(0xE0, path);
    target = task.get();
    RunTask(task.get());
    EXPECT_FALSE(task->tableReplaced) << c.name;
    EXPECT_EQ(data().records, records) << c.name;
    EXPECT_EQ(data().recordCount, 10u) << c.name;
    EXPECT_EQ(data().unmatchedCount, 10u) << c.name;
    EXPECT_EQ(data().busyMarker.load(), 0) << c.name;
    EXPECT_EQ(MemInUse(&context), memory) << c.name;
  }
  sink.onEvent = nullptr;
  TempFile other(SampleTable(3));
  NewTask(0xE0, other.path16());
  RunTask(task.get());
  EXPECT_TRUE(task->tableReplaced);
  EXPECT_EQ(data().recordCount, 3u);
  EXPECT_EQ(data().unmatchedCount, 3u);
}

// The export writes under a new name and drops it itself; a cancel leaves whatever is at the
// target as it was: an older file, a folder, a pipe.
TEST_F(Pipeline, CancelledExportLeavesTheTargetAsItWas) {
  g_exportStage = nullptr;
  const fs::path base =
      fs::temp_directory_path() / ("tarvik_test_cancelled_export_" + std::to_string(::getpid()));
  fs::remove_all(base);
  fs::create_directories(base);
  std::ofstream(base / "old.csv") << "old";
  fs::create_directory(base / "dir");
  ASSERT_EQ(mkfifo((base / "fifo").c_str(), 0600), 0);
  for (const char* name : {"old.csv", "dir", "fifo"}) {
    NewTask(TASK_EXPORT, Utf8ToUtf16((base / name).string()));
    SetAbort(*task);
    RunTask(task.get());
  }
  EXPECT_EQ(testfiles::ReadBytes(base / "old.csv"), "old");
  EXPECT_TRUE(fs::is_directory(base / "dir"));
  EXPECT_TRUE(fs::is_fifo(base / "fifo"));
  fs::remove_all(base);
}

TEST_F(Pipeline, AbortedTaskStillRunsLaterStagesForTheirCleanUp) {
  ASSERT_TRUE(LoadAndParse(SampleTable(5)));
  g_order.clear();
  g_filterStage = NoteFilter;
  NewTask(TASK_FILTER);
  SetAbort(*task);
  RunTask(task.get());
  EXPECT_EQ(g_order, std::vector<std::uint32_t>{TASK_FILTER});
  EXPECT_TRUE(StoreEmpty());
  // Nothing is reported while aborted but the end.
  EXPECT_EQ(sink.Events(), (std::vector<E>{{E::End, 2}}));
}

TEST_F(Pipeline, CancelWhileWaitingForTheLockSkipsTheStage) {
  ASSERT_TRUE(LoadAndParse(SampleTable(5)));
  const char* bytes = data().fileBytes;
  WorkerTask* target = nullptr;
  CancelAt(sink, target, kOpening);  // cancelled as the worker starts waiting
  NewTask(TASK_LOAD_FILE | TASK_PARSE, u"/nonexistent");
  target = task.get();
  {
    StoreHold<CPoiStore> hold(&store, StoreHold<CPoiStore>::Wait);
    EXPECT_EQ(data().busyMarker.load(), 1);
    std::thread worker([&] { RunTask(task.get()); });
    worker.join();  // gives both stages up without entering the store
  }
  EXPECT_EQ(data().busyMarker.load(), 0);
  EXPECT_EQ(data().fileBytes, bytes);
  EXPECT_EQ(data().recordCount, 5u);
  EXPECT_EQ(task->failure.stringId, 0u);
  EXPECT_EQ(sink.EndCount(), 1);
}

TEST_F(Pipeline, CancelledRecountAfterAReloadStillDropsTheCounters) {
  // Counters left from an earlier count point into the parameter sets that this task
  // reloads; a cancel while the POI store is held elsewhere must not leave them behind.
  CParamStore params(&context);
  ASSERT_TRUE(LoadAndParse(SampleTable(3)));
  data().typeCounters = static_cast<TypeCounter*>(MemAllocZero(&context, sizeof(TypeCounter)));
  data().typeCounterCount = 1;
  g_saveParamsStage = NoteSave;
  g_loadParamsStage = NoteLoadParams;
  NewTask(TASK_SAVE_PARAMS | TASK_LOAD_PARAMS | TASK_FILTER);
  task->paramStore = &params;
  SetAbort(*task);
  std::thread worker;
  {
    StoreHold<CPoiStore> hold(&store, StoreHold<CPoiStore>::Wait);
    worker = std::thread([&] { RunTask(task.get()); });
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
  worker.join();
  EXPECT_EQ(data().typeCounters, nullptr);
  EXPECT_EQ(data().typeCounterCount, 0u);
  EXPECT_EQ(data().busyMarker.load(), 0);
}

TEST_F(Pipeline, WorkerWaitsForABusyStoreAndThenRuns) {
  TempFile file(SampleTable(5));
  NewTask(TASK_LOAD_FILE | TASK_PARSE, file.path16());
  std::atomic<bool> waiting{false};
  sink.onEvent = [&](const E& e) {
    if (e.kind == E::Status && e.value == kOpening) waiting = true;
  };
  std::thread worker;
  {
    StoreHold<CPoiStore> hold(&store, StoreHold<CPoiStore>::Wait);
    worker = std::thread([&] { RunTask(task.get()); });
    while (!waiting) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  worker.join();
  EXPECT_FALSE(Aborted(*task));
  EXPECT_EQ(data().recordCount, 5u);
  EXPECT_EQ(data().busyMarker.load(), 0);
}

// ---- parameter stages --------------------------------------------------------------------

TEST_F(Pipeline, ParameterStagesDisableCancelMeanwhile) {
  CParamStore params(&context);
  NewTask(TASK_SAVE_PARAMS | TASK_LOAD_PARAMS);
  task->paramStore = &params;
  g_saveParamsStage = nullptr;
  g_loadParamsStage = nullptr;
  RunTask(task.get());
  std::vector<E> expected = {
      {E::Cancel, 0},     {E::Progress, 0}, {E::Status, kOpening}, {E::Cancel, 1},
      {E::Cancel, 0},     {E::Progress, 0}, {E::Status, kOpening}, {E::Cancel, 1},
      {E::Status, kDone}, {E::End, 2}};
  EXPECT_EQ(sink.Events(), expected);

  // Without a parameter store the stage gives up but still re-enables Cancel.
  NewTask(TASK_LOAD_PARAMS);
  RunTask(task.get());
  EXPECT_EQ(sink.Events(), (std::vector<E>{{E::Cancel, 0},
                                           {E::Progress, 0},
                                           {E::Status, kOpening},
                                           {E::Cancel, 1},
                                           {E::Status, kDone},
                                           {E::End, 2}}));
}

bool LoadParamsDouble(WorkerTask& t) {
  g_order.push_back(TASK_LOAD_PARAMS);
  return !Aborted(t);
}

TEST_F(Pipeline, FailedSaveSkipsTheReloadSoUnsavedSetsStay) {
  CParamStore params(&context);
  {
    StoreHold<CParamStore> hold(&params, StoreHold<CParamStore>::Wait);
    ASSERT_NE(params.AppendFilter(), nullptr);
  }
  g_order.clear();
  g_saveParamsStage = [](WorkerTask& t) {
    t.paramsSaveFailed = true;
    SetFailure(t, 711);
    return true;
  };
  g_loadParamsStage = LoadParamsDouble;
  NewTask(TASK_SAVE_PARAMS | TASK_LOAD_PARAMS);
  task->paramStore = &params;
  RunTask(task.get());
  EXPECT_TRUE(g_order.empty());
  EXPECT_EQ(params.data->filterCount, 1u);

  // A cancelled reload clears the store.
  NewTask(TASK_LOAD_PARAMS);
  task->paramStore = &params;
  SetAbort(*task);
  RunTask(task.get());
  EXPECT_EQ(g_order, std::vector<std::uint32_t>{TASK_LOAD_PARAMS});
  EXPECT_EQ(params.data->filterCount, 0u);
}

}  // namespace
}  // namespace tarvik::enginetest
