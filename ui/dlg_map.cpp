#include "ui/dlg_map.h"

#include "core/text.h"
#include "map/map_scene.h"
#include "params/param_store.h"
#include "resources/string_ids.h"
#include "ui/framework/control_layout.h"
#include "ui/framework/dlg_controls.h"
#include "ui/framework/field_values.h"
#include "ui/main_prompts.h"
#include "ui/map_widget.h"

namespace tarvik {
namespace {

// Where the map lies in the template, in dialog units.
constexpr int kMapRect[4] = {6, 26, 628, 346};
constexpr int kNameChars = static_cast<int>(NAME_CAPACITY) - 2;

}  // namespace

CDlgMap::CDlgMap() = default;
CDlgMap::~CDlgMap() = default;

MapWidget* CDlgMap::Map() const {
  return Control<MapWidget>(IDC_MAP);
}

void CDlgMap::OnInitDialog(DlgWindow* window, const DlgStart&, DlgParam param) {
  if (!Open(window, param)) return;
  auto* map = new MapWidget(context, window->Client());  // owned by the window
  window->AddItem(IDC_MAP, map);
  map->setGeometry(window->UnitsRect(kMapRect[0], kMapRect[1], kMapRect[2], kMapRect[3]));
  map->show();

  layout_ = MakeTracked<ControlLayout>(context, context, window->Client());
  if (layout_) {
    constexpr std::uint16_t kTopLeft = LAYOUT_LEFT_FIXED | LAYOUT_TOP_FIXED | LAYOUT_CLIENT_COORDS;
    for (int id : {int{IDC_SHOW_ALL}, int{IDC_NEW_AREA}, 1103, int{IDC_X}, 1105, int{IDC_Y}})
      layout_->RegisterControl(Control(id), kTopLeft);
    layout_->RegisterControl(map, kTopLeft | LAYOUT_WIDTH_ALL | LAYOUT_HEIGHT_ALL);
    layout_->RegisterControl(Control(1107),
                             LAYOUT_LEFT_FIXED | LAYOUT_WIDTH_ALL | LAYOUT_CLIENT_COORDS);
    for (int id : {int{IDOK}, int{IDCANCEL}})
      layout_->RegisterControl(Control(id), LAYOUT_CLIENT_COORDS);
  }

  // The areas as they are now, every one not deleted.
  const std::span<FilterArea> filters = paramStore->Filters();
  for (std::size_t i = 0; i < filters.size(); ++i) {
    const FilterArea& f = filters[i];
    if (IsDeleted(f)) continue;
    MapArea a;
    a.corners = a.original = {f.AX, f.AY, f.CX, f.CY};
    a.name = FieldText(f.Name);
    a.param = f.Param;
    a.id = f.ID;
    a.storeIndex = static_cast<int>(i);
    map->Areas().push_back(std::move(a));
  }
  map->onCursor = [this](std::optional<GeoPoint> g) {
    SetControlText(Control(IDC_X), g ? FixedText(g->x) : std::u16string());
    SetControlText(Control(IDC_Y), g ? FixedText(g->y) : std::u16string());
  };
  map->askName = [this]() -> std::optional<std::u16string> {
    const std::u16string title = StrLoad(STR_MAP_NEW_AREA), label = StrLoad(STR_MAP_NAME_PROMPT);
    const std::u16string name = StrLoad(STR_NEW_ITEM);
    return Prompts().AskText(hwnd, title, label, name, kNameChars);
  };
  map->onDrawModeEnded = [this] { SetChecked(Control(IDC_NEW_AREA), false); };
  map->SetSource(poiStore, SchemaOfMap(*paramStore));
  map->ShowAll();
}

void CDlgMap::OnCommand(DlgWindow* window, const DlgCommand& command, DlgParam) {
  if (!context) return;
  MapWidget* map = Map();
  switch (command.id) {
    case IDOK:
      if (Holding()) Apply();
      PostEndMessage(window, IDOK);
      break;
    case IDCANCEL:
      PostEndMessage(window, IDCANCEL);
      break;
    case IDC_SHOW_ALL:
      if (map) map->ShowAll();
      break;
    case IDC_NEW_AREA:
      if (map) map->SetDrawMode(IsChecked(Control(IDC_NEW_AREA)));
      break;
    default:
      break;
  }
}

void CDlgMap::Apply() {
  MapWidget* map = Map();
  if (!map) return;
  // Reshaped areas by their place in the store, before any add can move the array.
  const std::span<FilterArea> filters = paramStore->Filters();
  for (const MapArea& a : map->Areas()) {
    if (a.storeIndex < 0 || a.corners == a.original) continue;
    if (static_cast<std::size_t>(a.storeIndex) >= filters.size()) continue;
    FilterArea& f = filters[static_cast<std::size_t>(a.storeIndex)];
    if (f.ID != a.id || (f.Param & PARAM_LOCKED)) continue;
    f.AX = a.corners.AX;
    f.AY = a.corners.AY;
    f.CX = a.corners.CX;
    f.CY = a.corners.CY;
  }
  for (const MapArea& a : map->Areas()) {
    if (a.storeIndex >= 0) continue;
    FilterArea* f = paramStore->AddFilter();
    if (!f) break;
    SetText(f->Name, a.name);
    f->AX = a.corners.AX;
    f->AY = a.corners.AY;
    f->CX = a.corners.CX;
    f->CY = a.corners.CY;
  }
}

void CDlgMap::OnSize(DlgWindow* window, const DlgSize& size, DlgParam) {
  if (!window || size.kind == SizeKind::Minimized || !window->isVisible()) return;
  if (layout_) layout_->ApplyLayout(size.width, size.height);
}

void CDlgMap::OnDestroy(DlgWindow* window, DlgParam param) {
  // No frame is rendered once the window goes.
  if (MapWidget* map = Map()) map->Stop();
  layout_.reset();
  CDlgParams::OnDestroy(window, param);
}

}  // namespace tarvik
