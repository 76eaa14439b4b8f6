#include "core/text.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>

#include "core/language.h"
#include "core/std_compat.h"
#include "resources/string_table.h"

namespace tarvik {
namespace {

struct Conversion {
  bool left = false, plus = false, space = false, zero = false, alt = false;
  int width = 0;
  int precision = -1;
};

void AppendAscii(std::u16string& out, std::string_view s) {
  for (char c : s) out.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
}

// Pads `body` (already holding sign/prefix + digits) to the field width.
void Emit(std::u16string& out, const Conversion& sp, std::string_view prefix,
          std::string_view digits, bool zeroAllowed) {
  std::size_t len = prefix.size() + digits.size();
  std::size_t pad = sp.width > 0 && static_cast<std::size_t>(sp.width) > len ? sp.width - len : 0;
  if (sp.left) {
    AppendAscii(out, prefix);
    AppendAscii(out, digits);
    out.append(pad, u' ');
  } else if (sp.zero && zeroAllowed) {
    AppendAscii(out, prefix);
    out.append(pad, u'0');
    AppendAscii(out, digits);
  } else {
    out.append(pad, u' ');
    AppendAscii(out, prefix);
    AppendAscii(out, digits);
  }
}

void FormatInteger(std::u16string& out, const Conversion& sp, char conv, bool negative,
                   std::uint64_t magnitude) {
  char buf[72];
  int base = conv == 'x' || conv == 'X' ? 16 : conv == 'o' ? 8 : 10;
  auto r = std::to_chars(buf, buf + sizeof buf, magnitude, base);
  std::string digits(buf, r.ptr);
  if (conv == 'X') std::transform(digits.begin(), digits.end(), digits.begin(), ::toupper);
  if (sp.precision >= 0) {
    if (sp.precision == 0 && magnitude == 0) digits.clear();
    if (digits.size() < static_cast<std::size_t>(sp.precision))
      digits.insert(0, sp.precision - digits.size(), '0');
  }
  std::string prefix;
  if (negative)
    prefix = "-";
  else if (base == 10 && (conv == 'd' || conv == 'i') && sp.plus)
    prefix = "+";
  else if (base == 10 && (conv == 'd' || conv == 'i') && sp.space)
    prefix = " ";
  if (sp.alt && magnitude != 0) {
    if (conv == 'x') prefix += "0x";
    if (conv == 'X') prefix += "0X";
    if (conv == 'o' && (digits.empty() || digits[0] != '0')) digits.insert(0, "0");
  }
  Emit(out, sp, prefix, digits, sp.precision < 0);
}

void FormatDouble(std::u16string& out, const Conversion& sp, char conv, double v) {
  std::string prefix;
  if (std::signbit(v) && !std::isnan(v))
    prefix = "-";
  else if (sp.plus)
    prefix = "+";
  else if (sp.space)
    prefix = " ";
  double a = std::fabs(v);
  bool upper = conv == 'F' || conv == 'E' || conv == 'G';
  if (!std::isfinite(a)) {
    std::string t = std::isnan(a) ? "nan" : "inf";
    if (upper) std::transform(t.begin(), t.end(), t.begin(), ::toupper);
    Emit(out, sp, prefix, t, false);
    return;
  }
  int prec = sp.precision < 0 ? 6 : sp.precision;
  char buf[400];
  std::to_chars_result r;
  char lc = static_cast<char>(std::tolower(conv));
  if (lc == 'f') {
    r = compat::to_chars(buf, buf + sizeof buf, a, std::chars_format::fixed, prec);
  } else if (lc == 'e') {
    r = compat::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, prec);
  } else {
    // %g: choose like printf, trailing zeros removed unless '#'.
    int p = prec == 0 ? 1 : prec;
    int exp = 0;
    if (a != 0) {
      // The exponent after rounding to p digits; the digits need as much room as the result.
      char eb[sizeof buf];
      auto er = compat::to_chars(eb, eb + sizeof eb, a, std::chars_format::scientific, p - 1);
      if (er.ec != std::errc()) {
        Emit(out, sp, prefix, "?", false);
        return;
      }
      const char* e = std::find(eb, er.ptr, 'e');
      std::from_chars(e + 1 + (e[1] == '+'), er.ptr, exp);
    }
    if (p > exp && exp >= -4) {
      r = compat::to_chars(buf, buf + sizeof buf, a, std::chars_format::fixed, p - 1 - exp);
    } else {
      r = compat::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, p - 1);
    }
    if (!sp.alt) {
      char* end = r.ptr;
      char* e = std::find(buf, end, 'e');
      char* dot = std::find(buf, e, '.');
      if (dot != e) {
        char* z = e;
        while (z > dot + 1 && z[-1] == '0') --z;
        if (z == dot + 1) z = dot;
        std::memmove(z, e, end - e);
        r.ptr = z + (end - e);
      }
    }
  }
  if (r.ec != std::errc()) {
    Emit(out, sp, prefix, "?", false);
    return;
  }
  std::string digits(buf, r.ptr);
  // C prints at least two exponent digits: to_chars already does ("1e+05").
  if (sp.alt && prec == 0 && lc != 'g' && digits.find('.') == std::string::npos) {
    auto e = digits.find('e');
    digits.insert(e == std::string::npos ? digits.size() : e, ".");
  }
  if (upper) std::transform(digits.begin(), digits.end(), digits.begin(), ::toupper);
  Emit(out, sp, prefix, digits, true);
}

}  // namespace

