// tarvik-cli params: runs the real program on settings files.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "cli_runner.h"
#include "core/text.h"
#include "params/default_params.h"
#include "params/param_io.h"
#include "test_files.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;

using clitest::CliRun;
using clitest::Text;
using clitest::TextStart;

// Output and messages together.
CliRun RunParams(const fs::path& ini) {
  CliRun r = clitest::RunCli({"params", "--ini", ini.string()});
  r.out += r.err;
  return r;
}

class CliParams : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = scratch.path();
    file = dir / "Tarvik.ini";
  }
  testfiles::ScratchDir scratch{"cli"};
  fs::path dir, file;
};

TEST_F(CliParams, ListsTheSetsInStoreOrderWithoutDeletedItems) {
  CAppContext ctx;
  ctx.iniPath = Utf8ToUtf16(file.string());
  ctx.seed = 1;
  ASSERT_TRUE(WriteDefaultParamsIfMissing(ctx));
  {
    // A second, locked profile and a deleted filter.
    IniFile ini;
    ASSERT_TRUE(ini.Load(ctx.iniPath));
    CParamStore store(&ctx);
    ReadParamSections(ini, store);
    MarkDeleted(*store.AddFilter());
    ExportProfile* p = store.AddProfile();
    SetText(p->Name, u"Второй");
    p->Param |= PARAM_LOCKED;
    p->Codepage = 0;
    WriteParamSections(ini, store);
    ASSERT_TRUE(ini.Save(ctx.iniPath));
  }
  const std::string before = [&] {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }();

  CliRun r = RunParams(file);
  EXPECT_EQ(r.status, 0) << r.out;
  const std::string on = Text(STR_ENABLED), current = on + ", " + Text(STR_DEFAULT);
  EXPECT_NE(r.out.find(Text(STR_CLI_FILTERS, 1u) + "\n" +
                       Text(STR_CLI_FILTER_LINE, StrLoad(STR_DEFAULT_FILTER), -180.0, 90.0, 180.0,
                            -90.0, StrLoad(STR_ENABLED)) +
                       "\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find(Text(STR_CLI_SCHEMAS, 1u) + "\n" +
                       Text(STR_CLI_ITEM_LINE, StrLoad(STR_DEFAULT_SCHEMA), Utf8ToUtf16(current)) +
                       "\n      1  "),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("      7  "), std::string::npos);
  EXPECT_NE(r.out.find(Text(STR_CLI_PROFILES, 2u) + "\n" +
                       Text(STR_CLI_ITEM_LINE, u"Nissan Connect", Utf8ToUtf16(current)) + "\n" +
                       Text(STR_CLI_PROFILE_FILES, u"POIs.csv", u"{x},{y},{desc}", u"") + "\n" +
                       TextStart(STR_CLI_PROFILE_LIMITS) + "UTF8 (65001)"),
            std::string::npos)
      << r.out;
  EXPECT_NE(
      r.out.find(Text(STR_CLI_ITEM_LINE, u"Второй", Utf8ToUtf16(on + ", " + Text(STR_LOCKED)))),
      std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find(TextStart(STR_CLI_PROFILE_LIMITS) + "ANSI (0)"), std::string::npos);

  // Read-only: the file is untouched, no seed was written.
  std::ifstream in(file, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), before);
}

TEST_F(CliParams, MissingAndUnreadableFiles) {
  CliRun missing = RunParams(dir / "none.ini");
  EXPECT_EQ(missing.status, 0) << missing.out;
  EXPECT_NE(missing.out.find(Text(STR_CLI_PARAMS_NO_FILE)), std::string::npos);
  EXPECT_NE(missing.out.find(Text(STR_CLI_FILTERS, 0u)), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "none.ini"));  // nothing written, no defaults

  CliRun folder = RunParams(dir);
  EXPECT_EQ(folder.status, 1);
  EXPECT_NE(folder.out.find(TextStart(STR_FAIL_PARAMS_LOAD)), std::string::npos) << folder.out;

  // A folder that does not exist is an error, and is not made.
  CliRun nowhere = RunParams(dir / "a" / "b" / "Tarvik.ini");
  EXPECT_EQ(nowhere.status, 1);
  EXPECT_NE(nowhere.out.find(Text(STR_CLI_NO_INI_FOLDER, (dir / "a" / "b").u16string())),
            std::string::npos)
      << nowhere.out;
  EXPECT_FALSE(fs::exists(dir / "a"));
}

}  // namespace
}  // namespace tarvik
