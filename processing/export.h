#pragma once
// The export writer's line builder. A row template and the entry descriptions are split into
// literal text and variables once per export; each line is then assembled from the pieces.
// The result is the same as replacing the variables one after another with StrReplaceAppend:
// every variable is a brace word ("{x}") and no value contains a brace, so occurrences of
// different variables never overlap and no replacement creates or destroys another one.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "core/app_context.h"
#include "core/tracked_array.h"

namespace tarvik {

struct ExportProfile;
struct PoiRecord;

// "%f" of `v`: six decimals, "." whatever the locale, the digits printf gives (exact value
// rounded half to even); NaN and infinities as the text services print them. `out` holds
// kFixed6Chars characters. Returns the length.
constexpr std::size_t kFixed6Chars = 330;
std::size_t FormatFixed6(double v, char* out);

// The transliteration of one description character (the character itself when the table
// has no entry for it).
char16_t TranslitChar(char16_t c);

enum class Seg : std::uint8_t { Text, X, Y, Type, Speed, Dirtype, Direction, Desc };

struct TemplateSegment {
  Seg kind;
  std::uint16_t offset;  // into the template text
  std::uint16_t length;  // characters of the template text this segment stands for
  // Text segments of a template prepared for a builder: the encoded bytes in its store.
  std::uint32_t encodedOffset = 0;
  std::uint32_t encodedBytes = 0;
};

// Templates come from fixed fields of at most this many characters; longer text is cut.
constexpr std::size_t kMaxTemplateChars = 129;

struct CompiledTemplate {
  const char16_t* text = nullptr;  // not owned: the field the template was compiled from
  std::uint32_t count = 0;
  TemplateSegment segments[kMaxTemplateChars];
  // Row templates: a literal piece that a "{desc}" follows ends in "{" and lower-case
  // letters, so an inserted description could complete a variable with the text around it.
  bool descMayCompleteVariable = false;
  // Set by ExportLineBuilder::Prepare: the encoded pieces, put side by side, give the
  // encoded line (see there); `literalUnits` counts the UTF-16 units of the text segments.
  bool direct = false;
  std::uint32_t literalUnits = 0;
};

// Splits `text` into segments. Descriptions know the six record variables; row templates
// (row = true) also "{desc}".
void CompileTemplate(std::u16string_view text, bool row, CompiledTemplate& out);

// Builds the lines of one export profile. Holds its buffers across lines, so a line needs
// no allocation unless it is longer than every line before it.
class ExportLineBuilder {
 public:
  // The profile must outlive the builder.
  ExportLineBuilder(CAppContext* context, const ExportProfile& profile);

  // Encodes the text segments of a compiled description once, so that BuildEncoded can put
  // its lines together from bytes. Without memory for that the description simply takes
  // the general way. `desc` must stay where it is while the builder uses it.
  void Prepare(CompiledTemplate& desc);

  // The line of record `r` described by `desc` (a compiled entry description), CR LF
  // included. False when memory ran out; the line is then incomplete.
  bool Build(const CompiledTemplate& desc, const PoiRecord& r);
  std::u16string_view line() const { return {line_.data(), line_.size()}; }

  // The same line encoded for the file (UTF-8, or Windows-1251 for any other code page):
  // from the prepared pieces when the result is the same (no cut by the string limit, no
  // brace that a rescan could see, no surrogate pair split between pieces), else through
  // Build and EncodeLine. False when memory ran out.
  bool BuildEncoded(const CompiledTemplate& desc, const PoiRecord& r);
  std::string_view bytes() const { return {bytes_.data(), bytes_.size()}; }
  // The same encoded line appended to `out`. False when memory ran out (`out` may then hold
  // part of the line after its earlier bytes).
  bool AppendEncoded(const CompiledTemplate& desc, const PoiRecord& r, TrackedBuffer<char>& out);

 private:
  // Decimal text of one record variable, formatted at most once per record.
  std::string_view Value(Seg kind);
  bool AppendValue(TrackedBuffer<char16_t>& out, Seg kind);
  bool ReplaceVariables(const char16_t* text, std::size_t n, TrackedBuffer<char16_t>& out);
  // Encodes the text segments of `t` (a description, transliterated when the profile says
  // so, or the row format) into store_; false when the pieces cannot stand in for the
  // encoded line.
  bool EncodePieces(CompiledTemplate& t, bool isDesc);

  CompiledTemplate format_;
  std::uint32_t stringLimit_;
  bool translit_;
  bool utf8_;
  TrackedBuffer<char16_t> desc_;
  TrackedBuffer<char16_t> unreplaced_;  // the row with "{desc}" replaced, for a rescan
  TrackedBuffer<char16_t> line_;
  TrackedBuffer<char> store_;  // encoded text segments of the format and the descriptions
  TrackedBuffer<char> bytes_;

  const PoiRecord* record_ = nullptr;
  static constexpr std::size_t kValueChars = kFixed6Chars;
  char values_[6][kValueChars];
  std::uint16_t valueLen_[6] = {};
  unsigned valueDone_ = 0;
};

// Encodes `line` for the file: UTF-8 when `utf8`, else Windows-1251 with '?' for what it
// cannot hold. `out` has room for 3 bytes per UTF-16 unit. Returns the byte count.
std::size_t EncodeLine(std::u16string_view line, bool utf8, char* out);

}  // namespace tarvik
