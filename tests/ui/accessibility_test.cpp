// What a screen reader finds: every control a user can reach in every window has a name, and
// the names say what the controls are.
#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QImage>
#include <QtTest>
#include <algorithm>
#include <cstdlib>

#include "every_window.h"
#include "ui/map_widget.h"

using namespace tarvik;
using namespace tarvik::test;

namespace {

// What a screen reader calls a control: its name, else the text of the label that labels it
// (the Label relation). A combo box's name is its current item on this platform (Qt names it
// by its value and leaves the purpose to the relation), so only a label names one.
QString NameOf(QWidget* w) {
  QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
  if (!a) return {};
  if (!qobject_cast<QComboBox*>(w)) {
    const QString name = a->text(QAccessible::Name).trimmed();
    if (!name.isEmpty()) return name;
  }
  for (const auto& [label, relation] : a->relations(QAccessible::Label)) {
    const QString text = label ? label->text(QAccessible::Name).trimmed() : QString();
    if (!text.isEmpty()) return text;
  }
  return {};
}

// The controls of a window that take the keyboard focus (by Tab or by a click); the parts of
// a control that pass the focus on to it are the control.
std::vector<QWidget*> Reachable(QWidget* window) {
  std::vector<QWidget*> out;
  for (QWidget* c : window->findChildren<QWidget*>()) {
    if (c->window() != window || c->focusPolicy() == Qt::NoFocus || c->focusProxy() ||
        !c->isVisibleTo(window))
      continue;
    out.push_back(c);
  }
  return out;
}

QString Describe(DlgWindow* w, QWidget* c) {
  const int id = w->ItemId(c);
  return QStringLiteral("%1 %2").arg(QString::fromLatin1(c->metaObject()->className())).arg(id);
}

}  // namespace

class AccessibilityTest : public QObject {
  Q_OBJECT

