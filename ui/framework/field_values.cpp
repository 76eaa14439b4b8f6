#include "ui/framework/field_values.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "core/std_compat.h"
#include "core/text.h"

namespace tarvik {
namespace {

bool IsBlank(char16_t c) {
  return c == u' ' || (c >= u'\t' && c <= u'\r') || c == u'\u00A0';
}
bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

std::u16string Format(const char16_t* format, const FmtArg& arg) {
  std::u16string out;
  const FmtArg args[] = {arg};
  FormatAppend(out, format, args);
  return out;
}

}  // namespace

std::int32_t IntFromText(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  // Accumulate in 64 bits and stop growing once past the 32-bit range.
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t value = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i)
    value = std::min<std::int64_t>(value * 10 + (text[i] - u'0'), kLimit);
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max())
    return std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(value);
}

std::optional<std::int64_t> WholeFromText(std::u16string_view text) {
  std::size_t i = 0, end = text.size();
  while (i < end && IsBlank(text[i])) ++i;
  while (end > i && IsBlank(text[end - 1])) --end;
  bool negative = false;
  if (i < end && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  if (i == end) return std::nullopt;
  constexpr std::uint64_t kMax = std::numeric_limits<std::int64_t>::max();
  std::uint64_t value = 0;
  for (; i < end; ++i) {
    if (!IsDigit(text[i])) return std::nullopt;
    const unsigned digit = static_cast<unsigned>(text[i] - u'0');
    value = value > kMax / 10 ? kMax + 1 : std::min<std::uint64_t>(value * 10 + digit, kMax + 1);
  }
  if (negative)
    return value > kMax ? std::numeric_limits<std::int64_t>::min()
                        : -static_cast<std::int64_t>(value);
  return static_cast<std::int64_t>(std::min(value, kMax));
}

std::int32_t IntFromUnsignedText(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  std::uint64_t value = 0;
  if (i < text.size() && text[i] == u'+') ++i;
  for (; i < text.size() && IsDigit(text[i]) && value <= 0xFFFFFFFFu; ++i)
    value = value * 10 + static_cast<unsigned>(text[i] - u'0');
  const bool shownNegative = value > std::numeric_limits<std::int32_t>::max() &&
                             value <= 0xFFFFFFFFu && (i == text.size() || !IsDigit(text[i]));
  if (shownNegative) return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
  return IntFromText(text);
}

std::optional<double> DecimalFromText(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  std::string s;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    if (text[i] == u'-') s += '-';
    ++i;
  }
  bool digits = false;
  for (; i < text.size() && IsDigit(text[i]); ++i, digits = true) s += static_cast<char>(text[i]);
  if (i < text.size() && (text[i] == u'.' || text[i] == u',')) {
    s += '.';
    for (++i; i < text.size() && IsDigit(text[i]); ++i, digits = true)
      s += static_cast<char>(text[i]);
  }
  if (!digits) return std::nullopt;
  if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
    std::size_t k = i + 1;
    std::string e = "e";
    if (k < text.size() && (text[k] == u'+' || text[k] == u'-')) e += static_cast<char>(text[k++]);
    if (k < text.size() && IsDigit(text[k])) {
      for (; k < text.size() && IsDigit(text[k]); ++k) e += static_cast<char>(text[k]);
      s += e;
    }
  }
  double value = 0;
  const auto [end, ec] = compat::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::u16string UnsignedText(std::int32_t value) {
  return Format(u"%u", static_cast<unsigned>(static_cast<std::uint32_t>(value)));
}

std::u16string FixedText(double value) {
  return Format(u"%f", value);
}

}  // namespace tarvik
