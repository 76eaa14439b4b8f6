#pragma once
// Operations on the controls of a dialog, addressed by id: what the dialogs do to their
// texts, check boxes, buttons, progress bars, drop-down lists and menus. Each does nothing
// (or answers empty / false / -1) when the control is missing or of another kind.
#include <QFont>
#include <QIcon>
#include <cstdint>
#include <string>
#include <string_view>

#include "ui/framework/dlg_core.h"

namespace tarvik {

constexpr int CB_ERR = -1;

// Texts: labels, edits (multi-line ones store CR LF line ends), buttons, check boxes.
bool SetDlgItemText(DlgWindow* window, int id, std::u16string_view text);
// At most maxChars characters (a surrogate pair is never split).
std::u16string GetDlgItemText(DlgWindow* window, int id, std::size_t maxChars);
void SetDialogTitle(DlgWindow* window, std::u16string_view text);

void SetDlgItemFont(DlgWindow* window, int id, const QFont* font);
bool EnableDlgItem(DlgWindow* window, int id, bool enable);
bool IsDlgItemEnabled(DlgWindow* window, int id);

bool CheckDlgButton(DlgWindow* window, int id, bool checked);
bool IsDlgButtonChecked(DlgWindow* window, int id);
bool SetButtonIcon(DlgWindow* window, int id, const QIcon& icon);

bool SetProgressRange(DlgWindow* window, int id, int low, int high);
bool SetProgressPos(DlgWindow* window, int id, int pos);
int ProgressPos(DlgWindow* window, int id);  // -1 without a progress bar

// Drop-down lists; item data is a pointer-sized value.
bool ComboResetContent(DlgWindow* window, int id);
int ComboAddString(DlgWindow* window, int id, std::u16string_view text, LParam data);
int ComboGetCount(DlgWindow* window, int id);
bool ComboSetCurSel(DlgWindow* window, int id, int index);      // -1: no selection
int ComboGetCurSel(DlgWindow* window, int id);                  // CB_ERR: none
LParam ComboGetItemData(DlgWindow* window, int id, int index);  // CB_ERR for a bad index

// Menu items by command id, popups by position.
bool SetMenuItemText(DlgWindow* window, int commandId, std::u16string_view text);
bool SetMenuPopupText(DlgWindow* window, int position, std::u16string_view text);
bool EnableMenuItem(DlgWindow* window, int commandId, bool enable);
bool CheckMenuItem(DlgWindow* window, int commandId, bool checked);

// Moves the dialog so that its centre is over the owner's centre (the size stays).
void CenterOverOwner(DlgWindow* window, QWidget* owner);

}  // namespace tarvik
