#include "core/text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <map>
#include <random>
#include <set>

#include "core/language.h"
#include "core/platform.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"

namespace tarvik {
namespace {

std::u16string Fmt(std::u16string_view f, std::initializer_list<FmtArg> args) {
  std::u16string out;
  EXPECT_TRUE(FormatAppend(out, f, std::span<const FmtArg>(args.begin(), args.size())));
  return out;
}

std::u16string U(const char* s) {
  return Utf8ToUtf16(s);
}

TEST(Format, IntegersStringsAndPercent) {
  EXPECT_EQ(Fmt(u"%d|%u|%I64d|%%", {-5, 7u, static_cast<long long>(-9000000000LL)}),
            u"-5|7|-9000000000|%");
  EXPECT_EQ(Fmt(u"[%5d][%-5d][%05d][%+d][%x][%#X]", {42, 42, -42, 3, 255, 255}),
            u"[   42][42   ][-0042][+3][ff][0XFF]");
  EXPECT_EQ(Fmt(u"%s и %s", {u"один", std::u16string(u"два")}), u"один и два");
  EXPECT_EQ(Fmt(u"[%6s][%-6s][%.2s]", {u"ab", u"ab", u"abcdef"}), u"[    ab][ab    ][ab]");
  EXPECT_EQ(Fmt(u"%u", {4294967295u}), u"4294967295");
}

TEST(Format, FloatsMatchTheCLibraryWhateverTheLocale) {
  // Reference output from the C library in the "C" locale, compared while a comma-decimal
  // locale may be active for the process.
  std::setlocale(LC_ALL, "ru_RU.UTF-8");
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> dist(-1e6, 1e6);
  const char* formats[] = {"%f",   "%.2f",   "%.17g",   "%g", "%e",
                           "%.0f", "%10.3f", "%-12.4e", "%G", "%.80g"};
  for (int i = 0; i < 2000; ++i) {
    double v = i < 10 ? std::vector<double>{0.0,         -0.0,  0.5,
                                            1.5,         2.5,   1e-5,
                                            123456789.0, 1e300, -37.617600000000003,
                                            55.75}[i]
                      : dist(rng) / (1 + (i % 7) * 1000);
    for (const char* f : formats) {
      std::setlocale(LC_NUMERIC, "C");
      char ref[512];
      std::snprintf(ref, sizeof ref, f, v);
      std::setlocale(LC_ALL, "ru_RU.UTF-8");
      EXPECT_EQ(Fmt(U(f), {v}), U(ref)) << f << " " << ref;
    }
  }
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(Fmt(u"%.2f %%", {99.999}), u"100.00 %");
  // A precision beyond what the digits have room for gives a marker, never a longer read.
  EXPECT_EQ(Fmt(u"%.500g|%.500e", {1.0 / 3, 1.0 / 3}), u"?|?");
}

TEST(Format, MalformedOrMismatchedFormatsFail) {
  std::u16string out;
  const FmtArg one[] = {FmtArg(1)};
  const FmtArg str[] = {FmtArg(u"x")};
  EXPECT_FALSE(FormatAppend(out, u"%d %d", one));  // too few arguments
  EXPECT_FALSE(FormatAppend(out, u"%s", one));     // integer for a string
  EXPECT_FALSE(FormatAppend(out, u"%d", str));     // string for an integer
  EXPECT_FALSE(FormatAppend(out, u"trailing %", {}));
  EXPECT_FALSE(FormatAppend(out, u"%q", one));
}

TEST(Format, ArgumentsByPositionAndWhatEachTakes) {
  EXPECT_EQ(Fmt(u"%2$s: %1$u, %1$05u", {7u, u"n"}), u"n: 7, 00007");
  EXPECT_EQ(Fmt(u"%2$.*1$f|%3$*1$s", {2, 3.14159, u"x"}), u"3.14| x");
  std::u16string out;
  const FmtArg two[] = {FmtArg(1), FmtArg(2)};
  EXPECT_FALSE(FormatAppend(out, u"%1$d %d", two));  // numbered and not, mixed
  EXPECT_FALSE(FormatAppend(out, u"%3$d", two));     // past the arguments
  EXPECT_FALSE(FormatAppend(out, u"%1$*d", two));    // a width in turn in a numbered format

  const struct {
    std::u16string_view format;
    std::optional<std::u16string> kinds;
  } cases[] = {
      {u"plain %%", u""},    {u"%s %I64d %.2f %c", u"sifi"},
      {u"%.*f°", u"if"},     {u"%2$s %1$u", u"is"},
      {u"%3$s", u"--s"},     {u"%1$s %1$d", std::nullopt},  // one argument, two kinds
      {u"%q", std::nullopt},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatArgumentKinds(c.format), c.kinds) << Utf16ToUtf8(c.format);
}

TEST(StrFormat, TrackedResultAndNullFormat) {
  CAppContext ctx;
  {
    TrackedStr s = StrFormat(&ctx, u"%I64d byte", static_cast<long long>(512));
    ASSERT_TRUE(s);
    EXPECT_EQ(std::u16string(s.get()), u"512 byte");
    EXPECT_GT(MemInUse(&ctx), 0);
    EXPECT_FALSE(StrFormat(&ctx, nullptr));
    EXPECT_FALSE(StrFormat(&ctx, u"%s"));  // missing argument: a formatting failure
  }
  EXPECT_EQ(MemInUse(&ctx), 0);
}

TEST(StringTable, IdsAscendingAndLoadFormats) {
  for (std::size_t i = 1; i < kStringTableSize; ++i)
    EXPECT_LT(kStringTable[i - 1].id, kStringTable[i].id) << kStringTable[i].id;
  EXPECT_EQ(StrLoad(590), u"Готово");
  EXPECT_EQ(StrLoad(555), u"<новый элемент>");
  EXPECT_EQ(StrLoad(605, 3u, u"a.txt"), u"POI: Загружено (3 элементов), a.txt");
  EXPECT_EQ(StrLoad(604, 87.5), u"(соответсвие: 87.50 %)");
  EXPECT_TRUE(StrLoad(999999).empty());
  EXPECT_TRUE(StrLoad(605).empty());  // arguments missing: no text rather than garbage
}

// The "{name}" variables of a text (the descriptions' "{speed}"), sorted.
std::vector<std::u16string_view> Variables(std::u16string_view text) {
  std::vector<std::u16string_view> names;
  for (std::size_t open = text.find(u'{'); open != text.npos; open = text.find(u'{', open + 1)) {
    const std::size_t close = text.find(u'}', open);
    if (close == text.npos) break;
    names.push_back(text.substr(open, close + 1 - open));
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A translation takes the same arguments, by position, and keeps the variables.
TEST(StringTable, EveryTextHasBothLanguagesWithTheSameArguments) {
  for (std::size_t i = 0; i < kStringTableSize; ++i) {
    const StringTableEntry& e = kStringTable[i];
    SCOPED_TRACE(e.id);
    ASSERT_NE(e.en, nullptr);
    EXPECT_EQ(*e.en == 0, *e.ru == 0);
    const std::optional<std::u16string> ru = FormatArgumentKinds(e.ru);
    ASSERT_TRUE(ru.has_value());
    EXPECT_EQ(FormatArgumentKinds(e.en), ru);
    EXPECT_EQ(Variables(e.en), Variables(e.ru));
  }
}

TEST(Language, ChosenFromTheEnvironmentAsGettextReadsIt) {
  const struct {
    std::map<std::string, std::string> vars;
    Language expected;
  } cases[] = {
      {{}, Language::English},
      {{{"LANG", "ru_RU.UTF-8"}}, Language::Russian},
      {{{"LANG", "de_DE.UTF-8"}}, Language::English},
      {{{"LANG", "ru"}, {"LC_MESSAGES", "en_GB.UTF-8"}}, Language::English},
      {{{"LANG", "en_US.UTF-8"}, {"LC_MESSAGES", "ru_UA"}}, Language::Russian},
      {{{"LC_ALL", "ru_RU@latin"}, {"LC_MESSAGES", "en_US"}}, Language::Russian},
      // LANGUAGE is a list: its first entry we have texts for.
      {{{"LANG", "en_US.UTF-8"}, {"LANGUAGE", "fr:ru_RU:en"}}, Language::Russian},
      {{{"LANG", "ru_RU.UTF-8"}, {"LANGUAGE", "de:en_GB"}}, Language::English},
      {{{"LANG", "ru_RU.UTF-8"}, {"LANGUAGE", "de"}}, Language::English},
      // ... but not in the C locale, so `LC_ALL=C` gives the same text in any session.
      {{{"LC_ALL", "C"}, {"LANGUAGE", "ru"}}, Language::English},
      {{{"LANG", "C.UTF-8"}, {"LANGUAGE", "ru"}}, Language::English},
      {{{"LANGUAGE", "ru"}}, Language::English},
      // TARVIK_LANG overrides all of it; another value of it is passed over.
      {{{"LC_ALL", "C"}, {"TARVIK_LANG", "ru"}}, Language::Russian},
      {{{"LANG", "ru_RU.UTF-8"}, {"TARVIK_LANG", "en"}}, Language::English},
      {{{"LANG", "ru_RU.UTF-8"}, {"TARVIK_LANG", "fr"}}, Language::Russian},
  };
  for (const auto& c : cases) {
    auto get = [&](const char* name) {
      auto it = c.vars.find(name);
      return it == c.vars.end() ? nullptr : it->second.c_str();
    };
    EXPECT_EQ(LanguageFromVariables(get), c.expected) << testing::PrintToString(c.vars);
  }
}

TEST(Language, TextsFollowTheChosenLanguage) {
  ASSERT_EQ(CurrentLanguage(), Language::Russian);  // until a program chooses
  SetLanguage(Language::English);
  const std::u16string en = StrLoad(STR_SAVE);
  SetLanguage(Language::Russian);
  EXPECT_EQ(StrLoad(STR_SAVE), u"Сохранить");
  EXPECT_EQ(en, FindString(STR_SAVE, Language::English));
  EXPECT_EQ(FindString(999999, Language::English), nullptr);
}

// The system's reasons a user can meet read in the program's language whatever the locale
// (the C library has them in the locale's, where it has a catalogue for it): each is a text
// of the string table, no two alike; a rarer reason still has the system's words.
TEST(Language, SystemReasonsUsersMeetAreTextsOfTheTable) {
  const int reasons[] = {ENOENT, EACCES,       EPERM,  EROFS, ENOSPC, EDQUOT, EISDIR, ENOTDIR,
                         EEXIST, ENAMETOOLONG, EMFILE, EIO,   ELOOP,  EFBIG,  ETXTBSY};
  for (Language language : {Language::English, Language::Russian}) {
    SetLanguage(language);
    std::set<std::u16string> table, seen;
    for (std::uint32_t id = STR_ERRNO_ENOENT; id <= STR_ERRNO_ETXTBSY; ++id)
      table.insert(FindString(id, language));
    for (int err : reasons) {
      const std::u16string text = Utf8ToUtf16(platform::ErrorText(err));
      EXPECT_TRUE(table.count(text)) << err << " " << platform::ErrorText(err);
      seen.insert(text);
    }
    EXPECT_EQ(seen.size(), std::size(reasons));
    EXPECT_FALSE(platform::ErrorText(EXDEV).empty());
  }
}

struct Replace {
  CAppContext ctx;
  std::u16string Run(const char16_t* src, const char16_t* pat, const char16_t* rep,
                     std::u16string start = {}) {
    TrackedStr out(nullptr, TrackedDeleter{&ctx});
    std::int32_t len = 0;
    if (!start.empty()) {
      out.reset(static_cast<char16_t*>(MemAlloc(&ctx, 2 * start.size())));
      std::copy(start.begin(), start.end(), out.get());
      len = static_cast<std::int32_t>(start.size());
    }
    char16_t* r = StrReplaceAppend(&ctx, src, pat, rep, out, len);
    EXPECT_EQ(r, out.get());
    return r ? std::u16string(r, len) : u"<null>";
  }
};

TEST(StrReplaceAppend, LeftToRightWithoutOverlapOrRescan) {
  Replace r;
  EXPECT_EQ(r.Run(u"a{x}b{x}", u"{x}", u"1"), u"a1b1");
  EXPECT_EQ(r.Run(u"aaa", u"aa", u"b"), u"ba");
  EXPECT_EQ(r.Run(u"{x}", u"{x}", u"{x}{x}"), u"{x}{x}");
  EXPECT_EQ(r.Run(u"{X}", u"{x}", u"1"), u"{X}");
  EXPECT_EQ(r.Run(u"d", u"{x}", u"1", u"abc"), u"abcd");
  EXPECT_EQ(r.Run(u"x{x}y", u"{x}", u""), u"xy");
  // An occurrence at the very start with an empty replacement still yields the rest.
  EXPECT_EQ(r.Run(u"{x}y{x}", u"{x}", u""), u"y");
  EXPECT_EQ(r.Run(u"{x}", u"{x}", u""), u"");
  EXPECT_EQ(r.Run(u"", u"{x}", u"1"), u"");
}

TEST(StrReplaceAppend, NullArgumentsAndAllocationFailure) {
  CAppContext ctx;
  TrackedStr out(nullptr, TrackedDeleter{&ctx});
  std::int32_t len = 5;
  EXPECT_EQ(StrReplaceAppend(&ctx, nullptr, u"a", u"b", out, len), nullptr);
  EXPECT_EQ(len, 5);
  MemFailAfter(1);
  EXPECT_EQ(StrReplaceAppend(&ctx, u"a{x}", u"{x}", u"b", out, len), nullptr);
  MemFailAfter(0);
  // With an earlier block, a failed growth returns that block with the text so far.
  len = 0;
  ASSERT_NE(StrReplaceAppend(&ctx, u"ab", u"{x}", u"", out, len), nullptr);
  MemFailAfter(1);
  std::u16string big(3000, u'z');
  char16_t* kept = StrReplaceAppend(&ctx, (big + u"{x}").c_str(), u"{x}", u"1", out, len);
  MemFailAfter(0);
  EXPECT_EQ(kept, out.get());
  EXPECT_EQ(std::u16string(out.get(), 2), u"ab");
  EXPECT_EQ(len, 2);
}

TEST(Encodings, Utf8RoundTripAndInvalidBytes) {
  std::string s = "Камера \xF0\x9F\x93\xB7 60";
  EXPECT_TRUE(IsValidUtf8(s));
  std::u16string w = Utf8ToUtf16(s);
  EXPECT_EQ(w.size(), 12u);  // the camera emoji is a surrogate pair
  EXPECT_EQ(Utf16ToUtf8(w), s);
  EXPECT_FALSE(IsValidUtf8("\xCA\xE0\xEC"));  // Windows-1251 "Кам"
  EXPECT_FALSE(IsValidUtf8("\xC0\x80"));      // overlong
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));  // encoded surrogate
  EXPECT_FALSE(IsValidUtf8("\xE2\x82"));      // cut short
  EXPECT_EQ(Utf8ToUtf16("a\xFF"
                        "b"),
            u"a\uFFFDb");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");

  // File names keep every byte, and read as replacement characters when shown.
  for (const std::string& name :
       std::vector<std::string>{"\xCA\xE0\xEC\xE5\xF0\xFB.txt", "\xE9t\xE9", "\xED\xA0\x80", s}) {
    std::u16string kept = Utf8ToUtf16KeepingBytes(name);
    EXPECT_EQ(Utf16ToUtf8KeepingBytes(kept), name);
    EXPECT_EQ(Utf16ToUtf8(kept), Utf16ToUtf8(Utf8ToUtf16(name)));
  }
}

TEST(Encodings, Windows1251BothWays) {
  EXPECT_EQ(Cp1251ToUtf16("\xCA\xE0\xEC\xE5\xF0\xE0 \xA8\xB8"), u"Камера Ёё");
  EXPECT_EQ(Utf16ToCp1251(u"Камера Ёё №"), "\xCA\xE0\xEC\xE5\xF0\xE0 \xA8\xB8 \xB9");
  EXPECT_EQ(Utf16ToCp1251(u"日本 a\U0001F4F7b"), "?? a?b");
  EXPECT_TRUE(EqualsNoCase(u"Schema", u"SCHEMA"));
  EXPECT_FALSE(EqualsNoCase(u"Схема", u"СХЕМА"));  // ASCII letters only, as the INI layer needs
}

}  // namespace
}  // namespace tarvik
