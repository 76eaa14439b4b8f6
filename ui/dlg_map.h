#pragma once
// The map window: the loaded POIs and the areas over them, a new area drawn with the mouse,
// an unlocked area reshaped by its edges and corners. Its edits stay in the window until OK,
// which writes them into the parameter store (a new area exactly as the filter editor adds
// one); Cancel drops them. Holds the parameter store while open, as the editors do, and
// reads the POI store only with a try-acquire.
#include <cstdint>

#include "ui/framework/list_detail.h"
#include "ui/framework/tracked_object.h"

namespace tarvik {

class CPoiStore;
class ControlLayout;
class MapWidget;

class CDlgMap : public CDlgParams {
 public:
  CDlgMap();
  ~CDlgMap() override;

  CPoiStore* poiStore = nullptr;

  enum : int {
    IDC_MAP = 1100,
    IDC_SHOW_ALL = 1101,
    IDC_NEW_AREA = 1102,
    IDC_X = 1104,
    IDC_Y = 1106,
  };

  void OnInitDialog(DlgWindow* window, const DlgStart& start, DlgParam param) override;
  void OnCommand(DlgWindow* window, const DlgCommand& command, DlgParam param) override;
  void OnSize(DlgWindow* window, const DlgSize& size, DlgParam param) override;
  void OnDestroy(DlgWindow* window, DlgParam param) override;

  // The map while the window is shown.
  MapWidget* Map() const;

 private:
  // The map's edits into the store: reshaped areas first, then the new ones added.
  void Apply();

  TrackedObject<ControlLayout> layout_;
};

}  // namespace tarvik
