// Percentages of a loop: each integer once, in order, never past 100.
#include <gtest/gtest.h>

#include <vector>

#include "core/progress_steps.h"

namespace tarvik {
namespace {

TEST(PercentSteps, EachChangeOnceAndNeverPastAHundred) {
  struct Case {
    std::uint64_t total;
    std::uint64_t calls;  // At(0) .. At(calls - 1)
    std::vector<int> reported;
  } cases[] = {
      {4, 4, {25, 50, 75}}, {3, 3, {33, 66}}, {0, 5, {}},  // nothing to count: nothing reported
      {2, 6, {50, 100}},                                   // more items than announced stay at 100
      {1000, 1000, {}},                                    // filled below
  };
  for (int p = 1; p < 100; ++p) cases[4].reported.push_back(p);
  for (const Case& c : cases) {
    std::vector<int> got;
    PercentSteps steps(c.total, [&got](int p) { got.push_back(p); });
    for (std::uint64_t i = 0; i < c.calls; ++i) steps.At(i);
    EXPECT_EQ(got, c.reported) << c.total;
  }
}

}  // namespace
}  // namespace tarvik
