// The POI store, loading of a source file and parsing of speed-camera tables.
#include "processing/poi_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <system_error>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/platform.h"
#include "core/platform_files.h"
#include "core/std_compat.h"
#include "core/text.h"
#include "core/tracked_array.h"
#include "core/tracked_memory.h"
#include "processing/osm_source.h"
#include "processing/parallel.h"
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
bool Convert(const char* p, const char* e, std::chars_format format, double& value,
             const char*& stop) {
  auto r = compat::from_chars(p, e, value, format);
  if (r.ec == std::errc::invalid_argument) return false;
  stop = r.ptr;
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
// The high bit of every byte of v that is no ASCII digit (and maybe of bytes after the first
// such byte): a carry only ever runs upwards, so the lowest marked byte is right.
inline std::uint64_t NonDigits(std::uint64_t v) {
  return ((v + 0x4646464646464646ull) | (v - 0x3030303030303030ull)) & 0x8080808080808080ull;
}

// The value of eight ASCII digits in v (little-endian, first digit lowest).
inline std::uint32_t EightDigitsValue(std::uint64_t v) {
  v -= 0x3030303030303030ull;
  v = (v * 10) + (v >> 8);
  v = (((v & 0x000000FF000000FFull) * (100 + (1000000ull << 32))) +
       (((v >> 16) & 0x000000FF000000FFull) * (1 + (10000ull << 32)))) >>
      32;
  return static_cast<std::uint32_t>(v);
}

inline bool EightDigits(const char* p, std::uint32_t& value) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  if (NonDigits(v)) return false;
  value = EightDigitsValue(v);
  return true;
}

constexpr std::uint32_t kPow10Int[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

inline bool FastDecimal(const char* p, const char* e, double& value, const char*& stop) {
  std::uint64_t m = 0;
  int digits = 0;
  for (; p < e && IsDigit(*p); ++p, ++digits) m = m * 10 + static_cast<unsigned>(*p - '0');
  int fraction = 0;
  if (p < e && *p == '.') {
    ++p;
    std::uint32_t eight;
    for (; e - p >= 8 && EightDigits(p, eight); p += 8, fraction += 8) m = m * 100000000 + eight;
    if (e - p >= 8) {
      // Fewer than eight digits follow: all of them at once, as the last digits of eight
      // whose first ones are zeros.
      std::uint64_t v;
      std::memcpy(&v, p, 8);
      const int n = __builtin_ctzll(NonDigits(v)) / 8;  // not 8: the loop above took those
      if (n > 0) {
        v = (v << (64 - 8 * n)) | (0x3030303030303030ull >> (8 * n));
        m = m * kPow10Int[n] + EightDigitsValue(v);
        p += n;
        fraction += n;
      }
    } else {
      for (; p < e && IsDigit(*p); ++p, ++fraction) m = m * 10 + static_cast<unsigned>(*p - '0');
    }
  }
  if (digits + fraction == 0 || digits + fraction > 19) return false;
  if (p < e && (*p | 0x20) == 'e') return false;
  if (m > (std::uint64_t{1} << 53) || fraction > 22) return false;
  value = fraction ? static_cast<double>(m) / kPow10[fraction] : static_cast<double>(m);
  stop = p;
  return true;
}

// The conversions of a token's bytes [p, e), which also tell where the number ended (`stop`,
// at most e). A number never takes in a separator, a line end or what follows them, so the
// token's own end need not be known beforehand: e may be the end of its line, and the
// separator that ends the token is found from `stop` on.
inline double Atof(const char* p, const char* e, const char*& stop) {
  stop = p;
  while (p < e && IsCSpace(*p)) ++p;
  bool negative = false;
  if (p < e && (*p == '+' || *p == '-')) negative = *p++ == '-';
  if (p == e || *p == '+' || *p == '-') return 0;  // no number after the sign
  double value = 0;
  if (e - p >= 2 && p[0] == '0' && (p[1] | 0x20) == 'x') {
    const char* h = p + 2;
    stop = p + 1;  // "0x" without digits: only the 0 converts
    if (h < e && (IsHexDigit(*h) || (*h == '.' && h + 1 < e && IsHexDigit(h[1]))))
      Convert(h, e, std::chars_format::hex, value, stop);
  } else if (!FastDecimal(p, e, value, stop) &&
             !Convert(p, e, std::chars_format::general, value, stop)) {
    return 0;
  }
  return negative ? -value : value;
}

inline double Atof(std::string_view token) {
  const char* stop;
  return Atof(token.data(), token.data() + token.size(), stop);
}

inline std::int32_t Atoi(const char* p, const char* e, const char*& stop) {
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
  stop = p;
  if (negative) return static_cast<std::int32_t>(-value);
  return static_cast<std::int32_t>(value > INT32_MAX ? INT32_MAX : value);
}

inline std::int32_t Atoi(std::string_view token) {
  const char* stop;
  return Atoi(token.data(), token.data() + token.size(), stop);
}

// The first byte at or after `p` that ends a line (0, LF, CR). `end` is the data's end,
// where a 0 byte is always readable.
inline const char* FindLineEnd(const char* p, [[maybe_unused]] const char* end) {
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

// FindLineEnd that also tells whether the line holds a "|".
inline const char* FindLineEnd(const char* p, [[maybe_unused]] const char* end, bool& bar) {
  bar = false;
#if defined(__SSE2__)
  const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r'), nul = _mm_setzero_si128(),
                vbar = _mm_set1_epi8('|');
  unsigned bars = 0;
  while (end + 1 - p >= 16) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)),
                               _mm_cmpeq_epi8(v, nul));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
    unsigned here = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, vbar)));
    if (mask) {
      bar = (bars | (here & ((1u << __builtin_ctz(mask)) - 1))) != 0;
      return p + __builtin_ctz(mask);
    }
    bars |= here;
    p += 16;
  }
  bar = bars != 0;