namespace {

// What a conversion takes: an integer (also "*" and %c), a string, any number.
enum class Want : char { Int = 'i', Str = 's', Num = 'f' };

// The arguments of one formatting, taken in turn ("%s") or by position ("%2$s", "*2$"); a
// format uses one way or the other. With `kinds`, no argument is read: each conversion
// records what it takes at its position ("-" where none does) and gets a stand-in.
class ArgSource {
 public:
  ArgSource(std::span<const FmtArg> args, std::u16string* kinds) : args_(args), kinds_(kinds) {}

  // Argument `position` (1-based; 0 for the next one) when it is what `want` asks for.
  const FmtArg* Take(int position, Want want) {
    if ((position > 0 ? Mode::Positional : Mode::InTurn) != mode_ && mode_ != Mode::Unknown)
      return nullptr;
    mode_ = position > 0 ? Mode::Positional : Mode::InTurn;
    const std::size_t index = position > 0 ? static_cast<std::size_t>(position - 1) : next_++;
    if (kinds_) {
      if (kinds_->size() <= index) kinds_->resize(index + 1, u'-');
      char16_t& k = (*kinds_)[index];
      if (k != u'-' && k != static_cast<char16_t>(want)) return nullptr;
      k = static_cast<char16_t>(want);
      static const FmtArg stand[] = {FmtArg(0), FmtArg(u""), FmtArg(0.0)};
      return &stand[want == Want::Int ? 0 : want == Want::Str ? 1 : 2];
    }
    if (index >= args_.size()) return nullptr;
    const FmtArg* a = &args_[index];
    const bool fits = want == Want::Str ? a->kind == FmtArg::Kind::Str
                      : want == Want::Int
                          ? a->kind == FmtArg::Kind::Int || a->kind == FmtArg::Kind::UInt
                          : a->kind != FmtArg::Kind::Str;
    return fits ? a : nullptr;
  }

