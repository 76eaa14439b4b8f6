#include "ui/framework/control_layout.h"

#include <QWidget>
#include <cstring>

#include "core/tracked_memory.h"

namespace tarvik {

ControlLayout::ControlLayout(CAppContext* context, QWidget* parent)
    : context_(context), parent_(parent) {
  if (parent_) {
    const QRect r = parent_->rect();
    initial_ = {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
  }
}

ControlLayout::~ControlLayout() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  MemFree(context_, items_);
  items_ = nullptr;
  count_ = 0;
  parent_ = nullptr;
}

void ControlLayout::RegisterControl(QWidget* control, std::uint16_t flags) {
  if (!context_ || !parent_ || !control) return;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  const std::size_t bytes = (static_cast<std::size_t>(count_) + 1) * sizeof(Item);
  void* grown = items_ ? MemRealloc(context_, items_, bytes) : MemAlloc(context_, bytes);
  if (!grown) return;  // the earlier registrations stay as they were
  items_ = static_cast<Item*>(grown);
  Item& item = items_[count_];
  std::memset(static_cast<void*>(&item), 0, sizeof(Item));
  item.control = control;
  item.geometry.flags = flags;

  // The window rectangle in screen coordinates, then, when asked, the parent's client ones.
  QPoint topLeft = control->mapToGlobal(QPoint(0, 0));
  QPoint bottomRight = topLeft + QPoint(control->width(), control->height());
  if (flags & LAYOUT_CLIENT_COORDS) {
    topLeft = parent_->mapFromGlobal(topLeft);
    bottomRight = parent_->mapFromGlobal(bottomRight);
  }
  item.geometry.left = topLeft.x();
  item.geometry.top = topLeft.y();
  item.geometry.right = bottomRight.x();
  item.geometry.bottom = bottomRight.y();
  item.geometry.width = item.geometry.right - item.geometry.left;
  item.geometry.height = item.geometry.bottom - item.geometry.top;
  ++count_;
}

void ControlLayout::ApplyLayout(int width, int height) {
  if (!context_ || !parent_) return;
  std::lock_guard<std::recursive_mutex> guard(lock_);
  float dx = 0, dy = 0;
  LayoutDelta(initial_, width, height, dx, dy);
  for (std::uint32_t i = 0; i < count_; ++i) {
    const Item& item = items_[i];
    const LayoutPlacement p = PlaceItem(item.geometry, dx, dy);
    const bool keepSize = item.geometry.flags & LAYOUT_KEEP_SIZE;
    const bool keepPos = item.geometry.flags & LAYOUT_KEEP_POS;
    if (!keepPos && !keepSize)
      item.control->setGeometry(p.left, p.top, std::max(0, p.width), std::max(0, p.height));
    else if (!keepPos)
      item.control->move(p.left, p.top);
    else if (!keepSize)
      item.control->resize(std::max(0, p.width), std::max(0, p.height));
    item.control->raise();
    item.control->update();
  }
  parent_->update();
}

}  // namespace tarvik
