#include "ui/dlg_main.h"

#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QMetaObject>
#include <QMimeData>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "core/platform_files.h"
#include "core/store_lock.h"
#include "core/text.h"
#include "core/tracked_array.h"
#include "core/tracked_memory.h"
#include "processing/statistics_rows.h"
#include "resources/dialog_templates.h"
#include "resources/string_ids.h"
#include "ui/framework/control_layout.h"
#include "ui/framework/dlg_controls.h"
#include "ui/framework/list_view.h"
#include "ui/framework/qt_text.h"
#include "ui/main_prompts.h"
#include "ui/remembered_folders.h"
#include "ui/status_bar.h"
#include "ui/ui_resources.h"

namespace tarvik {
namespace {

constexpr char16_t kVersion[] = u"" TARVIK_VERSION;
constexpr char16_t kEdition[] = u"Beta";

constexpr int kColumnWidth = 30;
constexpr int kRetryMs = 20;
// The smallest the schema box gets, in characters of its own font, and the type list, in
// dialog units.
constexpr int kMinComboChars = 15;
constexpr int kMinListUnits = 60;

// Digits the count and the type columns of the lists make room for.
constexpr int kCountDigits = 7;
constexpr int kTypeDigits = 5;

// The width of a drop-down list that shows `chars` characters of its font.
int ComboWidthFor(const QComboBox* combo, int chars) {
  QStyleOptionComboBox option;
  option.initFrom(combo);
  const QFontMetrics fm = combo->fontMetrics();
  // A middling letter of either alphabet: 'o' is as wide as the Cyrillic 'о'.
  const QSize text(fm.horizontalAdvance(QString(chars, QLatin1Char('o'))), fm.height());
  return combo->style()->sizeFromContents(QStyle::CT_ComboBox, &option, text, combo).width();
}

// The main menu: the popups by position and the items by command id, with their captions.
struct MenuCaption {
  int key;
  std::uint32_t textId;
};
constexpr MenuCaption kPopupCaptions[] = {
    {0, STR_MENU_FILE}, {1, STR_MENU_OPTIONS}, {2, STR_MENU_HELP}};
constexpr MenuCaption kItemCaptions[] = {
    {IDM_OPEN, STR_MENU_OPEN},
    {IDM_SAVE_AS, STR_MENU_SAVE_AS},
    {IDM_DRIVE, STR_MENU_DRIVE},
    {IDM_EXIT, STR_MENU_EXIT},
    {IDM_FILTER, STR_MENU_FILTER},
    {IDM_SCHEMA, STR_MENU_SCHEMA},
    {IDM_EXPORT_PARAMS, STR_MENU_EXPORT},
    {IDM_MAP, STR_MENU_MAP},
    {IDM_ABOUT, STR_MENU_ABOUT},
};

// The keys that run menu items, shown in the menu.
struct MenuShortcut {
  int command;
  QKeyCombination keys;
};
constexpr MenuShortcut kShortcuts[] = {
    {IDM_OPEN, Qt::CTRL | Qt::Key_O},
    {IDM_SAVE_AS, Qt::CTRL | Qt::Key_S},
    {IDM_EXIT, Qt::CTRL | Qt::Key_Q},
};

std::u16string Format(const char16_t* format, const FmtArg& arg) {
  std::u16string out;
  const FmtArg args[] = {arg};
  FormatAppend(out, format, args);
  return out;
}

// Whether `p` points at an element of `items` (row references are checked against the
// store before they are followed).
template <class T>
bool Within(std::span<T> items, const void* p) {
  if (items.empty() || !p) return false;
  const auto a = reinterpret_cast<std::uintptr_t>(items.data());
  const auto b = reinterpret_cast<std::uintptr_t>(items.data() + items.size());
  const auto x = reinterpret_cast<std::uintptr_t>(p);
  return x >= a && x < b && (x - a) % sizeof(T) == 0;
}

// Calls `fn` on the window's thread after each showing, once the widgets have their sizes.
class ShowWatcher : public QObject {
 public:
  ShowWatcher(QObject* parent, std::function<void()> fn) : QObject(parent), fn_(std::move(fn)) {}
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (watched == parent() && e->type() == QEvent::Show) {
      auto fn = fn_;
      QMetaObject::invokeMethod(
          this, [fn] { fn(); }, Qt::QueuedConnection);
    }
    return false;
  }

