#pragma once
// The progress dialog: runs one task of the pipeline on a worker thread, shows its status text
// and percentage, offers Cancel, and is ended by the worker when the task is over.
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <memory>
#include <thread>

#include "processing/task.h"
#include "ui/framework/dlg_core.h"
#include "ui/framework/tracked_object.h"

namespace tarvik {

class CPoiStore;
class CParamStore;

class CDlgProc : public CDlgBoxCore {
 public:
  CDlgProc();
  ~CDlgProc() override;

  // The start parameter is the TaskRequest.
  void OnInitDialog(DlgWindow* window, const DlgStart& start, DlgParam param) override;
  void OnCommand(DlgWindow* window, const DlgCommand& command, DlgParam param) override;
  void OnDestroy(DlgWindow* window, DlgParam param) override;

  CPoiStore* poiStore = nullptr;
  CParamStore* paramStore = nullptr;

  // What the last run left behind; the task itself goes with the dialog.
  TaskFailure lastFailure;
  ExportResult lastExport;
  DriveReport lastDrive;
  bool lastParamsSaveFailed = false;
  bool lastAborted = false;           // cancelled, failed, or no task could be made
  int lastParsedLayout = -1;          // see WorkerTask::parsedLayout
  bool lastTableReplaced = false;     // see WorkerTask::tableReplaced
  unsigned lastHeaderBeyondLine = 0;  // see WorkerTask::headerBeyondLine

  // One report of the worker as the window applies it, on the window's thread.
  struct Report {
    enum Kind { Progress, Status, Cancel, StatusText } kind;
    int value;                 // percent, string id, or whether Cancel is enabled
    std::u16string text = {};  // StatusText: the status itself
  };
  // Sees every report right after the window applied it (tests watch the order). The bar
  // itself is painted at most once a frame: it may show a report's percentage a frame later,
  // and always shows the last one before the status text changes.
  std::function<void(const Report&)> onReport;

  // The running task, null outside a run or when none could be made.
  WorkerTask* Task() const { return task_.get(); }

 private:
  class Sink;
  void Apply(const Report& report);
  void ShowProgress(int percent);
  void PaintBar();  // the pending percentage, if any
  void ShowStatus(const std::u16string& text);  // the status line, also the bar's description

  // Control ids of its template.
  enum : int { IDC_PROGRESS_BAR = 1000, IDC_STATUS_TEXT = 1001 };
  QLabel* StatusText() const { return Control<QLabel>(IDC_STATUS_TEXT); }
  QProgressBar* ProgressBar() const { return Control<QProgressBar>(IDC_PROGRESS_BAR); }
  QPushButton* CancelButton() const { return Control<QPushButton>(IDCANCEL); }

  TrackedObject<WorkerTask> task_;
  std::unique_ptr<Sink> sink_;
  std::thread worker_;
  // A large table reports a percentage every few hundred microseconds; painting each one
  // would cost more than the work it shows.
  QTimer barTimer_;
  QElapsedTimer barClock_;  // since the bar was last painted
  int barValue_ = 0;
  bool barPending_ = false;
};

// Runs the request behind the progress dialog; returns when the task has finished or was
// cancelled (the result is then always 2), or -1 at once when the dialog is not bound to a
// context and its template.
int RunTaskDialog(CDlgProc& dialog, const TaskRequest& request);

}  // namespace tarvik
