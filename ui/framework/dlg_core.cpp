#include "ui/framework/dlg_core.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QStyleFactory>
#include <algorithm>
#include <functional>
#include <memory>
#include <span>

#include "core/language.h"
#include "resources/dialog_templates.h"
#include "ui/framework/dlg_controls.h"
#include "ui/framework/list_view.h"
#include "ui/framework/qt_text.h"
#include "ui/ui_resources.h"

namespace tarvik {
namespace {

// a * b / c rounded half away from zero, as dialog units have always been converted.
int MulDiv(int a, int b, int c) {
  if (c == 0) return 0;
  long long p = static_cast<long long>(a) * b;
  long long half = c / 2;
  return static_cast<int>((p >= 0 ? p + half : p - half) / c);
}

// The end message, queued for the window: it ends the dialog with the low 16 bits of `code`
// (the result word of the classic end message; the high bits are not the result's).
class EndMessage : public QEvent {
 public:
  explicit EndMessage(std::uint32_t code) : QEvent(Kind()), code(code) {}
  static QEvent::Type Kind() {
    static const QEvent::Type kind = static_cast<QEvent::Type>(QEvent::registerEventType());
    return kind;
  }
  int Result() const { return static_cast<int>(code & 0xFFFF); }
  std::uint32_t code;
};

// Multi-line edits hand Enter to the dialog unless the template asks for new lines, and Tab
// always moves on, as dialog edits do.
class EnterToDialog : public QObject {
 public:
  EnterToDialog(QObject* parent, std::function<void()> press)
      : QObject(parent), press_(std::move(press)) {}
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() != QEvent::KeyPress) return false;
    auto* k = static_cast<QKeyEvent*>(e);
    if ((k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) &&
        !(k->modifiers() & Qt::ControlModifier)) {
      press_();
      return true;
    }
    return false;
  }

 private:
  std::function<void()> press_;
};

// The caption of string `id` in the language the program does not run in.
QString OtherLanguageText(std::uint32_t id) {
  const Language other =
      CurrentLanguage() == Language::Russian ? Language::English : Language::Russian;
  const char16_t* text = id ? FindString(id, other) : nullptr;
  return text ? ToQString(std::u16string_view(text)) : QString();
}

// The letter a key event types, upper case: a Latin letter by its key, anything else by its
// text (Cyrillic keys are their letters).
QChar TypedLetter(const QKeyEvent* e) {
  if (e->key() >= Qt::Key_A && e->key() <= Qt::Key_Z) return QChar(e->key());
  if (!e->text().isEmpty()) return e->text().front().toUpper();
  if (e->key() > 0 && e->key() < 0xFFFF) return QChar(e->key()).toUpper();
  return {};
}

// A letter typed in an open menu that is no item's mnemonic but reaches one as its twin
// (MnemonicTwin) runs that item as its own letter would.
class MenuTwins : public QObject {
 public:
  MenuTwins(QMenu* menu, std::vector<QString> otherCaptions)
      : QObject(menu), menu_(menu), other_(std::move(otherCaptions)) {}
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() != QEvent::KeyPress) return false;
    auto* k = static_cast<QKeyEvent*>(e);
    if (k->modifiers() & ~(Qt::ShiftModifier | Qt::AltModifier | Qt::KeypadModifier)) return false;
    QAction* twin = MnemonicTwin(menu_->actions(), other_, TypedLetter(k));
    if (!twin) return false;
    menu_->setActiveAction(twin);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(menu_, &enter);
    return true;
  }

 private:
  QMenu* menu_;
  std::vector<QString> other_;
};

// Alt pressed and released alone puts the menu bar into keyboard mode, as on Windows, also
// where the desktop's style leaves that off.
class MenuBarStyle : public QProxyStyle {
 public:
  MenuBarStyle() : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* data) const override {
    if (hint == SH_MenuBar_AltKeyNavigation) return 1;
    return QProxyStyle::styleHint(hint, option, widget, data);
  }
};

}  // namespace

// ---- base slots: do nothing ----

