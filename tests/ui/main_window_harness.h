#pragma once
// The main window over a settings file of known sets, with the file dialogs and message boxes
// answered by the test, run modally and driven through its real widgets.
#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/app_context.h"
#include "params/param_store.h"
#include "processing/pipeline.h"
#include "resources/dialog_templates.h"
#include "ui/dlg_main.h"
#include "ui/framework/dlg_controls.h"
#include "ui/framework/list_view.h"
#include "ui/framework/qt_text.h"
#include "ui/main_prompts.h"
#include "ui/status_bar.h"
#include "ui_test_util.h"

namespace tarvik::test {

// Answers in place of the user and records what was asked.
class FakePrompts : public MainPrompts {
 public:
  std::deque<std::optional<std::u16string>> openAnswers;  // empty: cancel
  std::optional<SaveChoice> saveAnswer;                   // nothing: cancel
  bool answerYes = true;

  int openCalls = 0, saveCalls = 0;
  std::vector<FileType> openTypes, saveTypes;
  int saveIndex = -1;
  std::u16string saveName;
  std::u16string openFolder, saveFolder;  // where the last dialogs started
  std::vector<std::u16string> questions;
  std::vector<QWidget*> questionOwners;
  std::vector<std::u16string> warnings;

  std::optional<std::u16string> OpenFile(QWidget*, const std::vector<FileType>& types,
                                         const std::u16string& folder) override {
    ++openCalls;
    openTypes = types;
    openFolder = folder;
    if (openAnswers.empty()) return std::nullopt;
    auto answer = openAnswers.front();
    openAnswers.pop_front();
    return answer;
  }
  std::optional<SaveChoice> SaveFile(QWidget*, const std::vector<FileType>& types, int index,
                                     const std::u16string& name,
                                     const std::u16string& folder) override {
    ++saveCalls;
    saveFolder = folder;
    saveTypes = types;
    saveIndex = index;
    saveName = name;
    return saveAnswer;
  }
  std::deque<std::optional<std::u16string>> folderAnswers;  // empty: cancel
  std::optional<std::u16string> ChooseFolder(QWidget*, const std::u16string&) override {
    if (folderAnswers.empty()) return std::nullopt;
    auto answer = folderAnswers.front();
    folderAnswers.pop_front();
    return answer;
  }
  bool AskYesNo(QWidget* owner, const std::u16string& text) override {
    questions.push_back(text);
    questionOwners.push_back(owner);
    return answerYes;
  }
  void Warn(QWidget*, const std::u16string& text) override { warnings.push_back(text); }