 private:
  enum class Mode { Unknown, InTurn, Positional };
  std::span<const FmtArg> args_;
  std::u16string* kinds_;
  Mode mode_ = Mode::Unknown;
  std::size_t next_ = 0;
};

// Reads "N$" at f[i] (a position, 1 to 99) and moves past it; 0 and i unchanged when there
// is none.
int Position(std::u16string_view f, std::size_t& i) {
  std::size_t j = i;
  int n = 0;
  while (j < f.size() && f[j] >= u'0' && f[j] <= u'9' && n < 100) n = n * 10 + (f[j++] - u'0');
  if (j == i || j >= f.size() || f[j] != u'$' || n < 1 || n > 99) return 0;
  i = j + 1;
  return n;
}

bool Format(std::u16string& out, std::u16string_view f, ArgSource& source) {
  for (std::size_t i = 0; i < f.size(); ++i) {
    char16_t c = f[i];
    if (c != u'%') {
      out.push_back(c);
      continue;
    }
    if (++i >= f.size()) return false;
    if (f[i] == u'%') {
      out.push_back(u'%');
      continue;
    }
    const int position = Position(f, i);
    Conversion sp;
    for (; i < f.size(); ++i) {
      char16_t fl = f[i];
      if (fl == u'-')
        sp.left = true;
      else if (fl == u'+')
        sp.plus = true;
      else if (fl == u' ')
        sp.space = true;
      else if (fl == u'0')
        sp.zero = true;
      else if (fl == u'#')
        sp.alt = true;
      else
        break;
    }
    auto number = [&](int& v) {
      if (i < f.size() && f[i] == u'*') {
        ++i;
        const FmtArg* a = source.Take(Position(f, i), Want::Int);
        if (!a) return false;
        v = static_cast<int>(a->i);
        return true;
      }
      v = 0;
      while (i < f.size() && f[i] >= u'0' && f[i] <= u'9') {
        if (v > 100000) return false;
        v = v * 10 + (f[i++] - u'0');
      }
      return true;
    };
    if (!number(sp.width)) return false;
    if (sp.width < 0) {
      sp.left = true;
      sp.width = -sp.width;
    }
    if (i < f.size() && f[i] == u'.') {
      ++i;
      if (!number(sp.precision)) return false;
      if (sp.precision < 0) sp.precision = -1;
    }
    // Length modifiers: the argument knows its own width.
    if (f.substr(i, 3) == u"I64" || f.substr(i, 3) == u"I32")
      i += 3;
    else if (i < f.size() && f[i] == u'I')
      ++i;
    while (i < f.size() && (f[i] == u'h' || f[i] == u'l' || f[i] == u'z' || f[i] == u'j' ||
                            f[i] == u't' || f[i] == u'L' || f[i] == u'w'))
      ++i;
    if (i >= f.size()) return false;
    char conv = static_cast<char>(f[i]);
    const FmtArg* a;
    switch (conv) {
      case 'd':
      case 'i':
      case 'u':
      case 'x':
      case 'X':
      case 'o': {
        if (!(a = source.Take(position, Want::Int))) return false;
        bool neg = false;
        std::uint64_t mag = a->u;
        if (conv == 'd' || conv == 'i') {
          if (a->kind == FmtArg::Kind::Int && a->i < 0) {
            neg = true;
            mag = 0 - static_cast<std::uint64_t>(a->i);
          }
        } else if (a->kind == FmtArg::Kind::Int && a->i < 0) {
          mag = static_cast<std::uint64_t>(a->i);
        }
        FormatInteger(out, sp, conv, neg, mag);
        break;
      }
      case 'c': {
        if (!(a = source.Take(position, Want::Int))) return false;
        std::size_t pad = sp.width > 1 ? sp.width - 1 : 0;
        if (!sp.left) out.append(pad, u' ');
        out.push_back(static_cast<char16_t>(a->u));
        if (sp.left) out.append(pad, u' ');
        break;
      }
      case 's': {
        if (!(a = source.Take(position, Want::Str))) return false;
        std::u16string_view s = a->s;
        if (sp.precision >= 0 && s.size() > static_cast<std::size_t>(sp.precision))
          s = s.substr(0, sp.precision);
        std::size_t pad =
            sp.width > 0 && static_cast<std::size_t>(sp.width) > s.size() ? sp.width - s.size() : 0;
        if (!sp.left) out.append(pad, u' ');
        out += s;
        if (sp.left) out.append(pad, u' ');
        break;
      }
      case 'f':
      case 'F':
      case 'e':
      case 'E':
      case 'g':
      case 'G': {
        if (!(a = source.Take(position, Want::Num))) return false;
        double v = a->kind == FmtArg::Kind::Double ? a->d
                   : a->kind == FmtArg::Kind::Int  ? static_cast<double>(a->i)
                                                   : static_cast<double>(a->u);
        FormatDouble(out, sp, conv, v);
        break;
      }
      default:
        return false;
    }
  }
  return true;
}

}  // namespace

bool FormatAppend(std::u16string& out, std::u16string_view f, std::span<const FmtArg> args) {
  ArgSource source(args, nullptr);
  return Format(out, f, source);
}

std::optional<std::u16string> FormatArgumentKinds(std::u16string_view format) {
  std::u16string kinds, scratch;
  ArgSource source({}, &kinds);
  if (!Format(scratch, format, source)) return std::nullopt;
  return kinds;
}

TrackedStr StrFormatV(CAppContext* context, const char16_t* format, std::span<const FmtArg> args) {
  TrackedStr result(nullptr, TrackedDeleter{context});
  if (!format) return result;
  std::u16string text;
  if (!FormatAppend(text, format, args)) return result;
  std::size_t capacity = text.size() + 1;
  auto* p = static_cast<char16_t*>(MemAlloc(context, 2 * capacity));
  if (!p) return result;
  std::memcpy(p, text.data(), 2 * text.size());
  p[text.size()] = 0;
  result.reset(p);
  return result;
}

const char16_t* FindString(std::uint32_t id, Language language) {
  const StringTableEntry* end = kStringTable + kStringTableSize;
  const StringTableEntry* e = std::lower_bound(
      kStringTable, end, id, [](const StringTableEntry& a, std::uint32_t v) { return a.id < v; });
  if (e == end || e->id != id) return nullptr;
  return language == Language::English && e->en ? e->en : e->ru;
}

