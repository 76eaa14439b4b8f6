// Start-up and shut-down of the windowed program.
#include <QDir>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <csignal>
#include <fstream>
#include <thread>

#include "main_window_harness.h"
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

  // Asked from another thread to end (as the signal watch asks), the program closes what is
  // open, innermost first, ends as Exit does and writes the seed; after running out of memory
  // it says so and returns 1.
  void endsAsExitDoesWhenAskedFromOutside() {
    QTemporaryDir dir;
    const std::u16string ini = FromQString(dir.filePath(QStringLiteral("Tarvik.ini")));
    EntryOptions options;
    options.iniPath = ini;
    for (bool outOfMemory : {false, true}) {
      // Settings without a seed: one written at the end shows the program ended as Exit ends it.
      std::ofstream(dir.filePath(QStringLiteral("Tarvik.ini")).toStdString(), std::ios::binary)
          << "[User]\r\nk=v\r\n";
      QString title;
      bool boxClosed = false;
      CloseWith(
          [&](DlgWindow*) {
            // A message box of the program is open when the request comes.
            QTimer::singleShot(0, [outOfMemory] {
              std::thread([outOfMemory] {
                if (outOfMemory)
                  NoteOutOfMemory();
                else
                  RequestShutdown();
              }).join();
            });
            QMessageBox box(QMessageBox::Warning, QString(), QStringLiteral("open"));
            box.exec();
            boxClosed = true;
          },
          &title);
      test::FakePrompts prompts;
      QCOMPARE(RunWindowedProgram(options, &prompts), outOfMemory ? 1 : 0);
      QVERIFY(boxClosed);
      QVERIFY(!ShutdownRequested());
      std::int64_t seed = 0;
      QVERIFY(ReadSeed(ini, seed));
      QCOMPARE(prompts.warnings.size(), std::size_t{outOfMemory ? 1u : 0u});
      if (outOfMemory) QCOMPARE(prompts.warnings[0], StrLoad(832));
    }
  }

  // --help and --version print and end with status 0 where there is no display at all.
  void helpAndVersionNeedNoDisplay() {
    for (const char* ask : {"--help", "--version", "-h"}) {
      QProcess program;
      QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
      for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
      env.insert(QStringLiteral("TARVIK_LANG"), QStringLiteral("en"));
      program.setProcessEnvironment(env);
      program.start(QStringLiteral(TARVIK_GUI), {QString::fromLatin1(ask)});
      QVERIFY(program.waitForFinished(30000));
      const QString out = QString::fromUtf8(program.readAllStandardOutput());
      QCOMPARE(program.exitStatus(), QProcess::NormalExit);
      QVERIFY2(program.exitCode() == 0, ask);
      QVERIFY2(out.contains(QStringLiteral(TARVIK_VERSION)) || out.contains(QStringLiteral("FILE")),
               qPrintable(out));
      QVERIFY(
          !QString::fromUtf8(program.readAllStandardError()).contains(QStringLiteral("display")));
    }
  }

  // The real program, ended by SIGTERM (a logout does the same): it shuts down as Exit does
  // and writes the seed into a settings file that had none.
  void aSignalEndsTheProgramAsExitDoes() {
    QTemporaryDir dir;
    const QString exe = dir.filePath(QStringLiteral("tarvik"));
    QVERIFY(QFile::copy(QStringLiteral(TARVIK_GUI), exe));
    const QString ini = dir.filePath(QStringLiteral("Tarvik.ini"));
    std::ofstream(ini.toStdString(), std::ios::binary) << "[User]\r\nk=v\r\n";
    QProcess program;
    program.start(exe, {});
    QVERIFY(program.waitForStarted());
    // The signal watch is the first thread the program starts.
    const QDir threads(QStringLiteral("/proc/%1/task").arg(program.processId()));
    QTRY_VERIFY_WITH_TIMEOUT(threads.entryList(QDir::Dirs | QDir::NoDotAndDotDot).size() >= 2,
                             30000);
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    std::int64_t seed = 0;
    QVERIFY(ReadSeed(FromQString(ini), seed));
  }
};

QTEST_MAIN(ProgramTest)
#include "program_test.moc"
