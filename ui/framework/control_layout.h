#pragma once
// Keeps the child controls of one parent in place when the parent is resized; the rule is
// layout_math.h. Offsets always start from the registered rectangles, so any sequence of
// resizes that ends at a size gives the same placement.
#include <cstdint>
#include <mutex>

#include "ui/framework/layout_math.h"

class QWidget;

namespace tarvik {

struct CAppContext;

class ControlLayout {
 public:
  // Records the parent's client rectangle of this moment. Without a context or a parent the
  // layout does nothing.
  ControlLayout(CAppContext* context, QWidget* parent);
  ~ControlLayout();
  ControlLayout(const ControlLayout&) = delete;
  ControlLayout& operator=(const ControlLayout&) = delete;

  // Records the control with its rectangle of this moment and its anchor flags. A control
  // whose registration cannot be stored is simply not moved later.
  void RegisterControl(QWidget* control, std::uint16_t flags);
  // Re-places every recorded control for the new client size.
  void ApplyLayout(int width, int height);

  std::uint32_t ItemCount() const { return count_; }
  LayoutRect InitialClient() const { return initial_; }

 private:
  struct Item {
    QWidget* control;
    LayoutItem geometry;
  };

  CAppContext* context_ = nullptr;
  std::recursive_mutex lock_;
  QWidget* parent_ = nullptr;
  LayoutRect initial_;
  std::uint32_t count_ = 0;
  Item* items_ = nullptr;  // tracked block, one item per registration
};

}  // namespace tarvik
