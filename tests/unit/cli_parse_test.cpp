// tarvik-cli parse, run as a process: output format, exit statuses, messages, locale.
#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <sstream>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "core/platform.h"
#include "engine_test_util.h"

namespace tarvik::enginetest {
namespace {

using clitest::CliRun;
using clitest::RunCli;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream ss(text);
  for (std::string line; std::getline(ss, line);) lines.push_back(line);
  return lines;
}

const std::string kExample = std::string(TARVIK_EXAMPLES) + "/speedcams.txt";
const std::string kExampleBar = std::string(TARVIK_EXAMPLES) + "/speedcams.bkm";

TEST(CliParse, PrintsColumnsThenOneLinePerRecordWith17Digits) {
  TempFile file(
      "IDX,X,Y,TYPE,SPEED,DIRTYPE,DIRECTION\r\n1,37.6,55.7,2,60,1,90\r\n"
      "2,-0.1276,1e-5,-3,0,0,359\r\n3,1e300,0x10,2147483648\r\n");
  CliRun r = RunCli({"parse", file.path().string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "X,Y,TYPE,SPEED,DIRTYPE,DIRECTION\n"
            "37.600000000000001,55.700000000000003,2,60,1,90\n"
            "-0.12759999999999999,1.0000000000000001e-05,-3,0,0,359\n"
            "1.0000000000000001e+300,16,2147483647,0,0,0\n");
  // One summary line: count, layout, file.
  std::vector<std::string> err = Lines(r.err);
  ASSERT_EQ(err.size(), 1u) << r.err;
  EXPECT_NE(err[0].find("3"), std::string::npos);
  EXPECT_NE(err[0].find(Utf16ToUtf8(StrLoad(701))), std::string::npos) << err[0];
  EXPECT_NE(err[0].find(file.path().string()), std::string::npos) << err[0];
}

TEST(CliParse, BundledExamplesParseInBothLayouts) {
  CliRun comma = RunCli({"parse", kExample});
  ASSERT_EQ(comma.status, 0) << comma.err;
  EXPECT_EQ(Lines(comma.out).size(), 19u);  // column line + 18 cameras
  CliRun bar = RunCli({"parse", kExampleBar});
  ASSERT_EQ(bar.status, 0) << bar.err;
  EXPECT_GT(Lines(bar.out).size(), 5u);
  EXPECT_NE(bar.err.find(Utf16ToUtf8(StrLoad(702))), std::string::npos) << bar.err;
}

TEST(CliParse, QuietPrintsNoRecords) {
  CliRun r = RunCli({"parse", "--quiet", kExample});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "X,Y,TYPE,SPEED,DIRTYPE,DIRECTION\n");
  EXPECT_NE(r.err.find("18"), std::string::npos) << r.err;
}

TEST(CliParse, NoHeaderIsAWarningNotAFailure) {
  TempFile file("1,2,3\n");
  CliRun r = RunCli({"parse", file.path().string()});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Lines(r.err).size(), 2u) << r.err;
  EXPECT_NE(r.err.find(Utf16ToUtf8(StrLoad(704, file.path16()))), std::string::npos) << r.err;
}

TEST(CliParse, UnreadableFileAndIncompleteHeaderExitWithOne) {
  CliRun missing = RunCli({"parse", "/nonexistent/cams.txt"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_NE(missing.err.find(Utf16ToUtf8(
                StrLoad(705, u"/nonexistent/cams.txt", Utf8ToUtf16(platform::ErrorText(ENOENT))))),
            std::string::npos)
      << missing.err;

  TempFile file("X,TYPE\n1,2\n");
  CliRun header = RunCli({"parse", file.path().string()});
  EXPECT_EQ(header.status, 1);
  EXPECT_NE(header.err.find("X, TYPE"), std::string::npos) << header.err;
}

TEST(CliParse, UsageErrorsExitWithTwoAndHelpAndVersionWithZero) {
  // Each usage error names what is wrong in the user's language: in Russian every line it
  // prints has Cyrillic, so none is an English sentence of the argument parser; in English
  // (with arguments in ASCII) none has.
  const struct {
    std::vector<std::string> args;
    std::string named;
  } errors[] = {
      {{}, "export"},
      {{"frobnicate"}, "frobnicate"},
      {{"parse"}, clitest::Text(STR_CLI_ARG_FILE)},
      {{"parse", "--bogus", kExample}, "--bogus"},
      {{"parse", kExample, kExample}, kExample},
      {{"parse", "--quiet=maybe", kExample}, "maybe"},
      {{"export", kExample}, "--output"},
      {{"export", kExample, "-o"}, "--output"},
      {{"export", kExample, "-o", "a", "-o", "b"}, "--output"},
      {{"export", kExample, "-o", "a", "--outptu", "b"}, "--outptu"},
      {{"map", kExample, "-o", "a.png", "--width", "abc"}, "abc"},
      {{"map", kExample, "-o", "a.png", "--height", "9000"}, "--height 9000"},
      {{"export", kExample, "-o", ""}, "--output"},
      {{"map", kExample, "-o", ""}, "--output"},
      {{"export", kExample, "-o", "/tmp/"}, "/tmp/"},
      {{"export", kExample, "-o", "."}, "--output: ."},
      {{"count", kExample, "--ini", ""}, "--ini"},
  };
  for (const auto& e : errors) {
    CliRun r = RunCli(e.args);
    SCOPED_TRACE(testing::PrintToString(e.args) + "\n" + r.err);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(e.named), std::string::npos);
    for (const std::string& line : Lines(r.err))
      EXPECT_EQ(std::any_of(line.begin(), line.end(), [](char c) { return c & 0x80; }),
                clitest::CliLanguage() == Language::Russian);
  }

  CliRun help = RunCli({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("parse"), std::string::npos);
  CliRun parseHelp = RunCli({"parse", "--help"});
  EXPECT_EQ(parseHelp.status, 0);
  EXPECT_NE(parseHelp.out.find("--quiet"), std::string::npos);
  CliRun version = RunCli({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("tarvik-cli ") + TARVIK_VERSION + "\n");
}

TEST(CliParse, OutputDoesNotDependOnTheLocale) {
  std::string saved = std::setlocale(LC_ALL, nullptr);
  bool installed = std::setlocale(LC_ALL, "ru_RU.UTF-8") != nullptr;
  std::setlocale(LC_ALL, saved.c_str());
  if (!installed) {
    GTEST_SKIP() << "locale ru_RU.UTF-8 is not installed (scripts/install-deps.sh generates it)";
  }
  CliRun c = RunCli({"parse", kExample}, "LC_ALL=C");
  CliRun ru = RunCli({"parse", kExample}, "LC_ALL=ru_RU.UTF-8");
  ASSERT_EQ(ru.status, 0) << ru.err;
  EXPECT_EQ(ru.out, c.out);
  EXPECT_NE(ru.out.find("37.6173,55.755800000000001"), std::string::npos);
  EXPECT_EQ(ru.out.find("37,6"), std::string::npos);
}

TEST(CliParse, ReadsFromAPipeToo) {
  CliRun r = RunCli({"parse", "/dev/stdin"}, clitest::LocaleEnv(), kExample);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Lines(r.out).size(), 19u);
}

}  // namespace
}  // namespace tarvik::enginetest
