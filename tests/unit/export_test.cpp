#include "processing/export.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <limits>
#include <map>
#include <random>
#include <sstream>
#include <thread>
#include <tuple>

#include "convert_fixture.h"
#include "core/platform.h"
#include "core/std_compat.h"
#include "core/store_lock.h"
#include "core/text.h"
#include "processing/parallel.h"
#include "processing/pipeline.h"
#include "test_files.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;
using testing::ConvertFixture;
using testing::Rec;
using testing::Rect;

using testfiles::ReadBytes;

std::u16string Field(const char16_t* f) {
  return std::u16string(f);
}

// An export set up by hand: stores, a profile, ticked entries and areas, a target file.
class ExportJob : public ConvertFixture {
 public:
  ExportJob() {
    dir = fs::path(::testing::TempDir()) /
          ("tarvik_export_" + std::to_string(::getpid()) + "_" +
           std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    target = dir / "out.csv";
    ExportProfile* p = params.AppendProfile();
    p->Param = PARAM_ENABLED | PARAM_DEFAULT;
    SetText(p->Format, u"{x},{y},{desc}");
    p->Codepage = 65001;
  }
  ~ExportJob() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }

  ExportProfile& Profile() { return params.Profiles()[0]; }

  // Ticks entries (by index in the current schema) and areas (by index), in list order.
  void Tick(std::vector<int> entries, std::vector<int> areas) {
    SchemaSet& s = *params.CurrentSchema();
    entryNodes.assign(entries.size(), {});
    for (std::size_t k = 0; k < entries.size(); ++k) {
      entryNodes[k].ref = entries[k] < 0 ? nullptr : &s.Entries[entries[k]];
      entryNodes[k].next = k + 1 < entries.size() ? &entryNodes[k + 1] : nullptr;
    }
    areaNodes.assign(areas.size(), {});
    for (std::size_t k = 0; k < areas.size(); ++k) {
      areaNodes[k].ref = areas[k] < 0 ? nullptr : &params.Filters()[areas[k]];
      areaNodes[k].next = k + 1 < areas.size() ? &areaNodes[k + 1] : nullptr;
    }
  }

  bool Run() {
    task.targetPath = Utf8ToUtf16(target.string());
    task.entryList = entryNodes.empty() ? nullptr : entryNodes.data();
    task.areaList = areaNodes.empty() ? nullptr : areaNodes.data();
    task.exportProfile = &Profile();
    return ExportPois(task);
  }

  std::string Output() const { return ReadBytes(target); }

  fs::path dir;
  fs::path target;
  std::vector<RefNode> entryNodes, areaNodes;
};

// One record, one entry, one area around it.
void SetUpSingle(ExportJob& job, std::u16string_view desc, PoiRecord r) {
  job.AddArea({r.X - 1, r.Y + 1, r.X + 1, r.Y - 1});
  job.AddEntry(job.AddSchema(), r.TYPE, desc);
  job.SetRecords({r});
  job.Tick({0}, {0});
}

std::string LineFor(std::u16string_view desc, PoiRecord r,
                    const std::function<void(ExportProfile&)>& setup) {
  ExportJob job;
  SetUpSingle(job, desc, r);
  setup(job.Profile());
  EXPECT_TRUE(job.Run());
  EXPECT_EQ(job.task.failure.stringId, 0u) << Utf16ToUtf8(job.task.failure.detail);
  return job.Output();
}

const PoiRecord kMoscow = Rec(37.6177, 55.7558, 2, 60);

TEST(ExportPois, DocumentedLinesInBothCodePages) {
  auto none = [](ExportProfile&) {};
  EXPECT_EQ(LineFor(u"Камера {speed}", kMoscow, none),
            "37.617700,55.755800,\xD0\x9A\xD0\xB0\xD0\xBC\xD0\xB5\xD1\x80\xD0\xB0 60\r\n");
  // К а е р а become Latin; м has no entry and stays Cyrillic.
  EXPECT_EQ(LineFor(u"Камера {speed}", kMoscow, [](ExportProfile& p) { p.Translit = 1; }),
            "37.617700,55.755800,Ka\xD0\xBC"
            "epa 60\r\n");
  EXPECT_EQ(LineFor(u"Камера {speed}", kMoscow, [](ExportProfile& p) { p.Codepage = 0; }),
            "37.617700,55.755800,\xCA\xE0\xEC\xE5\xF0\xE0 60\r\n");
  EXPECT_EQ(LineFor(u"Камера {speed}", kMoscow, [](ExportProfile& p) { p.StringLimit = 5; }),
            "37.617700,55.755800,\xD0\x9A\xD0\xB0\xD0\xBC\xD0\xB5\xD1\x80\r\n");
  // What Windows-1251 lacks becomes '?', a surrogate pair a single '?'.
  EXPECT_EQ(LineFor(u"ñ😀€", kMoscow, [](ExportProfile& p) { p.Codepage = 1251; }),
            "37.617700,55.755800,??\x88\r\n");
  EXPECT_EQ(LineFor(u"ñ😀", kMoscow, none), "37.617700,55.755800,\xC3\xB1\xF0\x9F\x98\x80\r\n");
}

