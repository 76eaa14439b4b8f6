// The filter, schema and export editors, the about box and the export drive dialog, driven
// through their real widgets: from the main window's menu to Tarvik.ini, the row a press of
// OK applies to, the lock on the store, the fields a locked item keeps, numbers as typed.
#include <QAbstractButton>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QtTest>
#include <atomic>
#include <chrono>
#include <thread>

#include "main_window_harness.h"
#include "params/param_io.h"
#include "resources/string_ids.h"
#include "ui/framework/field_values.h"
#include "ui/map_widget.h"

using namespace tarvik;
using namespace tarvik::test;

namespace {

const std::u16string kExample = Utf8ToUtf16(TARVIK_EXAMPLES "/speedcams.txt");

void ClickRow(DlgWindow* w, int listId, int row) {
  auto* list = w->Control<ListViewWidget>(listId);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualItemRect(list->topLevelItem(row)).center());
}
void Press(DlgWindow* w, int id) {
  QTest::mouseClick(w->Control<QAbstractButton>(id), Qt::LeftButton);
}
void Type(DlgWindow* w, int id, const QString& text) {
  auto* edit = w->Control<QLineEdit>(id);
  edit->setFocus();
  edit->selectAll();
  edit->insert(text);  // as typed over the selection (keyClicks knows only ASCII)
}
QString Text(DlgWindow* w, int id) {
  return ToQString(ControlText(w->Item(id), 4096));
}
bool Enabled(DlgWindow* w, int id) {
  return w->Item(id)->isEnabled();
}

// The map of a map window, showing `view` (sized to the map).
MapWidget* MapOf(DlgWindow* w, double x, double y, double scale) {
  auto* map = w->Control<MapWidget>(CDlgMap::IDC_MAP);
  MapView view;
  view.centerX = x;
  view.centerY = y;
  view.scale = scale;
  map->SetView(view);
  return map;
}
// A drag of the left button over the map from `a` to `b`.
void Drag(QWidget* map, QPointF a, QPointF b, Qt::KeyboardModifiers modifiers = {}) {
  auto send = [&](QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent e(type, at, map->mapToGlobal(at), button, held, modifiers);
    QApplication::sendEvent(map, &e);
  };
  send(QEvent::MouseButtonPress, a, Qt::LeftButton, Qt::LeftButton);
  send(QEvent::MouseMove, (a + b) / 2, Qt::NoButton, Qt::LeftButton);
  send(QEvent::MouseMove, b, Qt::NoButton, Qt::LeftButton);
  send(QEvent::MouseButtonRelease, b, Qt::LeftButton, Qt::NoButton);
}
QPointF At(MapWidget* map, double x, double y) {
  const PixelPoint p = map->View().ToPixel({x, y});
  return {p.x, p.y};
}

// Ends a dialog that a script left open (a failed check), once what the script posted to it
// has arrived.
// n cameras of one type in `poi`, camera i at place(i) (a GeoPoint); the schema naming it.
template <class Place>
MapSchema FillCameras(CAppContext* context, CPoiStore& poi, std::uint32_t n, Place place) {
  poi.data->records = static_cast<PoiRecord*>(MemAllocZero(context, sizeof(PoiRecord) * n));
  for (std::uint32_t i = 0; i < n; ++i) {
    const GeoPoint g = place(i);
    poi.data->records[i] = {g.x, g.y, 1, 60, 0, 0};
  }
  poi.data->recordCount = n;
  MapSchema schema;
  schema.types = {1};
  schema.descs = {u"type"};
  return schema;
}

void CancelUnlessEnded(DlgWindow* w) {
  QApplication::processEvents();
  if (!w->Ended()) w->SendCommand(IDCANCEL);
}

// Every item of a section, all fields, one line each.
QString Num(double v) {
  return QString::number(v, 'g', 17);
}
QStringList Filters(CParamStore& s) {
  QStringList out;
  for (const FilterArea& a : s.Filters())
    out << QStringLiteral("%1|%2|%3|%4|%5|%6|%7")
               .arg(ToQString(FieldText(a.Name)), Num(a.AX), Num(a.AY), Num(a.CX), Num(a.CY))
               .arg(a.Param)
               .arg(a.ID);
  return out;
}
QStringList Schemas(CParamStore& s) {
  QStringList out;
  for (SchemaSet& set : s.Schemas()) {
    out << QStringLiteral("%1|%2|%3")
               .arg(ToQString(FieldText(set.Name)))
               .arg(set.Param)
               .arg(set.ID);
    for (const SchemaEntry& e : CParamStore::Entries(set))
      out << QStringLiteral("  %1|%2|%3").arg(e.Type).arg(ToQString(FieldText(e.Desc))).arg(e.ID);
  }
  return out;
}
QStringList Profiles(CParamStore& s) {
  QStringList out;
  for (const ExportProfile& p : s.Profiles())
    out << QStringList{ToQString(FieldText(p.Name)),   ToQString(FieldText(p.File)),
                       ToQString(FieldText(p.Format)), ToQString(FieldText(p.Folder)),
                       QString::number(p.SizeLimit),   QString::number(p.StringLimit),
                       QString::number(p.Translit),    QString::number(p.Codepage),
                       ToQString(FieldText(p.Desc)),   QString::number(p.Param),
                       QString::number(p.ID)}
               .join(QLatin1Char('|'));
  return out;
}

// The sets as Tarvik.ini holds them now.
struct IniSets {
  QStringList filters, schemas, profiles;
};
IniSets ReadBack(CAppContext& context) {
  CParamStore store(&context);
  ParamStoreHold hold(&store, ParamStoreHold::Wait);
  LoadParamFile(context.iniPath, store, nullptr);
  return {Filters(store), Schemas(store), Profiles(store)};
}
IniSets Standard(CAppContext& context) {
  CParamStore store(&context);
  ParamStoreHold hold(&store, ParamStoreHold::Wait);
  StandardSets(store);
  return {Filters(store), Schemas(store), Profiles(store)};
}

// An editor over a store of its own, outside the main window.
struct EditorRun {
  std::unique_ptr<CAppContext> context = UiContext();
  CParamStore store{context.get()};
  FakePrompts prompts;
  CPoiStore* poiStore = nullptr;  // what a map shows

  explicit EditorRun(const std::function<void(CParamStore&)>& fill = StandardSets) {
    ParamStoreHold hold(&store, ParamStoreHold::Wait);
    fill(store);
  }
  std::unique_ptr<CDlgParams> dialog;