void CDlgBoxCore::OnInitDialog(DlgWindow*, const DlgStart&, DlgParam) {}
void CDlgBoxCore::OnCommand(DlgWindow*, const DlgCommand&, DlgParam) {}
void CDlgBoxCore::OnNotify(DlgWindow*, const DlgNotify&, DlgParam) {}
void CDlgBoxCore::OnSize(DlgWindow*, const DlgSize&, DlgParam) {}
void CDlgBoxCore::OnDestroy(DlgWindow*, DlgParam) {}

// ---- running a dialog ----

void EndDialog(DlgWindow* window, int result) {
  if (window) window->End(result);
}

void PostEndMessage(DlgWindow* window, std::uint32_t code) {
  if (!window) return;
  // Qt owns a posted event from here on.
  QCoreApplication::postEvent(window, std::make_unique<EndMessage>(code).release());
}

int DialogBoxParam(CAppContext* context, std::uint32_t templateId, QWidget* owner,
                   DlgStart* start) {
  const DlgTemplateDef* tpl = FindDialogTemplate(templateId);
  if (!tpl) return -1;
  DlgWindow window(*tpl, context, owner);
  window.SendStart(start);
  int result = window.RunLoop();
  window.SendDestroy();
  return result;
}

int RunModal(CDlgBoxCore& dialog, DlgParam param) {
  if (!dialog.context || !dialog.templateId) return -1;
  DlgStart start{&dialog, dialog.context, param};
  return DialogBoxParam(dialog.context, dialog.templateId, dialog.owner, &start);
}

void DlgWindow::SendStart(DlgStart* start) {
  start_ = start;
  if (CDlgBoxCore* dialog = Dialog()) {
    dialog->hwnd = this;
    dialog->OnInitDialog(this, *start, start->param);
  }
}

void DlgWindow::SendDestroy() {
  if (CDlgBoxCore* dialog = Dialog()) {
    dialog->OnDestroy(this, Param());
    // The handle must not outlive the window.
    if (dialog->hwnd == this) dialog->hwnd = nullptr;
  }
  start_ = nullptr;
}

void DlgWindow::SendCommand(const DlgCommand& command) {
  if (CDlgBoxCore* dialog = Dialog()) {
    dialog->OnCommand(this, command, Param());
  } else if (command.id == IDOK || command.id == IDCANCEL) {
    End(command.id);
  }
}

void DlgWindow::SendNotify(const DlgNotify& notify) {
  if (CDlgBoxCore* dialog = Dialog()) dialog->OnNotify(this, notify, Param());
}

void DlgWindow::SendSize(const DlgSize& size) {
  if (CDlgBoxCore* dialog = Dialog()) dialog->OnSize(this, size, Param());
}

// ---- the window ----

DlgWindow::DlgWindow(const DlgTemplateDef& tpl, CAppContext* context, QWidget* owner)
    : QDialog(owner), tpl_(&tpl), context_(context) {
  Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint;
  if ((tpl.style & WS_CAPTION) == WS_CAPTION) {
    flags |= Qt::WindowTitleHint;
    if (tpl.style & WS_SYSMENU) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  } else {
    flags |= Qt::FramelessWindowHint;
  }
  setWindowFlags(flags);
  setModal(true);

  QFont font(ToQString(tpl.fontName ? std::u16string_view(tpl.fontName) : u""));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(tpl.pointSize ? tpl.pointSize : 8);
  setFont(font);
  // The dialog unit: a quarter of the average character width and an eighth of the
  // character height of the dialog font, so the layout follows the font actually used.
  QFontMetrics fm(font);
  int width =
      fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  base_ = QSize(std::max(1, (width / 26 + 1) / 2), std::max(1, fm.height()));

  Build();
}

DlgWindow::~DlgWindow() = default;

int DlgWindow::UnitsX(int units) const {
  return MulDiv(units, base_.width(), 4);
}
int DlgWindow::UnitsY(int units) const {
  return MulDiv(units, base_.height(), 8);
}

