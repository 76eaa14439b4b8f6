#pragma once
// Progress of a loop over n items, reported as i * 100 / n whenever that integer changes,
// without a division per item.
#include <cstdint>

#include "processing/task.h"

namespace tarvik {

class ProgressSteps {
 public:
  // The stage has already reported 0.
  ProgressSteps(WorkerTask& task, std::uint64_t total) : task_(task), total_(total) {
    next_ = NextAfter(0);
  }

  // Call with the index of the item about to be handled.
  void At(std::uint64_t i) {
    if (i < next_) return;
    int p = static_cast<int>(i * 100 / total_);
    if (p != last_) {
      last_ = p;
      if (!Aborted(task_)) ReportProgress(task_, p);
    }
    next_ = NextAfter(p);
  }

  // The first index past the current run of equal percentages.
  std::uint64_t next() const { return next_; }

 private:
  // The smallest i with i * 100 / total > p.
  std::uint64_t NextAfter(int p) const {
    if (total_ == 0) return UINT64_MAX;
    return (static_cast<std::uint64_t>(p + 1) * total_ + 99) / 100;
  }

  WorkerTask& task_;
  std::uint64_t total_;
  std::uint64_t next_ = 0;
  int last_ = 0;
};

}  // namespace tarvik
