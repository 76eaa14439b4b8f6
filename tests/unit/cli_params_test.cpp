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

// Output and messages together, in the inherited environment.
CliRun RunParams(const fs::path& ini) {
  CliRun r = clitest::RunCli({"params", "--ini", ini.string()}, "");
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
  EXPECT_NE(r.out.find("Фильтры: 1\n  Весь мир  A (-180; 90)  C (180; -90)  [Включено]\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("Схемы: 1\n  Основная  [Включено, По умолчанию]\n      1  "),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("      7  "), std::string::npos);
  EXPECT_NE(r.out.find("Профили экспорта: 2\n  Nissan Connect  [Включено, По умолчанию]\n"
                       "      файл: POIs.csv; формат: {x},{y},{desc}; каталог: \n"
                       "      кодировка: UTF8 (65001)"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("  Второй  [Включено, Блокировка]"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("кодировка: ANSI (0)"), std::string::npos);

  // Read-only: the file is untouched, no seed was written.
  std::ifstream in(file, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), before);
}

TEST_F(CliParams, MissingAndUnreadableFiles) {
  CliRun missing = RunParams(dir / "none.ini");
  EXPECT_EQ(missing.status, 0) << missing.out;
  EXPECT_NE(missing.out.find("Файл не найден"), std::string::npos);
  EXPECT_NE(missing.out.find("Фильтры: 0"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "none.ini"));  // nothing written, no defaults

  CliRun folder = RunParams(dir);
  EXPECT_EQ(folder.status, 1);
  EXPECT_NE(folder.out.find("Не удалось прочитать файл параметров"), std::string::npos)
      << folder.out;

  // A folder that does not exist is an error, and is not made.
  CliRun nowhere = RunParams(dir / "a" / "b" / "Tarvik.ini");
  EXPECT_EQ(nowhere.status, 1);
  EXPECT_NE(nowhere.out.find("не существует"), std::string::npos) << nowhere.out;
  EXPECT_FALSE(fs::exists(dir / "a"));
}

}  // namespace
}  // namespace tarvik