QRect DlgWindow::UnitsRect(int x, int y, int cx, int cy) const {
  int left = UnitsX(x), top = UnitsY(y);
  return QRect(left, top, UnitsX(x + cx) - left, UnitsY(y + cy) - top);
}

void DlgWindow::Build() {
  client_ = new QWidget(this);  // owned by the window, as every control below
  client_->setObjectName(QStringLiteral("client"));
  client_->installEventFilter(this);
  if (tpl_->menuId) BuildMenu();
  if (tpl_->titleId) setWindowTitle(LoadQString(tpl_->titleId));
  std::vector<QWidget*> made;  // by template row
  for (const DlgControlDef& def : tpl_->controls) {
    QWidget* control = CreateControl(def);
    made.push_back(control);
    if (!control) continue;
    items_.push_back({def.id == kNoControlId ? -1 : def.id, control});
  }
  NameControls(made);
  QSize client(UnitsX(tpl_->cx), UnitsY(tpl_->cy));
  int border = (tpl_->style & WS_CAPTION) != WS_CAPTION && (tpl_->style & WS_BORDER) ? 1 : 0;
  int menuHeight = menuBar_ ? menuBar_->sizeHint().height() : 0;
  QSize total(client.width() + 2 * border, client.height() + 2 * border + menuHeight);
  if (tpl_->style & WS_THICKFRAME) {
    resize(total);
  } else {
    setFixedSize(total);
  }
  client_->setGeometry(border, border + menuHeight, client.width(), client.height());
  if (menuBar_) menuBar_->setGeometry(border, border, client.width(), menuHeight);
}

void DlgWindow::BuildMenu() {
  const MenuDef* menu = FindMenu(tpl_->menuId);
  if (!menu) return;
  menuBar_ = new QMenuBar(this);
  menuBar_->setNativeMenuBar(false);
  auto* style = new MenuBarStyle;
  style->setParent(menuBar_);  // goes with the bar
  menuBar_->setStyle(style);
  // F10 opens the first popup.
  auto* f10 = new QShortcut(QKeySequence(Qt::Key_F10), this);
  connect(f10, &QShortcut::activated, this, [this] {
    if (!popups_.empty()) menuBar_->setActiveAction(popups_.front());
  });
  for (const MenuPopupDef& popup : menu->popups) {
    QMenu* sub = menuBar_->addMenu(LoadQString(popup.textId));
    popups_.push_back(sub->menuAction());
    popupsOther_.push_back(OtherLanguageText(popup.textId));
    std::vector<QString> itemsOther;
    for (const MenuItemDef& item : popup.items)
      itemsOther.push_back(OtherLanguageText(item.textId));
    sub->installEventFilter(new MenuTwins(sub, std::move(itemsOther)));  // owned by the menu
    for (const MenuItemDef& item : popup.items) {
      if (item.id == 0) {
        sub->addSeparator();
        continue;
      }
      QAction* action = sub->addAction(LoadQString(item.textId));
      const std::uint16_t id = item.id;
      connect(action, &QAction::triggered, this, [this, id] { SendCommand(id); });
      menuItems_.emplace_back(id, action);
    }
  }
}

