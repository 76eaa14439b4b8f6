#include "params/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#include "core/platform_files.h"
#include "core/std_compat.h"
#include "core/text.h"

namespace tarvik {
namespace {

// A settings file is a few hundred KiB at most; anything far larger is not one of ours and
// is refused rather than read into memory.
constexpr std::uint64_t kMaxFileSize = 64u << 20;

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

std::u16string_view Trim(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// Case folding for names: ASCII and the Cyrillic alphabet, the letters names are made of.
char16_t FoldChar(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 32);
  if (c >= 0x0410 && c <= 0x042F) return static_cast<char16_t>(c + 32);
  if (c >= 0x0400 && c <= 0x040F) return static_cast<char16_t>(c + 80);
  return c;
}

// Parses a key line: false for comments and lines without "=".
bool SplitKeyLine(std::u16string_view line, std::u16string_view& key, std::u16string_view& value) {
  std::u16string_view t = Trim(line);
  if (t.empty() || t.front() == u';' || t.front() == u'[') return false;
  std::size_t eq = t.find(u'=');
  if (eq == std::u16string_view::npos) return false;
  key = Trim(t.substr(0, eq));
  value = Trim(t.substr(eq + 1));
  // Matching single or double quotes go, as on Windows.
  if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
      value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return true;
}

// The name of a section header line, or false when the line is none.
bool HeaderName(std::u16string_view line, std::u16string_view& name) {
  std::u16string_view t = Trim(line);
  if (t.empty() || t.front() != u'[') return false;
  t.remove_prefix(1);
  std::size_t close = t.find(u']');
  if (close != std::u16string_view::npos) t = t.substr(0, close);
  name = Trim(t);
  return true;
}

// A value as written: line breaks would split the file, so they become blanks; blanks at the
// ends, or quotes around the whole value, would be lost on reading, so such a value is quoted.
void AppendWritableValue(std::u16string& out, std::u16string_view v) {
  auto blankAfterSanitizing = [](char16_t c) {
    return IsBlank(c) || c == u'\r' || c == u'\n' || c == 0;
  };
  bool edgeBlank =
      !v.empty() && (blankAfterSanitizing(v.front()) || blankAfterSanitizing(v.back()));
  bool quoted = v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front();
  bool quote = edgeBlank || quoted;
  if (quote) out += u'"';
  for (char16_t c : v) out += c == u'\r' || c == u'\n' || c == 0 ? u' ' : c;
  if (quote) out += u'"';
}

void AppendStruct(std::u16string& out, const void* source, std::size_t size) {
  static const char16_t kHex[] = u"0123456789ABCDEF";
  const auto* b = static_cast<const unsigned char*>(source);
  unsigned sum = 0;
  for (std::size_t i = 0; i < size; ++i) {
    out += kHex[b[i] >> 4];
    out += kHex[b[i] & 15];
    sum += b[i];
  }
  out += kHex[(sum >> 4) & 15];
  out += kHex[sum & 15];
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}

// UTF-8 to UTF-16 in one pass, with a fast path for ASCII (most of a settings file). False
// at the first malformed sequence (overlong forms, surrogates and values above U+10FFFF
// included), so the caller can read the bytes as Windows-1251 instead.
bool DecodeUtf8Strict(std::string_view in, std::u16string& out) {
  out.resize(in.size());  // never more UTF-16 units than bytes
  char16_t* o = out.data();
  const auto* p = reinterpret_cast<const unsigned char*>(in.data());
  const auto* end = p + in.size();
  while (p < end) {
    unsigned c = *p;
    if (c < 0x80) {
      *o++ = static_cast<char16_t>(c);
      ++p;
      continue;
    }
    std::size_t len;
    std::uint32_t cp, min;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2, cp = c & 0x1F, min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3, cp = c & 0x0F, min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4, cp = c & 0x07, min = 0x10000;
    } else {
      return false;
    }
    if (static_cast<std::size_t>(end - p) < len) return false;
    for (std::size_t k = 1; k < len; ++k) {
      if ((p[k] & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (p[k] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      *o++ = static_cast<char16_t>(0xD800 + (cp >> 10));
      *o++ = static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      *o++ = static_cast<char16_t>(cp);
    }
    p += len;
  }
  out.resize(static_cast<std::size_t>(o - out.data()));
  return true;
}

#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif

// Reads a whole file. 0 on success, ENOENT when it does not exist, else the reason.
int ReadWholeFile(const std::filesystem::path& path, std::string& bytes) {
  if (int e = platform::FileFault(platform::FileStep::Read)) return e;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat st {};
  int result = 0;
  if (::fstat(fd, &st) != 0) {
    result = errno;
  } else if (S_ISDIR(st.st_mode)) {
    result = EISDIR;
  } else if (static_cast<std::uint64_t>(st.st_size) > kMaxFileSize) {
    result = EFBIG;
  } else {
    // Read straight into the string, sized for the file (one more byte shows its end; a file
    // that grows meanwhile is read on in 64 KiB steps).
    std::size_t have = 0;
    bytes.resize(static_cast<std::size_t>(st.st_size) + 1);
    for (;;) {
      if (have == bytes.size()) bytes.resize(have + 65536);
      ssize_t n = ::read(fd, bytes.data() + have, bytes.size() - have);
      if (n < 0) {
        if (errno == EINTR) continue;
        result = errno;
        break;
      }
      if (n == 0) break;
      have += static_cast<std::size_t>(n);
      if (have > kMaxFileSize) {
        result = EFBIG;
        break;
      }
    }
    bytes.resize(std::min(have, bytes.size()));
  }
  ::close(fd);
  return result;
}

// Writes `bytes` as the file at `target` in one step (see platform::ReplacingFile).
// 0 on success, else the reason; on failure `target` is untouched and nothing is left beside.
int ReplaceFile(const std::filesystem::path& target, const std::string& bytes, bool replace) {
  platform::ReplacingFile file;
  int e = file.Open(target.native(), replace);
  if (e == 0) e = file.Write(bytes.data(), bytes.size());
  if (e == 0) e = file.Commit();
  return e;
}

}  // namespace

std::u16string DecodeIniBytes(std::string_view bytes, IniEncoding& encoding) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  if (bytes.size() >= 2 &&
      ((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF))) {
    bool little = byte(0) == 0xFF;
    encoding = IniEncoding::Utf16Le;
    std::u16string out((bytes.size() - 2) / 2, u'\0');
    const int lo = little ? 0 : 1;
    for (std::size_t k = 0, i = 2; k < out.size(); ++k, i += 2)
      out[k] = static_cast<char16_t>(byte(i + lo) | (byte(i + 1 - lo) << 8));
    return out;
  }
  if (bytes.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
    encoding = IniEncoding::Utf8Bom;
    std::u16string out;
    // Damaged bytes after a UTF-8 mark still read, as replacement characters.
    if (!DecodeUtf8Strict(bytes.substr(3), out)) out = Utf8ToUtf16(bytes.substr(3));
    return out;
  }
  std::u16string out;
  if (DecodeUtf8Strict(bytes, out)) {
    encoding = IniEncoding::Utf8;
    return out;
  }
  encoding = IniEncoding::Cp1251;
  return Cp1251ToUtf16(bytes);
}

std::string EncodeIniText(std::u16string_view text) {
  std::string out(2 + text.size() * 2, '\0');
  out[0] = '\xFF';
  out[1] = '\xFE';
  char* o = out.data() + 2;
  for (char16_t c : text) {
    *o++ = static_cast<char>(c & 0xFF);
    *o++ = static_cast<char>(c >> 8);
  }
  return out;
}

std::u16string EncodeStruct(const void* source, std::size_t size) {
  std::u16string out;
  out.reserve(2 * size + 2);
  AppendStruct(out, source, size);
  return out;
}

bool DecodeStruct(std::u16string_view value, void* dest, std::size_t size) {
  if (value.size() != 2 * size + 2) return false;
  unsigned char buf[256];
  if (size > sizeof buf) return false;
  unsigned sum = 0;
  for (std::size_t i = 0; i <= size; ++i) {
    int hi = HexDigit(value[2 * i]), lo = HexDigit(value[2 * i + 1]);
    if (hi < 0 || lo < 0) return false;
    unsigned b = static_cast<unsigned>(hi * 16 + lo);
    if (i < size) {
      buf[i] = static_cast<unsigned char>(b);
      sum += b;
    } else if ((sum & 0xFF) != b) {
      return false;
    }
  }
  if (size) std::memcpy(dest, buf, size);
  return true;
}

std::size_t IniFile::NameHash::operator()(std::u16string_view s) const {
  std::size_t h = static_cast<std::size_t>(1469598103934665603ull);
  for (char16_t c : s) h = (h ^ FoldChar(c)) * 1099511628211ull;
  return h;
}

bool IniFile::NameEq::operator()(std::u16string_view a, std::u16string_view b) const noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (FoldChar(a[i]) != FoldChar(b[i])) return false;
  return true;
}

IniFile::IniFile() {
  Reset();
}

void IniFile::Reset() {
  sections_.clear();
  sections_.push_back(std::make_unique<Section>());
  index_.clear();
  arena_.clear();
  text_.reset();
  arenaPos_ = nullptr;
  arenaLeft_ = 0;
}

std::u16string_view IniFile::Store(std::u16string_view text) {
  constexpr std::size_t kBlock = 32768;
  if (text.size() > arenaLeft_) {
    std::size_t size = std::max(kBlock, text.size());
    arena_.push_back(compat::make_unique_for_overwrite<char16_t[]>(size));
    arenaPos_ = arena_.back().get();
    arenaLeft_ = size;
  }
  char16_t* at = arenaPos_;
  std::copy(text.begin(), text.end(), at);
  arenaPos_ += text.size();
  arenaLeft_ -= text.size();
  return {at, text.size()};
}

void IniFile::Parse(std::string_view bytes, std::span<const std::u16string_view> drop) {
  Reset();
  // The decoded text becomes one arena block; lines are views into it.
  text_ = std::make_unique<const std::u16string>(DecodeIniBytes(bytes, encoding_));
  std::u16string_view rest = *text_;
  Section* s = sections_.back().get();
  bool dropping = false;
  while (!rest.empty()) {
    std::size_t end = 0;
    while (end < rest.size() && rest[end] != u'\r' && rest[end] != u'\n') ++end;
    std::u16string_view line = rest.substr(0, end);
    if (end == rest.size()) {
      rest = {};
    } else {
      // CR LF, LF or a lone CR end a line.
      bool crlf = rest[end] == u'\r' && end + 1 < rest.size() && rest[end + 1] == u'\n';
      rest.remove_prefix(end + (crlf ? 2 : 1));
    }
    std::u16string_view name;
    if (HeaderName(line, name)) {
      dropping = false;
      for (std::u16string_view d : drop) dropping = dropping || NameEq()(name, d);
      if (dropping) continue;
      auto next = std::make_unique<Section>();
      next->name = std::u16string(name);
      next->header = std::u16string(line);
      sections_.push_back(std::move(next));
      s = sections_.back().get();
      continue;
    }
    if (dropping) continue;
    if (Trim(line).empty()) {
      s->trailing.push_back(line);
      continue;
    }
    s->lines.insert(s->lines.end(), s->trailing.begin(), s->trailing.end());
    s->trailing.clear();
    s->lines.push_back(line);
  }
  for (std::size_t i = 1; i < sections_.size(); ++i) {
    Section& sec = *sections_[i];
    sec.keys.reserve(sec.lines.size());
    for (std::size_t j = 0; j < sec.lines.size(); ++j) {
      std::u16string_view key, value;
      if (SplitKeyLine(sec.lines[j], key, value)) sec.keys.emplace(key, j);
    }
  }
  Reindex();
}

void IniFile::Reindex() {
  index_.clear();
  for (std::size_t i = 1; i < sections_.size(); ++i)
    index_.emplace(std::u16string_view(sections_[i]->name), i);
}

bool IniFile::Load(std::u16string_view path, std::span<const std::u16string_view> drop) {
  Reset();
  encoding_ = IniEncoding::Utf8;
  existed_ = false;
  error_ = 0;
  if (path.empty()) {
    error_ = ENOENT;
    return false;
  }
  std::string bytes;
  int e = ReadWholeFile(ToFsPath(path), bytes);
  if (e == ENOENT) return true;
  if (e != 0) {
    error_ = e;
    return false;
  }
  existed_ = true;
  Parse(bytes, drop);
  return true;
}

std::string IniFile::Serialize() const {
  std::size_t size = 0;
  for (const auto& s : sections_) {
    size += s->header.size() + 2;
    for (const auto& line : s->lines) size += line.size() + 2;
    for (const auto& line : s->trailing) size += line.size() + 2;
  }
  std::u16string text;
  text.reserve(size);
  auto put = [&](std::u16string_view line) {
    text += line;
    text += u"\r\n";
  };
  for (std::size_t i = 0; i < sections_.size(); ++i) {
    const Section& s = *sections_[i];
    if (i > 0) put(s.header);
    for (const auto& line : s.lines) put(line);
    for (const auto& line : s.trailing) put(line);
  }
  return EncodeIniText(text);
}

bool IniFile::Save(std::u16string_view path, bool replace) {
  error_ = 0;
  if (path.empty()) {
    error_ = ENOENT;
    return false;
  }
  error_ = ReplaceFile(ToFsPath(path), Serialize(), replace);
  if (error_ != 0) return false;
  existed_ = true;
  return true;
}

const IniFile::Section* IniFile::FindSection(std::u16string_view name) const {
  auto it = index_.find(Trim(name));
  return it == index_.end() ? nullptr : sections_[it->second].get();
}

IniFile::Section* IniFile::FindOrAddSection(std::u16string_view name) {
  name = Trim(name);
  auto it = index_.find(name);
  if (it != index_.end()) return sections_[it->second].get();
  auto s = std::make_unique<Section>();
  s->name = std::u16string(name);
  s->header = u"[" + s->name + u"]";
  sections_.push_back(std::move(s));
  index_.emplace(std::u16string_view(sections_.back()->name), sections_.size() - 1);
  return sections_.back().get();
}

std::size_t IniFile::KeyCount(std::u16string_view section) const {
  const Section* s = FindSection(section);
  return s ? s->keys.size() : 0;
}

bool IniFile::GetValue(std::u16string_view section, std::u16string_view key,
                       std::u16string_view& value) const {
  const Section* s = FindSection(section);
  if (!s) return false;
  auto it = s->keys.find(Trim(key));
  if (it == s->keys.end()) return false;
  std::u16string_view k;
  return SplitKeyLine(s->lines[it->second], k, value);
}

bool IniFile::GetStruct(std::u16string_view section, std::u16string_view key, void* dest,
                        std::size_t size) const {
  std::u16string_view value;
  return GetValue(section, key, value) && DecodeStruct(value, dest, size);
}

std::size_t IniFile::GetString(std::u16string_view section, std::u16string_view key, char16_t* dest,
                               std::size_t capacity) const {
  if (!dest || capacity == 0) return 0;
  std::u16string_view value;
  if (!GetValue(section, key, value)) value = {};
  std::size_t n = std::min(value.size(), capacity - 1);
  // Never keep half of a surrogate pair: it would turn into a replacement character.
  if (n < value.size() && n > 0 && value[n - 1] >= 0xD800 && value[n - 1] <= 0xDBFF &&
      value[n] >= 0xDC00 && value[n] <= 0xDFFF)
    --n;
  std::copy(value.begin(), value.begin() + n, dest);
  dest[n] = 0;
  return n;
}

void IniFile::SetLine(std::u16string_view section, std::size_t keySize) {
  Section* s = FindOrAddSection(section);
  std::u16string_view line = Store(scratch_);
  std::u16string_view key = line.substr(0, keySize);
  auto it = s->keys.find(key);
  std::size_t at;
  if (it != s->keys.end()) {
    at = it->second;
    s->keys.erase(it);
    s->lines[at] = line;
  } else {
    at = s->lines.size();
    s->lines.push_back(line);
  }
  s->keys.emplace(key, at);
}

void IniFile::WriteStruct(std::u16string_view section, std::u16string_view key, const void* source,
                          std::size_t size) {
  key = Trim(key);
  scratch_.assign(key);
  scratch_ += u'=';
  AppendStruct(scratch_, source, size);
  SetLine(section, key.size());
}

void IniFile::WriteString(std::u16string_view section, std::u16string_view key,
                          std::u16string_view text) {
  key = Trim(key);
  scratch_.assign(key);
  scratch_ += u'=';
  AppendWritableValue(scratch_, text);
  SetLine(section, key.size());
}

void IniFile::RemoveSection(std::u16string_view section) {
  section = Trim(section);
  // Every section of that name goes: a second one left behind would be read in its place.
  std::size_t before = sections_.size();
  for (std::size_t i = sections_.size(); i-- > 1;)
    if (NameEq()(sections_[i]->name, section)) sections_.erase(sections_.begin() + i);
  if (sections_.size() != before) Reindex();
}

std::vector<std::u16string> IniFile::SectionNames() const {
  std::vector<std::u16string> names;
  for (std::size_t i = 1; i < sections_.size(); ++i) names.push_back(sections_[i]->name);
  return names;
}

bool ReadSeed(std::u16string_view path, std::int64_t& seed) {
  IniFile ini;
  std::int64_t v = 0;
  // The parameter sets are the bulk of the file (megabytes with many areas) and hold no seed.
  constexpr std::u16string_view kSets[] = {u"Filter", u"Schema", u"Export"};
  if (!ini.Load(path, kSets) || !ini.GetStruct(u"Core", u"Seed", &v, sizeof v)) return false;
  seed = v;
  return true;
}

bool WriteSeed(std::u16string_view path, std::int64_t seed, int* err) {
  IniFile ini;
  bool ok = ini.Load(path);
  if (ok) {
    ini.WriteStruct(u"Core", u"Seed", &seed, sizeof seed);
    ok = ini.Save(path);
  }
  if (!ok && err) *err = ini.error();
  return ok;
}

}  // namespace tarvik
