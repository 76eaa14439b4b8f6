// What a desktop program is expected to do beyond its own windows.
#include <QComboBox>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>
#include <QUrl>
#include <QtTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/platform_files.h"
#include "main_window_harness.h"
#include "params/ini_file.h"
#include "resources/string_ids.h"
#include "ui/qt_setup.h"
#include "ui/remembered_folders.h"

using namespace tarvik;
using namespace tarvik::test;
using namespace std::string_literals;

namespace {

const std::u16string kExample = Utf8ToUtf16(TARVIK_EXAMPLES "/speedcams.txt");

QStringList Captions(const QList<QAction*>& actions) {
  QStringList out;
  for (const QAction* a : actions)
    if (!a->isSeparator()) out << a->text();
  return out;
}

void WriteFile(const std::u16string& path, const std::string& bytes) {
  std::ofstream(std::filesystem::path(path), std::ios::binary) << bytes;
}

// A Cyrillic letter typed (QTest's own key names are Latin only).
void TypeLetter(QWidget* to, char16_t upper, Qt::KeyboardModifiers modifiers = {}) {
  QTest::sendKeyEvent(QTest::Click, to, static_cast<Qt::Key>(upper),
                      QString(QChar(upper)).toLower(), modifiers);
}

}  // namespace

class DesktopTest : public QObject {
  Q_OBJECT

 private slots:
  void qtSpeaksTheProgramsLanguage() {
    auto yes = [] {
      QMessageBox box(QMessageBox::Question, QString(), QStringLiteral("?"),
                      QMessageBox::Yes | QMessageBox::No);
      return box.button(QMessageBox::Yes)->text();
    };
    QTemporaryDir empty;
    QVERIFY(!UseLanguage(*qApp, Language::Russian, empty.path()));  // no catalogue: English
    QCOMPARE(yes(), QStringLiteral("&Yes"));
    QVERIFY(UseLanguage(*qApp, Language::Russian));
    QCOMPARE(yes(), QStringLiteral("&Да"));
    QVERIFY(UseLanguage(*qApp, Language::English));
    QCOMPARE(yes(), QStringLiteral("&Yes"));
    QCOMPARE(LoadQString(STR_CANCEL), QStringLiteral("Cancel"));
    QVERIFY(UseLanguage(*qApp, Language::Russian));
    QCOMPARE(LoadQString(STR_CANCEL), QStringLiteral("Отмена"));
  }

