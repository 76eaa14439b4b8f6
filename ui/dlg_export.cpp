#include "ui/dlg_export.h"

#include <iterator>
#include <limits>
#include <optional>

#include "core/text.h"
#include "resources/string_ids.h"
#include "ui/framework/dlg_controls.h"
#include "ui/framework/field_values.h"

namespace tarvik {
namespace {

constexpr ListColumn kColumns[] = {{STR_COLUMN_MARK, 30}, {STR_COLUMN_NAME, -100}};
constexpr ListPaneDef kPanes[] = {
    {CDlgExport::IDC_PROFILE_LIST, CDlgExport::IDC_ADD, CDlgExport::IDC_DELETE, kColumns}};
constexpr int kSmallFont[] = {CDlgExport::IDC_DESC};

constexpr std::int32_t kAnsi = 0;
constexpr std::int32_t kUtf8 = 65001;

// The text fields of a profile: the field, its capacity, and the most characters read.
struct TextField {
  int id;
  char16_t* (*field)(ExportProfile&);
  std::size_t capacity;
};
constexpr TextField kTexts[] = {
    {CDlgExport::IDC_NAME, [](ExportProfile& p) { return p.Name; }, NAME_CAPACITY},
    {CDlgExport::IDC_FILE, [](ExportProfile& p) { return p.File; }, FILE_CAPACITY},
    {CDlgExport::IDC_FORMAT, [](ExportProfile& p) { return p.Format; }, FORMAT_CAPACITY},
    {CDlgExport::IDC_FOLDER, [](ExportProfile& p) { return p.Folder; }, FOLDER_CAPACITY},
    {CDlgExport::IDC_DESC, [](ExportProfile& p) { return p.Desc; }, PROFILE_DESC_CAPACITY},
};
struct LimitField {
  int id;
  std::int32_t ExportProfile::*value;
  std::uint32_t labelId;
};
constexpr LimitField kLimits[] = {
    {CDlgExport::IDC_SIZE_LIMIT, &ExportProfile::SizeLimit, STR_EXPORT_SIZE_LIMIT},
    {CDlgExport::IDC_STRING_LIMIT, &ExportProfile::StringLimit, STR_EXPORT_STRING_LIMIT},
};
constexpr std::int64_t kMaxLimit = std::numeric_limits<std::int32_t>::max();

// Images of the list: disabled, locked, current, enabled.
int ProfileImage(const ExportProfile& p) {
  if (!(p.Param & PARAM_ENABLED)) return 1;
  if (p.Param & PARAM_LOCKED) return 2;
  return (p.Param & PARAM_DEFAULT) ? 3 : 0;
}

}  // namespace

CDlgExport::CDlgExport() : CDlgListDetail({kPanes, IDC_SAVE, kSmallFont}) {}

void CDlgExport::Start(DlgWindow*) {
  QComboBox* box = CodepageBox();
  ClearCombo(box);
  AddComboItem(box, StrLoad(STR_CODEPAGE_ANSI), kAnsi);
  AddComboItem(box, StrLoad(STR_CODEPAGE_UTF8), kUtf8);
  Fill(0);
}

void CDlgExport::Fill(std::uint64_t id) {
  ListPane& pane = Pane(0);
  pane.Clear();
  int row = -1;
  for (ExportProfile& p : paramStore->Profiles()) {
    if (IsDeleted(p)) continue;
    const int r = pane.Append(&p, ProfileImage(p), {FieldText(p.Name)});
    if (id != 0 && p.ID == id) row = r;  // the last of equal IDs
  }
  pane.Select(row);
  ShowPane(0, row);
}

void CDlgExport::ShowRow(std::size_t, int row) {
  for (const TextField& t : kTexts) SetControlText(Control(t.id), u"");
  for (const LimitField& l : kLimits) SetControlText(Control(l.id), u"");
  for (int id : {IDC_ENABLED, IDC_LOCKED, IDC_DEFAULT, IDC_TRANSLIT}) SetChecked(Box(id), false);
  SetComboSelection(CodepageBox(), -1);
  const bool valid = row >= 0;
  bool editable = valid, current = false;
  if (ExportProfile* p = Pane(0).Item<ExportProfile>(row)) {
    for (const TextField& t : kTexts) SetControlText(Control(t.id), t.field(*p));
    for (const LimitField& l : kLimits) SetControlText(Control(l.id), UnsignedText(p->*l.value));
    QComboBox* box = CodepageBox();
    int choice = -1;
    for (int i = 0; i < ComboCount(box) && choice < 0; ++i)
      if (ComboItemData(box, i) == p->Codepage) choice = i;
    SetComboSelection(box, choice);
    SetChecked(Box(IDC_ENABLED), p->Param & PARAM_ENABLED);
    SetChecked(Box(IDC_LOCKED), p->Param & PARAM_LOCKED);
    SetChecked(Box(IDC_DEFAULT), p->Param & PARAM_DEFAULT);
    SetChecked(Box(IDC_TRANSLIT), p->Translit != 0);
    editable = !(p->Param & PARAM_LOCKED);
    current = (p->Param & PARAM_ENABLED) && (p->Param & PARAM_DEFAULT);
  }
  // A locked profile keeps its string limit, transliteration and current box usable.
  for (int id : {IDC_NAME, IDC_FILE, IDC_SIZE_LIMIT, IDC_FORMAT, IDC_FOLDER, IDC_DESC, IDC_CODEPAGE,
                 IDC_ENABLED, IDC_DELETE})
    EnableControl(Control(id), editable);
  EnableControl(Control(IDC_STRING_LIMIT), valid);
  EnableControl(Box(IDC_TRANSLIT), valid);
  EnableControl(Box(IDC_DEFAULT), valid && !current);
  EnableControl(Box(IDC_LOCKED), false);
}

bool CDlgExport::Apply() {
  ExportProfile* p = Pane(0).Item<ExportProfile>(Pane(0).shown);
  if (!p) return true;
  // The limits are read first: one that is no number in its range stops the whole apply. A
  // limit left as shown keeps its value, also one out of range that came from the file.
  std::int32_t limits[std::size(kLimits)];
  for (std::size_t i = 0; i < std::size(kLimits); ++i) {
    const LimitField& l = kLimits[i];
    limits[i] = p->*l.value;
    QWidget* field = Control(l.id);
    if (!IsControlEnabled(field)) continue;
    const std::optional<std::int64_t> typed = WholeFromText(ControlText(field, 63));
    if (typed && *typed == static_cast<std::uint32_t>(limits[i])) continue;
    const std::optional<std::int64_t> value = WholeField(l.id, l.labelId, 0, kMaxLimit);
    if (!value) return false;
    limits[i] = static_cast<std::int32_t>(*value);
  }
  // Fields shown disabled (a locked profile) are not written back.
  for (std::size_t i = 0; i < std::size(kLimits); ++i) p->*kLimits[i].value = limits[i];
  for (const TextField& t : kTexts)
    if (IsControlEnabled(Control(t.id)))
      SetText(t.field(*p), t.capacity, ControlText(Control(t.id), t.capacity - 2));
  // A code page the box does not offer (a hand-edited file) shows as no choice and is kept.
  QComboBox* box = CodepageBox();
  if (IsControlEnabled(box) && ComboSelection(box) >= 0)
    p->Codepage = static_cast<std::int32_t>(ComboItemData(box, ComboSelection(box)));
  const std::span<ExportProfile> all = paramStore->Profiles();
  if (IsControlEnabled(Box(IDC_ENABLED))) {
    if (IsChecked(Box(IDC_ENABLED)))
      p->Param |= PARAM_ENABLED;
    else
      DisableItem(all, *p);
  }
  if ((p->Param & PARAM_ENABLED) && IsChecked(Box(IDC_DEFAULT))) MakeCurrentFromEditor(all, *p);
  if (IsControlEnabled(Box(IDC_TRANSLIT))) p->Translit = IsChecked(Box(IDC_TRANSLIT)) ? 1 : 0;
  Fill(p->ID);
  return true;
}

void CDlgExport::Add(std::size_t) {
  if (ExportProfile* p = paramStore->AddProfile()) Fill(p->ID);
}

void CDlgExport::Delete(std::size_t) {
  if (Synchronise()) return;
  ExportProfile* p = Pane(0).Item<ExportProfile>(Pane(0).shown);
  if (!p || (p->Param & PARAM_LOCKED)) return;
  DeleteItem(paramStore->Profiles(), *p);
  Fill(0);
}

}  // namespace tarvik
