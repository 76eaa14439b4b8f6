#pragma once
// A task of the pipeline (pipeline.h): what it is asked to do, its abort flag, its first
// failure, and its reports through a sink that never touches a window.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "core/app_context.h"
#include "core/text.h"

namespace tarvik {

class CPoiStore;
class CParamStore;
struct ExportProfile;
struct DrivePlan;

enum : std::uint32_t {
  TASK_SAVE_PARAMS = 0x04,
  TASK_LOAD_PARAMS = 0x08,
  TASK_EXPORT = 0x10,
  TASK_FILTER = 0x20,
  TASK_PARSE = 0x40,
  TASK_LOAD_FILE = 0x80,
  TASK_DRIVE = 0x200,  // every enabled profile onto a drive (drive_write.h), after the export
};

// The four window operations of a running task. The progress dialog delivers them on the
// window's thread; the command line and the tests have their own. Called on the worker.
class TaskSink {
 public:
  virtual ~TaskSink() = default;
  virtual void SetProgress(int percent) = 0;           // 0..100
  virtual void SetStatus(std::uint32_t stringId) = 0;  // a string-table id
  // A status already formatted (the drive write names the profile it writes); a sink that
  // shows nothing of it may leave it.
  virtual void SetStatusText(const std::u16string& text) { (void)text; }
  virtual void EnableCancel(bool on) = 0;
  virtual void EndTask(int code) = 0;  // the end message; code is always 2
};

// One ticked item (a SchemaEntry or a FilterArea) in a singly linked list.
struct RefNode {
  void* ref = nullptr;
  RefNode* next = nullptr;
};

struct TaskRequest {
  std::uint32_t stageFlags = 0;
  const std::u16string* targetPath = nullptr;  // source for TASK_LOAD_FILE, output for TASK_EXPORT
  RefNode* entryList = nullptr;
  RefNode* areaList = nullptr;
  ExportProfile* exportProfile = nullptr;
  // The export may replace a file of that name (the user said so); without, a file that has
  // the name by the time the export is written stays and the export fails.
  bool replaceTarget = false;
  const DrivePlan* drivePlan = nullptr;  // TASK_DRIVE: the files to write
};

// Why a stage failed: a string-table id and a detail (path, line number, system reason).
// The first failure of a task is kept.
struct TaskFailure {
  std::uint32_t stringId = 0;  // 0: no failure
  std::u16string detail;
};

// What an export wrote, for the front ends to report.
struct ExportResult {
  std::uint64_t linesWritten = 0;
  std::uint64_t linesLeftOut = 0;  // selected POIs that the size limit kept out
  std::uint64_t bytesWritten = 0;
};

// What a drive write wrote: the files that are whole on the drive, and whether the drive was
// flushed after them.
struct DriveFileResult {
  std::u16string profileName;
  std::u16string path;
  ExportResult result;
};
struct DriveReport {
  std::vector<DriveFileResult> written;
  bool flushed = false;
};

struct WorkerTask {
  std::atomic<std::uint32_t> abortFlag{0};
  TaskSink* progressWindow = nullptr;  // may be null: nothing is reported
  CAppContext* appContext = nullptr;
  CPoiStore* poiStore = nullptr;
  CParamStore* paramStore = nullptr;
  std::u16string targetPath;
  RefNode* entryList = nullptr;
  RefNode* areaList = nullptr;
  ExportProfile* exportProfile = nullptr;
  bool replaceTarget = false;  // see TaskRequest
  // The export fails rather than write a larger file (FAT holds none); 0: no limit.
  std::uint64_t outputLimit = 0;
  const DrivePlan* drivePlan = nullptr;
  std::uint32_t stageFlags = 0;

  // Written by the worker, read by the owner after the end message.
  TaskFailure failure;
  ExportResult exportResult;
  DriveReport driveReport;
  bool paramsSaveFailed = false;  // the save failed: the reload of the same task is skipped
  int parsedLayout = -1;       // the layout (SOURCE_*) a parse found that ran to its end; -1: none
  bool tableReplaced = false;  // a load's new table took the place of the loaded one
  // A line before any header that named X, Y or TYPE past the 16 columns a header may use
  // (1-based; 0: none): a parse that finds no header says so.
  unsigned headerBeyondLine = 0;
};

// Sets abortFlag to 1 when it reads 0.
void SetAbort(WorkerTask& task);
bool Aborted(const WorkerTask& task);
// Records the first failure of the task (later ones are ignored). `detail` is the message as
// the user reads it, formatted from string `stringId` (see SetFailureText); empty means the
// bare text of `stringId`. It does not set abortFlag: a stage that must stop calls SetAbort.
void SetFailure(WorkerTask& task, std::uint32_t stringId, std::u16string detail = {});
// SetFailure with the message formatted from string `stringId` and the arguments, e.g.
// SetFailureText(task, STR_FAIL_OPEN, path, reason) for "Не удалось открыть файл %s: %s".
template <class... A>
void SetFailureText(WorkerTask& task, std::uint32_t stringId, const A&... args) {
  SetFailure(task, stringId, StrLoad(stringId, args...));
}
// A failure that ends the task: SetFailureText, then SetAbort. Returns false, for the stage
// to return.
template <class... A>
bool AbortWithFailure(WorkerTask& task, std::uint32_t stringId, const A&... args) {
  SetFailureText(task, stringId, args...);
  SetAbort(task);
  return false;
}
// The failure as a sentence for the user; empty when there is none.
std::u16string FailureText(const TaskFailure& failure);

// Reporting helpers: do nothing without a sink. Progress and status only while not aborted.
void ReportProgress(WorkerTask& task, int percent);
void ReportStatus(WorkerTask& task, std::uint32_t stringId);

}  // namespace tarvik
