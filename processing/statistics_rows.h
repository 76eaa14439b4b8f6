#pragma once
// The two statistics lists as both front ends show them, built from the POI store's counters:
// one row per entry of the current schema that counted something, sorted by type code
// ascending, and one row per enabled area (a count of 0 included), sorted by count descending.
// Equal keys keep the counters' order. The caller holds the POI store; the rows point into
// the parameter store and are valid until its next load.
#include <cstdint>
#include <vector>

namespace tarvik {

struct PoiData;
struct SchemaEntry;
struct FilterArea;

struct TypeRow {
  SchemaEntry* entry;
  std::uint32_t count;
};

struct AreaRow {
  FilterArea* area;
  std::uint32_t count;
};

std::vector<TypeRow> BuildTypeRows(const PoiData& data);
std::vector<AreaRow> BuildAreaRows(const PoiData& data);

}  // namespace tarvik
