#include "ui/dlg_about.h"

#include "core/text.h"
#include "resources/string_ids.h"
#include "ui/framework/dlg_controls.h"

namespace tarvik {
namespace {

constexpr char16_t kVersion[] = u"" TARVIK_VERSION;
constexpr char16_t kEdition[] = u"Beta";

}  // namespace

void CDlgAbout::OnInitDialog(DlgWindow* window, const DlgStart&, DlgParam param) {
  if (!Open(window, param)) return;
  SetControlText(Control(IDC_HEADLINE), StrLoad(STR_ABOUT_HEADLINE));
  SetControlText(Control(IDC_TEXT), StrLoad(STR_ABOUT_TEXT, kVersion, kEdition) + u"\r\n\r\n" +
                                        StrLoad(STR_ABOUT_SOURCES));
  SetControlText(Control(IDOK), StrLoad(STR_OK));
}

void CDlgAbout::OnCommand(DlgWindow* window, const DlgCommand& command, DlgParam) {
  if (context && (command.id == IDOK || command.id == IDCANCEL))
    PostEndMessage(window, static_cast<std::uint32_t>(command.id));
}

}  // namespace tarvik