TEST(ExportPois, CommaTemplatesAndUnknownBraces) {
  EXPECT_EQ(LineFor(u"a,b", kMoscow, [](ExportProfile& p) { p.Translit = 1; }),
            "37.617700,55.755800,a b\r\n");
  EXPECT_EQ(LineFor(u"a,b", kMoscow, [](ExportProfile&) {}), "37.617700,55.755800,a,b\r\n");
  EXPECT_EQ(LineFor(u"unused", Rec(-0.5, 1e-7, -3, 0, 4, 270),
                    [](ExportProfile& p) {
                      SetText(p.Format, u"{y};{name};{type};{dirtype}/{direction};{X}");
                    }),
            "0.000000;{name};-3;4/270;{X}\r\n");
  EXPECT_EQ(LineFor(u"{x}|{y}|{type}|{speed}|{dirtype}|{direction}|{desc}|{q}",
                    Rec(1.5, -2.25, 7, 90, 1, 180),
                    [](ExportProfile& p) { SetText(p.Format, u"[{desc}]"); }),
            "[1.500000|-2.250000|7|90|1|180|{desc}|{q}]\r\n");
}

TEST(ExportPois, StringLimitNeverSplitsASurrogatePair) {
  auto limit = [](int n) { return [n](ExportProfile& p) { p.StringLimit = n; }; };
  EXPECT_EQ(LineFor(u"ab😀c", kMoscow, limit(3)), "37.617700,55.755800,ab\r\n");
  EXPECT_EQ(LineFor(u"ab😀c", kMoscow, limit(4)), "37.617700,55.755800,ab\xF0\x9F\x98\x80\r\n");
  EXPECT_EQ(LineFor(u"ab😀c", kMoscow, limit(2)), "37.617700,55.755800,ab\r\n");
  EXPECT_EQ(LineFor(u"😀", kMoscow, limit(1)), "37.617700,55.755800,\r\n");
}

TEST(ExportPois, SelectsByTickedEntryAndAreaOnce) {
  ExportJob job;
  job.AddArea({0, 10, 10, 0});   // 0
  job.AddArea({5, 10, 15, 0});   // 1, overlaps 0
  job.AddArea({20, 10, 30, 0});  // 2, not ticked
  SchemaSet& s = job.AddSchema();
  job.AddEntry(s, 1, u"one");     // 0
  job.AddEntry(s, 2, u"two");     // 1, not ticked
  job.AddEntry(s, 3, u"first");   // 2
  job.AddEntry(s, 3, u"second");  // 3
  job.SetRecords({
      Rec(2, 5, 1),   // written
      Rec(2, 5, 2),   // type not ticked
      Rec(25, 5, 1),  // area not ticked
      Rec(7, 5, 1),   // in two ticked areas: once
      Rec(12, 5, 3),  // the first node of type 3 gives the description
      Rec(10, 5, 4),  // no entry at all
      Rec(0, 5, 1),   // on an edge
  });
  // Lists run in reverse display order; null references are skipped.
  job.Tick({2, -1, 3, 0}, {-1, 1, 0});
  SetText(job.Profile().Format, u"{desc}");
  ASSERT_TRUE(job.Run());
  EXPECT_EQ(job.Output(), "one\r\none\r\nfirst\r\n");
  EXPECT_EQ(job.task.exportResult.linesWritten, 3u);
  EXPECT_EQ(job.task.exportResult.linesLeftOut, 0u);
  EXPECT_EQ(job.task.exportResult.bytesWritten, 17u);
}

