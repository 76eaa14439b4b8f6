// Files written whole: what each kind of target becomes, with and without leave to replace,
// what appears meanwhile, and writers racing for one name.
#include "core/platform_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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

}  // namespace
}  // namespace tarvik::platform
