#pragma once
// Report-style list views: the control (ListViewWidget, addressed by item index like the
// classic list control) and the companion every dialog attaches to it (ListViewCtl): a small
// record per row, the program's colours through custom draw, and sorting by a column.
#include <QTreeWidget>
#include <cstdint>
#include <memory>

#include "ui/framework/dlg_core.h"

namespace tarvik {

struct CAppContext;
struct ImageList;

using COLORREF = std::uint32_t;  // 0x00BBGGRR
constexpr COLORREF CLR_DEFAULT = 0xFF000000u;

QColor ColorFromRef(COLORREF c);
COLORREF RefFromColor(const QColor& c);

// Extended styles.
enum : std::uint32_t { LVS_EX_CHECKBOXES = 0x4, LVS_EX_FULLROWSELECT = 0x20 };
// NextItem flags.
enum : std::uint32_t { LVNI_ALL = 0, LVNI_FOCUSED = 0x1, LVNI_SELECTED = 0x2 };

// Custom draw stages, results and item states.
enum : std::uint32_t {
  CDDS_PREPAINT = 0x1,
  CDDS_ITEM = 0x10000,
  CDDS_ITEMPREPAINT = 0x10001,
  CDDS_SUBITEM = 0x20000,
  CDRF_DODEFAULT = 0x0,
  CDRF_NEWFONT = 0x2,
  CDRF_NOTIFYITEMDRAW = 0x20,
  CDRF_NOTIFYSUBITEMDRAW = 0x20,
  CDIS_SELECTED = 0x1,
  CDIS_FOCUS = 0x10,
};

// NM_CUSTOMDRAW of a list: one per paint stage; at the sub-item stage the handler may pick
// the cell's colours (and answer CDRF_NEWFONT).
struct ListCustomDraw {
  NotifyHeader hdr;
  std::uint32_t drawStage = 0;
  int item = -1;
  std::uint32_t itemState = 0;
  LParam itemParam = 0;
  int subItem = 0;
  COLORREF clrText = CLR_DEFAULT;
  COLORREF clrTextBk = CLR_DEFAULT;
};

class ListViewWidget : public QTreeWidget {
  Q_OBJECT

 public:
  ListViewWidget(int id, QWidget* parent);
  ~ListViewWidget() override;

  int Id() const { return id_; }

  void SetExtendedStyle(std::uint32_t mask, std::uint32_t style);
  std::uint32_t ExtendedStyle() const { return exStyle_; }
  void SetImageList(const ImageList* images);
  const ImageList* Images() const { return images_; }
  void SetTextColor(COLORREF c);
  void SetBkColor(COLORREF c);
  COLORREF TextColor() const { return textColor_; }
  COLORREF BkColor() const { return bkColor_; }

  // Columns. A negative width leaves the width unset. Returns the new column's index.
  int InsertColumn(int index, std::u16string_view text, int width);
  int ColumnCount() const { return columnCount(); }
  void SetColumnWidth(int column, int width);
  int ClientWidth() const;

  // Items, by index. InsertItem returns the new item's index, -1 on failure.
  int ItemCount() const { return topLevelItemCount(); }
  int InsertItem(int index, std::u16string_view text, LParam param);
  bool DeleteAllItems();
  bool SetItemText(int item, int subItem, std::u16string_view text);
  // The text cut to maxChars characters; empty for a missing item or column.
  std::u16string ItemText(int item, int subItem, std::size_t maxChars = 1023) const;
  bool ItemParam(int item, LParam& param) const;
  bool SetItemParam(int item, LParam param);
  bool SetItemImage(int item, int image);
  int ItemImage(int item) const;
  bool SetCheck(int item, bool checked);
  bool Check(int item) const;
  bool IsItemSelected(int item) const;
  // Selects (or deselects) and focuses (or unfocuses) one item.
  bool SetItemState(int item, bool selected, bool focused);
  // The first item after `start` (-1: from the top) with every state of `flags`; -1: none.
  int NextItem(int start, std::uint32_t flags) const;
  void EnsureVisible(int item);
  int HitTest(const QPoint& viewportPos) const;

