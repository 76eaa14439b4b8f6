#include "ui/framework/list_view.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <numeric>
#include <string>
#include <vector>

#include "core/tracked_memory.h"
#include "ui/framework/qt_text.h"
#include "ui/ui_resources.h"

namespace tarvik {
namespace {

constexpr int kParamRole = Qt::UserRole;
constexpr int kImageRole = Qt::UserRole + 1;

// Paints every cell in the colours the list's owner picks for it (ListViewWidget::CellColors);
// without a choice the cell is painted the usual way.
class ListDelegate : public QStyledItemDelegate {
 public:
  explicit ListDelegate(ListViewWidget* list) : QStyledItemDelegate(list), list_(list) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    COLORREF text = list_->TextColor(), back = list_->BkColor();
    if (list_->CellColors(index.row(), index.column(), text, back)) {
      PaintWith(painter, option, index, text, back);
      return;
    }
    QStyledItemDelegate::paint(painter, option, index);
  }

 private:
  // The control paints no highlight or focus frame of its own: the colours say it all.
  void PaintWith(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index,
                 COLORREF textColor, COLORREF backColor) const {
    QStyleOptionViewItem opt(option);
    opt.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
    const QPalette& pal = list_->palette();
    QColor text = textColor == CLR_DEFAULT ? pal.color(QPalette::Text) : ColorFromRef(textColor);
    QColor back = backColor == CLR_DEFAULT ? pal.color(QPalette::Base) : ColorFromRef(backColor);
    painter->fillRect(opt.rect, back);
    opt.palette.setColor(QPalette::Text, text);
    opt.palette.setColor(QPalette::WindowText, text);
    opt.palette.setColor(QPalette::Base, back);
    QStyledItemDelegate::paint(painter, opt, index);
  }

  ListViewWidget* list_;
};

// Case-insensitive comparison of the classic C locale: ASCII letters fold, nothing else.
int CompareNoCase(std::u16string_view a, std::u16string_view b) {
  auto lower = [](char16_t c) -> int { return c >= u'A' && c <= u'Z' ? c + 32 : c; };
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    int d = lower(a[i]) - lower(b[i]);
    if (d) return d;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -lower(b[n]) : lower(a[n]));
}

}  // namespace

QColor ColorFromRef(COLORREF c) {
  return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                static_cast<int>((c >> 16) & 0xFF));
}

COLORREF RefFromColor(const QColor& c) {
  return static_cast<COLORREF>(c.red()) | (static_cast<COLORREF>(c.green()) << 8) |
         (static_cast<COLORREF>(c.blue()) << 16);
}

double LeadingNumber(std::u16string_view text) {
  std::size_t i = 0;
  auto space = [](char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); };
  while (i < text.size() && space(text[i])) ++i;
  std::string s;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    if (text[i] == u'-') s += '-';
    ++i;
  }
  auto isDigit = [&](std::size_t k) {
    return k < text.size() && text[k] >= u'0' && text[k] <= u'9';
  };
  auto lowerAt = [&](std::size_t k) -> char {
    if (k >= text.size() || text[k] > 0x7F) return 0;
    char c = static_cast<char>(text[k]);
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
  };
  // inf, infinity, nan
  if (lowerAt(i) == 'i' || lowerAt(i) == 'n') {
    std::string word;
    for (std::size_t k = i; k < text.size() && k < i + 8 && lowerAt(k); ++k) word += lowerAt(k);
    if (word.rfind("inf", 0) == 0 || word.rfind("nan", 0) == 0) {
      s += word.substr(0, 3);
      double v = 0;
      std::from_chars(s.data(), s.data() + s.size(), v);
      return v;
    }
    return 0;
  }
  bool digits = false;
  while (isDigit(i)) s += static_cast<char>(text[i++]), digits = true;
  if (i < text.size() && text[i] == u'.') {
    s += '.';
    ++i;
    while (isDigit(i)) s += static_cast<char>(text[i++]), digits = true;
  }
  if (!digits) return 0;
  if (lowerAt(i) == 'e') {
    std::size_t k = i + 1;
    std::string e = "e";
    if (k < text.size() && (text[k] == u'+' || text[k] == u'-')) e += static_cast<char>(text[k++]);
    if (isDigit(k)) {
      while (isDigit(k)) e += static_cast<char>(text[k++]);
      s += e;
    }
  }
  double v = 0;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec == std::errc::result_out_of_range) {
    // Too large becomes infinite, too small zero, as the C library answers.
    bool tiny = s.find("e-") != std::string::npos;
    if (tiny) return 0;
    return s[0] == '-' ? -HUGE_VAL : HUGE_VAL;
  }
  return ec == std::errc() ? v : 0;
}

