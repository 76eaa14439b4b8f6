// Draws the program's icons as PNG files at 16, 24, 32 and 48 pixels:
//   make_icons <output folder> [contact sheet.png]
// The contact sheet shows the 16- and 32-pixel images enlarged, for review.
// The pictures are drawn on a 16-unit grid so that the 16-pixel images stay sharp.
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>

namespace {

const QColor kBlue(0x1E, 0x6F, 0xD9);
const QColor kGreen(0x2E, 0x9E, 0x44);
const QColor kRed(0xD9, 0x30, 0x25);
const QColor kGrey(0x8A, 0x8F, 0x96);
const QColor kDark(0x3C, 0x44, 0x50);
const QColor kGold(0xE8, 0xB0, 0x00);

QPainterPath Pin(double cx, double top, double r, double tip) {
  QPainterPath path;
  path.moveTo(cx, tip);
  path.cubicTo(cx - r * 0.55, tip - r * 1.4, cx - r, top + r * 1.45, cx - r, top + r);
  path.arcTo(QRectF(cx - r, top, 2 * r, 2 * r), 180, -180);
  path.cubicTo(cx + r, top + r * 1.45, cx + r * 0.55, tip - r * 1.4, cx, tip);
  path.closeSubpath();
  return path;
}

void DrawPin(QPainter& p, const QColor& fill, const QColor& edge) {
  p.setPen(QPen(edge, 1.0));
  p.setBrush(fill);
  p.drawPath(Pin(8, 1.5, 5.0, 14.8));
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(8, 6.5), 2.0, 2.0);
}

void Program(QPainter& p) {
  p.setPen(Qt::NoPen);
  p.setBrush(kBlue);
  p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
  p.setBrush(Qt::white);
  p.drawPath(Pin(8, 2.2, 4.0, 13.8));
  p.setBrush(kBlue);
  p.drawEllipse(QPointF(8, 6.2), 1.6, 1.6);
}

void Memory(QPainter& p) {
  p.setPen(QPen(kGrey, 1.0, Qt::SolidLine, Qt::FlatCap));
  for (double t : {5.5, 8.0, 10.5}) {
    p.drawLine(QPointF(t, 0.5), QPointF(t, 3.0));
    p.drawLine(QPointF(t, 13.0), QPointF(t, 15.5));
    p.drawLine(QPointF(0.5, t), QPointF(3.0, t));
    p.drawLine(QPointF(13.0, t), QPointF(15.5, t));
  }
  p.setPen(Qt::NoPen);
  p.setBrush(kDark);
  p.drawRoundedRect(QRectF(3, 3, 10, 10), 1.2, 1.2);
  p.setBrush(kGreen);
  p.drawRect(QRectF(6, 6, 4, 4));
}

void Loaded(QPainter& p) {
  DrawPin(p, kGreen, kGreen.darker(130));
}
void NotLoaded(QPainter& p) {
  DrawPin(p, QColor(0xC4, 0xC8, 0xCD), kGrey);
}

void Add(QPainter& p) {
  p.setPen(Qt::NoPen);
  p.setBrush(kGreen);
  p.drawEllipse(QRectF(1, 1, 14, 14));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(7, 4, 2, 8));
  p.drawRect(QRectF(4, 7, 8, 2));
}

