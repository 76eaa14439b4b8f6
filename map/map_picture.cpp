// The whole picture of the command line: apart from the rest of the scene, which the page's
// engine shares, for it needs FreeType and the geography's files.
#include <vector>

#include "map/base_map.h"
#include "map/map_scene.h"
#include "map/raster_canvas.h"

namespace tarvik {

bool RenderMapPicture(CAppContext* context, std::span<const PoiRecord> records,
                      std::span<const MapAreaMark> areas, const MapSchema& schema,
                      const MapView& view, BaseMap* base, MapFont* font, MapImage& image,
                      DensityStats& stats) {
  IndexedImage indexed(context);
  std::vector<LegendEntry> legend;
  {
    // The layer's counters go before the colour picture comes.
    DensityLayer layer(context);
    if (!layer.SetTypes(schema.types) || !layer.Render(records, view, indexed, stats)) return false;
    legend = MakeLegend(schema, layer.TypeCounts());
  }
  if (base) {
    BaseLines lines(context);
    if (!base->Lines(view, lines)) return false;
    DrawBaseLines(indexed, lines);
  }
  if (!image.TakeColors(indexed)) return false;
  RasterCanvas canvas(image, font);
  const CityList* cities = base ? base->Cities().get() : nullptr;
  DrawMapOverlay(canvas, view, {areas, legend, stats, cities, {}});
  return true;
}

}  // namespace tarvik
