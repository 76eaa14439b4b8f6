#pragma once
// The export parameters dialog: the profiles through which the export writes its file (name,
// row format, code page, limits, transliteration), added, edited, enabled, made current and
// deleted in place in the parameter store.
#include <QCheckBox>
#include <QComboBox>
#include <cstdint>

#include "ui/framework/list_detail.h"

namespace tarvik {

class CDlgExport : public CDlgListDetail {
 public:
  CDlgExport();

  // Control ids of its template.
  enum : int {
    IDC_ADD = 1025,
    IDC_DELETE = 1026,
    IDC_PROFILE_LIST = 1027,
    IDC_NAME = 1030,
    IDC_ENABLED = 1031,
    IDC_LOCKED = 1032,
    IDC_SAVE = 1033,
    IDC_FILE = 1035,
    IDC_SIZE_LIMIT = 1037,
    IDC_FORMAT = 1039,
    IDC_CODEPAGE = 1041,
    IDC_FOLDER = 1043,
    IDC_DEFAULT = 1044,
    IDC_STRING_LIMIT = 1046,
    IDC_TRANSLIT = 1047,
    IDC_DESC = 1048,
  };

 protected:
  void Start(DlgWindow* window) override;
  void ShowRow(std::size_t pane, int row) override;
  bool Apply() override;
  void Add(std::size_t pane) override;
  void Delete(std::size_t pane) override;

 private:
  // Lists the profiles that are not deleted, in store order, and shows the one with this ID
  // (0: none).
  void Fill(std::uint64_t id);

  QCheckBox* Box(int id) const { return Control<QCheckBox>(id); }
  QComboBox* CodepageBox() const { return Control<QComboBox>(IDC_CODEPAGE); }
};

}  // namespace tarvik
