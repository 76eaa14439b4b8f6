#pragma once
// Every window of the program, as a user opens them: the main window with a table loaded and
// a row of each list ticked, the progress window of that task, and each window an item of the
// main menu opens (the editors, the map, the about box, the drive dialog, whatever a new item
// opens), each left with Cancel once seen. The dialog templates that no menu item reaches are
// built bare, so a new template is seen too.
#include <QAction>
#include <QApplication>
#include <QPointer>
#include <functional>
#include <set>

#include "main_window_harness.h"

namespace tarvik::test {

// Sees each window once it is shown: the progress window at once (it may end any moment),
// the others once their start is over and the queue is idle.
class WindowWatcher : public QObject {
 public:
  explicit WindowWatcher(std::function<void(DlgWindow*)> visit) : visit_(std::move(visit)) {
    qApp->installEventFilter(this);
  }
  ~WindowWatcher() override { qApp->removeEventFilter(this); }
  std::set<std::uint32_t> seen;

  bool eventFilter(QObject* watched, QEvent* e) override {
    auto* w = qobject_cast<DlgWindow*>(watched);
    if (!w || e->type() != QEvent::Show || seen.count(w->Template().id)) return false;
    seen.insert(w->Template().id);
    if (w->Template().id == DLG_PROGRESS) {
      visit_(w);
      return false;
    }
    QPointer<DlgWindow> window(w);
    QTimer::singleShot(50, w, [this, window] {
      if (!window || window->Ended()) return;
      visit_(window);
      if (window->Template().id != DLG_MAIN) window->SendCommand(IDCANCEL);
    });
    return false;
  }

 private:
  std::function<void(DlgWindow*)> visit_;
};

inline void ForEveryWindow(const std::function<void(DlgWindow*)>& visit) {
  MainHarness h;
  h.prompts.textAnswers.clear();
  {
    WindowWatcher watcher(visit);
    h.Run([&](DlgWindow* w) {
      QTRY_VERIFY(watcher.seen.count(DLG_MAIN));
      h.prompts.openAnswers.push_back(Utf8ToUtf16(TARVIK_EXAMPLES "/speedcams.txt"));
      w->SendCommand(32773);  // Open
      // A ticked area and type, so that the commands that need them open their windows.
      List(w, IDC_AREA_LIST)->SetCheck(0, true);
      List(w, IDC_TYPE_LIST)->SetCheck(0, true);
      const MenuDef* menu = FindMenu(w->Template().menuId);
      for (const MenuPopupDef& popup : menu->popups)
        for (const MenuItemDef& item : popup.items)
          if (item.id != 0 && item.id != IDM_EXIT && item.id != IDM_OPEN)
            if (QAction* action = w->MenuItem(item.id)) action->trigger();
    });
    for (const DlgTemplateDef& tpl : DialogTemplates()) {
      if (watcher.seen.count(tpl.id)) continue;
      DlgWindow bare(tpl, h.context.get(), nullptr);
      visit(&bare);
    }
  }
}

}  // namespace tarvik::test