  // Runs a new dialog of template `templateId` with `script` inside; Cancel ends it unless the
  // script did. Returns the result.
  int Run(std::uint32_t templateId, const std::function<void(DlgWindow*)>& script) {
    switch (templateId) {
      case DLG_FILTER:
        dialog = std::make_unique<CDlgFilter>();
        break;
      case DLG_SCHEMA:
        dialog = std::make_unique<CDlgSchema>();
        break;
      case DLG_EXPORT:
        dialog = std::make_unique<CDlgExport>();
        break;
      case DLG_DRIVE:
        dialog = std::make_unique<CDlgDrive>();
        break;
      case DLG_MAP: {
        auto map = std::make_unique<CDlgMap>();
        map->poiStore = poiStore;
        dialog = std::move(map);
        break;
      }
      default:
        dialog = std::make_unique<CDlgAbout>();
        break;
    }
    dialog->context = context.get();
    dialog->templateId = templateId;
    dialog->paramStore = &store;
    dialog->prompts = &prompts;
    WhenShown(templateId, [script](DlgWindow* w) {
      script(w);
      CancelUnlessEnded(w);
    });
    EditorStart start;
    return RunModal(*dialog, &start);
  }
  // The name of item `i` of the sets the dialog edits.
  QString Name(std::size_t i) {
    const std::uint32_t id = dialog->templateId;
    return ToQString(id == DLG_FILTER   ? FieldText(store.Filters()[i].Name)
                     : id == DLG_SCHEMA ? FieldText(store.Schemas()[i].Name)
                                        : FieldText(store.Profiles()[i].Name));
  }
  bool Free() {
    bool free = false;
    std::thread([&] {
      free = TryAcquireParams(store);
      if (free) ReleaseParams(store);
    }).join();
    return free && store.data->busyMarker.load() == 0;
  }
};

}  // namespace

class EditorsTest : public QObject {
  Q_OBJECT

 private slots:
  // Menu command, add, fill, OK: Tarvik.ini holds exactly the sets before plus the new item,
  // and the main window counted again with it.
  void fromTheMenuToTheSettingsFile() {
    struct Case {
      std::uint16_t command;
      std::uint32_t dialog;
      std::function<void(DlgWindow*)> edit;
      // The sets expected in the file, given the standard ones and the last new ID.
      std::function<void(IniSets&, std::uint64_t)> expect;
      std::function<void(MainHarness&, DlgWindow*)> check;
    };
    AreaCorners drawn;
    const Case cases[] = {
        {IDM_FILTER, DLG_FILTER,
         [](DlgWindow* e) {
           Press(e, CDlgFilter::IDC_ADD);
           QCOMPARE(Text(e, CDlgFilter::IDC_NAME), QStringLiteral("<новый элемент>"));
           Type(e, CDlgFilter::IDC_NAME, QStringLiteral("Москва-2"));
           Type(e, CDlgFilter::IDC_AX, QStringLiteral("37"));
           Type(e, CDlgFilter::IDC_AY, QStringLiteral("56,0"));
           Type(e, CDlgFilter::IDC_CX, QStringLiteral(" 38 "));
           Type(e, CDlgFilter::IDC_CY, QStringLiteral("55.0"));
           Press(e, IDOK);
         },
         [](IniSets& s, std::uint64_t id) {
           s.filters << QStringLiteral("Москва-2|37|56|38|55|64|%1").arg(id);
         },
         [](MainHarness&, DlgWindow* w) {
           QVERIFY(Rows(List(w, IDC_AREA_LIST)).contains(QStringLiteral("  Москва-2|7")));
         }},
        {IDM_SCHEMA, DLG_SCHEMA,
         [](DlgWindow* e) {
           Press(e, CDlgSchema::IDC_ADD_SCHEMA);
           Type(e, CDlgSchema::IDC_NAME, QStringLiteral("Мобильные"));
           Press(e, CDlgSchema::IDC_DEFAULT);
           Press(e, CDlgSchema::IDC_SAVE);
           Press(e, CDlgSchema::IDC_ADD_ENTRY);
           QCOMPARE(Text(e, CDlgSchema::IDC_TYPE), QStringLiteral("255"));
           Type(e, CDlgSchema::IDC_TYPE, QStringLiteral("5"));
           Type(e, CDlgSchema::IDC_DESC, QStringLiteral("Мобильная {speed}"));
           QTest::keyClick(e->Item(CDlgSchema::IDC_DESC), Qt::Key_Return);  // Enter is OK
         },
         [](IniSets& s, std::uint64_t id) {
           s.schemas[0] = QStringLiteral("Основная|64|50");  // no longer current
           s.schemas << QStringLiteral("Мобильные|96|%1").arg(id - 1)
                     << QStringLiteral("  5|Мобильная {speed}|%1").arg(id);
         },
         [](MainHarness&, DlgWindow* w) {
           QCOMPARE(Rows(List(w, IDC_TYPE_LIST)), QStringList{"x 5|1|Мобильная {speed}"});
           QCOMPARE(qobject_cast<QComboBox*>(w->Item(IDC_SCHEMA_CHOICE))->currentText(),
                    QStringLiteral("Мобильные"));
         }},
        {IDM_EXPORT_PARAMS, DLG_EXPORT,
         [](DlgWindow* e) {
           Press(e, CDlgExport::IDC_ADD);
           QCOMPARE(Text(e, CDlgExport::IDC_CODEPAGE), QStringLiteral("UTF8"));
           Type(e, CDlgExport::IDC_NAME, QStringLiteral("Навигатор"));
           Type(e, CDlgExport::IDC_FILE, QStringLiteral("nav.txt"));
           Type(e, CDlgExport::IDC_FORMAT, QStringLiteral("{y};{x};{desc}"));
           Type(e, CDlgExport::IDC_FOLDER, QStringLiteral("/media/usb"));
           Type(e, CDlgExport::IDC_SIZE_LIMIT, QStringLiteral("512"));
           Type(e, CDlgExport::IDC_STRING_LIMIT, QStringLiteral("40"));
           SetComboSelection(e->Item(CDlgExport::IDC_CODEPAGE), 0);
           Press(e, CDlgExport::IDC_TRANSLIT);
           SetControlText(e->Item(CDlgExport::IDC_DESC), u"Для второй машины");
           Press(e, IDOK);
         },
         [](IniSets& s, std::uint64_t id) {
           s.profiles << QStringLiteral(
                             "Навигатор|nav.txt|{y};{x};{desc}|/media/usb|512|40|1|0|"
                             "Для второй машины|64|%1")
                             .arg(id);
         },
         [](MainHarness& h, DlgWindow* w) {
           List(w, IDC_AREA_LIST)->SetCheck(0, true);
           Command(w, IDM_SAVE_AS);  // cancelled; the types show the new profile
           QCOMPARE(h.prompts.saveCalls, 1);
           QCOMPARE(h.prompts.saveTypes.back().description, u"Навигатор (*.txt)");
         }},
        // The map: a rectangle dragged from south-east to north-west with Shift, named, OK.
        {IDM_MAP, DLG_MAP,
         [&drawn](DlgWindow* e) {
           MapWidget* map = MapOf(e, 37.6, 55.75, 400);
           const QPointF c(map->width() / 2.0, map->height() / 2.0), d(120, 80);
           Drag(map, c + d, c - d, Qt::ShiftModifier);
           drawn = CornersFromDrag(map->View().ToGeo({c.x() - d.x(), c.y() - d.y()}),
                                   map->View().ToGeo({c.x() + d.x(), c.y() + d.y()}));
           Press(e, IDOK);
         },
         [&drawn](IniSets& s, std::uint64_t id) {
           s.filters << QStringLiteral("Москва-2|%1|%2|%3|%4|64|%5")
                            .arg(Num(drawn.AX), Num(drawn.AY), Num(drawn.CX), Num(drawn.CY))
                            .arg(id);
         },
         [](MainHarness& h, DlgWindow* w) {
           QCOMPARE(h.prompts.textOffered.back(), u"<новый элемент>");
           QVERIFY(Rows(List(w, IDC_AREA_LIST)).contains(QStringLiteral("  Москва-2|7")));
         }},
    };
    for (const Case& c : cases) {
      MainHarness h;
      h.prompts.textAnswers.push_back(u"Москва-2");
      h.Run([&](DlgWindow* w) {
        h.prompts.openAnswers.push_back(kExample);
        Command(w, IDM_OPEN);
        List(w, IDC_TYPE_LIST)->SetCheck(0, false);
        const int before = h.tasks;
        WhenShown(c.dialog, [&](DlgWindow* e) {
          c.edit(e);
          CancelUnlessEnded(e);
        });
        Command(w, c.command);
        QCOMPARE(h.tasks, before + 1);  // save, load, count
        for (int i = 0; i < List(w, IDC_TYPE_LIST)->ItemCount(); ++i)
          QVERIFY(List(w, IDC_TYPE_LIST)->Check(i));  // rows built again
        c.check(h, w);
      });
      IniSets expected = Standard(*h.context);
      c.expect(expected, static_cast<std::uint64_t>(h.context->seed.load()));
      const IniSets back = ReadBack(*h.context);
      QCOMPARE(back.filters, expected.filters);
      QCOMPARE(back.schemas, expected.schemas);
      QCOMPARE(back.profiles, expected.profiles);
    }
  }