// ---- ListViewWidget ----

ListViewWidget::ListViewWidget(int id, QWidget* parent) : QTreeWidget(parent), id_(id) {
  setColumnCount(0);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setExpandsOnDoubleClick(false);
  setUniformRowHeights(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setAllColumnsShowFocus(false);
  setTextElideMode(Qt::ElideRight);
  header()->setSectionsClickable(false);
  header()->setSectionsMovable(false);
  header()->setStretchLastSection(false);
  header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  setItemDelegate(new ListDelegate(this));  // owned by the list
}

ListViewWidget::~ListViewWidget() = default;

QTreeWidgetItem* ListViewWidget::At(int item) const {
  if (item < 0 || item >= topLevelItemCount()) return nullptr;
  return topLevelItem(item);
}

void ListViewWidget::SetExtendedStyle(std::uint32_t mask, std::uint32_t style) {
  const std::uint32_t old = exStyle_;
  exStyle_ = (exStyle_ & ~mask) | (style & mask);
  if ((old ^ exStyle_) & LVS_EX_CHECKBOXES) {
    const bool on = exStyle_ & LVS_EX_CHECKBOXES;
    for (int i = 0; i < topLevelItemCount(); ++i) {
      QTreeWidgetItem* it = topLevelItem(i);
      if (on) {
        it->setFlags(it->flags() | Qt::ItemIsUserCheckable);
        it->setCheckState(0, Qt::Unchecked);
      } else {
        it->setFlags(it->flags() & ~Qt::ItemIsUserCheckable);
        it->setData(0, Qt::CheckStateRole, QVariant());
      }
    }
  }
}

void ListViewWidget::SetImageList(const ImageList* images) {
  images_ = images;
  if (images_ && images_->size.isValid()) setIconSize(images_->size);
  for (int i = 0; i < topLevelItemCount(); ++i) SetItemImage(i, ItemImage(i));
}

void ListViewWidget::ApplyColors() {
  QPalette pal = palette();
  if (textColor_ != CLR_DEFAULT) pal.setColor(QPalette::Text, ColorFromRef(textColor_));
  if (bkColor_ != CLR_DEFAULT) {
    pal.setColor(QPalette::Base, ColorFromRef(bkColor_));
    pal.setColor(QPalette::AlternateBase, ColorFromRef(bkColor_));
  }
  setPalette(pal);
  header()->setPalette(QPalette());
}

void ListViewWidget::SetTextColor(COLORREF c) {
  textColor_ = c;
  ApplyColors();
}

void ListViewWidget::SetBkColor(COLORREF c) {
  bkColor_ = c;
  ApplyColors();
}

int ListViewWidget::InsertColumn(int index, std::u16string_view text, int width) {
  const int n = columnCount();
  if (index < 0 || index > n) index = n;
  setColumnCount(n + 1);
  QTreeWidgetItem* head = headerItem();
  // Texts right of the new column move one to the right.
  for (int c = n; c > index; --c) {
    head->setText(c, head->text(c - 1));
    for (int i = 0; i < topLevelItemCount(); ++i)
      topLevelItem(i)->setText(c, topLevelItem(i)->text(c - 1));
  }
  head->setText(index, ToQString(text));
  for (int i = 0; i < topLevelItemCount() && index < n; ++i)
    topLevelItem(i)->setText(index, QString());
  if (width >= 0) setColumnWidth(index, width);
  return index;
}

void ListViewWidget::SetColumnWidth(int column, int width) {
  if (column >= 0 && column < columnCount() && width >= 0) setColumnWidth(column, width);
}

int ListViewWidget::ClientWidth() const {
  // Until the list is first shown its viewport has not been laid out: its client area is
  // then the inside of its frame (no rows yet, so no scroll bar).
  return isVisible() ? viewport()->width() : contentsRect().width();
}

int ListViewWidget::FittingWidth(int column, const QString& sample) const {
  const QHeaderView* bar = header();
  const int margin = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, bar);
  const QTreeWidgetItem* titles = headerItem();
  const int title = titles ? bar->fontMetrics().horizontalAdvance(titles->text(column)) : 0;
  return std::max(title, fontMetrics().horizontalAdvance(sample)) + 2 * margin;
}