 private slots:
  // The window's controls, as the template machinery makes them for any dialog: each one a
  // user can reach has a name. The counts per window go to the log.
  void everyReachableControlHasAName() {
    QStringList unnamed;
    ForEveryWindow([&](DlgWindow* w) {
      int named = 0;
      QStringList missing;
      for (QWidget* c : Reachable(w)) {
        if (NameOf(c).trimmed().isEmpty())
          missing << Describe(w, c);
        else
          ++named;
      }
      qInfo("window %u: %d named, %lld unnamed %s", w->Template().id, named, missing.size(),
            qPrintable(missing.join(QStringLiteral(", "))));
      for (const QString& m : missing)
        unnamed << QStringLiteral("%1: %2").arg(w->Template().id).arg(m);
    });
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1Char('\n'))));
  }

  // The names say what the controls are for: a field by its label and, in a group, its place;
  // an icon button by what it does (its tooltip too); a list by what it holds; the map with
  // what it shows.
  void namesSayWhatControlsAre() {
    struct Expected {
      std::uint32_t window;
      int id;
      QString name;
    };
    const Expected expected[] = {
        {DLG_MAIN, 1019, QStringLiteral("Схема")},
        {DLG_MAIN, 1002, QStringLiteral("Области")},
        {DLG_MAIN, 1003, QStringLiteral("Типы камер")},
        {DLG_PROGRESS, 1000, QStringLiteral("Ход выполнения")},
        {DLG_FILTER, 1005, QStringLiteral("Добавить")},
        {DLG_FILTER, 1004, QStringLiteral("Имя")},
        {DLG_FILTER, 1009, QStringLiteral("Долгота (X), северо-западный угол")},
        {DLG_FILTER, 1012, QStringLiteral("Широта (Y), юго-восточный угол")},
        {DLG_SCHEMA, 1017, QStringLiteral("Удалить тип")},
        {DLG_EXPORT, 1041, QStringLiteral("Кодировка")},
        {DLG_EXPORT, 1048, QStringLiteral("Описание")},
        {DLG_MAP, 1100, QStringLiteral("Карта")},
    };
    QStringList wrong;
    bool mapDescribed = false;
    ForEveryWindow([&](DlgWindow* w) {
      for (const Expected& e : expected) {
        if (e.window != w->Template().id) continue;
        QWidget* c = w->Item(e.id);
        const QString name = c ? NameOf(c) : QString();
        if (name != e.name) wrong << QStringLiteral("%1 %2: %3").arg(e.window).arg(e.id).arg(name);
        if (qobject_cast<QAbstractButton*>(c) && c->toolTip() != e.name)
          wrong << QStringLiteral("%1 %2 tooltip: %3").arg(e.window).arg(e.id).arg(c->toolTip());
      }
      if (w->Template().id == DLG_MAP)
        mapDescribed = !QAccessible::queryAccessibleInterface(w->Item(1100))
                            ->text(QAccessible::Description)
                            .isEmpty();
    });
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QLatin1Char('\n'))));
    QVERIFY(mapDescribed);
  }

  // In a dark theme the lists paint the theme's dark base with light text (not the glaring
  // white of a light one), and the map's areas keep an outline that stands out.
  void aDarkThemeKeepsListsAndAreasReadable() {
    const QPalette light = QApplication::palette();
    QPalette dark = light;
    dark.setColor(QPalette::Base, QColor(0x20, 0x22, 0x26));
    dark.setColor(QPalette::Text, QColor(0xEE, 0xEE, 0xEE));
    dark.setColor(QPalette::Window, QColor(0x30, 0x32, 0x36));
    dark.setColor(QPalette::WindowText, QColor(0xEE, 0xEE, 0xEE));
    QApplication::setPalette(dark);
    QImage row;
    QColor outline, inside;
    {
      MainHarness h;  // its resources take the palette's colours
      h.Run([&](DlgWindow* w) {
        h.prompts.openAnswers.push_back(Utf8ToUtf16(TARVIK_EXAMPLES "/speedcams.txt"));
        w->SendCommand(IDM_OPEN);
        ListViewWidget* areas = List(w, IDC_AREA_LIST);
        row = areas->viewport()->grab(areas->visualItemRect(areas->topLevelItem(0))).toImage();
        WhenShown(DLG_MAP, [&](DlgWindow* e) {
          auto* map = e->Control<MapWidget>(CDlgMap::IDC_MAP);
          MapView view;
          view.centerX = 37.5;
          view.centerY = 55.5;
          view.scale = 100;
          map->SetView(view);
          const QImage shot = map->grab().toImage();
          const PixelPoint west = map->View().ToPixel({37, 55.5});  // Moscow's west edge
          const int dpr = static_cast<int>(shot.devicePixelRatio());
          const int y = static_cast<int>(west.y) * dpr;
          for (int dx = -2; dx <= 2 && !outline.isValid(); ++dx) {
            const QColor c = shot.pixelColor((static_cast<int>(west.x) + dx) * dpr, y);
            if (c.red() > 150 && c.green() < 100) outline = c;
          }
          inside = shot.pixelColor((static_cast<int>(west.x) + 12) * dpr, y);
          e->SendCommand(IDCANCEL);
        });
        w->SendCommand(IDM_MAP);
      });
    }
    QApplication::setPalette(light);
    QVERIFY(!row.isNull());
    // The row's own background (its most frequent shade) is dark, its text (the lightest
    // pixels) light.
    int counts[256] = {}, lightest = 0;
    for (int y = 0; y < row.height(); ++y)
      for (int x = 0; x < row.width(); ++x) {
        const int v = qGray(row.pixel(x, y));
        ++counts[v];
        lightest = std::max(lightest, v);
      }
    const int background = static_cast<int>(std::max_element(counts, counts + 256) - counts);
    QVERIFY2(background < 60 && lightest > 170,
             qPrintable(QStringLiteral("%1 %2").arg(background).arg(lightest)));
    QVERIFY(outline.isValid());
    QVERIFY(std::abs(qGray(outline.rgb()) - qGray(inside.rgb())) > 40 ||
            std::abs(outline.red() - inside.red()) + std::abs(outline.green() - inside.green()) >
                120);
  }
};

QTEST_MAIN(AccessibilityTest)
#include "accessibility_test.moc"
