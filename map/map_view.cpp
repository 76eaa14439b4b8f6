#include "map/map_view.h"

#include <algorithm>
#include <cmath>

namespace tarvik {
namespace {

constexpr double kDegree = 3.14159265358979323846 / 180.0;
constexpr double kMaxLatitude = 85.0;
const double kMinAspect = std::cos(kMaxLatitude * kDegree);

}  // namespace

void GeoBox::Add(double x, double y) {
  if (!std::isfinite(x) || !std::isfinite(y)) return;
  if (empty) {
    west = east = x;
    south = north = y;
    empty = false;
    return;
  }
  west = std::min(west, x);
  east = std::max(east, x);
  south = std::min(south, y);
  north = std::max(north, y);
}

void GeoBox::Add(const GeoBox& other) {
  if (other.empty) return;
  Add(other.west, other.south);
  Add(other.east, other.north);
}

double MapView::Aspect() const {
  return std::max(std::cos(aspectLatitude.value_or(centerY) * kDegree), kMinAspect);
}

PixelPoint MapView::ToPixel(GeoPoint g) const {
  return {width * 0.5 + (g.x - centerX) * PixelsPerDegreeX(),
          height * 0.5 - (g.y - centerY) * scale};
}

GeoPoint MapView::ToGeo(PixelPoint p) const {
  return {centerX + (p.x - width * 0.5) / PixelsPerDegreeX(),
          centerY - (p.y - height * 0.5) / scale};
}

GeoBox MapView::Bounds() const {
  GeoBox box;
  const GeoPoint nw = ToGeo({0, 0});
  const GeoPoint se = ToGeo({static_cast<double>(width), static_cast<double>(height)});
  box.Add(nw.x, nw.y);
  box.Add(se.x, se.y);
  return box;
}

MapView Clamped(MapView view) {
  if (!std::isfinite(view.scale)) view.scale = kMinScale;
  view.scale = std::clamp(view.scale, kMinScale, kMaxScale);
  if (!std::isfinite(view.centerX)) view.centerX = 0;
  if (!std::isfinite(view.centerY)) view.centerY = 0;
  view.centerY = std::clamp(view.centerY, -kMaxLatitude, kMaxLatitude);
  view.centerX = std::clamp(view.centerX, -540.0, 540.0);
  if (view.aspectLatitude && !std::isfinite(*view.aspectLatitude)) view.aspectLatitude.reset();
  return view;
}

MapView FitView(const GeoBox& box, int width, int height, ViewMargins margins) {
  GeoBox b = box;
  if (b.empty) {
    b.west = -180;
    b.east = 180;
    b.south = -60;
    b.north = 75;
  }
  // A lone point, or a line: a few kilometres around it.
  constexpr double kMinSpan = 0.02;
  if (b.east - b.west < kMinSpan) {
    const double c = (b.east + b.west) / 2;
    b.west = c - kMinSpan / 2;
    b.east = c + kMinSpan / 2;
  }
  if (b.north - b.south < kMinSpan) {
    const double c = (b.north + b.south) / 2;
    b.south = c - kMinSpan / 2;
    b.north = c + kMinSpan / 2;
  }
  MapView view;
  view.width = width;
  view.height = height;
  view.centerX = (b.west + b.east) / 2;
  view.centerY = std::clamp((b.south + b.north) / 2, -kMaxLatitude, kMaxLatitude);
  const double w = std::max(1, width - margins.left - margins.right);
  const double h = std::max(1, height - margins.top - margins.bottom);
  view.scale = std::min(w / ((b.east - b.west) * view.Aspect()), h / (b.north - b.south));
  view = Clamped(view);
  // The box's centre on the centre of the free rectangle.
  const PixelPoint free{(margins.left + width - margins.right) * 0.5,
                        (margins.top + height - margins.bottom) * 0.5};
  return Anchored(view, {view.centerX, view.centerY}, free);
}

MapView Anchored(const MapView& view, GeoPoint g, PixelPoint p) {
  MapView v = view;
  v.centerY = g.y + (p.y - v.height * 0.5) / v.scale;
  v = Clamped(v);
  v.centerX = g.x - (p.x - v.width * 0.5) / v.PixelsPerDegreeX();
  return Clamped(v);
}

MapView ZoomAt(const MapView& view, PixelPoint p, double factor) {
  const GeoPoint g = view.ToGeo(p);
  MapView v = view;
  v.scale = std::clamp(view.scale * factor, kMinScale, kMaxScale);
  v.aspectLatitude.reset();
  return Anchored(v, g, p);
}

double Nice125(double minimum) {
  if (!(minimum > 0) || !std::isfinite(minimum)) return 1e-6;
  const double p = std::pow(10.0, std::floor(std::log10(minimum)));
  for (double m : {1.0, 2.0, 5.0})
    if (m * p >= minimum * (1 - 1e-12)) return m * p;
  return 10 * p;
}

double NiceDegreeStep(double minimum) {
  if (!(minimum > 10)) return Nice125(minimum);
  for (double s : {15.0, 30.0, 45.0})
    if (s >= minimum) return s;
  return 90.0;
}

int StepDecimals(double step) {
  int d = 0;
  while (d < 9 && std::fabs(step - std::round(step)) > step * 1e-6) {
    step *= 10;
    ++d;
  }
  return d;
}

ScaleBar ChooseScaleBar(const MapView& view, double minPixels) {
  const double kmPerPixel = kKmPerDegree / view.scale;
  const double km = Nice125(minPixels * kmPerPixel);
  return {km, km / kmPerPixel};
}

}  // namespace tarvik
