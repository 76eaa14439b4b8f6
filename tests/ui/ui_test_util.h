#pragma once
// Helpers of the window tests: a context with the window resources, and a dialog object that
// records what reaches its slots and runs a script inside its modal loop.
#include <QMetaObject>
#include <functional>
#include <memory>
#include <vector>

#include "core/app_context.h"
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
  int slot;  // 1 init, 2 command, 3 notify, 4 size, 5 destroy
  std::uint32_t message;
  WParam wParam;
  LParam lParam;
  LParam param;
  std::int32_t notifyCode = 0;  // for notifications
  int notifyItem = -1;          // NM_CLICK item
};

class RecordingDialog : public CDlgBoxCore {
 public:
  std::vector<SlotCall> calls;
  // Runs once inside the modal loop, right after initialisation.
  std::function<void(DlgWindow*)> script;
  // Ends the dialog on this command id (0: never); the result is the id.
  int endOnCommand = 0;
  bool itemsAliveAtDestroy = false;

  MsgResult OnInitDialog(DlgWindow* w, std::uint32_t m, WParam wp, LParam lp, LParam p) override {
    calls.push_back({1, m, wp, lp, p});
    if (script) {
      auto run = script;
      QMetaObject::invokeMethod(
          w, [run, w] { run(w); }, Qt::QueuedConnection);
    }
    return 1;
  }
  MsgResult OnCommand(DlgWindow* w, std::uint32_t m, WParam wp, LParam lp, LParam p) override {
    calls.push_back({2, m, wp, lp, p});
    if (endOnCommand && LoWord(wp) == endOnCommand) EndDialog(w, endOnCommand);
    return 0;
  }
  MsgResult OnNotify(DlgWindow*, std::uint32_t m, WParam wp, LParam lp, LParam p) override {
    auto* hdr = reinterpret_cast<NotifyHeader*>(lp);
    SlotCall c{3, m, wp, lp, p, hdr ? hdr->code : 0};
    if (hdr && hdr->code == NM_CLICK) c.notifyItem = reinterpret_cast<ItemActivate*>(hdr)->item;
    if (!hdr || hdr->code != NM_CUSTOMDRAW) calls.push_back(c);
    return 0;
  }
  MsgResult OnSize(DlgWindow*, std::uint32_t m, WParam wp, LParam lp, LParam p) override {
    calls.push_back({4, m, wp, lp, p});
    return 0;
  }
  MsgResult OnDestroy(DlgWindow* w, std::uint32_t m, WParam wp, LParam lp, LParam p) override {
    calls.push_back({5, m, wp, lp, p});
    itemsAliveAtDestroy = w && hwnd == w && w->Client() != nullptr;
    return 0;
  }

  std::vector<SlotCall> Of(int slot) const {
    std::vector<SlotCall> out;
    for (const SlotCall& c : calls)
      if (c.slot == slot) out.push_back(c);
    return out;
  }
};

}  // namespace tarvik::test
