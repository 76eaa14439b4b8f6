#include "ui/status_bar.h"

#include <QPainter>
#include <QSizeGrip>
#include <QStyle>
#include <algorithm>

namespace tarvik {
namespace {

constexpr int kBorder = 2;   // above and below the parts
constexpr int kPadding = 3;  // inside a part's frame

}  // namespace

StatusBarWidget::StatusBarWidget(QWidget* parent) : QWidget(parent) {
  grip_ = new QSizeGrip(this);  // owned by the bar
  parts_.resize(1);
}

StatusBarWidget::Part* StatusBarWidget::At(int part) {
  if (part < 0 || part >= PartCount()) return nullptr;
  return &parts_[static_cast<std::size_t>(part)];
}

void StatusBarWidget::SetParts(std::span<const std::int32_t> rightEdges) {
  if (rightEdges.empty()) return;
  parts_.resize(rightEdges.size());
  for (std::size_t i = 0; i < rightEdges.size(); ++i) parts_[i].edge = rightEdges[i];
  update();
}

std::int32_t StatusBarWidget::PartEdge(int part) const {
  if (part < 0 || part >= PartCount()) return -1;
  return parts_[static_cast<std::size_t>(part)].edge;
}

void StatusBarWidget::SetPartText(int part, const QString& text) {
  if (Part* p = At(part); p && p->text != text) {
    p->text = text;
    update();
  }
}

void StatusBarWidget::SetPartIcon(int part, const QIcon& icon, std::uint32_t iconId) {
  if (Part* p = At(part); p && p->iconId != iconId) {
    p->icon = icon;
    p->iconId = iconId;
    update();
  }
}

QString StatusBarWidget::PartText(int part) const {
  if (part < 0 || part >= PartCount()) return {};
  return parts_[static_cast<std::size_t>(part)].text;
}

std::uint32_t StatusBarWidget::PartIconId(int part) const {
  if (part < 0 || part >= PartCount()) return 0;
  return parts_[static_cast<std::size_t>(part)].iconId;
}

void StatusBarWidget::SetMinHeight(int height) {
  minHeight_ = std::max(0, height);
  updateGeometry();
}

QSize StatusBarWidget::sizeHint() const {
  const int icon = style()->pixelMetric(QStyle::PM_SmallIconSize);
  const int line = std::max({minHeight_, fontMetrics().height(), icon});
  return QSize(200, line + 2 * kBorder + 2 * 1 + 2);
}

QRect StatusBarWidget::PartRect(int part) const {
  const int left = part == 0 ? 0 : parts_[static_cast<std::size_t>(part - 1)].edge + 2;
  std::int32_t edge = parts_[static_cast<std::size_t>(part)].edge;
  if (edge < 0 || edge > width()) edge = width();
  return QRect(left, kBorder, std::max(0, edge - left), std::max(0, height() - 2 * kBorder));
}

void StatusBarWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QPalette& pal = palette();
  p.fillRect(rect(), pal.color(QPalette::Window));
  const int icon = style()->pixelMetric(QStyle::PM_SmallIconSize);
  for (int i = 0; i < PartCount(); ++i) {
    QRect r = PartRect(i);
    if (r.width() <= 0) continue;
    // A thin sunken frame: dark at the top and left, light at the bottom and right.
    p.setPen(pal.color(QPalette::Mid));
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(pal.color(QPalette::Light));
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
    QRect inner = r.adjusted(kPadding, 1, -kPadding, -1);
    const Part& part = parts_[static_cast<std::size_t>(i)];
    if (!part.icon.isNull()) {
      const QRect iconRect(inner.left(), inner.top() + (inner.height() - icon) / 2, icon, icon);
      part.icon.paint(&p, iconRect);
      inner.setLeft(iconRect.right() + 1 + kPadding);
    }
    p.setPen(pal.color(QPalette::WindowText));
    const QString text = fontMetrics().elidedText(part.text, Qt::ElideRight, inner.width());
    p.drawText(inner, Qt::AlignLeft | Qt::AlignVCenter, text);
  }
}

void StatusBarWidget::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  const QSize g = grip_->sizeHint();
  grip_->setGeometry(width() - g.width(), height() - g.height(), g.width(), g.height());
  grip_->raise();
}

}  // namespace tarvik
