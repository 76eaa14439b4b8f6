// The drive dialog and tarvik-cli drive against a fake UDisks2 on a private bus: the list and
// its live update, from the menu to the files on the drive and the drive removed (Unmount,
// then PowerOff, and a busy drive kept), the kernel's list and another folder once UDisks2 is
// gone.
#include <QAbstractButton>
#include <QLabel>
#include <QProcess>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "fake_udisks.h"
#include "main_window_harness.h"
#include "ui/dlg_drive.h"

using namespace tarvik;
using namespace tarvik::test;

namespace {

const std::u16string kExample = Utf8ToUtf16(TARVIK_EXAMPLES "/speedcams.txt");

std::string ReadFile(const QString& path) {
  std::ifstream in(std::filesystem::path(path.toStdString()), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Press(DlgWindow* w, int id) {
  QTest::mouseClick(w->Control<QAbstractButton>(id), Qt::LeftButton);
}

QString Text(DlgWindow* w, int id) {
  return ToQString(ControlText(w->Item(id), 8192));
}

// The rows of the drive list without the free space, which the machine decides.
QStringList DriveRows(DlgWindow* w) {
  QStringList rows;
  for (const QString& row : Rows(List(w, CDlgDrive::IDC_LIST)))
    rows << row.section(QLatin1Char('|'), 0, 2).trimmed();
  return rows;
}

QVariantMap Props(std::initializer_list<std::pair<const char*, QVariant>> list) {
  QVariantMap map;
  for (const auto& [key, value] : list) map.insert(QString::fromLatin1(key), value);
  return map;
}

// The standard sets, with the text profile writing into a folder as Windows names it.
void DriveSets(CParamStore& s) {
  StandardSets(s);
  SetText(s.Profiles()[1].Folder, u"E:\\POI\\Car");
}

// Opens the example and ticks the area World: what an export needs.
void OpenAndTick(MainHarness& h, DlgWindow* w) {
  h.prompts.openAnswers.push_back(kExample);
  Command(w, IDM_OPEN);
  List(w, IDC_AREA_LIST)->SetCheck(0, true);  // World
}

struct CliRun {
  int status = -1;
  QString out, err;
};
CliRun RunCli(const QStringList& args) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("TARVIK_LANG"), QStringLiteral("ru"));
  p.setProcessEnvironment(env);
  p.start(QStringLiteral(TARVIK_CLI), args);
  p.waitForFinished(60000);
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
          QString::fromUtf8(p.readAllStandardOutput()),
          QString::fromUtf8(p.readAllStandardError())};
}

}  // namespace

class DriveTest : public QObject {
  Q_OBJECT

  FakeUDisks fake;
  QTemporaryDir media;
  QString Media(const char* name) const {
    const QString path = media.filePath(QString::fromLatin1(name));
    QDir().mkpath(path);
    return path;
  }

 private slots:
  void initTestCase() {
    const QString why = fake.Start();
    QVERIFY2(why.isEmpty(), qPrintable(why));
  }
  void init() { fake.Clear(); }
  void cleanupTestCase() { fake.Stop(); }

