#pragma once
// What the dialogs do to their controls: texts, fonts, check boxes, buttons, progress bars,
// drop-down lists and menus, in the program's UTF-16 texts. A dialog names its controls
// (CDlgBoxCore::Control) and hands them here. Each operation does nothing (or answers empty,
// false or kComboNone) when the control is missing or of another kind.
#include <QFont>
#include <QIcon>
#include <QKeySequence>
#include <QList>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ui/framework/dlg_core.h"

class QAction;

namespace tarvik {

// Texts: labels, edits (multi-line ones store CR LF line ends), buttons, check boxes; a
// drop-down list reads as its current item.
bool SetControlText(QWidget* control, std::u16string_view text);
// At most maxChars characters (a surrogate pair is never split).
std::u16string ControlText(const QWidget* control, std::size_t maxChars);
void SetDialogTitle(DlgWindow* window, std::u16string_view text);

void SetControlFont(QWidget* control, const QFont* font);
bool EnableControl(QWidget* control, bool enable);
bool IsControlEnabled(const QWidget* control);

// Check boxes.
bool SetChecked(QWidget* box, bool checked);
bool IsChecked(const QWidget* box);
// Push buttons: the icon instead of the text.
bool SetButtonIcon(QWidget* button, const QIcon& icon);

// Progress bars.
bool SetProgressRange(QWidget* bar, int low, int high);
bool SetProgressPos(QWidget* bar, int pos);
int ProgressPos(const QWidget* bar);  // -1 without a progress bar

// Drop-down lists; each item carries a pointer-sized value.
constexpr int kComboNone = -1;
bool ClearCombo(QWidget* combo);
int AddComboItem(QWidget* combo, std::u16string_view text, std::intptr_t data);  // the index
int ComboCount(const QWidget* combo);
bool SetComboSelection(QWidget* combo, int index);             // -1: none
int ComboSelection(const QWidget* combo);                      // kComboNone: none
std::intptr_t ComboItemData(const QWidget* combo, int index);  // kComboNone for a bad index

// Menu items by command id, popups by position. As in a menu template, "&" marks the next
// character as the caption's mnemonic and "&&" is an ampersand.
bool SetMenuItemText(DlgWindow* window, int commandId, std::u16string_view text);
bool SetMenuPopupText(DlgWindow* window, int position, std::u16string_view text);
// Gives every popup and item caption without a mnemonic one: its first letter or digit that
// no sibling uses yet (popups among popups, items among the items of their popup).
void AssignMenuMnemonics(DlgWindow* window);
// The letter on the same key of the other keyboard layout (Russian ЙЦУКЕН and Latin QWERTY),
// upper case; a null character for none.
QChar SameKeyLetter(QChar c);
// A caption's mnemonic letter, upper case; a null character for none.
QChar MnemonicOf(const QString& caption);
// The action that `letter` reaches although it is no caption's mnemonic: the one whose
// mnemonic lies on the same key of the other layout, or whose caption in the other language
// (`otherCaptions`, by position) gets that letter (or one on its key) by AssignMenuMnemonics'
// rule. So a user on either keyboard layout, who knows either language's menus, gets there.
// Null when the letter is a mnemonic itself or reaches nothing.
QAction* MnemonicTwin(const QList<QAction*>& actions, const std::vector<QString>& otherCaptions,
                      QChar letter);

// The keys that run a menu item, shown beside its caption.
bool SetMenuItemShortcut(DlgWindow* window, int commandId, const QKeySequence& keys);
bool EnableMenuItem(DlgWindow* window, int commandId, bool enable);
bool CheckMenuItem(DlgWindow* window, int commandId, bool checked);

// Moves the dialog so that its centre is over the owner's centre (the size stays).
void CenterOverOwner(DlgWindow* window, QWidget* owner);

}  // namespace tarvik
