// The POI store, loading of a source file and parsing of speed-camera tables.
#include "processing/poi_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/platform.h"
#include "core/text.h"
#include "core/tracked_memory.h"
#include "processing/progress_steps.h"
#include "processing/task.h"
#include "resources/string_ids.h"

namespace tarvik {

namespace {

// The file is read in pieces of this size straight into its buffer, so progress and Cancel
// are seen between pieces.
constexpr std::size_t kReadPiece = std::size_t{1} << 20;

PoiData* DataOf(WorkerTask& task) {
  return task.poiStore ? task.poiStore->data : nullptr;
}

std::u16string SystemReason(int err) {
  return Utf8ToUtf16(platform::ErrorText(err));
}

struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) ::close(fd);
  }
};

// ---- C-locale number conversions -------------------------------------------------------

inline bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
inline bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
inline bool IsHexDigit(char c) {
  return IsDigit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f');
}

// from_chars reports a result that rounds to 0 or to infinity as out of range and leaves the
// value alone; strtod gives 0 or HUGE_VAL. Tells which from the matched text [p, e): whether
// its first significant digit stands above the units place after applying the exponent.
// Out-of-range results are hundreds of powers away from 1, so the sign of that is enough.
bool AboveOne(const char* p, const char* e, bool hex) {
  const int digitWeight = hex ? 4 : 1;
  const char expMark = hex ? 'p' : 'e';
  long long magnitude = 0;
  bool significant = false;
  bool fraction = false;
  for (; p < e && (*p | 0x20) != expMark; ++p) {
    if (*p == '.') {
      fraction = true;
      continue;
    }
    bool zero = *p == '0';
    if (!fraction) {
      if (significant || !zero) {
        significant = true;
        magnitude += digitWeight;
      }
    } else if (!significant) {
      if (!zero) {
        significant = true;
      } else {
        magnitude -= digitWeight;
      }
    }
  }
  if (!significant) return false;
  if (magnitude == 0) magnitude = -digitWeight;  // first significant digit after the point
  long long exponent = 0;
  if (p < e) {
    ++p;
    bool negative = false;
    if (p < e && (*p == '+' || *p == '-')) negative = *p++ == '-';
    for (; p < e && IsDigit(*p); ++p) {
      if (exponent < (1LL << 40)) exponent = exponent * 10 + (*p - '0');
    }
    if (negative) exponent = -exponent;
  }
  return magnitude + exponent > 0;
}

// False when nothing converts (the result is then +0 whatever sign came before).
bool Convert(const char* p, const char* e, std::chars_format format, double& value) {
  auto r = std::from_chars(p, e, value, format);
  if (r.ec == std::errc::invalid_argument) return false;
  if (r.ec == std::errc::result_out_of_range) {
    value = AboveOne(p, r.ptr, format == std::chars_format::hex) ? HUGE_VAL : 0.0;
  }
  return true;
}