  std::deque<std::optional<std::u16string>> textAnswers;  // empty: cancel
  std::vector<std::u16string> textOffered;
  std::optional<std::u16string> AskText(QWidget*, const std::u16string&, const std::u16string&,
                                        const std::u16string& text, int) override {
    textOffered.push_back(text);
    if (textAnswers.empty()) return std::nullopt;
    auto answer = textAnswers.front();
    textAnswers.pop_front();
    return answer;
  }
};

inline FilterArea* AddArea(CParamStore& s, const char16_t* name, double ax, double ay, double cx,
                           double cy, std::uint8_t param = PARAM_ENABLED) {
  FilterArea* a = s.AppendFilter();
  a->Param = param;
  a->ID = s.Filters().size();
  SetText(a->Name, name);
  a->AX = ax;
  a->AY = ay;
  a->CX = cx;
  a->CY = cy;
  return a;
}

inline void AddEntry(CParamStore& s, SchemaSet& schema, std::int32_t type, const char16_t* desc) {
  SchemaEntry* e = s.AppendEntry(schema);
  e->Param = PARAM_ENABLED;
  e->ID = 100 + schema.Count;
  e->Type = type;
  SetText(e->Desc, desc);
}

inline ExportProfile* AddProfile(CParamStore& s, const char16_t* name, const char16_t* file,
                                 const char16_t* format, std::int32_t codepage, std::uint8_t param,
                                 std::int32_t sizeLimit = 0) {
  ExportProfile* p = s.AppendProfile();
  p->Param = param;
  p->ID = 200 + s.Profiles().size();
  SetText(p->Name, name);
  SetText(p->File, file);
  SetText(p->Format, format);
  p->Codepage = codepage;
  p->SizeLimit = sizeLimit;
  return p;
}

// The sets most tests use. Areas in store order: Nowhere (0 cameras of the example), Kazan (2),
// Moscow (8), a disabled one, World (18), Saint Petersburg (4). Schema "Основная" (current)
// describes types 10, 2, 1, 3; "Другая" types 7 and 5. Profiles: "Nissan" POIs.csv (UTF-8,
// current), "Текст" cams.txt (ANSI), a disabled one.
inline void StandardSets(CParamStore& s) {
  AddArea(s, u"Nowhere", 0, 1, 1, 0);
  AddArea(s, u"Kazan", 49, 56, 50, 55);
  AddArea(s, u"Moscow", 37, 56, 38, 55);
  AddArea(s, u"Disabled", -180, 90, 180, -90, 0);
  AddArea(s, u"World", -180, 90, 180, -90);
  AddArea(s, u"Saint Petersburg", 30, 61, 31, 59);
  SchemaSet* main = s.AppendSchema();
  main->Param = PARAM_ENABLED | PARAM_DEFAULT;
  main->ID = 50;
  SetText(main->Name, u"Основная");
  AddEntry(s, *main, 10, u"Пост ДПС");
  AddEntry(s, *main, 2, u"Камера в спину");
  AddEntry(s, *main, 1, u"Камера {speed}");
  AddEntry(s, *main, 3, u"Светофор");
  SchemaSet* other = s.AppendSchema();
  other = &s.Schemas()[1];
  other->Param = PARAM_ENABLED;
  other->ID = 51;
  SetText(other->Name, u"Другая");
  AddEntry(s, *other, 7, u"Прочее");
  AddEntry(s, *other, 5, u"Мобильная");
  AddProfile(s, u"Nissan", u"POIs.csv", u"{x},{y},{desc}", 65001, PARAM_ENABLED | PARAM_DEFAULT);
  AddProfile(s, u"Текст", u"cams.txt", u"{desc};{x};{y}", 1251, PARAM_ENABLED);
  AddProfile(s, u"Off", u"off.dat", u"{x}", 65001, 0);
}

// Writes the sets of `fill` to the settings file of `context`.
inline bool WriteSets(CAppContext& context, const std::function<void(CParamStore&)>& fill) {
  CParamStore store(&context);
  AcquireParams(store);
  fill(store);
  ReleaseParams(store);
  WorkerTask task;
  task.appContext = &context;
  task.paramStore = &store;
  task.stageFlags = TASK_SAVE_PARAMS;
  RunTask(&task);
  return task.failure.stringId == 0;
}

// Counts the progress dialogs shown: one per task run.
class ProgressCounter : public QObject {
 public:
  int shown = 0;
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() == QEvent::Show) {
      auto* w = qobject_cast<DlgWindow*>(watched);
      if (w && w->Template().id == 130) ++shown;
    }
    return false;
  }
};

struct MainHarness {
  QTemporaryDir dir;
  std::unique_ptr<CAppContext> context = UiContext();
  FakePrompts prompts;
  CDlgMain main;
  ProgressCounter progressShown;
  const int& tasks = progressShown.shown;  // progress dialogs shown, one per task
  bool scriptRan = false;

  explicit MainHarness(const std::function<void(CParamStore&)>& fill = StandardSets) {
    context->iniPath = FromQString(dir.filePath(QStringLiteral("Tarvik.ini")));
    if (fill) WriteSets(*context, fill);
    main.context = context.get();
    main.templateId = 129;
    main.prompts = &prompts;
    qApp->installEventFilter(&progressShown);
  }
  ~MainHarness() { qApp->removeEventFilter(&progressShown); }

  std::u16string Path(const char* name) const {
    return FromQString(dir.filePath(QString::fromUtf8(name)));
  }

  // Runs the main window; `script` runs once it is shown and idle, then the window is left
  // through Exit (unless the script ended it). Returns the dialog's result.
  int Run(const std::function<void(DlgWindow*)>& script) {
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      DlgWindow* w = main.hwnd;
      if (scriptRan || !w || !w->isVisible() || QApplication::activeModalWidget() != w) return;
      scriptRan = true;
      poll.stop();
      script(w);
      if (main.hwnd && !main.hwnd->Ended()) main.hwnd->SendCommand(IDM_EXIT);
    });
    poll.start();
    return RunModal(main, 0);
  }
};

inline ListViewWidget* List(DlgWindow* w, int id) {
  return qobject_cast<ListViewWidget*>(w->Item(id));
}

// Rows of a list as "col1|col2|..." with a leading "x " for a checked row.
inline QStringList Rows(ListViewWidget* list) {
  QStringList out;
  for (int i = 0; i < list->ItemCount(); ++i) {
    QString row = list->Check(i) ? QStringLiteral("x ") : QStringLiteral("  ");
    for (int c = 1; c < list->ColumnCount(); ++c) {
      if (c > 1) row += QLatin1Char('|');
      row += ToQString(list->ItemText(i, c));
    }
    out << row;
  }
  return out;
}

inline void Command(DlgWindow* w, std::uint16_t id) {
  w->SendCommand(id);
}

}  // namespace tarvik::test
