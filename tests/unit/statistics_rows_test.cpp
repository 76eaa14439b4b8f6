// The statistics lists from the counters: which rows, in which order.
#include <gtest/gtest.h>

#include "params/param_store.h"
#include "processing/poi_store.h"
#include "processing/statistics_rows.h"

namespace tarvik {
namespace {

TEST(StatisticsRows, TypesByCodeAreasByCountEqualKeysKeepTheirOrder) {
  SchemaEntry e[4] = {};
  e[0].Type = 10;
  e[1].Type = 2;
  e[2].Type = 2;  // a second entry of a type keeps its place behind the first
  e[3].Type = 7;
  TypeCounter types[] = {{5, &e[0]}, {3, &e[1]}, {4, &e[2]}, {0, &e[3]}, {9, nullptr}};
  FilterArea a[4] = {};
  AreaCounter areas[] = {{0, &a[0]}, {4, &a[1]}, {0, &a[2]}, {7, &a[3]}, {8, nullptr}};
  PoiData d;
  d.typeCounterCount = 5;
  d.typeCounters = types;
  d.areaCounterCount = 5;
  d.areaCounters = areas;

  const std::vector<TypeRow> t = BuildTypeRows(d);  // no row for a count of 0 or no entry
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[0].entry, &e[1]);
  EXPECT_EQ(t[1].entry, &e[2]);
  EXPECT_EQ(t[2].entry, &e[0]);
  EXPECT_EQ(t[2].count, 5u);

  const std::vector<AreaRow> r = BuildAreaRows(d);  // 0 included, no row without an area
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[0].area, &a[3]);
  EXPECT_EQ(r[1].area, &a[1]);
  EXPECT_EQ(r[2].area, &a[0]);
  EXPECT_EQ(r[3].area, &a[2]);
  d.typeCounters = nullptr;
  d.areaCounters = nullptr;
}

}  // namespace
}  // namespace tarvik