// Decimal numbers of up to 19 digits whose digits fit a double exactly and whose fraction
// has at most 22 digits: one exact integer divided by an exact power of ten, which IEEE
// arithmetic rounds correctly, as strtod does. Anything else goes to from_chars.
constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Eight ASCII digits at p (little-endian load) as their value; the usual SWAR reduction.
inline bool EightDigits(const char* p, std::uint32_t& value) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  if (((v + 0x4646464646464646ull) | (v - 0x3030303030303030ull)) & 0x8080808080808080ull) {
    return false;
  }
  v -= 0x3030303030303030ull;
  v = (v * 10) + (v >> 8);
  v = (((v & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
       (((v >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
      32;
  value = static_cast<std::uint32_t>(v);
  return true;
}

inline bool FastDecimal(const char* p, const char* e, double& value) {
  std::uint64_t m = 0;
  int digits = 0;
  for (; p < e && IsDigit(*p); ++p, ++digits) m = m * 10 + static_cast<unsigned>(*p - '0');
  int fraction = 0;
  if (p < e && *p == '.') {
    ++p;
    std::uint32_t eight;
    for (; e - p >= 8 && EightDigits(p, eight); p += 8, fraction += 8) m = m * 100000000 + eight;
    for (; p < e && IsDigit(*p); ++p, ++fraction) m = m * 10 + static_cast<unsigned>(*p - '0');
  }
  if (digits + fraction == 0 || digits + fraction > 19) return false;
  if (p < e && (*p | 0x20) == 'e') return false;
  if (m > (std::uint64_t{1} << 53) || fraction > 22) return false;
  value = fraction ? static_cast<double>(m) / kPow10[fraction] : static_cast<double>(m);
  return true;
}

inline double Atof(std::string_view token) {
  const char* p = token.data();
  const char* e = p + token.size();
  while (p < e && IsCSpace(*p)) ++p;
  bool negative = false;
  if (p < e && (*p == '+' || *p == '-')) negative = *p++ == '-';
  if (p == e || *p == '+' || *p == '-') return 0;  // no number after the sign
  double value = 0;
  if (e - p >= 2 && p[0] == '0' && (p[1] | 0x20) == 'x') {
    const char* h = p + 2;
    if (h < e && (IsHexDigit(*h) || (*h == '.' && h + 1 < e && IsHexDigit(h[1])))) {
      Convert(h, e, std::chars_format::hex, value);
    }  // else "0x" without digits: only the 0 converts
  } else if (!FastDecimal(p, e, value) && !Convert(p, e, std::chars_format::general, value)) {
    return 0;
  }
  return negative ? -value : value;
}

inline std::int32_t Atoi(std::string_view token) {
  const char* p = token.data();
  const char* e = p + token.size();
  while (p < e && IsCSpace(*p)) ++p;
  bool negative = false;
  if (p < e && (*p == '+' || *p == '-')) negative = *p++ == '-';
  // Accumulates up to just past the 32-bit range, then saturates.
  constexpr std::int64_t kLimit = std::int64_t{INT32_MAX} + 1;
  std::int64_t value = 0;
  for (; p < e && IsDigit(*p); ++p) {
    value = value * 10 + (*p - '0');
    if (value > kLimit) value = kLimit;
  }
  if (negative) return static_cast<std::int32_t>(-value);
  return static_cast<std::int32_t>(value > INT32_MAX ? INT32_MAX : value);
}

// The first byte at or after `p` that ends a line (0, LF, CR). `end` is the data's end,
// where a 0 byte is always readable.
inline const char* FindLineEnd(const char* p, const char* end) {
#if defined(__SSE2__)
  const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r'), nul = _mm_setzero_si128();
  while (end + 1 - p >= 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)),
                               _mm_cmpeq_epi8(v, nul));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
    if (mask) return p + __builtin_ctz(mask);
    p += 16;
  }
#endif
  while (*p != 0 && *p != '\n' && *p != '\r') ++p;
  return p;
}

}  // namespace

double AtofC(std::string_view token) {
  return Atof(token);
}

std::int32_t AtoiC(std::string_view token) {
  return Atoi(token);
}

std::size_t SplitLine(const char* line, std::size_t length, char& separator,
                      std::string_view (&tokens)[kMaxTokens]) {
  if (separator == 0) separator = std::strchr(line, '|') ? '|' : ',';
  const char sep = separator;
  const char* const end = line + length;
  const char* start = line;  // of the current token
  const char* p = line;
  std::size_t n = 0;
  auto cut = [&](const char* at) {
    tokens[n++] = std::string_view(start, static_cast<std::size_t>(at - start));
    start = at + 1;
  };
#if defined(__SSE2__)
  const __m128i vsep = _mm_set1_epi8(sep);
  for (; end - p >= 16; p += 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, vsep)));
    for (; mask; mask &= mask - 1) {
      cut(p + __builtin_ctz(mask));
      if (n == kMaxTokens) return n;
    }
  }
#endif
  for (; p < end; ++p) {
    if (*p == sep) {
      cut(p);
      if (n == kMaxTokens) return n;
    }
  }
  cut(end);
  return n;
}

// ---- the store ---------------------------------------------------------------------------

CPoiStore::CPoiStore(CAppContext* ctx) : context(ctx) {
  void* block = MemAllocZero(context, sizeof(PoiData));
  if (block) data = std::construct_at(static_cast<PoiData*>(block));
}

CPoiStore::~CPoiStore() {
  std::lock_guard<std::recursive_mutex> guard(lock);
  if (!data) return;
  MemFree(context, data->fileBytes);
  MemFree(context, data->records);
  MemFree(context, data->typeCounters);
  MemFree(context, data->areaCounters);
  std::destroy_at(data);
  MemFree(context, data);
  data = nullptr;
}

