#pragma once
// Report-style list views: the control (ListViewWidget, addressed by item index like the
// classic list control) and the companion every dialog attaches to it (ListViewCtl): a small
// record per row, the program's colours cell by cell, and sorting by a column.
#include <QPointer>
#include <QTreeWidget>
#include <cstdint>
#include <functional>
#include <memory>

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
  // The width column `column` needs to show its title, and `sample` in a cell, whole.
  int FittingWidth(int column, const QString& sample = {}) const;

  // Items, by index. InsertItem returns the new item's index, -1 on failure.
  int ItemCount() const { return topLevelItemCount(); }
  int InsertItem(int index, std::u16string_view text, std::intptr_t param);
  bool DeleteAllItems();
  bool SetItemText(int item, int subItem, std::u16string_view text);
  // The text cut to maxChars characters; empty for a missing item or column.
  std::u16string ItemText(int item, int subItem, std::size_t maxChars = 1023) const;
  bool ItemParam(int item, std::intptr_t& param) const;
  bool SetItemParam(int item, std::intptr_t param);
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
  using CompareFn = int (*)(int first, int second, std::intptr_t sortParam);
  bool SortItemsEx(CompareFn compare, std::intptr_t sortParam);

  // Who picks the colours of each cell: given the item and the column, it sets the text and
  // background colours (CLR_DEFAULT: the list's own) and answers true; the cell is then
  // painted in them without the control's own highlight and focus frame. Without one, or
  // when it answers false, the cell is painted the usual way.
  using CellColorFn =
      std::function<bool(int item, int subItem, COLORREF& textColor, COLORREF& backColor)>;
  void SetCellColors(CellColorFn colors) { cellColors_ = std::move(colors); }
  bool CellColors(int item, int subItem, COLORREF& textColor, COLORREF& backColor) const {
    return cellColors_ && cellColors_(item, subItem, textColor, backColor);
  }

 signals:
  // A click with the left button on `item` (-1 beside the rows), in column `subItem`.
  void Clicked(int item, int subItem);

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  // The current row (the one Space ticks and the arrows move from) is framed while the list
  // has the focus; a list that gets the focus without one makes its first row current.
  void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;

 private:
  QTreeWidgetItem* At(int item) const;
  void ApplyColors();

  int id_;
  std::uint32_t exStyle_ = 0;
  const ImageList* images_ = nullptr;
  COLORREF textColor_ = CLR_DEFAULT;
  COLORREF bkColor_ = CLR_DEFAULT;
  int pressedItem_ = -2;
  CellColorFn cellColors_;
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

  // Also makes the list ask this object for the colours of its cells (CellColors), until it
  // is attached elsewhere or destroyed.
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

  // The colours of one cell of a row (null: a row without record), selected or not.
  void CellColors(const ListRow* row, bool selected, int subItem, COLORREF& textColor,
                  COLORREF& backColor) const;

  static int CompareRows(int first, int second, std::intptr_t sort);

 private:
  ListRow* NewRow() const;
  void FreeRow(ListRow* row) const;
  void Detach();

  QPointer<ListViewWidget> painted_;  // the list that asks this object for its colours
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
