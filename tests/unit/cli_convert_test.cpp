// tarvik-cli count and export, run as a process over settings written for the test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <clocale>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <png.h>

#include "cli_runner.h"
#include "core/text.h"
#include "map/base_map.h"
#include "map/map_overlay.h"
#include "params/ini_file.h"
#include "params/param_io.h"
#include "params/param_store.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;

using clitest::CliRun;
using clitest::ReadBytes;
using clitest::RunCli;
using clitest::Text;
using clitest::TextStart;
using clitest::WriteBytes;

// A folder with a settings file and a table; removed afterwards.
class CliConvert : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) /
           ("tarvik_cli_convert_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    ini_ = (dir_ / "Tarvik.ini").string();
    table_ = (dir_ / "cams.txt").string();
    WriteBytes(table_,
               "IDX,X,Y,TYPE,SPEED,DIRTYPE,DIRECTION\r\n"
               "1,37.6177,55.7558,2,60,0,0\r\n"  // Moscow
               "2,37.5,55.5,10,40,0,0\r\n"       // Moscow
               "3,30.3,59.9,2,90,0,0\r\n"        // St Petersburg
               "4,36.0,56.0,1,0,0,0\r\n"         // Moscow
               "5,36.1,56.1,7,0,0,0\r\n"         // no entry
               "6,10.0,10.0,2,50,0,0\r\n");      // nowhere
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  // The settings of most tests: three areas (one disabled), two schemas, two profiles.
  void WriteSettings(const std::function<void(CParamStore&)>& extra = {}) {
    CAppContext ctx;
    CParamStore store(&ctx);
    auto area = [&](std::u16string_view name, double ax, double ay, double cx, double cy,
                    std::uint8_t param) {
      FilterArea* a = store.AppendFilter();
      a->Param = param;
      SetText(a->Name, name);
      a->AX = ax, a->AY = ay, a->CX = cx, a->CY = cy;
    };
    area(u"Москва", 35, 57, 40, 54, PARAM_ENABLED);
    area(u"Петербург", 29, 61, 31, 59, PARAM_ENABLED);
    area(u"Выключена", 0, 90, 180, 0, 0);
    SchemaSet* main = store.AppendSchema();
    main->Param = PARAM_ENABLED | PARAM_DEFAULT;
    SetText(main->Name, u"Основная");
    auto entry = [&](SchemaSet* s, std::int32_t type, std::u16string_view desc) {
      SchemaEntry* e = store.AppendEntry(*s);
      e->Param = PARAM_ENABLED;
      e->Type = type;
      SetText(e->Desc, desc);
    };
    entry(main, 2, u"Камера {speed}");
    entry(main, 10, u"Десять");
    entry(main, 1, u"Один");
    SchemaSet* other = store.AppendSchema();
    other->Param = PARAM_ENABLED;
    SetText(other->Name, u"Другая");
    entry(&store.Schemas()[1], 7, u"Семь");
    auto profile = [&](std::u16string_view name, std::u16string_view file,
                       std::u16string_view format, std::int32_t codepage, std::uint8_t param) {
      ExportProfile* p = store.AppendProfile();
      p->Param = param;
      SetText(p->Name, name);
      SetText(p->File, file);
      SetText(p->Format, format);
      p->Codepage = codepage;
    };
    profile(u"Навигатор", u"POIs.csv", u"{x},{y},{desc}", 65001, PARAM_ENABLED | PARAM_DEFAULT);
    profile(u"Старый", u"old.txt", u"{type};{desc}", 0, PARAM_ENABLED);
    profile(u"Выключен", u"off.csv", u"{desc}", 65001, 0);
    if (extra) extra(store);
    IniFile ini;
    WriteParamSections(ini, store);
    ASSERT_TRUE(ini.Save(Utf8ToUtf16(ini_)));
  }

  CliRun Count(std::vector<std::string> more = {}) {
    std::vector<std::string> args = {"count", table_, "--ini", ini_};
    args.insert(args.end(), more.begin(), more.end());
    return RunCli(args);
  }
  CliRun Export(const std::string& out, std::vector<std::string> more = {}) {
    std::vector<std::string> args = {"export", table_, "-o", (dir_ / out).string(), "--ini", ini_};
    args.insert(args.end(), more.begin(), more.end());
    return RunCli(args);
  }

  fs::path dir_;
  std::string ini_, table_;
};

