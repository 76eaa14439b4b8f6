#pragma once
// The schema editor: the named tables that give each camera type code a description for the
// export. Schemas are added, renamed, enabled, made current and deleted, and their entries
// added, edited and deleted, in place in the parameter store.
#include <QCheckBox>
#include <QLineEdit>
#include <cstdint>

#include "ui/framework/list_detail.h"

namespace tarvik {

class CDlgSchema : public CDlgListDetail {
 public:
  CDlgSchema();

  // Control ids of its template.
  enum : int {
    IDC_ADD_SCHEMA = 1009,
    IDC_DELETE_SCHEMA = 1010,
    IDC_SCHEMA_LIST = 1011,
    IDC_NAME = 1014,
    IDC_ENTRY_LIST = 1015,
    IDC_ADD_ENTRY = 1016,
    IDC_DELETE_ENTRY = 1017,
    IDC_ENABLED = 1018,
    IDC_TYPE = 1020,
    IDC_DESC = 1021,
    IDC_SAVE = 1022,
    IDC_DEFAULT = 1023,
    IDC_HINT = 1027,
  };

 protected:
  void Start(DlgWindow* window) override;
  void ShowRow(std::size_t pane, int row) override;
  bool Apply() override;
  void Add(std::size_t pane) override;
  void Delete(std::size_t pane) override;

 private:
  enum : std::size_t { kSchemas = 0, kEntries = 1 };

  // Lists the schemas that are not deleted, in store order, and shows the schema and the
  // entry with these IDs (0: none).
  void Fill(std::uint64_t schemaId, std::uint64_t entryId);
  // The schema half of the fields; lists the schema's entries with none shown.
  void ShowSchema(int row);
  void ShowEntry(int row);
  SchemaSet* SelectedSchema();

  QLineEdit* Field(int id) const { return Control<QLineEdit>(id); }
  QCheckBox* Box(int id) const { return Control<QCheckBox>(id); }
};

}  // namespace tarvik