 private:
  std::function<void()> fn_;
};

// Hands the first local file of a drop to `open`; anything else is refused at the door, and
// so is every drop while an editor or a task holds the window (it is not the modal one then).
class DropWatcher : public QObject {
 public:
  DropWatcher(QWidget* parent, std::function<void(std::u16string)> open)
      : QObject(parent), open_(std::move(open)) {}
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (watched != parent()) return false;
    const bool idle = QApplication::activeModalWidget() == parent();
    if (e->type() == QEvent::DragEnter || e->type() == QEvent::DragMove) {
      auto* drag = static_cast<QDropEvent*>(e);
      if (idle && !FileOf(drag->mimeData()).isEmpty()) drag->acceptProposedAction();
      return true;
    }
    if (e->type() == QEvent::Drop) {
      auto* drop = static_cast<QDropEvent*>(e);
      const QString file = idle ? FileOf(drop->mimeData()) : QString();
      if (file.isEmpty()) return true;
      drop->acceptProposedAction();
      open_(platform::PathFromNative(QFile::encodeName(file).toStdString()));
      return true;
    }
    return false;
  }

 private:
  static QString FileOf(const QMimeData* data) {
    if (!data) return {};
    for (const QUrl& url : data->urls()) {
      const QString path = url.toLocalFile();
      if (!path.isEmpty() && QFileInfo(path).isFile()) return path;
    }
    return {};
  }
  std::function<void(std::u16string)> open_;
};

// The checked rows of a list, from the top, each put at the head: the reverse of the
// displayed order. `nodes` keeps them (reserved up front, so no node moves).
RefNode* CollectChecked(const ListViewCtl& ctl, std::vector<RefNode>& nodes) {
  RefNode* head = nullptr;
  if (!ctl.list) return head;
  const int n = ctl.list->ItemCount();
  nodes.reserve(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) {
    if (!ctl.list->Check(i)) continue;
    const ListRow* row = ctl.Row(i);
    nodes.push_back({row ? row->data : nullptr, head});
    head = &nodes.back();
  }
  return head;
}

// Something other than a folder has the name; a link that points nowhere counts too.
bool IsExistingFile(const std::u16string& path) {
  const std::string native = platform::NativePath(path);
  if (!platform::NameTaken(native)) return false;
  std::error_code ec;
  return !std::filesystem::is_directory(native, ec);
}

}  // namespace

FileNameParts SplitFileName(std::u16string_view path) {
  const std::size_t slash = path.find_last_of(u"\\/");
  const std::u16string_view name =
      slash == std::u16string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind(u'.');
  if (dot == std::u16string_view::npos) return {name, {}};
  return {name.substr(0, dot), name.substr(dot)};
}

std::u16string WithProfileExtension(std::u16string path, std::u16string_view profileFile) {
  const std::u16string_view ext = SplitFileName(profileFile).ext;
  if (!ext.empty() && !EqualsNoCase(ext, SplitFileName(path).ext)) path += ext;
  return path;
}

// The status bar with the part edges of the last layout (a tracked array that only grows).
struct CDlgMain::StatusBarRecord {
  explicit StatusBarRecord(CAppContext* context) : edges(context) {}
  QWidget* parent = nullptr;
  TrackedBuffer<std::int32_t> edges;
  StatusBarWidget* window = nullptr;
  QRect client;
  QRect windowRect;
};

CDlgMain::CDlgMain() = default;

CDlgMain::~CDlgMain() {
  // Normally gone with OnDestroy; never leave the thread running against a dead object.
  if (monitor_) {
    monitor_->Stop();
    monitor_->Join();
  }
}

StatusBarWidget* CDlgMain::StatusBar() const {
  return statusBar_ ? statusBar_->window : nullptr;
}

std::u16string CDlgMain::SourcePath() const {
  std::lock_guard<std::mutex> guard(sourcePathLock_);
  return sourcePath_;
}

MainPrompts& CDlgMain::Prompts() {
  static QtPrompts qt;
  return prompts ? *prompts : qt;
}

// ---- start-up ----

