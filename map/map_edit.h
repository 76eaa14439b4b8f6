#pragma once
// Drawing and reshaping areas with the mouse: the corners a dragged rectangle gives, the part
// of an area under the mouse, and what dragging that part does.
#include <cstdint>
#include <span>

#include "map/map_view.h"
#include "processing/poi_store.h"

namespace tarvik {

// An area's corners: A north-west (AX west, AY north), C south-east.
struct AreaCorners {
  double AX = 0, AY = 0, CX = 0, CY = 0;
  friend bool operator==(const AreaCorners&, const AreaCorners&) = default;
};

// A value as the filter editor writes it ("%f", six decimals) and reads it back.
double RoundSixDecimals(double v);

// The corners of the rectangle between two points, whichever way it was dragged: A takes the
// western longitude and the northern latitude, C the others; each rounded to six decimals.
AreaCorners CornersFromDrag(GeoPoint from, GeoPoint to);

// The part of an area's pixel rectangle under the mouse. Edges and corners are caught within
// a few pixels; a corner wins over its two edges.
enum class AreaPart : std::uint8_t {
  None,
  Inside,
  West,
  East,
  North,
  South,
  NorthWest,
  NorthEast,
  SouthWest,
  SouthEast,
};
AreaPart HitTest(const MapView& view, const AreaCorners& area, PixelPoint p, double tolerance = 5);

// The area after `part` was dragged to `to`: the edges that part holds move there (rounded to
// six decimals); dragged past the opposite edge, the two trade places, so A stays north-west.
// Inside and None change nothing.
AreaCorners DragPart(const AreaCorners& area, AreaPart part, GeoPoint to);

// How many of the records lie inside the corners and have a type in `types`: the count the
// main window lists for an enabled area (a record inside counts when the current schema
// describes its type).
std::uint32_t CountInside(std::span<const PoiRecord> records, const AreaCorners& area,
                          std::span<const std::int32_t> types);

}  // namespace tarvik
