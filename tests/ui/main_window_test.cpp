// The main window driven through its real widgets: start-up, Open, the statistics lists, the
// status bar, schema choice, Save as, what Drive says before its dialog, editors left without OK,
// leaving, resizing, and the warnings after failed tasks.
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QtTest>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

#include "core/store_lock.h"
#include "main_window_harness.h"
#include "processing/poi_store.h"
#include "resources/string_table.h"
#include "ui/framework/control_layout.h"

using namespace tarvik;
using namespace tarvik::test;

namespace {

const std::u16string kExample = Utf8ToUtf16(TARVIK_EXAMPLES "/speedcams.txt");

std::string ReadFile(const std::u16string& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::u16string& path, const std::string& bytes) {
  std::ofstream(std::filesystem::path(path), std::ios::binary) << bytes;
}

bool Exists(const std::u16string& path) {
  return std::filesystem::exists(std::filesystem::path(path));
}

QString LabelText(DlgWindow* w, int id) {
  return qobject_cast<QLabel*>(w->Item(id))->text();
}

QComboBox* Combo(DlgWindow* w) {
  return qobject_cast<QComboBox*>(w->Item(IDC_SCHEMA_CHOICE));
}

void OpenExample(MainHarness& h, DlgWindow* w) {
  h.prompts.openAnswers.push_back(kExample);
  Command(w, IDM_OPEN);
}

// The part of a string-table text before its first conversion.
QString Prefix(std::uint32_t id) {
  const QString s = ToQString(FindString(id));
  return s.left(s.indexOf(QLatin1Char('%')));
}

const QStringList kExampleTypes = {QStringLiteral("x 1|10|Камера {speed}"),
                                   QStringLiteral("x 2|3|Камера в спину"),
                                   QStringLiteral("x 3|1|Светофор")};
// Areas count the cameras of described types only.
const QStringList kExampleAreas = {QStringLiteral("  World|14"), QStringLiteral("  Moscow|7"),
                                   QStringLiteral("  Saint Petersburg|3"),
                                   QStringLiteral("  Kazan|1"), QStringLiteral("  Nowhere|0")};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void startsWithEmptyListsAndTheCurrentSchema() {
    MainHarness h;
    QString title, match;
    QStringList menu;
    int areas = -1, types = -1, typeColumns = 0;
    QString schema;
    const int result = h.Run([&](DlgWindow* w) {
      title = w->windowTitle();
      areas = List(w, IDC_AREA_LIST)->ItemCount();
      types = List(w, IDC_TYPE_LIST)->ItemCount();
      typeColumns = List(w, IDC_TYPE_LIST)->ColumnCount();
      match = LabelText(w, IDC_MATCH_LABEL);
      schema = Combo(w)->currentText();
      for (QAction* popup : w->Menu()->actions()) menu << popup->text().remove(QLatin1Char('&'));
      QCOMPARE(Combo(w)->count(), 2);
      QCOMPARE(LabelText(w, IDC_SCHEMA_LABEL), QStringLiteral("Схема"));
      QVERIFY(w->MenuItem(IDM_DRIVE)->isEnabled());
      QCOMPARE(w->MenuItem(IDM_OPEN)->text().remove(QLatin1Char('&')),
               QStringLiteral("Открыть..."));
      QCOMPARE(List(w, IDC_AREA_LIST)->headerItem()->text(2), QStringLiteral("Количество"));
      QCOMPARE(List(w, IDC_TYPE_LIST)->headerItem()->text(3), QStringLiteral("Описание"));
      // Before any Open the status bar says so after a cycle.
      StatusBarWidget* bar = h.main.StatusBar();
      QVERIFY(bar);
      QCOMPARE(h.main.StatusBarId(), 1125);
      QTRY_COMPARE(bar->PartText(1), LoadQString(606));
      QCOMPARE(bar->PartIconId(1), 134u);
      QCOMPARE(bar->PartIconId(0), 132u);
      QVERIFY(bar->PartText(0).contains(
          QRegularExpression(QStringLiteral("^(\\d+ byte|\\d+\\.\\d\\d KB|\\d+\\.\\d\\d MB)$"))));
      QCOMPARE(LabelText(w, IDC_MATCH_LABEL), QString());
    });
    QCOMPARE(result, 2);
    QCOMPARE(title, QStringLiteral("Tarvik 1.0.0.5 (Beta)"));
    QCOMPARE(menu, (QStringList{QStringLiteral("Файл"), QStringLiteral("Настройка"),
                                QStringLiteral("Справка")}));
    QCOMPARE(areas, 0);
    QCOMPARE(types, 0);
    QCOMPARE(typeColumns, 4);
    QCOMPARE(match, QString());
    QCOMPARE(schema, QStringLiteral("Основная"));
    QCOMPARE(h.tasks, 1);  // the start-up load
    QVERIFY(h.prompts.warnings.empty());
    QVERIFY(!h.main.hwnd && !h.main.PoiStore() && !h.main.ParamStore());
  }

