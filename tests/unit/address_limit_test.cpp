// tarvik-cli under a real limit of its address space (RLIMIT_AS): thread stacks, the C library
// and our own blocks all fail then, on every thread. parse and export of a 1,000,000-line
// table, at a few limits just below the least it needs: each run ends with exit 0 or 1, never
// by a signal; the older export stays or the new one is whole, and no temporary is left.
// tests/address_limit_sweep.sh runs many more limits, many times.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "test_files.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TARVIK_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TARVIK_SANITIZED 1
#endif

namespace tarvik {
namespace {

namespace fs = std::filesystem;
using testfiles::NoTemporaries;
using testfiles::ReadBytes;
using testfiles::WriteBytes;

constexpr std::size_t kMiB = std::size_t{1} << 20;

// A table of `lines` cameras around Moscow, as large as published ones get.
std::string Table(int lines) {
  std::string t = "IDX,X,Y,TYPE,SPEED,DIRTYPE,DIRECTION\r\n";
  t.reserve(static_cast<std::size_t>(lines) * 48);
  std::uint64_t s = 3;
  for (int i = 0; i < lines; ++i) {
    s = s * 6364136223846793005u + 1442695040888963407u;
    const unsigned r = static_cast<unsigned>(s >> 33);
    t += std::to_string(i) + ",37." + std::to_string(100000 + r % 900000) + ",55." +
         std::to_string(100000 + (r >> 3) % 900000) + "," + std::to_string(1 + r % 7) + "," +
         std::to_string(20 + 10 * (r % 12)) + ",0," + std::to_string(r % 360) + "\r\n";
  }
  return t;
}

// Runs tarvik-cli with `args` in `dir` under an address-space limit of `limit` bytes (0: none);
// the exit status, or 128 + the signal that ended it.
int RunLimited(const std::vector<std::string>& args, const fs::path& dir, std::size_t limit) {
  std::vector<std::string> argv = {TARVIK_CLI};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> ptrs;
  for (std::string& a : argv) ptrs.push_back(a.data());
  ptrs.push_back(nullptr);
  const std::string out = (dir / "stdout").string(), err = (dir / "stderr").string();
  pid_t pid = ::fork();
  if (pid == 0) {
    int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (o < 0 || e < 0 || ::dup2(o, 1) < 0 || ::dup2(e, 2) < 0 || ::chdir(dir.c_str()) != 0)
      ::_exit(126);
    if (limit) {
      struct rlimit r = {limit, limit};
      if (::setrlimit(RLIMIT_AS, &r) != 0) ::_exit(126);
    }
    ::execv(ptrs[0], ptrs.data());
    ::_exit(127);
  }
  int raw = 0;
  if (pid < 0 || ::waitpid(pid, &raw, 0) != pid) return -1;
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

// The least limit, in steps of 2 MiB, under which the command succeeds (by bisection: near the
// edge runs differ, so this is one point of the edge).
std::size_t LeastLimit(const std::vector<std::string>& args, const fs::path& dir) {
  std::size_t fails = 8 * kMiB, works = 1024 * kMiB;
  while (works - fails > 2 * kMiB) {
    const std::size_t mid = (fails + works) / 2 / (2 * kMiB) * (2 * kMiB);
    (RunLimited(args, dir, mid) == 0 ? works : fails) = mid;
  }
  return works;
}

TEST(AddressLimit, ParseAndExportOfAMillionLinesEndCleanly) {
#ifdef TARVIK_SANITIZED
  GTEST_SKIP() << "the sanitizers reserve more address space than any limit here";
#else
  testfiles::ScratchDir scratch("aslimit", testfiles::MemoryFolder());
  const fs::path dir = scratch.path();
  WriteBytes(dir / "cams.txt", Table(1000000));
  ASSERT_EQ(RunLimited({"count", "cams.txt", "--ini", "Tarvik.ini"}, dir, 0), 0);
  const std::vector<std::string> exportArgs = {"export", "cams.txt",   "-o",     "o.csv",
                                               "--ini",  "Tarvik.ini", "--force"};
  ASSERT_EQ(RunLimited(exportArgs, dir, 0), 0) << ReadBytes(dir / "stderr");
  const std::string complete = ReadBytes(dir / "o.csv");
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"parse", "--quiet", "cams.txt"}, exportArgs}) {
    WriteBytes(dir / "o.csv", "keep");
    ASSERT_EQ(RunLimited(args, dir, 1024 * kMiB), 0) << ReadBytes(dir / "stderr");
    const std::size_t least = LeastLimit(args, dir);
    for (std::size_t below : {2, 4, 6, 10, 16}) {
      const std::size_t limit = least - below * kMiB;
      WriteBytes(dir / "o.csv", "keep");
      const int status = RunLimited(args, dir, limit);
      const std::string what = args[0] + " under " + std::to_string(limit / kMiB) + " MiB";
      EXPECT_TRUE(status == 0 || status == 1)
          << what << ": " << status << " " << ReadBytes(dir / "stderr");
      const std::string written = ReadBytes(dir / "o.csv");
      EXPECT_TRUE(written == "keep" || written == complete) << what;
      EXPECT_TRUE(NoTemporaries(dir)) << what;
    }
  }
#endif
}

}  // namespace
}  // namespace tarvik