const char16_t* FindString(std::uint32_t id) {
  return FindString(id, CurrentLanguage());
}

std::u16string StrLoadV(std::uint32_t id, std::span<const FmtArg> args) {
  const char16_t* raw = FindString(id);
  if (!raw || !*raw) return {};
  std::u16string_view text(raw);
  if (text.size() > 2046) text = text.substr(0, 2046);
  std::u16string out;
  if (!FormatAppend(out, text, args)) return {};
  return out;
}

char16_t* StrReplaceAppend(CAppContext* context, const char16_t* source, const char16_t* pattern,
                           const char16_t* replacement, TrackedStr& out, std::int32_t& outLen) {
  if (!source || !pattern || !replacement) return nullptr;
  std::u16string_view src(source), pat(pattern), rep(replacement);
  if (!out) {
    out.get_deleter().context = context;
    outLen = 0;
  }
  // Appends `a` then `b` to the output, growing it to exactly what the copy needs
  // (plus `extra` characters of room).
  auto append = [&](std::u16string_view a, std::u16string_view b, std::size_t extra) {
    std::size_t need = a.size() + b.size();
    if (need + extra == 0) return true;  // nothing to copy: no block needed yet
    std::size_t bytes = 2 * (static_cast<std::size_t>(outLen) + need + extra);
    char16_t* block;
    if (!out) {
      block = static_cast<char16_t*>(MemAlloc(context, bytes));
    } else {
      block = static_cast<char16_t*>(MemRealloc(context, out.get(), bytes));
    }
    if (!block) return false;
    if (block != out.get()) {
      (void)out.release();  // realloc already moved or freed the old block
      out.reset(block);
    }
    // An empty view may have a null data pointer, which memcpy must not get.
    if (!a.empty()) std::memcpy(block + outLen, a.data(), 2 * a.size());
    if (!b.empty()) std::memcpy(block + outLen + a.size(), b.data(), 2 * b.size());
    outLen += static_cast<std::int32_t>(need);
    return true;
  };
  if (!pat.empty()) {
    for (;;) {
      std::size_t p = src.find(pat);
      if (p == std::u16string_view::npos) break;
      if (!append(src.substr(0, p), rep, 0)) return out.get();
      src.remove_prefix(p + pat.size());
    }
  }
  if (!append(src, {}, 1)) return out.get();
  out[outLen] = 0;
  return out.get();
}

// ---- Encodings ----

