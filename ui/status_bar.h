#pragma once
// A status bar in the classic style: parts with sunken frames, each with an icon and a text,
// the parts' right edges set by the owner (-1: up to the bar's right end), and a size grip.
#include <QIcon>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <span>
#include <vector>

class QSizeGrip;

namespace tarvik {

class StatusBarWidget : public QWidget {
 public:
  explicit StatusBarWidget(QWidget* parent);

  void SetParts(std::span<const std::int32_t> rightEdges);
  int PartCount() const { return static_cast<int>(parts_.size()); }
  std::int32_t PartEdge(int part) const;
  void SetPartText(int part, const QString& text);
  void SetPartIcon(int part, const QIcon& icon, std::uint32_t iconId);
  QString PartText(int part) const;
  std::uint32_t PartIconId(int part) const;  // 0: none
  // The text line's minimum height; the bar adds its borders.
  void SetMinHeight(int height);

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  struct Part {
    std::int32_t edge = -1;
    QString text;
    QIcon icon;
    std::uint32_t iconId = 0;
  };
  Part* At(int part);
  QRect PartRect(int part) const;

  std::vector<Part> parts_;
  int minHeight_ = 0;
  QSizeGrip* grip_ = nullptr;
};

}  // namespace tarvik