void CDlgMain::OnInitDialog(DlgWindow* window, const DlgStart&, DlgParam) {
  if (!context) return;
  const UiResources* ui = Ui(context);

  SetDialogTitle(window, StrLoad(STR_TITLE, kVersion, kEdition));
  if (ui) {
    windowIcon_ = ui->Icon(ICON_PROGRAM);
    window->setWindowIcon(windowIcon_);
    SetControlFont(SchemaLabel(), &ui->fontNormal);
    SetControlFont(MatchLabel(), &ui->fontNormal);
  }
  SetControlText(SchemaLabel(), StrLoad(STR_SCHEMA_LABEL));
  SetControlText(MatchLabel(), u"");

  if (window->Menu()) {
    for (const MenuCaption& c : kPopupCaptions) SetMenuPopupText(window, c.key, StrLoad(c.textId));
    for (const MenuCaption& c : kItemCaptions) {
      SetMenuItemText(window, c.key, StrLoad(c.textId));
      EnableMenuItem(window, c.key, true);
      CheckMenuItem(window, c.key, false);
    }
    AssignMenuMnemonics(window);
    for (const MenuShortcut& k : kShortcuts) SetMenuItemShortcut(window, k.command, k.keys);
  }

  poiStore_ = MakeTracked<CPoiStore>(context, context);
  paramStore_ = MakeTracked<CParamStore>(context, context);

  CreateStatusBar(window);
  SetUpList(AreaList(), areaList_, {STR_COLUMN_MARK, STR_COLUMN_NAME, STR_COLUMN_COUNT});
  SetUpList(TypeList(), typeList_,
            {STR_COLUMN_MARK, STR_COLUMN_TYPE, STR_COLUMN_COUNT, STR_COLUMN_DESC});
  schemaChoice_ = MakeTracked<SchemaChoice>(context);
  if (schemaChoice_) {
    schemaChoice_->context = context;
    schemaChoice_->window = window;
    if (ui) SetControlFont(SchemaCombo(), &ui->fontNormal);
  }

  // Of a change of width the area list takes the left half and the type list the right half,
  // with the controls above it moving along; both lists take the whole change of height, the
  // status bar the whole change of width.
  layout_ = MakeTracked<ControlLayout>(context, context, window->Client());
  if (layout_) {
    constexpr std::uint16_t kTop = LAYOUT_TOP_FIXED | LAYOUT_CLIENT_COORDS;
    constexpr std::uint16_t kRightHalf = LAYOUT_LEFT_HALF | LAYOUT_WIDTH_HALF;
    if (StatusBarWidget* bar = StatusBar())
      layout_->RegisterControl(bar, LAYOUT_LEFT_FIXED | LAYOUT_WIDTH_ALL | LAYOUT_CLIENT_COORDS);
    layout_->RegisterControl(Control(IDC_SCHEMA_CHOICE), kTop | kRightHalf);
    layout_->RegisterControl(AreaList(),
                             kTop | LAYOUT_LEFT_FIXED | LAYOUT_WIDTH_HALF | LAYOUT_HEIGHT_ALL);
    layout_->RegisterControl(TypeList(), kTop | kRightHalf | LAYOUT_HEIGHT_ALL);
    layout_->RegisterControl(SchemaLabel(), kTop | LAYOUT_LEFT_HALF);
    layout_->RegisterControl(MatchLabel(), kTop);
  }
  // Below this size the schema box would shrink to nothing and "Схема" would slide over the
  // match label: the box keeps room for fifteen characters of its font, the lists a few rows.
  if (QComboBox* combo = Control<QComboBox>(IDC_SCHEMA_CHOICE); combo && TypeList()) {
    const int widthToGive = 2 * std::max(0, combo->width() - ComboWidthFor(combo, kMinComboChars));
    const int heightToGive = std::max(0, TypeList()->height() - window->UnitsY(kMinListUnits));
    window->setMinimumSize(window->width() - widthToGive, window->height() - heightToGive);
  }

  progress_.context = context;
  progress_.templateId = DLG_PROGRESS;
  progress_.owner = window;
  progress_.poiStore = poiStore_.get();
  progress_.paramStore = paramStore_.get();
  if (paramStore_) {
    const std::pair<CDlgParams*, std::uint32_t> bound[] = {
        {&filterEditor, DLG_FILTER}, {&schemaEditor, DLG_SCHEMA}, {&exportEditor, DLG_EXPORT},
        {&driveDialog, DLG_DRIVE},   {&aboutBox, DLG_ABOUT},      {&mapWindow, DLG_MAP},
    };
    for (const auto& [dialog, templateId] : bound) {
      dialog->context = context;
      dialog->templateId = templateId;
      dialog->owner = window;
      dialog->paramStore = paramStore_.get();
      dialog->prompts = &Prompts();
    }
    driveDialog.progress = &progress_;
    mapWindow.poiStore = poiStore_.get();
  }

  LayoutStatusAndColumns(window->Client()->width());
  // Column widths need the lists' laid-out client areas, which exist once the window shows.
  window->installEventFilter(new ShowWatcher(window, [this] {
    if (!hwnd) return;
    LayoutStatusAndColumns(hwnd->Client()->width());
    // The file named on the command line, over the window that is now shown.
    if (!startFile.empty()) OpenTable(std::exchange(startFile, {}));
  }));
  // A table dropped onto the window opens as Open opens it, once the drop is over.
  window->setAcceptDrops(true);
  window->installEventFilter(new DropWatcher(window, [this](std::u16string path) {
    QMetaObject::invokeMethod(
        hwnd,
        [this, path = std::move(path)] {
          if (hwnd && QApplication::activeModalWidget() == hwnd) OpenTable(path);
        },
        Qt::QueuedConnection);
  }));

  monitor_ = MakeTracked<StatusMonitor>(context);
  bool started = false;
  if (monitor_) {
    StatusSource source;
    source.context = context;
    source.poiStore = poiStore_.get();
    source.statusBar = statusBar_ != nullptr;
    source.sourcePath = [this] { return SourcePath(); };
    started = monitor_->Start(
        std::move(source),
        [this, window](StatusReport report) {
          QMetaObject::invokeMethod(
              window, [this, r = std::move(report)] { ApplyStatus(r); }, Qt::QueuedConnection);
        },
        [window] { PostEndMessage(window, IDCANCEL); });
  }
  if (!started) PostEndMessage(window, IDCANCEL);

  openFolder_ = ReadRememberedFolder(context->iniPath, kOpenFolderKey);
  saveFolder_ = ReadRememberedFolder(context->iniPath, kSaveFolderKey);
  Prompts().openDialogSize = openSize_ = ReadRememberedSize(context->iniPath, kOpenSizeKey);
  Prompts().saveDialogSize = saveSize_ = ReadRememberedSize(context->iniPath, kSaveSizeKey);

  TaskRequest startup;
  startup.stageFlags = TASK_LOAD_PARAMS;
  RunTaskDialogAndReport(startup);
  RefreshSchemaChoice();
}

