#include "ui/framework/dlg_controls.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

#include "ui/framework/qt_text.h"

namespace tarvik {
namespace {

template <class T>
T* As(QWidget* control) {
  return qobject_cast<T*>(control);
}
template <class T>
const T* As(const QWidget* control) {
  return qobject_cast<const T*>(control);
}

std::u16string Cut(std::u16string s, std::size_t maxChars) {
  if (s.size() <= maxChars) return s;
  s.resize(maxChars);
  if (!s.empty() && s.back() >= 0xD800 && s.back() <= 0xDBFF) s.pop_back();
  return s;
}

}  // namespace

bool SetControlText(QWidget* control, std::u16string_view text) {
  if (!control) return false;
  const QString q = ToDisplayLines(ToQString(text));
  if (auto* label = As<QLabel>(control)) {
    label->setText(q);
  } else if (auto* line = As<QLineEdit>(control)) {
    line->setText(q);
  } else if (auto* edit = As<QPlainTextEdit>(control)) {
    edit->setPlainText(q);
  } else if (auto* button = As<QAbstractButton>(control)) {
    button->setText(q);
  } else {
    return false;
  }
  return true;
}

std::u16string ControlText(const QWidget* control, std::size_t maxChars) {
  if (!control) return {};
  QString q;
  if (auto* label = As<QLabel>(control)) {
    q = label->text();
  } else if (auto* line = As<QLineEdit>(control)) {
    q = line->text();
  } else if (auto* edit = As<QPlainTextEdit>(control)) {
    q = ToStoredLines(edit->toPlainText());
  } else if (auto* button = As<QAbstractButton>(control)) {
    q = button->text();
  } else if (auto* combo = As<QComboBox>(control)) {
    q = combo->currentText();
  }
  return Cut(FromQString(q), maxChars);
}

void SetDialogTitle(DlgWindow* window, std::u16string_view text) {
  if (window) window->setWindowTitle(ToQString(text));
}

void SetControlFont(QWidget* control, const QFont* font) {
  if (control && font) control->setFont(*font);
}

bool EnableControl(QWidget* control, bool enable) {
  if (!control) return false;
  control->setEnabled(enable);
  return true;
}

bool IsControlEnabled(const QWidget* control) {
  return control && control->isEnabled();
}

bool SetChecked(QWidget* box, bool checked) {
  auto* check = As<QAbstractButton>(box);
  if (!check || !check->isCheckable()) return false;
  check->setChecked(checked);
  return true;
}

bool IsChecked(const QWidget* box) {
  auto* check = As<QAbstractButton>(box);
  return check && check->isCheckable() && check->isChecked();
}

bool SetButtonIcon(QWidget* button, const QIcon& icon) {
  auto* push = As<QPushButton>(button);
  if (!push) return false;
  push->setText(QString());
  push->setIcon(icon);
  return true;
}

bool SetProgressRange(QWidget* bar, int low, int high) {
  auto* progress = As<QProgressBar>(bar);
  if (!progress) return false;
  progress->setRange(low, high);
  return true;
}

bool SetProgressPos(QWidget* bar, int pos) {
  auto* progress = As<QProgressBar>(bar);
  if (!progress) return false;
  progress->setValue(std::clamp(pos, progress->minimum(), progress->maximum()));
  return true;
}

int ProgressPos(const QWidget* bar) {
  auto* progress = As<QProgressBar>(bar);
  return progress ? progress->value() : -1;
}

bool ClearCombo(QWidget* combo) {
  auto* box = As<QComboBox>(combo);
  if (!box) return false;
  box->clear();
  return true;
}

int AddComboItem(QWidget* combo, std::u16string_view text, std::intptr_t data) {
  auto* box = As<QComboBox>(combo);
  if (!box) return kComboNone;
  box->addItem(ToQString(text), QVariant::fromValue<qlonglong>(data));
  return box->count() - 1;
}

int ComboCount(const QWidget* combo) {
  auto* box = As<QComboBox>(combo);
  return box ? box->count() : kComboNone;
}

bool SetComboSelection(QWidget* combo, int index) {
  auto* box = As<QComboBox>(combo);
  if (!box) return false;
  if (index < -1 || index >= box->count()) index = -1;
  box->setCurrentIndex(index);
  return index >= 0;
}

int ComboSelection(const QWidget* combo) {
  auto* box = As<QComboBox>(combo);
  return box ? box->currentIndex() : kComboNone;
}

std::intptr_t ComboItemData(const QWidget* combo, int index) {
  auto* box = As<QComboBox>(combo);
  if (!box || index < 0 || index >= box->count()) return kComboNone;
  return static_cast<std::intptr_t>(box->itemData(index).toLongLong());
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

namespace {

// The position of the caption's mnemonic character ("&x"), or -1.
int MnemonicAt(const QString& text) {
  for (int i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != QLatin1Char('&')) continue;
    if (text[i + 1] != QLatin1Char('&')) return i + 1;
    ++i;  // "&&": a literal ampersand
  }
  return -1;
}

// Where a caption without a mnemonic gets one: its first letter or digit not `taken` (lower
// case; the letter is added), or -1.
int PickMnemonic(const QString& text, QString& taken) {
  for (int i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('&')) {
      ++i;  // the second of "&&"
      continue;
    }
    const QChar c = text[i].toLower();
    if (!c.isLetterOrNumber() || taken.contains(c)) continue;
    taken += c;
    return i;
  }
  return -1;
}

void AssignMnemonics(const QList<QAction*>& actions) {
  QString taken;  // lower case
  for (const QAction* a : actions)
    if (int at = MnemonicAt(a->text()); at >= 0) taken += a->text()[at].toLower();
  for (QAction* a : actions) {
    const QString text = a->text();
    if (a->isSeparator() || MnemonicAt(text) >= 0) continue;
    if (const int i = PickMnemonic(text, taken); i >= 0)
      a->setText(text.left(i) + QLatin1Char('&') + text.mid(i));
  }
}

// The keys of the Russian layout (ЙЦУКЕН) and the Latin one (QWERTY), key by key.
constexpr char16_t kCyrillicKeys[] = u"ЙЦУКЕНГШЩЗХЪФЫВАПРОЛДЖЭЯЧСМИТЬБЮЁ";
constexpr char16_t kLatinKeys[] = u"QWERTYUIOP[]ASDFGHJKL;'ZXCVBNM,.`";

}  // namespace

