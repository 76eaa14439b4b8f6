#pragma once
// The dialog framework: every window is a modal dialog built from a template of
// resources/dialog_templates and driven by one procedure, DlgProc, that hands five messages
// to the virtual slots of the dialog object. Controls are addressed by their numeric ids.
#include <QDialog>
#include <cstdint>
#include <vector>

class QMenuBar;
class QAction;
class QEventLoop;

namespace tarvik {

struct CAppContext;
struct DlgTemplateDef;
class DlgWindow;
class CDlgBoxCore;

using WParam = std::uintptr_t;
using LParam = std::intptr_t;
using MsgResult = std::intptr_t;

// Message numbers; the slots and DlgProc speak them.
enum : std::uint32_t {
  MSG_DESTROY = 2,
  MSG_SIZE = 5,
  MSG_NOTIFY = 78,
  MSG_INITDIALOG = 272,
  MSG_COMMAND = 273,
  MSG_END_DIALOG = 1029,  // from any thread: end with the low 16 bits of wParam
};

enum : std::uint16_t { IDOK = 1, IDCANCEL = 2 };

// Command notification codes (high word of the command's wParam).
enum : std::uint16_t { BN_CLICKED = 0, CBN_SELCHANGE = 1 };

// Size message kinds (wParam of MSG_SIZE).
enum : std::uint32_t { SIZE_RESTORED = 0, SIZE_MINIMIZED = 1, SIZE_MAXIMIZED = 2 };

// Notification codes.
enum : std::int32_t { NM_CLICK = -2, NM_CUSTOMDRAW = -12 };

constexpr std::uint16_t LoWord(std::uintptr_t v) {
  return static_cast<std::uint16_t>(v & 0xFFFF);
}
constexpr std::uint16_t HiWord(std::uintptr_t v) {
  return static_cast<std::uint16_t>((v >> 16) & 0xFFFF);
}
constexpr WParam MakeWParam(std::uint16_t lo, std::uint16_t hi) {
  return static_cast<WParam>(lo) | (static_cast<WParam>(hi) << 16);
}
constexpr LParam MakeLParam(std::uint16_t lo, std::uint16_t hi) {
  return static_cast<LParam>(static_cast<std::uint32_t>(lo) |
                             (static_cast<std::uint32_t>(hi) << 16));
}

// Every notification starts with this header; lParam of MSG_NOTIFY points to it.
struct NotifyHeader {
  QWidget* from = nullptr;
  std::uintptr_t idFrom = 0;
  std::int32_t code = 0;
};

// NM_CLICK of a list: the item under the mouse, -1 when none.
struct ItemActivate {
  NotifyHeader hdr;
  int item = -1;
  int subItem = 0;
};

// The creation record of a dialog; lives in the caller's storage while the dialog runs.
struct DlgStart {
  CDlgBoxCore* dialog = nullptr;
  CAppContext* context = nullptr;
  LParam param = 0;
};

// Base of every dialog object. Each slot gets the window, the message, its two parameters
// and the start parameter, and returns what DlgProc returns for the message.
class CDlgBoxCore {
 public:
  virtual ~CDlgBoxCore() = default;

  virtual MsgResult OnInitDialog(DlgWindow* window, std::uint32_t message, WParam wParam,
                                 LParam lParam, LParam param);
  virtual MsgResult OnCommand(DlgWindow* window, std::uint32_t message, WParam wParam,
                              LParam lParam, LParam param);
  virtual MsgResult OnNotify(DlgWindow* window, std::uint32_t message, WParam wParam, LParam lParam,
                             LParam param);
  virtual MsgResult OnSize(DlgWindow* window, std::uint32_t message, WParam wParam, LParam lParam,
                           LParam param);
  virtual MsgResult OnDestroy(DlgWindow* window, std::uint32_t message, WParam wParam,
                              LParam lParam, LParam param);

  CAppContext* context = nullptr;  // a dialog without one is never shown
  std::uint32_t templateId = 0;    // 0: not set up
  QWidget* owner = nullptr;        // none for the main window
  DlgWindow* hwnd = nullptr;       // the window while the dialog runs, else null
};

// The shared dialog procedure.
MsgResult DlgProc(DlgWindow* window, std::uint32_t message, WParam wParam, LParam lParam);

// Builds the template, delivers MSG_INITDIALOG (with `start` as lParam) and runs the dialog
// modally; MSG_DESTROY follows while the window still exists. Without a start record the
// dialog has no object and closes with 1 on OK and 2 on Cancel. Returns the end result, or -1
// when the template is unknown.
int DialogBoxParam(CAppContext* context, std::uint32_t templateId, QWidget* owner, DlgStart* start);

// Shows the dialog object from its template; shows nothing (and returns -1) without a
// context or a template.
int RunModal(CDlgBoxCore& dialog, LParam param);

// Ends the dialog with `result` (on the window's thread).
void EndDialog(DlgWindow* window, int result);

// Queues `message` for the window's DlgProc; any thread may call it while the window exists.
// Messages from one thread arrive in the order they were posted.
void PostDlgMessage(DlgWindow* window, std::uint32_t message, WParam wParam, LParam lParam);
// The end message: the dialog ends with the low 16 bits of wParam.
inline void PostEndMessage(DlgWindow* window, WParam wParam) {
  PostDlgMessage(window, MSG_END_DIALOG, wParam, 0);
}

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

  // Synchronous delivery to DlgProc.
  MsgResult Send(std::uint32_t message, WParam wParam, LParam lParam);
  // A command from a control or the menu.
  void SendCommand(std::uint16_t id, std::uint16_t code, QWidget* from);
  // A notification; returns the message result it set (see msgResult), 0 when unhandled.
  MsgResult SendNotify(NotifyHeader& header);

  // The dialog's result slot for notifications: a slot that handles one sets it and returns
  // non-zero.
  MsgResult msgResult = 0;
  // The start record while the dialog runs (null for a dialog without object).
  DlgStart* userData = nullptr;

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
  void Build();
  void BuildMenu();
  QWidget* CreateControl(const struct DlgControlDef& def);
  void SendCancel();
  void SendSize();
  void PressEnter();

  const DlgTemplateDef* tpl_;
  CAppContext* context_;
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
  QEventLoop* loop_ = nullptr;
  int defaultButton_ = -1;
  bool ended_ = false;
  bool centred_ = false;
  bool minimized_ = false;
};

}  // namespace tarvik
