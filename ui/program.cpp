#include "ui/program.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <atomic>

#include "core/platform.h"
#include "resources/dialog_templates.h"
#include "resources/string_ids.h"
#include "ui/dlg_main.h"
#include "ui/framework/dlg_core.h"
#include "ui/main_prompts.h"
#include "ui/ui_resources.h"

namespace tarvik {
namespace {

constexpr int kShutdownTickMs = 50;

std::atomic<bool> g_shutdown{false};
std::atomic<bool> g_outOfMemory{false};

// One step of a shutdown: the innermost window is cancelled as Escape would (the main
// window's Cancel is its Exit; a progress window's stops its task, which then ends it).
void CancelInnermostWindow() {
  QWidget* top = QApplication::activeModalWidget();
  if (auto* window = qobject_cast<DlgWindow*>(top)) {
    if (!window->Ended()) window->SendCommand(IDCANCEL);
  } else if (auto* dialog = qobject_cast<QDialog*>(top)) {
    dialog->reject();  // a file dialog or message box
  }
}

}  // namespace

void RequestShutdown() {
  g_shutdown.store(true);
}

bool ShutdownRequested() {
  return g_shutdown.load();
}

void NoteOutOfMemory() {
  g_outOfMemory.store(true);
  RequestShutdown();
}

int RunWindowedProgram(const EntryOptions& options, MainPrompts* prompts,
                       const std::u16string& startFile) {
  QtPrompts qtPrompts;
  MainPrompts& ask = prompts ? *prompts : qtPrompts;
  CAppContext context;
  ProgramEntry entry(context, options);
  InitUi(context);
  if (int e = entry.defaultsError())
    ask.Warn(nullptr,
             StrLoad(STR_DEFAULTS_UNSAVED, context.iniPath, Utf8ToUtf16(platform::ErrorText(e))));
  if (entry.defaultsRaced()) ask.Warn(nullptr, StrLoad(STR_DEFAULTS_RACED, context.iniPath));
  {
    // A request to end is looked for on the window's thread, a few times a second.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [] {
      if (ShutdownRequested()) CancelInnermostWindow();
    });
    watch.start(kShutdownTickMs);
    CDlgMain main;
    main.context = &context;
    main.templateId = DLG_MAIN;
    main.prompts = prompts;
    main.startFile = startFile;
    RunModal(main, 0);
  }
  entry.Finish();  // writes "Core"/"Seed" and releases the context with its resources
  const bool outOfMemory = g_outOfMemory.exchange(false);
  g_shutdown.store(false);
  if (!outOfMemory) return 0;
  ask.Warn(nullptr, StrLoad(STR_NO_MEMORY));
  return 1;
}

}  // namespace tarvik
