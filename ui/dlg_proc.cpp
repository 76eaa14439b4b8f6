#include "ui/dlg_proc.h"

#include <QMetaObject>
#include <new>
#include <system_error>

#include "core/text.h"
#include "processing/pipeline.h"
#include "resources/string_ids.h"
#include "ui/framework/dlg_controls.h"
#include "ui/framework/qt_text.h"
#include "ui/ui_resources.h"

namespace tarvik {

// The worker's reports, queued for the window's thread. Queued calls to one window arrive in
// the order they were made, together with the end message the worker posts last, and the
// worker never waits for the window.
class CDlgProc::Sink : public TaskSink {
 public:
  Sink(CDlgProc* owner, DlgWindow* window) : owner_(owner), window_(window) {}

  void SetProgress(int percent) override { Post({Report::Progress, percent}); }
  void SetStatus(std::uint32_t stringId) override {
    Post({Report::Status, static_cast<int>(stringId)});
  }
  void SetStatusText(const std::u16string& text) override { Post({Report::StatusText, 0, text}); }
  void EnableCancel(bool on) override { Post({Report::Cancel, on ? 1 : 0}); }
  void EndTask(int code) override { PostEndMessage(window_, static_cast<std::uint32_t>(code)); }

 private:
  void Post(Report report) {
    CDlgProc* owner = owner_;
    QMetaObject::invokeMethod(
        window_, [owner, report = std::move(report)] { owner->Apply(report); },
        Qt::QueuedConnection);
  }

