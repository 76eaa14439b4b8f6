#include "core/std_compat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

namespace tarvik {
namespace {

// The printf and strtod conversions stand in for std's floating-point charconv where the
// library has none (the browser build); here both exist, so they must agree to the byte.
TEST(StdCompat, FallbackConversionsMatchTheStandardLibrary) {
#if TARVIK_STD_FLOAT_CHARCONV
  const std::chars_format formats[] = {std::chars_format::general, std::chars_format::fixed,
                                       std::chars_format::scientific, std::chars_format::hex};
  const char* inputs[] = {"37.5", "-0.000001", "1e-400",   "1e-310", "2e-324", "1e309",
                          "inf",  "-Infinity", "nan(12)x", "-nan",   "1e",     "1.",
                          "-.5",  ".e1",       "+1",       "0x1p3",  "1e+",    "1e5x",
                          "12,5", "1p-3",      "ff.8P+2z", "",       "-",      "00012.340000e-02"};
  for (std::chars_format f : formats) {
    for (const char* s : inputs) {
      SCOPED_TRACE(std::string(s) + " format " + std::to_string(static_cast<int>(f)));
      double a = -7, b = -7;
      const auto ra = std::from_chars(s, s + std::strlen(s), a, f);
      const auto rb = compat::StrtodFromChars(s, s + std::strlen(s), b, f);
      EXPECT_EQ(ra.ptr - s, rb.ptr - s);
      EXPECT_EQ(ra.ec, rb.ec);
      if (std::isnan(a)) {  // payloads are the libraries' own, and a hex NaN's sign
        EXPECT_TRUE(std::isnan(b));
        if (f != std::chars_format::hex) {
          EXPECT_EQ(std::signbit(a), std::signbit(b));
        }
      } else {
        EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << a << " vs " << b;
      }
    }
  }
  const double values[] = {
      0.0,      -0.0, 2.5, 0.125, 1e22, 123456.789, -1e-7, 5e-324, 1.7976931348623157e308,
      INFINITY, -NAN};
  for (std::chars_format f :
       {std::chars_format::general, std::chars_format::fixed, std::chars_format::scientific}) {
    for (double v : values) {
      for (int precision : {0, 1, 6, 17}) {
        char x[400], y[400];
        const auto rx = std::to_chars(x, x + sizeof x, v, f, precision);
        const auto ry = compat::PrintfToChars(y, y + sizeof y, v, f, precision);
        EXPECT_EQ(std::string(x, rx.ptr), std::string(y, ry.ptr)) << v << " " << precision;
      }
    }
  }
  char small[3];
  EXPECT_EQ(compat::PrintfToChars(small, small + 3, 37.5, std::chars_format::fixed, 6).ec,
            std::errc::value_too_large);
#else
  GTEST_SKIP() << "the standard library has no floating-point charconv to compare with";
#endif
}

}  // namespace
}  // namespace tarvik
