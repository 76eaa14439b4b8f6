#include "core/std_compat.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

namespace tarvik::compat {
namespace {

bool IsDigit(char c, bool hex) {
  return (c >= '0' && c <= '9') || (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
}

// The length of `word` (lower case) at p, case-insensitive; 0 when it is not there.
std::size_t Word(const char* p, const char* e, const char* word) {
  const std::size_t n = std::strlen(word);
  if (static_cast<std::size_t>(e - p) < n) return 0;
  for (std::size_t i = 0; i < n; ++i)
    if ((p[i] | 0x20) != word[i]) return 0;
  return n;
}

}  // namespace

std::to_chars_result PrintfToChars(char* first, char* last, double value, std::chars_format format,
                                   int precision) {
  if (format == std::chars_format::hex) return {first, std::errc::invalid_argument};
  const char* pattern = format == std::chars_format::fixed        ? "%.*f"
                        : format == std::chars_format::scientific ? "%.*e"
                                                                  : "%.*g";
  if (precision < 0) precision = 6;
  const int n = std::snprintf(nullptr, 0, pattern, precision, value);
  if (n < 0 || n > last - first) return {last, std::errc::value_too_large};
  std::string text(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(text.data(), text.size(), pattern, precision, value);
  std::memcpy(first, text.data(), static_cast<std::size_t>(n));
  return {first + n, std::errc()};
}

std::from_chars_result StrtodFromChars(const char* first, const char* last, double& value,
                                       std::chars_format format) {
  const bool hex = format == std::chars_format::hex;
  const char* p = first;
  const bool negative = p < last && *p == '-';
  if (negative) ++p;
  const char* body = p;
  bool nonZero = false, special = false;
  if (std::size_t n = Word(p, last, "infinity") ? 8 : Word(p, last, "inf")) {
    p += n;
    special = true;
  } else if (Word(p, last, "nan")) {
    p += 3;
    special = true;
    // "nan(chars)": letters, digits and '_' in brackets, else only "nan" is taken.
    const char* q = p;
    if (q < last && *q == '(') {
      ++q;
      while (q < last &&
             (IsDigit(*q, false) || ((*q | 0x20) >= 'a' && (*q | 0x20) <= 'z') || *q == '_'))
        ++q;
      if (q < last && *q == ')') p = q + 1;
    }
  } else {
    bool digits = false;
    for (; p < last && IsDigit(*p, hex); ++p) digits = true, nonZero |= *p != '0';
    if (p < last && *p == '.') {
      const char* q = p + 1;
      for (; q < last && IsDigit(*q, hex); ++q) digits = true, nonZero |= *q != '0';
      p = q;
    }
    if (!digits) return {first, std::errc::invalid_argument};
    const char mark = hex ? 'p' : 'e';
    bool exponent = false;
    if (format != std::chars_format::fixed && p < last && (*p | 0x20) == mark) {
      const char* q = p + 1;
      if (q < last && (*q == '+' || *q == '-')) ++q;
      if (q < last && IsDigit(*q, false)) {
        while (q < last && IsDigit(*q, false)) ++q;
        p = q;
        exponent = true;
      }
    }
    if (format == std::chars_format::scientific && !exponent)
      return {first, std::errc::invalid_argument};
  }
  std::string text = negative ? "-" : "";
  if (hex && !special) text += "0x";
  text.append(body, p);
  const double v = std::strtod(text.c_str(), nullptr);
  if (!special && (std::isinf(v) || (v == 0 && nonZero)))
    return {p, std::errc::result_out_of_range};
  value = v;
  return {p, std::errc()};
}

}  // namespace tarvik::compat