  CDlgProc* owner_;
  DlgWindow* window_;
};

namespace {
constexpr qint64 kBarFrameMs = 16;
}  // namespace

CDlgProc::CDlgProc() {
  barTimer_.setSingleShot(true);
  QObject::connect(&barTimer_, &QTimer::timeout, [this] { PaintBar(); });
}

CDlgProc::~CDlgProc() {
  // Only reachable with a live worker if the window was never destroyed; never leave it
  // running against a dead object.
  if (worker_.joinable()) {
    if (task_) SetAbort(*task_);
    worker_.join();
  }
}

void CDlgProc::Apply(const Report& report) {
  if (!hwnd) return;
  switch (report.kind) {
    case Report::Progress:
      ShowProgress(report.value);
      break;
    case Report::Status:
      ShowStatus(StrLoad(static_cast<std::uint32_t>(report.value)));
      break;
    case Report::StatusText:
      ShowStatus(report.text);
      break;
    case Report::Cancel:
      EnableControl(CancelButton(), report.value != 0);
      break;
  }
  if (onReport) onReport(report);
}

void CDlgProc::ShowStatus(const std::u16string& text) {
  PaintBar();
  SetControlText(StatusText(), text);
  // A screen reader reads the bar with what is being done.
  if (QProgressBar* bar = ProgressBar()) bar->setAccessibleDescription(ToQString(text));
}

void CDlgProc::ShowProgress(int percent) {
  barValue_ = percent;
  barPending_ = true;
  if (barTimer_.isActive()) return;
  const qint64 since = barClock_.isValid() ? barClock_.elapsed() : kBarFrameMs;
  if (since >= kBarFrameMs) {
    PaintBar();
  } else {
    barTimer_.start(static_cast<int>(kBarFrameMs - since));
  }
}

void CDlgProc::PaintBar() {
  barTimer_.stop();
  if (!barPending_) return;
  barPending_ = false;
  if (hwnd) SetProgressPos(ProgressBar(), barValue_);
  barClock_.start();
}

void CDlgProc::OnInitDialog(DlgWindow* window, const DlgStart&, DlgParam param) {
  const auto* request = param.As<const TaskRequest>();
  if (!context || !request) {
    PostEndMessage(window, IDCANCEL);
    return;
  }
  CenterOverOwner(window, owner);
  SetProgressRange(ProgressBar(), 0, 100);
  SetProgressPos(ProgressBar(), 0);
  barTimer_.stop();
  barPending_ = false;
  barClock_.invalidate();
  if (const UiResources* ui = Ui(context)) {
    SetControlFont(CancelButton(), &ui->fontNormal);
    SetControlFont(StatusText(), &ui->fontNormal);
  }
  SetControlText(CancelButton(), StrLoad(STR_CANCEL));
  SetControlText(StatusText(), StrLoad(STR_STATUS_DONE));

  lastFailure = {};
  lastExport = {};
  lastDrive = {};
  lastParamsSaveFailed = false;
  lastAborted = true;
  lastParsedLayout = -1;
  lastTableReplaced = false;
  lastHeaderBeyondLine = 0;
  task_ = MakeTracked<WorkerTask>(context);
  if (!task_) {
    PostEndMessage(window, IDCANCEL);
    return;
  }
  sink_ = std::make_unique<Sink>(this, window);
  WorkerTask& task = *task_;
  task.progressWindow = sink_.get();
  task.appContext = context;
  task.poiStore = poiStore;
  task.paramStore = paramStore;
  task.stageFlags = request->stageFlags;
  if (request->stageFlags & TASK_LOAD_FILE) {
    if (!request->targetPath) {
      PostEndMessage(window, IDCANCEL);
      return;
    }
    task.targetPath = *request->targetPath;
  } else if (request->stageFlags & TASK_DRIVE) {
    if (!request->drivePlan || !request->entryList || !request->areaList) {
      PostEndMessage(window, IDCANCEL);
      return;
    }
    task.drivePlan = request->drivePlan;
    task.entryList = request->entryList;
    task.areaList = request->areaList;
  } else if (request->stageFlags & TASK_EXPORT) {
    if (!request->targetPath || !request->entryList || !request->areaList) {
      PostEndMessage(window, IDCANCEL);
      return;
    }
    task.targetPath = *request->targetPath;
    task.entryList = request->entryList;
    task.areaList = request->areaList;
    task.exportProfile = request->exportProfile;
    task.replaceTarget = request->replaceTarget;
  }
  try {
    worker_ = std::thread(RunTask, &task);
  } catch (const std::system_error&) {
    // No thread (no memory for its stack): the task ends before it began.
    SetFailure(task, STR_NO_MEMORY);
    PostEndMessage(window, IDCANCEL);
  } catch (const std::bad_alloc&) {
    SetFailure(task, STR_NO_MEMORY);
    PostEndMessage(window, IDCANCEL);
  }
}

void CDlgProc::OnCommand(DlgWindow* window, const DlgCommand& command, DlgParam) {
  if (!context || command.id != IDCANCEL) return;
  if (task_ && worker_.joinable()) {
    // The worker notices, tidies up and ends the dialog itself.
    SetAbort(*task_);
  } else {
    PostEndMessage(window, IDCANCEL);
  }
}

void CDlgProc::OnDestroy(DlgWindow*, DlgParam) {
  barTimer_.stop();
  barPending_ = false;
  if (!task_) return;
  // No thread is ever killed: the worker ends right after posting the end message, so this
  // wait is short. Should the dialog have ended another way, the abort flag makes every
  // stage give up first.
  lastAborted = Aborted(*task_);  // before the flag is raised below for the wait
  if (worker_.joinable()) {
    SetAbort(*task_);
    worker_.join();
  }
  lastFailure = task_->failure;
  lastExport = task_->exportResult;
  lastDrive = std::move(task_->driveReport);
  lastParamsSaveFailed = task_->paramsSaveFailed;
  lastParsedLayout = task_->parsedLayout;
  lastTableReplaced = task_->tableReplaced;
  lastHeaderBeyondLine = task_->headerBeyondLine;
  task_.reset();
  sink_.reset();
}

int RunTaskDialog(CDlgProc& dialog, const TaskRequest& request) {
  if (!dialog.context || !dialog.templateId) return -1;
  return RunModal(dialog, &request);
}

}  // namespace tarvik
