#include "processing/param_stages.h"

#include "params/param_io.h"
#include "params/param_store.h"

namespace tarvik {
namespace {

// Reports a load or a save to the task, as every stage reports.
class TaskParamProgress : public ParamProgress {
 public:
  explicit TaskParamProgress(WorkerTask& task) : task_(task) {}
  void Begin(std::uint32_t stringId) override {
    if (Aborted(task_)) return;
    ReportProgress(task_, 0);
    ReportStatus(task_, stringId);
  }
  void Percent(int percent) override { ReportProgress(task_, percent); }
  bool Cancelled() const override { return Aborted(task_); }

 private:
  WorkerTask& task_;
};

const std::u16string& IniPathOf(const WorkerTask& task) {
  static const std::u16string kNone;
  if (task.appContext) return task.appContext->iniPath;
  if (task.paramStore && task.paramStore->context) return task.paramStore->context->iniPath;
  return kNone;
}

void Record(WorkerTask& task, ParamFileResult result) {
  if (result.failure) SetFailure(task, result.failure, std::move(result.message));
  if (result.unsaved) task.paramsSaveFailed = true;
}

}  // namespace

bool LoadParams(WorkerTask& task) {
  if (!task.paramStore || !task.paramStore->data) return false;
  TaskParamProgress progress(task);
  Record(task, LoadParamFile(IniPathOf(task), *task.paramStore, &progress));
  return !Aborted(task);
}

bool SaveParams(WorkerTask& task) {
  if (!task.paramStore || !task.paramStore->data) return false;
  if (Aborted(task)) return false;
  TaskParamProgress progress(task);
  Record(task, SaveParamFile(IniPathOf(task), *task.paramStore, &progress));
  return !Aborted(task);
}

}  // namespace tarvik
