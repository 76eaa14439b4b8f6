// Fuzzes the export line builder against the plain one-after-another replacement: the bytes
// choose a row format, a description, the string limit, the transliteration switch and the
// record's values; the line the builder makes, and its encodings, must equal what replacing
// the variables one by one with StrReplaceAppend and converting with the text services give.
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "core/text.h"
#include "core/tracked_memory.h"
#include "fuzz_check.h"
#include "params/param_store.h"
#include "processing/export.h"
#include "processing/poi_store.h"

using namespace tarvik;

namespace {

// Pieces the templates are made of: variables, their parts, braces, letters that the
// transliteration turns into variable names, surrogates, a comma.
const char16_t* const kPieces[] = {
    u"{",           u"}",      u"{x}", u"{y}",  u"{type}", u"{speed}", u"{dirtype}",
    u"{direction}", u"{desc}", u"x",   u"y",    u"type",   u"speed",   u"dirtype",
    u"direction",   u"desc",   u"dir", u"{dir", u"{{",     u"}}",      u"{х}",
    u"{у}",         u"х",      u"у",   u"Х",    u"У",      u"{X}",     u"Камера ",
    u",",           u" ",      u"a",   u"%s",   u"%",      u"😀",       u"\xD83D",
    u"\xDE00",      u"{q}",    u"{}",  u"ё",    u"\r\n",   u"0",
};
constexpr std::size_t kPieceCount = sizeof(kPieces) / sizeof(kPieces[0]);

const double kDoubles[] = {37.6177,
                           -0.0,
                           0.5,
                           1e300,
                           -1e-7,
                           2.5e-6,
                           0.0078125,
                           123456.7890125,
                           -55.75,
                           4294967295.5,
                           std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN()};
const std::int32_t kInts[] = {0, 60, -1, 2147483647, -2147483647 - 1, 90};

char16_t Translit(char16_t c) {
  switch (c) {
    case u',':
      return u' ';
    case u'Ё':
    case u'Е':
      return u'E';
    case u'А':
      return u'A';
    case u'В':
      return u'B';
    case u'К':
      return u'K';
    case u'М':
      return u'M';
    case u'Н':
      return u'H';
    case u'О':
      return u'O';
    case u'Р':
      return u'P';
    case u'С':
      return u'C';
    case u'Т':
      return u'T';
    case u'Х':
      return u'X';
    case u'а':
      return u'a';
    case u'е':
    case u'ё':
      return u'e';
    case u'о':
      return u'o';
    case u'р':
      return u'p';
    case u'с':
      return u'c';
    case u'у':
      return u'y';
    case u'х':
      return u'x';
    default:
      return c;
  }
}

std::u16string Reference(CAppContext* ctx, const std::u16string& format,
                         const std::u16string& descText, std::uint32_t limit, bool translit,
                         const PoiRecord& r) {
  auto fmt = [&](const char16_t* f, auto v) { return std::u16string(StrFormat(ctx, f, v).get()); };
  const std::u16string values[] = {fmt(u"%f", r.X),       fmt(u"%f", r.Y),
                                   fmt(u"%d", r.TYPE),    fmt(u"%d", r.SPEED),
                                   fmt(u"%d", r.DIRTYPE), fmt(u"%d", r.DIRECTION)};
  const char16_t* const names[] = {u"{x}",     u"{y}",       u"{type}",
                                   u"{speed}", u"{dirtype}", u"{direction}"};
  auto replace = [&](const std::u16string& src, const char16_t* pat, const std::u16string& rep) {
    TrackedStr out(nullptr, TrackedDeleter{ctx});
    std::int32_t len = 0;
    CHECK(StrReplaceAppend(ctx, src.c_str(), pat, rep.c_str(), out, len) != nullptr);
    return std::u16string(out.get(), len);
  };
  std::u16string desc = descText;
  for (int k = 0; k < 6; ++k) desc = replace(desc, names[k], values[k]);
  if (limit != 0 && desc.size() > limit) {
    std::size_t n = limit;
    if (desc[n - 1] >= 0xD800 && desc[n - 1] <= 0xDBFF && desc[n] >= 0xDC00 && desc[n] <= 0xDFFF)
      --n;
    desc.resize(n);
  }
  if (translit)
    for (char16_t& c : desc) c = Translit(c);
  std::u16string line = replace(format, u"{desc}", desc);
  for (int k = 0; k < 6; ++k) line = replace(line, names[k], values[k]);
  return line + u"\r\n";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 8) return 0;
  CAppContext ctx;
  ExportProfile profile{};
  SchemaEntry entry{};
  profile.Translit = data[0] & 1;
  profile.Codepage = (data[0] & 4) ? 0 : 65001;
  profile.StringLimit = (data[0] & 2) ? data[1] % 40 : 0;
  PoiRecord r;
  r.X = kDoubles[data[2] % std::size(kDoubles)];
  r.Y = kDoubles[data[3] % std::size(kDoubles)];
  r.TYPE = kInts[data[4] % std::size(kInts)];
  r.SPEED = kInts[data[5] % std::size(kInts)];
  r.DIRTYPE = kInts[data[6] % std::size(kInts)];
  r.DIRECTION = kInts[data[7] % std::size(kInts)];
  // The rest: pieces of the format up to a byte 0xFF, then pieces of the description.
  std::u16string format, desc;
  std::u16string* text = &format;
  for (std::size_t i = 8; i < size; ++i) {
    if (data[i] == 0xFF && text == &format) {
      text = &desc;
      continue;
    }
    std::u16string_view piece = kPieces[data[i] % kPieceCount];
    if (text->size() + piece.size() > 127) continue;
    *text += piece;
  }
  SetText(profile.Format, format);
  SetText(entry.Desc, desc);

  CompiledTemplate compiled;
  CompileTemplate(FieldText(entry.Desc), false, compiled);
  ExportLineBuilder builder(&ctx, profile);
  builder.Prepare(compiled);
  CHECK(builder.Build(compiled, r));
  std::u16string want = Reference(
      &ctx, std::u16string(FieldText(profile.Format)), std::u16string(FieldText(entry.Desc)),
      static_cast<std::uint32_t>(profile.StringLimit), profile.Translit != 0, r);
  CHECK(std::u16string(builder.line()) == want);

  CHECK(builder.BuildEncoded(compiled, r));
  CHECK(std::string(builder.bytes()) ==
        (profile.Codepage == 65001 ? Utf16ToUtf8(want) : Utf16ToCp1251(want)));

  std::string bytes(3 * want.size(), '\0');
  CHECK(bytes.substr(0, EncodeLine(want, true, bytes.data())) == Utf16ToUtf8(want));
  CHECK(bytes.substr(0, EncodeLine(want, false, bytes.data())) == Utf16ToCp1251(want));
  return 0;
}
