// The task: its abort flag, its first failure and its reports to the sink.
#include "processing/task.h"

#include "resources/string_ids.h"

namespace tarvik {

void SetAbort(WorkerTask& task) {
  std::uint32_t expected = 0;
  task.abortFlag.compare_exchange_strong(expected, 1);
}

bool Aborted(const WorkerTask& task) {
  return task.abortFlag.load(std::memory_order_relaxed) != 0;
}

void SetFailure(WorkerTask& task, std::uint32_t stringId, std::u16string detail) {
  if (task.failure.stringId != 0 || stringId == 0) return;
  task.failure.stringId = stringId;
  task.failure.detail = std::move(detail);
}

std::u16string FailureText(const TaskFailure& failure) {
  if (failure.stringId == 0) return {};
  if (!failure.detail.empty()) return failure.detail;
  return StrLoad(failure.stringId);
}

void ReportProgress(WorkerTask& task, int percent) {
  if (task.progressWindow && !Aborted(task)) task.progressWindow->SetProgress(percent);
}

void ReportStatus(WorkerTask& task, std::uint32_t stringId) {
  if (task.progressWindow && !Aborted(task)) task.progressWindow->SetStatus(stringId);
}

}  // namespace tarvik
