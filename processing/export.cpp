// The export stage: writes one line per selected record through the export profile.
#include "processing/export.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <span>
#include <string>
#include <system_error>

#include "core/platform.h"
#include "core/platform_files.h"
#include "core/std_compat.h"
#include "core/store_lock.h"
#include "core/text.h"
#include "params/param_store.h"
#include "processing/area_index.h"
#include "processing/parallel.h"
#include "processing/poi_store.h"
#include "processing/progress_steps.h"
#include "processing/task.h"
#include "processing/type_index.h"
#include "resources/string_ids.h"

namespace tarvik {
namespace {

constexpr std::size_t kOutputBuffer = 128 * 1024;

struct Variable {
  std::u16string_view name;  // without braces
  Seg kind;
};
constexpr Variable kVariables[] = {
    {u"x", Seg::X},
    {u"y", Seg::Y},
    {u"type", Seg::Type},
    {u"speed", Seg::Speed},
    {u"dirtype", Seg::Dirtype},
    {u"direction", Seg::Direction},
    {u"desc", Seg::Desc},
};

inline bool IsLower(char16_t c) {
  return c >= u'a' && c <= u'z';
}
inline bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
inline bool IsLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

// The length of the variable that starts at p[0] == '{', or 0 when none does.
std::size_t MatchVariable(const char16_t* p, std::size_t n, bool withDesc, Seg& kind) {
  std::size_t close = 1;
  while (close < n && close <= 10 && IsLower(p[close])) ++close;
  if (close >= n || p[close] != u'}') return 0;
  std::u16string_view name(p + 1, close - 1);
  for (const Variable& v : kVariables) {
    if (name == v.name && (withDesc || v.kind != Seg::Desc)) {
      kind = v.kind;
      return close + 1;
    }
  }
  return 0;
}

}  // namespace

std::size_t FormatFixed6(double v, char* out) {
  if (std::isnan(v)) {
    std::memcpy(out, "nan", 3);
    return 3;
  }
  if (std::isinf(v)) {
    if (v < 0) {
      std::memcpy(out, "-inf", 4);
      return 4;
    }
    std::memcpy(out, "inf", 3);
    return 3;
  }
#if defined(__SIZEOF_INT128__)
  // Coordinates are the common case: the exact value times 10^6, rounded half to even like
  // printf, is at most 73 bits wide for 2^-20 <= |v| < 2^32, so integer arithmetic gives
  // the same digits without the general conversion.
  const double a = std::fabs(v);
  if (a >= 0x1p-20 && a < 0x1p32) {
    __extension__ typedef unsigned __int128 Wide;
    std::uint64_t bits;
    std::memcpy(&bits, &a, sizeof bits);
    // a = mantissa * 2^-shift exactly (a normal number here).
    const std::uint64_t mantissa = (bits & ((std::uint64_t{1} << 52) - 1)) | std::uint64_t{1} << 52;
    const int shift = 1075 - static_cast<int>(bits >> 52);  // 21..72
    const Wide scaled = static_cast<Wide>(mantissa) * 1000000u;
    std::uint64_t q = static_cast<std::uint64_t>(scaled >> shift);
    const Wide rest = scaled & ((static_cast<Wide>(1) << shift) - 1);
    const Wide half = static_cast<Wide>(1) << (shift - 1);
    if (rest > half || (rest == half && (q & 1))) ++q;
    char* o = out;
    if (v < 0) *o++ = '-';
    o = std::to_chars(o, o + 20, q / 1000000).ptr;
    *o++ = '.';
    // The six decimals two at a time.
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    const auto f = static_cast<std::uint32_t>(q % 1000000);
    std::memcpy(o, kPairs + 2 * (f / 10000), 2);
    std::memcpy(o + 2, kPairs + 2 * (f / 100 % 100), 2);
    std::memcpy(o + 4, kPairs + 2 * (f % 100), 2);
    return static_cast<std::size_t>(o + 6 - out);
  }
#endif
  auto r = compat::to_chars(out, out + kFixed6Chars, v, std::chars_format::fixed, 6);
  return r.ec == std::errc() ? static_cast<std::size_t>(r.ptr - out) : 0;
}

namespace {

// Transliteration of U+0400..U+045F: 0 where the table leaves the letter alone.
constexpr std::array<char16_t, 0x60> kCyrillic = [] {
  std::array<char16_t, 0x60> t{};
  t[0x01] = u'E';  // Ё
  t[0x10] = u'A';  // А
  t[0x12] = u'B';  // В
  t[0x15] = u'E';  // Е
  t[0x1A] = u'K';  // К
  t[0x1C] = u'M';  // М
  t[0x1D] = u'H';  // Н
  t[0x1E] = u'O';  // О
  t[0x20] = u'P';  // Р
  t[0x21] = u'C';  // С
  t[0x22] = u'T';  // Т
  t[0x25] = u'X';  // Х
  t[0x30] = u'a';  // а
  t[0x35] = u'e';  // е
  t[0x3E] = u'o';  // о
  t[0x40] = u'p';  // р
  t[0x41] = u'c';  // с
  t[0x43] = u'y';  // у
  t[0x45] = u'x';  // х
  t[0x51] = u'e';  // ё
  return t;
}();

// Every UTF-16 unit outside the surrogates to its Windows-1251 byte ('?' when it has none),
// built once from the converter of the text services.
const std::array<char, 65536>& AnsiTable() {
  static const std::array<char, 65536> table = [] {
    std::array<char, 65536> t{};
    std::u16string all;
    all.reserve(65536);
    for (std::uint32_t c = 0x80; c < 0x10000; ++c)
      if (c < 0xD800 || c > 0xDFFF) all.push_back(static_cast<char16_t>(c));
    std::string bytes = Utf16ToCp1251(all);
    for (std::uint32_t c = 0; c < 0x80; ++c) t[c] = static_cast<char>(c);
    std::size_t k = 0;
    for (std::uint32_t c = 0x80; c < 0x10000; ++c) {
      if (c >= 0xD800 && c <= 0xDFFF) {
        t[c] = '?';
      } else if (bytes.size() == all.size()) {
        t[c] = bytes[k++];
      } else {
        std::string one = Utf16ToCp1251(std::u16string(1, static_cast<char16_t>(c)));
        t[c] = one.size() == 1 ? one[0] : '?';
      }
    }
    return t;
  }();
  return table;
}

std::u16string_view FieldView(const char16_t* field, std::size_t capacity) {
  std::size_t n = 0;
  while (n < capacity && field[n]) ++n;
  return {field, n};
}

std::u16string ReasonText(int err) {
  return Utf8ToUtf16(platform::ErrorText(err));
}

// The output file with one buffer in front of it. The file is written under a new name and
// takes the target's place only when Commit succeeds; on every other way out it goes again.
class OutputFile {
 public:
  explicit OutputFile(CAppContext* context) : buffer_(context) {}