void CPoiStore::Clear(int level) {
  if (!context || !data || level < 0 || level > 2) return;
  PoiData& d = *data;
  if (level == 0) {
    MemFree(context, d.fileBytes);
    d.fileBytes = nullptr;
    d.fileLength = 0;
  }
  if (level <= 1) {
    MemFree(context, d.records);
    d.records = nullptr;
    d.recordCount = 0;
    d.sourceFormat = SOURCE_NONE;
  }
  MemFree(context, d.typeCounters);
  d.typeCounters = nullptr;
  d.typeCounterCount = 0;
  d.unmatchedCount = 0;
  MemFree(context, d.areaCounters);
  d.areaCounters = nullptr;
  d.areaCounterCount = 0;
}

// ---- loading -------------------------------------------------------------------------------

namespace {

// Reads the open file into the store's buffer. Returns false after recording why it failed.
bool ReadAll(WorkerTask& task, PoiData& d, CAppContext* context, int fd, std::uint64_t size) {
  const std::u16string& path = task.targetPath;
  auto fail = [&](std::uint32_t id, auto... args) {
    MemFree(context, d.fileBytes);
    d.fileBytes = nullptr;
    d.fileLength = 0;
    AbortWithFailure(task, id, path, args...);
    return false;
  };

  // Room for `size` bytes and the terminator at once when the size is known; grown by half
  // again when a file delivers more than it said (or says nothing, like a pipe).
  std::size_t capacity = 0;  // bytes of data the buffer can take, terminator excluded
  auto grow = [&](std::size_t need) {
    std::size_t target = need;
    if (capacity != 0) target = std::max(need, capacity + capacity / 2);
    target = std::min<std::size_t>(target, UINT32_MAX);
    void* block =
        d.fileBytes ? MemRealloc(context, d.fileBytes, target + 1) : MemAlloc(context, target + 1);
    if (!block) return false;
    d.fileBytes = static_cast<char*>(block);
    capacity = target;
    return true;
  };
  if (size > 0) {
    if (!grow(static_cast<std::size_t>(size))) return fail(STR_FAIL_FILE_MEMORY);
    d.fileBytes[0] = 0;
  }

  ProgressSteps progress(task, size);
  char probe[4096];
  while (!Aborted(task)) {
    // Into the buffer while it has room; past the announced size, a small probe first so
    // that the end of the file costs no growth.
    bool direct = d.fileLength < capacity;
    char* into = direct ? d.fileBytes + d.fileLength : probe;
    std::size_t room = direct ? std::min(capacity - d.fileLength, kReadPiece) : sizeof probe;
    ssize_t got = ::read(fd, into, room);
    if (got < 0) {
      if (errno == EINTR) continue;
      return fail(STR_FAIL_READ, SystemReason(errno));
    }
    if (got == 0) break;
    std::uint64_t total = std::uint64_t{d.fileLength} + static_cast<std::uint64_t>(got);
    if (total > UINT32_MAX) return fail(STR_FAIL_TOO_LARGE, static_cast<long long>(total));
    if (!direct) {
      if (!grow(static_cast<std::size_t>(total))) return fail(STR_FAIL_FILE_MEMORY);
      std::memcpy(d.fileBytes + d.fileLength, probe, static_cast<std::size_t>(got));
    }
    d.fileLength = static_cast<std::uint32_t>(total);
    d.fileBytes[d.fileLength] = 0;
    if (!Aborted(task)) progress.At(d.fileLength);
  }
  return true;
}

}  // namespace

