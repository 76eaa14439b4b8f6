// Parsing of speed-camera tables: layouts, header rules, comments, tags, line ends, number
// conversions.
#include <gtest/gtest.h>

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "engine_test_util.h"
#include "processing/poi_store.h"

namespace tarvik::enginetest {
namespace {

using Parser = EngineTest;
using Rows = std::vector<std::string>;

enum ColumnKindForTest { N, I, X, Y, T, S, DT, D };

Rows R(std::initializer_list<PoiRecord> records) {
  return Strs(std::vector<PoiRecord>(records));
}

// ---- comma layout ------------------------------------------------------------------------

TEST_F(Parser, CommaTableWithFullHeader) {
  ASSERT_TRUE(LoadAndParse("IDX,X,Y,TYPE,SPEED,DIRTYPE,DIRECTION\n1,37.6,55.7,2,60,1,90\n"));
  EXPECT_EQ(data().sourceFormat, SOURCE_COMMA);
  EXPECT_EQ(RecordStrs(), R({Rec(37.6, 55.7, 2, 60, 1, 90)}));
}

TEST_F(Parser, HeaderNamesMatchInAnyCaseAndOrderAndMayOmitOptionalColumns) {
  ASSERT_TRUE(LoadAndParse("type,y,Speed,x\n3,55.5,90,37.25\n4,56,,38\n"));
  EXPECT_EQ(data().sourceFormat, SOURCE_COMMA);
  EXPECT_EQ(RecordStrs(), R({Rec(37.25, 55.5, 3, 90), Rec(38, 56, 4, 0)}));
}

TEST_F(Parser, RepeatedNameCountsAgainAndLaterColumnWins) {
  // X twice and TYPE: three hits complete the header although Y is missing.
  ASSERT_TRUE(LoadAndParse("X,X,TYPE\n1.5,2.5,7\n"));
  EXPECT_EQ(RecordStrs(), R({Rec(2.5, 0, 7)}));
}

TEST_F(Parser, ShortLinesFillWhatTheyHaveAndIdxAloneMakesARecord) {
  ASSERT_TRUE(LoadAndParse("IDX,X,Y,TYPE,SPEED\n1,37.5,55.5\n2\n3,1,2,3,4,5,6,7\n"));
  EXPECT_EQ(RecordStrs(), R({Rec(37.5, 55.5, 0), Rec(0, 0, 0), Rec(1, 2, 3, 4)}));
}

TEST_F(Parser, BlankBesideCommaBreaksTheName) {
  // Only IDX is named; the line has no hit and is skipped, so no header is ever found.
  ASSERT_TRUE(LoadAndParse("IDX, X, Y, TYPE\n1,2,3,4\n"));
  EXPECT_EQ(data().sourceFormat, SOURCE_COMMA);  // IDX set it
  EXPECT_EQ(data().recordCount, 0u);
}

TEST_F(Parser, HeaderNameEndsWhereACommentStarts) {
  // A "//" comment and the blanks before it are not part of a header name; data lines keep
  // their tokens (the numbers stop at the blank anyway).
  struct Case {
    const char* text;
    PoiRecord want;
  } cases[] = {
      {"IDX,X,Y,TYPE,SPEED,DIRTYPE,DIRECTION // source 10-03-2026 11:33\r\n"
       "177,27.826138,54.185782,101,60,1,207 // note\r\n",
       Rec(27.826138, 54.185782, 101, 60, 1, 207)},
      {"X,Y // middle,TYPE,SPEED\n1,2,3,4\n", Rec(1, 2, 3, 4)},
      {"X,Y,TYPE,SPEED \t//c,DIRECTION//\n1,2,3,4,5\n", Rec(1, 2, 3, 4, 0, 5)},
      {"X,Y,TYPE,SPEED\n1,2,3,4\n", Rec(1, 2, 3, 4)},
      // A token that is all comment names nothing; a blank before the name still breaks it;
      // one "/" is no comment.
      {"X,Y,TYPE,// SPEED, SPEED // c,SPEED /c\n1,2,3,4,5,6\n", Rec(1, 2, 3)},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(LoadAndParse(c.text)) << c.text;
    EXPECT_EQ(RecordStrs(), R({c.want})) << c.text;
  }
}

TEST_F(Parser, TokensAreVerbatimQuotesAndBlanksIncluded) {
  ASSERT_TRUE(LoadAndParse("X,Y,TYPE,\"SPEED\"\n \"1\",2 ,\t3,4\n"));
  // atof skips the leading blank and stops at the quote; "2 " is 2; the quoted column has no kind.
  EXPECT_EQ(RecordStrs(), R({Rec(0, 2, 3)}));
}

// ---- header rules --------------------------------------------------------------------------

TEST_F(Parser, LinesBeforeTheHeaderThatNameNothingAreSkipped) {
  ASSERT_TRUE(LoadAndParse("speed cameras\n1,2,3\n\nX,Y,TYPE\n5,6,7\n"));
  EXPECT_EQ(RecordStrs(), R({Rec(5, 6, 7)}));
}

TEST_F(Parser, IncompleteHeaderFailsWithLineAndColumns) {
  TempFile file("; list\r\nfoo\r\nIDX,X,Y\r\n1,2,3\r\n");
  NewTask(TASK_LOAD_FILE | TASK_PARSE, file.path16());
  RunTask(task.get());
  EXPECT_TRUE(Aborted(*task));
  EXPECT_EQ(task->failure.stringId, 708u);
  std::string text = Utf16ToUtf8(FailureText(task->failure));
  EXPECT_NE(text.find("строка 3 "), std::string::npos) << text;
  EXPECT_NE(text.find("IDX, X, Y"), std::string::npos) << text;
  EXPECT_NE(text.find(file.path().string()), std::string::npos) << text;
  EXPECT_TRUE(StoreEmpty());
  EXPECT_FALSE(sink.SawStatus(590));
}

TEST_F(Parser, ColumnKindsGivenByAnIgnoredLineStay) {
  // The first line names IDX and SPEED only (no hit): those columns keep their kinds, so the
  // second line's X and Y in those columns are not compared and only TYPE hits.
  EXPECT_FALSE(LoadAndParse("IDX,SPEED\nX,Y,TYPE\n1,2,3\n"));
  EXPECT_EQ(task->failure.stringId, 708u);
}

TEST_F(Parser, HeaderWithoutXLeavesLayoutUnknownAndGivesNoRecords) {
  ASSERT_TRUE(LoadAndParse("Y,TYPE,Y\n1,2,3\n"));
  EXPECT_EQ(data().sourceFormat, SOURCE_NONE);
  EXPECT_EQ(data().recordCount, 0u);
}

TEST_F(Parser, FileWithoutHeaderIsNoError) {
  ASSERT_TRUE(LoadAndParse("1,2,3\n4,5,6\n"));
  EXPECT_EQ(task->failure.stringId, 0u);
  EXPECT_EQ(data().recordCount, 0u);
  EXPECT_TRUE(sink.SawStatus(590));
}

TEST_F(Parser, OnlyTheFirstSixteenTokensCount) {
  std::string pad = "a,b,c,d,e,f,g,h,i,j,k,l,m,n,";  // 14 columns
  // TYPE is the 17th column: the header has two hits and fails, naming the limit.
  EXPECT_FALSE(LoadAndParse(pad + "X,Y,TYPE\n"));
  EXPECT_EQ(task->failure.stringId, 1272u);
  // All three past it: no header, and the line that named them is remembered for the message.
  ASSERT_TRUE(LoadAndParse("# cams\n" + pad + "p,q,x,y,type\n1,2,3\n"));
  EXPECT_EQ(data().sourceFormat, SOURCE_NONE);
  EXPECT_EQ(task->headerBeyondLine, 2u);
  EXPECT_NE(NoTableText(task->targetPath, task->headerBeyondLine).find(u"16"),
            std::u16string::npos);
  ASSERT_TRUE(LoadAndParse("1,2,3\n"));
  EXPECT_EQ(task->headerBeyondLine, 0u);
  // In the 16th column it is seen; data past the 16th token is ignored.
  ASSERT_TRUE(LoadAndParse("a,b,c,d,e,f,g,h,i,j,k,l,m,X,Y,TYPE,SPEED\n" +
                           std::string("0,0,0,0,0,0,0,0,0,0,0,0,0,1,2,3,4,5,6\n")));
  EXPECT_EQ(RecordStrs(), R({Rec(1, 2, 3)}));
}

// ---- comments and blank lines ----------------------------------------------------------------

TEST_F(Parser, CommentLinesAreDroppedInBothPhases) {
  ASSERT_TRUE(
      LoadAndParse("# head\n  ; note\n\t/ X,Y,TYPE\nX,Y,TYPE\n 1,2,3\n#4,5,6\n  //7,8,9\n"
                   "  ;1,1,1\n10,#11,12\n"));
  // "#11" inside a line is data: atof gives 0.
  EXPECT_EQ(RecordStrs(), R({Rec(1, 2, 3), Rec(10, 0, 12)}));
}

TEST_F(Parser, LoneCommentCharactersDoNotLeakIntoTheNextLine) {
  ASSERT_TRUE(LoadAndParse("X,Y,TYPE\n#\n1,2,3\n ; \t#\n4,5,6\n   \n\n7,8,9"));
  EXPECT_EQ(RecordStrs(), R({Rec(1, 2, 3), Rec(4, 5, 6), Rec(7, 8, 9)}));
}

// ---- separator choice ----------------------------------------------------------------------

TEST_F(Parser, BarAnywhereAfterTheFirstLineSplitsTheCommaTableAtBars) {
  ASSERT_TRUE(LoadAndParse("X,Y,TYPE\n1,2,3\n# a | in a late comment\n"));
  EXPECT_EQ(data().sourceFormat, SOURCE_NONE);
  EXPECT_EQ(data().recordCount, 0u);
}

TEST_F(Parser, BarInACommentBeforeTheFirstLineIsNotSeen) {
  ASSERT_TRUE(LoadAndParse("# a|b\nX,Y,TYPE\n1,2,3\n"));
  EXPECT_EQ(RecordStrs(), R({Rec(1, 2, 3)}));
}

TEST_F(Parser, SeparatorRuleHoldsFarIntoLargeFiles) {
  // The same rule where a "|" or 0 byte lies far from the first line (the parse checks the
  // separator there while it reads the lines).
  std::string rows;
  for (int i = 0; i < 4000; ++i) rows += std::to_string(i) + ",2,3\r\n";  // about 40 KB
  const std::string junk(80000, 'z');
  struct Case {
    std::string text;
    std::uint32_t format, records;
    std::uint32_t failure = 0;
  } cases[] = {
      {"X,Y,TYPE\n" + rows + rows + "# late | in a comment\n", SOURCE_NONE, 0},
      {"X,Y,TYPE\n" + rows + rows + "4,5,6|7\n" + rows, SOURCE_NONE, 0},
      {"X,Y,TYPE\n" + rows + rows + std::string(1, '\0') + "a|b\n", SOURCE_COMMA, 8001},
      {junk + "\n2|0|1|2\n3|0|5|6\n", SOURCE_BAR, 1},
      // Split at "|", the line "X,Y" names nothing: no incomplete header.
      {junk + "\nX,Y\n1,2\n|\n", SOURCE_NONE, 0},
      {junk + "\nX,Y\n1,2\n", SOURCE_NONE, 0, 708},
  };
  for (const Case& c : cases) {
    ClearStore();  // a text without a table keeps the one before
    EXPECT_EQ(LoadAndParse(c.text), c.failure == 0) << c.text.size();
    EXPECT_EQ(task->failure.stringId, c.failure) << c.text.size();
    EXPECT_EQ(data().sourceFormat, c.format) << c.text.size();
    EXPECT_EQ(data().recordCount, c.records) << c.text.size();
  }
}

TEST_F(Parser, SplitLineCutsAtEverySeparatorAndDecidesOnce) {
  std::string_view t[kMaxTokens];
  const char line[] = ",a,,b,\0|";
  char sep = 0;
  ASSERT_EQ(SplitLine(line, 6, sep, t), 5u);  // n separators give n + 1 tokens
  EXPECT_EQ(sep, ',');                        // the search stops at the 0 byte
  EXPECT_EQ(t[0], "");
  EXPECT_EQ(t[1], "a");
  EXPECT_EQ(t[2], "");
  EXPECT_EQ(t[3], "b");
  EXPECT_EQ(t[4], "");

  const char bars[] = "1,2|3";
  sep = 0;
  ASSERT_EQ(SplitLine(bars, 5, sep, t), 2u);
  EXPECT_EQ(sep, '|');
  EXPECT_EQ(t[0], "1,2");
  sep = ',';  // kept once decided
  EXPECT_EQ(SplitLine(bars, 5, sep, t), 2u);
  EXPECT_EQ(t[1], "2|3");

  std::string many(40, ',');
  sep = ',';
  EXPECT_EQ(SplitLine(many.c_str(), many.size(), sep, t), kMaxTokens);
}

// ---- bar layout ----------------------------------------------------------------------------

TEST_F(Parser, BarLayoutWithTags) {
  ASSERT_TRUE(LoadAndParse("2|0|55.70|37.60\n3|0|55.75|37.62|1709|60|1705|180\n"));
  EXPECT_EQ(data().sourceFormat, SOURCE_BAR);
  EXPECT_EQ(RecordStrs(), R({Rec(37.62, 55.75, 3, 60, 0, 180)}));
}

TEST_F(Parser, BarHeaderIsAnyLineWithATokenTwo) {
  ASSERT_TRUE(LoadAndParse("hello|world\nx|2\n5|9|1.5|2.5|1705|90\n"));
  EXPECT_EQ(RecordStrs(), R({Rec(2.5, 1.5, 5, 0, 0, 90)}));
}

TEST_F(Parser, TagValuesAreTakenLiterallyAndADanglingTagIsIgnored) {
  // After 1709 the next token is the speed even when it reads 1705; a tag at the end of a
  // line announces nothing.
  ASSERT_TRUE(LoadAndParse("2|0|0|0\n1|0|10|20|1709|1705|1709\n"));
  EXPECT_EQ(RecordStrs(), R({Rec(20, 10, 1, 1705, 0, 0)}));
}

TEST_F(Parser, TagOverAFixedColumnDoesNotCostLaterLinesThatColumn) {
  // Column 1 reads 1709, so column 2 holds the speed on this line; the next line still has
  // its Y in column 2.
  ASSERT_TRUE(LoadAndParse("2|0|0|0\n4|1709|50|37.5\n5|0|55.5|37.25|1709|70\n"));
  EXPECT_EQ(RecordStrs(), R({Rec(37.5, 0, 4, 50), Rec(37.25, 55.5, 5, 70)}));
}

TEST_F(Parser, CommaNamesMeanNothingInTheBarLayout) {
  ASSERT_TRUE(LoadAndParse("IDX|X|Y|TYPE\n1|5|3|4\n"));
  EXPECT_EQ(data().sourceFormat, SOURCE_NONE);
  EXPECT_EQ(data().recordCount, 0u);
}

// ---- line ends, NUL bytes, long lines, the last line ---------------------------------------

TEST_F(Parser, CrLfLfAndCrLineEndsAndEmptyLines) {
  ASSERT_TRUE(LoadAndParse("X,Y,TYPE\r\n1,1,1\r\n\r\n2,2,2\n\n3,3,3\r\r4,4,4\n\r5,5,5\r\n"));
  EXPECT_EQ(RecordStrs(),
            R({Rec(1, 1, 1), Rec(2, 2, 2), Rec(3, 3, 3), Rec(4, 4, 4), Rec(5, 5, 5)}));
}

TEST_F(Parser, NulBytesEndLinesAndStopTheSeparatorSearch) {
  using namespace std::string_literals;
  ASSERT_TRUE(LoadAndParse("X,Y,TYPE\n1,2,3\0004,5,6\0\0|\n"s));
  // The | after the 0 bytes is not seen by the separator choice; it is a line of its own
  // whose only token goes to X.
  EXPECT_EQ(data().sourceFormat, SOURCE_COMMA);
  EXPECT_EQ(RecordStrs(), R({Rec(1, 2, 3), Rec(4, 5, 6), Rec(0, 0, 0)}));
  EXPECT_EQ(data().fileLength, 24u);
  EXPECT_EQ(data().fileBytes[data().fileLength], 0);
}

TEST_F(Parser, LastLineWithoutTerminatorIsProcessed) {
  ASSERT_TRUE(LoadAndParse("X,Y,TYPE\n1,2,3\n4,5,6"));
  EXPECT_EQ(RecordStrs(), R({Rec(1, 2, 3), Rec(4, 5, 6)}));
  ASSERT_TRUE(LoadAndParse("2|0|0|0\r\n7|0|1|2|1705|33"));
  EXPECT_EQ(RecordStrs(), R({Rec(2, 1, 7, 0, 0, 33)}));
  ASSERT_TRUE(LoadAndParse("X,Y,TYPE\n1,2,3\n# 4,5,6"));
  EXPECT_EQ(data().recordCount, 1u);
}

TEST_F(Parser, LongLinesAndLongTokens) {
  std::string digits(300000, '7');
  std::string text = "X,Y,TYPE,SPEED\n" + std::string(200000, ' ') + "1.25,0." + digits + ",3," +
                     digits + "\n9,8,7" + std::string(100000, ',') + "\n";
  ASSERT_TRUE(LoadAndParse(text));
  ASSERT_EQ(data().recordCount, 2u);
  EXPECT_EQ(Records()[0].X, 1.25);
  EXPECT_EQ(Records()[0].Y, 0.7777777777777778);
  EXPECT_EQ(Records()[0].SPEED, INT32_MAX);
  EXPECT_EQ(Str(Records()[1]), Str(Rec(9, 8, 7)));
}

TEST_F(Parser, RecordsGrowPastManyStepsInFileOrder) {
  std::string text = "IDX,X,Y,TYPE\n";
  for (int i = 0; i < 20000; ++i)
    text += std::to_string(i) + "," + std::to_string(i) + ".5,1," + std::to_string(i % 7) + "\n";
  ASSERT_TRUE(LoadAndParse(text));
  ASSERT_EQ(data().recordCount, 20000u);
  for (int i = 0; i < 20000; i += 997) {
    EXPECT_EQ(Records()[i].X, i + 0.5);
    EXPECT_EQ(Records()[i].TYPE, i % 7);
  }
}

TEST_F(Parser, RandomRowsReadAsTokenByTokenConversion) {
  // Rows of tricky tokens in both layouts against the plain reading: split with SplitLine, each
  // column (or announced token) converted with AtofC or AtoiC.
  static const char* const pieces[] = {"37.6",
                                       "-5",
                                       " 12",
                                       "\t7",
                                       "+3",
                                       "0x1p3",
                                       "1e3",
                                       "inf",
                                       "nan(1)",
                                       "nan(",
                                       "",
                                       "abc",
                                       "9",
                                       "0.000000000001234",
                                       "#",
                                       "2 ",
                                       "-",
                                       "0x",
                                       "123456789012345678901",
                                       "1709",
                                       "1705",
                                       "17090",
                                       "1705 "};
  std::mt19937 rng(31);
  for (const char sep : {',', '|'}) {
    const ColumnKindForTest comma[] = {T, N, X, S, Y, I, D, DT};
    const ColumnKindForTest bars[] = {T, N, Y, X};
    std::string text = sep == ',' ? "TYPE,,X,SPEED,Y,IDX,DIRECTION,DIRTYPE\n" : "2|0|0|0\n";
    std::vector<std::string> lines;
    for (int i = 0; i < 3000; ++i) {
      std::string line;
      for (int k = static_cast<int>(rng() % 19); k > 0; --k) {
        line += pieces[rng() % std::size(pieces)];
        if (k > 1) line += sep;
      }
      lines.push_back(line);
      text += line + (i % 3 ? "\n" : "\r\n");
    }
    ASSERT_TRUE(LoadAndParse(text));
    std::vector<PoiRecord> want;
    for (const std::string& raw : lines) {
      // Blanks and comment marks before a line's first byte are not part of it; a comment mark
      // among them drops the line.
      const std::size_t start = std::min(raw.find_first_not_of(" \t#/;"), raw.size());
      if (raw.find_first_of("#/;") < start) continue;
      const std::string line = raw.substr(start);
      if (line.empty()) continue;
      std::string_view tokens[kMaxTokens];
      char decided = sep;
      const std::size_t n = SplitLine(line.c_str(), line.size(), decided, tokens);
      PoiRecord r;
      bool made = false;
      ColumnKindForTest tag = N;
      for (std::size_t i = 0; i < n; ++i) {
        ColumnKindForTest kind = sep == ',' ? (i < std::size(comma) ? comma[i] : N)
                                            : (i < std::size(bars) ? bars[i] : N);
        if (sep == '|' && tag != N) {
          kind = tag;
          tag = N;
        } else if (sep == '|' && (tokens[i] == "1709" || tokens[i] == "1705")) {
          tag = tokens[i] == "1709" ? S : D;
        }
        if (kind == N) continue;
        made = true;
        if (kind == X) r.X = AtofC(tokens[i]);
        if (kind == Y) r.Y = AtofC(tokens[i]);
        if (kind == T) r.TYPE = AtoiC(tokens[i]);
        if (kind == S) r.SPEED = AtoiC(tokens[i]);
        if (kind == D) r.DIRECTION = AtoiC(tokens[i]);
        if (kind == DT) r.DIRTYPE = AtoiC(tokens[i]);
      }
      if (made) want.push_back(r);
    }
    EXPECT_EQ(RecordStrs(), Strs(want)) << sep;
  }
}

// ---- number conversions ------------------------------------------------------------------

TEST(NumberConversion, AtofFollowsTheCLibrary) {
  struct Case {
    const char* text;
    double value;
  } cases[] = {
      {"37.6", 37.6},
      {"  \t-12.5e1x", -125},
      {"+5", 5},
      {".5", 0.5},
      {"5.", 5},
      {"1e", 1},
      {"1e+", 1},
      {"abc", 0},
      {"", 0},
      {"-", 0},
      {"+-1", 0},
      {"--1", 0},
      {"0x1p3", 8},
      {"0X.8", 0.5},
      {"-0x10", -16},
      {"0x", 0},
      {"0xg", 0},
      {"1e400", HUGE_VAL},
      {"-1e400", -HUGE_VAL},
      {"1e-400", 0},
      {"0x1p99999", HUGE_VAL},
      {"0x1p-99999", 0},
      {"inf", HUGE_VAL},
      {"-Infinity", -HUGE_VAL},
      {"infinit", HUGE_VAL},
      {"12,5", 12},
      {"\v\f\r\n7", 7},
      {"55,7", 55},
      {"4.9406564584124654e-324", 4.9406564584124654e-324},
  };
  for (const Case& c : cases) EXPECT_EQ(AtofC(c.text), c.value) << c.text;
  EXPECT_TRUE(std::isnan(AtofC("nan")));
  EXPECT_TRUE(std::isnan(AtofC("-NaN(12)")));
  EXPECT_TRUE(std::signbit(AtofC("-0")));
  EXPECT_FALSE(std::signbit(AtofC("-x")));  // no conversion gives +0
}

TEST(NumberConversion, AtoiFollowsTheCLibraryAndSaturates) {
  struct Case {
    const char* text;
    std::int32_t value;
  } cases[] = {
      {"42", 42},
      {"  -7abc", -7},
      {"+8", 8},
      {"x1", 0},
      {"", 0},
      {"-", 0},
      {"12.9", 12},
      {"0x10", 0},
      {"1e3", 1},
      {"2147483647", INT32_MAX},
      {"2147483648", INT32_MAX},
      {"-2147483648", INT32_MIN},
      {"-99999999999999999999", INT32_MIN},
      {"\t\n 5", 5},
  };
  for (const Case& c : cases) EXPECT_EQ(AtoiC(c.text), c.value) << c.text;
}

// Random tokens built from the pieces that matter to the C grammar, compared with the C
// library itself in the "C" locale.
std::vector<std::string> RandomTokens(int count) {
  static const char* pieces[] = {
      " ", "\t", "+",  "-",   "0",   "1",   "9",   "5",     "00",  ".",     "e",   "E",    "p",
      "P", "x",  "X",  "0x",  "a",   "f",   "F",   "inf",   "INF", "inity", "nan", "NaN(", "abc_",
      ")", "e-", "e+", "308", "309", "324", "400", "99999", ",",   "|",     "#",   "g"};
  std::mt19937 rng(12345);
  std::uniform_int_distribution<int> len(0, 9);
  std::uniform_int_distribution<int> pick(0, sizeof(pieces) / sizeof(pieces[0]) - 1);
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i) {
    std::string s;
    for (int n = len(rng); n > 0; --n) s += pieces[pick(rng)];
    out.push_back(s);
  }
  // Plain decimals of every length, as tables hold them.
  std::uniform_int_distribution<int> intDigits(0, 4), fracDigits(0, 24), digit(0, 9);
  for (int i = 0; i < count / 2; ++i) {
    std::string s;
    for (int n = intDigits(rng); n > 0; --n) s += static_cast<char>('0' + digit(rng));
    s += '.';
    for (int n = fracDigits(rng); n > 0; --n) s += static_cast<char>('0' + digit(rng));
    if (digit(rng) == 0) s += "e-3";
    out.push_back(s);
  }
  // Numbers near the edges of the range and of exact rounding.
  for (const char* s :
       {"1.7976931348623157e308", "1.7976931348623159e308", "2.2250738585072011e-308",
        "2.4703282292062327e-324", "2.4703282292062328e-324",
        "0.000000000000000000000000000000000000000000001e-280",
        "123456789012345678901234567890e-20", "0x1.fffffffffffff8p1023", "0x1.fffffffffffffp1023",
        "0x0.0000000000001p-1022", "0x1p-1075", "0x1.00000000000018p0", "9007199254740993", "0.1e",
        ".e1", "0.e1"})
    out.push_back(s);
  return out;
}

TEST(NumberConversion, AtofMatchesStrtodOnGeneratedTokens) {
  std::string saved = std::setlocale(LC_ALL, nullptr);
  std::setlocale(LC_ALL, "C");
  int compared = 0;
  for (const std::string& s : RandomTokens(200000)) {
    double expected = std::strtod(s.c_str(), nullptr);
    double got = AtofC(s);
    if (std::isnan(expected)) {
      EXPECT_TRUE(std::isnan(got)) << '"' << s << '"';
      EXPECT_EQ(std::signbit(got), std::signbit(expected)) << '"' << s << '"';
    } else {
      ASSERT_EQ(got, expected) << '"' << s << '"';
      ASSERT_EQ(std::signbit(got), std::signbit(expected)) << '"' << s << '"';
    }
    ++compared;
  }
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_GT(compared, 0);
}

TEST(NumberConversion, AtoiMatchesStrtolInsideTheRange) {
  for (const std::string& s : RandomTokens(100000)) {
    long long v = std::strtoll(s.c_str(), nullptr, 10);
    std::int32_t expected = static_cast<std::int32_t>(v > INT32_MAX   ? INT32_MAX
                                                      : v < INT32_MIN ? INT32_MIN
                                                                      : v);
    ASSERT_EQ(AtoiC(s), expected) << '"' << s << '"';
  }
}

TEST(NumberConversion, IndependentOfTheProcessLocale) {
  std::string saved = std::setlocale(LC_ALL, nullptr);
  if (!std::setlocale(LC_ALL, "ru_RU.UTF-8")) GTEST_SKIP() << "ru_RU.UTF-8 is not installed";
  EXPECT_EQ(AtofC("37.625"), 37.625);
  EXPECT_EQ(AtofC("37,625"), 37);
  std::setlocale(LC_ALL, saved.c_str());
}

}  // namespace
}  // namespace tarvik::enginetest
