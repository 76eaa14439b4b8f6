// Renders every window into PNG files, without a display, in the language of the environment
// (TARVIK_LANG=ru or en):
//   tarvik_screenshots <output folder>
// The editors, the about box and the export drive dialog run as themselves over sample sets;
// the templates of the main window and the progress window get the fonts, texts, list looks
// and a little sample content their dialogs give them; and the main window runs as itself
// with the example table opened, and the map window from its menu. Each is grabbed as
// painted. The sample settings stay beside them (example-settings.ini).
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTimer>
#include <array>
#include <cstdio>

#include "core/app_context.h"
#include "params/default_params.h"
#include "params/param_store.h"
#include "processing/pipeline.h"
#include "resources/dialog_templates.h"
#include "resources/string_ids.h"
#include "ui/dlg_main.h"
#include "ui/framework/dlg_controls.h"
#include "ui/framework/list_view.h"
#include "ui/framework/qt_text.h"
#include "ui/main_prompts.h"
#include "ui/map_widget.h"
#include "ui/qt_setup.h"
#include "ui/status_bar.h"
#include "ui/ui_resources.h"

using namespace tarvik;

namespace {

constexpr char16_t kVersion[] = u"1.0.0.5";
constexpr char16_t kEdition[] = u"Beta";

// Sample content in the language of the pictures.
const char16_t* Sample(const char16_t* russian, const char16_t* english) {
  return CurrentLanguage() == Language::English ? english : russian;
}

class Preview : public CDlgBoxCore {
 public:
  Preview(QString path) : path_(std::move(path)) {}
  bool saved = false;

  void OnInitDialog(DlgWindow* w, const DlgStart&, DlgParam) override {
    const UiResources* ui = Ui(context);
    const DlgTemplateDef& tpl = w->Template();
    // The main window gives fontNormal to its labels.
    if (ui && tpl.id == DLG_MAIN) {
      for (const DlgControlDef& def : tpl.controls)
        if (def.id != kNoControlId && def.cls != CtlClass::ListView)
          SetControlFont(w->Item(def.id), &ui->fontNormal);
    }
    switch (tpl.id) {
      case DLG_MAIN:
        Main(w);
        break;
      case DLG_PROGRESS:
        if (ui) {
          SetControlFont(w->Item(1001), &ui->fontNormal);
          SetControlFont(w->Item(IDCANCEL), &ui->fontNormal);
        }
        SetControlText(w->Item(1001), StrLoad(STR_STATUS_LOADING_FILE));
        SetProgressPos(w->Item(1000), 40);
        break;
      default:
        break;
    }
    QMetaObject::invokeMethod(
        w,
        [this, w] {
          QApplication::processEvents();
          saved = w->grab().save(path_);
          PostEndMessage(w, IDCANCEL);
        },
        Qt::QueuedConnection);
  }

  void OnDestroy(DlgWindow*, DlgParam) override {
    for (ListViewCtl& ctl : lists_) ctl.ReleaseRows();
  }

 private:
  // Columns as the dialogs insert them; a negative width is that share (in percent) of the
  // client width less 60 pixels.
  ListViewCtl& Attach(DlgWindow* w, int slot, int id,
                      std::initializer_list<std::pair<std::uint32_t, int>> columns,
                      bool checks = false, bool images = true) {
    ListViewCtl& ctl = lists_[static_cast<std::size_t>(slot)];
    auto* list = qobject_cast<ListViewWidget*>(w->Item(id));
    ctl.Attach(context, list);
    ctl.ApplyStandardLook(checks, images);
    int i = 0;
    for (const auto& [textId, width] : columns) {
      const int px = width >= 0 ? width : (list->ClientWidth() - 60) * -width / 100;
      list->InsertColumn(i++, StrLoad(textId), px);
    }
    return ctl;
  }