// 30 selected records; lines of `lineBytes` bytes (at most 9 × 127 + 2); SizeLimit 1 KiB.
ExportResult SizeLimited(std::size_t lineBytes, std::string* out) {
  ExportJob job;
  job.AddArea({0, 10, 100, 0});
  std::size_t copies = (lineBytes - 2 + 126) / 127;
  std::u16string format;
  for (std::size_t k = 0; k < copies; ++k) format += u"{desc}";
  job.AddEntry(job.AddSchema(), 1, std::u16string((lineBytes - 2) / copies, u'a'));
  job.SetRecords(std::vector<PoiRecord>(30, Rec(5, 5, 1)));
  job.Tick({0}, {0});
  SetText(job.Profile().Format, format);
  job.Profile().SizeLimit = 1;
  EXPECT_TRUE(job.Run());
  *out = job.Output();
  EXPECT_EQ(job.task.exportResult.linesWritten * lineBytes, out->size());
  return job.task.exportResult;
}

TEST(ExportPois, SizeLimitIsNeverPassed) {
  std::string out;
  // 60-byte lines: 17 make 1020 bytes; the 18th would make 1080.
  ExportResult r = SizeLimited(60, &out);
  EXPECT_EQ(out.size(), 1020u);
  EXPECT_EQ(r.linesWritten, 17u);
  EXPECT_EQ(r.linesLeftOut, 13u);
  EXPECT_EQ(r.bytesWritten, 1020u);
  // 64-byte lines fill the limit exactly.
  r = SizeLimited(64, &out);
  EXPECT_EQ(out.size(), 1024u);
  EXPECT_EQ(r.linesWritten, 16u);
  EXPECT_EQ(r.linesLeftOut, 14u);
  // A first line bigger than the limit: an empty file, everything left out.
  r = SizeLimited(1028, &out);
  EXPECT_EQ(out.size(), 0u);
  EXPECT_EQ(r.linesWritten, 0u);
  EXPECT_EQ(r.linesLeftOut, 30u);
}

TEST(ExportPois, ProgressAndStatus) {
  ExportJob job;
  job.AddArea({0, 10, 10, 0});
  job.AddEntry(job.AddSchema(), 1, u"d");
  job.SetRecords(std::vector<PoiRecord>(1000, Rec(5, 5, 1)));
  job.Tick({0}, {0});
  job.task.progressWindow = &job.sink;
  ASSERT_TRUE(job.Run());
  std::vector<int> want;
  for (int p = 0; p < 100; ++p) want.push_back(p);
  EXPECT_EQ(job.sink.progress, want);
  EXPECT_EQ(job.sink.status, std::vector<std::uint32_t>{597});
  EXPECT_EQ(job.task.exportResult.linesWritten, 1000u);
}

TEST(ExportPois, NothingSelectedWritesNoFileAndHeldStoreTouchesNothing) {
  // No ticked area; a ticked area that holds no point; no records at all.
  for (int variant = 0; variant < 3; ++variant) {
    ExportJob job;
    SetUpSingle(job, u"d", kMoscow);
    if (variant == 0) job.areaNodes.clear();
    if (variant == 1) {
      FilterArea& a = job.params.Filters()[0];
      std::tie(a.AX, a.AY, a.CX, a.CY) = std::make_tuple(0.0, 1.0, 1.0, 0.0);
    }
    if (variant == 2) job.SetRecords({});
    ASSERT_TRUE(job.Run());
    EXPECT_EQ(job.task.failure.stringId, 831u) << variant;
    EXPECT_FALSE(fs::exists(job.target)) << variant;
    EXPECT_TRUE(testfiles::NoTemporaries(job.dir)) << variant;
  }
  {
    ExportJob job;
    SetUpSingle(job, u"d", kMoscow);
    { std::ofstream(job.target) << "old"; }
    std::promise<void> held, release;
    std::thread holder([&] {
      std::lock_guard<std::recursive_mutex> g(job.params.lock);
      held.set_value();
      release.get_future().wait();
    });
    held.get_future().wait();
    EXPECT_TRUE(job.Run());
    release.set_value();
    holder.join();
    EXPECT_EQ(job.Output(), "old");
  }
}

// ---- failures ----

TEST(ExportPois, UncreatableTargetIsReportedAndLeftAsItWas) {
  ExportJob job;
  SetUpSingle(job, u"d", kMoscow);
  job.target = job.dir / "no such folder" / "out.csv";
  EXPECT_TRUE(job.Run());  // not an abort: nothing for the worker to delete
  EXPECT_FALSE(Aborted(job.task));
  EXPECT_EQ(job.task.failure.stringId, 800u);
  std::string text = Utf16ToUtf8(job.task.failure.detail);
  EXPECT_NE(text.find(job.target.string()), std::string::npos) << text;
  EXPECT_NE(text.find(platform::ErrorText(ENOENT)), std::string::npos) << text;
  EXPECT_FALSE(fs::exists(job.target));

  // A folder in the way stays a folder.
  ExportJob job2;
  SetUpSingle(job2, u"d", kMoscow);
  fs::create_directory(job2.target);
  job2.Run();
  EXPECT_EQ(job2.task.failure.stringId, 800u);
  EXPECT_TRUE(fs::is_directory(job2.target));

  // A file that cannot be opened keeps its contents (root may open anything).
  if (geteuid() != 0) {
    ExportJob job3;
    SetUpSingle(job3, u"d", kMoscow);
    { std::ofstream(job3.target) << "keep"; }
    fs::permissions(job3.target, fs::perms::owner_read);
    job3.Run();
    EXPECT_EQ(job3.task.failure.stringId, 800u);
    EXPECT_EQ(job3.Output(), "keep");
  }
}