  void noCurrentSchemaSelectsNothing() {
    MainHarness h([](CParamStore& s) {
      StandardSets(s);
      s.Schemas()[0].Param = PARAM_ENABLED;  // nothing current
    });
    int index = 0;
    h.Run([&](DlgWindow* w) { index = Combo(w)->currentIndex(); });
    QCOMPARE(index, -1);
  }

  void openFillsBothListsAndTheStatus() {
    MainHarness h;
    h.Run([&](DlgWindow* w) {
      OpenExample(h, w);
      QCOMPARE(h.prompts.openCalls, 1);
      QCOMPARE(h.prompts.openTypes.size(), std::size_t{3});
      QCOMPARE(ToQString(h.prompts.openTypes[0].description),
               QStringLiteral("Text files (*.txt; *.bkm)"));
      QCOMPARE(ToQString(h.prompts.openTypes[0].pattern), QStringLiteral("*.txt;*.bkm"));
      QCOMPARE(ToQString(h.prompts.openTypes[1].pattern),
               QStringLiteral("*.osm.pbf;*.osm;*.osm.bz2;*.osm.gz"));
      QCOMPARE(ToQString(h.prompts.openTypes[2].description), QStringLiteral("All files (*.*)"));
      QCOMPARE(ToQString(h.prompts.openTypes[2].pattern), QStringLiteral("*.*"));
      // Types checked, by code ascending (2 before 10), no row for a count of 0; areas
      // unchecked, by count descending, 0 shown, the disabled area absent.
      QCOMPARE(Rows(List(w, IDC_TYPE_LIST)), kExampleTypes);
      QCOMPARE(Rows(List(w, IDC_AREA_LIST)), kExampleAreas);
      // Each row points at its entry or area.
      auto* row = reinterpret_cast<ListRow*>([&] {
        std::intptr_t p = 0;
        List(w, IDC_AREA_LIST)->ItemParam(1, p);
        return p;
      }());
      QVERIFY(row && row->data);
      QCOMPARE(ToQString(FieldText(static_cast<FilterArea*>(row->data)->Name)),
               QStringLiteral("Moscow"));
      QCOMPARE(h.main.SourcePath(), kExample);

      StatusBarWidget* bar = h.main.StatusBar();
      QTRY_COMPARE(bar->PartText(1), LoadQString(605, 18u, kExample));
      QCOMPARE(bar->PartIconId(1), 133u);
      // 4 of 18 cameras have a type the schema does not describe.
      QTRY_COMPARE(LabelText(w, IDC_MATCH_LABEL), QStringLiteral("(соответсвие: 77.78 %)"));
      QCOMPARE(LoadQString(604, 100.0), QStringLiteral("(соответсвие: 100.00 %)"));

      // Cancel changes nothing: the path and the lists stay.
      Command(w, IDM_OPEN);
      QCOMPARE(h.prompts.openCalls, 2);
      QCOMPARE(h.main.SourcePath(), kExample);
      QCOMPARE(Rows(List(w, IDC_TYPE_LIST)), kExampleTypes);

      // A file that holds no table, or none at all, is told and keeps the table shown with its
      // path and state.
      const std::u16string empty = h.Path("empty.txt");
      WriteFile(empty, "");
      h.prompts.openAnswers = {empty, h.Path("missing.txt")};
      Command(w, IDM_OPEN);
      Command(w, IDM_OPEN);
      QCOMPARE(h.prompts.warnings.size(), std::size_t{2});
      QCOMPARE(h.main.SourcePath(), kExample);
      QCOMPARE(Rows(List(w, IDC_TYPE_LIST)), kExampleTypes);
      QCOMPARE(Rows(List(w, IDC_AREA_LIST)), kExampleAreas);
      QTRY_COMPARE(bar->PartText(1), LoadQString(605, 18u, kExample));
      QTRY_COMPARE(LabelText(w, IDC_MATCH_LABEL), QStringLiteral("(соответсвие: 77.78 %)"));
    });
    QCOMPARE(h.tasks, 4);
  }

