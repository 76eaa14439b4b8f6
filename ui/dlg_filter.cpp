#include "ui/dlg_filter.h"

#include "core/text.h"
#include "resources/string_ids.h"
#include "ui/framework/dlg_controls.h"
#include "ui/framework/field_values.h"

namespace tarvik {
namespace {

constexpr ListColumn kColumns[] = {{STR_COLUMN_MARK, 30}, {STR_COLUMN_NAME, -100}};
constexpr ListPaneDef kPanes[] = {
    {CDlgFilter::IDC_AREA_LIST, CDlgFilter::IDC_ADD, CDlgFilter::IDC_DELETE, kColumns}};

// The corner fields, with their labels and corners as the dialog shows them.
struct Corner {
  int id;
  double FilterArea::*value;
  std::uint32_t cornerId;
  std::uint32_t labelId;
};
constexpr Corner kCorners[] = {
    {CDlgFilter::IDC_AX, &FilterArea::AX, STR_CORNER_NW, STR_LONGITUDE},
    {CDlgFilter::IDC_AY, &FilterArea::AY, STR_CORNER_NW, STR_LATITUDE},
    {CDlgFilter::IDC_CX, &FilterArea::CX, STR_CORNER_SE, STR_LONGITUDE},
    {CDlgFilter::IDC_CY, &FilterArea::CY, STR_CORNER_SE, STR_LATITUDE},
};

// Images of the list: enabled, disabled, enabled and locked.
int AreaImage(const FilterArea& a) {
  if (!(a.Param & PARAM_ENABLED)) return 1;
  return (a.Param & PARAM_LOCKED) ? 2 : 0;
}

}  // namespace

CDlgFilter::CDlgFilter() : CDlgListDetail({kPanes, IDC_SAVE, {}}) {}

void CDlgFilter::Start(DlgWindow*) {
  Fill(0);
}

void CDlgFilter::Fill(std::uint64_t id) {
  ListPane& pane = Pane(0);
  pane.Clear();
  for (FilterArea& a : paramStore->Filters())
    if (!IsDeleted(a)) pane.Append(&a, AreaImage(a), {FieldText(a.Name)});
  ListSort sort{pane.List(), pane.Ctl(), 1, /*ascending=*/1, /*numeric=*/0};
  SortRows(sort);
  // Found after sorting, which moves the rows.
  const int row = pane.RowOf<FilterArea>(id);
  pane.Select(row);
  ShowPane(0, row);
}

void CDlgFilter::ShowRow(std::size_t, int row) {
  for (int id : {IDC_NAME, IDC_AX, IDC_AY, IDC_CX, IDC_CY}) SetControlText(Field(id), u"");
  SetChecked(Box(IDC_ENABLED), false);
  SetChecked(Box(IDC_LOCKED), false);
  bool editable = row >= 0;
  if (const FilterArea* a = Pane(0).Item<FilterArea>(row)) {
    SetControlText(Field(IDC_NAME), FieldText(a->Name));
    SetChecked(Box(IDC_ENABLED), a->Param & PARAM_ENABLED);
    SetChecked(Box(IDC_LOCKED), a->Param & PARAM_LOCKED);
    for (const Corner& c : kCorners) SetControlText(Field(c.id), FixedText(a->*c.value));
    editable = !(a->Param & PARAM_LOCKED);
  }
  for (int id : {IDC_NAME, IDC_AX, IDC_AY, IDC_CX, IDC_CY, IDC_ENABLED, IDC_DELETE})
    EnableControl(Control(id), editable);
  EnableControl(Box(IDC_LOCKED), false);
}

bool CDlgFilter::Apply() {
  FilterArea* a = Pane(0).Item<FilterArea>(Pane(0).shown);
  if (!a) return true;
  // Every corner is read before anything is stored: one that holds no number stops the
  // whole apply. Fields shown disabled (a locked area) are not written back at all, so such
  // an area keeps its corners to the last bit.
  double corners[4];
  bool write[4] = {};
  for (std::size_t i = 0; i < 4; ++i) {
    QLineEdit* field = Field(kCorners[i].id);
    if (!IsControlEnabled(field)) continue;
    const std::optional<double> value = DecimalFromText(ControlText(field, 31));
    if (!value) {
      Refuse(field, StrLoad(STR_NOT_A_NUMBER, StrLoad(kCorners[i].labelId),
                            StrLoad(kCorners[i].cornerId)));
      return false;
    }
    corners[i] = *value;
    write[i] = true;
  }
  if (IsControlEnabled(Field(IDC_NAME))) SetText(a->Name, ControlText(Field(IDC_NAME), 63));
  const auto setBit = [a](QCheckBox* box, std::uint8_t bit) {
    if (!IsControlEnabled(box)) return;
    if (IsChecked(box))
      a->Param |= bit;
    else
      a->Param &= static_cast<std::uint8_t>(~bit);
  };
  setBit(Box(IDC_ENABLED), PARAM_ENABLED);
  setBit(Box(IDC_LOCKED), PARAM_LOCKED);
  for (std::size_t i = 0; i < 4; ++i)
    if (write[i]) a->*kCorners[i].value = corners[i];
  Fill(a->ID);
  return true;
}

void CDlgFilter::Add(std::size_t) {
  if (FilterArea* a = paramStore->AddFilter()) Fill(a->ID);
}

void CDlgFilter::Delete(std::size_t) {
  if (Synchronise()) return;
  FilterArea* a = Pane(0).Item<FilterArea>(Pane(0).shown);
  if (!a || (a->Param & PARAM_LOCKED)) return;
  MarkDeleted(*a);
  Fill(0);
}

}  // namespace tarvik