void CDlgMain::CreateStatusBar(DlgWindow* window) {
  statusBar_ = MakeTracked<StatusBarRecord>(context, context);
  if (!statusBar_) return;
  StatusBarRecord& sb = *statusBar_;
  sb.parent = window;
  QWidget* client = window->Client();
  auto* bar = new StatusBarWidget(client);  // owned by the window
  statusBarId_ = static_cast<int>(TakeControlId(context));
  window->AddItem(statusBarId_, bar);
  bar->setObjectName(QStringLiteral("ctl%1").arg(statusBarId_));
  sb.window = bar;
  if (const UiResources* ui = Ui(context)) {
    bar->setFont(ui->fontNormal);
    const QFontMetrics fm(ui->fontNormal);
    bar->SetMinHeight(fm.height() + fm.leading());
  }
  const int height = bar->sizeHint().height();
  // The window grows by the bar, which takes the bottom of the client area; the template's
  // coordinates stay those of the area above it.
  const QSize clientSize = client->size();
  window->resize(window->width(), window->height() + height);
  client->resize(clientSize.width(), clientSize.height() + height);
  bar->setGeometry(0, clientSize.height(), clientSize.width(), height);
  bar->show();
  sb.client = bar->rect();
  sb.windowRect = bar->geometry();
}

void CDlgMain::SetUpList(ListViewWidget* list, TrackedObject<ListViewCtl>& ctl,
                         std::initializer_list<std::uint32_t> columns) {
  if (!list) return;
  ctl = MakeTracked<ListViewCtl>(context);
  if (!ctl) return;
  ctl->Attach(context, list);
  ctl->ApplyStandardLook(/*checkBoxes=*/true, /*contextImages=*/false);
  int index = 0;
  for (std::uint32_t textId : columns) list->InsertColumn(index++, StrLoad(textId), kColumnWidth);
}

void CDlgMain::LayoutStatusAndColumns(int clientWidth) {
  if (statusBar_ && statusBar_->window) {
    StatusBarRecord& sb = *statusBar_;
    const auto w = static_cast<std::uint32_t>(clientWidth);
    const std::uint32_t edge0 = (w * statusParts[0]) / 100;
    const std::uint32_t edge1 = edge0 + (w * statusParts[1]) / 100;
    if (sb.edges.Append(static_cast<std::int32_t>(edge0)) &&
        sb.edges.Append(static_cast<std::int32_t>(edge1)))
      sb.window->SetParts(std::span<const std::int32_t>(sb.edges.data(), sb.edges.size()));
    sb.edges.Clear();
  }
  // The counts and codes are as wide as their titles and numbers need; the names and the
  // descriptions take the rest, so a larger window shows more of them.
  if (areaList_ && areaList_->list) {
    ListViewWidget* list = areaList_->list;
    const int count = list->FittingWidth(2, QString(kCountDigits, QLatin1Char('0')));
    list->SetColumnWidth(1, std::max(0, list->ClientWidth() - kColumnWidth - count));
    list->SetColumnWidth(2, count);
  }
  if (typeList_ && typeList_->list) {
    ListViewWidget* list = typeList_->list;
    const int type = list->FittingWidth(1, QString(kTypeDigits, QLatin1Char('0')));
    const int count = list->FittingWidth(2, QString(kCountDigits, QLatin1Char('0')));
    list->SetColumnWidth(1, type);
    list->SetColumnWidth(2, count);
    list->SetColumnWidth(3, std::max(0, list->ClientWidth() - kColumnWidth - type - count));
  }
}

// ---- what the window shows ----

void CDlgMain::ClearStatistics() {
  if (typeList_) typeList_->ClearRows();
  if (areaList_) areaList_->ClearRows();
}