QWidget* DlgWindow::CreateControl(const DlgControlDef& def) {
  const QRect rect = UnitsRect(def.x, def.y, def.cx, def.cy);
  const UiResources* ui = Ui(context_);
  const int id = def.id == kNoControlId ? -1 : def.id;
  const QString text = def.textId ? ToDisplayLines(LoadQString(def.textId)) : QString();
  QWidget* control = nullptr;

  switch (def.cls) {
    case CtlClass::Button: {
      const std::uint32_t kind = def.style & BS_TYPEMASK;
      if (kind == BS_AUTOCHECKBOX && (def.style & BS_PUSHLIKE)) {
        // A tool that stays pressed while it is on.
        auto* tool = new QPushButton(text, client_);
        tool->setCheckable(true);
        tool->setAutoDefault(false);
        connect(tool, &QPushButton::clicked, this,
                [this, id, tool] { SendCommand(id, CommandCode::Clicked, tool); });
        control = tool;
      } else if (kind == BS_AUTOCHECKBOX) {
        auto* box = new QCheckBox(text, client_);
        connect(box, &QCheckBox::clicked, this,
                [this, id, box] { SendCommand(id, CommandCode::Clicked, box); });
        control = box;
      } else {
        auto* button = new QPushButton(text, client_);
        button->setAutoDefault(false);
        if (kind == BS_DEFPUSHBUTTON) {
          button->setDefault(true);
          defaultButton_ = id;
        }
        if ((def.style & BS_ICON) && ui) {
          button->setText(QString());
          button->setIcon(ui->Icon(def.iconId));
          button->setIconSize(ui->smallIconSize);
        }
        connect(button, &QPushButton::clicked, this,
                [this, id, button] { SendCommand(id, CommandCode::Clicked, button); });
        control = button;
      }
      break;
    }
    case CtlClass::Static: {
      const std::uint32_t kind = def.style & SS_TYPEMASK;
      if (kind == SS_ETCHEDFRAME || kind == SS_ETCHEDHORZ || kind == SS_ETCHEDVERT) {
        auto* frame = new QFrame(client_);
        frame->setFrameShape(kind == SS_ETCHEDFRAME  ? QFrame::Box
                             : kind == SS_ETCHEDHORZ ? QFrame::HLine
                                                     : QFrame::VLine);
        frame->setFrameShadow(QFrame::Sunken);
        control = frame;
      } else {
        auto* label = new QLabel(client_);
        label->setTextFormat(Qt::PlainText);
        if (kind == SS_ICON) {
          QSize size = ui ? (def.largeIcon ? ui->largeIconSize : ui->smallIconSize) : QSize(16, 16);
          if (ui) label->setPixmap(ui->Icon(def.iconId).pixmap(size));
          label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        } else {
          Qt::Alignment h = kind == SS_CENTER  ? Qt::AlignHCenter
                            : kind == SS_RIGHT ? Qt::AlignRight
                                               : Qt::AlignLeft;
          bool single = def.style & SS_CENTERIMAGE;
          label->setAlignment(h | (single ? Qt::AlignVCenter : Qt::AlignTop));
          label->setWordWrap(!single);
          label->setText(text);
        }
        control = label;
      }
      break;
    }
    case CtlClass::Edit: {
      if (def.style & ES_MULTILINE) {
        auto* edit = new QPlainTextEdit(client_);
        edit->setReadOnly(def.style & ES_READONLY);
        edit->setTabChangesFocus(true);
        edit->setVerticalScrollBarPolicy((def.style & WS_VSCROLL) ? Qt::ScrollBarAlwaysOn
                                                                  : Qt::ScrollBarAlwaysOff);
        edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        if (!(def.style & WS_BORDER)) edit->setFrameShape(QFrame::NoFrame);
        edit->setPlainText(text);
        if (!(def.style & ES_WANTRETURN))
          edit->installEventFilter(new EnterToDialog(edit, [this] { PressEnter(); }));
        control = edit;
      } else {
        auto* edit = new QLineEdit(text, client_);
        edit->setReadOnly(def.style & ES_READONLY);
        edit->setFrame(def.style & WS_BORDER);
        control = edit;
      }
      break;
    }
    case CtlClass::ComboBox: {
      auto* combo = new QComboBox(client_);
      const int height = combo->sizeHint().height();
      const int itemHeight = std::max(1, combo->fontMetrics().height() + 2);
      combo->setMaxVisibleItems(std::max(1, (rect.height() - height) / itemHeight));
      connect(combo, &QComboBox::activated, this,
              [this, id, combo](int) { SendCommand(id, CommandCode::SelectionChanged, combo); });
      combo->setGeometry(rect.x(), rect.y(), rect.width(), height);
      control = combo;
      break;
    }
    case CtlClass::ListView: {
      auto* list = new ListViewWidget(id, client_);
      if (!(def.style & WS_BORDER)) list->setFrameShape(QFrame::NoFrame);
      if (def.style & LVS_SINGLESEL) list->setSelectionMode(QAbstractItemView::SingleSelection);
      WireList(id, list);
      control = list;
      break;
    }
    case CtlClass::Progress: {
      auto* bar = new QProgressBar(client_);
      bar->setRange(0, 100);
      bar->setValue(0);
      bar->setTextVisible(false);
      control = bar;
      break;
    }
  }
  if (!control) return nullptr;
  if (def.cls != CtlClass::ComboBox) control->setGeometry(rect);
  if (def.style & WS_DISABLED) control->setEnabled(false);
  if (def.cls != CtlClass::Static && def.cls != CtlClass::Progress)
    control->setFocusPolicy((def.style & WS_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus);
  if (id >= 0) control->setObjectName(QStringLiteral("ctl%1").arg(id));
  return control;
}

void DlgWindow::NameControls(const std::vector<QWidget*>& made) {
  const std::span<const DlgControlDef> defs = tpl_->controls;
  for (std::size_t i = 0; i < defs.size() && i < made.size(); ++i) {
    QWidget* control = made[i];
    if (!control) continue;
    const DlgControlDef& def = defs[i];
    // A field is labelled by the text right before it, as dialog templates have always
    // placed them: the label becomes its buddy, which is what names it.
    QLabel* label = nullptr;
    if ((def.cls == CtlClass::Edit || def.cls == CtlClass::ComboBox) && i > 0 &&
        defs[i - 1].cls == CtlClass::Static) {
      const std::uint32_t kind = defs[i - 1].style & SS_TYPEMASK;
      if (kind == SS_LEFT || kind == SS_CENTER || kind == SS_RIGHT)
        label = qobject_cast<QLabel*>(made[i - 1]);
    }
    if (label) label->setBuddy(control);
    if (!def.nameId) continue;
    QString name = LoadQString(def.nameId);
    if (label) name = label->text() + QStringLiteral(", ") + name;
    control->setAccessibleName(name);
    if (def.cls == CtlClass::Button && (def.style & BS_ICON)) control->setToolTip(name);
  }
}

QWidget* DlgWindow::Item(int id) const {
  for (const Entry& e : items_)
    if (e.id == id) return e.control;
  return nullptr;
}

int DlgWindow::ItemId(const QWidget* control) const {
  for (const Entry& e : items_)
    if (e.control == control) return e.id;
  return -1;
}

void DlgWindow::AddItem(int id, QWidget* control) {
  if (!control) return;
  if (control->parentWidget() != client_) control->setParent(client_);
  WireList(id, control);
  items_.push_back({id, control});
}

void DlgWindow::WireList(int id, QWidget* control) {
  auto* list = qobject_cast<ListViewWidget*>(control);
  if (!list) return;
  connect(list, &ListViewWidget::Clicked, this, [this, id, list](int item, int subItem) {
    SendNotify({id, NotifyCode::Click, list, item, subItem});
  });
}

QAction* DlgWindow::MenuItem(int commandId) const {
  for (const auto& [id, action] : menuItems_)
    if (id == commandId) return action;
  return nullptr;
}

QAction* DlgWindow::MenuPopup(int position) const {
  if (position < 0 || position >= static_cast<int>(popups_.size())) return nullptr;
  return popups_[static_cast<std::size_t>(position)];
}

int DlgWindow::RunLoop() {
  if (ended_) return result();
  setResult(0);
  show();
  // Our own loop rather than exec(): the dialog must end on its end result even when it is
  // hidden or minimised at that moment.
  QEventLoop loop;
  loop_ = &loop;
  if (!ended_) loop.exec(QEventLoop::DialogExec);
  loop_ = nullptr;
  hide();
  return result();
}

void DlgWindow::End(int result) {
  ended_ = true;
  setResult(result);
  if (loop_) loop_->exit();
}

void DlgWindow::SendCancel() {
  // A disabled Cancel button means cancelling is not possible right now, whatever the key.
  QWidget* cancel = Item(IDCANCEL);
  if (cancel && !cancel->isEnabled()) return;
  SendCommand(IDCANCEL, CommandCode::Clicked, cancel);
}

void DlgWindow::PressEnter() {
  auto* focused = qobject_cast<QPushButton*>(focusWidget());
  if (focused && focused->isEnabled() && ItemId(focused) >= 0) {
    focused->click();
    return;
  }
  if (defaultButton_ >= 0) {
    QWidget* button = Item(defaultButton_);
    if (!button || button->isEnabled()) SendCommand(defaultButton_, CommandCode::Clicked, button);
    return;
  }
  SendCommand(IDOK, CommandCode::Clicked, Item(IDOK));
}

void DlgWindow::SendClientSize() {
  if (minimized_) {
    SendSize({SizeKind::Minimized, 0, 0});
    return;
  }
  SendSize({isMaximized() ? SizeKind::Maximized : SizeKind::Restored,
            std::clamp(client_->width(), 0, 0xFFFF), std::clamp(client_->height(), 0, 0xFFFF)});
}

bool DlgWindow::event(QEvent* e) {
  if (e->type() == EndMessage::Kind()) {
    End(static_cast<EndMessage*>(e)->Result());
    return true;
  }
  return QDialog::event(e);
}

bool DlgWindow::eventFilter(QObject* watched, QEvent* e) {
  if (watched == client_ && e->type() == QEvent::Resize) SendClientSize();
  return QDialog::eventFilter(watched, e);
}

void DlgWindow::keyPressEvent(QKeyEvent* e) {
  // Alt and a letter that no popup has as its mnemonic: the popup it reaches as a twin (the
  // same key in the other layout, or the popup's mnemonic in the other language).
  if (menuBar_ && (e->modifiers() & ~Qt::KeypadModifier) == Qt::AltModifier) {
    const QList<QAction*> popups(popups_.begin(), popups_.end());
    if (QAction* popup = MnemonicTwin(popups, popupsOther_, TypedLetter(e))) {
      menuBar_->setActiveAction(popup);
      e->accept();
      return;
    }
  }
  if (e->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier)) {
    QWidget::keyPressEvent(e);
    return;
  }
  switch (e->key()) {
    case Qt::Key_Escape:
      SendCancel();
      e->accept();
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      PressEnter();
      e->accept();
      return;
    default:
      QWidget::keyPressEvent(e);
  }
}

