#pragma once
// What a map picture shows over its base layer: the degree grid with its labels, the city
// names, the areas with their names, the legend and the scale bar. Drawn through a small canvas
// interface, so that the window (Qt's painter) and the command line (map/raster_canvas) draw the
// same picture.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "map/map_raster.h"
#include "map/map_view.h"

namespace tarvik {

class CityList;
struct City;

namespace map_colors {
constexpr Argb kGrid = 0xFFD3CEC3;
constexpr Argb kGridText = 0xFF6B665C;
constexpr Argb kArea = 0xFFC0392B;          // enabled
constexpr Argb kAreaDisabled = 0xFF707070;  // disabled, dashed
constexpr Argb kAreaHighlight = 0xFFE67E22;
constexpr Argb kText = 0xFF202020;
constexpr Argb kPlate = 0xD8FFFFFF;  // behind texts: white, slightly see-through
constexpr Argb kCity = 0xFF3A3A3A;
}  // namespace map_colors

class MapCanvas {
 public:
  virtual ~MapCanvas() = default;
  // A filled rectangle; the colour's alpha blends it over what is there.
  virtual void FillRect(int x, int y, int w, int h, Argb color) = 0;
  // The outline of a rectangle, `thickness` pixels wide inside its edges, solid or dashed.
  virtual void Frame(int x, int y, int w, int h, Argb color, int thickness, bool dashed) = 0;
  // Text on one line; (x, y) is the top left of the line.
  virtual void Text(int x, int y, std::u16string_view text, Argb color) = 0;
  virtual int TextWidth(std::u16string_view text) = 0;
  virtual int LineHeight() = 0;
  // The lock sign of a locked area, `size` pixels square, top left at (x, y).
  virtual void Lock(int x, int y, int size) = 0;
};

// An area as the map shows it.
struct MapAreaMark {
  double ax = 0, ay = 0, cx = 0, cy = 0;
  std::u16string_view name;
  std::uint8_t param = 0;  // PARAM_ENABLED, PARAM_LOCKED
  bool highlight = false;  // under the mouse, or being drawn or reshaped
};

struct LegendEntry {
  Argb color = 0;
  std::u16string text;
};

struct MapOverlay {
  std::span<const MapAreaMark> areas;
  // Dot pictures: one entry per colour in view. Density pictures: the ramp instead.
  std::span<const LegendEntry> legend;
  DensityStats stats;
  // Named as far as they fit; may be null.
  const CityList* cities = nullptr;
  // A line at the top of the picture (what the map lacks); may be empty.
  std::u16string_view note;
};

// The pixel rectangle of an area's corners in the view, cut to a little beyond the picture
// so that it can be drawn with integers.
struct PixelBox {
  int left = 0, top = 0, right = 0, bottom = 0;  // right and bottom inclusive
};
PixelBox AreaPixels(const MapView& view, double ax, double ay, double cx, double cy);

// The plates of a label, right and bottom exclusive.
struct LabelBox {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool Overlaps(const LabelBox& o) const {
    return left < o.right && o.left < right && top < o.bottom && o.top < bottom;
  }
};
// A city's label: its dot and the plate of its name.
struct CityLabel {
  const City* city = nullptr;
  int dotX = 0, dotY = 0;  // the city's pixel
  int textX = 0;           // where the name starts
  LabelBox box;            // the plate and the dot
};
// The labels of the cities in view: the most populous first, down to a population that falls
// as the view zooms in, each to the right of its dot or else to the left, where it overlaps no
// label placed before it and none of `avoid` (the areas' names). Texts are measured with
// `canvas`.
std::vector<CityLabel> PlaceCityLabels(MapCanvas& canvas, const MapView& view,
                                       const CityList& cities,
                                       std::span<const LabelBox> avoid = {});

void DrawMapOverlay(MapCanvas& canvas, const MapView& view, const MapOverlay& overlay);

}  // namespace tarvik