// The file size limit of the process makes writes fail the way a full disk does.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit r = saved_;
    r.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &r);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit saved_{};
  void (*oldHandler_)(int) = nullptr;
};

// A write that fails half-way (here: the file size limit, as on a full disk) leaves no partial
// file, and an older file it was to replace exactly as it was.
TEST(ExportPois, FullDiskKeepsWhatWasThere) {
  for (bool older : {false, true}) {
    ExportJob job;
    job.AddArea({0, 10, 10, 0});
    job.AddEntry(job.AddSchema(), 1, std::u16string(200, u'z'));
    job.SetRecords(std::vector<PoiRecord>(2000, Rec(5, 5, 1)));
    job.Tick({0}, {0});
    if (older) testfiles::WriteBytes(job.target, "older");
    job.task.replaceTarget = older;
    {
      FileSizeLimit limit(100000);
      EXPECT_TRUE(job.Run());
    }
    EXPECT_FALSE(Aborted(job.task));
    EXPECT_EQ(job.task.failure.stringId, 801u);
    EXPECT_NE(Utf16ToUtf8(job.task.failure.detail).find(platform::ErrorText(EFBIG)),
              std::string::npos);
    EXPECT_EQ(fs::exists(job.target), older);
    if (older) {
      EXPECT_EQ(job.Output(), "older");
    }
    EXPECT_TRUE(testfiles::NoTemporaries(job.dir));
    EXPECT_EQ(job.task.exportResult.linesWritten, 0u);
  }
}

// Without leave to replace, a file that takes the name while the export runs stays, and the
// export is reported as not saved; with leave, the export replaces it.
TEST(ExportPois, AFileThatAppearsMeanwhileIsReplacedOnlyWithLeave) {
  StageOperation saved = g_exportStage;
  g_exportStage = ExportPois;
  for (bool leave : {false, true}) {
    ExportJob job;
    job.AddArea({0, 10, 10, 0});
    job.AddEntry(job.AddSchema(), 1, u"d");
    job.SetRecords(std::vector<PoiRecord>(5000, Rec(5, 5, 1)));
    job.Tick({0}, {0});
    struct Intruder : testing::RecordingSink {
      fs::path target;
      void SetProgress(int p) override {
        RecordingSink::SetProgress(p);
        if (p == 50) testfiles::WriteBytes(target, "someone else's");
      }
    } sink;
    sink.target = job.target;
    job.task.progressWindow = &sink;
    job.task.replaceTarget = leave;
    EXPECT_TRUE(job.Run());
    EXPECT_EQ(job.task.failure.stringId, leave ? 0u : 830u);
    EXPECT_EQ(job.Output().substr(0, 5), leave ? "5.000" : "someo");
    EXPECT_TRUE(testfiles::NoTemporaries(job.dir));
  }
  g_exportStage = saved;
}

TEST(ExportPois, WriteFailureOnADeviceLeavesTheDevice) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  ExportJob job;
  SetUpSingle(job, u"d", kMoscow);
  job.target = "/dev/full";
  job.task.replaceTarget = true;
  job.Run();
  EXPECT_EQ(job.task.failure.stringId, 801u);
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
}