void CDlgMain::RetryRefreshLater() {
  if (retryScheduled_ || !hwnd) return;
  retryScheduled_ = true;
  QTimer::singleShot(kRetryMs, hwnd, [this] {
    retryScheduled_ = false;
    if (taskRunning_) {
      // The task's own refresh follows it; until then nothing is read.
      if (statisticsPending_ || schemasPending_) RetryRefreshLater();
      return;
    }
    if (statisticsPending_) RefreshStatistics();
    if (schemasPending_) RefreshSchemaChoice();
  });
}

void CDlgMain::RefreshStatistics() {
  if (!context || !poiStore_ || !paramStore_) return;
  CPoiStore& poi = *poiStore_;
  CParamStore& params = *paramStore_;
  // The rows point into the parameter sets, which a task may just have loaded again: when
  // the stores cannot be read now, the lists are emptied at once and filled as soon as they
  // can, so no row outlives what it points to.
  if (!TryEnterStore(poi)) {
    ClearStatistics();
    statisticsPending_ = true;
    RetryRefreshLater();
    return;
  }
  if (!TryAcquireParams(params)) {
    LeaveStore(poi);
    ClearStatistics();
    statisticsPending_ = true;
    RetryRefreshLater();
    return;
  }
  statisticsPending_ = false;

  // Counters are followed only into the sets that are loaded now.
  SchemaSet* schema = params.CurrentSchema();
  const std::span<SchemaEntry> entries =
      schema ? CParamStore::Entries(*schema) : std::span<SchemaEntry>();
  const std::span<FilterArea> areas = params.Filters();

  if (typeList_ && typeList_->list) {
    ListViewCtl& ctl = *typeList_;
    ctl.list->setUpdatesEnabled(false);
    ctl.ClearRows();
    if (poi.data) {
      for (const TypeRow& row : BuildTypeRows(*poi.data)) {
        if (!Within(entries, row.entry)) continue;
        const int i = ctl.AppendRow();
        if (i < 0) continue;
        ctl.list->SetCheck(i, true);
        ctl.list->SetItemText(i, 1, Format(u"%d", row.entry->Type));
        ctl.list->SetItemText(i, 2, Format(u"%u", row.count));
        ctl.list->SetItemText(i, 3, FieldText(row.entry->Desc));
        ctl.SetRowData(row.entry, i);
      }
    }
    ctl.list->setUpdatesEnabled(true);
  }
  if (areaList_ && areaList_->list) {
    ListViewCtl& ctl = *areaList_;
    ctl.list->setUpdatesEnabled(false);
    ctl.ClearRows();
    if (poi.data) {
      for (const AreaRow& row : BuildAreaRows(*poi.data)) {
        if (!Within(areas, row.area)) continue;
        const int i = ctl.AppendRow();
        if (i < 0) continue;
        ctl.list->SetItemText(i, 1, FieldText(row.area->Name));
        ctl.list->SetItemText(i, 2, Format(u"%u", row.count));
        ctl.SetRowData(row.area, i);
      }
    }
    ctl.list->setUpdatesEnabled(true);
  }
  LeaveStore(poi);
  ReleaseParams(params);
}

void CDlgMain::RefreshSchemaChoice() {
  if (!context || !paramStore_) return;
  CParamStore& params = *paramStore_;
  QComboBox* combo = SchemaCombo();
  if (!TryAcquireParams(params)) {
    // The items point to schemas too.
    ClearCombo(combo);
    schemasPending_ = true;
    RetryRefreshLater();
    return;
  }
  schemasPending_ = false;
  if (combo) {
    ClearCombo(combo);
    int current = -1;
    for (SchemaSet& s : params.Schemas()) {
      if (IsDeleted(s) || !(s.Param & PARAM_ENABLED)) continue;
      const int index = AddComboItem(combo, FieldText(s.Name), reinterpret_cast<std::intptr_t>(&s));
      if (s.Param & PARAM_DEFAULT) current = index;
    }
    SetComboSelection(combo, current);
  }
  ReleaseParams(params);
}

void CDlgMain::ApplyStatus(const StatusReport& report) {
  if (!hwnd) return;
  SetControlText(MatchLabel(), report.match);
  StatusBarWidget* bar = StatusBar();
  if (!report.statusBar || !bar) return;
  const UiResources* ui = Ui(context);
  auto icon = [ui](std::uint32_t id) { return ui ? ui->Icon(id) : QIcon(); };
  bar->SetPartIcon(0, icon(ICON_MEMORY), ICON_MEMORY);
  bar->SetPartText(0, ToQString(report.memory));
  bar->SetPartIcon(1, icon(report.poiIcon), report.poiIcon);
  poiStatus_ = report.poi;
  bar->SetPartText(1, ToQString(statusNote_.empty() ? poiStatus_ : statusNote_));
}

