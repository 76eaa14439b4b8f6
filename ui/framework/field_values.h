#pragma once
// Numbers typed into the fields of a dialog, read whatever the locale.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarvik {

// An integer read the way the C library's wide-string-to-integer routine reads it: leading
// white space skipped, an optional sign, the digits up to the first other character ("12abc"
// is 12), 0 when there are none, values beyond the 32-bit range clamped.
std::int32_t IntFromText(std::u16string_view text);

// A decimal number as typed on any keyboard layout: blanks around it are ignored and the
// decimal separator may be a point or a comma ("37,5" is 37.5). What follows the number is
// ignored ("37.5°" is 37.5). Nothing when the text does not start with a finite number.
std::optional<double> DecimalFromText(std::u16string_view text);

// A whole number as typed into an integer field: blanks around it are ignored, the rest is an
// optional sign and digits only. Nothing when the text is no such number ("", "abc", "1,5",
// "12abc"). Beyond the 64-bit range the answer is the nearest 64-bit limit, which no field's
// range takes.
std::optional<std::int64_t> WholeFromText(std::u16string_view text);

// An integer field as shown: "%u" of its 32 bits (-1 is shown as 4294967295).
std::u16string UnsignedText(std::int32_t value);
// An integer field shown with UnsignedText, read back: as IntFromText, except that the
// numbers UnsignedText shows for negative values (2147483648 to 4294967295) give the same 32
// bits again, so applying a field left as shown keeps its value.
std::int32_t IntFromUnsignedText(std::u16string_view text);
// A floating-point field as shown: "%f", six decimals.
std::u16string FixedText(double value);

}  // namespace tarvik