int ListViewWidget::InsertItem(int index, std::u16string_view text, std::intptr_t param) {
  const int n = topLevelItemCount();
  if (index < 0 || index > n) index = n;
  auto item = std::make_unique<QTreeWidgetItem>();
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled |
                 ((exStyle_ & LVS_EX_CHECKBOXES) ? Qt::ItemIsUserCheckable : Qt::NoItemFlags));
  if (columnCount() > 0) item->setText(0, ToQString(text));
  item->setData(0, kParamRole, QVariant::fromValue<qlonglong>(param));
  item->setData(0, kImageRole, -1);
  if (exStyle_ & LVS_EX_CHECKBOXES) item->setCheckState(0, Qt::Unchecked);
  insertTopLevelItem(index, item.release());  // the list owns its items
  return index;
}

bool ListViewWidget::DeleteAllItems() {
  clear();
  return true;
}

bool ListViewWidget::SetItemText(int item, int subItem, std::u16string_view text) {
  QTreeWidgetItem* it = At(item);
  if (!it || subItem < 0 || subItem >= columnCount()) return false;
  it->setText(subItem, ToQString(text));
  return true;
}

std::u16string ListViewWidget::ItemText(int item, int subItem, std::size_t maxChars) const {
  QTreeWidgetItem* it = At(item);
  if (!it || subItem < 0 || subItem >= columnCount()) return {};
  std::u16string s = FromQString(it->text(subItem));
  if (s.size() > maxChars) s.resize(maxChars);
  return s;
}

bool ListViewWidget::ItemParam(int item, std::intptr_t& param) const {
  QTreeWidgetItem* it = At(item);
  if (!it) return false;
  param = static_cast<std::intptr_t>(it->data(0, kParamRole).toLongLong());
  return true;
}

bool ListViewWidget::SetItemParam(int item, std::intptr_t param) {
  QTreeWidgetItem* it = At(item);
  if (!it) return false;
  it->setData(0, kParamRole, QVariant::fromValue<qlonglong>(param));
  return true;
}

bool ListViewWidget::SetItemImage(int item, int image) {
  QTreeWidgetItem* it = At(item);
  if (!it) return false;
  it->setData(0, kImageRole, image);
  if (images_ && image >= 0 && image < images_->Count())
    it->setIcon(0, images_->images[static_cast<std::size_t>(image)]);
  else
    it->setIcon(0, QIcon());
  return true;
}

int ListViewWidget::ItemImage(int item) const {
  QTreeWidgetItem* it = At(item);
  return it ? it->data(0, kImageRole).toInt() : -1;
}

bool ListViewWidget::SetCheck(int item, bool checked) {
  QTreeWidgetItem* it = At(item);
  if (!it || !(exStyle_ & LVS_EX_CHECKBOXES)) return false;
  it->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
  return true;
}

bool ListViewWidget::Check(int item) const {
  QTreeWidgetItem* it = At(item);
  return it && (exStyle_ & LVS_EX_CHECKBOXES) && it->checkState(0) == Qt::Checked;
}

bool ListViewWidget::IsItemSelected(int item) const {
  QTreeWidgetItem* it = At(item);
  return it && it->isSelected();
}

bool ListViewWidget::SetItemState(int item, bool selected, bool focused) {
  QTreeWidgetItem* it = At(item);
  if (!it) return false;
  const QModelIndex index = indexFromItem(it);
  selectionModel()->select(
      index, (selected ? QItemSelectionModel::ClearAndSelect : QItemSelectionModel::Deselect) |
                 QItemSelectionModel::Rows);
  if (focused) selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
  return true;
}

