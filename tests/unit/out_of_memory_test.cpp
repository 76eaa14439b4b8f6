// Every allocation of every command may fail: the command then ends cleanly (exit 1 with a
// message, or 0 when the failure was one it may ride out), never by an abort, and leaves no
// file behind that was not there, and every file that was there as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "app/cli/cli_common.h"
#include "core/tracked_memory.h"
#include "processing/parallel.h"
#include "test_files.h"

namespace {
// While set, operator new counts against the allocation-failure hook as well.
std::atomic<bool> g_hookNew{false};

void* Allocate(std::size_t n, std::size_t align = 0) {
  if (g_hookNew.load(std::memory_order_relaxed) && tarvik::MemFailDue()) return nullptr;
  if (n == 0) n = 1;
  if (align <= alignof(std::max_align_t)) return std::malloc(n);
  void* p = nullptr;
  return ::posix_memalign(&p, align, n) == 0 ? p : nullptr;
}
void* AllocateOrThrow(std::size_t n, std::size_t align = 0) {
  if (void* p = Allocate(n, align)) return p;
  throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t n) {
  return AllocateOrThrow(n);
}
void* operator new[](std::size_t n) {
  return AllocateOrThrow(n);
}
void* operator new(std::size_t n, std::align_val_t a) {
  return AllocateOrThrow(n, static_cast<std::size_t>(a));
}
void* operator new[](std::size_t n, std::align_val_t a) {
  return AllocateOrThrow(n, static_cast<std::size_t>(a));
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  return Allocate(n);
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept {
  return Allocate(n);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
  std::free(p);
}

namespace tarvik {
namespace {

namespace fs = std::filesystem;
using testfiles::NoTemporaries;
using testfiles::ReadBytes;
using testfiles::WriteBytes;

struct CommandRun {
  int status = -1;
  std::string err;
  long allocations = 0;  // counted when no failure was asked for
};

// Runs the command in this process with stdout and stderr in files; the `failAt`-th
// allocation fails (0: none, the allocations are counted), and the `run` - 1 after it.
CommandRun RunCommand(const std::vector<std::string>& args, const fs::path& dir, long failAt,
                      long run = 1) {
  std::vector<std::string> argv = {"tarvik-cli"};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> ptrs;
  for (std::string& a : argv) ptrs.push_back(a.data());
  std::fflush(stdout);
  std::fflush(stderr);
  int savedOut = ::dup(1), savedErr = ::dup(2);
  int out = ::open((dir / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  int err = ::open((dir / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ::dup2(out, 1);
  ::dup2(err, 2);
  CommandRun r;
  MemFailAfter(failAt ? failAt : LONG_MAX, run);
  g_hookNew = true;
  r.status = cli::RunCommandLine(static_cast<int>(ptrs.size()), ptrs.data());
  g_hookNew = false;
  if (!failAt) r.allocations = LONG_MAX - MemFailLeft();
  MemFailAfter(0);
  std::fflush(stdout);
  std::fflush(stderr);
  ::dup2(savedOut, 1);
  ::dup2(savedErr, 2);
  for (int fd : {savedOut, savedErr, out, err}) ::close(fd);
  r.err = ReadBytes(dir / "stderr");
  fs::remove(dir / "stdout");
  fs::remove(dir / "stderr");
  return r;
}

class OutOfMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = scratch.path();
    table = (dir / "cams.txt").string();
    WriteBytes(table, "X,Y,TYPE,SPEED\r\n37.6177,55.7558,1,60\r\n30.3,59.9,2,90\r\n10,10,3,0\r\n");
    // A first start writes the defaults; later runs leave the file as it is.
    ini = (dir / "Tarvik.ini").string();
    EXPECT_EQ(RunCommand({"count", table, "--ini", ini}, dir, 0).status, 0);
    settings = ReadBytes(ini);
  }

  // Runs `args` once counting its allocations, then once failing each of them in turn;
  // `after` looks at what each run left and puts the files back.
  template <class After>
  void Sweep(const std::vector<std::string>& args, After after) {
    CommandRun full = RunCommand(args, dir, 0);
    ASSERT_EQ(full.status, 0) << full.err;
    after(full, 0);
    ASSERT_GT(full.allocations, 10);
    long failed = 0;
    for (long k = 1; k <= full.allocations; ++k) {
      CommandRun r = RunCommand(args, dir, k, failRun);
      ASSERT_TRUE(r.status == 0 || r.status == 1) << args[0] << " " << k << ": " << r.status;
      if (r.status == 1) {
        ++failed;
        EXPECT_FALSE(r.err.empty()) << args[0] << " " << k;
      }
      after(r, k);
      EXPECT_TRUE(NoTemporaries(dir)) << args[0] << " " << k;
      if (HasFailure()) return;
    }
    EXPECT_GT(failed, full.allocations / 4) << args[0];
  }

  // After each run of the export to `csv`: the older file ("keep") or a whole new one.
  auto KeepsOrReplacesWhole(const fs::path& csv, const std::string& complete,
                            const std::string& what) {
    return [=, this](const CommandRun& r, long k) {
      EXPECT_EQ(ReadBytes(ini), settings) << what << " " << k;
      // Memory may still run out after the new file was written.
      const std::string written = ReadBytes(csv);
      EXPECT_TRUE(written == "keep" || written == complete)
          << what << " " << k << ": " << r.status << " " << written.size();
      WriteBytes(csv, "keep");
    };
  }

  testfiles::ScratchDir scratch{"oom", testfiles::MemoryFolder()};
  long failRun = 1;  // allocations that fail in a row in a sweep
  fs::path dir;
  std::string table, ini, settings;
};

TEST_F(OutOfMemory, EveryCommandEndsCleanly) {
  const fs::path csv = dir / "cams.csv";
  const std::vector<std::string> exportArgs = {"export", table, "-o",     (dir / "cams").string(),
                                               "--ini",  ini,   "--force"};
  ASSERT_EQ(RunCommand(exportArgs, dir, 0).status, 0);
  const std::string complete = ReadBytes(csv);
  WriteBytes(csv, "keep");
  std::string picture;
  const fs::path png = dir / "map.png";
  const std::vector<std::vector<std::string>> commands = {
      {"parse", table},
      {"params", "--ini", ini},
      {"count", table, "--ini", ini},
      exportArgs,
      {"map", table, "--ini", ini, "-o", png.string(), "--width", "64", "--height", "48"}};
  for (const auto& args : commands) {
    const auto kept = KeepsOrReplacesWhole(csv, complete, args[0]);
    Sweep(args, [&](const CommandRun& r, long k) {
      kept(r, k);
      // A picture is written whole or not at all.
      if (args[0] == "map" && k == 0) picture = ReadBytes(png);
      EXPECT_TRUE(!fs::exists(png) || ReadBytes(png) == picture) << k;
      fs::remove(png);
    });
  }
}

TEST_F(OutOfMemory, FirstStartWritesTheDefaultsWholeOrNotAtAll) {
  const fs::path fresh = dir / "fresh.ini";
  Sweep({"count", table, "--ini", fresh.string()}, [&](const CommandRun&, long k) {
    if (fs::exists(fresh)) {
      EXPECT_EQ(ReadBytes(fresh).size(), settings.size()) << k;
    }
    fs::remove(fresh);
  });
}

// The parse's part buffers and the export's batch buffers, taken while helper threads run on
// 2 and 7 threads: one allocation fails (2 threads), or every one from then on, as when the
// address space runs out (7 threads). Nothing may end the process, and every helper is joined
// before the stage ends.
TEST_F(OutOfMemory, AllocationsWhileHelperThreadsRun) {
  std::string rows = "X,Y,TYPE,SPEED\r\n";
  for (int i = 0; i < 400; ++i)
    rows += "37." + std::to_string(i) + ",55.75," + std::to_string(1 + i % 3) + ",60\r\n";
  WriteBytes(table, rows);
  const fs::path csv = dir / "cams.csv";
  const std::vector<std::string> exportArgs = {"export", table, "-o",     csv.string(),
                                               "--ini",  ini,   "--force"};
  const ParallelTuning saved = Tuning();
  // One failure on 2 threads, every one from then on on 7.
  for (auto [threads, run] : {std::pair{2u, 1L}, std::pair{7u, LONG_MAX}}) {
    Tuning() = ParallelTuning{threads, 1, 1};
    failRun = run;
    ASSERT_EQ(RunCommand(exportArgs, dir, 0).status, 0);
    const std::string complete = ReadBytes(csv);
    WriteBytes(csv, "keep");
    const std::string what = std::to_string(threads) + " threads, run " + std::to_string(run);
    Sweep({"parse", "--quiet", table}, [](const CommandRun&, long) {});
    Sweep(exportArgs, KeepsOrReplacesWhole(csv, complete, what));
    if (HasFailure()) break;
  }
  Tuning() = saved;
  failRun = 1;
}

}  // namespace
}  // namespace tarvik