// Decodes one code point at s[i]; false for a malformed, overlong or surrogate sequence.
static bool DecodeUtf8(std::string_view s, std::size_t i, std::uint32_t& cp, std::size_t& len) {
  unsigned char c = s[i];
  if (c < 0x80) {
    cp = c;
    len = 1;
    return true;
  }
  std::size_t n;
  if ((c & 0xE0) == 0xC0)
    n = 1, cp = c & 0x1F;
  else if ((c & 0xF0) == 0xE0)
    n = 2, cp = c & 0x0F;
  else if ((c & 0xF8) == 0xF0)
    n = 3, cp = c & 0x07;
  else
    return false;
  if (n >= s.size() - i) return false;
  for (std::size_t k = 1; k <= n; ++k) {
    unsigned char cc = s[i + k];
    if ((cc & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (cc & 0x3F);
  }
  if ((n == 1 && cp < 0x80) || (n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) ||
      cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
    return false;
  len = n + 1;
  return true;
}

bool IsValidUtf8(std::string_view s) {
  std::uint32_t cp;
  std::size_t len;
  for (std::size_t i = 0; i < s.size(); i += len)
    if (!DecodeUtf8(s, i, cp, len)) return false;
  return true;
}

namespace {

// UTF-8 to UTF-16; a byte outside valid UTF-8 becomes U+FFFD, or U+DC00 + byte with `keepBytes`.
std::u16string DecodeUtf8Text(std::string_view s, bool keepBytes) {
  std::u16string out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    std::uint32_t cp;
    std::size_t len;
    if (!DecodeUtf8(s, i, cp, len)) {
      out.push_back(keepBytes ? static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(s[i]))
                              : u'\uFFFD');
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view s) {
  return DecodeUtf8Text(s, false);
}

std::u16string Utf8ToUtf16KeepingBytes(std::string_view s) {
  return DecodeUtf8Text(s, true);
}

std::string Utf16ToUtf8KeepingBytes(std::u16string_view s) {
  std::string out(3 * s.size(), '\0');
  char* o = out.data();
  std::size_t run = 0;  // the first unit not written yet
  for (std::size_t i = 0; i < s.size(); ++i) {
    // A low surrogate of U+DC80..U+DCFF that no high one precedes stands for a byte.
    const bool paired = i > 0 && s[i - 1] >= 0xD800 && s[i - 1] <= 0xDBFF;
    if (s[i] < 0xDC80 || s[i] > 0xDCFF || paired) continue;
    o += EncodeUtf8(s.substr(run, i - run), o);
    *o++ = static_cast<char>(s[i] - 0xDC00);
    run = i + 1;
  }
  o += EncodeUtf8(s.substr(run), o);
  out.resize(static_cast<std::size_t>(o - out.data()));
  return out;
}

std::filesystem::path ToFsPath(std::u16string_view path) {
#ifdef _WIN32
  return std::filesystem::path(std::wstring(path.begin(), path.end()));
#else
  return std::filesystem::path(Utf16ToUtf8KeepingBytes(path));
#endif
}

std::size_t EncodeUtf8(std::u16string_view s, char* out) {
  char* o = out;
  const std::size_t n = s.size();
  for (std::size_t i = 0; i < n; ++i) {
    std::uint32_t c = s[i];
    // Runs of ASCII, the bulk of most texts, without the other tests.
    while (c < 0x80) {
      *o++ = static_cast<char>(c);
      if (++i == n) return static_cast<std::size_t>(o - out);
      c = s[i];
    }
    if (c < 0x800) {
      *o++ = static_cast<char>(0xC0 | (c >> 6));
      *o++ = static_cast<char>(0x80 | (c & 0x3F));
      continue;
    }
    if (c >= 0xD800 && c <= 0xDFFF) {
      if (c <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
        *o++ = static_cast<char>(0xF0 | (c >> 18));
        *o++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *o++ = static_cast<char>(0x80 | (c & 0x3F));
        continue;
      }
      c = 0xFFFD;  // a lone half
    }
    *o++ = static_cast<char>(0xE0 | (c >> 12));
    *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *o++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return static_cast<std::size_t>(o - out);
}

std::string Utf16ToUtf8(std::u16string_view s) {
  std::string out(3 * s.size(), '\0');
  out.resize(EncodeUtf8(s, out.data()));
  return out;
}

namespace {

// One iconv conversion descriptor per direction, opened on first use.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

}  // namespace

std::u16string Cp1251ToUtf16(std::string_view s) {
  // Every byte of Windows-1251 but 0x98 maps to one character; 0x98 becomes U+FFFD.
  thread_local Iconv cd("UTF-16LE", "CP1251");
  std::u16string out;
  out.reserve(s.size());
  for (unsigned char c : s) {
    if (c < 0x80) {
      out.push_back(c);
      continue;
    }
    char in = static_cast<char>(c);
    char buf[4];
    char* ip = &in;
    char* op = buf;
    std::size_t il = 1, ol = sizeof buf;
    // Only an exact conversion counts: iconv returns the characters it replaced (musl puts a
    // '*' for what the code page lacks where glibc fails).
    if (cd.ok() && iconv(cd.get(), &ip, &il, &op, &ol) == 0 && ol == 2) {
      out.push_back(static_cast<char16_t>(static_cast<unsigned char>(buf[0]) |
                                          (static_cast<unsigned char>(buf[1]) << 8)));
    } else {
      if (cd.ok()) iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
      out.push_back(0xFFFD);
    }
  }
  return out;
}

std::string Utf16ToCp1251(std::u16string_view s) {
  thread_local Iconv cd("CP1251", "UTF-16LE");
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    char16_t c = s[i];
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    if (c >= 0xD800 && c <= 0xDFFF) {
      // A pair (or a lone half) has no place in an 8-bit code page: one '?' for it.
      if (c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) ++i;
      out.push_back('?');
      continue;
    }
    char in[2] = {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    char buf[4];
    char* ip = in;
    char* op = buf;
    std::size_t il = 2, ol = sizeof buf;
    if (cd.ok() && iconv(cd.get(), &ip, &il, &op, &ol) == 0 && ol == 3) {  // exact only, as above
      out.push_back(buf[0]);
    } else {
      if (cd.ok()) iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
      out.push_back('?');
    }
  }
  return out;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'a' && x <= u'z') x -= 32;
    if (y >= u'a' && y <= u'z') y -= 32;
    if (x != y) return false;
  }
  return true;
}

}  // namespace tarvik
