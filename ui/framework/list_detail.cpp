#include "ui/framework/list_detail.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "core/text.h"
#include "resources/dialog_templates.h"
#include "resources/string_ids.h"
#include "ui/framework/dlg_controls.h"
#include "ui/framework/field_values.h"
#include "ui/main_prompts.h"
#include "ui/ui_resources.h"

namespace tarvik {
namespace {

// Delete in a list presses the list's delete button, when that button may be pressed.
class DeleteKey : public QObject {
 public:
  DeleteKey(QObject* list, QPushButton* button) : QObject(list), button_(button) {}
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(e);
    if (key->key() != Qt::Key_Delete || key->modifiers() & ~Qt::KeypadModifier) return false;
    if (button_->isEnabled()) button_->click();
    return true;
  }

 private:
  QPushButton* button_;
};

}  // namespace

// ---- CDlgParams ----

bool CDlgParams::Open(DlgWindow* window, DlgParam param, std::span<const int> smallFont) {
  if (!context || !paramStore || !param) {
    PostEndMessage(window, IDCANCEL);
    return false;
  }
  CenterOverOwner(window, owner);
  const DlgTemplateDef& tpl = window->Template();
  if (tpl.titleId) SetDialogTitle(window, StrLoad(tpl.titleId));
  if (const UiResources* ui = Ui(context)) {
    for (const DlgControlDef& def : tpl.controls) {
      if (def.id == kNoControlId || def.cls == CtlClass::ListView) continue;
      const bool small = std::find(smallFont.begin(), smallFont.end(), def.id) != smallFont.end();
      SetControlFont(window->Item(def.id), small ? &ui->fontSmall : &ui->fontNormal);
    }
  }
  hold_.Enter(paramStore);
  before_.reset();
  if (undoUnlessOk_) {
    before_.emplace(context);
    if (!CopySets(*paramStore, *before_)) {
      before_.reset();
      hold_.Leave();
      PostEndMessage(window, IDCANCEL);
      return false;
    }
  }
  return true;
}

MainPrompts& CDlgParams::Prompts() const {
  static QtPrompts qt;
  return prompts ? *prompts : qt;
}

void CDlgParams::OnDestroy(DlgWindow* window, DlgParam) {
  if (before_ && hold_.Held() && window && window->result() != IDOK)
    SwapSets(*paramStore, *before_);
  before_.reset();  // the copy, or the sets it replaced
  hold_.Leave();
}

// ---- ListPane ----

namespace {

// A column that shares the width shows its title whole: what it lacks is taken from the
// widest sharing column, as far as that one keeps its own title whole.
void FitShares(ListViewWidget* list, std::span<const ListColumn> columns) {
  int widest = -1;
  for (int i = 0; i < static_cast<int>(columns.size()); ++i)
    if (columns[i].width < 0 && (widest < 0 || list->columnWidth(i) > list->columnWidth(widest)))
      widest = i;
  for (int i = 0; i < static_cast<int>(columns.size()); ++i) {
    const int lack = list->FittingWidth(i) - list->columnWidth(i);
    if (columns[i].width >= 0 || i == widest || lack <= 0) continue;
    const int spare = list->columnWidth(widest) - list->FittingWidth(widest);
    const int moved = std::min(lack, std::max(0, spare));
    list->SetColumnWidth(widest, list->columnWidth(widest) - moved);
    list->SetColumnWidth(i, list->columnWidth(i) + moved);
  }
}

}  // namespace

void ListPane::SetUp(CAppContext* context, DlgWindow* window, const ListPaneDef& def) {
  def_ = def;
  shown = -1;
  auto* list = window->Control<ListViewWidget>(def.listId);
  if (!list) return;
  ctl_ = MakeTracked<ListViewCtl>(context);
  if (!ctl_) return;
  ctl_->Attach(context, list);
  ctl_->ApplyStandardLook(/*checkBoxes=*/false, /*contextImages=*/true);
  const int rest = list->ClientWidth() - 60;
  int index = 0;
  for (const ListColumn& c : def.columns)
    list->InsertColumn(index++, StrLoad(c.textId), c.width >= 0 ? c.width : rest * -c.width / 100);
  FitShares(list, def.columns);
  if (def.deleteId)
    if (auto* button = window->Control<QPushButton>(def.deleteId))
      list->installEventFilter(new DeleteKey(list, button));  // owned by the list
}

void ListPane::Release() {
  if (ctl_) ctl_->ReleaseRows();
  ctl_.reset();
  shown = -1;
}