void Delete(QPainter& p) {
  p.setPen(Qt::NoPen);
  p.setBrush(kRed);
  p.drawEllipse(QRectF(1, 1, 14, 14));
  p.setPen(QPen(Qt::white, 2.0, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(5.3, 5.3), QPointF(10.7, 10.7));
  p.drawLine(QPointF(10.7, 5.3), QPointF(5.3, 10.7));
}

void Enabled(QPainter& p) {
  p.setPen(QPen(kGreen, 2.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(Qt::NoBrush);
  QPainterPath check;
  check.moveTo(2.5, 8.5);
  check.lineTo(6.3, 12.3);
  check.lineTo(13.5, 3.8);
  p.drawPath(check);
}

void Disabled(QPainter& p) {
  p.setPen(QPen(kGrey, 2.0));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(QRectF(2, 2, 12, 12));
  p.drawLine(QPointF(4.2, 11.8), QPointF(11.8, 4.2));
}

void Locked(QPainter& p) {
  p.setPen(QPen(kDark, 1.6));
  p.setBrush(Qt::NoBrush);
  QPainterPath shackle;
  shackle.moveTo(4.8, 7.5);
  shackle.lineTo(4.8, 5.2);
  shackle.arcTo(QRectF(4.8, 1.8, 6.4, 6.4), 180, -180);
  shackle.lineTo(11.2, 7.5);
  p.drawPath(shackle);
  p.setPen(QPen(kGold.darker(140), 1.0));
  p.setBrush(kGold);
  p.drawRoundedRect(QRectF(2.5, 7.5, 11, 7.5), 1.2, 1.2);
  p.setPen(Qt::NoPen);
  p.setBrush(kDark);
  p.drawEllipse(QPointF(8, 10.3), 1.3, 1.3);
  p.drawRect(QRectF(7.4, 10.5, 1.2, 2.6));
}

void Current(QPainter& p) {
  QPainterPath star;
  for (int i = 0; i < 10; ++i) {
    const double a = -M_PI / 2 + i * M_PI / 5;
    const double r = (i % 2) ? 3.0 : 7.2;
    QPointF pt(8 + r * std::cos(a), 8.6 + r * std::sin(a));
    if (i == 0)
      star.moveTo(pt);
    else
      star.lineTo(pt);
  }
  star.closeSubpath();
  p.setPen(QPen(QColor(0xB0, 0x78, 0x00), 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(QColor(0xFF, 0xC8, 0x1E));
  p.drawPath(star);
}

void Entry(QPainter& p) {
  // A label tag with a hole.
  QPainterPath tag;
  tag.moveTo(1.5, 4.5);
  tag.lineTo(9.5, 4.5);
  tag.lineTo(14.5, 8);
  tag.lineTo(9.5, 11.5);
  tag.lineTo(1.5, 11.5);
  tag.closeSubpath();
  p.setPen(QPen(kBlue.darker(130), 1.0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
  p.setBrush(kBlue);
  p.drawPath(tag);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(QPointF(10.2, 8), 1.2, 1.2);
  p.drawRect(QRectF(3.5, 7.3, 4, 1.4));
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: make_icons <output folder>\n");
    return 2;
  }
  const QString dir = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(dir);
  const std::map<int, std::function<void(QPainter&)>> icons = {
      {131, Program}, {132, Memory},   {133, Loaded}, {134, NotLoaded}, {139, Add},   {140, Delete},
      {141, Enabled}, {142, Disabled}, {143, Locked}, {144, Current},   {145, Entry},
  };
  for (const auto& [id, draw] : icons) {
    for (int size : {16, 24, 32, 48}) {
      QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
      image.fill(Qt::transparent);
      QPainter p(&image);
      p.setRenderHint(QPainter::Antialiasing);
      p.scale(size / 16.0, size / 16.0);
      draw(p);
      p.end();
      const QString path = QStringLiteral("%1/%2_%3.png").arg(dir).arg(id).arg(size);
      if (!image.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
      }
    }
  }
  if (argc >= 3) {
    // Row 1: 16 px at 8x, row 2: 32 px at 4x, both without smoothing.
    const int cell = 128;
    QImage sheet(cell * static_cast<int>(icons.size()), 2 * cell, QImage::Format_RGB32);
    sheet.fill(Qt::white);
    QPainter p(&sheet);
    int x = 0;
    for (const auto& entry : icons) {
      for (int row = 0; row < 2; ++row) {
        const int size = row ? 32 : 16;
        QImage img(QStringLiteral("%1/%2_%3.png").arg(dir).arg(entry.first).arg(size));
        p.drawImage(QRect(x, row * cell, cell, cell), img);
      }
      x += cell;
    }
    p.end();
    sheet.save(QString::fromLocal8Bit(argv[2]));
  }
  return 0;
}