// Every tracked allocation of the stage may fail, including the growth of the line buffers
// for a record whose line is far longer than the ones before it: the export then fails as a
// whole and leaves no file, or succeeds with every line.
TEST(ExportPois, AllocationFailureAnywhereLeavesNoPartialFile) {
  auto setUp = [](ExportJob& job) {
    job.AddArea({-1e300, 1e300, 1e300, -1e300});
    SchemaSet& s = job.AddSchema();
    job.AddEntry(s, 1, u"short {speed}");
    job.AddEntry(s, 2, u"{x}{x}{x}{x}{x}{x}{x}{x}{x}{x}{x}{x}{x}{x}{x}{x}{x}{x}{x}{x}");
    std::vector<PoiRecord> recs(50, Rec(1, 1, 1, 50));
    recs.push_back(Rec(1e299, 1, 2));  // about 6000 characters of description
    recs.push_back(Rec(1, 1, 1, 70));
    job.SetRecords(recs);
    job.Tick({0, 1}, {0});
    SetText(job.Profile().Format, u"{desc};{desc};{x}");
  };
  std::string full;
  {
    ExportJob job;
    setUp(job);
    ASSERT_TRUE(job.Run());
    full = job.Output();
    ASSERT_GT(full.size(), 12000u);
  }
  // Beyond the last allocation point (more threads make more of them).
  int failures = 0;
  bool lastSucceeded = false;
  for (long k = 1; k <= 200; ++k) {
    ExportJob job;
    setUp(job);
    MemFailAfter(k);
    bool ok = job.Run();
    MemFailAfter(0);
    EXPECT_TRUE(ok);
    EXPECT_FALSE(Aborted(job.task));
    if (job.task.failure.stringId != 0) {
      ++failures;
      EXPECT_EQ(job.task.failure.stringId, 802u) << k;
      EXPECT_FALSE(fs::exists(job.target)) << k;
      EXPECT_TRUE(testfiles::NoTemporaries(job.dir)) << k;
      lastSucceeded = false;
    } else {
      EXPECT_EQ(job.Output(), full) << k;
      lastSucceeded = true;
    }
  }
  EXPECT_GT(failures, 3);
  EXPECT_TRUE(lastSucceeded);  // every allocation point was reached
}

// ---- cancel, through the worker ----

class AbortAt : public testing::RecordingSink {
 public:
  AbortAt(WorkerTask& task, int percent) : task_(task), percent_(percent) {}
  void SetProgress(int p) override {
    RecordingSink::SetProgress(p);
    if (p >= percent_) SetAbort(task_);
  }

 private:
  WorkerTask& task_;
  int percent_;
};

TEST(ExportPois, CancelKeepsAnOlderFileAsItWas) {
  StageOperation saved = g_exportStage;
  g_exportStage = ExportPois;
  for (int at : {0, 50}) {
    ExportJob job;
    job.AddArea({0, 10, 10, 0});
    job.AddEntry(job.AddSchema(), 1, u"d");
    job.SetRecords(std::vector<PoiRecord>(5000, Rec(5, 5, 1)));
    job.Tick({0}, {0});
    { std::ofstream(job.target) << "an older export"; }
    AbortAt sink(job.task, at);
    job.task.progressWindow = &sink;
    job.task.stageFlags = TASK_EXPORT;
    job.task.targetPath = Utf8ToUtf16(job.target.string());
    job.task.entryList = job.entryNodes.data();
    job.task.areaList = job.areaNodes.data();
    job.task.exportProfile = &job.Profile();
    job.task.replaceTarget = true;
    RunTask(&job.task);
    EXPECT_TRUE(Aborted(job.task));
    EXPECT_EQ(job.Output(), "an older export") << at;
    EXPECT_TRUE(testfiles::NoTemporaries(job.dir)) << at;
    EXPECT_EQ(job.task.failure.stringId, 0u);
  }
  g_exportStage = saved;
}

TEST(ExportPois, FailedExportEndsTheTaskWithoutDone) {
  ExportJob job;
  SetUpSingle(job, u"d", kMoscow);
  job.target = job.dir / "missing" / "out.csv";
  job.task.progressWindow = &job.sink;
  job.task.stageFlags = TASK_EXPORT;
  job.task.targetPath = Utf8ToUtf16(job.target.string());
  job.task.entryList = job.entryNodes.data();
  job.task.areaList = job.areaNodes.data();
  job.task.exportProfile = &job.Profile();
  RunTask(&job.task);
  EXPECT_EQ(job.task.failure.stringId, 800u);
  EXPECT_EQ(job.sink.status.back(), 597u);
}