  // A cancel also ends a wait for the reader of a pipe.
  bool Open(const std::string& path, bool replace, const std::atomic<std::uint32_t>& cancel) {
    file_.CancelWith(&cancel);
    error_ = file_.Open(path, replace);
    return error_ == 0;
  }

  // Room for n more bytes at tail(); false on a write error (error() != 0) or when memory
  // ran out (error() == 0).
  bool Room(std::size_t n) {
    if (buffer_.size() + n <= buffer_.capacity()) return true;
    if (!Flush()) return false;
    return buffer_.Reserve(n > kOutputBuffer ? n : kOutputBuffer);
  }
  char* tail() { return buffer_.data() + buffer_.size(); }
  void Commit(std::size_t n) { buffer_.Resize(buffer_.size() + n); }

  bool Flush() {
    if (buffer_.size() == 0) return true;
    error_ = file_.Write(buffer_.data(), buffer_.size());
    buffer_.Clear();
    return error_ == 0;
  }

  // Everything written: the file takes the target's place.
  bool Finish() {
    if (!Flush()) {
      file_.Discard();
      return false;
    }
    error_ = file_.Commit();
    return error_ == 0;
  }
  void Discard() { file_.Discard(); }

  int error() const { return error_; }

 private:
  platform::ReplacingFile file_;
  TrackedBuffer<char> buffer_;
  int error_ = 0;
};

// The ticked areas, indexed for the inside test of the export.
class AreaSet {
 public:
  explicit AreaSet(CAppContext* context) : boxes_(context), index_(context) {}

  bool Add(const FilterArea& a) { return boxes_.Append({a.AX, a.AY, a.CX, a.CY}); }
  // After the last Add.
  bool Build(std::span<const PoiRecord> records) {
    return index_.Build({boxes_.data(), boxes_.size()}, records);
  }

  bool Contains(double x, double y) const { return index_.Contains(x, y); }