int ListViewWidget::NextItem(int start, std::uint32_t flags) const {
  const int current = currentIndex().isValid() ? currentIndex().row() : -1;
  for (int i = std::max(start + 1, 0); i < topLevelItemCount(); ++i) {
    if ((flags & LVNI_SELECTED) && !IsItemSelected(i)) continue;
    if ((flags & LVNI_FOCUSED) && i != current) continue;
    return i;
  }
  return -1;
}

void ListViewWidget::EnsureVisible(int item) {
  if (QTreeWidgetItem* it = At(item)) scrollToItem(it);
}

int ListViewWidget::HitTest(const QPoint& viewportPos) const {
  QTreeWidgetItem* it = itemAt(viewportPos);
  return it ? indexOfTopLevelItem(it) : -1;
}

bool ListViewWidget::SortItemsEx(CompareFn compare, std::intptr_t sortParam) {
  if (!compare) return false;
  const int n = topLevelItemCount();
  if (n < 2) return true;
  // Bottom-up merge over indices of the unsorted order: the comparator reads the items
  // where they are, and a right-hand item overtakes only on an answer above 0.
  std::vector<int> order(static_cast<std::size_t>(n)), merged(order.size());
  std::iota(order.begin(), order.end(), 0);
  for (int width = 1; width < n; width *= 2) {
    for (int lo = 0; lo < n; lo += 2 * width) {
      const int mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
      int i = lo, j = mid, k = lo;
      while (i < mid && j < hi) {
        const auto ui = static_cast<std::size_t>(i), uj = static_cast<std::size_t>(j);
        if (compare(order[ui], order[uj], sortParam) > 0) {
          merged[static_cast<std::size_t>(k++)] = order[uj];
          ++j;
        } else {
          merged[static_cast<std::size_t>(k++)] = order[ui];
          ++i;
        }
      }
      while (i < mid) merged[static_cast<std::size_t>(k++)] = order[static_cast<std::size_t>(i++)];
      while (j < hi) merged[static_cast<std::size_t>(k++)] = order[static_cast<std::size_t>(j++)];
    }
    order.swap(merged);
  }

  QTreeWidgetItem* current = currentItem();
  std::vector<QTreeWidgetItem*> selected;
  for (QTreeWidgetItem* it : selectedItems()) selected.push_back(it);
  std::vector<QTreeWidgetItem*> items(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) items[static_cast<std::size_t>(i)] = topLevelItem(i);
  const bool blocked = blockSignals(true);
  while (topLevelItemCount() > 0) takeTopLevelItem(topLevelItemCount() - 1);
  QList<QTreeWidgetItem*> sorted;
  for (int idx : order) sorted.append(items[static_cast<std::size_t>(idx)]);
  insertTopLevelItems(0, sorted);
  if (current)
    selectionModel()->setCurrentIndex(indexFromItem(current), QItemSelectionModel::NoUpdate);
  for (QTreeWidgetItem* it : selected) it->setSelected(true);
  blockSignals(blocked);
  return true;
}

void ListViewWidget::mousePressEvent(QMouseEvent* e) {
  pressedItem_ = HitTest(e->position().toPoint());
  QTreeWidget::mousePressEvent(e);
  // A click beside the rows leaves no row selected; the focus row stays.
  if (pressedItem_ < 0) clearSelection();
}

void ListViewWidget::mouseReleaseEvent(QMouseEvent* e) {
  QTreeWidget::mouseReleaseEvent(e);
  if (pressedItem_ == -2 || e->button() != Qt::LeftButton) return;
  pressedItem_ = -2;
  const QPoint at = e->position().toPoint();
  emit Clicked(HitTest(at), std::max(0, columnAt(at.x())));
}

