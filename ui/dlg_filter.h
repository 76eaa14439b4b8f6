#pragma once
// The filter editor: the named rectangles (areas) that the counting and the export use,
// added, renamed, enabled, re-shaped and deleted in place in the parameter store.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <cstdint>

#include "ui/framework/list_detail.h"

namespace tarvik {

class CDlgFilter : public CDlgListDetail {
 public:
  CDlgFilter();

  // Control ids of its template.
  enum : int {
    IDC_AREA_LIST = 1003,
    IDC_NAME = 1004,
    IDC_ADD = 1005,
    IDC_DELETE = 1006,
    IDC_SAVE = 1007,
    IDC_ENABLED = 1008,
    IDC_AX = 1009,
    IDC_AY = 1010,
    IDC_CX = 1011,
    IDC_CY = 1012,
    IDC_LOCKED = 1013,
  };

 protected:
  void Start(DlgWindow* window) override;
  void ShowRow(std::size_t pane, int row) override;
  bool Apply() override;
  void Add(std::size_t pane) override;
  void Delete(std::size_t pane) override;

 private:
  // Lists the areas that are not deleted, sorted by name, and shows the one with this ID
  // (0: none).
  void Fill(std::uint64_t id);

  QLineEdit* Field(int id) const { return Control<QLineEdit>(id); }
  QCheckBox* Box(int id) const { return Control<QCheckBox>(id); }
};

}  // namespace tarvik
