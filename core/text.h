#pragma once
// UTF-16 texts: printf-style formatting (locale-independent), the string table, replacement.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "core/app_context.h"
#include "core/tracked_memory.h"

namespace tarvik {

// One printf argument. "%s" takes a UTF-16 string; integers and floating point as usual.
struct FmtArg {
  enum class Kind { Int, UInt, Double, Str } kind;
  union {
    std::int64_t i;
    std::uint64_t u;
    double d;
  };
  std::u16string_view s;

  FmtArg(int v) : kind(Kind::Int), i(v) {}
  FmtArg(long v) : kind(Kind::Int), i(v) {}
  FmtArg(long long v) : kind(Kind::Int), i(v) {}
  FmtArg(unsigned v) : kind(Kind::UInt), u(v) {}
  FmtArg(unsigned long v) : kind(Kind::UInt), u(v) {}
  FmtArg(unsigned long long v) : kind(Kind::UInt), u(v) {}
  FmtArg(double v) : kind(Kind::Double), d(v) {}
  FmtArg(const char16_t* v) : kind(Kind::Str), i(0), s(v ? std::u16string_view(v) : u"(null)") {}
  FmtArg(std::u16string_view v) : kind(Kind::Str), i(0), s(v) {}
  FmtArg(const std::u16string& v) : kind(Kind::Str), i(0), s(v) {}
};

// Formats `format` with the conventions of the program's format strings: flags "-+ 0#",
// width and precision (also "*"), length modifiers h, l, ll, z, j, t, I64, I32, I (ignored:
// the argument carries its own width), conversions d i u x X o c s f F e E g G %.
// "." is the decimal point whatever the locale. Appends to `out`; false when the format
// is malformed or does not match the arguments (`out` then holds what was formatted).
// A conversion may name its argument by position, "%2$s" (and "*2$" for a width or
// precision), so that a translation can reorder them; a format numbers all or none.
bool FormatAppend(std::u16string& out, std::u16string_view format, std::span<const FmtArg> args);
// What the arguments of `format` must be, by position: 'i' an integer, 's' a string, 'f' a
// number, '-' none (a position no conversion uses). Nothing when the format is malformed.
std::optional<std::u16string> FormatArgumentKinds(std::u16string_view format);

// Formatted text in a new tracked block (null on failure or for a null format).
TrackedStr StrFormatV(CAppContext* context, const char16_t* format, std::span<const FmtArg> args);
template <class... A>
TrackedStr StrFormat(CAppContext* context, const char16_t* format, const A&... args) {
  const FmtArg list[] = {FmtArg(args)..., FmtArg(0)};
  return StrFormatV(context, format, std::span<const FmtArg>(list, sizeof...(A)));
}

// String `id` of the string table, cut to 2046 characters and formatted with the arguments.
// Empty when the string is missing or empty, or the formatting fails.
std::u16string StrLoadV(std::uint32_t id, std::span<const FmtArg> args);
template <class... A>
std::u16string StrLoad(std::uint32_t id, const A&... args) {
  const FmtArg list[] = {FmtArg(args)..., FmtArg(0)};
  return StrLoadV(id, std::span<const FmtArg>(list, sizeof...(A)));
}

// Replaces every occurrence of `pattern` in `source` by `replacement`, left to right without
// overlap and without rescanning inserted text, appending the result to the tracked block
// `out` that already holds `outLen` characters. Returns out.get(), or null when any text is
// null; stops at the first allocation failure and returns what it has.
char16_t* StrReplaceAppend(CAppContext* context, const char16_t* source, const char16_t* pattern,
                           const char16_t* replacement, TrackedStr& out, std::int32_t& outLen);

// UTF-8 <-> UTF-16. Invalid UTF-8 bytes become U+FFFD; lone surrogates become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view s);
std::string Utf16ToUtf8(std::u16string_view s);
// Writes `s` as UTF-8 to `out`, which has room for 3 bytes per UTF-16 unit; returns the byte
// count. A lone surrogate becomes U+FFFD.
std::size_t EncodeUtf8(std::u16string_view s, char* out);
// A path as the file system wants it: the bytes it stands for (Utf16ToUtf8KeepingBytes).
std::filesystem::path ToFsPath(std::u16string_view path);
// The same, keeping every byte: a byte outside valid UTF-8 becomes U+DC00 + byte, and back.
// For file names, which are bytes to the system.
std::u16string Utf8ToUtf16KeepingBytes(std::string_view s);
std::string Utf16ToUtf8KeepingBytes(std::u16string_view s);
// True when `s` is well-formed UTF-8.
bool IsValidUtf8(std::string_view s);

// Windows-1251 <-> UTF-16 (the legacy 8-bit code page of Russian systems). Characters that
// the code page lacks become '?'.
std::u16string Cp1251ToUtf16(std::string_view s);
std::string Utf16ToCp1251(std::u16string_view s);

// ASCII-only case-insensitive comparison, as the program's names and keys need.
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);

}  // namespace tarvik