// "%f" against the general conversion (printf's digits): random values of every magnitude,
// exact ties (odd multiples of 1/128 times 10^6 end in .5), the edges of the fast range.
// Thousands of areas, overlapping, degenerate and holding the whole earth, on 1, 2 and 7
// threads: the counts and the exported lines are those of testing every record against every
// area. Areas piled over the records (spread 4) are counted by the filter's sweep, spread-out
// ones through the grid.
TEST(ExportPois, ManyAreasCountAndSelectAsTestingEveryArea) {
  const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
  struct Case {
    unsigned threads;
    int areas;
    double spread;  // degrees around the records that areas are placed in
  } cases[] = {{1, 3000, 4}, {2, 3000, 400}, {7, 2500, 4}, {7, 2000, 30}};
  const ParallelTuning saved = Tuning();
  for (const Case& c : cases) {
    Tuning() = ParallelTuning{c.threads, 1, 1};
    std::mt19937 rng(c.areas + c.threads);
    auto real = [&](double lo, double hi) { return std::uniform_real_distribution(lo, hi)(rng); };
    // Whole degrees half the time, so records fall on edges often.
    auto coord = [&](double lo, double hi) {
      double v = real(lo, hi);
      return rng() % 2 ? std::round(v) : v;
    };
    ExportJob job;
    for (int a = 0; a < c.areas; ++a) {
      const double x = coord(-c.spread, c.spread), y = coord(-c.spread / 2, c.spread / 2);
      Rect r{x, y + std::round(real(0, 10)), x + std::round(real(0, 10)), y};
      switch (rng() % 16) {
        case 0:
          std::swap(r.ax, r.cx);
          break;
        case 1:
          r.ay = r.cy;
          break;
        case 2:
          r.cx = nan;
          break;
        case 3:
          r = {-180, 90, 180, -90};
          break;
        case 4:
          r = {-inf, inf, inf, -inf};
          break;
        case 5:
          r.ax = -inf;
          break;
        case 6:
          r = {-180 + real(0, 200), 90, 180, -90 + real(0, 100)};
          break;
      }
      job.AddArea(r, rng() % 8 ? PARAM_ENABLED : 0);
    }
    SchemaSet& schema = job.AddSchema();
    for (int t = 0; t < 4; ++t) job.AddEntry(schema, t);
    std::vector<PoiRecord> recs;
    for (int i = 0; i < 6000; ++i) {
      PoiRecord r = Rec(coord(-25, 25), coord(-12, 12), static_cast<int>(rng() % 5), i);
      if (i % 500 == 0) r.X = i % 1000 ? nan : inf;
      if (i % 700 == 0) r.Y = -90;
      recs.push_back(r);
    }
    job.SetRecords(recs);
    std::vector<int> ticked;
    for (int a = 0; a < c.areas; a += 2) ticked.push_back(a);
    job.Tick({0, 1, 2, 3}, ticked);
    SetText(job.Profile().Format, u"{speed}");

    std::vector<std::uint32_t> types(4), areaCounts(c.areas);
    std::string lines;
    for (const PoiRecord& r : recs) {
      if (r.TYPE > 3) continue;
      bool any = false, anyTicked = false;
      for (int a = 0; a < c.areas; ++a) {
        if (!AreaContains(job.params.Filters()[a], r.X, r.Y)) continue;
        any = true;
        anyTicked |= a % 2 == 0;
        ++areaCounts[a];
      }
      types[r.TYPE] += any;
      if (anyTicked) lines += std::to_string(r.SPEED) + "\r\n";
    }

    ASSERT_TRUE(FilterByAreas(job.task));
    for (int t = 0; t < 4; ++t)
      EXPECT_EQ(job.TypeCounters()[t].count, types[t]) << c.threads << " threads, type " << t;
    for (const AreaCounter& counter : job.AreaCounters()) {
      const std::ptrdiff_t a = counter.area - job.params.Filters().data();
      ASSERT_EQ(counter.count, areaCounts[a]) << c.threads << " threads, area " << a;
    }
    ASSERT_TRUE(job.Run());
    EXPECT_EQ(job.Output(), lines) << c.threads << " threads";
  }
  Tuning() = saved;
}

TEST(FormatFixed6, SameDigitsAsPrintf) {
  auto check = [](double v) {
    char want[kFixed6Chars], got[kFixed6Chars];
    auto r = compat::to_chars(want, want + sizeof want, v, std::chars_format::fixed, 6);
    std::size_t n = FormatFixed6(v, got);
    ASSERT_EQ(std::string(got, n), std::string(want, r.ptr)) << v;
  };
  std::mt19937_64 rng(99);
  for (int i = 0; i < 300000; ++i) {
    double v;
    std::uint64_t bits = rng();
    std::memcpy(&v, &bits, sizeof v);
    if (!std::isfinite(v)) continue;
    int exp = 0;
    v = std::ldexp(std::frexp(v, &exp), static_cast<int>(rng() % 80) - 30);  // 2^-30..2^50
    check(v);
    check(std::round(v * 1e6) / 1e6);  // close to a grid point
  }
  for (int j = -20001; j <= 20001; j += 2) check(j / 128.0);
  for (double v : {0x1p-20, std::nextafter(0x1p-20, 0.0), 0x1p32, std::nextafter(0x1p32, 0.0),
                   -0x1p-20, 0.0, -0.0, 4e-7, -4e-7, 5e-7, 37.6177, 55.7558, 1e300})
    check(v);
  char buf[kFixed6Chars];
  EXPECT_EQ(std::string(buf, FormatFixed6(std::numeric_limits<double>::quiet_NaN(), buf)), "nan");
  EXPECT_EQ(std::string(buf, FormatFixed6(-HUGE_VAL, buf)), "-inf");
}

