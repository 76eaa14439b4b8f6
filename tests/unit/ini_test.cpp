#include "params/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "core/platform_files.h"
#include "core/text.h"
#include "test_files.h"

namespace tarvik {
namespace {

namespace fs = std::filesystem;

std::u16string Enc(const void* p, std::size_t n) {
  return EncodeStruct(p, n);
}

class TempDir {
 public:
  fs::path path(const char* name) const { return scratch_.path() / name; }
  std::u16string u16(const char* name) const { return Utf8ToUtf16(path(name).string()); }

 private:
  testfiles::ScratchDir scratch_{"ini"};
};

using testfiles::ReadBytes;
using testfiles::WriteBytes;

using testfiles::NoTemporaries;

// The bytes of a saved file holding `text` (UTF-8 here): UTF-16LE with a byte-order mark.
std::string Saved(std::string_view text) {
  std::string out = "\xFF\xFE";
  for (char16_t c : Utf8ToUtf16(text)) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

std::u16string Get(const IniFile& ini, std::u16string_view section, std::u16string_view key,
                   std::size_t capacity = 256) {
  std::u16string buf(capacity, u'\0');
  std::size_t n = ini.GetString(section, key, buf.data(), capacity);
  buf.resize(n);
  return buf;
}

TEST(IniStruct, EncodesTheDocumentedExamples) {
  std::uint32_t count = 3, zero = 0;
  std::uint8_t param = 0x40;
  std::int32_t type = 255, codepage = 65001;
  double ax = 37.5;
  EXPECT_EQ(Enc(&count, 4), u"0300000003");
  EXPECT_EQ(Enc(&zero, 4), u"0000000000");
  EXPECT_EQ(Enc(&param, 1), u"4040");
  EXPECT_EQ(Enc(&type, 4), u"FF000000FF");
  EXPECT_EQ(Enc(&codepage, 4), u"E9FD0000E6");
  EXPECT_EQ(Enc(&ax, 8), u"0000000000C0424042");
  std::int32_t negative = -2;
  EXPECT_EQ(Enc(&negative, 4), u"FEFFFFFFFB");  // two's complement, sum 0x3FB
}

TEST(IniStruct, DecodeAcceptsOnlyExactDigitsWithTheChecksum) {
  std::int32_t v = 7;
  EXPECT_TRUE(DecodeStruct(u"ff000000ff", &v, 4));  // either case
  EXPECT_EQ(v, 255);
  v = 7;
  EXPECT_FALSE(DecodeStruct(u"FF000000FE", &v, 4));  // checksum
  EXPECT_FALSE(DecodeStruct(u"FF000000F", &v, 4));   // length
  EXPECT_FALSE(DecodeStruct(u"FF000000FF00", &v, 4));
  EXPECT_FALSE(DecodeStruct(u"FG000000FF", &v, 4));  // not hex
  EXPECT_FALSE(DecodeStruct(u"", &v, 4));
  EXPECT_EQ(v, 7);  // untouched on failure

  // NaN and infinities keep their exact bits.
  double values[] = {
      std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
      -std::numeric_limits<double>::infinity(), -0.0, std::numeric_limits<double>::denorm_min()};
  for (double d : values) {
    double back = 1;
    ASSERT_TRUE(DecodeStruct(Enc(&d, 8), &back, 8));
    EXPECT_EQ(std::memcmp(&d, &back, 8), 0);
  }
}

TEST(IniParse, FollowsTheWindowsConventions) {
  IniFile ini;
  ini.Parse(
      "; leading comment\r\n"
      "[ filter ]\r\n"
      "  Name  =  spaced value  \r\n"
      "Quoted=\"  keep blanks  \"\r\n"
      "Half=\"open\r\n"
      "Single='  apostrophes  '\r\n"
      "Mixed=\"a'\r\n"
      "no equals sign here\r\n"
      ";Commented=1\r\n"
      "dup=first\r\n"
      "DUP=second\r\n"
      "Empty=\r\n"
      "[Other]\n"
      "Name=other\r"
      "x=lone CR ends a line\n");
  std::u16string_view v;
  EXPECT_EQ(Get(ini, u"FILTER", u"name"), u"spaced value");
  EXPECT_EQ(Get(ini, u"Filter", u"Quoted"), u"  keep blanks  ");
  EXPECT_EQ(Get(ini, u"Filter", u"Half"), u"\"open");
  EXPECT_EQ(Get(ini, u"Filter", u"Single"), u"  apostrophes  ");
  EXPECT_EQ(Get(ini, u"Filter", u"Mixed"), u"\"a'");
  EXPECT_FALSE(ini.GetValue(u"Filter", u"no equals sign here", v));
  EXPECT_FALSE(ini.GetValue(u"Filter", u"Commented", v));
  EXPECT_FALSE(ini.GetValue(u"Filter", u";Commented", v));
  EXPECT_EQ(Get(ini, u"Filter", u"dup"), u"first");
  EXPECT_TRUE(ini.GetValue(u"Filter", u"Empty", v));
  EXPECT_TRUE(v.empty());
  EXPECT_EQ(Get(ini, u"other", u"NAME"), u"other");
  EXPECT_EQ(Get(ini, u"Other", u"x"), u"lone CR ends a line");
  EXPECT_FALSE(ini.GetValue(u"Missing", u"Name", v));
  EXPECT_EQ(Get(ini, u"Missing", u"Name"), u"");

  // Capacity: at most capacity - 1 characters, always terminated.
  char16_t buf[5];
  std::memset(buf, 0x55, sizeof buf);
  EXPECT_EQ(ini.GetString(u"Filter", u"Name", buf, 5), 4u);
  EXPECT_EQ(std::u16string(buf), u"spac");
}

TEST(IniParse, CyrillicNamesCompareWithoutCase) {
  IniFile ini;
  ini.Parse("[Секция]\r\nКлюч=значение\r\n");
  EXPECT_EQ(Get(ini, u"СЕКЦИЯ", u"ключ"), u"значение");
}

TEST(IniWrite, NewFileHasWindowsLayout) {
  IniFile ini;
  std::uint32_t zero = 0;
  ini.WriteStruct(u"Filter", u"Count", &zero, 4);
  ini.WriteString(u"Export", u"0.Name", u"Профиль");
  ini.WriteString(u"Filter", u"0.Name", u"A");
  EXPECT_EQ(ini.Serialize(),
            Saved("[Filter]\r\nCount=0000000000\r\n0.Name=A\r\n[Export]\r\n0.Name=Профиль\r\n"));
}

TEST(IniWrite, KeepsWhatItDoesNotOwn) {
  IniFile ini;
  ini.Parse(
      "; my notes\r\n"
      "[User]\r\n"
      "Key = kept as written \r\n"
      "; comment inside\r\n"
      "\r\n"
      "[Filter]\r\n"
      "Count=0100000001\r\n"
      "0.Name=old\r\n"
      "\r\n"
      "[Core]\r\n"
      "Seed=0000000000000000 00\r\n"
      "\r\n"
      "[Tail]\r\n"
      "a=b");
  ini.RemoveSection(u"FILTER");
  ini.WriteString(u"Filter", u"0.Name", u"new");
  std::int64_t seed = 1;
  ini.WriteStruct(u"core", u"seed", &seed, 8);
  ini.WriteString(u"User", u"Added", u"x");
  EXPECT_EQ(ini.Serialize(), Saved("; my notes\r\n"
                                   "[User]\r\n"
                                   "Key = kept as written \r\n"
                                   "; comment inside\r\n"
                                   "Added=x\r\n"
                                   "\r\n"
                                   "[Core]\r\n"
                                   "seed=010000000000000001\r\n"
                                   "\r\n"
                                   "[Tail]\r\n"
                                   "a=b\r\n"
                                   "[Filter]\r\n"
                                   "0.Name=new\r\n"));
}

TEST(IniWrite, RemovesEveryCopyOfASectionAndQuotesFragileValues) {
  IniFile ini;
  ini.Parse("[Schema]\r\nCount=1\r\n[Schema]\r\nCount=2\r\n");
  ini.RemoveSection(u"Schema");
  std::u16string_view v;
  EXPECT_FALSE(ini.GetValue(u"Schema", u"Count", v));
  EXPECT_TRUE(ini.SectionNames().empty());

  ini.WriteString(u"S", u"a", u"  padded ");
  ini.WriteString(u"S", u"b", u"\"quoted\"");
  ini.WriteString(u"S", u"f", u"'single'");
  ini.WriteString(u"S", u"c", u"line\r\nbreak");
  ini.WriteString(u"S", u"d", u"plain \"inner\" quotes");
  ini.WriteString(u"S", u"e", std::u16string(u"ends in a break\r\n\0", 18));
  IniFile back;
  back.Parse(ini.Serialize());
  EXPECT_EQ(Get(back, u"S", u"a"), u"  padded ");
  EXPECT_EQ(Get(back, u"S", u"b"), u"\"quoted\"");
  EXPECT_EQ(Get(back, u"S", u"f"), u"'single'");
  EXPECT_EQ(Get(back, u"S", u"c"), u"line  break");
  EXPECT_EQ(Get(back, u"S", u"d"), u"plain \"inner\" quotes");
  EXPECT_EQ(Get(back, u"S", u"e"), u"ends in a break   ");
  EXPECT_NE(ini.Serialize().find(Saved("d=plain \"inner\" quotes\r\n").substr(2)),
            std::string::npos);
}

TEST(IniWrite, DroppedSectionsParseAsIfRemoved) {
  const std::string text = "[a]\r\nk=1\r\n[Filter]\r\nCount=1\r\n[b]\r\nk=2\r\n[FILTER]\r\nx=y\r\n";
  IniFile removed;
  removed.Parse(text);
  removed.RemoveSection(u"filter");
  const std::u16string_view drop[] = {u"Filter"};
  IniFile dropped;
  dropped.Parse(text, drop);
  EXPECT_EQ(dropped.Serialize(), removed.Serialize());
  EXPECT_EQ(dropped.Serialize(), Saved("[a]\r\nk=1\r\n[b]\r\nk=2\r\n"));
}

// Whatever a file was read as, it is saved as UTF-16LE with a byte-order mark and CR LF, the
// form in which the Windows profile functions read Unicode and keep it Unicode.
TEST(IniEncoding, EveryEncodingReadsAndSavesAsUtf16) {
  const std::u16string text = u"[Filter]\r\n0.Name=Весь мир\r\n";
  auto utf16 = [&](bool little) {
    std::string b = little ? "\xFF\xFE" : "\xFE\xFF";
    for (char16_t c : text) {
      char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
      b += little ? std::string{lo, hi} : std::string{hi, lo};
    }
    return b;
  };
  struct Case {
    std::string bytes;
    IniEncoding read;
  };
  const Case cases[] = {
      {utf16(true), IniEncoding::Utf16Le},
      {utf16(false), IniEncoding::Utf16Le},
      {"\xEF\xBB\xBF" + Utf16ToUtf8(text), IniEncoding::Utf8Bom},
      {Utf16ToUtf8(text), IniEncoding::Utf8},
      {"[Filter]\n0.Name=\xC2\xE5\xF1\xFC \xEC\xE8\xF0\n", IniEncoding::Cp1251},  // LF only
  };
  for (const Case& c : cases) {
    IniFile ini;
    ini.Parse(c.bytes);
    EXPECT_EQ(ini.encoding(), c.read);
    EXPECT_EQ(Get(ini, u"Filter", u"0.Name"), u"Весь мир");
    EXPECT_EQ(ini.Serialize(), utf16(true));
  }
}

TEST(IniFileIo, MissingFileIsEmptyAndUnreadableOneFails) {
  TempDir dir;
  IniFile ini;
  EXPECT_TRUE(ini.Load(dir.u16("absent.ini")));
  EXPECT_FALSE(ini.existed());
  EXPECT_FALSE(ini.Load(dir.u16("")));  // the folder itself
  EXPECT_EQ(ini.error(), EISDIR);
  EXPECT_FALSE(ini.Load(u""));
}

TEST(IniFileIo, SaveReplacesTheFileKeepingItsModeAndLinks) {
  TempDir dir;
  fs::path file = dir.path("Tarvik.ini");
  WriteBytes(file, "[User]\nk=v\n");
  ::chmod(file.c_str(), 0640);
  fs::create_symlink(file, dir.path("link.ini"));
#ifndef __EMSCRIPTEN__
  // Left by a save that was killed (its process is gone): the next save removes it. (The
  // page's file system cannot date a file back, and the page is the only process there.)
  const fs::path stale = dir.path(".Tarvik.ini.0123456789ab.999999999.tmp");
  WriteBytes(stale, "[Fil");
  fs::last_write_time(stale, fs::last_write_time(file) - std::chrono::hours(1));
#endif

  IniFile ini;
  ASSERT_TRUE(ini.Load(dir.u16("link.ini")));
  EXPECT_TRUE(ini.existed());
  ini.WriteString(u"Core", u"x", u"1");
  ASSERT_TRUE(ini.Save(dir.u16("link.ini")));
  EXPECT_TRUE(fs::is_symlink(dir.path("link.ini")));
  EXPECT_EQ(ReadBytes(file), Saved("[User]\r\nk=v\r\n[Core]\r\nx=1\r\n"));
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_TRUE(NoTemporaries(dir.path("")));

  // A save never makes a folder for the file.
  EXPECT_FALSE(ini.Save(dir.u16("sub/Tarvik/Tarvik.ini")));
  EXPECT_EQ(ini.error(), ENOENT);
  EXPECT_FALSE(fs::exists(dir.path("sub")));

  // Temporary names cannot be guessed, and a link planted where one used to go is left alone:
  // the save neither writes through it nor turns the settings into a link.
  fs::path victim = dir.path("victim.txt");
  WriteBytes(victim, "victim");
  fs::remove(dir.path("link.ini"));
  fs::create_symlink(victim,
                     dir.path(("Tarvik.ini." + std::to_string(::getpid()) + ".tmp").c_str()));
  ASSERT_TRUE(ini.Save(dir.u16("Tarvik.ini")));
  EXPECT_EQ(ReadBytes(victim), "victim");
  EXPECT_FALSE(fs::is_symlink(file));
}

using platform::FileStep;
FileStep g_failStep;
int FailAt(FileStep step) {
  return step == g_failStep ? ENOSPC : 0;
}

TEST(IniFileIo, AFaultAtAnyStepLeavesTheOldFileIntact) {
  TempDir dir;
  fs::path file = dir.path("Tarvik.ini");
  const std::string original = "[Filter]\r\nCount=0100000001\r\n0.Name=keep me\r\n";
  for (FileStep step : {FileStep::Open, FileStep::Write, FileStep::Sync, FileStep::Rename}) {
    WriteBytes(file, original);
    IniFile ini;
    ASSERT_TRUE(ini.Load(dir.u16("Tarvik.ini")));
    ini.RemoveSection(u"Filter");
    g_failStep = step;
    platform::SetFileFaultHook(FailAt);
    EXPECT_FALSE(ini.Save(dir.u16("Tarvik.ini")));
    platform::SetFileFaultHook(nullptr);
    EXPECT_EQ(ini.error(), ENOSPC);
    EXPECT_EQ(ReadBytes(file), original) << static_cast<int>(step);
    EXPECT_TRUE(NoTemporaries(dir.path(""))) << static_cast<int>(step);
  }
  g_failStep = FileStep::Read;
  platform::SetFileFaultHook(FailAt);
  IniFile ini;
  EXPECT_FALSE(ini.Load(dir.u16("Tarvik.ini")));
  platform::SetFileFaultHook(nullptr);
  EXPECT_EQ(ini.error(), ENOSPC);
}

TEST(IniSeed, ReadWriteAndDamagedValues) {
  TempDir dir;
  std::u16string path = dir.u16("Tarvik.ini");
  std::int64_t seed = 42;
  EXPECT_FALSE(ReadSeed(path, seed));
  EXPECT_EQ(seed, 42);
  ASSERT_TRUE(WriteSeed(path, 1700000123));
  ASSERT_TRUE(ReadSeed(path, seed));
  EXPECT_EQ(seed, 1700000123);
  EXPECT_EQ(ReadBytes(dir.path("Tarvik.ini")), Saved("[Core]\r\nSeed=7BF153650000000024\r\n"));

  WriteBytes(dir.path("Tarvik.ini"), "[Core]\r\nSeed=7BF153650000000025\r\n");
  EXPECT_FALSE(ReadSeed(path, seed));
  WriteBytes(dir.path("Tarvik.ini"), "[Core]\r\nSeed=0500000005\r\n");  // 4 bytes, not 8
  EXPECT_FALSE(ReadSeed(path, seed));

  // An unreadable file is never replaced by a file holding only the seed.
  int err = 0;
  EXPECT_FALSE(WriteSeed(dir.u16(""), 1, &err));
  EXPECT_EQ(err, EISDIR);
}

}  // namespace
}  // namespace tarvik