  void schemaChoiceWritesTheFileAndCountsAgain() {
    MainHarness h;
    h.Run([&](DlgWindow* w) {
      OpenExample(h, w);
      QComboBox* combo = Combo(w);
      QCOMPARE(combo->itemText(1), QStringLiteral("Другая"));
      combo->setCurrentIndex(1);
      w->SendCommand(IDC_SCHEMA_CHOICE, CommandCode::SelectionChanged, combo);
      QCOMPARE(Rows(List(w, IDC_TYPE_LIST)),
               (QStringList{QStringLiteral("x 5|1|Мобильная"), QStringLiteral("x 7|1|Прочее")}));
      QCOMPARE(Rows(List(w, IDC_AREA_LIST)),
               (QStringList{QStringLiteral("  World|2"), QStringLiteral("  Moscow|1"),
                            QStringLiteral("  Nowhere|0"), QStringLiteral("  Kazan|0"),
                            QStringLiteral("  Saint Petersburg|0")}));
      QCOMPARE(Combo(w)->currentText(), QStringLiteral("Другая"));
      QTRY_COMPARE(LabelText(w, IDC_MATCH_LABEL), QStringLiteral("(соответсвие: 11.11 %)"));
      // Other notifications of the combo box are ignored.
      const int before = h.tasks;
      w->SendCommand(IDC_SCHEMA_CHOICE, static_cast<CommandCode>(2), combo);
      QCOMPARE(h.tasks, before);
    });
    // The new current schema is in the settings file.
    CParamStore stored(h.context.get());
    WorkerTask load;
    load.appContext = h.context.get();
    load.paramStore = &stored;
    load.stageFlags = TASK_LOAD_PARAMS;
    RunTask(&load);
    AcquireParams(stored);
    QVERIFY(stored.CurrentSchema());
    QCOMPARE(ToQString(FieldText(stored.CurrentSchema()->Name)), QStringLiteral("Другая"));
    ReleaseParams(stored);
  }

  void saveAsWritesTheTickedRows() {
    MainHarness h;
    const std::u16string out = h.Path("cams.csv");
    h.Run([&](DlgWindow* w) {
      OpenExample(h, w);
      ListViewWidget* areas = List(w, IDC_AREA_LIST);
      // Tick "Kazan" with the mouse, on its check box.
      const QRect cell = areas->visualItemRect(areas->topLevelItem(3));
      QTest::mouseClick(areas->viewport(), Qt::LeftButton, {},
                        QPoint(cell.left() + 10, cell.center().y()));
      QVERIFY(areas->Check(3));
      h.prompts.saveAnswer = SaveChoice{h.Path("cams"), 1};
      Command(w, IDM_SAVE_AS);
      QCOMPARE(h.prompts.saveCalls, 1);
      QCOMPARE(h.prompts.saveTypes.size(), std::size_t{2});
      QCOMPARE(ToQString(h.prompts.saveTypes[0].description), QStringLiteral("Nissan (*.csv)"));
      QCOMPARE(ToQString(h.prompts.saveTypes[0].pattern), QStringLiteral("*.csv"));
      QCOMPARE(ToQString(h.prompts.saveTypes[1].description), QStringLiteral("Текст (*.txt)"));
      QCOMPARE(h.prompts.saveIndex, 1);
      QCOMPARE(ToQString(h.prompts.saveName), QStringLiteral("POIs"));
      QVERIFY(h.prompts.questions.empty());
      // Kazan holds one camera of a described type (the other is type 6).
      QCOMPARE(ReadFile(out), std::string("49.122100,55.788700,Камера 60\r\n"));
      // No refresh after an export: the ticks stay.
      QVERIFY(areas->Check(3));

      // The second profile, ANSI, through its type; two areas ticked, type 1 unticked.
      areas->SetCheck(1, true);
      List(w, IDC_TYPE_LIST)->SetCheck(0, false);
      h.prompts.saveAnswer = SaveChoice{h.Path("two.txt"), 2};
      Command(w, IDM_SAVE_AS);
      const std::string two = ReadFile(h.Path("two.txt"));
      QCOMPARE(two, Utf16ToCp1251(u"Камера в спину;37.640700;55.830100\r\n"
                                  u"Светофор;37.418100;55.651200\r\n"));
    });
    QVERIFY(h.prompts.warnings.empty());
  }

