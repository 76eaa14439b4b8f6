#pragma once
// The main window: the statistics lists (POIs per area and per camera type of the current
// schema), the schema choice, the status bar kept up to date by the status monitor, and the
// menu commands, each of which runs one task behind the progress dialog.
#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "params/param_store.h"
#include "processing/poi_store.h"
#include "processing/task.h"
#include "ui/dlg_about.h"
#include "ui/dlg_drive.h"
#include "ui/dlg_export.h"
#include "ui/dlg_filter.h"
#include "ui/dlg_map.h"
#include "ui/dlg_proc.h"
#include "ui/dlg_schema.h"
#include "ui/framework/dlg_core.h"
#include "ui/framework/list_view.h"
#include "ui/framework/tracked_object.h"
#include "ui/status_monitor.h"

namespace tarvik {

class ControlLayout;
class StatusBarWidget;
class MainPrompts;

// Control and command ids of the main window.
enum : std::uint16_t {
  IDC_AREA_LIST = 1002,
  IDC_TYPE_LIST = 1003,
  IDC_SCHEMA_CHOICE = 1019,
  IDC_SCHEMA_LABEL = 1021,
  IDC_MATCH_LABEL = 1022,
  IDM_EXIT = 32771,
  IDM_OPEN = 32773,
  IDM_ABOUT = 32774,
  IDM_FILTER = 32778,
  IDM_SCHEMA = 32780,
  IDM_SAVE_AS = 32782,
  IDM_EXPORT_PARAMS = 32785,
  IDM_DRIVE = 32787,
  IDM_MAP = 32790,
};

// The start parameter the main window hands its editors, the drive dialog and the about box:
// two 32-bit words, both 0. That there is one tells them the main window opened them.
struct EditorStart {
  std::uint32_t words[2] = {0, 0};
};

// A file name split as the save command splits it: the bare name (no folder, no extension)
// and the extension with its leading dot (empty when there is none). Both '\' and '/'
// separate folders.
struct FileNameParts {
  std::u16string_view bare;
  std::u16string_view ext;
};
FileNameParts SplitFileName(std::u16string_view path);
// The save command's extension rule: the profile's extension is appended unless the path
// already ends in it (letter case aside) or the profile has none.
std::u16string WithProfileExtension(std::u16string path, std::u16string_view profileFile);

class CDlgMain : public CDlgBoxCore {
 public:
  CDlgMain();
  ~CDlgMain() override;

  void OnInitDialog(DlgWindow* window, const DlgStart& start, DlgParam param) override;
  void OnCommand(DlgWindow* window, const DlgCommand& command, DlgParam param) override;
  void OnSize(DlgWindow* window, const DlgSize& size, DlgParam param) override;
  void OnDestroy(DlgWindow* window, DlgParam param) override;

  // Shares of the client width given to status bar parts 0 and 1, in percent.
  std::uint32_t statusParts[2] = {15, 85};

  // The file dialogs and message boxes; null: Qt's (QtPrompts).
  MainPrompts* prompts = nullptr;

  // A table to open as soon as the window is first shown (`tarvik FILE`); empty: none.
  std::u16string startFile;

  // The editors, the export drive dialog and the about box, bound at start-up to the window
  // and the parameter store. An editor that is not bound (no store) only counts again.
  CDlgFilter filterEditor;
  CDlgSchema schemaEditor;
  CDlgExport exportEditor;
  CDlgDrive driveDialog;
  CDlgAbout aboutBox;
  // The map window, bound like the editors and to the POI store.
  CDlgMap mapWindow;

  // What the window owns while it runs (null before and after).
  CPoiStore* PoiStore() const { return poiStore_.get(); }
  CParamStore* ParamStore() const { return paramStore_.get(); }
  StatusBarWidget* StatusBar() const;
  int StatusBarId() const { return statusBarId_; }
  CDlgProc& ProgressDialog() { return progress_; }
  // The chosen source file; empty until an Open.
  std::u16string SourcePath() const;