void ListPane::Clear() {
  if (ctl_) ctl_->ClearRows();
}

int ListPane::Append(void* item, int image, std::initializer_list<std::u16string_view> texts) {
  if (!ctl_ || !ctl_->list) return -1;
  const int row = ctl_->AppendRow();
  if (row < 0) return row;
  ctl_->list->SetItemImage(row, image);
  ctl_->SetRowData(item, row);
  int column = 1;
  for (std::u16string_view text : texts) ctl_->list->SetItemText(row, column++, text);
  return row;
}

int ListPane::Count() const {
  return List() ? List()->ItemCount() : 0;
}

int ListPane::Selected() const {
  return List() ? List()->NextItem(-1, LVNI_SELECTED | LVNI_FOCUSED) : -1;
}

void ListPane::Select(int row) {
  ListViewWidget* list = List();
  if (!list) return;
  if (row >= 0)
    list->SetItemState(row, true, true);
  else
    list->clearSelection();
}

void ListPane::ScrollToEnd() {
  if (ListViewWidget* list = List(); list && list->ItemCount() > 0)
    list->EnsureVisible(list->ItemCount() - 1);
}

// ---- CDlgListDetail ----

void CDlgListDetail::OnInitDialog(DlgWindow* window, const DlgStart&, DlgParam param) {
  if (!Open(window, param, shape_.smallFont)) return;
  panes_.clear();
  panes_.resize(shape_.panes.size());
  for (std::size_t i = 0; i < panes_.size(); ++i) panes_[i].SetUp(context, window, shape_.panes[i]);
  Start(window);
}

void CDlgListDetail::ShowPane(std::size_t pane, int row) {
  if (pane >= panes_.size()) return;
  panes_[pane].shown = row;
  for (std::size_t later = pane + 1; later < panes_.size(); ++later) panes_[later].shown = -1;
  ShowRow(pane, row);
}

bool CDlgListDetail::Synchronise() {
  for (std::size_t i = 0; i < panes_.size(); ++i) {
    const int selected = panes_[i].Selected();
    if (selected != panes_[i].shown) {
      ShowPane(i, selected);
      return true;
    }
  }
  return false;
}

void CDlgListDetail::Refuse(QWidget* field, const std::u16string& text) {
  if (field) {
    field->setFocus();
    if (auto* edit = qobject_cast<QLineEdit*>(field)) edit->selectAll();
  }
  Prompts().Warn(hwnd, text);
}

std::optional<std::int64_t> CDlgListDetail::WholeField(int id, std::uint32_t labelId,
                                                       std::int64_t low, std::int64_t high) {
  QWidget* field = Control(id);
  // Read well past any number a field takes, so that what follows one is seen.
  const std::optional<std::int64_t> value = WholeFromText(ControlText(field, 63));
  if (value && *value >= low && *value <= high) return value;
  Refuse(field, StrLoad(STR_WHOLE_NUMBER, StrLoad(labelId), static_cast<long long>(low),
                        static_cast<long long>(high)));
  return std::nullopt;
}

void CDlgListDetail::OnCommand(DlgWindow* window, const DlgCommand& command, DlgParam) {
  if (!context) return;
  if (command.id == IDCANCEL || (command.id == IDOK && !Holding())) {
    PostEndMessage(window, static_cast<std::uint32_t>(command.id));
    return;
  }
  if (!Holding()) return;
  if (command.id == IDOK || command.id == shape_.saveId) {
    if (Synchronise() || !Apply()) return;
    if (command.id == IDOK) PostEndMessage(window, IDOK);
    return;
  }
  // A disabled button cannot be pressed, whoever sends its command.
  if (const QWidget* button = window->Item(command.id); button && !button->isEnabled()) return;
  for (std::size_t i = 0; i < panes_.size(); ++i) {
    if (command.id == panes_[i].Def().addId) return Add(i);
    if (command.id == panes_[i].Def().deleteId) return Delete(i);
  }
}

void CDlgListDetail::OnNotify(DlgWindow*, const DlgNotify& notify, DlgParam) {
  if (!context || !Holding() || notify.code != NotifyCode::Click) return;
  for (std::size_t i = 0; i < panes_.size(); ++i)
    if (notify.id == panes_[i].Def().listId) return ShowPane(i, notify.item);
}

void CDlgListDetail::OnDestroy(DlgWindow* window, DlgParam param) {
  if (Holding()) End();
  for (ListPane& pane : panes_) pane.Release();
  panes_.clear();
  CDlgParams::OnDestroy(window, param);
}

}  // namespace tarvik
