#pragma once
// Progress of a loop over `total` items: i * 100 / total, reported whenever that integer
// changes, with one division per percent rather than one per item. The caller has already
// reported 0.
#include <cstdint>

namespace tarvik {

// Report: called with each new percentage (1 to 100).
template <class Report>
class PercentSteps {
 public:
  PercentSteps(std::uint64_t total, Report report) : total_(total), report_(report) {
    next_ = NextAfter(0);
  }

  // Call with the index of the item about to be handled (or the count done so far).
  void At(std::uint64_t i) {
    if (i >= next_) Update(i);
  }

  // The first index past the current run of equal percentages.
  std::uint64_t next() const { return next_; }

 private:
  void Update(std::uint64_t i) {
    // More items than announced (a file that grew while read) stay at 100.
    const int p = i >= total_ ? 100 : static_cast<int>(i * 100 / total_);
    if (p != last_) {
      last_ = p;
      report_(p);
    }
    next_ = NextAfter(p);
  }
  // The smallest i with i * 100 / total > p.
  std::uint64_t NextAfter(int p) const {
    if (total_ == 0 || p >= 100) return UINT64_MAX;
    return (static_cast<std::uint64_t>(p + 1) * total_ + 99) / 100;
  }

  std::uint64_t total_;
  Report report_;
  std::uint64_t next_ = 0;
  int last_ = 0;
};

}  // namespace tarvik