 private:
  TrackedBuffer<AreaBox> boxes_;
  AreaIndex index_;
};

}  // namespace

char16_t TranslitChar(char16_t c) {
  if (c == u',') return u' ';
  if (c >= 0x400 && c < 0x460 && kCyrillic[c - 0x400]) return kCyrillic[c - 0x400];
  return c;
}

void CompileTemplate(std::u16string_view text, bool row, CompiledTemplate& out) {
  if (text.size() > kMaxTemplateChars) text = text.substr(0, kMaxTemplateChars);
  out.text = text.data();
  out.count = 0;
  out.descMayCompleteVariable = false;
  const std::size_t n = text.size();
  std::size_t literal = 0;
  auto addText = [&](std::size_t end) {
    if (end > literal)
      out.segments[out.count++] = {Seg::Text, static_cast<std::uint16_t>(literal),
                                   static_cast<std::uint16_t>(end - literal)};
  };
  for (std::size_t i = 0; i < n;) {
    Seg kind;
    std::size_t len = text[i] == u'{' ? MatchVariable(text.data() + i, n - i, row, kind) : 0;
    if (!len) {
      ++i;
      continue;
    }
    if (kind == Seg::Desc) {
      std::size_t j = i;
      while (j > 0 && IsLower(text[j - 1])) --j;
      if (j > 0 && text[j - 1] == u'{') out.descMayCompleteVariable = true;
    }
    addText(i);
    out.segments[out.count++] = {kind, static_cast<std::uint16_t>(i),
                                 static_cast<std::uint16_t>(len)};
    i += len;
    literal = i;
  }
  addText(n);
}

ExportLineBuilder::ExportLineBuilder(CAppContext* context, const ExportProfile& profile)
    : stringLimit_(static_cast<std::uint32_t>(profile.StringLimit)),
      translit_(profile.Translit != 0),
      utf8_(profile.Codepage == 65001),
      desc_(context),
      unreplaced_(context),
      line_(context),
      store_(context),
      bytes_(context) {
  CompileTemplate(FieldView(profile.Format, FORMAT_CAPACITY), true, format_);
  format_.direct = !format_.descMayCompleteVariable && EncodePieces(format_, false);
}

bool ExportLineBuilder::EncodePieces(CompiledTemplate& t, bool isDesc) {
  const bool translit = isDesc && translit_;
  t.literalUnits = 0;
  char16_t text[kMaxTemplateChars];
  for (std::uint32_t s = 0; s < t.count; ++s) {
    TemplateSegment& seg = t.segments[s];
    if (seg.kind != Seg::Text) continue;
    for (std::size_t k = 0; k < seg.length; ++k) {
      char16_t c = t.text[seg.offset + k];
      text[k] = translit ? TranslitChar(c) : c;
      // A brace in a description could take part in a variable of the row.
      if (isDesc && text[k] == u'{') return false;
    }
    // Halves of a pair must not meet across pieces: encoded apart they would differ.
    if (IsLowSurrogate(text[0]) || IsHighSurrogate(text[seg.length - 1])) return false;
    std::size_t at = store_.size();
    if (!store_.Reserve(at + 3 * seg.length)) return false;
    std::size_t n = EncodeLine({text, seg.length}, utf8_, store_.data() + at);
    store_.Resize(at + n);
    seg.encodedOffset = static_cast<std::uint32_t>(at);
    seg.encodedBytes = static_cast<std::uint32_t>(n);
    t.literalUnits += seg.length;
  }
  return true;
}

void ExportLineBuilder::Prepare(CompiledTemplate& desc) {
  desc.direct = EncodePieces(desc, true);
}

bool ExportLineBuilder::BuildEncoded(const CompiledTemplate& desc, const PoiRecord& r) {
  bytes_.Clear();
  return AppendEncoded(desc, r, bytes_);
}

bool ExportLineBuilder::AppendEncoded(const CompiledTemplate& desc, const PoiRecord& r,
                                      TrackedBuffer<char>& out) {
  const std::size_t at = out.size();
  auto encodeLine = [&] {
    if (!Build(desc, r) || !out.Reserve(at + 3 * line_.size())) return false;
    out.Resize(at + EncodeLine(line(), utf8_, out.data() + at));
    return true;
  };
  if (!(desc.direct && format_.direct)) return encodeLine();
  record_ = &r;
  valueDone_ = 0;
  // The description's length decides whether the string limit cuts it: then the general way.
  std::size_t descUnits = desc.literalUnits;
  std::size_t descBytes = 0;
  for (std::uint32_t s = 0; s < desc.count; ++s) {
    const TemplateSegment& seg = desc.segments[s];
    if (seg.kind == Seg::Text) {
      descBytes += seg.encodedBytes;
    } else {
      std::size_t n = Value(seg.kind).size();
      descUnits += n;
      descBytes += n;
    }
  }
  if (stringLimit_ != 0 && descUnits > stringLimit_) return encodeLine();
  std::size_t total = 2;
  for (std::uint32_t s = 0; s < format_.count; ++s) {
    const TemplateSegment& seg = format_.segments[s];
    total += seg.kind == Seg::Text   ? seg.encodedBytes
             : seg.kind == Seg::Desc ? descBytes
                                     : Value(seg.kind).size();
  }
  if (!out.Reserve(at + total)) return false;
  char* o = out.data() + at;
  const char* store = store_.data();
  auto put = [&](const TemplateSegment& seg) {
    if (seg.kind == Seg::Text) {
      std::memcpy(o, store + seg.encodedOffset, seg.encodedBytes);
      o += seg.encodedBytes;
    } else {
      std::string_view v = Value(seg.kind);
      std::memcpy(o, v.data(), v.size());
      o += v.size();
    }
  };
  for (std::uint32_t s = 0; s < format_.count; ++s) {
    const TemplateSegment& seg = format_.segments[s];
    if (seg.kind != Seg::Desc) {
      put(seg);
      continue;
    }
    for (std::uint32_t d = 0; d < desc.count; ++d) put(desc.segments[d]);
  }
  *o++ = '\r';
  *o++ = '\n';
  out.Resize(at + total);
  return true;
}

std::string_view ExportLineBuilder::Value(Seg kind) {
  const int k = static_cast<int>(kind) - static_cast<int>(Seg::X);
  char* buf = values_[k];
  if (!(valueDone_ & (1u << k))) {
    std::size_t n = 0;
    auto integer = [&](std::int32_t v) {
      return static_cast<std::size_t>(std::to_chars(buf, buf + kValueChars, v).ptr - buf);
    };
    switch (kind) {
      case Seg::X:
        n = FormatFixed6(record_->X, buf);
        break;
      case Seg::Y:
        n = FormatFixed6(record_->Y, buf);
        break;
      case Seg::Type:
        n = integer(record_->TYPE);
        break;
      case Seg::Speed:
        n = integer(record_->SPEED);
        break;
      case Seg::Dirtype:
        n = integer(record_->DIRTYPE);
        break;
      case Seg::Direction:
        n = integer(record_->DIRECTION);
        break;
      default:
        break;
    }
    valueLen_[k] = static_cast<std::uint16_t>(n);
    valueDone_ |= 1u << k;
  }
  return {buf, valueLen_[k]};
}

bool ExportLineBuilder::AppendValue(TrackedBuffer<char16_t>& out, Seg kind) {
  std::string_view v = Value(kind);
  if (!out.Reserve(out.size() + v.size())) return false;
  char16_t* p = out.data() + out.size();
  for (char c : v) *p++ = static_cast<unsigned char>(c);
  out.Resize(out.size() + v.size());
  return true;
}

bool ExportLineBuilder::ReplaceVariables(const char16_t* text, std::size_t n,
                                         TrackedBuffer<char16_t>& out) {
  std::size_t literal = 0;
  for (std::size_t i = 0; i < n;) {
    Seg kind;
    std::size_t len = text[i] == u'{' ? MatchVariable(text + i, n - i, false, kind) : 0;
    if (!len) {
      ++i;
      continue;
    }
    if (!out.Append(text + literal, i - literal) || !AppendValue(out, kind)) return false;
    i += len;
    literal = i;
  }
  return out.Append(text + literal, n - literal);
}

bool ExportLineBuilder::Build(const CompiledTemplate& desc, const PoiRecord& r) {
  record_ = &r;
  valueDone_ = 0;

  // The description: its variables, the string limit, the transliteration.
  desc_.Clear();
  for (std::uint32_t s = 0; s < desc.count; ++s) {
    const TemplateSegment& seg = desc.segments[s];
    bool ok = seg.kind == Seg::Text ? desc_.Append(desc.text + seg.offset, seg.length)
                                    : AppendValue(desc_, seg.kind);
    if (!ok) return false;
  }
  std::size_t len = desc_.size();
  char16_t* d = desc_.data();
  if (stringLimit_ != 0 && len > stringLimit_) {
    len = stringLimit_;
    // Never keep half of a surrogate pair.
    if (IsHighSurrogate(d[len - 1]) && IsLowSurrogate(d[len])) --len;
    desc_.Resize(len);
  }
  bool brace = false;
  for (std::size_t k = 0; k < len; ++k) {
    if (translit_) d[k] = TranslitChar(d[k]);
    brace |= d[k] == u'{';
  }

  line_.Clear();
  if (!brace && !format_.descMayCompleteVariable) {
    // Nothing in the inserted description can take part in a variable: the pieces suffice.
    for (std::uint32_t s = 0; s < format_.count; ++s) {
      const TemplateSegment& seg = format_.segments[s];
      bool ok = seg.kind == Seg::Text   ? line_.Append(format_.text + seg.offset, seg.length)
                : seg.kind == Seg::Desc ? line_.Append(d, len)
                                        : AppendValue(line_, seg.kind);
      if (!ok) return false;
    }
  } else {
    // The description brings (or completes) a variable: replace "{desc}" first, then find
    // the variables in the whole row again, as the one-after-another replacement does.
    unreplaced_.Clear();
    for (std::uint32_t s = 0; s < format_.count; ++s) {
      const TemplateSegment& seg = format_.segments[s];
      bool ok = seg.kind == Seg::Desc ? unreplaced_.Append(d, len)
                                      : unreplaced_.Append(format_.text + seg.offset, seg.length);
      if (!ok) return false;
    }
    if (!ReplaceVariables(unreplaced_.data(), unreplaced_.size(), line_)) return false;
  }
  const char16_t crlf[2] = {u'\r', u'\n'};
  return line_.Append(crlf, 2);
}

std::size_t EncodeLine(std::u16string_view line, bool utf8, char* out) {
  if (utf8) return EncodeUtf8(line, out);
  char* o = out;
  const std::size_t n = line.size();
  const std::array<char, 65536>& table = AnsiTable();
  for (std::size_t i = 0; i < n; ++i) {
    char16_t c = line[i];
    // A pair stands for one character the code page lacks: one '?'.
    if (IsHighSurrogate(c) && i + 1 < n && IsLowSurrogate(line[i + 1])) ++i;
    *o++ = table[c];
  }
  return static_cast<std::size_t>(o - out);
}

namespace {

// One thread's line builder with the entry descriptions prepared for it.
struct LineWorker {
  LineWorker(CAppContext* context, const ExportProfile& profile,
             std::span<const SchemaEntry* const> entries)
      : builder(context, profile), descs(context) {
    ready = descs.Reserve(entries.size() ? entries.size() : 1);
    for (std::size_t k = 0; ready && k < entries.size(); ++k) {
      CompileTemplate(FieldView(entries[k]->Desc, ENTRY_DESC_CAPACITY), false, descs.data()[k]);
      builder.Prepare(descs.data()[k]);
    }
  }
  ExportLineBuilder builder;
  TrackedBuffer<CompiledTemplate> descs;
  bool ready;
};

// The encoded lines of one batch of records.
struct LineBatch {
  explicit LineBatch(CAppContext* context) : bytes(context) {}
  TrackedBuffer<char> bytes;
  std::uint64_t lines = 0;
  bool failed = false;  // memory ran out
};

// Writes the lines of every selected record: batches of records are built by several threads
// and written in file order by this one, so the file holds the same bytes as one pass makes.
// A few batches wait at most, which bounds the memory. Calls fail(id, errno) on a failure.
template <class Fail>
void WriteInBatches(WorkerTask& task, CAppContext* context, const ExportProfile& profile,
                    std::span<const SchemaEntry* const> entries, const TypeIndex& index,
                    const AreaSet& areas, const PoiRecord* records, std::uint32_t n,
                    const RecordBatches& batches, OutputFile& out, ProgressSteps& progress,
                    Fail& fail) {
  const std::size_t window = std::min<std::size_t>(4 * batches.threads, kMaxWindow);
  TrackedObjects<LineWorker> workers(context);
  TrackedObjects<LineBatch> slots(context);
  bool ready =
      workers.Create(batches.threads, context, profile, entries) && slots.Create(window, context);
  for (unsigned t = 0; ready && t < batches.threads; ++t) ready = workers[t].ready;
  if (!ready) {
    fail(STR_FAIL_EXPORT_MEMORY, 0);
    return;
  }
  ExportResult& result = task.exportResult;
  auto work = [&](std::size_t b, unsigned thread) {
    LineBatch& slot = slots[b % window];
    LineWorker& worker = workers[thread];
    slot.bytes.Clear();
    slot.lines = 0;
    slot.failed = false;
    const std::uint32_t end = std::min(n, batches.First(b + 1));
    for (std::uint32_t i = batches.First(b); i < end; ++i) {
      const PoiRecord& r = records[i];
      std::uint32_t e = index.Find(r.TYPE);
      if (e == TypeIndex::kNone || !areas.Contains(r.X, r.Y)) continue;
      if (!worker.builder.AppendEncoded(worker.descs.data()[e], r, slot.bytes)) {
        slot.failed = true;
        return;
      }
      ++slot.lines;
    }
  };
  auto commit = [&](std::size_t b) {
    progress.At(batches.First(b));
    LineBatch& slot = slots[b % window];
    if (slot.failed) {
      fail(STR_FAIL_EXPORT_MEMORY, 0);
      return false;
    }
    const std::size_t size = slot.bytes.size();
    if (task.outputLimit != 0 && result.bytesWritten + size > task.outputLimit) {
      fail(STR_FAIL_EXPORT_TOO_LARGE, 0);
      return false;
    }
    if (size && !out.Room(size)) {
      fail(out.error() ? STR_FAIL_EXPORT_WRITE : STR_FAIL_EXPORT_MEMORY, out.error());
      return false;
    }
    if (size) std::memcpy(out.tail(), slot.bytes.data(), size);
    out.Commit(size);
    result.bytesWritten += size;
    result.linesWritten += slot.lines;
    return true;
  };
  RunOrdered(batches.count, batches.threads, window, work, commit,
             [&] { return task.abortFlag.load(std::memory_order_relaxed) != 0; });
}

}  // namespace

bool ExportPois(WorkerTask& task) {
  if (!task.paramStore || !task.poiStore || !task.poiStore->data) return false;
  if (!Aborted(task)) {
    ReportProgress(task, 0);
    ReportStatus(task, STR_STATUS_EXPORTING);
  }
  task.exportResult = {};
  PoiData& data = *task.poiStore->data;
  auto nothingToExport = [&] {
    SetFailure(task, STR_FAIL_EXPORT_NOTHING);
    return !Aborted(task);
  };
  if (data.recordCount == 0 || !data.records) return nothingToExport();
  StoreHold<CParamStore> hold(task.paramStore, StoreHold<CParamStore>::Try);
  if (!hold || !task.paramStore->data) return !Aborted(task);
  CAppContext* context = task.poiStore->context ? task.poiStore->context : task.appContext;

  if (!task.entryList || !task.areaList || !task.exportProfile) return nothingToExport();
  if (Aborted(task)) return false;

  // Without leave to replace, a file that took the name meanwhile is never overwritten.
  auto appeared = [&](int err) { return err == EEXIST && !task.replaceTarget; };
  OutputFile out(context);
  if (!out.Open(platform::NativePath(task.targetPath), task.replaceTarget, task.abortFlag)) {
    if (Aborted(task)) return false;
    if (appeared(out.error()))
      SetFailure(task, STR_FAIL_EXPORT_APPEARED,
                 StrLoad(STR_FAIL_EXPORT_APPEARED, task.targetPath));
    else
      SetFailure(task, STR_FAIL_EXPORT_CREATE,
                 StrLoad(STR_FAIL_EXPORT_CREATE, task.targetPath, ReasonText(out.error())));
    return !Aborted(task);
  }
  bool failed = false;
  auto fail = [&](std::uint32_t id, int err) {
    if (id == STR_FAIL_EXPORT_MEMORY || id == STR_FAIL_EXPORT_APPEARED ||
        id == STR_FAIL_EXPORT_TOO_LARGE)
      SetFailure(task, id, StrLoad(id, task.targetPath));
    else
      SetFailure(task, id, StrLoad(id, task.targetPath, ReasonText(err)));
    failed = true;
  };

  {
    const ExportProfile& profile = *task.exportProfile;
    const std::uint64_t limit =
        static_cast<std::uint64_t>(static_cast<std::uint32_t>(profile.SizeLimit)) * 1024;

    // The ticked entries in list order (the first of a type wins) and the ticked areas.
    TrackedBuffer<const SchemaEntry*> entries(context);
    AreaSet areas(context);
    bool ready = true;
    for (RefNode* node = task.entryList; node && ready; node = node->next)
      if (node->ref) ready = entries.Append(static_cast<const SchemaEntry*>(node->ref));
    for (RefNode* node = task.areaList; node && ready; node = node->next)
      if (node->ref) ready = areas.Add(*static_cast<const FilterArea*>(node->ref));
    const std::size_t entryCount = entries.size();
    TrackedBuffer<CompiledTemplate> descs(context);
    auto typeOf = [&](std::size_t k) { return entries.data()[k]->Type; };
    TypeIndex index(entryCount, typeOf);
    TrackedBuffer<char> indexScratch(context);
    ExportLineBuilder builder(context, profile);
    ready = ready && descs.Reserve(entryCount ? entryCount : 1) &&
            indexScratch.Reserve(index.Bytes()) && out.Room(kOutputBuffer) &&
            areas.Build({data.records, data.recordCount});
    if (!ready) {
      fail(out.error() ? STR_FAIL_EXPORT_WRITE : STR_FAIL_EXPORT_MEMORY, out.error());
    } else {
      for (std::size_t k = 0; k < entryCount; ++k) {
        const SchemaEntry& e = *entries.data()[k];
        CompileTemplate(FieldView(e.Desc, ENTRY_DESC_CAPACITY), false, descs.data()[k]);
        builder.Prepare(descs.data()[k]);
      }
      index.Build(indexScratch.data(), typeOf);

      ExportResult& result = task.exportResult;
      const PoiRecord* records = data.records;
      const std::uint32_t n = data.recordCount;
      ProgressSteps progress(task, n);
      const RecordBatches batches = PlanRecordBatches(n);
      bool full = false;
      std::uint32_t i = 0;
      if (limit == 0 && batches.threads > 1) {
        // Without a size limit no line depends on what was written before it: threads build
        // the lines of batches of records, and the batches are written in file order.
        WriteInBatches(task, context, profile, {entries.data(), entryCount}, index, areas, records,
                       n, batches, out, progress, fail);
        i = n;
      }
      while (i < n && !failed) {
        if (task.abortFlag.load(std::memory_order_relaxed)) break;
        progress.At(i);
        std::uint32_t end = static_cast<std::uint32_t>(std::min<std::uint64_t>(
            n, std::min<std::uint64_t>(progress.next(), std::uint64_t{i} + 1024)));
        for (; i < end; ++i) {
          const PoiRecord& r = records[i];
          std::uint32_t e = index.Find(r.TYPE);
          if (e == TypeIndex::kNone || !areas.Contains(r.X, r.Y)) continue;
          if (full) {
            ++result.linesLeftOut;
            continue;
          }
          if (!builder.BuildEncoded(descs.data()[e], r)) {
            fail(STR_FAIL_EXPORT_MEMORY, 0);
            break;
          }
          std::string_view bytes = builder.bytes();
          if (limit != 0 && result.bytesWritten + bytes.size() > limit) {
            // The line would pass the size limit: it and every later one stay out.
            full = true;
            ++result.linesLeftOut;
            continue;
          }
          if (task.outputLimit != 0 && result.bytesWritten + bytes.size() > task.outputLimit) {
            fail(STR_FAIL_EXPORT_TOO_LARGE, 0);
            break;
          }
          if (!out.Room(bytes.size())) {
            fail(out.error() ? STR_FAIL_EXPORT_WRITE : STR_FAIL_EXPORT_MEMORY, out.error());
            break;
          }
          std::memcpy(out.tail(), bytes.data(), bytes.size());
          out.Commit(bytes.size());
          result.bytesWritten += bytes.size();
          ++result.linesWritten;
        }
      }
    }
  }

  const ExportResult& result = task.exportResult;
  if (failed || Aborted(task)) {
    out.Discard();
  } else if (result.linesWritten == 0 && result.linesLeftOut == 0) {
    out.Discard();
    SetFailure(task, STR_FAIL_EXPORT_NOTHING);
  } else if (!out.Finish()) {
    fail(appeared(out.error()) ? STR_FAIL_EXPORT_APPEARED : STR_FAIL_EXPORT_WRITE, out.error());
  }
  if (failed || Aborted(task)) task.exportResult = {};
  return !Aborted(task);
}

}  // namespace tarvik