  // Only filesystems of removable drives, mounted and not hinted away; a drive plugged in
  // while the dialog is open appears.
  void listsRemovableDrivesAndFollowsThem() {
    const QString stick =
        fake.AddDrive(QStringLiteral("stick"), Props({{"Removable", true}, {"CanPowerOff", true}}));
    const QString card = fake.AddDrive(QStringLiteral("card"), Props({{"ConnectionBus", "sdio"}}));
    const QString disk = fake.AddDrive(QStringLiteral("disk"), Props({{"ConnectionBus", "sata"}}));
    const QString usb = fake.AddDrive(QStringLiteral("usb"), Props({{"ConnectionBus", "usb"}}));
    fake.AddFilesystem(QStringLiteral("sdb1"), stick, Media("STICK"), QStringLiteral("STICK"));
    fake.AddFilesystem(QStringLiteral("mmcblk0p1"), card, Media("CARD"), QString(),
                       Props({{"IdType", "exfat"}}));
    fake.AddFilesystem(QStringLiteral("sda1"), disk, Media("SYSTEM"), QStringLiteral("SYSTEM"));
    fake.AddFilesystem(QStringLiteral("sdc1"), usb, Media("HIDDEN"), QStringLiteral("HIDDEN"),
                       Props({{"HintIgnore", true}}));
    fake.AddFilesystem(QStringLiteral("sdc2"), usb, Media("SYS"), QStringLiteral("SYS"),
                       Props({{"HintSystem", true}}));
    fake.AddFilesystem(QStringLiteral("sdc3"), usb, QString(), QStringLiteral("UNMOUNTED"));

    MainHarness h;
    QStringList before, after;
    QString source;
    bool ejectBefore = true, ejectAfter = false;
    h.Run([&](DlgWindow* w) {
      OpenAndTick(h, w);
      WhenShown(DLG_DRIVE, [&](DlgWindow* e) {
        before = DriveRows(e);
        source = e->Control<QLabel>(CDlgDrive::IDC_SOURCE)->text();
        ejectBefore = e->Item(CDlgDrive::IDC_EJECT)->isEnabled();  // two drives, none chosen
        const QString late =
            fake.AddDrive(QStringLiteral("late"), Props({{"MediaRemovable", true}}));
        fake.AddFilesystem(QStringLiteral("sdd1"), late, Media("LATE"), QStringLiteral("LATE"));
        QTRY_COMPARE(List(e, CDlgDrive::IDC_LIST)->ItemCount(), 3);
        after = DriveRows(e);
        List(e, CDlgDrive::IDC_LIST)->SetItemState(2, true, true);
        ejectAfter = e->Item(CDlgDrive::IDC_EJECT)->isEnabled();
        Press(e, IDCANCEL);
      });
      Command(w, IDM_DRIVE);
    });
    QCOMPARE(before, (QStringList{QStringLiteral("(без метки)|") + Media("CARD") + "|exfat",
                                  QStringLiteral("STICK|") + Media("STICK") + "|vfat"}));
    QCOMPARE(after, before + QStringList{QStringLiteral("LATE|") + Media("LATE") + "|vfat"});
    QCOMPARE(source, QStringLiteral("Съёмные диски по данным UDisks2"));
    QVERIFY(!ejectBefore && ejectAfter);
    QVERIFY(fake.Calls().isEmpty());
  }

