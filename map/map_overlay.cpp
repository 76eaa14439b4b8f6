#include "map/map_overlay.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "core/text.h"
#include "map/cities.h"
#include "params/param_store.h"
#include "resources/string_ids.h"

namespace tarvik {
namespace {

constexpr int kPad = 3;        // around texts on their plates
constexpr int kGridMinX = 90;  // pixels between grid lines, at least
constexpr int kGridMinY = 60;
constexpr int kMaxGridLines = 400;
constexpr int kRampWidth = 140;
constexpr int kCityDot = 4;  // pixels square
constexpr int kCityGap = 4;  // between a city's pixel and the plate of its name
constexpr std::size_t kMaxCityLabels = 200;
// The least population named is this divided by the scale (pixels per degree), and never
// below the list's own 15,000: about 5 million for the earth in 1600 pixels, 100,000 for a
// country of 10 degrees.
constexpr double kPopulationPerScale = 2.2e7;

// Where a coordinate of the view lands, kept to a little beyond the picture.
int ClampPixel(double v, int size) {
  if (!(v == v)) return -16;
  return static_cast<int>(std::floor(std::clamp(v, -16.0, size + 16.0)));
}

void Label(MapCanvas& c, int x, int y, std::u16string_view text, Argb color) {
  c.FillRect(x - kPad, y - 1, c.TextWidth(text) + 2 * kPad, c.LineHeight() + 2, map_colors::kPlate);
  c.Text(x, y, text, color);
}

std::u16string Degrees(double value, int decimals) {
  if (std::fabs(value) < 1e-12) value = 0;  // no "-0"
  return StrLoad(STR_MAP_DEGREES, decimals, value);
}

// Positions of the grid lines of one axis: first value and step, with count lines.
struct Lines {
  double first = 0, step = 1;
  int count = 0;
};
Lines GridLines(double lo, double hi, double step) {
  Lines l;
  l.step = step;
  l.first = std::ceil(lo / step) * step;
  const double n = std::floor((hi - l.first) / step) + 1;
  l.count = n > 0 ? static_cast<int>(std::min<double>(n, kMaxGridLines)) : 0;
  return l;
}

void DrawGrid(MapCanvas& c, const MapView& v) {
  const GeoBox b = v.Bounds();
  const Lines xs = GridLines(b.west, b.east, NiceDegreeStep(kGridMinX / v.PixelsPerDegreeX()));
  const Lines ys = GridLines(b.south, b.north, NiceDegreeStep(kGridMinY / v.scale));
  for (int i = 0; i < xs.count; ++i) {
    const int px = ClampPixel(v.ToPixel({xs.first + i * xs.step, 0}).x, v.width);
    c.FillRect(px, 0, 1, v.height, map_colors::kGrid);
  }
  for (int i = 0; i < ys.count; ++i) {
    const int py = ClampPixel(v.ToPixel({0, ys.first + i * ys.step}).y, v.height);
    c.FillRect(0, py, v.width, 1, map_colors::kGrid);
  }
}

// Latitude labels stop above `bottom` (the legend's top), where the legend would cut them.
void DrawGridLabels(MapCanvas& c, const MapView& v, int bottom) {
  const GeoBox b = v.Bounds();
  const double xStep = NiceDegreeStep(kGridMinX / v.PixelsPerDegreeX());
  const double yStep = NiceDegreeStep(kGridMinY / v.scale);
  const Lines xs = GridLines(b.west, b.east, xStep);
  const Lines ys = GridLines(b.south, b.north, yStep);
  const int line = c.LineHeight();
  for (int i = 0; i < xs.count; ++i) {
    const double x = xs.first + i * xs.step;
    const int px = ClampPixel(v.ToPixel({x, 0}).x, v.width);
    Label(c, px + kPad + 1, 2, Degrees(x, StepDecimals(xStep)), map_colors::kGridText);
  }
  for (int i = 0; i < ys.count; ++i) {
    const double y = ys.first + i * ys.step;
    const int py = ClampPixel(v.ToPixel({0, y}).y, v.height);
    if (py < line + 6) continue;  // the row of the longitudes
    if (py + line + 4 > bottom) continue;
    Label(c, kPad + 1, py + 2, Degrees(y, StepDecimals(yStep)), map_colors::kGridText);
  }
}

// Where an area's name goes, with its lock: the top left of the first of them and the box of
// their plates. Named at its top left corner, when that is in the picture (else the tooltip
// names it): above the corner, leaving the POIs inside in sight; inside it where there is no
// room above (below the row of the longitudes).
struct AreaName {
  int x = 0, y = 0;
  LabelBox box;
};
std::optional<AreaName> PlaceAreaName(MapCanvas& c, const MapView& v, const MapAreaMark& a) {
  const PixelBox p = AreaPixels(v, a.ax, a.ay, a.cx, a.cy);
  if (p.left < 0 || p.top < 0 || p.left >= v.width || p.top >= v.height) return std::nullopt;
  const int line = c.LineHeight();
  AreaName n;
  n.x = p.left + kPad;
  n.y = p.top - line - 3;
  if (n.y < line + 6) n.y = std::max(p.top, line + 6) + 5;
  int width = 0;
  if (a.param & PARAM_LOCKED) width += line + 2;
  if (!a.name.empty()) width += c.TextWidth(a.name) + kPad;
  n.box = {n.x - kPad, n.y - 1, n.x + width + kPad, n.y + line + 1};
  return n;
}

// The cities' names, where the areas' names leave room.
void DrawCities(MapCanvas& c, const MapView& v, const CityList& cities,
                std::span<const MapAreaMark> areas) {
  std::vector<LabelBox> names;
  for (const MapAreaMark& a : areas)
    if (const std::optional<AreaName> n = PlaceAreaName(c, v, a)) names.push_back(n->box);
  const std::vector<CityLabel> labels = PlaceCityLabels(c, v, cities, names);
  constexpr int half = kCityDot / 2;
  for (const CityLabel& l : labels)
    c.FillRect(l.dotX - half, l.dotY - half, kCityDot, kCityDot, map_colors::kCity);
  for (const CityLabel& l : labels)
    Label(c, l.textX, l.box.top + 1, cities.Name(*l.city), map_colors::kCity);
}

void DrawNote(MapCanvas& c, const MapView& v, std::u16string_view note) {
  const int x = std::max(kPad + 1, (v.width - c.TextWidth(note)) / 2);
  Label(c, x, c.LineHeight() + 8, note, map_colors::kText);
}

void DrawAreas(MapCanvas& c, const MapView& v, std::span<const MapAreaMark> areas) {
  // Outlines first, names over them all.
  for (const MapAreaMark& a : areas) {
    const PixelBox p = AreaPixels(v, a.ax, a.ay, a.cx, a.cy);
    if (p.right < 0 || p.bottom < 0 || p.left >= v.width || p.top >= v.height) continue;
    const bool enabled = a.param & PARAM_ENABLED;
    const Argb color = a.highlight ? map_colors::kAreaHighlight
                       : enabled   ? map_colors::kArea
                                   : map_colors::kAreaDisabled;
    const int thickness = (enabled ? 2 : 1) + (a.highlight ? 1 : 0);
    c.Frame(p.left, p.top, p.right - p.left + 1, p.bottom - p.top + 1, color, thickness, !enabled);
  }
  const int line = c.LineHeight();
  for (const MapAreaMark& a : areas) {
    const std::optional<AreaName> n = PlaceAreaName(c, v, a);
    if (!n) continue;
    int x = n->x;
    const int y = n->y;
    if (a.param & PARAM_LOCKED) {
      c.FillRect(x - kPad, y - 1, line + kPad, line + 2, map_colors::kPlate);
      c.Lock(x, y, line);
      x += line + 2;
    }
    if (!a.name.empty()) Label(c, x, y, a.name, map_colors::kText);
  }
}

// The legend at the bottom left; its top row in pixels (the picture's height when none).
int DrawLegend(MapCanvas& c, const MapView& v, const MapOverlay& o) {
  const int line = c.LineHeight();
  const int row = line + 2;
  const std::u16string inView = StrLoad(STR_MAP_IN_VIEW, o.stats.inView);
  int width = c.TextWidth(inView);
  int rows = 1;
  std::size_t shown = 0;
  std::u16string density;
  if (o.stats.dots) {
    // As many entries as fit above the bottom margin, below the longitude labels.
    const int room = std::max(0, (v.height - 2 * line - 24) / row - 1);
    shown = std::min<std::size_t>(o.legend.size(), static_cast<std::size_t>(room));
    for (std::size_t i = 0; i < shown; ++i)
      width = std::max(width, line + 4 + c.TextWidth(o.legend[i].text));
    rows += static_cast<int>(shown);
  } else {
    density = StrLoad(STR_MAP_DENSITY);
    width = std::max({width, c.TextWidth(density), kRampWidth});
    rows += 3;  // caption, ramp, its two ends
  }
  const int boxW = width + 4 * kPad, boxH = rows * row + 2 * kPad;
  const int x0 = 8, y0 = v.height - 8 - boxH;
  if (y0 < 0) return v.height;
  c.FillRect(x0, y0, boxW, boxH, map_colors::kPlate);
  int x = x0 + 2 * kPad, y = y0 + kPad + 1;
  c.Text(x, y, inView, map_colors::kText);
  y += row;
  if (o.stats.dots) {
    for (std::size_t i = 0; i < shown; ++i, y += row) {
      const int s = line - 4;
      c.FillRect(x, y + 2, s, s, o.legend[i].color);
      c.Text(x + line + 4, y, o.legend[i].text, map_colors::kText);
    }
    return y0;
  }
  c.Text(x, y, density, map_colors::kText);
  y += row;
  for (int i = 0; i < kRampWidth; ++i)
    c.FillRect(x + i, y + 2, 1, line - 4, DensityColor(static_cast<double>(i + 1) / kRampWidth));
  y += row;
  const std::u16string least = u"1";
  std::u16string most;
  const FmtArg args[] = {o.stats.maxPerPixel};
  FormatAppend(most, u"%u", args);
  c.Text(x, y, least, map_colors::kText);
  c.Text(x + kRampWidth - c.TextWidth(most), y, most, map_colors::kText);
  return y0;
}

void DrawScaleBar(MapCanvas& c, const MapView& v) {
  const ScaleBar bar = ChooseScaleBar(v);
  const int length = static_cast<int>(std::lround(bar.pixels));
  if (!(bar.km > 0) || length <= 0 || length > v.width / 2) return;
  const std::u16string text =
      bar.km >= 1 ? StrLoad(STR_MAP_KM, bar.km) : StrLoad(STR_MAP_M, bar.km * 1000);
  const int line = c.LineHeight();
  const int x1 = v.width - 12, x0 = x1 - length;
  const int y = v.height - 12;
  const int textW = c.TextWidth(text);
  c.FillRect(x0 - kPad - 2, y - line - 2 * kPad - 4, length + 2 * kPad + 4, line + 2 * kPad + 10,
             map_colors::kPlate);
  c.Text(x0 + (length - textW) / 2, y - line - kPad, text, map_colors::kText);
  c.FillRect(x0, y, length, 3, map_colors::kText);
  c.FillRect(x0, y - 4, 2, 7, map_colors::kText);
  c.FillRect(x1 - 2, y - 4, 2, 7, map_colors::kText);
}

}  // namespace

std::vector<CityLabel> PlaceCityLabels(MapCanvas& canvas, const MapView& view,
                                       const CityList& cities, std::span<const LabelBox> avoid) {
  std::vector<CityLabel> placed;
  if (view.width <= 0 || view.height <= 0) return placed;
  const double least = std::max(15000.0, kPopulationPerScale / view.scale);
  const int line = canvas.LineHeight();
  constexpr int half = kCityDot / 2;
  auto free = [&placed, avoid](const LabelBox& box) {
    return std::none_of(placed.begin(), placed.end(),
                        [&box](const CityLabel& p) { return p.box.Overlaps(box); }) &&
           std::none_of(avoid.begin(), avoid.end(),
                        [&box](const LabelBox& a) { return a.Overlaps(box); });
  };
  for (const City& city : cities.Cities()) {
    if (city.population < least || placed.size() >= kMaxCityLabels) break;
    const PixelPoint p = view.ToPixel({city.x, city.y});
    if (!(p.x >= 0 && p.x < view.width && p.y >= 0 && p.y < view.height)) continue;
    CityLabel l;
    l.city = &city;
    l.dotX = static_cast<int>(p.x);
    l.dotY = static_cast<int>(p.y);
    const int plate = canvas.TextWidth(cities.Name(city)) + 2 * kPad;
    LabelBox& b = l.box;
    b.top = l.dotY - line / 2 - 1;
    b.bottom = b.top + line + 2;
    if (b.top < 0 || b.bottom > view.height) continue;
    // To the right of the dot, else to the left; the box holds the dot too.
    b.left = l.dotX - half;
    b.right = l.dotX + half + kCityGap + plate;
    l.textX = b.right - plate + kPad;
    if (b.right > view.width || !free(b)) {
      b.left = l.dotX - half - kCityGap - plate;
      b.right = l.dotX + half;
      l.textX = b.left + kPad;
      if (b.left < 0 || !free(b)) continue;
    }
    placed.push_back(l);
  }
  return placed;
}

PixelBox AreaPixels(const MapView& view, double ax, double ay, double cx, double cy) {
  const PixelPoint a = view.ToPixel({std::min(ax, cx), std::max(ay, cy)});
  const PixelPoint b = view.ToPixel({std::max(ax, cx), std::min(ay, cy)});
  return {ClampPixel(a.x, view.width), ClampPixel(a.y, view.height), ClampPixel(b.x, view.width),
          ClampPixel(b.y, view.height)};
}

void DrawMapOverlay(MapCanvas& canvas, const MapView& view, const MapOverlay& overlay) {
  if (view.width <= 0 || view.height <= 0) return;
  DrawGrid(canvas, view);
  if (overlay.cities) DrawCities(canvas, view, *overlay.cities, overlay.areas);
  DrawAreas(canvas, view, overlay.areas);
  const int legendTop = DrawLegend(canvas, view, overlay);
  DrawGridLabels(canvas, view, legendTop);
  DrawScaleBar(canvas, view);
  if (!overlay.note.empty()) DrawNote(canvas, view, overlay.note);
}

}  // namespace tarvik