// ---- the line builder against the one-after-another replacement ----

char16_t ReferenceTranslit(char16_t c) {
  static const std::map<char16_t, char16_t> table = {
      {u',', u' '}, {u'Ё', u'E'}, {u'А', u'A'}, {u'В', u'B'}, {u'Е', u'E'}, {u'К', u'K'},
      {u'М', u'M'}, {u'Н', u'H'}, {u'О', u'O'}, {u'Р', u'P'}, {u'С', u'C'}, {u'Т', u'T'},
      {u'Х', u'X'}, {u'а', u'a'}, {u'е', u'e'}, {u'о', u'o'}, {u'р', u'p'}, {u'с', u'c'},
      {u'у', u'y'}, {u'х', u'x'}, {u'ё', u'e'}};
  auto it = table.find(c);
  return it == table.end() ? c : it->second;
}

// The line exactly as the documented steps make it: StrFormat for the values, one
// StrReplaceAppend per variable in the given order, each result the next source.
std::u16string ReferenceLine(CAppContext* ctx, const ExportProfile& p, const SchemaEntry& e,
                             const PoiRecord& r) {
  auto fmt = [&](const char16_t* f, auto v) { return std::u16string(StrFormat(ctx, f, v).get()); };
  const std::pair<const char16_t*, std::u16string> vars[] = {
      {u"{x}", fmt(u"%f", r.X)},
      {u"{y}", fmt(u"%f", r.Y)},
      {u"{type}", fmt(u"%d", r.TYPE)},
      {u"{speed}", fmt(u"%d", r.SPEED)},
      {u"{dirtype}", fmt(u"%d", r.DIRTYPE)},
      {u"{direction}", fmt(u"%d", r.DIRECTION)}};
  auto replace = [&](const std::u16string& src, const char16_t* pat, const std::u16string& rep) {
    TrackedStr out(nullptr, TrackedDeleter{ctx});
    std::int32_t len = 0;
    EXPECT_NE(StrReplaceAppend(ctx, src.c_str(), pat, rep.c_str(), out, len), nullptr);
    return std::u16string(out.get(), len);
  };
  std::u16string desc = Field(e.Desc);
  for (const auto& [pat, val] : vars) desc = replace(desc, pat, val);
  if (p.StringLimit > 0 && desc.size() > static_cast<std::size_t>(p.StringLimit)) {
    std::size_t n = p.StringLimit;
    if (desc[n - 1] >= 0xD800 && desc[n - 1] <= 0xDBFF && desc[n] >= 0xDC00 && desc[n] <= 0xDFFF)
      --n;
    desc.resize(n);
  }
  if (p.Translit)
    for (char16_t& c : desc) c = ReferenceTranslit(c);
  std::u16string line = replace(Field(p.Format), u"{desc}", desc);
  for (const auto& [pat, val] : vars) line = replace(line, pat, val);
  return std::u16string(StrFormat(ctx, u"%s\r\n", line).get());
}

