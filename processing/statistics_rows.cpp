#include "processing/statistics_rows.h"

#include <algorithm>

#include "params/param_store.h"
#include "processing/poi_store.h"

namespace tarvik {

std::vector<TypeRow> BuildTypeRows(const PoiData& data) {
  std::vector<TypeRow> rows;
  for (std::uint32_t k = 0; k < data.typeCounterCount; ++k) {
    const TypeCounter& c = data.typeCounters[k];
    if (c.entry && c.count != 0) rows.push_back({c.entry, c.count});
  }
  std::stable_sort(rows.begin(), rows.end(), [](const TypeRow& a, const TypeRow& b) {
    return a.entry->Type < b.entry->Type;
  });
  return rows;
}

std::vector<AreaRow> BuildAreaRows(const PoiData& data) {
  std::vector<AreaRow> rows;
  for (std::uint32_t k = 0; k < data.areaCounterCount; ++k) {
    const AreaCounter& c = data.areaCounters[k];
    if (c.area) rows.push_back({c.area, c.count});
  }
  std::stable_sort(rows.begin(), rows.end(),
                   [](const AreaRow& a, const AreaRow& b) { return a.count > b.count; });
  return rows;
}

}  // namespace tarvik