void ListViewWidget::keyPressEvent(QKeyEvent* e) {
  // Space ticks or clears the focus row's check box, whichever of its cells is current.
  QTreeWidgetItem* current = currentItem();
  if ((exStyle_ & LVS_EX_CHECKBOXES) && e->key() == Qt::Key_Space &&
      !(e->modifiers() & ~Qt::KeypadModifier) && current &&
      (current->flags() & Qt::ItemIsUserCheckable)) {
    current->setCheckState(0, current->checkState(0) == Qt::Checked ? Qt::Unchecked : Qt::Checked);
    e->accept();
    return;
  }
  QTreeWidget::keyPressEvent(e);
}

void ListViewWidget::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
  QTreeWidget::drawRow(painter, option, index);
  if (!hasFocus() || index.parent().isValid() || index.row() != currentIndex().row() ||
      columnCount() == 0)
    return;
  // In the colour of the row's text, so that it shows on the row's own background whether
  // selected or not.
  QColor color = palette().color(QPalette::Text);
  COLORREF text = textColor_, back = bkColor_;
  if (CellColors(index.row(), columnCount() > 1 ? 1 : 0, text, back) && text != CLR_DEFAULT)
    color = ColorFromRef(text);
  const int last = columnCount() - 1;
  const int left = columnViewportPosition(0);
  const int right =
      std::min(columnViewportPosition(last) + columnWidth(last), viewport()->width()) - 1;
  painter->save();
  painter->setPen(QPen(color, 1, Qt::DotLine));
  painter->setBrush(Qt::NoBrush);
  painter->drawRect(QRect(QPoint(left, option.rect.top()), QPoint(right, option.rect.bottom())));
  painter->restore();
}

void ListViewWidget::focusInEvent(QFocusEvent* e) {
  QTreeWidget::focusInEvent(e);
  if (!currentIndex().isValid() && topLevelItemCount() > 0)
    selectionModel()->setCurrentIndex(indexFromItem(topLevelItem(0)),
                                      QItemSelectionModel::NoUpdate);
  viewport()->update();
}

void ListViewWidget::focusOutEvent(QFocusEvent* e) {
  QTreeWidget::focusOutEvent(e);
  viewport()->update();
}

// ---- ListViewCtl ----

ListViewCtl::ListViewCtl() = default;

ListViewCtl::~ListViewCtl() {
  Detach();
}

void ListViewCtl::Detach() {
  if (painted_) painted_->SetCellColors(nullptr);
  painted_ = nullptr;
}

void ListViewCtl::Attach(CAppContext* ctx, ListViewWidget* listWidget) {
  Detach();
  context = ctx;
  list = listWidget;
  if (listWidget) {
    painted_ = listWidget;
    listWidget->SetCellColors([this](int item, int subItem, COLORREF& t, COLORREF& b) {
      CellColors(Row(item), list && list->IsItemSelected(item), subItem, t, b);
      return true;
    });
  }
  imageList.reset();
  const QPalette pal = listWidget ? listWidget->palette() : QPalette();
  selText = RefFromColor(pal.color(QPalette::Active, QPalette::HighlightedText));
  selBack = RefFromColor(pal.color(QPalette::Active, QPalette::Highlight));
  back = RefFromColor(pal.color(QPalette::Active, QPalette::Base));
  text = CLR_DEFAULT;
  pText = &text;
  pBack = &back;
  pSelText = &selText;
  pSelBack = &selBack;
  pFont = nullptr;
  colorFirstColumn = 0;
  rowShowsSelection = 1;
}

void ListViewCtl::ApplyStandardLook(bool checkBoxes, bool contextImages) {
  if (!list) return;
  const std::uint32_t add = LVS_EX_FULLROWSELECT | (checkBoxes ? LVS_EX_CHECKBOXES : 0u);
  list->SetExtendedStyle(add, add);
  const UiResources* ui = Ui(context);
  if (contextImages && ui) list->SetImageList(&ui->imageList);
  if (ui) {
    pFont = &ui->fontNormal;
    list->setFont(*pFont);
  }
  if (context) {
    pBack = &context->colorLight;
    list->SetBkColor(*pBack);
    pText = &context->colorDark;
    list->SetTextColor(*pText);
    pSelText = &context->colorLight;
    pSelBack = &context->colorDark;
  }
}