// ---- tasks ----

void CDlgMain::Warn(std::u16string_view text) {
  if (!text.empty()) Prompts().Warn(hwnd, std::u16string(text));
}

void CDlgMain::SetStatusNote(std::u16string note) {
  statusNote_ = std::move(note);
  if (StatusBarWidget* bar = StatusBar())
    bar->SetPartText(1, ToQString(statusNote_.empty() ? poiStatus_ : statusNote_));
}

void CDlgMain::RunTaskDialogAndReport(const TaskRequest& request) {
  SetStatusNote({});  // a note lasts until the next task
  taskRunning_ = true;
  const int result = RunTaskDialog(progress_, request);
  taskRunning_ = false;
  if (result < 0) return;
  // The task ran silently; what went wrong is told here, once the progress window is gone.
  if (progress_.lastFailure.stringId != 0) {
    Warn(FailureText(progress_.lastFailure));
    return;
  }
  if (progress_.lastAborted) return;  // cancelled
  const ExportResult& written = progress_.lastExport;
  if (request.stageFlags & TASK_EXPORT) {
    SetStatusNote(StrLoad(STR_EXPORT_DONE, static_cast<unsigned long long>(written.linesWritten),
                          request.targetPath ? *request.targetPath : std::u16string()));
    if (written.linesLeftOut != 0)
      Warn(StrLoad(STR_SIZE_LIMIT, static_cast<unsigned long long>(written.linesWritten),
                   static_cast<unsigned long long>(written.linesLeftOut)));
  }
  // A file without a header line leaves nothing loaded, which would otherwise look as if
  // nothing had been opened.
  if ((request.stageFlags & TASK_PARSE) && progress_.lastParsedLayout == SOURCE_NONE &&
      request.targetPath)
    Warn(NoTableText(*request.targetPath, progress_.lastHeaderBeyondLine));
}

// ---- commands ----

void CDlgMain::OnCommand(DlgWindow*, const DlgCommand& command, DlgParam) {
  if (!context) return;
  switch (command.id) {
    case IDC_SCHEMA_CHOICE:
      if (command.code == CommandCode::SelectionChanged) CmdSchemaChosen();
      break;
    case IDM_OPEN:
      CmdOpen();
      break;
    case IDM_SAVE_AS:
      CmdSaveAs();
      break;
    case IDM_DRIVE:
      CmdDrive();
      break;
    case IDM_EXIT:
    case IDCANCEL:
      CmdExit();
      break;
    case IDM_FILTER:
      CmdEditor(filterEditor);
      break;
    case IDM_SCHEMA:
      CmdEditor(schemaEditor);
      break;
    case IDM_EXPORT_PARAMS:
      CmdEditor(exportEditor);
      break;
    case IDM_MAP:
      CmdEditor(mapWindow);
      break;
    case IDM_ABOUT:
      CmdAbout();
      break;
    default:
      break;
  }
}

void CDlgMain::CmdSchemaChosen() {
  if (!paramStore_ || !schemaChoice_ || !schemaChoice_->window) return;
  QComboBox* combo = SchemaCombo();
  const int index = ComboSelection(combo);
  if (index < 0) return;
  const std::intptr_t data = ComboItemData(combo, index);
  if (data == 0 || data == kComboNone) return;
  CParamStore& params = *paramStore_;
  if (TryAcquireParams(params)) {
    const std::span<SchemaSet> schemas = params.Schemas();
    if (Within(schemas, reinterpret_cast<const void*>(data)))
      MakeCurrentFromList(schemas, *reinterpret_cast<SchemaSet*>(data));
    ReleaseParams(params);
  }
  TaskRequest request;
  request.stageFlags = TASK_SAVE_PARAMS | TASK_LOAD_PARAMS | TASK_FILTER;
  RunTaskDialogAndReport(request);
  RefreshStatistics();
  RefreshSchemaChoice();
}

void CDlgMain::CmdOpen() {
  const std::vector<FileType> types = {
      {StrLoad(STR_OPEN_TYPES), u"*.txt;*.bkm"},
      {StrLoad(STR_OPEN_TYPES_OSM), u"*.osm.pbf;*.osm;*.osm.bz2;*.osm.gz"},
      {StrLoad(STR_OPEN_ALL), u"*.*"}};
  std::optional<std::u16string> path = Prompts().OpenFile(hwnd, types, openFolder_);
  RememberSize(kOpenSizeKey, openSize_, Prompts().openDialogSize);
  if (!path || path->empty() || path->size() > kMaxDialogPath) return;
  Remember(kOpenFolderKey, openFolder_, *path);
  OpenTable(std::move(*path));
}

