#pragma once
// The about box and the export drive dialog: two small dialogs of the main window that hold
// the parameter store while they are shown and change nothing.
#include "ui/framework/list_detail.h"

namespace tarvik {

// What the program is, its version and edition, and its terms of use. Enter ends it with 1,
// Escape with 2.
class CDlgAbout : public CDlgParams {
 public:
  enum : int { IDC_HEADLINE = 1044, IDC_TEXT = 1045 };

  void OnInitDialog(DlgWindow* window, const DlgStart& start, DlgParam param) override;
  void OnCommand(DlgWindow* window, const DlgCommand& command, DlgParam param) override;
};

// An empty list and the usual buttons: Save changes nothing, OK ends with 1, Cancel with 2.
// No command opens it.
class CDlgDrive : public CDlgParams {
 public:
  enum : int { IDC_LIST = 1042, IDC_SAVE = 1043 };

  void OnInitDialog(DlgWindow* window, const DlgStart& start, DlgParam param) override;
  void OnCommand(DlgWindow* window, const DlgCommand& command, DlgParam param) override;
  void OnNotify(DlgWindow* window, const DlgNotify& notify, DlgParam param) override;
  void OnDestroy(DlgWindow* window, DlgParam param) override;

  int selectedRow = -1;  // the row last clicked; -1: none

 private:
  ListPane list_;
};

}  // namespace tarvik