TEST_F(CliConvert, CountPrintsTheListsAsTheMainWindowShowsThem) {
  WriteSettings();
  CliRun r = Count();
  ASSERT_EQ(r.status, 0) << r.err;
  // Types by code, numerically; areas by count, most first; zero counts shown for areas only.
  // A disabled area has no row but still makes its records count for their type.
  EXPECT_EQ(r.out, Text(STR_COLUMN_TYPE) + "\t" + Text(STR_COLUMN_COUNT) + "\t" +
                       Text(STR_COLUMN_DESC) +
                       "\n"
                       "1\t1\tОдин\n"
                       "2\t3\tКамера {speed}\n"  // one of them only in the disabled area
                       "10\t1\tДесять\n"
                       "\n" +
                       Text(STR_COLUMN_NAME) + "\t" + Text(STR_COLUMN_COUNT) +
                       "\n"
                       "Москва\t3\n"
                       "Петербург\t1\n"
                       "\n" +
                       Text(STR_CLI_RECORDS, 6u) + "\n" + Text(STR_CLI_UNMATCHED, 1u) + "\n" +
                       Text(STR_MATCH, 500.0 / 6) + "\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(CliConvert, SchemaOptionIsForThisRunOnly) {
  WriteSettings();
  std::string before = ReadBytes(ini_);
  CliRun r = Count({"--schema", "Другая"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\n7\t1\tСемь\n\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(Text(STR_CLI_UNMATCHED, 5u) + "\n"), std::string::npos) << r.out;
  EXPECT_EQ(ReadBytes(ini_), before);

  r = Count({"--schema", "Нет такой"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("Основная, Другая"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
}

TEST_F(CliConvert, FirstStartDefaultsDescribeEveryTypeOfAPublishedTable) {
  // No settings file yet: the defaults are written, in the language of this start, and
  // describe cameras and hazards alike.
  CliRun r = RunCli({"count", std::string(TARVIK_EXAMPLES) + "/published.txt", "--ini", ini_});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("101\t1\t" + Text(STR_DEFAULT_HAZARD_FIRST + 1) + "\n"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find(Text(STR_CLI_RECORDS, 14u) + "\n" + Text(STR_CLI_UNMATCHED, 0u) + "\n" +
                       Text(STR_MATCH, 100.0)),
            std::string::npos)
      << r.out;
  // A later start in the other language leaves them as they are.
  const std::string written = ReadBytes(ini_);
  const char* other = clitest::CliLanguage() == Language::English ? "ru" : "en";
  r = RunCli({"count", table_, "--ini", ini_}, clitest::LocaleEnv() + " TARVIK_LANG=" + other);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadBytes(ini_), written);
}

TEST_F(CliConvert, CountFailsClearlyOnAnUnreadableTable) {
  WriteSettings();
  CliRun r = RunCli({"count", (dir_ / "missing.txt").string(), "--ini", ini_});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("missing.txt"), std::string::npos) << r.err;
}

TEST_F(CliConvert, ExportWritesThroughTheCurrentProfile) {
  WriteSettings();
  CliRun r = Export("cams");
  ASSERT_EQ(r.status, 0) << r.err;
  fs::path out = dir_ / "cams.csv";
  EXPECT_EQ(ReadBytes(out),
            "37.617700,55.755800,Камера 60\r\n"
            "37.500000,55.500000,Десять\r\n"
            "30.300000,59.900000,Камера 90\r\n"
            "36.000000,56.000000,Один\r\n");
  EXPECT_EQ(r.out, Text(STR_CLI_EXPORT_SUMMARY, 4LL, 0LL,
                        static_cast<long long>(ReadBytes(out).size()), out.u16string()) +
                       "\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(CliConvert, ExportAddsTheProfileExtensionLikeSaveAs) {
  WriteSettings();
  ASSERT_EQ(Export("a.CSV").status, 0);
  EXPECT_TRUE(fs::exists(dir_ / "a.CSV"));
  EXPECT_FALSE(fs::exists(dir_ / "a.CSV.csv"));
  ASSERT_EQ(Export("b.txt").status, 0);
  EXPECT_TRUE(fs::exists(dir_ / "b.txt.csv"));
  ASSERT_EQ(Export("c.", {"--profile", "Старый"}).status, 0);
  EXPECT_TRUE(fs::exists(dir_ / "c..txt"));
}

TEST_F(CliConvert, ExportRefusesAnExistingFileUnlessForced) {
  WriteSettings();
  WriteBytes(dir_ / "cams.csv", "keep");
  CliRun r = Export("cams");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("--force"), std::string::npos) << r.err;
  EXPECT_EQ(ReadBytes(dir_ / "cams.csv"), "keep");
  r = Export("cams", {"--force"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(ReadBytes(dir_ / "cams.csv"), "keep");

  // A link that points nowhere counts as a file; forced, the file it names is written and
  // the link stays.
  fs::create_symlink("elsewhere.txt", dir_ / "dang.csv");
  EXPECT_EQ(Export("dang").status, 1);
  EXPECT_FALSE(fs::exists(dir_ / "elsewhere.txt"));
  r = Export("dang", {"--force"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_symlink(dir_ / "dang.csv"));
  EXPECT_EQ(ReadBytes(dir_ / "elsewhere.txt"), ReadBytes(dir_ / "cams.csv"));
  EXPECT_TRUE(testfiles::NoTemporaries(dir_));
}

TEST_F(CliConvert, ExportTicksAreasAndTypesByName) {
  WriteSettings();
  CliRun r = Export("p", {"--areas", "Петербург"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadBytes(dir_ / "p.csv"), "30.300000,59.900000,Камера 90\r\n");
  r = Export("t", {"--types", "10,1", "--areas", "Москва,Петербург"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadBytes(dir_ / "t.csv"),
            "37.500000,55.500000,Десять\r\n36.000000,56.000000,Один\r\n");

  // Names that match no row are usage errors that list what there is.
  r = Export("u", {"--types", "7"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("1, 2, 10"), std::string::npos) << r.err;
  r = Export("u", {"--areas", "Выключена"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("Москва, Петербург"), std::string::npos) << r.err;
  r = Export("u", {"--profile", "Выключен"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("Навигатор, Старый"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir_ / "u.csv"));
}

TEST_F(CliConvert, ExportThroughAnAnsiProfile) {
  WriteSettings();
  CliRun r = Export("old", {"--profile", "Старый", "--types", "2"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadBytes(dir_ / "old.txt"),
            "2;\xCA\xE0\xEC\xE5\xF0\xE0 60\r\n"
            "2;\xCA\xE0\xEC\xE5\xF0\xE0 90\r\n");
}

TEST_F(CliConvert, ExportReportsWhatTheSizeLimitLeftOut) {
  WriteSettings([](CParamStore& s) {
    ExportProfile& p = s.Profiles()[0];
    SetText(p.Format, u"{desc}" + std::u16string(120, u'.'));
    p.SizeLimit = 1;  // 1 KiB: the lines are about 140 bytes
  });
  std::string table = "X,Y,TYPE,SPEED\n";
  for (int i = 0; i < 20; ++i) table += "37,55,2,60\n";
  WriteBytes(table_, table);
  CliRun r = Export("big");
  ASSERT_EQ(r.status, 0) << r.err;
  std::string out = ReadBytes(dir_ / "big.csv");
  std::size_t line = out.find("\r\n") + 2;
  EXPECT_EQ(out.size() % line, 0u);
  EXPECT_EQ(out.size() / line, 1024 / line);
  const long long written = static_cast<long long>(1024 / line);
  EXPECT_EQ(r.out, Text(STR_CLI_EXPORT_SUMMARY, written, 20 - written,
                        static_cast<long long>(out.size()), (dir_ / "big.csv").u16string()) +
                       "\n");
  EXPECT_EQ(r.err, Text(STR_CLI_TRUNCATED, 1) + "\n");
}

TEST_F(CliConvert, ExportFailuresExitWithOneAndSayWhy) {
  WriteSettings();
  CliRun r = Export("no such folder/cams");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.find(TextStart(STR_FAIL_EXPORT_CREATE)), 0u) << r.err;
  EXPECT_NE(r.err.find("no such folder/cams.csv"), std::string::npos) << r.err;

  // No enabled area: nothing is counted, so the type list is empty too; no file at all.
  WriteSettings([](CParamStore& s) {
    for (FilterArea& a : s.Filters()) a.Param = 0;
  });
  r = Export("none");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, Text(STR_CLI_NO_TYPE_ROWS) + "\n");
  EXPECT_FALSE(fs::exists(dir_ / "none.csv"));

  // Missing option: a usage error.
  r = RunCli({"export", table_, "--ini", ini_});
  EXPECT_EQ(r.status, 2);

  // An area that holds none of the points: nothing to export, no file.
  WriteSettings([](CParamStore& s) {
    FilterArea* a = s.AppendFilter();
    a->Param = PARAM_ENABLED;
    SetText(a->Name, u"Пусто");
    a->AX = 100, a->AY = 10, a->CX = 101, a->CY = 9;
  });
  r = Export("empty", {"--areas", "Пусто"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, Text(STR_FAIL_EXPORT_NOTHING) + "\n");
  EXPECT_FALSE(fs::exists(dir_ / "empty.csv"));

  // A file size limit fails the write (it does not kill the program); the file it was to
  // replace stays as it was.
  std::string big = "X,Y,TYPE,SPEED\r\n";
  for (int i = 0; i < 4000; ++i) big += "37.6,55.7,2,60\r\n";
  WriteBytes(table_, big);
  WriteBytes(dir_ / "big.csv", "keep");
  r = RunCli({"export", table_, "-o", (dir_ / "big").string(), "--ini", ini_, "--force"},
             "ulimit -f 64; " + clitest::LocaleEnv());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(TextStart(STR_FAIL_EXPORT_WRITE)), std::string::npos) << r.err;
  EXPECT_EQ(ReadBytes(dir_ / "big.csv"), "keep");
  EXPECT_TRUE(testfiles::NoTemporaries(dir_));
}

// File names are bytes: a table named in Windows-1251 opens, an output name that is not UTF-8
// is written as given, and messages show such bytes as replacement characters.
TEST_F(CliConvert, FileNamesAreBytes) {
  WriteSettings();
  const std::string cp1251 = (dir_ / "\xCA\xE0\xEC\xE5\xF0\xFB.txt").string();
  fs::copy_file(table_, cp1251);
  CliRun r = RunCli({"export", cp1251, "-o", (dir_ / "\xE9t\xE9").string(), "--ini", ini_});
  ASSERT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(Export("plain").status, 0);
  EXPECT_EQ(ReadBytes(dir_ / "\xE9t\xE9.csv"), ReadBytes(dir_ / "plain.csv"));
  EXPECT_NE(r.out.find("\xEF\xBF\xBDt\xEF\xBF\xBD.csv"), std::string::npos) << r.out;
}

// A settings file in a folder that does not exist is an error; defaults that cannot be
// written (a link that points nowhere has the name) are told and serve the run.
TEST_F(CliConvert, SettingsThatCannotBeWritten) {
  CliRun r = RunCli({"count", table_, "--ini", (dir_ / "a" / "b" / "Tarvik.ini").string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, Text(STR_CLI_NO_INI_FOLDER, (dir_ / "a" / "b").u16string()) + "\n");
  EXPECT_FALSE(fs::exists(dir_ / "a"));

  fs::create_symlink("nowhere/Tarvik.ini", dir_ / "dang.ini");
  r = RunCli({"count", table_, "--ini", (dir_ / "dang.ini").string()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find(TextStart(STR_DEFAULTS_UNSAVED)), 0u) << r.err;
  EXPECT_NE(r.out.find(Text(STR_DEFAULT_FILTER)), std::string::npos) << r.out;
  EXPECT_TRUE(fs::is_symlink(dir_ / "dang.ini"));
}

// A termination signal cancels the running task; the program then ends by that signal, and
// the file it was to replace stays as it was.
TEST_F(CliConvert, ASignalCancelsTheTaskAndEndsTheProgram) {
  WriteSettings();
  WriteBytes(dir_ / "cams.csv", "keep");
  const fs::path fifo = dir_ / "slow.txt";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string out = (dir_ / "cams").string();
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::execl(TARVIK_CLI, "tarvik-cli", "export", fifo.c_str(), "-o", out.c_str(), "--ini",
            ini_.c_str(), "--force", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // Opening returns once the program reads the table; it then waits for more.
  int fd = ::open(fifo.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  const std::string head = "X,Y,TYPE\r\n37.6,55.7,2\r\n";
  ASSERT_EQ(::write(fd, head.data(), head.size()), static_cast<ssize_t>(head.size()));
  ::kill(pid, SIGTERM);
  ::usleep(100000);
  ::close(fd);  // the read returns, and the task sees the cancel
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  EXPECT_EQ(ReadBytes(dir_ / "cams.csv"), "keep");
  EXPECT_TRUE(testfiles::NoTemporaries(dir_));
}

TEST_F(CliConvert, NumbersIgnoreTheUsersLocale) {
  std::string saved = std::setlocale(LC_ALL, nullptr);
  bool installed = std::setlocale(LC_ALL, "ru_RU.UTF-8") != nullptr;
  std::setlocale(LC_ALL, saved.c_str());
  if (!installed) GTEST_SKIP() << "locale ru_RU.UTF-8 is not installed";
  WriteSettings();
  CliRun c = RunCli({"export", table_, "-o", (dir_ / "c").string(), "--ini", ini_}, "LC_ALL=C");
  CliRun ru =
      RunCli({"export", table_, "-o", (dir_ / "ru").string(), "--ini", ini_}, "LC_ALL=ru_RU.UTF-8");
  ASSERT_EQ(c.status, 0) << c.err;
  ASSERT_EQ(ru.status, 0) << ru.err;
  EXPECT_EQ(ReadBytes(dir_ / "c.csv"), ReadBytes(dir_ / "ru.csv"));
  CliRun count = RunCli({"count", table_, "--ini", ini_}, "LC_ALL=ru_RU.UTF-8");
  EXPECT_NE(count.out.find("83.33 %"), std::string::npos) << count.out;
}

// The picture of `tarvik-cli map`: an enabled area's outline where its corners fall, a
// cluster of cameras darker than the land around it.
TEST_F(CliConvert, MapDrawsTheAreasAndTheDensityOfTheCameras) {
  WriteSettings();
  std::string table = "IDX,X,Y,TYPE,SPEED,DIRTYPE,DIRECTION\r\n";
  for (int i = 0; i < 25000; ++i)  // a square degree around 36.5, 59.5, on a grid
    table += std::to_string(i) + "," + std::to_string(36 + (i % 160) / 160.0) + "," +
             std::to_string(59 + (i / 160) / 160.0) + ",2,60,0,0\r\n";
  WriteBytes(table_, table);
  const fs::path out = dir_ / "map.png";
  CliRun r = RunCli({"map", table_, "-o", out.string(), "--ini", ini_, "--width", "400", "--height",
                     "300", "--bbox", "28,50,44,62"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("25000"), std::string::npos) << r.out;

  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, out.c_str()));
  image.format = PNG_FORMAT_RGB;
  std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
  ASSERT_EQ(image.width, 400u);
  ASSERT_EQ(image.height, 300u);
  auto pixel = [&](int x, int y) {
    const unsigned char* p = &rgb[(static_cast<std::size_t>(y) * 400 + x) * 3];
    return Argb{0xFF000000u | p[0] << 16 | p[1] << 8 | p[2]};
  };
  auto light = [&](int x, int y) {
    const Argb c = pixel(x, y);
    return 0.3 * (c >> 16 & 0xFF) + 0.59 * (c >> 8 & 0xFF) + 0.11 * (c & 0xFF);
  };

  // "Москва", 35..40 x 54..57: its outline, two pixels wide inside the box.
  const MapView view = FitView(
      [] {
        GeoBox b;
        b.Add(28, 50);
        b.Add(44, 62);
        return b;
      }(),
      400, 300, 0);
  const PixelBox box = AreaPixels(view, 35, 57, 40, 54);
  const int midX = (box.left + box.right) / 2, midY = (box.top + box.bottom) / 2;
  for (auto [x, y] : {std::pair{box.left, midY},
                      {box.right, midY},
                      {midX, box.top},
                      {midX, box.bottom},
                      {box.left + 1, midY},
                      {midX, box.bottom - 1}})
    EXPECT_EQ(pixel(x, y), map_colors::kArea) << x << ", " << y;
  for (auto [x, y] : {std::pair{box.left - 2, midY},
                      {box.right + 2, midY},
                      {midX, box.bottom + 2},
                      {box.left + 3, midY}})
    EXPECT_NE(pixel(x, y), map_colors::kArea) << x << ", " << y;

  const PixelPoint cluster = view.ToPixel({36.5, 59.5}), land = view.ToPixel({42.3, 58.1});
  EXPECT_LT(light(int(cluster.x), int(cluster.y)) + 60, light(int(land.x), int(land.y)));
}

// The coast around Gibraltar: drawn by default, left out with --no-basemap; without GSHHG the
// picture is made all the same and a note says how to get the geography.
TEST_F(CliConvert, MapDrawsTheCoastUnlessLeftOutAndSaysWhenItIsMissing) {
  WriteSettings();
  auto picture = [&](const std::string& name, const std::vector<std::string>& more,
                     const std::string& env) {
    std::vector<std::string> args = {"map",
                                     table_,
                                     "--ini",
                                     ini_,
                                     "-o",
                                     (dir_ / name).string(),
                                     "--width",
                                     "400",
                                     "--height",
                                     "300",
                                     "--bbox=-7,35,-4,37"};
    args.insert(args.end(), more.begin(), more.end());
    const CliRun r = RunCli(args, env);
    EXPECT_EQ(r.status, 0) << r.err;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    std::vector<unsigned char> rgb;
    if (png_image_begin_read_from_file(&image, (dir_ / name).c_str())) {
      image.format = PNG_FORMAT_RGB;
      rgb.resize(PNG_IMAGE_SIZE(image));
      png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr);
    }
    return std::pair{r.err, rgb};
  };
  const auto [drawn, with] = picture("with.png", {}, "LC_ALL=C");
  const auto [left, without] = picture("without.png", {"--no-basemap"}, "LC_ALL=C");
  const auto [missing, none] = picture("none.png", {}, "LC_ALL=C TARVIK_GSHHG_DIR=/nonexistent");
  ASSERT_EQ(with.size(), 400u * 300 * 3);
  ASSERT_EQ(without.size(), with.size());
  ASSERT_EQ(none.size(), with.size());
  EXPECT_EQ(drawn, "");
  EXPECT_EQ(left, "");
  EXPECT_NE(missing.find("gmt-gshhg-low"), std::string::npos) << missing;

  // Where the base map puts the coast, the pictures differ (city labels may cover a few).
  CAppContext context;
  BaseMap base(&context);
  base.Open(DefaultGshhgDir(), DefaultCitiesPath());
  BaseLines lines(&context);
  GeoBox box;
  box.Add(-7, 35);
  box.Add(-4, 37);
  ASSERT_TRUE(base.Lines(FitView(box, 400, 300, 0), lines));
  int coast = 0, differs = 0, unlined = 0;
  for (const LineRun& run : lines.runs) {
    if (run.kind != LineKind::Coast) continue;
    for (std::uint32_t k = run.first; k < run.first + run.count; ++k) {
      const int x = static_cast<int>(lines.points[k].x), y = static_cast<int>(lines.points[k].y);
      if (x < 0 || y < 0 || x >= 400 || y >= 300) continue;
      const std::size_t at = (static_cast<std::size_t>(y) * 400 + x) * 3;
      ++coast;
      differs += !std::equal(&with[at], &with[at] + 3, &without[at]);
      unlined += std::equal(&none[at], &none[at] + 3, &without[at]);
    }
  }
  ASSERT_GT(coast, 100);
  EXPECT_GT(differs, coast * 9 / 10);
  EXPECT_GT(unlined, coast * 8 / 10);
}

TEST_F(CliConvert, MapRefusesBadBoxesSizesAndFilesThatAreNoPictures) {
  WriteSettings();
  WriteBytes(dir_ / "notes.txt", "keep me");
  const struct {
    std::vector<std::string> more;
    const char* out;
    int status;
    const char* says;
  } cases[] = {
      {{"--bbox", "30,50,30,60"}, "m.png", 2, "--bbox"},
      {{"--bbox", "30;50;40;60"}, "m.png", 2, "--bbox"},
      {{"--bbox", "30,50,40,95"}, "m.png", 2, "--bbox"},
      {{"--width", "8"}, "m.png", 2, "16"},
      {{}, "notes.txt", 1, "PNG"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"map", table_, "--ini", ini_, "-o", (dir_ / c.out).string()};
    args.insert(args.end(), c.more.begin(), c.more.end());
    const CliRun r = RunCli(args);
    EXPECT_EQ(r.status, c.status) << c.out;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
  }
  EXPECT_EQ(ReadBytes(dir_ / "notes.txt"), "keep me");
  EXPECT_FALSE(fs::exists(dir_ / "m.png"));
}

// A device named as the output is written as it is (no extension, no file beside it) and its
// errors are told; a device as the table, or a file without one, fails with the reason.
TEST_F(CliConvert, DevicesAsOutputsAndInputs) {
  WriteSettings();
  CliRun r = RunCli({"export", table_, "-o", "/dev/null", "--ini", ini_});
  EXPECT_EQ(r.status, 0) << r.err;
  r = RunCli({"map", table_, "-o", "/dev/null", "--ini", ini_, "--width", "64", "--height", "64"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists("/dev/null.csv"));
  r = RunCli({"export", table_, "-o", "/dev/full", "--ini", ini_});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(Text(STR_ERRNO_ENOSPC)), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists("/dev/full.csv"));

  r = RunCli({"count", "/dev/zero", "--ini", ini_});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, Text(STR_FAIL_NOT_A_FILE, u"/dev/zero") + "\n");
  WriteBytes(dir_ / "notes.txt", "no table here\n");
  r = RunCli({"count", (dir_ / "notes.txt").string(), "--ini", ini_});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, Text(STR_OPEN_NO_TABLE, (dir_ / "notes.txt").u16string()) + "\n");
  EXPECT_EQ(r.out, "");
}

// The first termination signal ends a run wherever it waits: for the writer of a table that
// is a pipe, or for the reader of an output that is one. The pipe stays, nothing is left.
TEST_F(CliConvert, TheFirstSignalEndsARunThatWaitsForAPipe) {
  WriteSettings();
  const fs::path in = dir_ / "in.txt", out = dir_ / "out.csv";
  ASSERT_EQ(::mkfifo(in.c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(out.c_str(), 0600), 0);
  const std::vector<std::vector<std::string>> runs = {
      {"parse", in.string()},
      {"export", table_, "-o", out.string(), "--ini", ini_},
  };
  for (const auto& args : runs) {
    std::vector<std::string> argv = {TARVIK_CLI};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> ptrs;
    for (std::string& a : argv) ptrs.push_back(a.data());
    ptrs.push_back(nullptr);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 1);
      ::dup2(null, 2);
      ::execv(ptrs[0], ptrs.data());
      ::_exit(127);
    }
    ::usleep(300000);  // the program is waiting by now; if not, the signal ends it all the same
    ::kill(pid, SIGTERM);
    int status = 0;
    pid_t done = 0;
    for (int tries = 0; tries < 3000 && done == 0; ++tries) {
      done = ::waitpid(pid, &status, WNOHANG);
      if (done == 0) ::usleep(10000);
    }
    if (done == 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      ADD_FAILURE() << args[0] << " did not end on the first signal";
    }
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << args[0] << " " << status;
  }
  struct stat st {};
  EXPECT_TRUE(::stat(out.c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
  EXPECT_TRUE(testfiles::NoTemporaries(dir_));
}

// The picture is written as the export writes its file: an existing picture is replaced only
// with --force, and a signal while it is written leaves the older one and no temporary.
TEST_F(CliConvert, MapReplacesOnlyWithForceAndASignalLeavesNothing) {
  WriteSettings();
  const std::string png = (dir_ / "m.png").string();
  auto map = [&](std::vector<std::string> more) {
    std::vector<std::string> args = {"map", table_, "--ini", ini_, "-o", png};
    args.insert(args.end(), more.begin(), more.end());
    return RunCli(args);
  };
  ASSERT_EQ(map({"--width", "64", "--height", "64"}).status, 0);
  const std::string small = ReadBytes(png);
  CliRun r = map({"--width", "80", "--height", "64"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, Text(STR_CLI_EXISTS, Utf8ToUtf16(png)) + "\n");
  EXPECT_EQ(ReadBytes(png), small);
  ASSERT_EQ(map({"--width", "80", "--height", "64", "--force"}).status, 0);
  const std::string picture = ReadBytes(png);
  EXPECT_NE(picture, small);

  // A large picture, and a signal as soon as its file is being written.
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    ::execl(TARVIK_CLI, "tarvik-cli", "map", table_.c_str(), "--ini", ini_.c_str(), "-o",
            png.c_str(), "--force", "--width", "8192", "--height", "8192",
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (!testfiles::NoTemporaries(dir_)) {
      ::kill(pid, SIGTERM);
      ::waitpid(pid, &status, 0);
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
      EXPECT_EQ(ReadBytes(png), picture);
      break;
    }
    ::usleep(1000);
  }
  EXPECT_TRUE(testfiles::NoTemporaries(dir_));
}

}  // namespace
}  // namespace tarvik