#endif
  for (; *p != 0 && *p != '\n' && *p != '\r'; ++p) bar |= *p == '|';
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
  if (separator == 0) {
    // Searched up to the next 0 byte; the parse decides it once for the file (Parser::Plan).
    separator = std::memchr(line, '|', std::strlen(line)) ? '|' : ',';
  }
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
    d.osmFormat = 0;
  }
  if (level <= 1) {
    MemFree(context, d.records);
    d.records = nullptr;
    d.recordCount = 0;
    d.recordsStamp = NextRecordsStamp();
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

std::uint64_t NextRecordsStamp() {
  static std::atomic<std::uint64_t> last{0};
  return ++last;
}

void SwapTables(PoiData& a, PoiData& b) {
  using std::swap;
  swap(a.sourceFormat, b.sourceFormat);
  swap(a.fileLength, b.fileLength);
  swap(a.fileBytes, b.fileBytes);
  swap(a.osmFormat, b.osmFormat);
  swap(a.recordCount, b.recordCount);
  swap(a.records, b.records);
  swap(a.recordsStamp, b.recordsStamp);
  swap(a.unmatchedCount, b.unmatchedCount);
  swap(a.typeCounterCount, b.typeCounterCount);
  swap(a.typeCounters, b.typeCounters);
  swap(a.areaCounterCount, b.areaCounterCount);
  swap(a.areaCounters, b.areaCounters);
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
  // A large file of known size is read in pieces by several threads at once: copying it and
  // faulting in its buffer then share the cores. The pieces are taken in file order, so a short
  // piece (the file shrank meanwhile) ends the data where it ends.
  const std::size_t pieces = (static_cast<std::size_t>(size) + kReadPiece - 1) / kReadPiece;
  if (const unsigned threads = ThreadsFor(static_cast<std::size_t>(size) /
                                          std::max<std::size_t>(Tuning().minBytesPerThread, 1));
      threads > 1 && pieces > 1) {
    struct Piece {
      std::size_t got;
      int error;
    };
    const std::size_t window = std::min(pieces, kMaxWindow);
    Piece results[kMaxWindow];
    bool shortPiece = false;
    int readError = 0;
    auto work = [&](std::size_t b, unsigned) {
      const std::size_t at = b * kReadPiece;
      const std::size_t want =
          std::min<std::size_t>(kReadPiece, static_cast<std::size_t>(size) - at);
      Piece r{0, 0};
      MemPrefault(d.fileBytes, at, want);
      while (r.got < want) {
        ssize_t got =
            ::pread(fd, d.fileBytes + at + r.got, want - r.got, static_cast<off_t>(at + r.got));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) r.error = errno;
        if (got <= 0) break;
        r.got += static_cast<std::size_t>(got);
      }
      results[b % window] = r;
    };
    auto commit = [&](std::size_t b) {
      const Piece& r = results[b % window];
      if (r.error) {
        readError = r.error;
        return false;
      }
      d.fileLength += static_cast<std::uint32_t>(r.got);
      if (r.got <
          std::min<std::size_t>(kReadPiece, static_cast<std::size_t>(size) - b * kReadPiece)) {
        shortPiece = true;
        return false;
      }
      progress.At(d.fileLength);
      return true;
    };
    RunOrdered(pieces, threads, window, work, commit, [&] { return Aborted(task); });
    if (readError) return fail(STR_FAIL_READ, SystemReason(readError));
    d.fileBytes[d.fileLength] = 0;
    // Past the size the file had when opened, the reading below finds what was added since.
    if (shortPiece || Aborted(task)) return true;
    if (::lseek(fd, static_cast<off_t>(d.fileLength), SEEK_SET) < 0)
      return fail(STR_FAIL_READ, SystemReason(errno));
  }
  char probe[4096];
  while (!Aborted(task)) {
    // Into the buffer while it has room; past the announced size, a small probe first so
    // that the end of the file costs no growth.
    bool direct = d.fileLength < capacity;
    char* into = direct ? d.fileBytes + d.fileLength : probe;
    std::size_t room = direct ? std::min(capacity - d.fileLength, kReadPiece) : sizeof probe;
    long got = platform::ReadWaiting(fd, into, room, &task.abortFlag);
    if (got < 0) {
      if (errno == ECANCELED) return false;  // the task was cancelled while a pipe was empty
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
  std::string name = platform::NativePath(path);
  // A table comes from a file or a pipe. A device (/dev/zero, a terminal) is refused before it
  // is opened or read: it would be read up to the size limit, or forever.
  struct stat st {};
  auto notATable = [&](const struct stat& s) {
    return !S_ISREG(s.st_mode) && !S_ISFIFO(s.st_mode) && !S_ISDIR(s.st_mode);
  };
  if (::stat(name.c_str(), &st) == 0 && notATable(st))
    return AbortWithFailure(task, STR_FAIL_NOT_A_FILE, path);
  // Without waiting for a pipe's writer: the reading waits, and a cancel ends that wait.
  FdCloser file{::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
  if (file.fd < 0) return AbortWithFailure(task, STR_FAIL_OPEN, path, SystemReason(errno));
  if (::fstat(file.fd, &st) != 0)
    return AbortWithFailure(task, STR_FAIL_OPEN, path, SystemReason(errno));
  if (S_ISDIR(st.st_mode)) return AbortWithFailure(task, STR_FAIL_OPEN, path, SystemReason(EISDIR));
  if (notATable(st)) return AbortWithFailure(task, STR_FAIL_NOT_A_FILE, path);
  // Only a regular file tells its size; a pipe is read to its end without progress.
  std::uint64_t size = S_ISREG(st.st_mode) && st.st_size > 0 ? std::uint64_t(st.st_size) : 0;
  if (size > UINT32_MAX)
    return AbortWithFailure(task, STR_FAIL_TOO_LARGE, path, static_cast<long long>(size));
  // An OpenStreetMap file is recognised by its first bytes and left on disk: the parse reads
  // it in passes, keeping only the cameras. Where the file can be read only once, it is loaded
  // as any other and recognised from what was read.
  auto recognise = [&](const char* head, std::size_t n) {
    OsmRecognition osm = RecogniseOsm(head, n);
    if (osm.refusal) return AbortWithFailure(task, osm.refusal, path, osm.detail);
    d->osmFormat = static_cast<std::uint32_t>(osm.format);
    return true;
  };
  if (size > 0) {
    char head[kOsmHeadBytes];
    ssize_t got;
    do {
      got = ::pread(file.fd, head, sizeof head, 0);
    } while (got < 0 && errno == EINTR);
    if (got < 0) return AbortWithFailure(task, STR_FAIL_READ, path, SystemReason(errno));
    if (!recognise(head, static_cast<std::size_t>(got))) return false;
    if (d->osmFormat != 0) {
      ReportProgress(task, 100);
      return true;
    }
  }
  CAppContext* context = task.poiStore->context;
  if (!ReadAll(task, *d, context, file.fd, size) || Aborted(task)) return false;
  // A file cut short while it was read would give a table without its end, and no one would
  // know: the load fails as on a read error.
  if (d->fileLength < size) {
    const long long got = d->fileLength;
    MemFree(context, d->fileBytes);
    d->fileBytes = nullptr;
    d->fileLength = 0;
    return AbortWithFailure(task, STR_FAIL_SHRUNK, path, static_cast<long long>(size), got);
  }
  return size != 0 || !d->fileBytes || recognise(d->fileBytes, d->fileLength);
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

// The parse. The header phase reads the first lines one after another; once the header is
// found, the data lines after it are parsed in parts by several threads. The parts are cut
// right after line ends; each part's records are made in a buffer of their own and appended
// to the array in file order, so the records come out exactly as one pass makes them.
class Parser {
 public:
  Parser(WorkerTask& task, PoiData& data, CAppContext* context)
      : task_(task),
        d_(data),
        context_(context),
        base_(data.fileBytes),
        end_(data.fileBytes + data.fileLength),
        progress_(task, data.fileLength) {}

  void Run() {
    if (!d_.fileBytes || d_.fileLength == 0) return;
    while (RunOnce()) {
      // The separator taken for "," turned out to be "|": everything again with "|".
      MemFree(context_, d_.records);
      d_.records = nullptr;
      d_.recordCount = 0;
      d_.recordsStamp = NextRecordsStamp();
      d_.sourceFormat = SOURCE_NONE;
      task_.headerBeyondLine = 0;
      std::fill(std::begin(kinds_), std::end(kinds_), ColumnKind::None);
      lastKind_ = 0;
      headerFound_ = false;
      separator_ = '|';
      decidedTo_ = end_;
      Cut(first_);
    }
    if (!Aborted(task_)) progress_.At(d_.fileLength);
  }

 private:
  // One parse with the separator as decided; true when it must be repeated with "|".
  bool RunOnce() {
    const char* p = base_;
    while (p < end_ && !headerFound_) {
      const bool comment = SkipLineStart(p, end_);
      const char* line = p;
      // The buffer ends with a 0 byte, so this stops at `end_` at the latest; a last line
      // without a terminator is processed like any other.
      p = FindLineEnd(p, end_);
      if (p > line && !comment) {
        if (separator_ == 0 && !Plan(line)) return false;
        std::size_t n = SplitLine(line, static_cast<std::size_t>(p - line), separator_, tokens_);
        if (HeaderLine(tokens_, n, line, p)) return true;
      }
      if (p < end_) ++p;
      if (Aborted(task_)) return false;
      progress_.At(static_cast<std::uint64_t>(p - base_));
    }
    if (!headerFound_) return Provisional() && BarBeforeNul(decidedTo_, end_);
    if (d_.sourceFormat == SOURCE_NONE) return Provisional() && BarBeforeNul(decidedTo_, end_);
    return ParseData(p);
  }

  // Whether the separator "," is taken on trust beyond decidedTo_, to be checked by the parse.
  bool Provisional() const { return separator_ == ',' && decidedTo_ < end_; }

  // Whether a "|" occurs in [from, to) before any 0 byte.
  static bool BarBeforeNul(const char* from, const char* to) {
    if (from >= to) return false;
    const void* bar = std::memchr(from, '|', static_cast<std::size_t>(to - from));
    return bar &&
           !std::memchr(from, 0, static_cast<std::size_t>(static_cast<const char*>(bar) - from));
  }

 private:
  struct Part {
    const char* begin;
    const char* end;
    // Found while parsing, for a provisional separator: the end of the part's first line with
    // a "|", and its first 0 byte.
    const char* barLineEnd = nullptr;
    const char* nul = nullptr;
  };
  static constexpr std::size_t kMaxParts = 256;
  static constexpr std::size_t kSeparatorStretch = std::size_t{64} << 10;
  static constexpr std::size_t kMinPartBytes = std::size_t{16} << 10;

  // Blanks and comment marks before the first byte of a line are not part of it; a comment
  // mark among them drops the whole line. Moves p past them; true for a comment line.
  static bool SkipLineStart(const char*& p, const char* end) {
    bool comment = false;
    for (; p < end; ++p) {
      char c = *p;
      if (c == '#' || c == '/' || c == ';') {
        comment = true;
      } else if (c != ' ' && c != '\t') {
        break;
      }
    }
    return comment;
  }

  // Cuts the file from the first line on into parts that end right after a line end, and
  // decides the separator: "|" when one occurs before the first 0 byte, else ",". Only the
  // first stretch of the file is searched here; beyond it the parse itself watches for "|" and
  // 0 bytes and repeats itself with "|" in the rare file that needs it, so the file is read
  // once. False when the task was cancelled meanwhile.
  bool Plan(const char* first) {
    Cut(first);
    const std::size_t length = static_cast<std::size_t>(end_ - first);
    const std::size_t stretch = std::min(length, kSeparatorStretch);
    const char* bar = static_cast<const char*>(std::memchr(first, '|', stretch));
    const char* nul = static_cast<const char*>(
        std::memchr(first, 0, bar ? static_cast<std::size_t>(bar - first) : stretch));
    separator_ = bar && !nul ? '|' : ',';
    decidedTo_ = bar || nul ? end_ : first + stretch;
    return !Aborted(task_);
  }

  // Parts from `first` to the end, each ending right after a line end, and the threads for them.
  void Cut(const char* first) {
    first_ = first;
    const std::size_t length = static_cast<std::size_t>(end_ - first);
    const std::size_t perThread = std::max<std::size_t>(Tuning().minBytesPerThread, 1);
    threads_ = ThreadsFor(length / perThread);
    // Parts of well under a percent each, so that finished parts report every percent.
    partCount_ = std::clamp<std::size_t>(length / std::min(perThread, kMinPartBytes), 1, kMaxParts);
    const char* begin = first;
    for (std::size_t k = 0; k < partCount_; ++k) {
      const char* cut = end_;
      if (k + 1 < partCount_) {
        cut = std::max(begin, first + length / partCount_ * (k + 1));
        cut = FindLineEnd(cut, end_);
        if (cut < end_) ++cut;
      }
      parts_[k] = Part{begin, cut};
      begin = cut;
    }
  }

  using Records = TrackedBuffer<PoiRecord>;

  // Dropping cameras silently would hand an incomplete table on to the export.
  void NoMemoryForRecords() { AbortWithFailure(task_, STR_FAIL_RECORD_MEMORY, task_.targetPath); }

  // Parses the data lines from `start` (right after the header line) to the end of the file.
  // True when the separator must be "|" after all (see Plan).
  bool ParseData(const char* start) {
    for (std::size_t k = 0; k < partCount_; ++k) {
      Part& part = parts_[k];
      if (part.end <= start) {
        part.begin = part.end;
      } else if (part.begin < start) {
        part.begin = start;
      }
    }
    Records all(context_);
    bool ok = true;
    if (threads_ == 1) {
      // One thread: straight into the store's array, reporting line by line.
      for (std::size_t k = 0; k < partCount_ && ok && !Aborted(task_); ++k)
        ok = ParsePart(parts_[k], all, &progress_);
    } else {
      // Each part into a buffer of its own (one per part that can be under way), appended to
      // the store's array in file order.
      const std::size_t window = std::min<std::size_t>(partCount_, 2 * threads_ + 2);
      TrackedObjects<Records> buffers(context_);
      bool parsed[2 * kMaxThreads + 2];
      const std::size_t dataBytes = static_cast<std::size_t>(end_ - start);
      auto work = [&](std::size_t k, unsigned) {
        buffers[k % window].Clear();
        parsed[k % window] = ParsePart(parts_[k], buffers[k % window], nullptr);
      };
      auto commit = [&](std::size_t k) {
        const Part& part = parts_[k];
        const Records& buffer = buffers[k % window];
        // The first records tell about how many the whole file makes.
        if (all.capacity() == 0 && buffer.size() && part.end > part.begin) {
          const double perByte = double(buffer.size()) / double(part.end - part.begin);
          all.Reserve(static_cast<std::size_t>(perByte * double(dataBytes) * 1.02) + 64);
        }
        ok = parsed[k % window] && all.Reserve(all.size() + buffer.size());
        if (!ok) return false;
        MemPrefault(all.data(), all.size() * sizeof(PoiRecord), buffer.size() * sizeof(PoiRecord));
        all.Append(buffer.data(), buffer.size());  // fits: reserved above
        progress_.At(static_cast<std::uint64_t>(part.end - base_));
        return true;
      };
      ok = buffers.Create(window, context_);
      if (ok)
        RunOrdered(partCount_, threads_, window, work, commit, [&] { return Aborted(task_); });
    }
    if (all.size() > UINT32_MAX) ok = false;
    d_.recordCount = ok ? static_cast<std::uint32_t>(all.size()) : 0;
    d_.records = ok ? all.Release() : nullptr;
    d_.recordsStamp = NextRecordsStamp();
    if (!ok) NoMemoryForRecords();
    return ok && !Aborted(task_) && WrongSeparator(start);
  }

  // After a data phase with a provisional separator: whether the file has a "|" before its
  // first 0 byte after all. The parts noted what they saw; the header phase's lines beyond the
  // stretch that Plan searched are searched here.
  bool WrongSeparator(const char* dataStart) const {
    if (!Provisional()) return false;
    if (dataStart > decidedTo_) {
      const std::size_t n = static_cast<std::size_t>(dataStart - decidedTo_);
      const void* bar = std::memchr(decidedTo_, '|', n);
      const void* nul = std::memchr(decidedTo_, 0, n);
      if (bar && (!nul || bar < nul)) return true;
      if (nul) return false;
    }
    for (std::size_t k = 0; k < partCount_; ++k) {
      const Part& part = parts_[k];
      if (part.barLineEnd && (!part.nul || part.barLineEnd <= part.nul)) return true;
      if (part.nul) return false;
    }
    return false;
  }

  // Appends the records of one part's data lines to `out`. `progress` is given to the one
  // thread of a parse that runs alone, which reports line by line. False when memory ran out.
  bool ParsePart(Part& part, Records& out, ProgressSteps* progress) {
    const bool watch = Provisional();
    const char* p = part.begin;
    while (p < part.end) {
      const bool comment = SkipLineStart(p, part.end);
      if (p == part.end) break;
      const char* line = p;
      if (comment) {
        p = FindLineEnd(p, end_);
        if (watch && !part.barLineEnd && std::memchr(line, '|', static_cast<std::size_t>(p - line)))
          part.barLineEnd = p;
      } else {
        if (out.size() == out.capacity() && !out.Reserve(std::max<std::size_t>(out.size() + 1, 64)))
          return false;
        bool bar;
        PoiRecord* record = out.data() + out.size();
        p = FindLineEnd(line, end_, bar);
        if (p > line && Line(line, p, record)) out.Resize(out.size() + 1);
        if (bar && !part.barLineEnd) part.barLineEnd = p;
      }
      if (p < end_) {
        if (*p == 0 && !part.nul) part.nul = p;
        ++p;
      }
      if (task_.abortFlag.load(std::memory_order_relaxed)) break;
      if (progress) progress->At(static_cast<std::uint64_t>(p - base_));
    }
    return true;
  }

  // Reads a header-phase line. True when the separator must be "|" after all (see Plan).
  bool HeaderLine(const std::string_view* tokens, std::size_t n, const char* line,
                  const char* lineEnd) {
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
      for (std::size_t i = 0; i < kMaxTokens; ++i)
        if (kinds_[i] != ColumnKind::None) lastKind_ = i;
    } else if (hits > 0) {
      // Split at the right separator, this line might name nothing.
      if (Provisional() && BarBeforeNul(decidedTo_, end_)) return true;
      const bool beyond = NamesBeyondLimit(tokens, n, lineEnd);
      AbortWithFailure(task_, beyond ? STR_FAIL_HEADER_COLUMNS : STR_FAIL_HEADER, LineNumber(line),
                       task_.targetPath, named);
    } else if (separator_ == ',' && task_.headerBeyondLine == 0 &&
               NamesBeyondLimit(tokens, n, lineEnd)) {
      // Still no header; should none come, the message names the limit.
      task_.headerBeyondLine = LineNumber(line);
    }
    return false;
  }

  // Whether a comma line names X, Y or TYPE past the columns a header may use (kMaxTokens, as
  // the Windows program reads them).
  bool NamesBeyondLimit(const std::string_view* tokens, std::size_t n, const char* lineEnd) const {
    if (separator_ != ',' || n < kMaxTokens) return false;
    const char* p = tokens[kMaxTokens - 1].data() + tokens[kMaxTokens - 1].size();
    while (p < lineEnd) {
      const char* start = ++p;  // past the separator
      while (p < lineEnd && *p != ',') ++p;
      std::string_view name = HeaderName({start, static_cast<std::size_t>(p - start)});
      for (ColumnKind k : {ColumnKind::X, ColumnKind::Y, ColumnKind::TYPE})
        if (EqualsNoCaseAscii(name, kColumnNames[static_cast<int>(k)])) return true;
    }
    return false;
  }

  // The 1-based number of the line that starts at `line` (CR LF, LF, CR and 0 each end one).
  unsigned LineNumber(const char* line) const {
    unsigned number = 1;
    for (const char* p = d_.fileBytes; p < line; ++p) {
      if (*p == '\n' || *p == 0 || (*p == '\r' && !(p + 1 < line && p[1] == '\n'))) ++number;
    }
    return number;
  }

  // Fills `record` from one data line [p, lineEnd); false when the line makes no record. The
  // line is read as SplitLine's tokens would be, without making them: a column with a kind is
  // converted where it starts, and the token's end is looked for from where the number ended.
  // In a comma table, columns after the last one with a kind are not looked at.
  bool Line(const char* p, const char* lineEnd, PoiRecord* record) const {
    const bool bar = d_.sourceFormat == SOURCE_BAR;
    const std::size_t last = bar ? kMaxTokens - 1 : lastKind_;
    bool made = false;
    ColumnKind tag = ColumnKind::None;
    for (std::size_t i = 0; i <= last; ++i) {
      const char* stop = p;
      ColumnKind kind = kinds_[i];
      if (bar) {
        // "1709" announces that the next token is the speed, "1705" the direction; the
        // announced kind holds for that one token.
        if (tag != ColumnKind::None) {
          kind = tag;
          tag = ColumnKind::None;
        } else if (lineEnd - p >= 4 && (p + 4 == lineEnd || p[4] == '|') && p[0] == '1' &&
                   p[1] == '7' && p[2] == '0' && (p[3] == '9' || p[3] == '5')) {
          tag = p[3] == '9' ? ColumnKind::SPEED : ColumnKind::DIRECTION;
        }
      }
      if (kind != ColumnKind::None) {
        if (!made) {
          std::construct_at(record);
          made = true;
        }
        switch (kind) {
          case ColumnKind::X:
            record->X = Atof(p, lineEnd, stop);
            break;
          case ColumnKind::Y:
            record->Y = Atof(p, lineEnd, stop);
            break;
          case ColumnKind::TYPE:
            record->TYPE = Atoi(p, lineEnd, stop);
            break;
          case ColumnKind::SPEED:
            record->SPEED = Atoi(p, lineEnd, stop);
            break;
          case ColumnKind::DIRTYPE:
            record->DIRTYPE = Atoi(p, lineEnd, stop);
            break;
          case ColumnKind::DIRECTION:
            record->DIRECTION = Atoi(p, lineEnd, stop);
            break;
          case ColumnKind::IDX:
          case ColumnKind::None:
            break;
        }
      }
      while (stop < lineEnd && *stop != separator_) ++stop;
      if (stop == lineEnd) break;
      p = stop + 1;
    }
    return made;
  }

  WorkerTask& task_;
  PoiData& d_;
  CAppContext* context_;
  const char* const base_;
  const char* const end_;
  ProgressSteps progress_;  // reported from the stage's own thread only
  char separator_ = 0;
  bool headerFound_ = false;
  ColumnKind kinds_[kMaxTokens] = {};
  std::size_t lastKind_ = 0;             // the last column with a kind, once the header is found
  std::string_view tokens_[kMaxTokens];  // of the current header-phase line
  Part parts_[kMaxParts];
  std::size_t partCount_ = 0;
  unsigned threads_ = 1;
  const char* first_ = nullptr;      // the first line that is no comment
  const char* decidedTo_ = nullptr;  // the separator is certain for the bytes before this
};

}  // namespace

std::u16string NoTableText(const std::u16string& path, unsigned headerBeyondLine) {
  if (headerBeyondLine != 0) return StrLoad(STR_NO_TABLE_COLUMNS, path, headerBeyondLine);
  return StrLoad(STR_OPEN_NO_TABLE, path);
}

bool ParseSource(WorkerTask& task) {
  PoiData* d = DataOf(task);
  if (!d) return false;
  task.headerBeyondLine = 0;
  if (Aborted(task)) return false;
  ReportProgress(task, 0);
  ReportStatus(task, STR_STATUS_PARSING);
  if (d->osmFormat != 0) {
    ReadOsmSource(task, *d);
  } else {
    Parser(task, *d, task.poiStore->context).Run();
  }
  if (Aborted(task)) return false;
  task.parsedLayout = static_cast<int>(d->sourceFormat);
  return true;
}

}  // namespace tarvik