ListRow* ListViewCtl::NewRow() const {
  void* block = context ? MemAllocZero(context, sizeof(ListRow)) : std::calloc(1, sizeof(ListRow));
  if (!block) return nullptr;
  auto* row = static_cast<ListRow*>(block);
  row->pText = pText;
  row->pBack = pBack;
  row->text = pText ? *pText : CLR_DEFAULT;
  row->back = pBack ? *pBack : CLR_DEFAULT;
  row->useRefs = 1;
  row->showSelection = rowShowsSelection;
  row->data = nullptr;
  return row;
}

void ListViewCtl::FreeRow(ListRow* row) const {
  if (!row) return;
  if (context)
    MemFree(context, row);
  else
    std::free(row);
}

int ListViewCtl::AppendRow() {
  if (!list) return -1;
  ListRow* row = NewRow();  // the row is inserted even without a record
  const int index = list->InsertItem(list->ItemCount(), u"", reinterpret_cast<std::intptr_t>(row));
  if (index < 0) FreeRow(row);
  return index;
}

ListRow* ListViewCtl::Row(int index) const {
  std::intptr_t p = 0;
  if (!list || !list->ItemParam(index, p)) return nullptr;
  return reinterpret_cast<ListRow*>(p);
}

void* ListViewCtl::RowData(int index) const {
  ListRow* row = Row(index);
  return row ? row->data : nullptr;
}

bool ListViewCtl::SetRowData(void* data, int index) {
  std::intptr_t p = 0;
  if (!list || !list->ItemParam(index, p)) return false;
  auto* row = reinterpret_cast<ListRow*>(p);
  const bool fresh = row == nullptr;
  if (fresh) row = NewRow();
  if (!row) return false;
  row->data = data;
  if (!list->SetItemParam(index, reinterpret_cast<std::intptr_t>(row))) {
    if (fresh) FreeRow(row);
    return false;
  }
  return true;
}

bool ListViewCtl::ClearRows() {
  if (!list) return false;
  for (int i = 0; i < list->ItemCount(); ++i) {
    FreeRow(Row(i));
    list->SetItemParam(i, 0);
  }
  return list->DeleteAllItems();
}

void ListViewCtl::ReleaseRows() {
  if (list) {
    for (int i = 0; i < list->ItemCount(); ++i) {
      FreeRow(Row(i));
      list->SetItemParam(i, 0);
    }
  }
  imageList.reset();
}

void ListViewCtl::CellColors(const ListRow* row, bool selected, int subItem, COLORREF& textColor,
                             COLORREF& backColor) const {
  auto value = [](const COLORREF* p) { return p ? *p : CLR_DEFAULT; };
  const bool plain = subItem == 0 && colorFirstColumn == 0;
  if (plain || (!selected && !row)) {
    textColor = value(pText);
    backColor = value(pBack);
  } else if (selected && (!row || row->showSelection)) {
    textColor = value(pSelText);
    backColor = value(pSelBack);
  } else if (row->useRefs) {
    textColor = value(row->pText ? row->pText : pText);
    backColor = value(row->pBack ? row->pBack : pBack);
  } else {
    textColor = row->text;
    backColor = row->back;
  }
}

int ListViewCtl::CompareRows(int first, int second, std::intptr_t sortParam) {
  const auto* sort = reinterpret_cast<const ListSort*>(sortParam);
  if (!sort || !sort->ctl) return 0;
  const ListViewWidget* list = sort->list;
  std::u16string a = list ? list->ItemText(first, sort->column, 1023) : std::u16string();
  std::u16string b = list ? list->ItemText(second, sort->column, 1023) : std::u16string();
  if (sort->numeric) {
    const double x = LeadingNumber(a), y = LeadingNumber(b);
    if (sort->ascending) return x > y ? 1 : 0;
    return y > x ? 1 : 0;
  }
  return sort->ascending ? CompareNoCase(a, b) : CompareNoCase(b, a);
}

bool SortRows(ListSort& sort) {
  if (!sort.list) return false;
  return sort.list->SortItemsEx(&ListViewCtl::CompareRows, reinterpret_cast<std::intptr_t>(&sort));
}

}  // namespace tarvik
