#pragma once
// The about box: a small dialog of the main window that holds the parameter store while it is
// shown and changes nothing.
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

}  // namespace tarvik
