#include "map/map_edit.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/std_compat.h"
#include "params/param_store.h"

namespace tarvik {

double RoundSixDecimals(double v) {
  if (!std::isfinite(v)) return v;
  char text[400];
  const auto printed = compat::to_chars(text, text + sizeof text, v, std::chars_format::fixed, 6);
  double back = v;
  compat::from_chars(text, printed.ptr, back, std::chars_format::fixed);
  return back == 0 ? 0.0 : back;  // no "-0.000000"
}

AreaCorners CornersFromDrag(GeoPoint from, GeoPoint to) {
  return {RoundSixDecimals(std::min(from.x, to.x)), RoundSixDecimals(std::max(from.y, to.y)),
          RoundSixDecimals(std::max(from.x, to.x)), RoundSixDecimals(std::min(from.y, to.y))};
}

AreaPart HitTest(const MapView& view, const AreaCorners& area, PixelPoint p, double tolerance) {
  const PixelPoint a = view.ToPixel({area.AX, area.AY});
  const PixelPoint c = view.ToPixel({area.CX, area.CY});
  const double left = std::min(a.x, c.x), right = std::max(a.x, c.x);
  const double top = std::min(a.y, c.y), bottom = std::max(a.y, c.y);
  if (p.x < left - tolerance || p.x > right + tolerance || p.y < top - tolerance ||
      p.y > bottom + tolerance)
    return AreaPart::None;
  // On a small rectangle the nearer edge of each pair wins.
  const double dw = std::fabs(p.x - left), de = std::fabs(p.x - right);
  const double dn = std::fabs(p.y - top), ds = std::fabs(p.y - bottom);
  const bool west = dw <= tolerance && dw <= de, east = de <= tolerance && de < dw;
  const bool north = dn <= tolerance && dn <= ds, south = ds <= tolerance && ds < dn;
  if (north && west) return AreaPart::NorthWest;
  if (north && east) return AreaPart::NorthEast;
  if (south && west) return AreaPart::SouthWest;
  if (south && east) return AreaPart::SouthEast;
  if (west) return AreaPart::West;
  if (east) return AreaPart::East;
  if (north) return AreaPart::North;
  if (south) return AreaPart::South;
  return AreaPart::Inside;
}

AreaCorners DragPart(const AreaCorners& area, AreaPart part, GeoPoint to) {
  AreaCorners r = area;
  const double x = RoundSixDecimals(to.x), y = RoundSixDecimals(to.y);
  switch (part) {
    case AreaPart::West:
      r.AX = x;
      break;
    case AreaPart::East:
      r.CX = x;
      break;
    case AreaPart::North:
      r.AY = y;
      break;
    case AreaPart::South:
      r.CY = y;
      break;
    case AreaPart::NorthWest:
      r.AX = x;
      r.AY = y;
      break;
    case AreaPart::NorthEast:
      r.CX = x;
      r.AY = y;
      break;
    case AreaPart::SouthWest:
      r.AX = x;
      r.CY = y;
      break;
    case AreaPart::SouthEast:
      r.CX = x;
      r.CY = y;
      break;
    case AreaPart::None:
    case AreaPart::Inside:
      return r;
  }
  if (r.AX > r.CX) std::swap(r.AX, r.CX);
  if (r.CY > r.AY) std::swap(r.AY, r.CY);
  return r;
}

std::uint32_t CountInside(std::span<const PoiRecord> records, const AreaCorners& area,
                          std::span<const std::int32_t> types) {
  std::vector<std::int32_t> sorted(types.begin(), types.end());
  std::sort(sorted.begin(), sorted.end());
  std::uint32_t n = 0;
  for (const PoiRecord& r : records)
    if (CornersContain(area.AX, area.AY, area.CX, area.CY, r.X, r.Y) &&
        std::binary_search(sorted.begin(), sorted.end(), r.TYPE))
      ++n;
  return n;
}

}  // namespace tarvik