void CDlgMain::OpenTable(std::u16string path) {
  TaskRequest request;
  request.stageFlags = TASK_LOAD_FILE | TASK_PARSE | TASK_FILTER;
  request.targetPath = &path;
  RunTaskDialogAndReport(request);
  // A file that failed leaves the table shown before, the name it came from and the ticks.
  if (!progress_.lastTableReplaced) return;
  {
    std::lock_guard<std::mutex> guard(sourcePathLock_);
    sourcePath_ = std::move(path);
  }
  RefreshStatistics();
}

void CDlgMain::CmdSaveAs() {
  if (!paramStore_) return;
  CParamStore& params = *paramStore_;
  if (!TryAcquireParams(params)) return;
  const std::span<ExportProfile> profiles = params.Profiles();
  if (profiles.empty()) {
    ReleaseParams(params);
    return;
  }
  // An export needs a ticked row in each list. Without, the user learns what to tick before
  // choosing a file (area rows start unticked, so this is the usual first try).
  if (const std::uint32_t missing = MissingTicks(); missing != 0) {
    ReleaseParams(params);  // a refresh may run while the message is shown
    Warn(StrLoad(missing));
    return;
  }
  // The enabled profiles as file types, numbered from 1 in store order; the current one (or
  // the first) gives the preselected type and the initial name.
  std::vector<FileType> types;
  std::vector<ExportProfile*> numbered;
  std::u16string defaultName;
  bool nameSet = false;
  int defaultIndex = 0;
  for (ExportProfile& p : profiles) {
    if (IsDeleted(p) || !(p.Param & PARAM_ENABLED)) continue;
    numbered.push_back(&p);
    const FileNameParts parts = SplitFileName(FieldText(p.File));
    if (!nameSet || (p.Param & PARAM_DEFAULT)) {
      defaultName = parts.bare;
      nameSet = true;
      defaultIndex = static_cast<int>(numbered.size());
    }
    std::u16string description;
    const FmtArg args[] = {FieldText(p.Name), parts.ext};
    FormatAppend(description, u"%s (*%s)", args);
    types.push_back({std::move(description), u"*" + std::u16string(parts.ext)});
  }
  std::optional<SaveChoice> choice =
      Prompts().SaveFile(hwnd, types, defaultIndex, defaultName, saveFolder_);
  RememberSize(kSaveSizeKey, saveSize_, Prompts().saveDialogSize);
  if (choice && !choice->path.empty()) Remember(kSaveFolderKey, saveFolder_, choice->path);
  std::u16string path;
  ExportProfile* profile = nullptr;
  if (choice && choice->path.size() <= kMaxDialogPath) {
    path = std::move(choice->path);
    if (choice->typeIndex >= 1 && choice->typeIndex <= static_cast<int>(numbered.size()))
      profile = numbered[static_cast<std::size_t>(choice->typeIndex - 1)];
  }
  ReleaseParams(params);
  if (path.empty() || !profile) return;

  path = WithProfileExtension(std::move(path), FieldText(profile->File));

  std::vector<RefNode> entryNodes, areaNodes;
  TaskRequest request;
  request.stageFlags = TASK_EXPORT;
  request.targetPath = &path;
  request.exportProfile = profile;
  if (typeList_ && areaList_) {
    request.entryList = CollectChecked(*typeList_, entryNodes);
    request.areaList = CollectChecked(*areaList_, areaNodes);
  }
  // Only a Yes gives the export leave to replace: a file that appears after this check stays.
  request.replaceTarget = IsExistingFile(path);
  if (request.replaceTarget && !Prompts().AskYesNo(nullptr, StrLoad(STR_OVERWRITE, path))) return;
  RunTaskDialogAndReport(request);
}

std::uint32_t CDlgMain::MissingTicks() const {
  auto anyChecked = [](const TrackedObject<ListViewCtl>& ctl) {
    const ListViewWidget* list = ctl ? ctl->list : nullptr;
    for (int i = 0; list && i < list->ItemCount(); ++i)
      if (list->Check(i)) return true;
    return false;
  };
  // No type row: nothing loaded, or no camera of a type the schema describes.
  if (!typeList_ || !typeList_->list || typeList_->list->ItemCount() == 0)
    return STR_FAIL_EXPORT_NOTHING;
  if (!anyChecked(areaList_)) return STR_SAVE_TICK_AREA;
  if (!anyChecked(typeList_)) return STR_SAVE_TICK_TYPE;
  return 0;
}

void CDlgMain::Remember(std::u16string_view key, std::u16string& folder,
                        const std::u16string& chosen) {
  std::u16string now = FolderOf(chosen);
  if (now.empty() || now == folder) return;
  folder = std::move(now);
  // Only a convenience: a file that cannot take it costs the user nothing but the next start
  // in the same folder, so nothing is said.
  RememberFolder(context->iniPath, key, folder);
}

