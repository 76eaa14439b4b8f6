#include "ui/framework/dlg_controls.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include "ui/framework/qt_text.h"

namespace tarvik {
namespace {

template <class T>
T* ItemAs(DlgWindow* window, int id) {
  return window ? qobject_cast<T*>(window->Item(id)) : nullptr;
}

std::u16string Cut(std::u16string s, std::size_t maxChars) {
  if (s.size() <= maxChars) return s;
  s.resize(maxChars);
  if (!s.empty() && s.back() >= 0xD800 && s.back() <= 0xDBFF) s.pop_back();
  return s;
}

}  // namespace

bool SetDlgItemText(DlgWindow* window, int id, std::u16string_view text) {
  QWidget* w = window ? window->Item(id) : nullptr;
  if (!w) return false;
  const QString q = ToDisplayLines(ToQString(text));
  if (auto* label = qobject_cast<QLabel*>(w)) {
    label->setText(q);
  } else if (auto* line = qobject_cast<QLineEdit*>(w)) {
    line->setText(q);
  } else if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) {
    edit->setPlainText(q);
  } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    button->setText(q);
  } else {
    return false;
  }
  return true;
}

std::u16string GetDlgItemText(DlgWindow* window, int id, std::size_t maxChars) {
  QWidget* w = window ? window->Item(id) : nullptr;
  if (!w) return {};
  QString q;
  if (auto* label = qobject_cast<QLabel*>(w)) {
    q = label->text();
  } else if (auto* line = qobject_cast<QLineEdit*>(w)) {
    q = line->text();
  } else if (auto* edit = qobject_cast<QPlainTextEdit*>(w)) {
    q = ToStoredLines(edit->toPlainText());
  } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    q = button->text();
  } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
    q = combo->currentText();
  }
  return Cut(FromQString(q), maxChars);
}

void SetDialogTitle(DlgWindow* window, std::u16string_view text) {
  if (window) window->setWindowTitle(ToQString(text));
}

void SetDlgItemFont(DlgWindow* window, int id, const QFont* font) {
  QWidget* w = window ? window->Item(id) : nullptr;
  if (w && font) w->setFont(*font);
}

bool EnableDlgItem(DlgWindow* window, int id, bool enable) {
  QWidget* w = window ? window->Item(id) : nullptr;
  if (!w) return false;
  w->setEnabled(enable);
  return true;
}

bool IsDlgItemEnabled(DlgWindow* window, int id) {
  QWidget* w = window ? window->Item(id) : nullptr;
  return w && w->isEnabled();
}

bool CheckDlgButton(DlgWindow* window, int id, bool checked) {
  auto* box = ItemAs<QCheckBox>(window, id);
  if (!box) return false;
  box->setChecked(checked);
  return true;
}

bool IsDlgButtonChecked(DlgWindow* window, int id) {
  auto* box = ItemAs<QCheckBox>(window, id);
  return box && box->isChecked();
}

bool SetButtonIcon(DlgWindow* window, int id, const QIcon& icon) {
  auto* button = ItemAs<QPushButton>(window, id);
  if (!button) return false;
  button->setText(QString());
  button->setIcon(icon);
  return true;
}

bool SetProgressRange(DlgWindow* window, int id, int low, int high) {
  auto* bar = ItemAs<QProgressBar>(window, id);
  if (!bar) return false;
  bar->setRange(low, high);
  return true;
}

bool SetProgressPos(DlgWindow* window, int id, int pos) {
  auto* bar = ItemAs<QProgressBar>(window, id);
  if (!bar) return false;
  bar->setValue(std::clamp(pos, bar->minimum(), bar->maximum()));
  return true;
}

int ProgressPos(DlgWindow* window, int id) {
  auto* bar = ItemAs<QProgressBar>(window, id);
  return bar ? bar->value() : -1;
}

bool ComboResetContent(DlgWindow* window, int id) {
  auto* combo = ItemAs<QComboBox>(window, id);
  if (!combo) return false;
  combo->clear();
  return true;
}

int ComboAddString(DlgWindow* window, int id, std::u16string_view text, LParam data) {
  auto* combo = ItemAs<QComboBox>(window, id);
  if (!combo) return CB_ERR;
  combo->addItem(ToQString(text), QVariant::fromValue<qlonglong>(data));
  return combo->count() - 1;
}

int ComboGetCount(DlgWindow* window, int id) {
  auto* combo = ItemAs<QComboBox>(window, id);
  return combo ? combo->count() : CB_ERR;
}

bool ComboSetCurSel(DlgWindow* window, int id, int index) {
  auto* combo = ItemAs<QComboBox>(window, id);
  if (!combo) return false;
  if (index < -1 || index >= combo->count()) index = -1;
  combo->setCurrentIndex(index);
  return index >= 0;
}

int ComboGetCurSel(DlgWindow* window, int id) {
  auto* combo = ItemAs<QComboBox>(window, id);
  return combo ? combo->currentIndex() : CB_ERR;
}

LParam ComboGetItemData(DlgWindow* window, int id, int index) {
  auto* combo = ItemAs<QComboBox>(window, id);
  if (!combo || index < 0 || index >= combo->count()) return CB_ERR;
  return static_cast<LParam>(combo->itemData(index).toLongLong());
}

bool SetMenuItemText(DlgWindow* window, int commandId, std::u16string_view text) {
  QAction* a = window ? window->MenuItem(commandId) : nullptr;
  if (!a) return false;
  a->setText(ToQString(text));
  return true;
}

bool SetMenuPopupText(DlgWindow* window, int position, std::u16string_view text) {
  QAction* a = window ? window->MenuPopup(position) : nullptr;
  if (!a) return false;
  a->setText(ToQString(text));
  return true;
}

bool EnableMenuItem(DlgWindow* window, int commandId, bool enable) {
  QAction* a = window ? window->MenuItem(commandId) : nullptr;
  if (!a) return false;
  a->setEnabled(enable);
  return true;
}

bool CheckMenuItem(DlgWindow* window, int commandId, bool checked) {
  QAction* a = window ? window->MenuItem(commandId) : nullptr;
  if (!a) return false;
  a->setCheckable(checked);
  a->setChecked(checked);
  return true;
}

void CenterOverOwner(DlgWindow* window, QWidget* owner) {
  if (!window || !owner) return;
  const QRect o = owner->frameGeometry();
  const QRect d = window->frameGeometry();
  // Integer halving truncates toward zero, as the placement has always been computed.
  window->move(o.x() + o.width() / 2 - d.width() / 2, o.y() + o.height() / 2 - d.height() / 2);
}

}  // namespace tarvik