  void Main(DlgWindow* w) {
    SetDialogTitle(w, StrLoad(STR_TITLE, kVersion, kEdition));
    ListViewCtl& a =
        Attach(w, 0, 1002, {{STR_COLUMN_MARK, 30}, {STR_COLUMN_NAME, -70}, {STR_COLUMN_COUNT, -30}},
               true, false);
    ListViewCtl& b = Attach(w, 1, 1003,
                            {{STR_COLUMN_MARK, 30},
                             {STR_COLUMN_TYPE, -10},
                             {STR_COLUMN_COUNT, -20},
                             {STR_COLUMN_DESC, -70}},
                            true, false);
    const char16_t* areas[][2] = {{Sample(u"Москва", u"Moscow"), u"1532"},
                                  {Sample(u"Санкт-Петербург", u"Saint Petersburg"), u"812"},
                                  {Sample(u"Казань", u"Kazan"), u"0"}};
    for (auto& row : areas) {
      const int r = a.AppendRow();
      a.list->SetItemText(r, 1, row[0]);
      a.list->SetItemText(r, 2, row[1]);
    }
    a.list->SetCheck(0, true);
    const char16_t* types[][3] = {
        {u"1", u"910", Sample(u"Камера скорости {speed}", u"Speed camera {speed}")},
        {u"2", u"377", Sample(u"Камера в спину", u"Rear-facing camera")},
        {u"10", u"57", Sample(u"Пост ДПС", u"Police post")}};
    for (auto& row : types) {
      const int r = b.AppendRow();
      b.list->SetCheck(r, true);
      for (int c = 0; c < 3; ++c) b.list->SetItemText(r, c + 1, row[c]);
    }
    b.list->SetItemState(1, true, true);
    AddComboItem(w->Item(1019), Sample(u"Стандартная", u"Standard"), 0);
    SetComboSelection(w->Item(1019), 0);
    SetControlText(w->Item(1022), StrLoad(STR_MATCH, 93.5));
  }

  QString path_;
  std::array<ListViewCtl, 2> lists_;
};

// A few cities, as a user adds them in the filter editor; one of them locked (as a shared
// settings file may have it) and one disabled.
void AddCities(CParamStore& store) {
  const struct {
    const char16_t* name;
    double ax, ay, cx, cy;
    std::uint8_t param;
  } cities[] = {{Sample(u"Москва", u"Moscow"), 36.8, 56.1, 38.3, 55.4, PARAM_ENABLED},
                {Sample(u"Санкт-Петербург", u"Saint Petersburg"), 29.6, 60.2, 30.8, 59.6,
                 PARAM_ENABLED | PARAM_LOCKED},
                {Sample(u"Казань", u"Kazan"), 48.8, 56.0, 49.4, 55.6, PARAM_ENABLED},
                {Sample(u"Нижний Новгород", u"Nizhny Novgorod"), 43.6, 56.5, 44.3, 56.1, 0},
                {Sample(u"Екатеринбург", u"Yekaterinburg"), 60.3, 57.0, 60.9, 56.6, PARAM_ENABLED},
                {Sample(u"Сочи", u"Sochi"), 39.5, 43.8, 40.0, 43.4, PARAM_ENABLED}};
  for (const auto& c : cities) {
    if (FilterArea* f = store.AddFilter()) {
      SetText(f->Name, c.name);
      f->Param = c.param;
      f->AX = c.ax;
      f->AY = c.ay;
      f->CX = c.cx;
      f->CY = c.cy;
    }
  }
}

// A row to click: in list `listId`, row `row`, or the row whose name is `name`.
struct Click {
  int listId;
  int row;
  const char16_t* name = nullptr;
};

// The editors, the about box and the export drive dialog themselves, over sample sets, with
// rows clicked in turn.
bool DialogShot(const QString& path, CAppContext& context, CDlgParams& dialog,
                std::uint32_t templateId, std::vector<Click> clicks = {}) {
  CParamStore store(&context);
  {
    ParamStoreHold hold(&store, ParamStoreHold::Wait);
    AddDefaultParams(store);
    AddCities(store);
    if (SchemaSet* s = store.AddSchema()) {
      SetText(s->Name, Sample(u"Только камеры", u"Cameras only"));
      s->Param = 0;
    }
    if (ExportProfile* p = store.AddProfile()) {
      SetText(p->Name, Sample(u"Текст (ANSI)", u"Text (ANSI)"));
      SetText(p->File, u"cams.txt");
      SetText(p->Format, u"{desc};{x};{y}");
      p->Codepage = 0;
      p->StringLimit = 40;
      p->Translit = 1;
    }
  }
  dialog.context = &context;
  dialog.templateId = templateId;
  dialog.paramStore = &store;
  bool saved = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* w = qobject_cast<DlgWindow*>(QApplication::activeModalWidget());
    if (!w || w->Template().id != templateId || !w->isVisible()) return;
    poll.stop();
    for (auto [listId, row, name] : clicks) {
      if (auto* list = w->Control<ListViewWidget>(listId)) {
        for (int r = 0; name && r < list->ItemCount(); ++r)
          if (list->ItemText(r, 1) == name) row = r;
        list->SetItemState(row, true, true);
        w->SendNotify({listId, NotifyCode::Click, list, row, 1});
      }
    }
    QApplication::processEvents();
    saved = w->grab().save(path);
    PostEndMessage(w, IDCANCEL);
  });
  poll.start(20);
  EditorStart start;
  RunModal(dialog, &start);
  dialog.paramStore = nullptr;
  return saved;
}

