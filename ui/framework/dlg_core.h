#pragma once
// The dialog framework: every window is a modal dialog built from a template of
// resources/dialog_templates. Its dialog object (a CDlgBoxCore) receives typed events in five
// slots: the start, commands, notifications, size changes and the end. Controls are found by
// their template ids; a dialog names the ones it uses (see Control).
#include <QDialog>
#include <cstdint>
#include <utility>
#include <vector>

class QMenuBar;
class QAction;
class QEventLoop;

namespace tarvik {

struct CAppContext;
struct DlgTemplateDef;
class DlgWindow;
class CDlgBoxCore;

// The ids of the OK and Cancel buttons, and the results of a dialog they end.
enum : std::uint16_t { IDOK = 1, IDCANCEL = 2 };

// The start parameter a dialog is shown with: a pointer-sized value, as a rule the address of
// a record of the caller's that the dialog reads (the progress dialog's TaskRequest).
class DlgParam {
 public:
  constexpr DlgParam() = default;
  constexpr DlgParam(std::intptr_t value) : value_(value) {}
  template <class T>
  DlgParam(T* record) : value_(reinterpret_cast<std::intptr_t>(record)) {}

  // The record it points to; null when there is none.
  template <class T>
  T* As() const {
    return reinterpret_cast<T*>(value_);
  }
  constexpr std::intptr_t Value() const { return value_; }
  constexpr explicit operator bool() const { return value_ != 0; }
  friend constexpr bool operator==(DlgParam, DlgParam) = default;

 private:
  std::intptr_t value_ = 0;
};

// The creation record of a dialog; lives in the caller's storage while the dialog runs.
struct DlgStart {
  CDlgBoxCore* dialog = nullptr;
  CAppContext* context = nullptr;
  DlgParam param;
};

// A command: a button, a check box or a menu item was clicked, or the user chose an item of
// a drop-down list. Enter and Escape click the default button and Cancel.
enum class CommandCode : std::uint16_t { Clicked = 0, SelectionChanged = 1 };
struct DlgCommand {
  int id = 0;  // of the control or the menu item
  CommandCode code = CommandCode::Clicked;
  QWidget* control = nullptr;  // null for menu items and commands sent without one
};

// A notification of a list: a click, on `item` (-1 beside the rows) and its column.
enum class NotifyCode { Click };
struct DlgNotify {
  int id = 0;  // of the list
  NotifyCode code = NotifyCode::Click;
  QWidget* control = nullptr;
  int item = -1;
  int subItem = 0;
};

// The client area changed size, or the window was minimised (the size is then 0 x 0).
// Widths and heights are capped at 65535.
enum class SizeKind { Restored, Minimized, Maximized };
struct DlgSize {
  SizeKind kind = SizeKind::Restored;
  int width = 0;
  int height = 0;
};

// Base of every dialog object. The slots run on the window's thread; each gets the window,
// its event and the start parameter, and the base does nothing.
class CDlgBoxCore {
 public:
  virtual ~CDlgBoxCore() = default;

  // The window and its controls exist; `start` is the record it was shown with.
  virtual void OnInitDialog(DlgWindow* window, const DlgStart& start, DlgParam param);
  virtual void OnCommand(DlgWindow* window, const DlgCommand& command, DlgParam param);
  virtual void OnNotify(DlgWindow* window, const DlgNotify& notify, DlgParam param);
  virtual void OnSize(DlgWindow* window, const DlgSize& size, DlgParam param);
  // The dialog has ended; its window and controls still exist.
  virtual void OnDestroy(DlgWindow* window, DlgParam param);

  CAppContext* context = nullptr;  // a dialog without one is never shown
  std::uint32_t templateId = 0;    // 0: not set up
  QWidget* owner = nullptr;        // none for the main window
  DlgWindow* hwnd = nullptr;       // the window while the dialog runs, else null

