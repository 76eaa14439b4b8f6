#include "ui/dlg_schema.h"

#include <optional>

#include "core/text.h"
#include "resources/string_ids.h"
#include "ui/framework/dlg_controls.h"
#include "ui/framework/field_values.h"

namespace tarvik {
namespace {

constexpr ListColumn kSchemaColumns[] = {{STR_COLUMN_MARK, 30}, {STR_COLUMN_NAME, -100}};
constexpr ListColumn kEntryColumns[] = {
    {STR_COLUMN_MARK, 30}, {STR_COLUMN_TYPE, -25}, {STR_COLUMN_DESC, -75}};
constexpr ListPaneDef kPanes[] = {
    {CDlgSchema::IDC_SCHEMA_LIST, CDlgSchema::IDC_ADD_SCHEMA, CDlgSchema::IDC_DELETE_SCHEMA,
     kSchemaColumns},
    {CDlgSchema::IDC_ENTRY_LIST, CDlgSchema::IDC_ADD_ENTRY, CDlgSchema::IDC_DELETE_ENTRY,
     kEntryColumns},
};
constexpr int kSmallFont[] = {CDlgSchema::IDC_HINT};
constexpr int kEntryImage = 4;
// A type is any unsigned 32-bit value; it is shown as one.
constexpr std::int64_t kMaxType = 0xFFFFFFFF;

// Images of the schema list: enabled, disabled, current.
int SchemaImage(const SchemaSet& s) {
  if (!(s.Param & PARAM_ENABLED)) return 1;
  return (s.Param & PARAM_DEFAULT) ? 3 : 0;
}

}  // namespace

CDlgSchema::CDlgSchema() : CDlgListDetail({kPanes, IDC_SAVE, kSmallFont}) {}

void CDlgSchema::Start(DlgWindow*) {
  // A description longer than its field shows whole as the field's tooltip.
  if (QLineEdit* desc = Field(IDC_DESC))
    QObject::connect(desc, &QLineEdit::textChanged, desc, &QLineEdit::setToolTip);
  Fill(0, 0);
}

SchemaSet* CDlgSchema::SelectedSchema() {
  return Pane(kSchemas).Item<SchemaSet>(Pane(kSchemas).Selected());
}

void CDlgSchema::Fill(std::uint64_t schemaId, std::uint64_t entryId) {
  ListPane& schemas = Pane(kSchemas);
  schemas.Clear();
  for (SchemaSet& s : paramStore->Schemas())
    if (!IsDeleted(s)) schemas.Append(&s, SchemaImage(s), {FieldText(s.Name)});
  const int schemaRow = schemas.RowOf<SchemaSet>(schemaId);
  schemas.Select(schemaRow);
  ShowPane(kSchemas, schemaRow);
  const int entryRow = Pane(kEntries).RowOf<SchemaEntry>(entryId);
  ShowPane(kEntries, entryRow);
}

void CDlgSchema::ShowRow(std::size_t pane, int row) {
  if (pane == kSchemas) ShowSchema(row);
  ShowEntry(pane == kEntries ? row : -1);
}

void CDlgSchema::ShowSchema(int row) {
  for (int id : {IDC_NAME, IDC_TYPE, IDC_DESC}) SetControlText(Field(id), u"");
  SetChecked(Box(IDC_ENABLED), false);
  SetChecked(Box(IDC_DEFAULT), false);
  ListPane& entries = Pane(kEntries);
  entries.Clear();
  SchemaSet* s = Pane(kSchemas).Item<SchemaSet>(row);
  if (s) {
    SetControlText(Field(IDC_NAME), FieldText(s->Name));
    SetChecked(Box(IDC_ENABLED), s->Param & PARAM_ENABLED);
    SetChecked(Box(IDC_DEFAULT), s->Param & PARAM_DEFAULT);
    for (SchemaEntry& e : CParamStore::Entries(*s))
      if (!IsDeleted(e)) entries.Append(&e, kEntryImage, {UnsignedText(e.Type), FieldText(e.Desc)});
  }
  for (int id : {IDC_NAME, IDC_ENABLED, IDC_DELETE_SCHEMA, IDC_ADD_ENTRY})
    EnableControl(Control(id), row >= 0);
  // The current schema stays current until another one is made current, or it is disabled
  // or deleted.
  EnableControl(Box(IDC_DEFAULT), row >= 0 && !(s && IsCurrent(*s)));
}

void CDlgSchema::ShowEntry(int row) {
  SetControlText(Field(IDC_TYPE), u"");
  SetControlText(Field(IDC_DESC), u"");
  if (const SchemaEntry* e = Pane(kEntries).Item<SchemaEntry>(row)) {
    SetControlText(Field(IDC_TYPE), UnsignedText(e->Type));
    SetControlText(Field(IDC_DESC), FieldText(e->Desc));
    Pane(kEntries).Select(row);
  }
  for (int id : {IDC_TYPE, IDC_DESC, IDC_DELETE_ENTRY}) EnableControl(Control(id), row >= 0);
}

bool CDlgSchema::Apply() {
  SchemaSet* s = Pane(kSchemas).Item<SchemaSet>(Pane(kSchemas).shown);
  SchemaEntry* e = Pane(kEntries).Item<SchemaEntry>(Pane(kEntries).shown);
  // The type is read first: one that is no number in its range stops the whole apply.
  std::optional<std::int64_t> type;
  if (e && !(type = WholeField(IDC_TYPE, STR_COLUMN_TYPE, 0, kMaxType))) return false;
  if (s) {
    SetText(s->Name, ControlText(Field(IDC_NAME), 63));
    const std::span<SchemaSet> all = paramStore->Schemas();
    if (IsChecked(Box(IDC_ENABLED)))
      s->Param |= PARAM_ENABLED;
    else
      DisableItem(all, *s);
    if ((s->Param & PARAM_ENABLED) && IsChecked(Box(IDC_DEFAULT))) MakeCurrentFromEditor(all, *s);
  }
  if (e) {
    e->Type = static_cast<std::int32_t>(static_cast<std::uint32_t>(*type));
    SetText(e->Desc, ControlText(Field(IDC_DESC), 127));
  }
  Fill(s ? s->ID : 0, e ? e->ID : 0);
  return true;
}

void CDlgSchema::Add(std::size_t pane) {
  if (pane == kSchemas) {
    if (SchemaSet* s = paramStore->AddSchema()) Fill(s->ID, 0);
  } else if (SchemaSet* s = SelectedSchema()) {
    if (SchemaEntry* e = paramStore->AddEntry(*s)) Fill(s->ID, e->ID);
  }
  Pane(pane).ScrollToEnd();
}

void CDlgSchema::Delete(std::size_t pane) {
  SchemaSet* s = SelectedSchema();
  if (pane == kSchemas) {
    if (!s) return;
    // The entries stay with it and go with it at the next save.
    s->Param = PARAM_DELETED;
    RepairDefault(paramStore->Schemas());
    Fill(0, 0);
    return;
  }
  const std::uint64_t schemaId = s ? s->ID : 0;
  SchemaEntry* e = Pane(kEntries).Item<SchemaEntry>(Pane(kEntries).Selected());
  if (!e) return Fill(schemaId, 0);
  e->Param = PARAM_DELETED;
  Fill(schemaId, e->ID);  // a deleted entry is not listed: none is shown
}

}  // namespace tarvik
