#pragma once
// What part of the earth a map picture shows, and where a point of it lands.
//
// The projection is equirectangular, corrected for the latitude at the centre of the view: a
// degree of latitude is `scale` pixels tall everywhere, and a degree of longitude is
// `scale * cos(centre latitude)` pixels wide. Near the centre distances are true in every
// direction, areas (longitude/latitude rectangles) stay rectangles, and a point is placed
// with one multiply-add per coordinate, which is what lets a million of them be binned in a
// few milliseconds.
#include <cstdint>
#include <optional>

namespace tarvik {

struct GeoPoint {
  double x = 0;  // longitude, degrees
  double y = 0;  // latitude, degrees
};

struct PixelPoint {
  double x = 0;  // from the left edge of the picture
  double y = 0;  // from the top edge
};

// A longitude/latitude box; empty until a point has been added.
struct GeoBox {
  double west = 0, south = 0, east = 0, north = 0;
  bool empty = true;

  void Add(double x, double y);  // skips coordinates that are not finite
  void Add(const GeoBox& other);
};

// Mean earth radius in kilometres, and the length of a degree of latitude with it.
constexpr double kEarthRadiusKm = 6371.0088;
constexpr double kKmPerDegree = kEarthRadiusKm * 3.14159265358979323846 / 180.0;

struct MapView {
  double centerX = 0;  // longitude at the centre of the picture
  double centerY = 0;  // latitude at the centre of the picture
  double scale = 1;    // pixels per degree of latitude
  int width = 0;       // picture size in pixels
  int height = 0;
  // The latitude the projection is corrected for, when not the centre's: a window keeps that
  // of the view a drag started from, so that panning moves the picture without reshaping it.
  std::optional<double> aspectLatitude;

  // Width of a degree of longitude relative to a degree of latitude: cos(centre latitude, or
  // aspectLatitude), never below that of 85 degrees.
  double Aspect() const;
  double PixelsPerDegreeX() const { return scale * Aspect(); }

  PixelPoint ToPixel(GeoPoint g) const;
  GeoPoint ToGeo(PixelPoint p) const;
  // The part of the earth the picture shows.
  GeoBox Bounds() const;
};

// Scale limits: the whole earth in a few pixels, a centimetre per pixel.
constexpr double kMinScale = 1e-3;
constexpr double kMaxScale = 1e7;

// Pixels a view leaves free at each side of the picture.
struct ViewMargins {
  int left = 16, top = 16, right = 16, bottom = 16;
};
// The view of a width x height picture that shows all of `box` as large as it fits, with
// `margins` left free (`margin` pixels on every side); an empty box gives the whole earth, a
// single point a few kilometres around it.
MapView FitView(const GeoBox& box, int width, int height, ViewMargins margins);
inline MapView FitView(const GeoBox& box, int width, int height, int margin = 16) {
  return FitView(box, width, height, ViewMargins{margin, margin, margin, margin});
}
// The same scale (and aspectLatitude), moved so that `g` lands on pixel `p` (a drag keeps the
// grabbed point under the mouse; ZoomAt keeps the point under the cursor).
MapView Anchored(const MapView& view, GeoPoint g, PixelPoint p);
// `factor` times the scale (within the limits), with the point under `p` kept in place; the
// projection is corrected for the new centre.
MapView ZoomAt(const MapView& view, PixelPoint p, double factor);
// Keeps the scale within its limits and the centre on the earth (latitude within 85 degrees,
// longitude within one turn either way).
MapView Clamped(MapView view);

// The least of 1, 2 or 5 times a power of ten that is at least `minimum`.
double Nice125(double minimum);
// A grid step in degrees at least `minimum` long: Nice125 up to 10, then 15, 30, 45, 90.
double NiceDegreeStep(double minimum);
// Decimals that the labels of a grid with this step need.
int StepDecimals(double step);

// The scale bar: the shortest round length in km (Nice125) that is at least `minPixels`
// long at the centre of the view (so at most 2.5 times that).
struct ScaleBar {
  double km = 0;
  double pixels = 0;
};
ScaleBar ChooseScaleBar(const MapView& view, double minPixels = 60);

}  // namespace tarvik
