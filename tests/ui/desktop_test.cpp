// What a desktop program is expected to do beyond its own windows: Qt's texts in Russian.
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "ui/qt_setup.h"

using namespace tarvik;

class DesktopTest : public QObject {
  Q_OBJECT

 private slots:
  void qtSpeaksRussian() {
    QTemporaryDir empty;
    QVERIFY(!UseRussianQt(*qApp, empty.path()));  // no catalogue: English, and no harm done
    QVERIFY(UseRussianQt(*qApp));
    QMessageBox box(QMessageBox::Question, QString(), QStringLiteral("?"),
                    QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(box.button(QMessageBox::Yes)->text(), QStringLiteral("&Да"));
  }
};

QTEST_MAIN(DesktopTest)
#include "desktop_test.moc"