 protected:
  // Control `id` of the running window as a T; null while the dialog is not shown or when
  // the control is of another kind. Dialogs name their controls with it:
  //   QLineEdit* NameField() const { return Control<QLineEdit>(IDC_NAME); }
  template <class T = QWidget>
  T* Control(int id) const;
};

// Builds the template, delivers the start (with `start`) and runs the dialog modally; the
// end follows while the window still exists. Without a start record the dialog has no object
// and closes with 1 on OK and 2 on Cancel. Returns the end result, or -1 when the template is
// unknown.
int DialogBoxParam(CAppContext* context, std::uint32_t templateId, QWidget* owner, DlgStart* start);

// Shows the dialog object from its template; shows nothing (and returns -1) without a
// context or a template.
int RunModal(CDlgBoxCore& dialog, DlgParam param = {});

// Ends the dialog with `result` (on the window's thread).
void EndDialog(DlgWindow* window, int result);

// The end message: from any thread, while the window exists. The dialog ends with the low
// 16 bits of `code`, after whatever was queued for it before.
void PostEndMessage(DlgWindow* window, std::uint32_t code);

// The window of a dialog: the controls of its template in a client area (below the menu bar
// when the template has a menu), found by id.
class DlgWindow : public QDialog {
  Q_OBJECT

 public:
  DlgWindow(const DlgTemplateDef& tpl, CAppContext* context, QWidget* owner);
  ~DlgWindow() override;

  const DlgTemplateDef& Template() const { return *tpl_; }
  CAppContext* Context() const { return context_; }

  // The control with this id (the first one, should ids repeat); null when there is none.
  QWidget* Item(int id) const;
  // The same as a T; null when there is none or it is of another kind.
  template <class T>
  T* Control(int id) const {
    return qobject_cast<T*>(Item(id));
  }
  int ItemId(const QWidget* control) const;  // -1 when not a control of this dialog
  // Adds a control created at run time; its parent becomes the client area.
  void AddItem(int id, QWidget* control);
  QWidget* Client() const { return client_; }
  QMenuBar* Menu() const { return menuBar_; }
  QAction* MenuItem(int commandId) const;
  QAction* MenuPopup(int position) const;

  // Dialog units of the template font, as pixels.
  int UnitsX(int units) const;
  int UnitsY(int units) const;
  QRect UnitsRect(int x, int y, int cx, int cy) const;
  // Base units: average character width and character height of the dialog font.
  QSize BaseUnits() const { return base_; }

  // Synchronous delivery to the dialog object's slots. A dialog without an object ends on
  // the commands OK and Cancel and ignores everything else.
  void SendCommand(const DlgCommand& command);
  void SendCommand(int id, CommandCode code = CommandCode::Clicked, QWidget* control = nullptr) {
    SendCommand(DlgCommand{id, code, control});
  }
  void SendNotify(const DlgNotify& notify);
  void SendSize(const DlgSize& size);

  // The start record while the dialog runs (null for a dialog without object).
  DlgStart* Start() const { return start_; }

  // Runs the modal loop unless the dialog already ended during initialisation.
  int RunLoop();
  void End(int result);
  bool Ended() const { return ended_; }

 protected:
  bool event(QEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void reject() override;
  void changeEvent(QEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void showEvent(QShowEvent* e) override;
  void paintEvent(QPaintEvent* e) override;

 private:
  friend int DialogBoxParam(CAppContext*, std::uint32_t, QWidget*, DlgStart*);
  CDlgBoxCore* Dialog() const { return start_ ? start_->dialog : nullptr; }
  DlgParam Param() const { return start_ ? start_->param : DlgParam(); }
  void SendStart(DlgStart* start);
  void SendDestroy();

  void Build();
  // Names each control of the template for screen readers (see DlgControlDef::nameId).
  void NameControls(const std::vector<QWidget*>& made);
  void BuildMenu();
  QWidget* CreateControl(const struct DlgControlDef& def);
  void WireList(int id, QWidget* control);
  void SendCancel();
  void SendClientSize();
  void PressEnter();

  const DlgTemplateDef* tpl_;
  CAppContext* context_;
  DlgStart* start_ = nullptr;
  QWidget* client_ = nullptr;
  QMenuBar* menuBar_ = nullptr;
  QSize base_{4, 8};
  struct Entry {
    int id;
    QWidget* control;
  };
  std::vector<Entry> items_;
  std::vector<std::pair<int, QAction*>> menuItems_;
  std::vector<QAction*> popups_;
  std::vector<QString> popupsOther_;  // the popups' captions in the other language
  QEventLoop* loop_ = nullptr;
  int defaultButton_ = -1;
  bool ended_ = false;
  bool centred_ = false;
  bool minimized_ = false;
};

template <class T>
T* CDlgBoxCore::Control(int id) const {
  return hwnd ? hwnd->Control<T>(id) : nullptr;
}

}  // namespace tarvik
