// Start-up and shut-down of the windowed program.
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "params/ini_file.h"
#include "resources/dialog_templates.h"
#include "ui/framework/dlg_core.h"
#include "ui/framework/qt_text.h"
#include "ui/program.h"

using namespace tarvik;

class ProgramTest : public QObject {
  Q_OBJECT

  // Closes the main window the way the user does, once it runs (after the start-up task's
  // progress window).
  static void CloseWith(std::function<void(DlgWindow*)> close, QString* title) {
    auto* poll = new QTimer(qApp);  // deletes itself once it has closed the window
    QObject::connect(poll, &QTimer::timeout, [poll, close, title] {
      auto* w = qobject_cast<DlgWindow*>(QApplication::activeModalWidget());
      if (!w || w->Template().id != 129) return;
      poll->stop();
      poll->deleteLater();
      *title = w->windowTitle();
      close(w);
    });
    poll->start(5);
  }

 private slots:
  void startsShowsTheMainWindowAndWritesTheSeed() {
    QTemporaryDir dir;
    const std::u16string ini = FromQString(dir.filePath(QStringLiteral("Tarvik.ini")));
    EntryOptions options;
    options.iniPath = ini;
    QString title;
    CloseWith([](DlgWindow* w) { QTest::keyClick(w, Qt::Key_Escape); }, &title);
    QCOMPARE(RunWindowedProgram(options), 0);
    QCOMPARE(title, QStringLiteral("Tarvik 1.0.0.5 (Beta)"));
    std::int64_t first = 0;
    QVERIFY(ReadSeed(ini, first));
    QVERIFY(first > 1600000000);  // seeded from the clock on the first start

    // The next run starts from the stored value and writes it back; Exit ends it too.
    CloseWith([](DlgWindow* w) { w->MenuItem(32771)->trigger(); }, &title);
    QCOMPARE(RunWindowedProgram(options), 0);
    std::int64_t second = 0;
    QVERIFY(ReadSeed(ini, second));
    QCOMPARE(second, first);

    // The close box ends it as well.
    CloseWith([](DlgWindow* w) { w->close(); }, &title);
    QCOMPARE(RunWindowedProgram(options), 0);
  }
};

QTEST_MAIN(ProgramTest)
#include "program_test.moc"