  // File > "Подготовить съемный диск...", Save, the files as Save as writes them, the one
  // question before replacing them, OK; then "Извлечь": busy first, then Unmount and
  // PowerOff in that order, and the drive leaves the list.
  void fromTheMenuToTheFilesAndOut() {
    const QString drive =
        fake.AddDrive(QStringLiteral("stick"), Props({{"Removable", true}, {"CanPowerOff", true}}));
    const QString fs =
        fake.AddFilesystem(QStringLiteral("sdb1"), drive, Media("CAR"), QStringLiteral("CAR"));
    const QString nissan = Media("CAR") + "/POIs.csv";
    const QString text = Media("CAR") + "/POI/Car/cams.txt";

    MainHarness h(DriveSets);
    QString summary, afterNo, note, busy, ejected;
    int rows = -1;
    QStringList callsWhenBusy, calls;
    std::string written1, written2;
    h.Run([&](DlgWindow* w) {
      OpenAndTick(h, w);
      WhenShown(DLG_DRIVE, [&](DlgWindow* e) {
        QVERIFY(e->Item(CDlgDrive::IDC_EJECT)->isEnabled());  // the one drive is chosen
        Press(e, CDlgDrive::IDC_SAVE);
        summary = Text(e, CDlgDrive::IDC_SUMMARY);
        written1 = ReadFile(nissan);
        written2 = ReadFile(text);
        h.prompts.answerYes = false;
        Press(e, CDlgDrive::IDC_SAVE);  // both files exist now: one question, answered No
        afterNo = Text(e, CDlgDrive::IDC_SUMMARY);
        Press(e, IDOK);  // just written: OK only closes
      });
      Command(w, IDM_DRIVE);
      note = h.main.StatusBar()->PartText(1);

      h.prompts.saveAnswer = SaveChoice{h.Path("nissan"), 1};
      Command(w, IDM_SAVE_AS);
      h.prompts.saveAnswer = SaveChoice{h.Path("text"), 2};
      Command(w, IDM_SAVE_AS);

      WhenShown(DLG_DRIVE, [&](DlgWindow* e) {
        fake.SetBusy(true);
        Press(e, CDlgDrive::IDC_EJECT);
        busy = Text(e, CDlgDrive::IDC_SUMMARY);
        callsWhenBusy = fake.Calls();
        fake.SetBusy(false);
        Press(e, CDlgDrive::IDC_EJECT);
        ejected = Text(e, CDlgDrive::IDC_SUMMARY);
        calls = fake.Calls();
        QTRY_COMPARE(List(e, CDlgDrive::IDC_LIST)->ItemCount(), 0);
        rows = 0;
        Press(e, IDCANCEL);
      });
      Command(w, IDM_DRIVE);
    });
    QVERIFY(!written1.empty() && !written2.empty());
    QCOMPARE(written1, ReadFile(ToQString(h.Path("nissan.csv"))));
    QCOMPARE(written2, ReadFile(ToQString(h.Path("text.txt"))));
    QCOMPARE(ReadFile(nissan), written1);
    const QStringList lines = summary.split(QRegularExpression(QStringLiteral("\r?\n")));
    QCOMPARE(lines.size(), 3);
    QVERIFY(
        lines[0].startsWith(QStringLiteral("Профиль «Nissan»: ") + nissan + ", POI: 14, байт: "));
    QVERIFY(lines[1].startsWith(QStringLiteral("Профиль «Текст»: ") + text + ", POI: 14"));
    const QString done = QStringLiteral("Все файлы записаны, данные сброшены на диск ") +
                         Media("CAR") + QStringLiteral(".");
    QCOMPARE(lines[2], done);
    QCOMPARE(afterNo, summary);
    QCOMPARE(h.prompts.questions.back(),
             QStringLiteral("На диске уже есть файлы:\r\n%1\r\n%2\r\nПерезаписать их?")
                 .arg(nissan, text)
                 .toStdU16String());
    QCOMPARE(note, done);
    QVERIFY2(busy.endsWith(QStringLiteral("Диск CAR занят и остаётся подключённым: закройте "
                                          "файлы и программы, которые его используют, и "
                                          "попробуйте снова.")),
             qPrintable(busy));
    QVERIFY(callsWhenBusy.isEmpty());
    QCOMPARE(calls,
             (QStringList{QStringLiteral("Unmount ") + fs, QStringLiteral("PowerOff ") + drive}));
    QVERIFY(ejected.endsWith(QStringLiteral("Диск CAR можно извлечь.")));
    QCOMPARE(rows, 0);
    QVERIFY(h.prompts.warnings.empty());
  }

