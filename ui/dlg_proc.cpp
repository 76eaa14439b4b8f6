#include "ui/dlg_proc.h"

#include <QMetaObject>
#include <system_error>

#include "core/text.h"
#include "resources/string_ids.h"
#include "ui/framework/dlg_controls.h"
#include "ui/ui_resources.h"

namespace tarvik {
namespace {

constexpr int kStatusText = 1001;
constexpr int kProgressBar = 1000;

}  // namespace

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
  void EnableCancel(bool on) override { Post({Report::Cancel, on ? 1 : 0}); }
  void EndTask(int code) override { PostEndMessage(window_, static_cast<WParam>(code)); }

 private:
  void Post(Report report) {
    CDlgProc* owner = owner_;
    QMetaObject::invokeMethod(
        window_, [owner, report] { owner->Apply(report); }, Qt::QueuedConnection);
  }

  CDlgProc* owner_;
  DlgWindow* window_;
};

CDlgProc::CDlgProc() = default;

CDlgProc::~CDlgProc() {
  // Only reachable with a live worker if the window was never destroyed; never leave it
  // running against a dead object.
  if (worker_.joinable()) {
    if (task_) SetAbort(*task_);
    worker_.join();
  }
}

void CDlgProc::Apply(const Report& report) {
  DlgWindow* window = hwnd;
  if (!window) return;
  switch (report.kind) {
    case Report::Progress:
      SetProgressPos(window, kProgressBar, report.value);
      break;
    case Report::Status:
      SetDlgItemText(window, kStatusText, StrLoad(static_cast<std::uint32_t>(report.value)));
      break;
    case Report::Cancel:
      EnableDlgItem(window, IDCANCEL, report.value != 0);
      break;
  }
  if (onReport) onReport(report);
}

MsgResult CDlgProc::OnInitDialog(DlgWindow* window, std::uint32_t, WParam, LParam, LParam param) {
  const auto* request = reinterpret_cast<const TaskRequest*>(param);
  if (!context || !request) {
    PostEndMessage(window, 2);
    return 1;
  }
  CenterOverOwner(window, owner);
  SetProgressRange(window, kProgressBar, 0, 100);
  SetProgressPos(window, kProgressBar, 0);
  if (const UiResources* ui = Ui(context)) {
    SetDlgItemFont(window, IDCANCEL, &ui->fontNormal);
    SetDlgItemFont(window, kStatusText, &ui->fontNormal);
  }
  SetDlgItemText(window, IDCANCEL, StrLoad(STR_CANCEL));
  SetDlgItemText(window, kStatusText, StrLoad(STR_STATUS_DONE));

  lastFailure = {};
  lastExport = {};
  lastParamsSaveFailed = false;
  task_ = MakeTracked<WorkerTask>(context);
  if (!task_) {
    PostEndMessage(window, 2);
    return 1;
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
      PostEndMessage(window, 2);
      return 1;
    }
    task.targetPath = *request->targetPath;
  } else if (request->stageFlags & TASK_EXPORT) {
    if (!request->targetPath || !request->entryList || !request->areaList) {
      PostEndMessage(window, 2);
      return 1;
    }
    task.targetPath = *request->targetPath;
    task.entryList = request->entryList;
    task.areaList = request->areaList;
    task.exportProfile = request->exportProfile;
  }
  try {
    worker_ = std::thread(RunTask, &task);
  } catch (const std::system_error&) {
    PostEndMessage(window, 2);
  }
  return 1;
}

MsgResult CDlgProc::OnCommand(DlgWindow* window, std::uint32_t, WParam wParam, LParam, LParam) {
  if (!context || LoWord(wParam) != IDCANCEL) return 0;
  if (task_ && worker_.joinable()) {
    // The worker notices, tidies up and ends the dialog itself.
    SetAbort(*task_);
  } else {
    PostEndMessage(window, 2);
  }
  return 0;
}

MsgResult CDlgProc::OnDestroy(DlgWindow*, std::uint32_t, WParam, LParam, LParam) {
  if (!task_) return 0;
  // No thread is ever killed: the worker ends right after posting the end message, so this
  // wait is short. Should the dialog have ended another way, the abort flag makes every
  // stage give up first.
  if (worker_.joinable()) {
    SetAbort(*task_);
    worker_.join();
  }
  lastFailure = task_->failure;
  lastExport = task_->exportResult;
  lastParamsSaveFailed = task_->paramsSaveFailed;
  task_.reset();
  sink_.reset();
  return 0;
}

int RunTaskDialog(CDlgProc& dialog, const TaskRequest& request) {
  if (!dialog.context || !dialog.templateId) return -1;
  return RunModal(dialog, reinterpret_cast<LParam>(&request));
}

}  // namespace tarvik