  void keyboardReachesEveryCommand() {
    MainHarness h;
    h.Run([&](DlgWindow* w) {
      w->activateWindow();  // shortcuts reach the active window only
      QVERIFY(QTest::qWaitForWindowActive(w));
      QMenuBar* bar = w->Menu();
      // Mnemonics: the first free letter of each caption, among its siblings.
      QCOMPARE(Captions(bar->actions()),
               (QStringList{QStringLiteral("&Файл"), QStringLiteral("&Настройка"),
                            QStringLiteral("&Справка")}));
      QCOMPARE(
          Captions(w->MenuPopup(0)->menu()->actions()),
          (QStringList{QStringLiteral("&Открыть..."), QStringLiteral("&Сохранить как..."),
                       QStringLiteral("&Подготовить съемный диск..."), QStringLiteral("&Выход")}));
      QCOMPARE(Captions(w->MenuPopup(1)->menu()->actions()),
               (QStringList{QStringLiteral("&Фильтр..."), QStringLiteral("&Схема..."),
                            QStringLiteral("&Экспорт..."), QStringLiteral("&Карта...")}));

      // Alt alone: the menu bar in keyboard mode on its first popup; Escape leaves it.
      QTest::keyClick(w, Qt::Key_Alt);
      QCOMPARE(bar->activeAction(), w->MenuPopup(0));
      QTest::keyClick(bar, Qt::Key_Escape);
      QVERIFY(!bar->activeAction());
      QVERIFY(!w->Ended());
      // F10 opens the first popup, Alt+letter the one of the letter; a letter in an open
      // popup runs its item.
      QTest::keyClick(w, Qt::Key_F10);
      QTRY_VERIFY(w->MenuPopup(0)->menu()->isVisible());
      QTest::keyClick(w->MenuPopup(0)->menu(), Qt::Key_Escape);
      TypeLetter(w, u'Ф', Qt::AltModifier);
      QTRY_VERIFY(w->MenuPopup(0)->menu()->isVisible());
      TypeLetter(w->MenuPopup(0)->menu(), u'О');
      QCOMPARE(h.prompts.openCalls, 1);
      QTRY_VERIFY(!w->MenuPopup(0)->menu()->isVisible());
      // On an English layout, or from the English menus' habits, the same key does it: Alt+A
      // is the key of Ф, Alt+F opens "File" in English, Alt+А is the key of F; in the open
      // popup J is the key of О.
      for (char16_t letter : {u'A', u'F', u'А'}) {
        TypeLetter(w, letter, Qt::AltModifier);
        QTRY_VERIFY(w->MenuPopup(0)->menu()->isVisible());
        QTest::keyClick(w->MenuPopup(0)->menu(), Qt::Key_Escape);
        QTRY_VERIFY(!w->MenuPopup(0)->menu()->isVisible());
        QTest::keyClick(bar, Qt::Key_Escape);
      }
      TypeLetter(w, u'Y', Qt::AltModifier);  // the key of Н: "Настройка"
      QTRY_VERIFY(w->MenuPopup(1)->menu()->isVisible());
      QTest::keyClick(w->MenuPopup(1)->menu(), Qt::Key_Escape);
      QTest::keyClick(bar, Qt::Key_Escape);
      TypeLetter(w, u'A', Qt::AltModifier);
      QTRY_VERIFY(w->MenuPopup(0)->menu()->isVisible());
      TypeLetter(w->MenuPopup(0)->menu(), u'J');
      QCOMPARE(h.prompts.openCalls, 2);
      QTRY_VERIFY(!w->MenuPopup(0)->menu()->isVisible());

      // Shortcuts, shown in the menu.
      QCOMPARE(w->MenuItem(IDM_SAVE_AS)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
      QTest::keyClick(w, Qt::Key_O, Qt::ControlModifier);
      QCOMPARE(h.prompts.openCalls, 3);
      h.prompts.openAnswers.push_back(kExample);
      QTest::keyClick(w, Qt::Key_O, Qt::ControlModifier);
      List(w, IDC_AREA_LIST)->SetCheck(0, true);
      w->activateWindow();  // back from the progress window
      QVERIFY(QTest::qWaitForWindowActive(w));
      QTest::keyClick(w, Qt::Key_S, Qt::ControlModifier);
      QCOMPARE(h.prompts.saveCalls, 1);
      // Tab goes from the area list to the schema box and on to the type list; Space ticks
      // and clears the current row of either list, whichever column was clicked last.
      ListViewWidget* areas = List(w, IDC_AREA_LIST);
      ListViewWidget* types = List(w, IDC_TYPE_LIST);
      areas->setFocus();
      QTest::keyClick(w, Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget(), w->Item(IDC_SCHEMA_CHOICE));
      QTest::keyClick(w, Qt::Key_Tab);
      QCOMPARE(QApplication::focusWidget(), types);
      QTest::keyClick(w, Qt::Key_Tab, Qt::ShiftModifier);
      QTest::keyClick(w, Qt::Key_Tab, Qt::ShiftModifier);
      QCOMPARE(QApplication::focusWidget(), areas);
      for (ListViewWidget* list : {areas, types}) {
        list->setFocus();
        list->setCurrentItem(list->topLevelItem(1), 2);
        const bool before = list->Check(1);
        QTest::keyClick(list, Qt::Key_Space);
        QCOMPARE(list->Check(1), !before);
        QTest::keyClick(list, Qt::Key_Space);
        QCOMPARE(list->Check(1), before);
      }
      QTest::keyClick(w, Qt::Key_Q, Qt::ControlModifier);
      QTRY_VERIFY_WITH_TIMEOUT(w->Ended(), 2000);
    });
  }
  void noSilentDeadEnds() {
    MainHarness h;
    const std::u16string unknownTypes = h.Path("unknown.txt");
    WriteFile(unknownTypes, "X,Y,TYPE\r\n37.5,55.5,99\r\n");
    const std::u16string empty = h.Path("empty.txt"), binary = h.Path("binary.bkm"),
                         noHeader = h.Path("noheader.txt");
    WriteFile(empty, "");
    // The length comes from the literal: it holds NULs, and a hand count can read past it.
    WriteFile(binary,
              "\x7f"
              "ELF\x02\x01\0\0\xff\xfe"s);
    WriteFile(noHeader, "37.5,55.5,1,60\r\n");
    h.Run([&](DlgWindow* w) {
      ListViewWidget* areas = List(w, IDC_AREA_LIST);
      ListViewWidget* types = List(w, IDC_TYPE_LIST);
      h.prompts.saveAnswer = SaveChoice{h.Path("out.csv"), 1};
      // Save as tells what is missing before any file is chosen.
      const struct {
        std::function<void()> prepare;
        std::uint32_t text;
      } saves[] = {
          {[] {}, STR_FAIL_EXPORT_NOTHING},  // nothing loaded
          {[&] {
             h.prompts.openAnswers.push_back(kExample);
             Command(w, IDM_OPEN);
           },
           STR_SAVE_TICK_AREA},
          {[&] {
             areas->SetCheck(1, true);
             for (int i = 0; i < types->ItemCount(); ++i) types->SetCheck(i, false);
           },
           STR_SAVE_TICK_TYPE},
          {[&] {
             h.prompts.openAnswers.push_back(unknownTypes);  // no type the schema describes
             Command(w, IDM_OPEN);
             areas->SetCheck(0, true);
           },
           STR_FAIL_EXPORT_NOTHING},
      };
      for (const auto& save : saves) {
        h.prompts.warnings.clear();
        save.prepare();
        Command(w, IDM_SAVE_AS);
        QCOMPARE(h.prompts.warnings, std::vector<std::u16string>{StrLoad(save.text)});
      }
      QCOMPARE(h.prompts.saveCalls, 0);

      // A file without a table is named, and the table opened before stays.
      const QStringList before = Rows(areas);
      for (const std::u16string& file : {empty, binary, noHeader}) {
        h.prompts.warnings.clear();
        h.prompts.openAnswers.push_back(file);
        Command(w, IDM_OPEN);
        QCOMPARE(h.prompts.warnings, std::vector<std::u16string>{StrLoad(STR_OPEN_NO_TABLE, file)});
        QCOMPARE(Rows(areas), before);
      }

      // A written file is told in the status bar until the next task.
      h.prompts.warnings.clear();
      h.prompts.openAnswers.push_back(kExample);
      Command(w, IDM_OPEN);
      areas->SetCheck(0, true);  // World
      Command(w, IDM_SAVE_AS);
      QCOMPARE(h.prompts.saveCalls, 1);
      StatusBarWidget* bar = h.main.StatusBar();
      const QString done = LoadQString(STR_EXPORT_DONE, 14u, h.Path("out.csv"));
      QCOMPARE(bar->PartText(1), done);
      QTest::qWait(700);  // a cycle of the monitor leaves it
      QCOMPARE(bar->PartText(1), done);
      h.prompts.openAnswers.push_back(kExample);
      Command(w, IDM_OPEN);
      QTRY_COMPARE(bar->PartText(1), LoadQString(605, 18u, kExample));
      QVERIFY(h.prompts.warnings.empty());
    });
  }
  void aTableArrivesByDropOrCommandLine() {
    // The command line: FILE made absolute, byte for byte, whatever the options around it.
    const std::string cwd = std::filesystem::current_path().native();
    const struct {
      std::vector<const char*> args;
      std::string file;
    } lines[] = {
        {{"tarvik"}, ""},
        {{"tarvik", "cams.txt", "second.txt"}, cwd + "/cams.txt"},
        {{"tarvik", "/t/\xea\xe0\xec.txt"}, "/t/\xea\xe0\xec.txt"},  // Windows-1251 name
        {{"tarvik", "--", "-x.txt"}, cwd + "/-x.txt"},
    };
    for (const auto& line : lines) {
      std::vector<char*> argv;
      for (const char* a : line.args) argv.push_back(const_cast<char*>(a));
      QCOMPARE(StartFileArgument(static_cast<int>(argv.size()), argv.data()),
               line.file.empty() ? std::u16string() : platform::PathFromNative(line.file));
    }

    MainHarness h;
    h.main.startFile = kExample;
    h.Run([&](DlgWindow* w) {
      ListViewWidget* areas = List(w, IDC_AREA_LIST);
      QTRY_COMPARE(areas->ItemCount(), 5);  // opened once the window showed
      // A drop opens the first file it carries; text, a folder or a busy window refuse it.
      const std::u16string other = h.Path("one.txt");
      WriteFile(other, "X,Y,TYPE\r\n37.5,55.5,1\r\n");
      // Whether the window takes what is dragged over it (`enter`) or dropped onto it.
      auto offer = [&](bool enter, const QList<QUrl>& urls, const QString& text = {}) {
        QMimeData data;
        data.setUrls(urls);
        if (!text.isEmpty()) data.setText(text);
        QDragEnterEvent dragged(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
        QDropEvent dropped(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
        QDropEvent& e = enter ? dragged : dropped;
        QApplication::sendEvent(w, &e);
        return e.isAccepted();
      };
      const QUrl file = QUrl::fromLocalFile(ToQString(other));
      QVERIFY(!offer(true, {}, QStringLiteral("37.5,55.5,1")));
      QVERIFY(!offer(true, {QUrl::fromLocalFile(h.dir.path())}));
      QVERIFY(offer(true, {QUrl::fromLocalFile(h.dir.path()), file}));
      QDialog busy(w);
      busy.setModal(true);
      busy.show();
      QTRY_COMPARE(QApplication::activeModalWidget(), &busy);
      QVERIFY(!offer(true, {file}));
      busy.hide();
      QTRY_COMPARE(QApplication::activeModalWidget(), w);
      QVERIFY(offer(false, {file}));
      QTRY_COMPARE(h.main.SourcePath(), other);
      QTRY_COMPARE(Rows(List(w, IDC_TYPE_LIST)).size(), 1);
    });
  }
  void aSmallWindowKeepsEveryControl() {
    MainHarness h;
    h.Run([&](DlgWindow* w) {
      const QSize start = w->size();
      // Far below the minimum, the minimum itself, and the size the window opens with.
      for (const QSize asked : {QSize(400, 250), w->minimumSize(), start}) {
        w->resize(asked);
        QTRY_COMPARE(w->size(), asked.expandedTo(w->minimumSize()));
        QTRY_COMPARE(w->Client()->width(), w->width());
        const QRect client = w->Client()->rect();
        const QRect label = w->Item(IDC_SCHEMA_LABEL)->geometry(),
                    combo = w->Item(IDC_SCHEMA_CHOICE)->geometry(),
                    match = w->Item(IDC_MATCH_LABEL)->geometry(),
                    areas = w->Item(IDC_AREA_LIST)->geometry(),
                    types = w->Item(IDC_TYPE_LIST)->geometry(),
                    bar = h.main.StatusBar()->geometry();
        QVERIFY2(label.right() < combo.left() && combo.right() < match.left() &&
                     match.right() <= client.right() && areas.right() < types.left(),
                 qPrintable(QStringLiteral("at %1x%2").arg(w->width()).arg(w->height())));
        // Room for fifteen characters of the box's font.
        auto* box = qobject_cast<QComboBox*>(w->Item(IDC_SCHEMA_CHOICE));
        QStyleOptionComboBox option;
        option.initFrom(box);
        const QRect field = box->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                         QStyle::SC_ComboBoxEditField, box);
        QVERIFY2(field.width() >=
                     box->fontMetrics().horizontalAdvance(QStringLiteral("Только камеры с")),
                 qPrintable(QStringLiteral("%1").arg(field.width())));
        QVERIFY(types.height() >= w->UnitsY(58) && types.bottom() < bar.top());
        QVERIFY(std::abs(bar.bottom() - client.bottom()) <= 1);  // the layout rounds halves
      }
      QVERIFY(w->minimumWidth() < start.width() && w->minimumHeight() < start.height());
    });
  }
  void dialogsStartWhereTheLastOneEnded() {
    MainHarness h;
    // A folder name with Cyrillic letters and a blank at its end, which a reader that trims
    // values would lose.
    const QString tables = h.dir.filePath(QStringLiteral("таблицы "));
    const QString exports = h.dir.filePath(QStringLiteral("usb"));
    QVERIFY(QDir().mkpath(tables) && QDir().mkpath(exports));
    const std::u16string table = FromQString(tables + QStringLiteral("/cams.txt"));
    std::filesystem::copy_file(std::filesystem::path(kExample), std::filesystem::path(table));
    h.Run([&](DlgWindow* w) {
      QVERIFY(h.prompts.openDialogSize.isEmpty() && h.prompts.saveDialogSize.isEmpty());
      h.prompts.openAnswers.push_back(table);
      h.prompts.openDialogSize = QSize(900, 610);  // as the user leaves the dialogs
      h.prompts.saveDialogSize = QSize(880, 600);
      Command(w, IDM_OPEN);
      QVERIFY(h.prompts.openFolder.empty());  // nothing remembered yet
      List(w, IDC_AREA_LIST)->SetCheck(0, true);
      h.prompts.saveAnswer = SaveChoice{FromQString(exports + QStringLiteral("/cams.csv")), 1};
      Command(w, IDM_SAVE_AS);
      QVERIFY(h.prompts.saveFolder.empty());
      // A settings save in between keeps the section.
      auto* combo = qobject_cast<QComboBox*>(w->Item(IDC_SCHEMA_CHOICE));
      combo->setCurrentIndex(1);
      w->SendCommand(IDC_SCHEMA_CHOICE, CommandCode::SelectionChanged, combo);
    });
    h.scriptRan = false;  // the program again, over the same settings file
    h.prompts.openDialogSize = h.prompts.saveDialogSize = QSize();
    h.Run([&](DlgWindow* w) {
      QCOMPARE(h.prompts.openDialogSize, QSize(900, 610));
      QCOMPARE(h.prompts.saveDialogSize, QSize(880, 600));
      Command(w, IDM_OPEN);
      QCOMPARE(ToQString(h.prompts.openFolder), tables);
      h.prompts.openAnswers.push_back(table);
      Command(w, IDM_OPEN);
      List(w, IDC_AREA_LIST)->SetCheck(0, true);
      h.prompts.saveAnswer.reset();
      Command(w, IDM_SAVE_AS);
      QCOMPARE(ToQString(h.prompts.saveFolder), exports);
    });
    // Unicode as the Windows program reads it back.
    IniFile ini;
    QVERIFY(ini.Load(h.context->iniPath));
    QCOMPARE(ini.encoding(), IniEncoding::Utf16Le);
    QCOMPARE(ReadRememberedFolder(h.context->iniPath, kOpenFolderKey), FromQString(tables));
    // A size edited by hand into something else is no size: the dialog takes its own.
    for (const char16_t* value :
         {u"abc", u"0x600", u"900x", u"-5x-5", u"9x6x1", u"999999x600", u"1e3x600"}) {
      QVERIFY(RememberFolder(h.context->iniPath, kOpenSizeKey, value));
      QVERIFY2(ReadRememberedSize(h.context->iniPath, kOpenSizeKey).isEmpty(),
               qPrintable(ToQString(value)));
    }
  }
};

QTEST_MAIN(DesktopTest)
#include "desktop_test.moc"