QChar SameKeyLetter(QChar c) {
  const char16_t u = c.toUpper().unicode();
  for (std::size_t i = 0; kCyrillicKeys[i]; ++i) {
    if (kCyrillicKeys[i] == u) return QChar(kLatinKeys[i]);
    if (kLatinKeys[i] == u) return QChar(kCyrillicKeys[i]);
  }
  return {};
}

QChar MnemonicOf(const QString& caption) {
  const int at = MnemonicAt(caption);
  return at >= 0 ? caption[at].toUpper() : QChar();
}

QAction* MnemonicTwin(const QList<QAction*>& actions, const std::vector<QString>& otherCaptions,
                      QChar letter) {
  letter = letter.toUpper();
  if (letter.isNull()) return nullptr;
  // The other language's mnemonics, by the same rule.
  std::vector<QChar> other(static_cast<std::size_t>(actions.size()));
  QString taken;
  for (std::size_t i = 0; i < other.size() && i < otherCaptions.size(); ++i)
    if (const int at = PickMnemonic(otherCaptions[i], taken); at >= 0)
      other[i] = otherCaptions[i][at].toUpper();
  for (const QAction* a : actions)
    if (MnemonicOf(a->text()) == letter) return nullptr;  // a mnemonic of its own
  for (qsizetype i = 0; i < actions.size(); ++i) {
    QAction* a = actions[i];
    if (a->isSeparator() || !a->isEnabled()) continue;
    const QChar own = MnemonicOf(a->text()), alt = other[static_cast<std::size_t>(i)];
    if ((!own.isNull() && SameKeyLetter(own) == letter) || (!alt.isNull() && alt == letter) ||
        (!alt.isNull() && SameKeyLetter(alt) == letter))
      return a;
  }
  return nullptr;
}

void AssignMenuMnemonics(DlgWindow* window) {
  if (!window) return;
  QList<QAction*> popups;
  for (int i = 0; QAction* popup = window->MenuPopup(i); ++i) {
    popups << popup;
    if (popup->menu()) AssignMnemonics(popup->menu()->actions());
  }
  AssignMnemonics(popups);
}

bool SetMenuItemShortcut(DlgWindow* window, int commandId, const QKeySequence& keys) {
  QAction* a = window ? window->MenuItem(commandId) : nullptr;
  if (!a) return false;
  a->setShortcut(keys);
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
