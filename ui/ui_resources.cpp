#include "ui/ui_resources.h"

#include <QApplication>
#include <QFile>
#include <QPalette>
#include <QStyle>

#include "resources/dialog_templates.h"
#include "ui/framework/list_view.h"

// Resources compiled into a static library must be registered by name, outside namespaces.
static void InitIconResources() {
  Q_INIT_RESOURCE(icons);
}

namespace tarvik {

int ImageList::Add(const QIcon& icon) {
  if (icon.isNull()) return -1;
  images.push_back(icon);
  return Count() - 1;
}

const QIcon& UiResources::Icon(std::uint32_t resourceId) const {
  static const QIcon none;
  for (std::size_t i = 0; i < icons.size(); ++i)
    if (kIconIds[i] == resourceId) return icons[i];
  return none;
}

QIcon LoadIconResource(std::uint32_t resourceId) {
  QIcon icon;
  for (int size : {16, 24, 32, 48}) {
    const QString path = QStringLiteral(":/icons/%1_%2.png").arg(resourceId).arg(size);
    if (QFile::exists(path)) icon.addFile(path, QSize(size, size));
  }
  return icon;
}

namespace {

// "Verdana", a sans-serif face of the Swiss family, at the given point size; where Verdana
// is missing the font system picks the closest sans-serif face.
QFont ProgramFont(int points) {
  QFont font(QStringLiteral("Verdana"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(points);
  return font;
}

}  // namespace

std::shared_ptr<UiResources> CreateUiResources() {
  InitIconResources();
  auto ui = std::make_shared<UiResources>();
  ui->fontNormal = ProgramFont(10);
  ui->fontSmall = ProgramFont(8);
  if (QStyle* style = QApplication::style()) {
    const int small = style->pixelMetric(QStyle::PM_SmallIconSize);
    const int large = style->pixelMetric(QStyle::PM_LargeIconSize);
    if (small > 0) ui->smallIconSize = QSize(small, small);
    if (large > 0) ui->largeIconSize = QSize(large, large);
  }
  for (std::size_t i = 0; i < ui->icons.size(); ++i) ui->icons[i] = LoadIconResource(kIconIds[i]);
  ui->imageList.size = ui->smallIconSize;
  for (std::uint32_t id = ICON_ENABLED; id <= ICON_ENTRY; ++id) ui->imageList.Add(ui->Icon(id));
  return ui;
}

void InitUi(CAppContext& context) {
  context.ui = CreateUiResources();
  // The lists' light and dark pair follow the desktop's palette: its base, and its text moved
  // 50/255 of the way towards the base. On black and white that is the program's dark grey
  // (0x323232) on white; on a dark theme a light grey on the theme's dark base.
  const QPalette palette = QGuiApplication::palette();
  const QColor base = palette.color(QPalette::Active, QPalette::Base);
  const QColor text = palette.color(QPalette::Active, QPalette::Text);
  auto toward = [](int from, int to) { return from + (to - from) * 50 / 255; };
  context.colorLight = RefFromColor(base);
  context.colorDark =
      RefFromColor(QColor(toward(text.red(), base.red()), toward(text.green(), base.green()),
                          toward(text.blue(), base.blue())));
}

}  // namespace tarvik