  // Whatever an editor did (a delete, an add, an applied edit), leaving it other than with OK
  // puts the sets back as they were: a later save (choosing another schema) writes exactly
  // the sets from before the editor.
  void cancelUndoesEveryChange() {
    struct Case {
      std::uint16_t command;
      std::uint32_t dialog;
      int list, add, del, name, save;
    };
    const Case cases[] = {
        {IDM_FILTER, DLG_FILTER, CDlgFilter::IDC_AREA_LIST, CDlgFilter::IDC_ADD,
         CDlgFilter::IDC_DELETE, CDlgFilter::IDC_NAME, CDlgFilter::IDC_SAVE},
        {IDM_SCHEMA, DLG_SCHEMA, CDlgSchema::IDC_SCHEMA_LIST, CDlgSchema::IDC_ADD_SCHEMA,
         CDlgSchema::IDC_DELETE_SCHEMA, CDlgSchema::IDC_NAME, CDlgSchema::IDC_SAVE},
        {IDM_EXPORT_PARAMS, DLG_EXPORT, CDlgExport::IDC_PROFILE_LIST, CDlgExport::IDC_ADD,
         CDlgExport::IDC_DELETE, CDlgExport::IDC_NAME, CDlgExport::IDC_SAVE},
    };
    enum Way { CancelButton, Escape, CloseBox };
    for (const Case& c : cases) {
      for (Way way : {CancelButton, Escape, CloseBox}) {
        MainHarness h;
        const IniSets standard = Standard(*h.context);
        IniSets inStore;
        h.Run([&](DlgWindow* w) {
          WhenShown(c.dialog, [&](DlgWindow* e) {
            ClickRow(e, c.list, 1);
            Press(e, c.del);
            Press(e, c.add);
            ClickRow(e, c.list, 0);
            Type(e, c.name, QStringLiteral("Изменено"));
            Press(e, c.save);
            if (way == CancelButton) Press(e, IDCANCEL);
            if (way == Escape) QTest::keyClick(e, Qt::Key_Escape);
            if (way == CloseBox) e->close();
            CancelUnlessEnded(e);
          });
          Command(w, c.command);
          CParamStore& store = *h.main.ParamStore();
          inStore = {Filters(store), Schemas(store), Profiles(store)};
          SetComboSelection(w->Item(IDC_SCHEMA_CHOICE), 1);  // "Другая": save, load, count
          w->SendCommand(IDC_SCHEMA_CHOICE, CommandCode::SelectionChanged);
        });
        const QString what = QStringLiteral("dialog %1 way %2").arg(c.dialog).arg(way);
        QVERIFY2(inStore.filters == standard.filters && inStore.schemas == standard.schemas &&
                     inStore.profiles == standard.profiles,
                 qPrintable(what));
        IniSets expected = standard;
        expected.schemas[0] = QStringLiteral("Основная|64|50");
        expected.schemas[5] = QStringLiteral("Другая|96|51");
        const IniSets back = ReadBack(*h.context);
        QVERIFY2(back.filters == expected.filters && back.schemas == expected.schemas &&
                     back.profiles == expected.profiles,
                 qPrintable(what));
      }
    }
  }