  void saveAsExtensionRuleAndOverwrite() {
    QCOMPARE(WithProfileExtension(u"cams", u"POIs.csv"), std::u16string(u"cams.csv"));
    QCOMPARE(WithProfileExtension(u"cams.CSV", u"POIs.csv"), std::u16string(u"cams.CSV"));
    QCOMPARE(WithProfileExtension(u"cams.txt", u"POIs.csv"), std::u16string(u"cams.txt.csv"));
    QCOMPARE(WithProfileExtension(u"d.x/cams", u"POIs"), std::u16string(u"d.x/cams"));
    QCOMPARE(WithProfileExtension(u"cams", u"dir.v2\\POIs"), std::u16string(u"cams"));
    QCOMPARE(SplitFileName(u"C:\\a.b\\POIs.final.csv").bare, std::u16string_view(u"POIs.final"));

    MainHarness h;
    const std::u16string target = h.Path("cams.txt.csv");
    h.Run([&](DlgWindow* w) {
      OpenExample(h, w);
      List(w, IDC_AREA_LIST)->SetCheck(0, true);  // World
      WriteFile(target, "keep me");
      h.prompts.answerYes = false;
      h.prompts.saveAnswer = SaveChoice{h.Path("cams.txt"), 1};
      const int before = h.tasks;
      Command(w, IDM_SAVE_AS);
      QCOMPARE(h.prompts.questions.size(), std::size_t{1});
      QCOMPARE(h.prompts.questions[0], StrLoad(600, target));
      QCOMPARE(h.prompts.questionOwners[0], nullptr);
      QCOMPARE(ReadFile(target), std::string("keep me"));
      QCOMPARE(h.tasks, before);  // No runs nothing

      h.prompts.answerYes = true;
      Command(w, IDM_SAVE_AS);
      QCOMPARE(h.prompts.questions.size(), std::size_t{2});
      const std::string written = ReadFile(target);
      QCOMPARE(std::count(written.begin(), written.end(), '\n'), 14);  // types 1, 2, 3

      // Cancelled: nothing at all.
      h.prompts.saveAnswer.reset();
      Command(w, IDM_SAVE_AS);
      QCOMPARE(h.tasks, before + 1);
    });
  }

  void saveAsWithoutTickedAreaOrProfileWritesNothing() {
    {
      MainHarness h;
      h.Run([&](DlgWindow* w) {
        OpenExample(h, w);
        h.prompts.saveAnswer = SaveChoice{h.Path("none.csv"), 1};
        Command(w, IDM_SAVE_AS);  // every area unchecked
      });
      QCOMPARE(h.prompts.saveCalls, 0);  // told what to tick before a file is chosen
      QVERIFY(!Exists(h.Path("none.csv")));
      QCOMPARE(h.prompts.warnings.size(), std::size_t{1});
      QCOMPARE(h.prompts.warnings[0], StrLoad(940));
    }
    {
      MainHarness h([](CParamStore& s) {
        StandardSets(s);
        for (ExportProfile& p : s.Profiles()) MarkDeleted(p);
      });
      h.Run([&](DlgWindow* w) {
        OpenExample(h, w);
        List(w, IDC_AREA_LIST)->SetCheck(0, true);
        h.prompts.saveAnswer = SaveChoice{h.Path("none.csv"), 1};
        Command(w, IDM_SAVE_AS);
        Command(w, IDM_DRIVE);
      });
      QCOMPARE(h.prompts.saveCalls, 0);
      QVERIFY(h.prompts.warnings.empty());  // Drive without profiles: nothing
    }
    {
      // Profiles, none enabled: the dialog opens with no types; nothing is exported.
      MainHarness h([](CParamStore& s) {
        StandardSets(s);
        for (ExportProfile& p : s.Profiles()) p.Param = 0;
      });
      h.Run([&](DlgWindow* w) {
        OpenExample(h, w);
        List(w, IDC_AREA_LIST)->SetCheck(0, true);
        h.prompts.saveAnswer = SaveChoice{h.Path("none.csv"), 1};
        Command(w, IDM_SAVE_AS);
        Command(w, IDM_DRIVE);  // says so instead of opening
      });
      QCOMPARE(h.prompts.warnings, std::vector<std::u16string>{StrLoad(820)});
      QCOMPARE(h.prompts.saveCalls, 1);
      QVERIFY(h.prompts.saveTypes.empty());
      QVERIFY(h.prompts.saveName.empty());
      QVERIFY(!Exists(h.Path("none.csv")));
    }
  }

