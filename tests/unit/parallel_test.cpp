// The stages spread over threads: the same records, counts and exported bytes as one thread
// makes, for several thread counts and split points; and the ordered batch runner under them.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <new>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "convert_fixture.h"
#include "processing/parallel.h"
#include "test_files.h"

namespace tarvik {
namespace {

// TARVIK_TEST_THREADS=N runs every test of this program with the stages on N threads and
// parts as small as they go, so the engine's own tests also check the parallel paths (ctest
// runs the engine suites so, see tests/CMakeLists.txt).
[[maybe_unused]] const bool kThreadsFromEnvironment = [] {
  const char* threads = std::getenv("TARVIK_TEST_THREADS");
  if (!threads || std::atoi(threads) < 1) return false;
  Tuning() = ParallelTuning{static_cast<unsigned>(std::atoi(threads)), 1, 1};
  return true;
}();

// Sets the tuning for one scope.
class TuningScope {
 public:
  explicit TuningScope(ParallelTuning t) : saved_(Tuning()) { Tuning() = t; }
  ~TuningScope() { Tuning() = saved_; }

 private:
  ParallelTuning saved_;
};

struct Outcome {
  bool aborted = false;
  std::uint32_t format = 0;
  std::vector<std::string> records;
  std::vector<std::uint32_t> counts;  // unmatched, then the type counters, then the areas
  std::string file;
  std::uint64_t lines = 0, bytes = 0;
  std::vector<int> progress;

