#include "ui/dlg_about.h"

#include "core/text.h"
#include "resources/string_ids.h"
#include "ui/framework/dlg_controls.h"

namespace tarvik {
namespace {

constexpr char16_t kVersion[] = u"" TARVIK_VERSION;
constexpr char16_t kEdition[] = u"Beta";

constexpr ListColumn kDriveColumns[] = {{STR_COLUMN_MARK, 30}, {STR_COLUMN_NAME, -100}};

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

void CDlgDrive::OnInitDialog(DlgWindow* window, const DlgStart&, DlgParam param) {
  if (!Open(window, param)) return;
  SetControlText(Control(IDC_SAVE), StrLoad(STR_SAVE));
  SetControlText(Control(IDOK), StrLoad(STR_OK));
  SetControlText(Control(IDCANCEL), StrLoad(STR_CANCEL));
  list_.SetUp(context, window, {IDC_LIST, 0, 0, kDriveColumns});
}

void CDlgDrive::OnCommand(DlgWindow* window, const DlgCommand& command, DlgParam) {
  if (!context) return;
  if (command.id == IDOK || command.id == IDCANCEL)
    PostEndMessage(window, static_cast<std::uint32_t>(command.id));
}

void CDlgDrive::OnNotify(DlgWindow*, const DlgNotify& notify, DlgParam) {
  if (context && notify.id == IDC_LIST && notify.code == NotifyCode::Click)
    selectedRow = notify.item;
}

void CDlgDrive::OnDestroy(DlgWindow* window, DlgParam param) {
  list_.Release();
  CDlgParams::OnDestroy(window, param);
}

}  // namespace tarvik