  // A row chosen with the keyboard is only shown by the first press of OK; the second
  // applies it and closes.
  void okAppliesOnlyTheRowItShows() {
    struct Case {
      std::uint32_t dialog;
      int list, name;
    };
    const Case cases[] = {
        {DLG_FILTER, CDlgFilter::IDC_AREA_LIST, CDlgFilter::IDC_NAME},
        {DLG_SCHEMA, CDlgSchema::IDC_SCHEMA_LIST, CDlgSchema::IDC_NAME},
        {DLG_EXPORT, CDlgExport::IDC_PROFILE_LIST, CDlgExport::IDC_NAME},
    };
    for (const Case& c : cases) {
      EditorRun run;
      bool openAfterFirst = false;
      QString second, shownAfterFirst;
      const int result = run.Run(c.dialog, [&](DlgWindow* e) {
        // Row 1 shows item 1 in each (the areas sorted by name: Disabled, Kazan, ...).
        second = run.Name(1);
        ClickRow(e, c.list, 0);
        QTest::keyClick(e->Item(c.list), Qt::Key_Down);
        Press(e, IDOK);
        QApplication::processEvents();
        openAfterFirst = !e->Ended();
        shownAfterFirst = Text(e, c.name);
        Type(e, c.name, QStringLiteral("Второй"));
        Press(e, IDOK);
      });
      QVERIFY(openAfterFirst);
      QCOMPARE(shownAfterFirst, second);
      QCOMPARE(result, 1);
      QCOMPARE(run.Name(1), QStringLiteral("Второй"));
    }
  }

  // A reshaped area reaches the store only through OK; a locked one does not move, and its
  // drag moves the map instead.
  void mapEditsWaitForOk() {
    for (const int result : {IDOK, IDCANCEL}) {
      EditorRun run([](CParamStore& s) {
        StandardSets(s);
        s.Filters()[1].Param |= PARAM_LOCKED;  // Kazan
      });
      double east = 0;
      std::vector<FilterArea> before(run.store.Filters().begin(), run.store.Filters().end());
      QCOMPARE(run.Run(DLG_MAP,
                       [&](DlgWindow* e) {
                         MapWidget* map = MapOf(e, 43.5, 55.5, 60);
                         const QPointF moscowEast = At(map, 38, 55.5);
                         Drag(map, moscowEast, moscowEast + QPointF(30, 0));
                         east = map->Areas()[2].corners.CX;
                         const double centre = map->View().centerX;
                         const QPointF kazanWest = At(map, 49, 55.5);
                         Drag(map, kazanWest, kazanWest + QPointF(30, 0));
                         QCOMPARE(map->Areas()[1].corners, (AreaCorners{49, 56, 50, 55}));
                         QVERIFY(map->View().centerX < centre);
                         Press(e, result);
                       }),
               result);
      QCOMPARE(east, RoundSixDecimals(38 + 30 / (60 * std::cos(55.5 * 3.14159265358979 / 180))));
      FilterArea& moscow = run.store.Filters()[2];
      QCOMPARE(moscow.CX, result == IDOK ? east : 38.0);
      QCOMPARE(moscow.AX, 37.0);
      QCOMPARE(run.store.Filters().size(), before.size());
    }
  }

  // "Новая область", a rectangle, and the name question cancelled: no area, and the drawing
  // is over: the next plain drag moves the map.
  void cancellingTheNameEndsTheDrawing() {
    EditorRun run;
    run.Run(DLG_MAP, [&](DlgWindow* e) {
      MapWidget* map = MapOf(e, 37.6, 55.75, 400);
      const std::size_t areas = map->Areas().size();
      Press(e, CDlgMap::IDC_NEW_AREA);
      QVERIFY(IsChecked(e->Item(CDlgMap::IDC_NEW_AREA)));
      const QPointF c(map->width() / 2.0, map->height() / 2.0), d(60, 40);
      Drag(map, c - d, c + d);  // no answer queued: the question is cancelled
      QCOMPARE(run.prompts.textOffered.size(), std::size_t{1});
      QCOMPARE(map->Areas().size(), areas);
      QVERIFY(!IsChecked(e->Item(CDlgMap::IDC_NEW_AREA)));
      const double centre = map->View().centerX;
      Drag(map, c - d, c + d);
      QVERIFY(map->View().centerX < centre);
      QCOMPARE(run.prompts.textOffered.size(), std::size_t{1});
      QCOMPARE(map->Areas().size(), areas);
      Press(e, IDCANCEL);
    });
  }