  bool operator==(const Outcome&) const = default;
};

// Load, parse, filter and export of `table` in one task: two overlapping areas and one far
// away, a schema for types 1 to 5, everything ticked.
Outcome Convert(const std::string& table, ParallelTuning tuning) {
  TuningScope scope(tuning);
  testing::ConvertFixture f;
  f.AddArea({30, 60, 40, 50});
  f.AddArea({35, 57, 45, 40});
  f.AddArea({-10, 10, 10, -10});
  SchemaSet& schema = f.AddSchema();
  for (int type = 1; type <= 5; ++type) f.AddEntry(schema, type, u"Камера {speed} {direction}");
  ExportProfile* p = f.params.AppendProfile();
  p->Param = PARAM_ENABLED | PARAM_DEFAULT;
  SetText(p->Format, u"{x};{y};{type};{desc};{dirtype}");
  p->Codepage = 65001;
  std::vector<RefNode> entries(5), areas(3);
  for (int k = 0; k < 5; ++k) entries[k] = {&schema.Entries[k], k < 4 ? &entries[k + 1] : nullptr};
  for (int k = 0; k < 3; ++k) areas[k] = {&f.params.Filters()[k], k < 2 ? &areas[k + 1] : nullptr};

  enginetest::TempFile source(table);
  enginetest::TempFile target("");
  f.task.targetPath = source.path16();
  f.task.stageFlags = TASK_LOAD_FILE | TASK_PARSE | TASK_FILTER;
  f.task.progressWindow = &f.sink;
  RunTask(&f.task);
  Outcome out;
  out.aborted = Aborted(f.task);
  const PoiData& d = *f.poi.data;
  out.format = d.sourceFormat;
  for (std::uint32_t i = 0; i < d.recordCount; ++i)
    out.records.push_back(enginetest::Str(d.records[i]));
  out.counts.push_back(d.unmatchedCount);
  for (const TypeCounter& c : f.TypeCounters()) out.counts.push_back(c.count);
  for (const AreaCounter& c : f.AreaCounters()) out.counts.push_back(c.count);
  out.progress = f.sink.progress;

  WorkerTask& t = f.task;
  t.targetPath = target.path16();
  t.entryList = entries.data();
  t.areaList = areas.data();
  t.exportProfile = p;
  t.stageFlags = TASK_EXPORT;
  RunTask(&t);
  out.file = testfiles::ReadBytes(target.path());
  out.lines = t.exportResult.linesWritten;
  out.bytes = t.exportResult.bytesWritten;
  return out;
}

// A table with what the parse must get right wherever a part ends: every kind of line end,
// comment and blank lines, blanks before a line, long lines, short and overlong rows, a last
// line with or without its end; comma or bar layout.
std::string RandomTable(std::mt19937& rng, int lines) {
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  static const char* const kEnds[] = {"\n", "\r\n", "\r", "\n\n", "\r\n\r\n"};
  auto end = [&] { return pick(40) == 0 ? std::string(1, '\0') : std::string(kEnds[pick(5)]); };
  const bool bar = pick(3) == 0;
  const char sep = bar ? '|' : ',';
  std::string text;
  if (pick(2)) text += "# speed cameras" + end();
  text += bar ? "2|0|55.70|37.60"
              : (pick(2) ? "IDX,X,Y,TYPE,SPEED,DIRTYPE,DIRECTION" : "type,x,y,speed");
  text += end();
  for (int i = 0; i < lines; ++i) {
    switch (pick(12)) {
      case 0:
        text += pick(2) ? "  ; note" : "#";
        break;
      case 1:
        text += "   \t";
        break;
      default: {
        if (pick(8) == 0) text += "  ";
        const int fields = pick(10) == 0 ? pick(20) : 7;
        for (int k = 0; k < fields; ++k) {
          if (k) text += sep;
          switch (bar ? (k == 4 ? 10 : k == 6 ? 11 : pick(6)) : pick(6)) {
            case 10:
              text += "1709";
              break;
            case 11:
              text += "1705";
              break;
            case 0:
              text += std::to_string(pick(7));
              break;
            case 1:
              text += std::to_string(30 + pick(20)) + "." + std::to_string(rng() % 1000000);
              break;
            case 2:
              text += std::string(static_cast<std::size_t>(pick(60)), '7');
              break;
            default:
              text += std::to_string(static_cast<int>(rng() % 400) - 20);
          }
        }
      }
    }
    if (i + 1 < lines || pick(2)) text += end();
  }
  return text;
}

TEST(ParallelStages, SameRecordsCountsAndBytesAsOneThread) {
  std::mt19937 rng(77);
  const ParallelTuning one{1, SIZE_MAX, UINT32_MAX};
  int compared = 0;
  for (int round = 0; round < 40; ++round) {
    // Mostly small tables cut into many parts; now and then one large enough to be read in
    // several pieces.
    const std::string table =
        RandomTable(rng, round % 13 == 5 ? 60000 : static_cast<int>(rng() % 400));
    const Outcome want = Convert(table, one);
    for (unsigned threads : {2u, 3u, 7u}) {
      const std::size_t minBytes = rng() % 3 == 0 ? 1 : 1 + rng() % 2000;
      Outcome got = Convert(table, {threads, minBytes, 1 + static_cast<std::uint32_t>(rng() % 50)});
      // Progress comes in other steps; the last one is the same.
      ASSERT_FALSE(got.progress.empty());
      EXPECT_EQ(got.progress.back(), want.progress.back());
      got.progress = want.progress;
      ASSERT_EQ(got, want) << "round " << round << ", " << threads << " threads, parts of "
                           << minBytes << " bytes";
      ++compared;
    }
  }
  EXPECT_EQ(compared, 120);
}

TEST(RunOrdered, CommitsInOrderWithinTheWindowAndStopsWhenAsked) {
  struct Case {
    unsigned threads;
    std::size_t window;
    std::size_t stopAfter;  // commits; SIZE_MAX: never
  } cases[] = {{1, 1, SIZE_MAX},
               {2, 1, SIZE_MAX},
               {3, 4, SIZE_MAX},
               {8, 3, SIZE_MAX},
               {4, kMaxWindow + 5, SIZE_MAX},
               {3, 4, 50},
               {1, 2, 0}};
  for (const Case& c : cases) {
    const std::size_t count = 300;
    std::mutex m;
    std::size_t committed = 0;
    std::vector<int> worked(count, 0);
    bool aheadOfWindow = false, wrongOrder = false;
    std::atomic<bool> stop{c.stopAfter == 0};
    RunOrdered(
        count, c.threads, c.window,
        [&](std::size_t b, unsigned thread) {
          std::lock_guard<std::mutex> lock(m);
          aheadOfWindow |= b >= committed + std::min(c.window, kMaxWindow) || thread >= c.threads;
          ++worked[b];
        },
        [&](std::size_t b) {
          std::lock_guard<std::mutex> lock(m);
          wrongOrder |= b != committed || worked[b] != 1;
          if (++committed == c.stopAfter) stop = true;
          return true;
        },
        [&] { return stop.load(); });
    EXPECT_FALSE(aheadOfWindow) << c.threads << " " << c.window;
    EXPECT_FALSE(wrongOrder) << c.threads << " " << c.window;
    EXPECT_EQ(committed, std::min(count, c.stopAfter)) << c.threads << " " << c.window;
    for (std::size_t b = 0; b < count; ++b) EXPECT_LE(worked[b], 1);
  }
}

TEST(RunOrdered, AnExceptionOnAnyThreadReachesTheCallerOnceEveryHelperIsJoined) {
  enum class Where { HelperWork, OwnWork, Commit };
  for (Where where : {Where::HelperWork, Where::OwnWork, Where::Commit}) {
    for (unsigned threads : {2u, 7u}) {
      std::atomic<int> busy{0};
      std::atomic<bool> thrown{false};
      std::size_t committed = 0;
      bool caught = false;
      try {
        RunOrdered(
            1000, threads, 8,
            [&](std::size_t b, unsigned thread) {
              ++busy;
              // Slow batches: every thread gets some, and helpers are still in theirs when
              // the failure comes.
              std::this_thread::sleep_for(std::chrono::microseconds(100));
              const bool here =
                  where == Where::HelperWork ? thread != 0 : where == Where::OwnWork && thread == 0;
              if (b >= 20 && here && !thrown.exchange(true)) {
                --busy;
                throw std::bad_alloc();
              }
              --busy;
            },
            [&](std::size_t b) {
              if (where == Where::Commit && b == 20) throw std::bad_alloc();
              ++committed;
              return true;
            },
            [] { return false; });
      } catch (const std::bad_alloc&) {
        caught = true;
        EXPECT_EQ(busy.load(), 0);
      }
      EXPECT_TRUE(caught) << int(where) << " " << threads;
      EXPECT_LT(committed, 1000u);
    }
  }
}

}  // namespace
}  // namespace tarvik