  void commandLine() {
    const QString drive = fake.AddDrive(QStringLiteral("stick"),
                                        Props({{"Ejectable", true}, {"ConnectionBus", "usb"}}));
    const QString fs = fake.AddFilesystem(QStringLiteral("sde1"), drive, Media("CLI"), QString());
    QTemporaryDir dir;
    CAppContext context;
    context.iniPath = FromQString(dir.filePath(QStringLiteral("Tarvik.ini")));
    QVERIFY(WriteSets(context, DriveSets));
    const QString ini = ToQString(context.iniPath);

    CliRun list = RunCli({QStringLiteral("drive"), QStringLiteral("--list")});
    QCOMPARE(list.status, 0);
    QCOMPARE(list.err, QStringLiteral("Съёмные диски по данным UDisks2\n"));
    QVERIFY2(QRegularExpression(QStringLiteral("^") + QRegularExpression::escape(Media("CLI")) +
                                QStringLiteral("\t\tvfat\t\\d+\n$"))
                 .match(list.out)
                 .hasMatch(),
             qPrintable(list.out));

    const QStringList write = {
        QStringLiteral("drive"),   QString::fromUtf8(TARVIK_EXAMPLES "/speedcams.txt"),
        QStringLiteral("--to"),    Media("CLI"),
        QStringLiteral("--ini"),   ini,
        QStringLiteral("--areas"), QStringLiteral("World")};
    CliRun first = RunCli(write + QStringList{QStringLiteral("--eject")});
    QVERIFY2(first.status == 0, qPrintable(first.out + first.err));
    QVERIFY2(first.out.endsWith(QStringLiteral("Диск ") + Media("CLI") +
                                QStringLiteral(" можно извлечь.\n")),
             qPrintable(first.out + first.err));
    QVERIFY(QFile::exists(Media("CLI") + "/POI/Car/cams.txt"));
    QCOMPARE(fake.Calls(),
             (QStringList{QStringLiteral("Unmount ") + fs, QStringLiteral("Eject ") + drive}));

    CliRun again = RunCli(write);  // the files exist, and no --yes
    QCOMPARE(again.status, 1);
    QVERIFY(again.err.contains(QStringLiteral("--yes")));
    QCOMPARE(RunCli(write + QStringList{QStringLiteral("--yes")}).status, 0);
    // A folder that is no drive of UDisks2 cannot be removed; the files are written all the same.
    CliRun folder =
        RunCli({QStringLiteral("drive"), QString::fromUtf8(TARVIK_EXAMPLES "/speedcams.txt"),
                QStringLiteral("--to"), dir.path(), QStringLiteral("--ini"), ini,
                QStringLiteral("--areas"), QStringLiteral("World"), QStringLiteral("--eject")});
    QCOMPARE(folder.status, 1);
    QVERIFY(folder.err.contains(QStringLiteral("нельзя извлечь")));
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("POIs.csv"))));
    // Usage: the table and --to without --list; --list alone.
    QCOMPARE(RunCli({QStringLiteral("drive"), QStringLiteral("--to"), dir.path()}).status, 2);
    QCOMPARE(RunCli({QStringLiteral("drive"), QString::fromUtf8(TARVIK_EXAMPLES "/speedcams.txt")})
                 .status,
             2);
    QCOMPARE(
        RunCli({QStringLiteral("drive"), QStringLiteral("--list"), QStringLiteral("--yes")}).status,
        2);
  }

  // UDisks2 gone: the kernel's list (nothing removable here), no "Извлечь", and a folder of
  // the user's choice written like a drive.
  void withoutUDisks() {
    fake.StopService();
    MainHarness h;
    QString source, summary, row;
    bool eject = true;
    const QString folder = Media("folder");
    h.Run([&](DlgWindow* w) {
      OpenAndTick(h, w);
      WhenShown(DLG_DRIVE, [&](DlgWindow* e) {
        source = e->Control<QLabel>(CDlgDrive::IDC_SOURCE)->text();
        h.prompts.folderAnswers.push_back(FromQString(folder));
        Press(e, CDlgDrive::IDC_OTHER_FOLDER);
        row = DriveRows(e).back();
        eject = e->Item(CDlgDrive::IDC_EJECT)->isEnabled();
        Press(e, IDOK);
        summary = Text(e, CDlgDrive::IDC_SUMMARY);
      });
      Command(w, IDM_DRIVE);
    });
    QVERIFY2(source.startsWith(QStringLiteral("Съёмные диски по данным ядра (mountinfo и sysfs): "
                                              "UDisks2 недоступен (служба UDisks2 не отвечает)")),
             qPrintable(source));
    QVERIFY(row.startsWith(QStringLiteral("(папка)|") + folder + "|"));
    QVERIFY(!eject);
    QVERIFY(summary.endsWith(QStringLiteral("Все файлы записаны, данные сброшены на диск ") +
                             folder + "."));
    QVERIFY(QFile::exists(folder + "/POIs.csv"));

    CliRun list = RunCli({QStringLiteral("drive"), QStringLiteral("--list")});
    QCOMPARE(list.status, 0);
    QVERIFY(list.err.startsWith(QStringLiteral("Съёмные диски по данным ядра")));
  }
};

QTEST_MAIN(DriveTest)
#include "drive_test.moc"