  // The map opens while another thread reads the POIs, and draws them once it is done.
  void mapNeverWaitsForThePoiStore() {
    EditorRun run;
    CPoiStore poi(run.context.get());
    poi.data->records = static_cast<PoiRecord*>(MemAllocZero(run.context.get(), sizeof(PoiRecord)));
    poi.data->records[0] = {37.6, 55.7, 1, 60, 0, 0};
    poi.data->recordCount = 1;
    run.poiStore = &poi;
    std::atomic<int> phase{0};  // 1: held, 2: let go
    std::thread reader([&] {
      EnterStore(poi);
      phase = 1;
      while (phase.load() != 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      LeaveStore(poi);
    });
    while (phase.load() != 1) std::this_thread::yield();
    run.Run(DLG_MAP, [&](DlgWindow* e) {
      auto* map = e->Control<MapWidget>(CDlgMap::IDC_MAP);
      QCOMPARE(map->LastFrame().frames, 0u);
      phase = 2;
      QTRY_COMPARE(map->LastFrame().stats.inView, 1u);
      QVERIFY(map->LastFrame().current);  // fitted to the one camera once it could be read
      GeoBox one;
      one.Add(37.6, 55.7);
      const MapView home = HomeView(one, map->width(), map->height(), map->fontMetrics().height());
      QVERIFY(std::fabs(map->View().centerX - home.centerX) < 1e-9);
      Press(e, IDCANCEL);
    });
    phase = 2;
    reader.join();
  }

  // A drag draws only what each move uncovers, the geography too: where it stops, the map
  // shows what a map opened there shows, its degrees of longitude as wide as at the start.
  void aDraggedMapShowsWhatAMapOpenedThereShows() {
    EditorRun run;
    CAppContext* context = run.context.get();
    CPoiStore poi(context);
    std::uint64_t state = 7;
    auto unit = [&state] {
      state = state * 6364136223846793005ull + 1442695040888963407ull;
      return static_cast<double>(state >> 11) * 0x1.0p-53;
    };
    const MapSchema schema = FillCameras(context, poi, 60000, [&unit](std::uint32_t) {
      const double x = 4 + 12 * unit();
      return GeoPoint{x, 44 + 12 * unit()};
    });
    MapWidget dragged(context, nullptr), opened(context, nullptr);
    // Null when no frame came for the view.
    auto picture = [](MapWidget& map) -> QImage {
      if (!QTest::qWaitFor([&map] { return map.LastFrame().current; }, 5000)) return {};
      QImage image(map.size(), QImage::Format_RGB32);
      map.render(&image);
      return image;
    };
    for (MapWidget* map : {&dragged, &opened}) {
      map->resize(480, 320);
      map->SetSource(&poi, schema);
      map->show();
    }
    MapView start;
    start.centerX = 10;
    start.centerY = 50;
    start.scale = 60;  // the coasts and borders of the low resolution
    dragged.SetView(start);
    QVERIFY(!picture(dragged).isNull());
    const double wide = dragged.View().PixelsPerDegreeX();
    QPointF at(240, 160);
    auto send = [&](QEvent::Type type, Qt::MouseButtons held) {
      QMouseEvent e(type, at, dragged.mapToGlobal(at), Qt::LeftButton, held, {});
      QApplication::sendEvent(&dragged, &e);
    };
    send(QEvent::MouseButtonPress, Qt::LeftButton);
    for (const QPointF move : {QPointF(30, 0), QPointF(0, 25), QPointF(-12, -7), QPointF(40, 35)}) {
      at += move;
      send(QEvent::MouseMove, Qt::LeftButton);
      QVERIFY(!picture(dragged).isNull());
    }
    send(QEvent::MouseButtonRelease, Qt::NoButton);
    QCOMPARE(dragged.View().PixelsPerDegreeX(), wide);
    opened.SetView(dragged.View());
    const QImage there = picture(opened);
    QVERIFY(!there.isNull());
    QCOMPARE(picture(dragged), there);
  }

  // The map writes its picture straight into the pixels the painter draws into: wherever a
  // window or QWidget::render puts it, whatever part it repaints, and for the last frame scaled
  // while no frame can come (the POI store held, zoomed far in too), its pixels are those Qt
  // draws into a format it leaves to Qt, up to the rounding of the text's edges, and no other
  // pixel is touched.
  void aMapPaintedStraightIntoItsPixelsIsWhatQtDraws() {
    EditorRun run;
    CAppContext* context = run.context.get();
    CPoiStore poi(context);
    const MapSchema schema = FillCameras(context, poi, 20000, [](std::uint32_t i) {
      return GeoPoint{4 + (i % 97) * 0.13, 44 + (i % 89) * 0.14};
    });
    MapWidget map(context, nullptr);
    map.resize(320, 200);
    map.SetSource(&poi, schema);
    map.show();
    QVERIFY(QTest::qWaitFor([&map] { return map.LastFrame().current; }, 5000));
    // Pixels unlike Qt's: `part` of the map drawn with its corner at `offset`.
    auto unlikeQts = [&map](QImage::Format format, QPoint offset, const QRegion& part) {
      QImage mine(400, 260, format), qts(400, 260, QImage::Format_RGBA8888);
      for (QImage* image : {&mine, &qts}) {
        image->fill(QColor(0x12, 0x34, 0x56));
        map.render(image, offset, part);
      }
      int unlike = 0;
      for (int y = 0; y < mine.height(); ++y)
        for (int x = 0; x < mine.width(); ++x) {
          const QRgb a = mine.pixel(x, y), b = qts.pixel(x, y);
          unlike += std::abs(qRed(a) - qRed(b)) > 2 || std::abs(qGreen(a) - qGreen(b)) > 2 ||
                    std::abs(qBlue(a) - qBlue(b)) > 2;
        }
      return unlike;
    };
    const QRegion all(map.rect()), corner = QRegion(0, 0, 120, 80) + QRegion(40, 80, 60, 100);
    QCOMPARE(unlikeQts(QImage::Format_RGB32, {13, 9}, corner), 0);
    QCOMPARE(unlikeQts(QImage::Format_ARGB32_Premultiplied, {}, QRegion(100, 60, 150, 90)), 0);
    QCOMPARE(unlikeQts(QImage::Format_RGB32, {-30, 25}, all), 0);
    EnterStore(poi);
    std::vector<int> scaled;
    for (const double zoom : {2.0, 1e6}) {
      MapView zoomed = map.View();
      zoomed.scale *= zoom;
      map.SetView(zoomed);
      scaled.push_back(unlikeQts(QImage::Format_RGB32, {}, all));
    }
    const bool current = map.LastFrame().current;
    LeaveStore(poi);
    QVERIFY(!current);
    QCOMPARE(scaled, std::vector<int>(2, 0));
  }

  // Every dialog holds the store from start to end, whichever way it ends.
  void theStoreIsHeldUntilEveryWayOut() {
    const std::uint32_t dialogs[] = {DLG_FILTER, DLG_SCHEMA, DLG_EXPORT,
                                     DLG_DRIVE,  DLG_ABOUT,  DLG_MAP};
    enum Way { Ok, CancelButton, Escape, CloseBox };
    for (std::uint32_t id : dialogs) {
      for (Way way : {Ok, CancelButton, Escape, CloseBox}) {
        if (id == DLG_ABOUT && way == CancelButton) continue;  // it has none
        if (id == DLG_DRIVE && way == Ok) continue;  // writes first (aboutAndDrive, drive_test)
        EditorRun run;
        bool heldInside = false;
        const int result = run.Run(id, [&](DlgWindow* e) {
          heldInside = !run.Free() && run.store.data->busyMarker.load() == 1;
          if (way == Ok) Press(e, IDOK);
          if (way == CancelButton) Press(e, IDCANCEL);
          if (way == Escape) QTest::keyClick(e, Qt::Key_Escape);
          if (way == CloseBox) e->close();
          QTRY_VERIFY(e->Ended());
        });
        QVERIFY(heldInside);
        QCOMPARE(result, way == Ok ? 1 : 2);
        QVERIFY2(run.Free(), qPrintable(QStringLiteral("%1 way %2").arg(id).arg(way)));
      }
    }
    // Without a start parameter or a store: ends with 2 at once, holding nothing.
    EditorRun run;
    CDlgFilter filter;
    filter.context = run.context.get();
    filter.templateId = DLG_FILTER;
    QCOMPARE(RunModal(filter, &run), 2);
    filter.paramStore = &run.store;
    QCOMPARE(RunModal(filter, 0), 2);
    QVERIFY(run.Free());
  }

  void numbersAreReadAsTyped_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isDecimal");
    QTest::addColumn<double>("decimal");
    QTest::addColumn<int>("integer");    // IntFromText, as the page reads integers
    QTest::addColumn<QString>("whole");  // WholeFromText; "-" for none
    QTest::newRow("comma") << "37,5" << true << 37.5 << 37 << "-";
    QTest::newRow("blanks") << "  -55.25 " << true << -55.25 << -55 << "-";
    QTest::newRow("whole with blanks") << " \t-55 " << true << -55.0 << -55 << "-55";
    QTest::newRow("plus") << "+7" << true << 7.0 << 7 << "7";
    QTest::newRow("trailing text") << "12abc" << true << 12.0 << 12 << "-";
    QTest::newRow("leading separator") << ",5" << true << 0.5 << 0 << "-";
    QTest::newRow("exponent") << "1e2" << true << 100.0 << 1 << "-";
    QTest::newRow("empty") << "" << false << 0.0 << 0 << "-";
    QTest::newRow("blank") << "   " << false << 0.0 << 0 << "-";
    QTest::newRow("letters") << "abc" << false << 0.0 << 0 << "-";
    QTest::newRow("sign alone") << "-" << false << 0.0 << 0 << "-";
    QTest::newRow("not finite") << "inf" << false << 0.0 << 0 << "-";
    QTest::newRow("too large") << "1e999" << false << 0.0 << 1 << "-";
    QTest::newRow("clamped up") << "99999999999" << true << 99999999999.0 << 2147483647
                                << "99999999999";
    QTest::newRow("clamped down") << "-99999999999" << true << -99999999999.0 << -2147483647 - 1
                                  << "-99999999999";
    QTest::newRow("beyond 64 bits")
        << "99999999999999999999" << true << 1e20 << 2147483647 << "9223372036854775807";
    QTest::newRow("beyond 64 bits down")
        << "-99999999999999999999" << true << -1e20 << -2147483647 - 1 << "-9223372036854775808";
  }
  void numbersAreReadAsTyped() {
    QFETCH(QString, text);
    QFETCH(bool, isDecimal);
    QFETCH(double, decimal);
    QFETCH(int, integer);
    QFETCH(QString, whole);
    const std::optional<double> d = DecimalFromText(FromQString(text));
    QCOMPARE(d.has_value(), isDecimal);
    if (d) QCOMPARE(*d, decimal);
    QCOMPARE(IntFromText(FromQString(text)), integer);
    const std::optional<std::int64_t> w = WholeFromText(FromQString(text));
    QCOMPARE(w ? QString::number(*w) : QStringLiteral("-"), whole);
  }