TEST(ExportLineBuilder, MatchesOneAfterAnotherReplacementOnRandomTemplates) {
  static const char16_t* const pieces[] = {
      u"{",      u"}",       u"{x}", u"{y}",  u"{type}", u"{speed}", u"{dirtype}",  u"{direction}",
      u"{desc}", u"x",       u"y",   u"type", u"desc",   u"dir",     u"direction}", u"{dir",
      u"{{",     u"}}",      u"{х}", u"{у}",  u"х",      u"у",       u"Х",          u"{Х}",
      u"{X}",    u"Камера ", u",",   u" ",    u"a",      u"%s",      u"😀",          u"\xD83D",
      u"\xDE00", u"{q}",     u"{}",  u"ё"};
  std::mt19937 rng(2024);
  auto text = [&](std::size_t maxLen) {
    std::u16string s;
    int n = rng() % 14;
    for (int k = 0; k < n; ++k) {
      std::u16string_view p = pieces[rng() % std::size(pieces)];
      if (s.size() + p.size() > maxLen) break;
      s += p;
    }
    return s;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const double xs[] = {
      37.6177, -0.0,           0.5, 1e300, -1e-7,
      2.5e-6,  123456.7890125, inf, -inf,  std::numeric_limits<double>::quiet_NaN()};
  const std::int32_t ints[] = {0, 60, -1, 2147483647, -2147483647 - 1};
  CAppContext ctx;
  int rescans = 0, direct = 0;
  for (int round = 0; round < 20000; ++round) {
    ExportProfile p{};
    SchemaEntry e{};
    SetText(p.Format, text(FORMAT_CAPACITY - 2));
    SetText(e.Desc, text(ENTRY_DESC_CAPACITY - 2));
    p.StringLimit = rng() % 3 ? 0 : static_cast<std::int32_t>(rng() % 25);
    p.Translit = rng() % 2;
    PoiRecord r = Rec(xs[rng() % std::size(xs)], xs[rng() % std::size(xs)],
                      ints[rng() % std::size(ints)], ints[rng() % std::size(ints)],
                      ints[rng() % std::size(ints)], ints[rng() % std::size(ints)]);
    p.Codepage = rng() % 2 ? 65001 : 0;
    CompiledTemplate desc;
    CompileTemplate(e.Desc, false, desc);
    ExportLineBuilder builder(&ctx, p);
    builder.Prepare(desc);
    ASSERT_TRUE(builder.Build(desc, r));
    std::u16string want = ReferenceLine(&ctx, p, e, r);
    ASSERT_EQ(std::u16string(builder.line()), want)
        << "Format " << Utf16ToUtf8(Field(p.Format)) << "\nDesc " << Utf16ToUtf8(Field(e.Desc))
        << "\nlimit " << p.StringLimit << " translit " << int(p.Translit);
    rescans += std::u16string(builder.line()).find(u'{') != std::u16string::npos;
    direct += desc.direct;
    // The line put together from encoded pieces, or encoded after building.
    ASSERT_TRUE(builder.BuildEncoded(desc, r));
    ASSERT_EQ(std::string(builder.bytes()),
              p.Codepage == 65001 ? Utf16ToUtf8(want) : Utf16ToCp1251(want))
        << "Format " << Utf16ToUtf8(Field(p.Format)) << "\nDesc " << Utf16ToUtf8(Field(e.Desc))
        << "\nlimit " << p.StringLimit << " translit " << int(p.Translit);
    // Encoding the line equals converting it with the text services.
    std::string out(3 * want.size(), '\0');
    std::size_t n = EncodeLine(want, true, out.data());
    ASSERT_EQ(out.substr(0, n), Utf16ToUtf8(want));
    n = EncodeLine(want, false, out.data());
    ASSERT_EQ(out.substr(0, n), Utf16ToCp1251(want));
  }
  EXPECT_GT(rescans, 100);
  EXPECT_GT(direct, 3000);
}

TEST(ExportLineBuilder, VariablesBroughtInByTheDescription) {
  CAppContext ctx;
  auto line = [&](std::u16string_view format, std::u16string_view descText, bool translit) {
    ExportProfile p{};
    SetText(p.Format, format);
    p.Translit = translit;
    SchemaEntry e{};
    SetText(e.Desc, descText);
    CompiledTemplate desc;
    CompileTemplate(e.Desc, false, desc);
    ExportLineBuilder b(&ctx, p);
    EXPECT_TRUE(b.Build(desc, Rec(1, 2, 3, 4)));
    return Utf16ToUtf8(std::u16string(b.line()));
  };
  // A Cyrillic х becomes x: the row's later "{x}" pass finds it inside the description.
  EXPECT_EQ(line(u"{desc}", u"{х}", true), "1.000000\r\n");
  EXPECT_EQ(line(u"{desc}", u"{х}", false), "{\xD1\x85}\r\n");
  // The template's braces around an inserted description complete a variable.
  EXPECT_EQ(line(u"{{desc}}", u"y", false), "2.000000\r\n");
  EXPECT_EQ(line(u"{desc}{desc}", u"}{y", false), "}2.000000{y\r\n");
  EXPECT_EQ(line(u"{sp{desc}", u"eed}", false), "4\r\n");
  EXPECT_EQ(line(u"{{desc}speed}", u"", false), "4\r\n");
  // "{desc}" inside a description is not replaced again.
  EXPECT_EQ(line(u"{desc}", u"{desc}", false), "{desc}\r\n");
}

}  // namespace
}  // namespace tarvik