void DlgWindow::closeEvent(QCloseEvent* e) {
  // The close box asks like Cancel does; only the dialog decides to end.
  e->ignore();
  SendCancel();
}

void DlgWindow::reject() {
  SendCancel();
}

void DlgWindow::changeEvent(QEvent* e) {
  if (e->type() == QEvent::WindowStateChange) {
    const bool minimized = isMinimized();
    if (minimized != minimized_) {
      minimized_ = minimized;
      SendClientSize();
    }
  }
  QDialog::changeEvent(e);
}

void DlgWindow::resizeEvent(QResizeEvent* e) {
  QDialog::resizeEvent(e);
  const int border = (tpl_->style & WS_CAPTION) != WS_CAPTION && (tpl_->style & WS_BORDER) ? 1 : 0;
  const int menuHeight = menuBar_ ? menuBar_->sizeHint().height() : 0;
  if (menuBar_) menuBar_->setGeometry(border, border, width() - 2 * border, menuHeight);
  client_->setGeometry(border, border + menuHeight, std::max(0, width() - 2 * border),
                       std::max(0, height() - 2 * border - menuHeight));
}

void DlgWindow::showEvent(QShowEvent* e) {
  if (!centred_ && (tpl_->style & DS_CENTER) && !testAttribute(Qt::WA_Moved)) {
    QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (s) {
      QRect area = s->availableGeometry();
      QRect frame = frameGeometry();
      move(area.x() + (area.width() - frame.width()) / 2,
           area.y() + (area.height() - frame.height()) / 2);
    }
  }
  centred_ = true;
  QDialog::showEvent(e);
}

void DlgWindow::paintEvent(QPaintEvent* e) {
  QDialog::paintEvent(e);
  if ((tpl_->style & WS_CAPTION) != WS_CAPTION && (tpl_->style & WS_BORDER)) {
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }
}

}  // namespace tarvik