  // The page's reading of a type or limit field: applied as shown it keeps its 32 bits, -1
  // included; what is typed beyond them is clamped.
  void unsignedFieldsReadBackAsShown() {
    for (const std::int32_t v : {0, 7, -1, -2147483647 - 1, 2147483647})
      QCOMPARE(IntFromUnsignedText(UnsignedText(v)), v);
    QCOMPARE(IntFromUnsignedText(u"4294967296"), 2147483647);
    QCOMPARE(IntFromUnsignedText(u" 12abc"), 12);
    QCOMPARE(IntFromUnsignedText(u"-5"), -5);
  }

  // A whole-number field takes a whole number in its range, blanks around it allowed;
  // anything else stops the whole apply with a warning naming the field and its range, and
  // the field focused. A field applied as shown keeps its 32 bits, even out of range.
  void wholeNumberFieldsRefuseWhatTheyCannotHold_data() {
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("stored");  // -2: refused
    const int type = CDlgSchema::IDC_TYPE, size = CDlgExport::IDC_SIZE_LIMIT,
              chars = CDlgExport::IDC_STRING_LIMIT;
    for (int field : {type, size, chars}) {
      const QByteArray f = QByteArray::number(field);
      QTest::newRow(f + " letters") << field << "abc" << qint64{-2};
      QTest::newRow(f + " empty") << field << "" << qint64{-2};
      QTest::newRow(f + " comma") << field << "1,5" << qint64{-2};
      QTest::newRow(f + " point") << field << "1.5" << qint64{-2};
      QTest::newRow(f + " trailing text") << field << "12abc" << qint64{-2};
      QTest::newRow(f + " negative") << field << "-1" << qint64{-2};
      QTest::newRow(f + " blanks") << field << " 12 " << qint64{12};
      QTest::newRow(f + " too large") << field << "99999999999" << qint64{-2};
    }
    QTest::newRow("type highest") << type << "4294967295" << qint64{-1};
    QTest::newRow("size highest") << size << "2147483647" << qint64{2147483647};
    QTest::newRow("size beyond") << size << "2147483648" << qint64{-2};
    QTest::newRow("size as shown from the file") << size << "4294967295" << qint64{-1};
  }
  void wholeNumberFieldsRefuseWhatTheyCannotHold() {
    QFETCH(int, field);
    QFETCH(QString, text);
    QFETCH(qint64, stored);
    const bool schema = field == CDlgSchema::IDC_TYPE;
    EditorRun run([](CParamStore& s) {
      StandardSets(s);
      s.Profiles()[0].SizeLimit = -1;  // from a hand-edited file
    });
    const int name = schema ? int{CDlgSchema::IDC_DESC} : int{CDlgExport::IDC_NAME};
    bool focused = false;
    run.Run(schema ? DLG_SCHEMA : DLG_EXPORT, [&](DlgWindow* e) {
      ClickRow(e, schema ? int{CDlgSchema::IDC_SCHEMA_LIST} : int{CDlgExport::IDC_PROFILE_LIST}, 0);
      if (schema) ClickRow(e, CDlgSchema::IDC_ENTRY_LIST, 0);
      Type(e, name, QStringLiteral("Изменено"));
      Type(e, field, text);
      Press(e, schema ? int{CDlgSchema::IDC_SAVE} : int{CDlgExport::IDC_SAVE});
      focused = e->focusWidget() == e->Item(field);
      Press(e, IDOK);
    });
    ExportProfile& p = run.store.Profiles()[0];
    SchemaEntry& entry = run.store.Schemas()[0].Entries[0];
    const std::int32_t value = schema                                     ? entry.Type
                               : field == int{CDlgExport::IDC_SIZE_LIMIT} ? p.SizeLimit
                                                                          : p.StringLimit;
    const std::u16string changed =
        std::u16string(schema ? FieldText(entry.Desc) : FieldText(p.Name));
    if (stored == -2) {
      QVERIFY(focused);
      QCOMPARE(run.prompts.warnings.size(), std::size_t{2});  // Save, then OK
      const std::uint32_t label = schema ? STR_COLUMN_TYPE
                                  : field == int{CDlgExport::IDC_SIZE_LIMIT}
                                      ? STR_EXPORT_SIZE_LIMIT
                                      : STR_EXPORT_STRING_LIMIT;
      QCOMPARE(run.prompts.warnings[0], StrLoad(STR_WHOLE_NUMBER, StrLoad(label), 0LL,
                                                schema ? 4294967295LL : 2147483647LL));
      QVERIFY(changed != u"Изменено");
    } else {
      QVERIFY(run.prompts.warnings.empty());
      QCOMPARE(value, static_cast<std::int32_t>(stored));
      QCOMPARE(changed, std::u16string(u"Изменено"));
    }
  }