void CDlgMain::RememberSize(std::u16string_view key, QSize& size, const QSize& now) {
  if (now.isEmpty() || now == size) return;
  size = now;
  tarvik::RememberSize(context->iniPath, key, size);  // a convenience, as the folder
}

void CDlgMain::CmdDrive() {
  if (!paramStore_ || !driveDialog.context || !driveDialog.templateId) return;
  CParamStore& params = *paramStore_;
  if (!TryAcquireParams(params)) return;
  const std::span<ExportProfile> profiles = params.Profiles();
  if (profiles.empty()) {
    ReleaseParams(params);
    return;
  }
  // What Save as would say before choosing a file is said before the drive is chosen.
  const bool anyEnabled = std::any_of(profiles.begin(), profiles.end(), [](const ExportProfile& p) {
    return !IsDeleted(p) && (p.Param & PARAM_ENABLED);
  });
  const std::uint32_t missing = anyEnabled ? MissingTicks() : STR_CLI_NO_ENABLED_PROFILE;
  ReleaseParams(params);  // a refresh may run while a message is shown
  if (missing != 0) {
    Warn(StrLoad(missing));
    return;
  }
  std::vector<RefNode> entryNodes, areaNodes;
  if (!typeList_ || !areaList_) return;
  driveDialog.entryList = CollectChecked(*typeList_, entryNodes);
  driveDialog.areaList = CollectChecked(*areaList_, areaNodes);
  const int result = RunHoldingDialog(driveDialog);
  driveDialog.entryList = driveDialog.areaList = nullptr;
  if (result == IDOK && !driveDialog.lastWritten.empty()) SetStatusNote(driveDialog.lastWritten);
}

void CDlgMain::CmdExit() {
  if (monitor_ && monitor_->Started()) {
    monitor_->Stop();  // the monitor ends the window once its cycle is over
  } else {
    PostEndMessage(hwnd, IDCANCEL);
  }
}

int CDlgMain::RunHoldingDialog(CDlgBoxCore& dialog) {
  // The dialog holds the store on this very thread, where a refresh retried meanwhile would
  // enter the recursive lock too and lower the dialog's busy marker on leaving.
  taskRunning_ = true;
  EditorStart start;
  const int result = RunModal(dialog, &start);
  taskRunning_ = false;
  return result;
}

void CDlgMain::CmdEditor(CDlgBoxCore& editor) {
  TaskRequest request;
  request.stageFlags = TASK_FILTER;
  if (editor.context && editor.templateId && RunHoldingDialog(editor) == IDOK)
    request.stageFlags = TASK_SAVE_PARAMS | TASK_LOAD_PARAMS | TASK_FILTER;
  RunTaskDialogAndReport(request);
  RefreshStatistics();
  RefreshSchemaChoice();
}

void CDlgMain::CmdAbout() {
  if (aboutBox.context && aboutBox.templateId) RunHoldingDialog(aboutBox);
}

// ---- other slots ----

void CDlgMain::OnSize(DlgWindow* window, const DlgSize& size, DlgParam) {
  if (!context || !window) return;
  if (size.kind == SizeKind::Minimized || !window->isVisible()) return;
  if (layout_) layout_->ApplyLayout(size.width, size.height);
  LayoutStatusAndColumns(size.width);
}

void CDlgMain::OnDestroy(DlgWindow*, DlgParam) {
  if (!context) return;
  // No thread is killed: once stopped, the monitor finishes its short cycle and ends.
  if (monitor_) {
    monitor_->Stop();
    monitor_->Join();
    monitor_.reset();
  }
  // The store goes below.
  for (CDlgParams* dialog : std::initializer_list<CDlgParams*>{
           &driveDialog, &exportEditor, &schemaEditor, &filterEditor, &aboutBox, &mapWindow}) {
    dialog->templateId = 0;
    dialog->owner = nullptr;
    dialog->paramStore = nullptr;
  }
  mapWindow.poiStore = nullptr;
  progress_.templateId = 0;
  progress_.owner = nullptr;
  layout_.reset();
  schemaChoice_.reset();
  if (typeList_) typeList_->ReleaseRows();
  typeList_.reset();
  if (areaList_) areaList_->ReleaseRows();
  areaList_.reset();
  statusBar_.reset();
  poiStore_.reset();
  paramStore_.reset();
  windowIcon_ = QIcon();
  {
    std::lock_guard<std::mutex> guard(sourcePathLock_);
    sourcePath_.clear();
  }
  statisticsPending_ = schemasPending_ = retryScheduled_ = taskRunning_ = false;
  poiStatus_.clear();
  statusNote_.clear();
  openFolder_.clear();
  saveFolder_.clear();
  openSize_ = saveSize_ = QSize();
}

}  // namespace tarvik
