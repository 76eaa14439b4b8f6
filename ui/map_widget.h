#pragma once
// The picture of the map window: the loaded POIs over the geography (coastlines, borders, city
// names; map/base_map.h), the areas over them, and the mouse. The
// wheel zooms at the cursor, a drag moves the map, a drag with Shift (or in draw mode) draws
// a new area, and an unlocked area's edges and corners can be dragged.
//
// Frames of the POIs are rendered on a thread of the widget's own, which reads the POI store
// only with a try-acquire. The window waits for a frame at most one frame time, and only
// while frames come that fast; otherwise it goes on showing the last frame moved and scaled
// to the new view until the new one arrives.
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "map/map_edit.h"
#include "map/map_scene.h"

namespace tarvik {

class CPoiStore;

// An area while the map window edits it.
struct MapArea {
  AreaCorners corners;
  AreaCorners original;  // as the store has it
  std::u16string name;
  std::uint8_t param = 0;
  std::uint64_t id = 0;                // 0: drawn here, not in the store yet
  int storeIndex = -1;                 // in the store's filters; -1: drawn here
  std::optional<std::uint32_t> count;  // as the main window lists it, once counted
};

class MapWidget : public QWidget {
  Q_OBJECT

 public:
  MapWidget(CAppContext* context, QWidget* parent);
  ~MapWidget() override;

  // What is drawn: the POIs of `store` and the legend types of `schema`.
  void SetSource(CPoiStore* store, MapSchema schema);
  std::vector<MapArea>& Areas() { return areas_; }
  const std::vector<MapArea>& Areas() const { return areas_; }

  const MapView& View() const { return view_; }
  // The view, sized to the widget.
  void SetView(const MapView& view);
  // Fits the POIs, or the enabled areas when none are loaded, or the earth; as soon as the
  // POI store can be read.
  void ShowAll();
  // Coastlines, borders and city names under the POIs (on at first).
  void SetBaseMap(bool on);

  void SetDrawMode(bool on);
  bool DrawMode() const { return drawMode_; }

  // The longitude and latitude under the mouse; nothing when it left.
  std::function<void(std::optional<GeoPoint>)> onCursor;
  // The name of a drawn area; nothing drops the area.
  std::function<std::optional<std::u16string>()> askName;
  // Draw mode ended after an area was drawn.
  std::function<void()> onDrawModeEnded;

  // The frame on show: its view and statistics, how long it took, how many frames came.
  struct FrameInfo {
    MapView view;
    DensityStats stats;
    double ms = 0;
    double cpuMs = 0;  // the CPU time of the render thread for it
    unsigned frames = 0;
    bool current = false;  // made for the view on show
  };
  FrameInfo LastFrame() const;
  // Stops the render thread; no frame comes after.
  void Stop();

  class TextCache;

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void leaveEvent(QEvent* e) override;
  bool event(QEvent* e) override;

 private:
  class Frames;
  enum class Drag { None, Pan, Draw, Reshape };

  void RequestFrame();
  void TakeFrame();
  void RetryLater(bool fit);
  void TryFit();
  // The area under `p` and the part of it: an edge or corner of the top-most area first,
  // else the smallest area that holds the point; -1 for none.
  int AreaAt(PixelPoint p, AreaPart& part) const;
  void UpdateCursor(PixelPoint p, Qt::KeyboardModifiers modifiers);
  std::optional<std::uint32_t> CountOf(MapArea& area);
  std::u16string TipOf(MapArea& area);
  void FinishDrawing();

  CAppContext* context_;
  CPoiStore* store_ = nullptr;
  MapSchema schema_;
  std::vector<MapArea> areas_;
  MapView view_;
  std::unique_ptr<Frames> frames_;
  std::unique_ptr<TextCache> texts_;
  std::vector<LegendEntry> legend_;  // of the frame on show
  bool fitPending_ = false;
  bool retryScheduled_ = false;
  bool retryFit_ = false;
  bool drawMode_ = false;

  Drag drag_ = Drag::None;
  GeoPoint grabbed_;  // panning: the point that stays under the mouse
  GeoPoint drawFrom_, drawTo_;
  int reshaped_ = -1;
  AreaPart reshapedPart_ = AreaPart::None;
  int hover_ = -1;
};

}  // namespace tarvik