bool LoadSourceFile(WorkerTask& task) {
  PoiData* d = DataOf(task);
  if (!d) return false;
  if (Aborted(task)) return false;
  ReportProgress(task, 0);
  ReportStatus(task, STR_STATUS_LOADING_FILE);

  const std::u16string& path = task.targetPath;
  std::string name = Utf16ToUtf8(path);
  FdCloser file{::open(name.c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.fd < 0) return AbortWithFailure(task, STR_FAIL_OPEN, path, SystemReason(errno));
  struct stat st {};
  if (::fstat(file.fd, &st) != 0)
    return AbortWithFailure(task, STR_FAIL_OPEN, path, SystemReason(errno));
  if (S_ISDIR(st.st_mode)) return AbortWithFailure(task, STR_FAIL_OPEN, path, SystemReason(EISDIR));
  // Only a regular file tells its size; anything else is read to its end without progress.
  std::uint64_t size = S_ISREG(st.st_mode) && st.st_size > 0 ? std::uint64_t(st.st_size) : 0;
  if (size > UINT32_MAX)
    return AbortWithFailure(task, STR_FAIL_TOO_LARGE, path, static_cast<long long>(size));
  ReadAll(task, *d, task.poiStore->context, file.fd, size);
  return !Aborted(task);
}

// ---- parsing -------------------------------------------------------------------------------

namespace {

enum class ColumnKind : std::uint8_t { None, IDX, X, Y, TYPE, SPEED, DIRTYPE, DIRECTION };

constexpr std::string_view kColumnNames[] = {"",     "IDX",   "X",       "Y",
                                             "TYPE", "SPEED", "DIRTYPE", "DIRECTION"};

// The column name a header token gives: its text before a "//" comment and the blanks in
// front of that. Published tables carry a comment after the last name ("DIRECTION // source
// date"), which would otherwise cost that column.
std::string_view HeaderName(std::string_view token) {
  std::size_t comment = token.find("//");
  if (comment == std::string_view::npos) return token;
  std::string_view name = token.substr(0, comment);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
  return name;
}

bool EqualsNoCaseAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

class Parser {
 public:
  Parser(WorkerTask& task, PoiData& data, CAppContext* context)
      : task_(task), d_(data), context_(context) {}

  void Run() {
    if (!d_.fileBytes || d_.fileLength == 0) return;
    const char* const base = d_.fileBytes;
    const char* const end = base + d_.fileLength;
    ProgressSteps progress(task_, d_.fileLength);
    const char* p = base;
    while (p < end) {
      // Blanks and comment marks before the first byte of a line are not part of it; a
      // comment mark among them drops the whole line.
      bool comment = false;
      for (; p < end; ++p) {
        char c = *p;
        if (c == '#' || c == '/' || c == ';') {
          comment = true;
        } else if (c != ' ' && c != '\t') {
          break;
        }
      }
      const char* line = p;
      // The buffer ends with a 0 byte, so this stops at `end` at the latest; a last line
      // without a terminator is processed like any other.
      p = FindLineEnd(p, end);
      if (p > line && !comment) ProcessLine(line, static_cast<std::size_t>(p - line));
      if (p < end) ++p;
      if (task_.abortFlag.load(std::memory_order_relaxed)) break;
      progress.At(static_cast<std::uint64_t>(p - base));
    }
  }

 private:
  void ProcessLine(const char* line, std::size_t length) {
    std::size_t n = SplitLine(line, length, separator_, tokens_);
    if (headerFound_) {
      DataLine(tokens_, n);
    } else {
      HeaderLine(tokens_, n, line);
    }
  }

  void HeaderLine(const std::string_view* tokens, std::size_t n, const char* line) {
    int hits = 0;
    std::u16string named;  // the columns this line names, for the message
    if (separator_ == ',' && (d_.sourceFormat == SOURCE_NONE || d_.sourceFormat == SOURCE_COMMA)) {
      for (std::size_t i = 0; i < n; ++i) {
        if (kinds_[i] != ColumnKind::None) continue;
        ColumnKind kind = ColumnKind::None;
        for (int k = 1; k < 8; ++k) {
          if (EqualsNoCaseAscii(HeaderName(tokens[i]), kColumnNames[k])) {
            kind = static_cast<ColumnKind>(k);
            break;
          }
        }
        if (kind == ColumnKind::None) continue;
        kinds_[i] = kind;
        if (kind == ColumnKind::IDX) d_.sourceFormat = SOURCE_COMMA;
        if (kind == ColumnKind::X && d_.sourceFormat == SOURCE_NONE) d_.sourceFormat = SOURCE_COMMA;
        if (kind == ColumnKind::X || kind == ColumnKind::Y || kind == ColumnKind::TYPE) ++hits;
        if (!named.empty()) named += u", ";
        named += Utf8ToUtf16(kColumnNames[static_cast<int>(kind)]);
      }
    } else if (separator_ == '|' && d_.sourceFormat == SOURCE_NONE) {
      for (std::size_t i = 0; i < n; ++i) {
        if (tokens[i] == "2") {
          kinds_[0] = ColumnKind::TYPE;
          kinds_[2] = ColumnKind::Y;
          kinds_[3] = ColumnKind::X;
          d_.sourceFormat = SOURCE_BAR;
          hits = 3;
          break;
        }
      }
    }
    if (hits >= 3) {
      headerFound_ = true;
    } else if (hits > 0) {
      AbortWithFailure(task_, STR_FAIL_HEADER, LineNumber(line), task_.targetPath, named);
    }
  }

  // The 1-based number of the line that starts at `line` (CR LF, LF, CR and 0 each end one).
  unsigned LineNumber(const char* line) const {
    unsigned number = 1;
    for (const char* p = d_.fileBytes; p < line; ++p) {
      if (*p == '\n' || *p == 0 || (*p == '\r' && !(p + 1 < line && p[1] == '\n'))) ++number;
    }
    return number;
  }

  void DataLine(const std::string_view* tokens, std::size_t n) {
    if (d_.sourceFormat == SOURCE_NONE) return;
    PoiRecord* record = nullptr;
    if (d_.sourceFormat == SOURCE_COMMA) {
      for (std::size_t i = 0; i < n; ++i) {
        ColumnKind kind = kinds_[i];
        if (kind == ColumnKind::None) continue;
        if (!record && !(record = NewRecord())) return;
        Store(*record, kind, tokens[i]);
      }
      return;
    }
    // Bar layout: "1709" announces that the next token is the speed, "1705" the direction.
    // The announced kind holds for that one token; the fixed columns keep theirs.
    ColumnKind tag = ColumnKind::None;
    for (std::size_t i = 0; i < n; ++i) {
      ColumnKind kind = kinds_[i];
      if (tag != ColumnKind::None) {
        kind = tag;
        tag = ColumnKind::None;
      } else if (tokens[i] == "1709") {
        tag = ColumnKind::SPEED;
      } else if (tokens[i] == "1705") {
        tag = ColumnKind::DIRECTION;
      }
      if (kind == ColumnKind::None) continue;
      if (!record && !(record = NewRecord())) return;
      Store(*record, kind, tokens[i]);
    }
  }

  static void Store(PoiRecord& r, ColumnKind kind, std::string_view token) {
    switch (kind) {
      case ColumnKind::X:
        r.X = Atof(token);
        break;
      case ColumnKind::Y:
        r.Y = Atof(token);
        break;
      case ColumnKind::TYPE:
        r.TYPE = Atoi(token);
        break;
      case ColumnKind::SPEED:
        r.SPEED = Atoi(token);
        break;
      case ColumnKind::DIRTYPE:
        r.DIRTYPE = Atoi(token);
        break;
      case ColumnKind::DIRECTION:
        r.DIRECTION = Atoi(token);
        break;
      case ColumnKind::IDX:
      case ColumnKind::None:
        break;
    }
  }

  // A new all-zero record at the end of the array. The array grows by half again (in
  // GrowSize steps) rather than by one record, so a million records cost a few dozen
  // reallocations. When it cannot grow the parse fails: dropping cameras silently would hand
  // an incomplete table on to the export.
  PoiRecord* NewRecord() {
    if (d_.recordCount == capacity_) {
      std::size_t want = std::max<std::size_t>(capacity_ + capacity_ / 2, 1024 / sizeof(PoiRecord));
      std::size_t bytes = want * sizeof(PoiRecord);
      void* block =
          d_.records ? MemRealloc(context_, d_.records, bytes) : MemAlloc(context_, bytes);
      if (!block) {
        AbortWithFailure(task_, STR_FAIL_RECORD_MEMORY, task_.targetPath);
        return nullptr;
      }
      d_.records = static_cast<PoiRecord*>(block);
      capacity_ = want;
    }
    PoiRecord* r = std::construct_at(d_.records + d_.recordCount);
    ++d_.recordCount;
    return r;
  }

  WorkerTask& task_;
  PoiData& d_;
  CAppContext* context_;
  char separator_ = 0;
  bool headerFound_ = false;
  ColumnKind kinds_[kMaxTokens] = {};
  std::string_view tokens_[kMaxTokens];  // of the current line (kept here: set up once)
  std::size_t capacity_ = 0;             // records the array can take
};

}  // namespace

bool ParseSource(WorkerTask& task) {
  PoiData* d = DataOf(task);
  if (!d) return false;
  if (Aborted(task)) return false;
  ReportProgress(task, 0);
  ReportStatus(task, STR_STATUS_PARSING);
  Parser(task, *d, task.poiStore->context).Run();
  return !Aborted(task);
}

}  // namespace tarvik
