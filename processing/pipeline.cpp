// The task pipeline: runs the requested stages in their fixed order, each under the lock of
// the store it changes, and tidies the stores when the task is aborted.
#include "processing/pipeline.h"

#include <chrono>
#include <memory>
#include <new>
#include <thread>

#include "core/store_lock.h"
#include "params/param_store.h"
#include "processing/drive_write.h"
#include "processing/param_stages.h"
#include "processing/poi_store.h"
#include "resources/string_ids.h"

namespace tarvik {

// Each slot starts with its stage's operation; tests put doubles in them.
StageOperation g_saveParamsStage = SaveParams;
StageOperation g_loadParamsStage = LoadParams;
StageOperation g_loadFileStage = LoadSourceFile;
StageOperation g_parseStage = ParseSource;
StageOperation g_filterStage = FilterByAreas;
StageOperation g_exportStage = ExportPois;
StageOperation g_driveStage = WriteToDrive;

namespace {

constexpr auto kLockRetry = std::chrono::milliseconds(100);

void ClearParams(WorkerTask& task) {
  task.paramStore->Clear();
}
void ClearPoi0(WorkerTask& task) {
  task.poiStore->Clear(0);
}
void ClearPoi1(WorkerTask& task) {
  task.poiStore->Clear(1);
}
void ClearPoi2(WorkerTask& task) {
  task.poiStore->Clear(2);
}

struct Stage {
  std::uint32_t flag;
  bool paramStage;               // parameter store, Cancel disabled meanwhile
  StageOperation* operation;     // slot
  void (*before)(WorkerTask&);   // under the lock, before the operation
  void (*onAbort)(WorkerTask&);  // under the lock, when abortFlag is set afterwards
};

// The fixed order; the table lists what each stage does around its operation.
const Stage kStages[] = {
    {TASK_SAVE_PARAMS, true, &g_saveParamsStage, nullptr, ClearParams},
    {TASK_LOAD_PARAMS, true, &g_loadParamsStage, ClearParams, ClearParams},
    {TASK_LOAD_FILE, false, &g_loadFileStage, ClearPoi0, ClearPoi0},
    {TASK_PARSE, false, &g_parseStage, ClearPoi1, ClearPoi0},
    {TASK_FILTER, false, &g_filterStage, ClearPoi2, ClearPoi0},
    // The export writes under a new name and drops it itself when cancelled: the file at the
    // target is never touched by a cancel.
    {TASK_EXPORT, false, &g_exportStage, nullptr, nullptr},
    // The same for every file of a drive write; the files before a cancel stay whole.
    {TASK_DRIVE, false, &g_driveStage, nullptr, nullptr},
};

// Polls the store's lock: try, else give up when aborted (unless the stage must run),
// else wait 100 ms and try again.
template <class Store>
bool AcquireStore(WorkerTask& task, Store* store, bool mustRun) {
  if (!store) return false;
  for (;;) {
    if (TryEnterStore(*store)) return true;
    if (Aborted(task) && !mustRun) return false;
    std::this_thread::sleep_for(kLockRetry);
  }
}

// Counters point into the parameter sets. Once this task has saved or reloaded them (both
// may release the arrays), a cancelled filter stage must still reach the POI store to drop
// the counters, or they would outlive the records they point at. The other holders of the
// POI store only ever try once and hold it briefly, so the wait ends.
bool MustRun(const WorkerTask& task, const Stage& stage) {
  return stage.flag == TASK_FILTER && (task.stageFlags & (TASK_SAVE_PARAMS | TASK_LOAD_PARAMS));
}

// A stage that ran out of memory ends with that failure. A save keeps the unsaved sets in the
// store (the reload is skipped as after any failed save); any other stage ends as a cancelled
// one does, which tidies its store.
void OutOfMemory(WorkerTask& task, const Stage& stage) {
  SetFailure(task, STR_NO_MEMORY);
  if (stage.flag == TASK_SAVE_PARAMS)
    task.paramsSaveFailed = true;
  else
    SetAbort(task);
}

template <class Store>
void RunLocked(WorkerTask& task, Store* store, const Stage& stage) {
  if (!AcquireStore(task, store, MustRun(task, stage))) return;
  struct Leave {
    Store* store;
    ~Leave() { LeaveStore(*store); }
  } leave{store};
  if (!store->data) return;
  try {
    if (stage.before) stage.before(task);
    if (*stage.operation) (*stage.operation)(task);
  } catch (const std::bad_alloc&) {
    OutOfMemory(task, stage);
  }
  if (Aborted(task) && stage.onAbort) stage.onAbort(task);
}

void RunStage(WorkerTask& task, const Stage& stage) {
  if (stage.paramStage && task.progressWindow) task.progressWindow->EnableCancel(false);
  ReportProgress(task, 0);
  ReportStatus(task, STR_STATUS_OPENING);
  if (!stage.paramStage) {
    RunLocked(task, task.poiStore, stage);
  } else if (!(stage.flag == TASK_LOAD_PARAMS && task.paramsSaveFailed)) {
    // A failed save keeps the user's unsaved sets in the store: the reload (which would
    // first clear them) is skipped.
    RunLocked(task, task.paramStore, stage);
  }
  if (stage.paramStage && task.progressWindow) task.progressWindow->EnableCancel(true);
}

// A table is loaded, parsed and counted in a store of its own, which takes the place of the
// loaded one only once it is whole: a file that cannot be read, holds no table or is cancelled
// leaves the user's table, its counts and its state as they were. While it loads, the program
// holds at most one table more than before.
class NewTable {
 public:
  explicit NewTable(WorkerTask& task) : task_(task), shown_(task.poiStore) {
    if (!shown_ || !shown_->data || !(task.stageFlags & TASK_LOAD_FILE)) return;
    try {
      staging_ = std::make_unique<CPoiStore>(shown_->context);
    } catch (const std::bad_alloc&) {
      // Told below as the block that could not be had.
    }
    if (!staging_ || !staging_->data) {
      staging_.reset();
      try {
        SetFailureText(task, STR_FAIL_FILE_MEMORY, task.targetPath);
      } catch (const std::bad_alloc&) {
        // Only the reason is missing.
      }
      SetAbort(task);
      return;
    }
    task.poiStore = staging_.get();
  }
  // Hands the new table over when it is whole; the one it replaces goes with the staging
  // store, after the lock is left.
  ~NewTable() {
    if (!staging_) return;
    task_.poiStore = shown_;
    PoiData* fresh = staging_->data;
    const bool whole = fresh && !Aborted(task_) &&
                       (!(task_.stageFlags & TASK_PARSE) || fresh->sourceFormat != SOURCE_NONE);
    if (!whole) return;
    EnterStore(*shown_);  // the other holders only try once and hold it briefly
    SwapTables(*shown_->data, *fresh);
    LeaveStore(*shown_);
    task_.tableReplaced = true;
  }
  NewTable(const NewTable&) = delete;
  NewTable& operator=(const NewTable&) = delete;

 private:
  WorkerTask& task_;
  CPoiStore* shown_;
  std::unique_ptr<CPoiStore> staging_;
};

}  // namespace

int RunTask(WorkerTask* task) {
  if (!task) return 1;
  {
    NewTable table(*task);
    for (const Stage& stage : kStages) {
      if (!(task->stageFlags & stage.flag)) continue;
      try {
        RunStage(*task, stage);
      } catch (const std::bad_alloc&) {
        OutOfMemory(*task, stage);  // reporting to the window failed; the store is left
      }
    }
  }
  try {
    if (task->failure.stringId == 0) ReportStatus(*task, STR_STATUS_DONE);
  } catch (const std::bad_alloc&) {
    // Only the final status is missing.
  }
  if (task->progressWindow) task->progressWindow->EndTask(2);
  return 0;
}

}  // namespace tarvik