  // A corner without a number stops the whole apply; the field is focused and named.
  void aCornerWithoutANumberStopsTheApply() {
    EditorRun run;
    const FilterArea before = run.store.Filters()[2];  // Moscow, row 2 by name
    bool focused = false;
    run.Run(DLG_FILTER, [&](DlgWindow* e) {
      ClickRow(e, CDlgFilter::IDC_AREA_LIST, 2);
      Type(e, CDlgFilter::IDC_NAME, QStringLiteral("Москва"));
      Type(e, CDlgFilter::IDC_AY, QStringLiteral("56,5"));
      Type(e, CDlgFilter::IDC_CX, QStringLiteral("восток"));
      Press(e, CDlgFilter::IDC_SAVE);
      focused = e->focusWidget() == e->Item(CDlgFilter::IDC_CX);
      Press(e, IDOK);  // still stopped: the dialog stays
      QVERIFY(!e->Ended());
    });
    QVERIFY(focused);
    QCOMPARE(run.prompts.warnings.size(), std::size_t{2});
    QCOMPARE(run.prompts.warnings[0],
             StrLoad(STR_NOT_A_NUMBER, StrLoad(STR_LONGITUDE), StrLoad(STR_CORNER_SE)));
    const FilterArea& after = run.store.Filters()[2];
    QCOMPARE(FieldText(after.Name), FieldText(before.Name));
    QCOMPARE(after.AY, before.AY);
  }

  // Fields shown disabled are not written back: a locked area keeps its corners to the last
  // bit and its delete button (and key) does nothing; a locked profile changes only its
  // string limit, transliteration and current box; a code page the box lacks is kept.
  void lockedItemsKeepWhatTheyCannotEdit() {
    EditorRun run([](CParamStore& s) {
      StandardSets(s);
      AddArea(s, u"Locked", 37.123456789012345, 56.1, 38.987654321098765, 55.2,
              PARAM_ENABLED | PARAM_LOCKED);
      s.Profiles()[0].Param |= PARAM_LOCKED;
    });
    run.Run(DLG_FILTER, [&](DlgWindow* e) {
      ClickRow(e, CDlgFilter::IDC_AREA_LIST, 2);  // Disabled, Kazan, Locked
      QCOMPARE(Text(e, CDlgFilter::IDC_NAME), QStringLiteral("Locked"));
      QCOMPARE(e->Control<ListViewWidget>(CDlgFilter::IDC_AREA_LIST)->ItemImage(2), 2);
      for (int id : {CDlgFilter::IDC_NAME, CDlgFilter::IDC_AX, CDlgFilter::IDC_ENABLED,
                     CDlgFilter::IDC_LOCKED, CDlgFilter::IDC_DELETE})
        QVERIFY(!Enabled(e, id));
      QTest::keyClick(e->Item(CDlgFilter::IDC_AREA_LIST), Qt::Key_Delete);
      Press(e, IDOK);
    });
    const FilterArea& locked = run.store.Filters().back();
    QVERIFY(!IsDeleted(locked));
    QCOMPARE(locked.AX, 37.123456789012345);
    QCOMPARE(locked.CX, 38.987654321098765);

    run.Run(DLG_EXPORT, [&](DlgWindow* e) {
      ClickRow(e, CDlgExport::IDC_PROFILE_LIST, 0);  // Nissan, locked
      QCOMPARE(e->Control<ListViewWidget>(CDlgExport::IDC_PROFILE_LIST)->ItemImage(0), 2);
      for (int id : {CDlgExport::IDC_NAME, CDlgExport::IDC_FILE, CDlgExport::IDC_CODEPAGE,
                     CDlgExport::IDC_ENABLED, CDlgExport::IDC_LOCKED, CDlgExport::IDC_DELETE,
                     CDlgExport::IDC_DEFAULT})  // current: its box cannot unmake it
        QVERIFY(!Enabled(e, id));
      for (int id : {CDlgExport::IDC_STRING_LIMIT, CDlgExport::IDC_TRANSLIT})
        QVERIFY(Enabled(e, id));
      Type(e, CDlgExport::IDC_STRING_LIMIT, QStringLiteral("30"));
      Press(e, CDlgExport::IDC_SAVE);
      ClickRow(e, CDlgExport::IDC_PROFILE_LIST, 1);  // Текст, code page 1251
      QCOMPARE(Text(e, CDlgExport::IDC_CODEPAGE), QString());
      Type(e, CDlgExport::IDC_NAME, QStringLiteral("Текст 1251"));
      Press(e, IDOK);
    });
    const ExportProfile& nissan = run.store.Profiles()[0];
    QCOMPARE(nissan.StringLimit, 30);
    QCOMPARE(FieldText(nissan.Name), std::u16string_view(u"Nissan"));
    const ExportProfile& text = run.store.Profiles()[1];
    QCOMPARE(FieldText(text.Name), std::u16string_view(u"Текст 1251"));
    QCOMPARE(text.Codepage, 1251);
  }

  // Cutting a text to its field never leaves half of a surrogate pair behind.
  void cutsKeepSurrogatePairsWhole() {
    const QString smile = QString::fromUtf8("\xF0\x9F\x98\x80");
    struct Case {
      std::uint32_t dialog;
      int list, add, field;
      int keep;  // characters kept before the pair
      std::function<std::u16string_view(CParamStore&)> stored;
    };
    const Case cases[] = {
        {DLG_FILTER, CDlgFilter::IDC_AREA_LIST, CDlgFilter::IDC_ADD, CDlgFilter::IDC_NAME, 62,
         [](CParamStore& s) { return FieldText(s.Filters().back().Name); }},
        {DLG_SCHEMA, CDlgSchema::IDC_SCHEMA_LIST, CDlgSchema::IDC_ADD_SCHEMA, CDlgSchema::IDC_NAME,
         62, [](CParamStore& s) { return FieldText(s.Schemas().back().Name); }},
        {DLG_EXPORT, CDlgExport::IDC_PROFILE_LIST, CDlgExport::IDC_ADD, CDlgExport::IDC_FORMAT, 126,
         [](CParamStore& s) { return FieldText(s.Profiles().back().Format); }},
    };
    for (const Case& c : cases) {
      EditorRun run;
      run.Run(c.dialog, [&](DlgWindow* e) {
        Press(e, c.add);
        e->Control<QLineEdit>(c.field)->setText(QString(c.keep, QLatin1Char('a')) + smile);
        Press(e, IDOK);
      });
      QCOMPARE(c.stored(run.store), std::u16string(std::size_t(c.keep), u'a'));
    }
  }

