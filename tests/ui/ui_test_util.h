#pragma once
// Helpers of the window tests: a context with the window resources, and a dialog object that
// records what reaches its slots and runs a script inside its modal loop.
#include <QApplication>
#include <QMetaObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "core/app_context.h"
#include "resources/dialog_templates.h"
#include "ui/framework/dlg_core.h"
#include "ui/ui_resources.h"

namespace tarvik::test {

// A context with fonts, icons and the image list; no settings file is touched.
inline std::unique_ptr<CAppContext> UiContext() {
  auto context = std::make_unique<CAppContext>();
  InitUi(*context);
  return context;
}

struct SlotCall {
  int slot = 0;  // 1 init, 2 command, 3 notify, 4 size, 5 destroy
  DlgParam param;
  const CDlgBoxCore* startDialog = nullptr;  // init: the dialog of the start record
  DlgCommand command;                        // command
  DlgNotify notify;                          // notify
  DlgSize size;                              // size
};

class RecordingDialog : public CDlgBoxCore {
 public:
  std::vector<SlotCall> calls;
  // Runs once inside the modal loop, right after initialisation.
  std::function<void(DlgWindow*)> script;
  // Ends the dialog on this command id (0: never); the result is the id.
  int endOnCommand = 0;
  bool itemsAliveAtDestroy = false;

  void OnInitDialog(DlgWindow* w, const DlgStart& start, DlgParam p) override {
    Record(1, p).startDialog = start.dialog;
    if (script) {
      auto run = script;
      QMetaObject::invokeMethod(
          w, [run, w] { run(w); }, Qt::QueuedConnection);
    }
  }
  void OnCommand(DlgWindow* w, const DlgCommand& command, DlgParam p) override {
    Record(2, p).command = command;
    if (endOnCommand && command.id == endOnCommand) EndDialog(w, endOnCommand);
  }
  void OnNotify(DlgWindow*, const DlgNotify& notify, DlgParam p) override {
    Record(3, p).notify = notify;
  }
  void OnSize(DlgWindow*, const DlgSize& size, DlgParam p) override { Record(4, p).size = size; }
  void OnDestroy(DlgWindow* w, DlgParam p) override {
    Record(5, p);
    itemsAliveAtDestroy = w && hwnd == w && w->Client() != nullptr;
  }

  SlotCall& Record(int slot, DlgParam param) {
    calls.emplace_back();
    calls.back().slot = slot;
    calls.back().param = param;
    return calls.back();
  }

  std::vector<SlotCall> Of(int slot) const {
    std::vector<SlotCall> out;
    for (const SlotCall& c : calls)
      if (c.slot == slot) out.push_back(c);
    return out;
  }
};

// Runs `fn` once, as soon as a dialog of template `templateId` is the active modal window
// (from inside its modal loop).
inline void WhenShown(std::uint32_t templateId, std::function<void(DlgWindow*)> fn) {
  auto* poll = new QTimer(qApp);  // deletes itself once it has run
  poll->setInterval(5);
  QObject::connect(poll, &QTimer::timeout, [poll, templateId, fn = std::move(fn)] {
    auto* w = qobject_cast<DlgWindow*>(QApplication::activeModalWidget());
    if (!w || w->Template().id != templateId || !w->isVisible()) return;
    poll->stop();
    poll->deleteLater();
    fn(w);
  });
  poll->start();
}

}  // namespace tarvik::test