  void driveTellsWhatIsMissingAndEditorsCountAgain() {
    MainHarness h;
    h.Run([&](DlgWindow* w) {
      Command(w, IDM_DRIVE);  // nothing loaded: said before the drive dialog opens
      QCOMPARE(h.prompts.warnings.size(), std::size_t{1});
      QCOMPARE(h.prompts.warnings[0], StrLoad(831));
      OpenExample(h, w);
      List(w, IDC_TYPE_LIST)->SetCheck(0, false);
      Command(w, IDM_DRIVE);
      QCOMPARE(h.prompts.warnings.back(), StrLoad(940));
      List(w, IDC_AREA_LIST)->SetCheck(0, true);
      const int before = h.tasks;
      bool shown = false;
      WhenShown(DLG_DRIVE, [&](DlgWindow* e) {
        shown = true;
        QTest::keyClick(e, Qt::Key_Escape);
      });
      Command(w, IDM_DRIVE);  // opened and left: no task, the ticks stay
      QVERIFY(shown);
      QCOMPARE(h.tasks, before);
      // An editor left without OK: count again, rebuild the rows with fresh ticks.
      const std::pair<std::uint16_t, std::uint32_t> editors[] = {
          {IDM_FILTER, DLG_FILTER}, {IDM_SCHEMA, DLG_SCHEMA}, {IDM_EXPORT_PARAMS, DLG_EXPORT}};
      for (const auto& [command, dialog] : editors) {
        WhenShown(dialog, [](DlgWindow* e) { QTest::keyClick(e, Qt::Key_Escape); });
        Command(w, command);
      }
      QCOMPARE(h.tasks, before + 3);
      QCOMPARE(Rows(List(w, IDC_TYPE_LIST)), kExampleTypes);
      QCOMPARE(Rows(List(w, IDC_AREA_LIST)), kExampleAreas);
      WhenShown(DLG_ABOUT, [](DlgWindow* e) { QTest::keyClick(e, Qt::Key_Return); });
      Command(w, IDM_ABOUT);  // shown, and nothing else
      QCOMPARE(h.tasks, before + 3);
    });
    QCOMPARE(h.prompts.warnings.size(), std::size_t{2});
  }

  void leavingByMenuEscapeAndCloseBox() {
    for (int way = 0; way < 3; ++way) {
      MainHarness h;
      bool ended = false;
      const int result = h.Run([&](DlgWindow* w) {
        if (way == 0) w->MenuItem(IDM_EXIT)->trigger();
        if (way == 1) QTest::keyClick(w, Qt::Key_Escape);
        if (way == 2) w->close();
        // The monitor wakes at once and ends the window.
        QTRY_VERIFY_WITH_TIMEOUT(w->Ended(), 2000);
        ended = true;
      });
      QVERIFY(ended);
      QCOMPARE(result, 2);
    }
  }

