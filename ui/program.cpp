#include "ui/program.h"

#include "resources/dialog_templates.h"
#include "ui/dlg_main.h"
#include "ui/ui_resources.h"

namespace tarvik {

int RunWindowedProgram(const EntryOptions& options) {
  CAppContext context;
  ProgramEntry entry(context, options);
  InitUi(context);
  {
    CDlgMain main;
    main.context = &context;
    main.templateId = DLG_MAIN;
    RunModal(main, 0);
  }
  entry.Finish();  // writes "Core"/"Seed" and releases the context with its resources
  return 0;
}

}  // namespace tarvik
