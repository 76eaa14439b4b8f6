#pragma once
// The drive dialog ("Подготовить съемный диск..."): the removable drives mounted now, from
// UDisks2 or else from the kernel's mount table, kept current while it is open; Save and OK
// write the main window's selection through every enabled export profile onto the chosen
// drive or folder; "Извлечь" then removes the drive safely.
#include <QSocketNotifier>
#include <memory>
#include <string>
#include <vector>

#include "core/platform_drives.h"
#include "processing/task.h"
#include "ui/framework/list_detail.h"

namespace tarvik {

class CDlgProc;
class UDisksClient;

// Save writes and keeps the dialog open (the summary below the list, then "Извлечь"); OK
// writes and ends with 1, or only ends when the chosen drive was just written and nothing
// changed since; a failed write keeps it open. Cancel ends with 2.
class CDlgDrive : public CDlgParams {
 public:
  enum : int {
    IDC_LIST = 1042,
    IDC_SAVE = 1043,
    IDC_SOURCE = 1050,
    IDC_SUMMARY = 1051,
    IDC_OTHER_FOLDER = 1052,
    IDC_EJECT = 1053,
  };

  CDlgDrive();
  ~CDlgDrive() override;

  void OnInitDialog(DlgWindow* window, const DlgStart& start, DlgParam param) override;
  void OnCommand(DlgWindow* window, const DlgCommand& command, DlgParam param) override;
  void OnNotify(DlgWindow* window, const DlgNotify& notify, DlgParam param) override;
  void OnDestroy(DlgWindow* window, DlgParam param) override;

  // Bound by the main window: the progress dialog the write runs behind.
  CDlgProc* progress = nullptr;
  // The ticked schema entries and areas to write, set for each showing (null: nothing to
  // write).
  RefNode* entryList = nullptr;
  RefNode* areaList = nullptr;

  int selectedRow = -1;  // the row last clicked; -1: none
  // The last complete write of this showing, one line for the main window; empty: none.
  std::u16string lastWritten;

 private:
  QWidget* Summary() const { return Control(IDC_SUMMARY); }

  // The drives again, from UDisks2 where it answers; the chosen row stays chosen.
  void Refresh();
  void Fill();
  const platform::MountedDrive* Chosen() const;
  // The lines below the list: a write's summary, then what removing the drive did.
  void SetSummary(std::vector<std::u16string> lines);
  void AddFolder();
  // Writes onto the chosen drive; true when every file is written and flushed.
  bool Write();
  void Eject();
  void UpdateButtons();

  ListPane list_;
  std::unique_ptr<UDisksClient> udisks_;
  std::unique_ptr<QSocketNotifier> mountWatch_;  // the kernel's mount table, without UDisks2
  int mountFd_ = -1;
  bool fromUDisks_ = false;
  std::vector<platform::MountedDrive> drives_;
  std::vector<platform::MountedDrive> folders_;  // added with "Другая папка..."
  std::u16string chosen_;                        // the mount point (or folder) of the chosen row
  std::u16string written_;  // the drive just written, while nothing changed since
  std::u16string lastFolder_;
  std::vector<std::u16string> summary_;
};

}  // namespace tarvik