  void resizingMovesTheControls() {
    MainHarness h;
    h.Run([&](DlgWindow* w) {
      QWidget* areas = w->Item(IDC_AREA_LIST);
      QWidget* types = w->Item(IDC_TYPE_LIST);
      QWidget* combo = w->Item(IDC_SCHEMA_CHOICE);
      QWidget* label = w->Item(IDC_SCHEMA_LABEL);
      QWidget* match = w->Item(IDC_MATCH_LABEL);
      QWidget* bar = h.main.StatusBar();
      // The bar sits below the template's area, across the client width.
      QCOMPARE(bar->geometry().top(), w->UnitsY(215));
      QCOMPARE(bar->geometry().bottom(), w->Client()->height() - 1);
      QCOMPARE(bar->width(), w->Client()->width());
      QCOMPARE(areas->geometry(), w->UnitsRect(3, 3, 273, 207));
      const QRect a = areas->geometry(), t = types->geometry(), c = combo->geometry(),
                  l = label->geometry(), m = match->geometry(), b = bar->geometry();
      const QSize size = w->size();
      // The names and descriptions take the extra width; counts and codes keep theirs.
      auto* list = List(w, IDC_AREA_LIST);
      auto* typeList = List(w, IDC_TYPE_LIST);
      const int name = list->columnWidth(1), count = list->columnWidth(2),
                desc = typeList->columnWidth(3), code = typeList->columnWidth(1),
                clientWidth = list->ClientWidth();
      auto resizeBy = [&](int dw, int dh) {
        w->resize(size.width() + dw, size.height() + dh);
        QTRY_COMPARE(w->size(), QSize(size.width() + dw, size.height() + dh));
      };

      resizeBy(200, 0);
      QCOMPARE(areas->geometry(), a.adjusted(0, 0, 100, 0));
      QCOMPARE(types->geometry(), t.translated(100, 0).adjusted(0, 0, 100, 0));
      QCOMPARE(combo->geometry(), c.translated(100, 0).adjusted(0, 0, 100, 0));
      QCOMPARE(label->geometry(), l.translated(100, 0));
      QCOMPARE(match->geometry(), m.translated(200, 0));
      QCOMPARE(bar->geometry(), b.adjusted(0, 0, 200, 0));
      // The parts follow: 15 % and 85 % of the client width.
      const auto cw = static_cast<std::uint32_t>(w->Client()->width());
      QCOMPARE(h.main.StatusBar()->PartEdge(0), std::int32_t(cw * 15 / 100));
      QCOMPARE(h.main.StatusBar()->PartEdge(1), std::int32_t(cw * 15 / 100 + cw * 85 / 100));
      QCOMPARE(list->ClientWidth(), clientWidth + 100);
      QCOMPARE(list->columnWidth(1), name + 100);
      QCOMPARE(list->columnWidth(2), count);
      QCOMPARE(typeList->columnWidth(3), desc + 100);
      QCOMPARE(typeList->columnWidth(1), code);
      QCOMPARE(list->columnWidth(0), 30);

      resizeBy(0, 50);
      QCOMPARE(areas->geometry(), a.adjusted(0, 0, 0, 50));
      QCOMPARE(types->geometry(), t.adjusted(0, 0, 0, 50));
      QCOMPARE(bar->geometry(), b.translated(0, 50));
      QCOMPARE(combo->geometry(), c);
      QCOMPARE(match->geometry(), m);

      resizeBy(-5, 0);
      QCOMPARE(match->geometry(), m.translated(-4, 0));
      QCOMPARE(bar->geometry(), b.adjusted(0, 0, -4, 0));
      QCOMPARE(label->geometry(), l.translated(-2, 0));
      QCOMPARE(areas->geometry(), a.adjusted(0, 0, -2, 0));

      resizeBy(5, 0);
      QCOMPARE(match->geometry(), m.translated(5, 0));
      QCOMPARE(label->geometry(), l.translated(3, 0));

      // Minimised: a size message changes nothing.
      const QRect before = areas->geometry();
      w->SendSize({SizeKind::Minimized, 100, 100});
      QCOMPARE(areas->geometry(), before);

      resizeBy(0, 0);
      QCOMPARE(areas->geometry(), a);
      QCOMPARE(match->geometry(), m);
      QCOMPARE(bar->geometry(), b);
    });
  }