// The main window itself, with examples/speedcams.txt opened: what a user sees after Open.
class ExamplePrompts : public MainPrompts {
 public:
  std::optional<std::u16string> OpenFile(QWidget*, const std::vector<FileType>&,
                                         const std::u16string&) override {
    return std::u16string(u"examples/speedcams.txt");  // as typed in the repository's folder
  }
  std::optional<SaveChoice> SaveFile(QWidget*, const std::vector<FileType>&, int,
                                     const std::u16string&, const std::u16string&) override {
    return std::nullopt;
  }
  bool AskYesNo(QWidget*, const std::u16string&) override { return false; }
  void Warn(QWidget*, const std::u16string&) override {}
  std::optional<std::u16string> AskText(QWidget*, const std::u16string&, const std::u16string&,
                                        const std::u16string&, int) override {
    return std::nullopt;
  }
};

// The main window with the example table opened, and the map window opened from it over
// the western part of the table. The sample settings stay in `settingsPath`.
bool MainWindowShot(const QString& path, const QString& mapPath, const QString& settingsPath,
                    CAppContext& context, bool& mapSaved) {
  context.iniPath = FromQString(settingsPath);
  {
    // The first-start sets and a few cities.
    CParamStore store(&context);
    AcquireParams(store);
    AddDefaultParams(store);
    AddCities(store);
    ReleaseParams(store);
    WorkerTask save;
    save.appContext = &context;
    save.paramStore = &store;
    save.stageFlags = TASK_SAVE_PARAMS;
    RunTask(&save);
  }
  const QString previous = QDir::currentPath();
  QDir::setCurrent(QStringLiteral(TARVIK_EXAMPLES "/.."));
  ExamplePrompts prompts;
  CDlgMain main;
  main.context = &context;
  main.templateId = DLG_MAIN;
  main.prompts = &prompts;
  bool opened = false, saved = false, mapMoved = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    DlgWindow* w = main.hwnd;
    if (!w || !w->isVisible() || QApplication::activeModalWidget() != w) return;
    if (!opened) {
      opened = true;
      w->resize(w->width() + 60, w->height());
      w->SendCommand(IDM_OPEN);
      if (auto* areas = qobject_cast<ListViewWidget*>(w->Item(IDC_AREA_LIST))) {
        areas->SetCheck(1, true);
        areas->SetItemState(1, true, true);
      }
      return;
    }
    // Once the monitor has shown the loaded file.
    if (!main.StatusBar() || main.StatusBar()->PartIconId(1) != ICON_POI_LOADED) return;
    poll.stop();
    QApplication::processEvents();
    saved = w->grab().save(path);
    QTimer mapPoll;
    QObject::connect(&mapPoll, &QTimer::timeout, [&] {
      auto* m = qobject_cast<DlgWindow*>(QApplication::activeModalWidget());
      if (!m || m->Template().id != DLG_MAP || !m->isVisible()) return;
      auto* map = m->Control<MapWidget>(CDlgMap::IDC_MAP);
      if (!map) return;
      if (!mapMoved) {
        mapMoved = true;
        GeoBox west;
        west.Add(27, 43);
        west.Add(63, 61);
        map->SetView(FitView(west, map->width(), map->height()));
        return;
      }
      if (!map->LastFrame().current) return;
      mapPoll.stop();
      QApplication::processEvents();
      mapSaved = m->grab().save(mapPath);
      PostEndMessage(m, IDCANCEL);
    });
    mapPoll.start(20);
    w->SendCommand(IDM_MAP);
    w->SendCommand(IDM_EXIT);
  });
  poll.start(20);
  RunModal(main, 0);
  QDir::setCurrent(previous);
  context.iniPath.clear();
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  UseLanguage(app, LanguageFromEnvironment());
  if (argc < 2) {
    std::fprintf(stderr, "usage: tarvik_screenshots <output folder>\n");
    return 2;
  }
  const QString dir = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(dir);
  CAppContext context;
  InitUi(context);
  bool ok = true;
  auto report = [&ok](const QString& path, bool saved) {
    std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
    ok = ok && saved;
  };
  auto pathOf = [&dir](std::uint32_t id) {
    return QStringLiteral("%1/dialog_%2.png").arg(dir).arg(id);
  };
  // The templates of the main window and the progress window, with sample content.
  for (std::uint32_t id : {DLG_MAIN, DLG_PROGRESS}) {
    Preview preview(pathOf(id));
    preview.context = &context;
    preview.templateId = id;
    RunModal(preview, 0);
    report(pathOf(id), preview.saved);
  }
  // The dialogs over sample sets, rows clicked: Moscow, the first-start schema and its first
  // entry, the profile "Nissan Connect".
  CDlgFilter filter;
  report(pathOf(DLG_FILTER),
         DialogShot(pathOf(DLG_FILTER), context, filter, DLG_FILTER,
                    {{CDlgFilter::IDC_AREA_LIST, 0, Sample(u"Москва", u"Moscow")}}));
  CDlgSchema schema;
  report(pathOf(DLG_SCHEMA),
         DialogShot(pathOf(DLG_SCHEMA), context, schema, DLG_SCHEMA,
                    {{CDlgSchema::IDC_SCHEMA_LIST, 0}, {CDlgSchema::IDC_ENTRY_LIST, 0}}));
  CDlgExport exporter;
  report(pathOf(DLG_EXPORT), DialogShot(pathOf(DLG_EXPORT), context, exporter, DLG_EXPORT,
                                        {{CDlgExport::IDC_PROFILE_LIST, 0}}));
  CDlgDrive drive;
  report(pathOf(DLG_DRIVE), DialogShot(pathOf(DLG_DRIVE), context, drive, DLG_DRIVE));
  CDlgAbout about;
  report(pathOf(DLG_ABOUT), DialogShot(pathOf(DLG_ABOUT), context, about, DLG_ABOUT));
  const QString mainPath = QStringLiteral("%1/main_window.png").arg(dir);
  const QString mapPath = QStringLiteral("%1/map_window.png").arg(dir);
  bool mapSaved = false;
  const bool mainSaved = MainWindowShot(
      mainPath, mapPath, QStringLiteral("%1/example-settings.ini").arg(dir), context, mapSaved);
  report(mainPath, mainSaved);
  report(mapPath, mapSaved);
  context.ui.reset();
  return ok ? 0 : 1;
}
