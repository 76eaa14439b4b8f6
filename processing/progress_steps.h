#pragma once
// Progress of a stage's loop over n items, reported to its task as i * 100 / n whenever that
// integer changes (core/progress_steps.h).
#include <cstdint>

#include "core/progress_steps.h"
#include "processing/task.h"

namespace tarvik {

struct ReportToTask {
  WorkerTask* task;
  void operator()(int percent) const { ReportProgress(*task, percent); }
};

class ProgressSteps : public PercentSteps<ReportToTask> {
 public:
  // The stage has already reported 0.
  ProgressSteps(WorkerTask& task, std::uint64_t total) : PercentSteps(total, ReportToTask{&task}) {}
};

}  // namespace tarvik