  void heldStoreClearsTheListsUntilItIsFree() {
    MainHarness h;
    h.Run([&](DlgWindow* w) {
      OpenExample(h, w);
      QCOMPARE(List(w, IDC_TYPE_LIST)->ItemCount(), 3);
      // Another thread takes the POI store right as the next task ends.
      std::mutex m;
      std::condition_variable cv;
      bool held = false, release = false;
      std::thread holder;
      auto previous = h.main.ProgressDialog().onReport;
      h.main.ProgressDialog().onReport = [&](const CDlgProc::Report& r) {
        if (previous) previous(r);
        if (r.kind != CDlgProc::Report::Status || r.value != 590 || holder.joinable()) return;
        holder = std::thread([&] {
          StoreHold<CPoiStore> hold(h.main.PoiStore(), StoreHold<CPoiStore>::Wait);
          std::unique_lock<std::mutex> lock(m);
          held = true;
          cv.notify_all();
          cv.wait(lock, [&] { return release; });
        });
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return held; });
      };
      WhenShown(DLG_FILTER, [](DlgWindow* e) { e->SendCommand(IDCANCEL); });
      Command(w, IDM_FILTER);  // count again; the refresh finds the store held
      QCOMPARE(List(w, IDC_TYPE_LIST)->ItemCount(), 0);
      QCOMPARE(List(w, IDC_AREA_LIST)->ItemCount(), 0);
      {
        std::lock_guard<std::mutex> lock(m);
        release = true;
      }
      cv.notify_all();
      holder.join();
      QTRY_COMPARE(Rows(List(w, IDC_TYPE_LIST)), kExampleTypes);
      QCOMPARE(Rows(List(w, IDC_AREA_LIST)), kExampleAreas);
      h.main.ProgressDialog().onReport = previous;
    });
  }

  void failuresAreTold() {
    MainHarness h;
    const std::u16string missing = h.Path("missing.txt");
    const std::u16string header = h.Path("header.txt");
    WriteFile(header, "; cameras\r\nX,Y\r\n1,2\r\n");
    const std::u16string huge = h.Path("huge.txt");
    {
      std::ofstream(std::filesystem::path(huge), std::ios::binary);
      std::error_code ec;
      std::filesystem::resize_file(std::filesystem::path(huge), (std::uintmax_t{1} << 32) + 10, ec);
      QVERIFY(!ec);
    }
    h.Run([&](DlgWindow* w) {
      h.prompts.openAnswers = {missing, header, huge};
      Command(w, IDM_OPEN);
      Command(w, IDM_OPEN);
      Command(w, IDM_OPEN);
      QCOMPARE(h.prompts.warnings.size(), std::size_t{3});
      QVERIFY(ToQString(h.prompts.warnings[0]).startsWith(Prefix(705) + ToQString(missing)));
      QVERIFY(ToQString(h.prompts.warnings[1]).startsWith(Prefix(708)));
      QVERIFY(h.prompts.warnings[1].find(header) != std::u16string::npos);
      QVERIFY(ToQString(h.prompts.warnings[2]).startsWith(Prefix(707) + ToQString(huge)));
      QCOMPARE(List(w, IDC_TYPE_LIST)->ItemCount(), 0);

      // An export file that cannot be created.
      OpenExample(h, w);
      List(w, IDC_AREA_LIST)->SetCheck(0, true);
      const std::u16string nowhere = h.Path("no/such/folder/cams.csv");
      h.prompts.saveAnswer = SaveChoice{nowhere, 1};
      Command(w, IDM_SAVE_AS);
      QCOMPARE(h.prompts.warnings.size(), std::size_t{4});
      QVERIFY(ToQString(h.prompts.warnings[3]).startsWith(Prefix(800) + ToQString(nowhere)));

      // Settings that cannot be saved: a folder has taken the file's place.
      const std::filesystem::path ini(h.context->iniPath);
      std::filesystem::remove(ini);
      std::filesystem::create_directory(ini);
      Combo(w)->setCurrentIndex(1);
      w->SendCommand(IDC_SCHEMA_CHOICE, CommandCode::SelectionChanged, Combo(w));
      QCOMPARE(h.prompts.warnings.size(), std::size_t{5});
      QVERIFY(ToQString(h.prompts.warnings[4]).startsWith(Prefix(750)));
    });
  }

  void sizeLimitIsTold() {
    MainHarness h([](CParamStore& s) {
      StandardSets(s);
      AddProfile(s, u"Small", u"small.csv", u"{x},{y},{desc}", 65001, PARAM_ENABLED, 1);
    });
    const std::u16string table = h.Path("many.txt");
    std::string text = "X,Y,TYPE,SPEED\r\n";
    for (int i = 0; i < 100; ++i) text += "37.5,55.5,1," + std::to_string(i) + "\r\n";
    WriteFile(table, text);
    h.Run([&](DlgWindow* w) {
      h.prompts.openAnswers = {table};
      Command(w, IDM_OPEN);
      List(w, IDC_AREA_LIST)->SetCheck(0, true);
      h.prompts.saveAnswer = SaveChoice{h.Path("small"), 3};
      Command(w, IDM_SAVE_AS);
    });
    const std::string out = ReadFile(h.Path("small.csv"));
    QVERIFY(!out.empty() && out.size() <= 1024);
    const auto written = static_cast<unsigned long long>(std::count(out.begin(), out.end(), '\n'));
    QCOMPARE(h.prompts.warnings.size(), std::size_t{1});
    QCOMPARE(h.prompts.warnings[0], StrLoad(905, written, 100 - written));
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