  // Sorts by a comparator over item indices of the unsorted order: a stable merge that puts
  // an item behind another only when compare(item, other) > 0. Selection, focus and every
  // item's data move with the item.
  using CompareFn = int (*)(int first, int second, LParam sortParam);
  bool SortItemsEx(CompareFn compare, LParam sortParam);

  // Sends one NM_CUSTOMDRAW stage to the dialog; 0 when the list is in no dialog.
  MsgResult NotifyCustomDraw(ListCustomDraw& draw);

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;

 private:
  QTreeWidgetItem* At(int item) const;
  void ApplyColors();

  int id_;
  std::uint32_t exStyle_ = 0;
  const ImageList* images_ = nullptr;
  COLORREF textColor_ = CLR_DEFAULT;
  COLORREF bkColor_ = CLR_DEFAULT;
  int pressedItem_ = -2;
};

// One per list item, kept as the item's parameter.
struct ListRow {
  const COLORREF* pText;  // null: the list's pText
  const COLORREF* pBack;  // null: the list's pBack
  COLORREF text;
  COLORREF back;
  std::uint8_t useRefs;
  std::uint8_t showSelection;
  void* data;  // the dialog's own value for the row
};

struct ListViewCtl {
  CAppContext* context = nullptr;  // decides whether row records are tracked
  ListViewWidget* list = nullptr;
  std::unique_ptr<ImageList> imageList;  // owned; destroyed by ReleaseRows
  COLORREF selText = 0;
  COLORREF selBack = 0;
  COLORREF text = CLR_DEFAULT;
  COLORREF back = 0;
  const COLORREF* pText = nullptr;
  const COLORREF* pBack = nullptr;
  const COLORREF* pSelText = nullptr;
  const COLORREF* pSelBack = nullptr;
  const QFont* pFont = nullptr;
  std::uint8_t colorFirstColumn = 0;
  std::uint8_t rowShowsSelection = 0;

  ListViewCtl();
  ~ListViewCtl();
  ListViewCtl(const ListViewCtl&) = delete;
  ListViewCtl& operator=(const ListViewCtl&) = delete;

  void Attach(CAppContext* context, ListViewWidget* list);
  // The look every dialog gives its lists right after Attach: full-row selection (plus check
  // boxes when asked), the context's image list (when asked), fontNormal, dark grey on white,
  // selected rows white on dark grey.
  void ApplyStandardLook(bool checkBoxes, bool contextImages);

  int AppendRow();
  bool SetRowData(void* data, int index);
  bool ClearRows();
  void ReleaseRows();
  // The row record of an item, null when it has none.
  ListRow* Row(int index) const;
  void* RowData(int index) const;

  // The NM_CUSTOMDRAW handler that the dialog's OnNotify calls for this list.
  MsgResult CustomDraw(DlgWindow* window, std::uint32_t message, LParam lParam) const;
  // The colours of one cell (the choice CustomDraw makes at the sub-item stage).
  void CellColors(const ListRow* row, bool selected, int subItem, COLORREF& textColor,
                  COLORREF& backColor) const;

  static int CompareRows(int first, int second, LParam sort);

 private:
  ListRow* NewRow() const;
  void FreeRow(ListRow* row) const;
};

struct ListSort {
  ListViewWidget* list = nullptr;
  ListViewCtl* ctl = nullptr;
  std::int32_t column = 0;
  std::uint8_t ascending = 0;
  std::uint8_t numeric = 0;
};

// Sorts the list of `sort` with CompareRows.
bool SortRows(ListSort& sort);

// The leading decimal number of a text (0 when there is none), whatever the locale.
double LeadingNumber(std::u16string_view text);

}  // namespace tarvik
