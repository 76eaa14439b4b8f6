#include "map/map_scene.h"

#include <algorithm>

#include "core/text.h"
#include "params/param_store.h"
#include "processing/export.h"
#include "resources/string_ids.h"

namespace tarvik {

std::u16string LegendText(std::u16string_view desc) {
  CompiledTemplate compiled;
  CompileTemplate(desc, /*row=*/false, compiled);
  std::u16string out;
  for (std::uint32_t i = 0; i < compiled.count; ++i) {
    const TemplateSegment& s = compiled.segments[i];
    if (s.kind == Seg::Text)
      out.append(desc.substr(s.offset, s.length));
    else
      out += u'…';
  }
  return out;
}

MapSchema SchemaOfMap(CParamStore& store) {
  MapSchema s;
  if (SchemaSet* schema = store.CurrentSchema()) {
    for (const SchemaEntry& e : CParamStore::Entries(*schema)) {
      if (std::find(s.types.begin(), s.types.end(), e.Type) != s.types.end()) continue;
      s.types.push_back(e.Type);
      s.descs.push_back(LegendText(FieldText(e.Desc)));
    }
  }
  return s;
}

std::vector<LegendEntry> MakeLegend(const MapSchema& schema,
                                    std::span<const std::uint32_t> typeCounts) {
  std::vector<LegendEntry> legend;
  for (std::size_t i = 0; i < schema.types.size() && i < typeCounts.size(); ++i)
    if (typeCounts[i] != 0)
      legend.push_back({TypeColor(i), StrLoad(STR_MAP_NAME_COUNT, schema.descs[i], typeCounts[i])});
  if (typeCounts.size() > schema.types.size() && typeCounts[schema.types.size()] != 0)
    legend.push_back(
        {map_colors::kOtherType, StrLoad(STR_MAP_NAME_COUNT, StrLoad(STR_MAP_OTHER_TYPES),
                                         typeCounts[schema.types.size()])});
  return legend;
}

std::vector<MapAreaMark> AreaMarks(CParamStore& store) {
  std::vector<MapAreaMark> marks;
  for (const FilterArea& a : store.Filters())
    if (!IsDeleted(a)) marks.push_back({a.AX, a.AY, a.CX, a.CY, FieldText(a.Name), a.Param});
  return marks;
}

MapView HomeView(const GeoBox& box, int width, int height, int lineHeight) {
  const int row = lineHeight + 2;
  ViewMargins m;
  m.top += row + 6;
  m.left += 3 * lineHeight;  // "-55.5°"
  m.bottom += 4 * row + 16;  // the first rows of the legend, or the scale bar
  return FitView(box, width, height, m);
}

GeoBox HomeBox(std::span<const PoiRecord> records, std::span<const MapAreaMark> areas) {
  GeoBox box;
  for (const PoiRecord& r : records) box.Add(r.X, r.Y);
  if (!box.empty) return box;
  for (const MapAreaMark& a : areas) {
    if (!(a.param & PARAM_ENABLED)) continue;
    box.Add(a.ax, a.ay);
    box.Add(a.cx, a.cy);
  }
  return box;
}

}  // namespace tarvik
