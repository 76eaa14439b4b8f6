#pragma once
// The shape the editors of the parameter sets share: lists of items with add and delete
// buttons, detail fields that show the item of one row, and "Сохранить", OK and Cancel.
//
// The fields belong to the row they show, not to whichever row is selected: a click shows
// the clicked row at once, but a row chosen with the keyboard is only shown by the next
// press of "Сохранить" or OK, which then applies nothing (and OK keeps the dialog open); the
// press after that applies. Add and delete act on the store at once; Cancel undoes them and
// every apply.
// Each editor supplies its lists, its fields and what showing, applying, adding and
// deleting do. The parameter store is held from the start to the end of the dialog.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ui/framework/dlg_core.h"
#include "ui/framework/list_view.h"
#include "ui/framework/params_hold.h"
#include "ui/framework/tracked_object.h"

namespace tarvik {

class MainPrompts;

// A dialog that holds the parameter store while it runs: the editors, the export drive dialog,
// the map window and the about box.
class CDlgParams : public CDlgBoxCore {
 public:
  CParamStore* paramStore = nullptr;
  // What the dialog asks or tells the user in boxes of its own; null: Qt's (QtPrompts).
  MainPrompts* prompts = nullptr;

  // Puts the sets back as they were at the start when the dialog changes them in place and
  // ended other than with OK; then leaves the store.
  void OnDestroy(DlgWindow* window, DlgParam param) override;

 protected:
  // A dialog that changes the sets in place passes true: Cancel, Escape and the close box
  // then undo every change it made (adds and deletes included), so the store keeps agreeing
  // with the settings file until OK saves it.
  explicit CDlgParams(bool undoUnlessOk = false) : undoUnlessOk_(undoUnlessOk) {}

  // The common start: without a context, a store or a start parameter the dialog ends with 2
  // at once and this answers false. Otherwise the dialog is centred over its owner and titled,
  // every control but the lists gets fontNormal (those in `smallFont` fontSmall), and the
  // store is entered, waiting if need be, with its busy marker raised until OnDestroy. A
  // dialog that undoes keeps a copy of the sets; without memory for it, it ends with 2 too.
  bool Open(DlgWindow* window, DlgParam param, std::span<const int> smallFont = {});
  bool Holding() const { return hold_.Held(); }
  MainPrompts& Prompts() const;
  // Runs `work` with the store left, then enters it again (waiting): for a task the dialog
  // starts that needs the store, such as the drive write. The dialog stays modal meanwhile.
  template <class Work>
  void WithoutStore(Work&& work) {
    const bool held = Holding();
    hold_.Leave();
    work();
    if (held) hold_.Enter(paramStore);
  }

 private:
  DialogParamsHold hold_;
  bool undoUnlessOk_;
  std::optional<CParamStore> before_;  // the sets as the dialog found them
};

// A column of a list: its title and either a width in pixels (>= 0) or, as -percent, that
// share of the list's client width less 60 pixels (no width when that is negative).
struct ListColumn {
  std::uint32_t textId;
  int width;
};

// A list of a dialog with its add and delete buttons (0: none).
struct ListPaneDef {
  int listId;
  int addId;
  int deleteId;
  std::span<const ListColumn> columns;
};

// One list of items: a ListViewCtl with the standard look and the context's images, whose
// rows point at the items they show, and the row whose item the fields show.
class ListPane {
 public:
  void SetUp(CAppContext* context, DlgWindow* window, const ListPaneDef& def);
  // Releases the rows and the companion.
  void Release();

  const ListPaneDef& Def() const { return def_; }
  ListViewWidget* List() const { return ctl_ ? ctl_->list : nullptr; }
  ListViewCtl* Ctl() const { return ctl_.get(); }

  void Clear();
  // A new last row showing `item`, with `image` in column 0 and `texts` from column 1 on;
  // its index, or -1.
  int Append(void* item, int image, std::initializer_list<std::u16string_view> texts);
  int Count() const;
  template <class T>
  T* Item(int row) const {
    return row >= 0 && ctl_ ? static_cast<T*>(ctl_->RowData(row)) : nullptr;
  }
  // The row whose item has this ID; -1 for none or for ID 0.
  template <class T>
  int RowOf(std::uint64_t id) const {
    for (int row = 0; id != 0 && row < Count(); ++row)
      if (const T* item = Item<T>(row); item && item->ID == id) return row;
    return -1;
  }
  // The row both selected and focused; -1 for none.
  int Selected() const;
  // Gives `row` the selected and focused state; -1 leaves no row selected.
  void Select(int row);
  void ScrollToEnd();

  int shown = -1;  // the row whose item the fields show; -1: none

 private:
  ListPaneDef def_{};
  TrackedObject<ListViewCtl> ctl_;
};

class CDlgListDetail : public CDlgParams {
 public:
  void OnInitDialog(DlgWindow* window, const DlgStart& start, DlgParam param) override;
  // OK and the save button apply (after synchronising, see above); OK then ends with 1.
  // Cancel ends with 2. The add and delete buttons of each list go to Add and Delete.
  void OnCommand(DlgWindow* window, const DlgCommand& command, DlgParam param) override;
  // A click in a list shows the clicked row (-1 beside the rows).
  void OnNotify(DlgWindow* window, const DlgNotify& notify, DlgParam param) override;
  void OnDestroy(DlgWindow* window, DlgParam param) override;

 protected:
  // An editor's lists (a later list shows the parts of the item shown by the one before it),
  // its save button and its controls in the small font.
  struct Shape {
    std::span<const ListPaneDef> panes;
    int saveId;
    std::span<const int> smallFont;
  };
  explicit CDlgListDetail(Shape shape) : CDlgParams(/*undoUnlessOk=*/true), shape_(shape) {}

  // What each editor supplies. Start runs once the store is held and the lists stand, and
  // fills them with nothing shown.
  virtual void Start(DlgWindow* window) = 0;
  // Loads the fields of list `pane` from `row` (-1: none) and enables them as it allows.
  virtual void ShowRow(std::size_t pane, int row) = 0;
  // Applies the fields to the items of the shown rows; false when it stopped on a field
  // (nothing applied, the field focused and the user told).
  virtual bool Apply() = 0;
  virtual void Add(std::size_t pane) = 0;
  virtual void Delete(std::size_t pane) = 0;
  virtual void End() {}  // releases what Start took beyond the lists

  ListPane& Pane(std::size_t i) { return panes_[i]; }
  // Makes `row` the shown row of list `pane`, forgets the rows shown by the lists after it,
  // and shows it.
  void ShowPane(std::size_t pane, int row);
  // The first-press rule: the first list whose selected row is not the shown one gets it
  // shown; true when that happened (the caller then stops).
  bool Synchronise();

  // Stops an apply on `field`: focuses it with its text selected and tells the user `text`.
  void Refuse(QWidget* field, const std::u16string& text);
  // The whole number in field `id` within [low, high]. Anything else (no number, a decimal
  // one, one out of range) is refused with a warning that names the field by string
  // `labelId` and the range; the answer is then nothing.
  std::optional<std::int64_t> WholeField(int id, std::uint32_t labelId, std::int64_t low,
                                         std::int64_t high);

 private:
  Shape shape_;
  std::vector<ListPane> panes_;
};

}  // namespace tarvik