  // The schema editor opens with nothing shown; the first schema becomes current; a type is
  // an unsigned 32-bit value; disabling the current schema passes it on to the last enabled
  // one.
  void schemaEditorRules() {
    EditorRun run([](CParamStore&) {});
    run.Run(DLG_SCHEMA, [&](DlgWindow* e) {
      for (int id : {CDlgSchema::IDC_DELETE_SCHEMA, CDlgSchema::IDC_NAME, CDlgSchema::IDC_ENABLED,
                     CDlgSchema::IDC_DEFAULT, CDlgSchema::IDC_ADD_ENTRY,
                     CDlgSchema::IDC_DELETE_ENTRY, CDlgSchema::IDC_TYPE, CDlgSchema::IDC_DESC})
        QVERIFY(!Enabled(e, id));
      for (int id :
           {int(CDlgSchema::IDC_ADD_SCHEMA), int(CDlgSchema::IDC_SAVE), int(IDOK), int(IDCANCEL)})
        QVERIFY(Enabled(e, id));
      Press(e, CDlgSchema::IDC_ADD_SCHEMA);
      auto* list = e->Control<ListViewWidget>(CDlgSchema::IDC_SCHEMA_LIST);
      QCOMPARE(list->ItemImage(0), 3);
      QVERIFY(IsChecked(e->Item(CDlgSchema::IDC_DEFAULT)));
      QVERIFY(!Enabled(e, CDlgSchema::IDC_DEFAULT));
      Press(e, CDlgSchema::IDC_ADD_ENTRY);
      // The description shows whole as a tooltip; the hint names every variable it may hold.
      const QString longText(120, QLatin1Char('d'));
      Type(e, CDlgSchema::IDC_DESC, longText);
      QCOMPARE(e->Item(CDlgSchema::IDC_DESC)->toolTip(), longText);
      for (const char* v : {"{x}", "{y}", "{type}", "{speed}", "{dirtype}", "{direction}"})
        QVERIFY(Text(e, CDlgSchema::IDC_HINT).contains(QLatin1String(v)));
      Type(e, CDlgSchema::IDC_TYPE, QStringLiteral("4294967295"));
      Press(e, CDlgSchema::IDC_SAVE);
      QCOMPARE(Text(e, CDlgSchema::IDC_TYPE), QStringLiteral("4294967295"));
      QTest::keyClick(e->Item(CDlgSchema::IDC_ENTRY_LIST), Qt::Key_Delete);
      QCOMPARE(e->Control<ListViewWidget>(CDlgSchema::IDC_ENTRY_LIST)->ItemCount(), 0);
      Press(e, CDlgSchema::IDC_ADD_SCHEMA);
      Press(e, CDlgSchema::IDC_ADD_SCHEMA);
      ClickRow(e, CDlgSchema::IDC_SCHEMA_LIST, 0);
      Press(e, CDlgSchema::IDC_ENABLED);
      Press(e, IDOK);
    });
    const std::span<SchemaSet> s = run.store.Schemas();
    QCOMPARE(s.size(), std::size_t{3});
    QCOMPARE(s[0].Param, std::uint8_t{0});
    QVERIFY(!IsCurrent(s[1]));
    QVERIFY(IsCurrent(s[2]));
    QCOMPARE(s[0].Entries[0].Type, -1);
    QVERIFY(IsDeleted(s[0].Entries[0]));
  }

  void aboutAndDrive() {
    EditorRun run;
    QString text;
    bool readOnly = false, scrolls = false;
    QCOMPARE(run.Run(DLG_ABOUT,
                     [&](DlgWindow* e) {
                       auto* edit = e->Control<QPlainTextEdit>(CDlgAbout::IDC_TEXT);
                       text = edit->toPlainText();
                       readOnly = edit->isReadOnly();
                       scrolls = edit->verticalScrollBar()->isVisible();
                       QTest::keyClick(edit, Qt::Key_Return);
                     }),
             1);
    QVERIFY(text.section(QLatin1Char('\n'), 0, 0).contains(QStringLiteral("1.0.0.5 (Beta)")));
    QVERIFY(readOnly && scrolls);

    // Nothing chosen (no folder added; no drive is chosen where several are mounted): Save and
    // OK say so and keep the dialog open.
    bool open = false;
    int columns = 0;
    QString said;
    QCOMPARE(run.Run(DLG_DRIVE,
                     [&](DlgWindow* e) {
                       auto* list = e->Control<ListViewWidget>(CDlgDrive::IDC_LIST);
                       list->clearSelection();
                       static_cast<CDlgDrive*>(run.dialog.get())->selectedRow = -1;
                       Press(e, CDlgDrive::IDC_SAVE);
                       Press(e, IDOK);
                       QApplication::processEvents();
                       open = !e->Ended();
                       columns = list->ColumnCount();
                       said = Text(e, CDlgDrive::IDC_SUMMARY);
                     }),
             2);
    QVERIFY(open);
    QCOMPARE(columns, 5);
    QCOMPARE(said, ToQString(StrLoad(STR_DRIVE_CHOOSE)));
  }

  // Tab goes through the controls in the order of the template.
  void tabFollowsTheTemplate() {
    auto context = UiContext();
    for (std::uint32_t id : {DLG_FILTER, DLG_SCHEMA, DLG_EXPORT, DLG_DRIVE, DLG_ABOUT}) {
      const DlgTemplateDef& tpl = *FindDialogTemplate(id);
      DlgWindow w(tpl, context.get(), nullptr);
      std::vector<QWidget*> expected, chain;
      for (const DlgControlDef& def : tpl.controls)
        if ((def.style & WS_TABSTOP) && !(def.style & WS_DISABLED))
          expected.push_back(w.Item(def.id));
      for (QWidget* c = w.Client()->nextInFocusChain(); c != w.Client(); c = c->nextInFocusChain())
        if (std::find(expected.begin(), expected.end(), c) != expected.end()) chain.push_back(c);
      QCOMPARE(chain, expected);
    }
  }
};

QTEST_MAIN(EditorsTest)
#include "editors_test.moc"
