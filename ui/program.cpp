#include "ui/program.h"

#include "core/text.h"
#include "ui/framework/dlg_controls.h"
#include "ui/ui_resources.h"

namespace tarvik {
namespace {

constexpr std::uint32_t kMainTemplate = 129;
constexpr std::uint32_t kTitle = 103;
constexpr std::uint16_t kCommandExit = 32771;
constexpr char16_t kVersion[] = u"" TARVIK_VERSION;
constexpr char16_t kEdition[] = u"Beta";

// Template 129 with its title, icon and menu, and a way out (Exit, Escape, the close box),
// until the main window with its lists and commands takes its place.
class MainWindowShell : public CDlgBoxCore {
 public:
  MsgResult OnInitDialog(DlgWindow* window, std::uint32_t, WParam, LParam, LParam) override {
    SetDialogTitle(window, StrLoad(kTitle, kVersion, kEdition));
    if (const UiResources* ui = Ui(context)) window->setWindowIcon(ui->Icon(131));
    return 1;
  }
  MsgResult OnCommand(DlgWindow* window, std::uint32_t, WParam wParam, LParam, LParam) override {
    if (LoWord(wParam) == IDCANCEL || LoWord(wParam) == kCommandExit) PostEndMessage(window, 2);
    return 0;
  }
};

}  // namespace

int RunWindowedProgram(const EntryOptions& options) {
  CAppContext context;
  ProgramEntry entry(context, options);
  InitUi(context);
  {
    MainWindowShell main;
    main.context = &context;
    main.templateId = kMainTemplate;
    RunModal(main, 0);
  }
  entry.Finish();  // writes "Core"/"Seed" and releases the context with its resources
  return 0;
}

}  // namespace tarvik
