// Large fonts and high density: in every window, in both languages, with the desktop's font
// as it is and two points larger, every label, button, check box and column title shows its
// text whole. ctest runs it at QT_SCALE_FACTOR 1, 1.5 and 2.
#include <QAbstractButton>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyleOptionButton>
#include <QtTest>

#include "every_window.h"
#include "ui/qt_setup.h"

using namespace tarvik;
using namespace tarvik::test;

namespace {

QString Shown(QString text) {
  return text.remove(QLatin1Char('&'));  // a mnemonic's mark takes no room
}

// The text of one control that does not fit its rectangle, as "needs x wider/taller", or
// nothing when it fits.
QString Cut(QWidget* c) {
  const QFontMetrics fm = c->fontMetrics();
  if (auto* label = qobject_cast<QLabel*>(c)) {
    if (label->text().isEmpty() || !label->pixmap().isNull()) return {};
    const QRect r = label->contentsRect();
    if (label->wordWrap()) {
      // Lines break between words only: each word must fit the width, the lines the height.
      for (const QString& word :
           Shown(label->text()).split(QRegularExpression(QStringLiteral("\\s+"))))
        if (fm.horizontalAdvance(word) > r.width())
          return QStringLiteral("\"%1\" %2 px wider")
              .arg(word)
              .arg(fm.horizontalAdvance(word) - r.width());
      const int need = label->heightForWidth(label->width());
      return need > label->height() ? QStringLiteral("%1 px taller").arg(need - label->height())
                                    : QString();
    }
    const QRect need =
        fm.boundingRect(QRect(0, 0, 100000, 100000), Qt::TextShowMnemonic, label->text());
    if (need.width() > r.width())
      return QStringLiteral("%1 px wider").arg(need.width() - r.width());
    if (need.height() > r.height())
      return QStringLiteral("%1 px taller").arg(need.height() - r.height());
    return {};
  }
  if (auto* button = qobject_cast<QAbstractButton*>(c)) {
    if (button->text().isEmpty()) return {};
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const bool check = qobject_cast<QCheckBox*>(c) || qobject_cast<QRadioButton*>(c);
    const QRect room = c->style()->subElementRect(
        check ? (qobject_cast<QCheckBox*>(c) ? QStyle::SE_CheckBoxContents
                                             : QStyle::SE_RadioButtonContents)
              : QStyle::SE_PushButtonContents,
        &option, c);
    const int need = fm.horizontalAdvance(Shown(button->text()));
    if (need > room.width()) return QStringLiteral("%1 px wider").arg(need - room.width());
    if (fm.height() > room.height())
      return QStringLiteral("%1 px taller").arg(fm.height() - room.height());
    return {};
  }
  if (auto* bar = qobject_cast<QMenuBar*>(c)) {
    QStringList cut;
    for (QAction* a : bar->actions()) {
      const QRect room = bar->actionGeometry(a);
      const int need = fm.horizontalAdvance(Shown(a->text()));
      if (need > room.width() || fm.height() > room.height())
        cut << QStringLiteral("menu %1 %2 px wider").arg(a->text()).arg(need - room.width());
    }
    return cut.join(QStringLiteral(", "));
  }
  if (auto* header = qobject_cast<QHeaderView*>(c)) {
    if (!header->isVisible()) return {};
    const int margin = 2 * c->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    QStringList cut;
    for (int i = 0; i < header->count(); ++i) {
      const QString title = header->model()->headerData(i, header->orientation()).toString();
      if (header->isSectionHidden(i) || title.isEmpty()) continue;
      const int need = fm.horizontalAdvance(title) + margin;
      if (need > header->sectionSize(i))
        cut << QStringLiteral("column %1 %2 px wider").arg(i).arg(need - header->sectionSize(i));
    }
    return cut.join(QStringLiteral(", "));
  }
  return {};
}

}  // namespace

class TextFitTest : public QObject {
  Q_OBJECT

 private slots:
  void everyTextFitsItsControl() {
    const QFont desktop = QApplication::font();
    QStringList cut;
    int windows = 0;
    for (const Language language : {Language::Russian, Language::English}) {
      UseLanguage(*qApp, language);
      for (const int larger : {0, 2}) {
        QFont font = desktop;
        font.setPointSizeF(desktop.pointSizeF() + larger);
        QApplication::setFont(font);
        ForEveryWindow([&](DlgWindow* w) {
          ++windows;
          for (QWidget* c : w->findChildren<QWidget*>()) {
            if (c->window() != w || !c->isVisibleTo(w)) continue;
            const QString why = Cut(c);
            if (why.isEmpty()) continue;
            cut << QStringLiteral("%1 %2, font +%3: window %4, %5 %6 \"%7\": %8")
                       .arg(qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")))
                       .arg(language == Language::Russian ? QStringLiteral("ru")
                                                          : QStringLiteral("en"))
                       .arg(larger)
                       .arg(w->Template().id)
                       .arg(QString::fromLatin1(c->metaObject()->className()))
                       .arg(w->ItemId(c))
                       .arg(qobject_cast<QAbstractButton*>(c)
                                ? qobject_cast<QAbstractButton*>(c)->text()
                            : qobject_cast<QLabel*>(c) ? qobject_cast<QLabel*>(c)->text()
                                                       : QString())
                       .arg(why);
          }
        });
      }
    }
    QApplication::setFont(desktop);
    UseLanguage(*qApp, Language::Russian);
    QVERIFY(windows >= 4 * 8);  // each window, four times
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
  }
};

QTEST_MAIN(TextFitTest)
#include "text_fit_test.moc"
