#pragma once
// A whole map picture from the loaded POIs and the parameter sets: what the command line
// writes, and what the map window shows before its own marks.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "map/map_overlay.h"
#include "map/map_raster.h"

namespace tarvik {

class BaseMap;
class CParamStore;
class MapFont;

// A description as the legend shows it: each variable the export fills in per camera
// ("{speed}", ...) stands as "…".
std::u16string LegendText(std::u16string_view desc);

// The types of the current schema with their legend texts, each type once (its first
// entry, as the counting finds it), in entry order: legend entry i.
struct MapSchema {
  std::vector<std::int32_t> types;
  std::vector<std::u16string> descs;
};
// The caller holds the store.
MapSchema SchemaOfMap(CParamStore& store);

// The legend of a dot picture: the entries with POIs in view, "name: count", then those of
// no entry.
std::vector<LegendEntry> MakeLegend(const MapSchema& schema,
                                    std::span<const std::uint32_t> typeCounts);

// The areas as the map draws them (not deleted), names pointing into the store.
std::vector<MapAreaMark> AreaMarks(CParamStore& store);

// The view a map opens on (and "Показать всё" shows): all of `box`, clear of what the overlay
// writes over the picture at its edges in text lines `lineHeight` tall: the longitude labels
// on top, the legend and the scale bar at the bottom, the latitude labels at the left.
MapView HomeView(const GeoBox& box, int width, int height, int lineHeight);

// The box a map opens on: the POIs, or when there are none the enabled areas, or when there
// are none either the whole earth (empty).
GeoBox HomeBox(std::span<const PoiRecord> records, std::span<const MapAreaMark> areas);

// The cameras, the geography of `base` under them and its city names (none when null), and
// the overlay into `image`; false when memory ran out.
bool RenderMapPicture(CAppContext* context, std::span<const PoiRecord> records,
                      std::span<const MapAreaMark> areas, const MapSchema& schema,
                      const MapView& view, BaseMap* base, MapFont* font, MapImage& image,
                      DensityStats& stats);

}  // namespace tarvik