  // The controls, null while the window is not shown.
  ListViewWidget* AreaList() const { return Control<ListViewWidget>(IDC_AREA_LIST); }
  ListViewWidget* TypeList() const { return Control<ListViewWidget>(IDC_TYPE_LIST); }
  QLabel* SchemaLabel() const { return Control<QLabel>(IDC_SCHEMA_LABEL); }
  QLabel* MatchLabel() const { return Control<QLabel>(IDC_MATCH_LABEL); }

 private:
  struct StatusBarRecord;
  struct SchemaChoice {
    CAppContext* context = nullptr;
    DlgWindow* window = nullptr;  // the combo box is control IDC_SCHEMA_CHOICE of this window
  };

  // The schema choice's drop-down list, through its record.
  QComboBox* SchemaCombo() const {
    return schemaChoice_ && schemaChoice_->window
               ? schemaChoice_->window->Control<QComboBox>(IDC_SCHEMA_CHOICE)
               : nullptr;
  }

  void CreateStatusBar(DlgWindow* window);
  void SetUpList(ListViewWidget* list, TrackedObject<ListViewCtl>& ctl,
                 std::initializer_list<std::uint32_t> columns);
  void LayoutStatusAndColumns(int clientWidth);
  void RefreshStatistics();
  void RefreshSchemaChoice();
  void ClearStatistics();
  void RetryRefreshLater();
  void ApplyStatus(const StatusReport& report);
  // A note shown in place of the POI state in status bar part 1; empty: the state again.
  void SetStatusNote(std::u16string note);
  // Runs the request behind the progress dialog, then tells the user what went wrong.
  void RunTaskDialogAndReport(const TaskRequest& request);
  void Warn(std::u16string_view text);
  MainPrompts& Prompts();

  void CmdSchemaChosen();
  void CmdOpen();
  // Loads, parses and counts a table, as Open does once a file is chosen.
  void OpenTable(std::u16string path);
  void CmdSaveAs();
  // The text that says which list needs a ticked row before an export; 0 when both have one.
  std::uint32_t MissingTicks() const;
  // Keeps the folder of a file chosen in a dialog as where that dialog starts next time.
  void Remember(std::u16string_view key, std::u16string& folder, const std::u16string& chosen);
  // Keeps the size the user gave a file dialog as the size it opens at next time.
  void RememberSize(std::u16string_view key, QSize& size, const QSize& now);
  void CmdDrive();
  void CmdExit();
  void CmdEditor(CDlgBoxCore& editor);
  // Shows a dialog that holds the parameter store; no refresh reads the store meanwhile.
  int RunHoldingDialog(CDlgBoxCore& dialog);
  void CmdAbout();

  QIcon windowIcon_;
  mutable std::mutex sourcePathLock_;  // the monitor reads the path
  std::u16string sourcePath_;
  TrackedObject<ControlLayout> layout_;
  TrackedObject<StatusBarRecord> statusBar_;
  int statusBarId_ = 0;
  TrackedObject<ListViewCtl> areaList_;
  TrackedObject<ListViewCtl> typeList_;
  TrackedObject<SchemaChoice> schemaChoice_;
  TrackedObject<CPoiStore> poiStore_;
  TrackedObject<CParamStore> paramStore_;
  CDlgProc progress_;
  TrackedObject<StatusMonitor> monitor_;

  std::u16string poiStatus_;                // the POI state the monitor reported last
  std::u16string statusNote_;               // shown in its place until the next task
  std::u16string openFolder_, saveFolder_;  // where the file dialogs start
  QSize openSize_, saveSize_;               // the sizes they open at

  // A refresh skipped because a store was held: the lists were cleared and are filled again
  // as soon as the store is free.
  bool statisticsPending_ = false;
  bool schemasPending_ = false;
  bool retryScheduled_ = false;
  bool taskRunning_ = false;
};

}  // namespace tarvik
