#pragma once
// Pieces of the C++20 library that older standard libraries lack, for the engine to use
// through one name: std's own where the library has them, else ours. Debian's libc++ 14 (the
// browser build) has no floating-point to_chars/from_chars and no make_unique_for_overwrite.
#include <charconv>
#include <cstddef>
#include <memory>
#include <type_traits>

namespace tarvik::compat {

using std::from_chars;
using std::to_chars;

// std::to_chars with a precision ("as printf would") through the C library's printf, which
// rounds exactly, into the caller's range; decimal formats only.
std::to_chars_result PrintfToChars(char* first, char* last, double value, std::chars_format format,
                                   int precision);
// std::from_chars through the C library's strtod, which rounds correctly: the standard's
// pattern matched here (no leading '+' or blanks, no "0x" for hex, the exponent as the format
// allows); out of range when the result overflows, or underflows to zero.
std::from_chars_result StrtodFromChars(const char* first, const char* last, double& value,
                                       std::chars_format format);

#if defined(__cpp_lib_to_chars) && __cpp_lib_to_chars >= 201611L
#define TARVIK_STD_FLOAT_CHARCONV 1
#else
#define TARVIK_STD_FLOAT_CHARCONV 0
inline std::to_chars_result to_chars(char* first, char* last, double value,
                                     std::chars_format format, int precision) {
  return PrintfToChars(first, last, value, format, precision);
}
inline std::from_chars_result from_chars(const char* first, const char* last, double& value,
                                         std::chars_format format = std::chars_format::general) {
  return StrtodFromChars(first, last, value, format);
}
#endif

#if defined(__cpp_lib_smart_ptr_for_overwrite)
using std::make_unique_for_overwrite;
#else
template <class T>
requires std::is_unbounded_array_v<T> std::unique_ptr<T> make_unique_for_overwrite(std::size_t n) {
  return std::unique_ptr<T>(new std::remove_extent_t<T>[n]);
}
#endif

}  // namespace tarvik::compat
