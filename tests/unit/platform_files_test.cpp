// Files written whole: what each kind of target becomes, with and without leave to replace,
// what appears meanwhile, and writers racing for one name.
#include "core/platform_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "test_files.h"

namespace tarvik::platform {
namespace {

namespace fs = std::filesystem;
using testfiles::NoTemporaries;
using testfiles::ReadBytes;
using testfiles::WriteBytes;

class ReplacingFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = scratch.path();
    target = dir / "out.csv";
  }
  int WriteWhole(const std::string& bytes, bool replace) {
    ReplacingFile file;
    int e = file.Open(target.string(), replace);
    if (e == 0) e = file.Write(bytes.data(), bytes.size());
    if (e == 0) e = file.Commit();
    return e;
  }

  testfiles::ScratchDir scratch{"files"};
  fs::path dir, target;
};

TEST_F(ReplacingFileTest, TargetsWithAndWithoutLeaveToReplace) {
  struct Case {
    const char* what;
    std::function<void(const fs::path& dir, const fs::path& target)> setUp;
    bool replace;
    int error;
    std::string atTarget;   // what reading the target gives afterwards ("" : nothing there)
    std::string atPointee;  // what the file "pointee" holds afterwards ("" : none)
  };
  auto file = [](const fs::path&, const fs::path& t) { WriteBytes(t, "old"); };
  auto link = [](const fs::path& d, const fs::path& t) {
    WriteBytes(d / "pointee", "old");
    fs::create_symlink("pointee", t);
  };
  auto dangling = [](const fs::path&, const fs::path& t) { fs::create_symlink("pointee", t); };
  const Case cases[] = {
      {"nothing", [](const fs::path&, const fs::path&) {}, false, 0, "new", ""},
      {"nothing, leave", [](const fs::path&, const fs::path&) {}, true, 0, "new", ""},
      {"file", file, false, EEXIST, "old", ""},
      {"file, leave", file, true, 0, "new", ""},
      {"link", link, false, EEXIST, "old", "old"},
      {"link, leave", link, true, 0, "new", "new"},
      {"dangling link", dangling, false, EEXIST, "", ""},
      {"dangling link, leave", dangling, true, 0, "new", "new"},
      {"folder, leave", [](const fs::path&, const fs::path& t) { fs::create_directory(t); }, true,
       EISDIR, "", ""},
  };
  for (const Case& c : cases) {
    fs::remove_all(dir);
    fs::create_directory(dir);
    c.setUp(dir, target);
    const bool wasLink = fs::is_symlink(target);
    EXPECT_EQ(WriteWhole("new", c.replace), c.error) << c.what;
    std::error_code ec;
    EXPECT_EQ(fs::is_regular_file(target, ec) ? ReadBytes(target) : "", c.atTarget) << c.what;
    EXPECT_EQ(fs::exists(dir / "pointee") ? ReadBytes(dir / "pointee") : "", c.atPointee) << c.what;
    EXPECT_EQ(fs::is_symlink(target), wasLink) << c.what;  // a link stays a link
    EXPECT_TRUE(NoTemporaries(dir)) << c.what;
  }

  // A replaced file keeps its permissions.
  fs::remove_all(target);
  WriteBytes(target, "old");
  ::chmod(target.c_str(), 0640);
  ASSERT_EQ(WriteWhole("new", true), 0);
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

// Without leave to replace, whatever takes the name between Open and Commit (a file, or a link
// that points nowhere) stays, and the new file goes.
TEST_F(ReplacingFileTest, WhatAppearsMeanwhileStays) {
  for (bool asLink : {false, true}) {
    fs::remove_all(target);
    ReplacingFile file;
    ASSERT_EQ(file.Open(target.string(), false), 0);
    ASSERT_EQ(file.Write("new", 3), 0);
    if (asLink)
      fs::create_symlink("elsewhere", target);
    else
      WriteBytes(target, "theirs");
    EXPECT_EQ(file.Commit(), EEXIST);
    EXPECT_EQ(fs::is_symlink(target), asLink);
    if (!asLink) {
      EXPECT_EQ(ReadBytes(target), "theirs");
    }
    EXPECT_TRUE(NoTemporaries(dir));
  }
}

// Writers racing for one name each write a file of their own: the name ends up with one whole
// file, never lines of several.
TEST_F(ReplacingFileTest, RacingWritersNeverTear) {
  std::vector<std::string> contents;
  for (char c : {'a', 'b', 'c', 'd'}) contents.push_back(std::string(200000, c));
  std::vector<std::thread> writers;
  for (const std::string& text : contents) {
    writers.emplace_back([&, text] {
      ReplacingFile file;
      ASSERT_EQ(file.Open(target.string(), true), 0);
      for (std::size_t at = 0; at < text.size(); at += 1000)
        ASSERT_EQ(file.Write(text.data() + at, 1000), 0);
      ASSERT_EQ(file.Commit(), 0);
    });
  }
  for (std::thread& t : writers) t.join();
  const std::string result = ReadBytes(target);
  EXPECT_NE(std::find(contents.begin(), contents.end(), result), contents.end());
  EXPECT_TRUE(NoTemporaries(dir));
}

// A device or a pipe at the name is written as it is, whether or not the write may replace:
// no extension, no temporary, no rename; its write errors are the write's; a pipe nobody reads
// is waited for only until the cancel flag rises.
TEST_F(ReplacingFileTest, DevicesAndPipesAreWrittenInPlace) {
  for (bool replace : {false, true}) {
    ReplacingFile null;
    ASSERT_EQ(null.Open("/dev/null", replace), 0);
    EXPECT_TRUE(null.direct());
    EXPECT_EQ(null.Write("new", 3), 0);
    EXPECT_EQ(null.Commit(), 0);
    ReplacingFile full;
    ASSERT_EQ(full.Open("/dev/full", replace), 0);
    EXPECT_EQ(full.Write("new", 3), ENOSPC);
  }
  const fs::path fifo = dir / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::atomic<std::uint32_t> cancel{1};  // raised from the start: the first wait gives up
  ReplacingFile unread;
  unread.CancelWith(&cancel);
  EXPECT_EQ(unread.Open(fifo.string(), false), ECANCELED);
  EXPECT_TRUE(NoTemporaries(dir));
  EXPECT_FALSE(fs::exists("/dev/null.csv"));
}

// What a write of the target leaves when its run is killed goes with the next write of the
// same target, and nothing else does: not a live writer's file, not another target's, not a
// link or a folder of that name, not a file changed since this run began.
TEST_F(ReplacingFileTest, StaleTemporariesOfTheTargetGo) {
  // A process id that no longer runs.
  pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ASSERT_GT(gone, 0);
  ::waitpid(gone, nullptr, 0);
  const std::string dead = std::to_string(gone), alive = std::to_string(::getppid());
  const struct {
    std::string name;
    bool old;   // last changed before this run began
    char kind;  // 'f' file, 'l' link, 'd' folder
    bool removed;
  } cases[] = {
      {".out.csv.0123456789ab." + dead + ".tmp", true, 'f', true},
      {".out.csv.0123456789ab.tmp", true, 'f', true},  // of an older version, without an id
      {".out.csv.0123456789ab." + alive + ".tmp", true, 'f', false},
      {".out.csv.0123456789ab." + dead + ".tmp.x", true, 'f', false},
      {".out.csv.0123456789xy." + dead + ".tmp", true, 'f', false},
      {".other.csv.0123456789ab." + dead + ".tmp", true, 'f', false},
      {".out.csv.fedcba987654." + dead + ".tmp", false, 'f', false},
      {".out.csv.00000000000a." + dead + ".tmp", true, 'l', false},
      {".out.csv.00000000000b." + dead + ".tmp", true, 'd', false},
  };
  for (const auto& c : cases) {
    const fs::path p = dir / c.name;
    if (c.kind == 'f') WriteBytes(p, "partial");
    if (c.kind == 'l') fs::create_symlink("elsewhere", p);
    if (c.kind == 'd') fs::create_directory(p);
    if (c.old) {
      const struct timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) - 3600, 0}};
      ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << c.name;
    }
  }
  ASSERT_EQ(WriteWhole("new", true), 0);
  for (const auto& c : cases)
    EXPECT_EQ(!fs::exists(fs::symlink_status(dir / c.name)), c.removed) << c.name;
  EXPECT_EQ(ReadBytes(target), "new");
}

}  // namespace
}  // namespace tarvik::platform
