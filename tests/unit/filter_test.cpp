#include <gtest/gtest.h>

#include <cmath>
#include <future>
#include <limits>
#include <random>
#include <thread>

#include "convert_fixture.h"
#include "core/store_lock.h"

namespace tarvik {
namespace {

using testing::ConvertFixture;
using testing::Rec;
using testing::Rect;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Counts {
  std::vector<std::uint32_t> types;
  std::vector<std::uint32_t> areas;
  std::uint32_t unmatched = 0;
  bool operator==(const Counts&) const = default;
};

Counts Actual(ConvertFixture& f) {
  Counts c;
  for (const TypeCounter& t : f.TypeCounters()) c.types.push_back(t.count);
  for (const AreaCounter& a : f.AreaCounters()) c.areas.push_back(a.count);
  c.unmatched = f.poi.data->unmatchedCount;
  return c;
}

// The counting rules written out plainly, over whatever counters the stage made.
Counts Expected(ConvertFixture& f) {
  auto types = f.TypeCounters();
  auto areaCounters = f.AreaCounters();
  Counts c;
  c.types.assign(types.size(), 0);
  c.areas.assign(areaCounters.size(), 0);
  if (types.empty() || areaCounters.empty()) return c;
  for (std::uint32_t i = 0; i < f.poi.data->recordCount; ++i) {
    const PoiRecord& r = f.poi.data->records[i];
    std::size_t t = 0;
    while (t < types.size() && types[t].entry->Type != r.TYPE) ++t;
    if (t == types.size()) {
      ++c.unmatched;
      continue;
    }
    bool inAny = false;
    for (FilterArea& a : f.params.Filters()) {
      if (!(a.AX < r.X && r.X < a.CX && a.CY < r.Y && r.Y < a.AY)) continue;
      inAny = true;
      for (std::size_t k = 0; k < areaCounters.size(); ++k)
        if (areaCounters[k].area == &a) ++c.areas[k];
    }
    if (inAny) ++c.types[t];
  }
  return c;
}

TEST(FilterByAreas, HandCountedEdgesOverlapsAndFlags) {
  ConvertFixture f;
  f.AddArea({0, 10, 10, 0}, PARAM_ENABLED, 1, u"A");
  f.AddArea({5, 10, 15, 0}, PARAM_ENABLED, 2, u"B");                   // overlaps A
  f.AddArea({20, 10, 30, 0}, 0, 3, u"C");                              // disabled
  f.AddArea({40, 10, 50, 0}, PARAM_ENABLED | PARAM_DELETED, 4, u"D");  // deleted
  f.AddArea({70, 0, 60, 10}, PARAM_ENABLED, 5, u"E");                  // corners swapped
  // A deleted schema that still carries the current flags is never current.
  SchemaSet& old = f.AddSchema(PARAM_ENABLED | PARAM_DEFAULT | PARAM_DELETED, u"old");
  f.AddEntry(old, 9);
  SchemaSet& s = f.AddSchema();
  f.AddEntry(s, 1, u"one");
  f.AddEntry(s, 2, u"two");
  f.AddEntry(s, 1, u"dup");                                   // same type: never counts
  f.AddEntry(s, 3, u"three", PARAM_ENABLED | PARAM_DELETED);  // counted until reloaded
  f.SetRecords({
      Rec(2, 5, 1),     // A
      Rec(7, 5, 1),     // A and B: once for its type, once for each area
      Rec(0, 5, 1),     // on AX: outside
      Rec(kNaN, 5, 2),  // NaN: outside
      Rec(25, 5, 2),    // only in the disabled area: its type counts
      Rec(45, 5, 3),    // only in the deleted area: its type counts
      Rec(2, 5, 9),     // no entry: unmatched
      Rec(65, 5, 2),    // inside the swapped corners' span: nothing
      Rec(12, 5, 2),    // B
      Rec(2, 10, 1),    // on AY
      Rec(2, 0, 1),     // on CY
      Rec(10, 5, 1),    // on A's CX, inside B
  });
  f.task.progressWindow = &f.sink;

  EXPECT_TRUE(FilterByAreas(f.task));

  auto types = f.TypeCounters();
  ASSERT_EQ(types.size(), 4u);
  EXPECT_EQ(std::u16string_view(types[0].entry->Desc), u"one");
  EXPECT_EQ(std::u16string_view(types[2].entry->Desc), u"dup");
  EXPECT_EQ(std::u16string_view(types[3].entry->Desc), u"three");
  auto areas = f.AreaCounters();
  ASSERT_EQ(areas.size(), 3u);
  EXPECT_EQ(std::u16string_view(areas[0].area->Name), u"A");
  EXPECT_EQ(std::u16string_view(areas[1].area->Name), u"B");
  EXPECT_EQ(std::u16string_view(areas[2].area->Name), u"E");
  Counts want{{3, 2, 0, 1}, {2, 3, 0}, 1};
  EXPECT_EQ(Actual(f), want);
  EXPECT_EQ(Actual(f), Expected(f));
  EXPECT_EQ(f.sink.status, std::vector<std::uint32_t>{596});
  EXPECT_FALSE(Aborted(f.task));
}

TEST(FilterByAreas, AreaCountersCountTheirOwnAreaEvenWithEqualIds) {
  ConvertFixture f;
  // Items loaded without an ID all have ID 0.
  f.AddArea({0, 10, 10, 0}, PARAM_ENABLED, 0, u"west");
  f.AddArea({20, 10, 30, 0}, PARAM_ENABLED, 0, u"east");
  f.AddEntry(f.AddSchema(), 1);
  f.SetRecords({Rec(5, 5, 1), Rec(6, 5, 1), Rec(25, 5, 1)});
  ASSERT_TRUE(FilterByAreas(f.task));
  EXPECT_EQ(Actual(f), (Counts{{3}, {2, 1}, 0}));
}

TEST(FilterByAreas, NothingCountedWithoutEnabledAreaOrCurrentSchema) {
  {
    ConvertFixture f;
    f.AddArea({0, 10, 10, 0}, 0);
    f.AddEntry(f.AddSchema(), 1);
    f.SetRecords({Rec(5, 5, 1), Rec(5, 5, 7)});
    ASSERT_TRUE(FilterByAreas(f.task));
    EXPECT_EQ(f.AreaCounters().size(), 0u);
    EXPECT_EQ(f.TypeCounters().size(), 1u);
    EXPECT_EQ(Actual(f), (Counts{{0}, {}, 0}));
  }
  {
    ConvertFixture f;
    f.AddArea({0, 10, 10, 0});
    f.AddEntry(f.AddSchema(PARAM_ENABLED), 1);  // enabled but not the default
    f.AddEntry(f.AddSchema(PARAM_DEFAULT), 1);  // default but disabled
    f.SetRecords({Rec(5, 5, 1)});
    ASSERT_TRUE(FilterByAreas(f.task));
    EXPECT_EQ(f.TypeCounters().size(), 0u);
    EXPECT_EQ(Actual(f), (Counts{{}, {0}, 0}));
  }
  {
    ConvertFixture f;  // no records: no counters at all
    f.AddArea({0, 10, 10, 0});
    f.AddEntry(f.AddSchema(), 1);
    ASSERT_TRUE(FilterByAreas(f.task));
    EXPECT_EQ(f.TypeCounters().size(), 0u);
    EXPECT_EQ(f.AreaCounters().size(), 0u);
  }
}

TEST(FilterByAreas, SkipsItsWorkWhenTheParameterStoreIsHeldElsewhere) {
  ConvertFixture f;
  f.AddArea({0, 10, 10, 0});
  f.AddEntry(f.AddSchema(), 1);
  f.SetRecords({Rec(5, 5, 1)});
  std::promise<void> held, release;
  std::thread holder([&] {
    std::lock_guard<std::recursive_mutex> g(f.params.lock);
    held.set_value();
    release.get_future().wait();
  });
  held.get_future().wait();
  EXPECT_TRUE(FilterByAreas(f.task));
  release.set_value();
  holder.join();
  EXPECT_EQ(f.TypeCounters().size(), 0u);
  EXPECT_EQ(f.AreaCounters().size(), 0u);
  EXPECT_EQ(f.params.data->busyMarker.load(), 0);
}

TEST(FilterByAreas, ProgressSendsEachPercentOnce) {
  ConvertFixture f;
  f.AddArea({0, 10, 10, 0});
  f.AddEntry(f.AddSchema(), 1);
  f.SetRecords(std::vector<PoiRecord>(1000, Rec(5, 5, 1)));
  f.task.progressWindow = &f.sink;
  ASSERT_TRUE(FilterByAreas(f.task));
  std::vector<int> want;
  for (int p = 0; p < 100; ++p) want.push_back(p);
  EXPECT_EQ(f.sink.progress, want);
  EXPECT_EQ(Actual(f), (Counts{{1000}, {1000}, 0}));
}

TEST(FilterByAreas, AbortStopsTheLoop) {
  ConvertFixture f;
  f.AddArea({0, 10, 10, 0});
  f.AddEntry(f.AddSchema(), 1);
  f.SetRecords(std::vector<PoiRecord>(100, Rec(5, 5, 1)));
  SetAbort(f.task);
  EXPECT_FALSE(FilterByAreas(f.task));
  EXPECT_EQ(Actual(f), (Counts{{0}, {0}, 0}));
}

// Random stores and records against the plain rules: codes close together (direct table)
// and spread out (sorted search); many areas, edges, NaN, every flag.
TEST(FilterByAreas, RandomStoresMatchThePlainRules) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 40; ++round) {
    ConvertFixture f;
    bool spread = round % 2 == 1;
    auto code = [&] {
      return spread ? static_cast<std::int32_t>(rng()) % 50 * 1000003
                    : static_cast<std::int32_t>(rng() % 12);
    };
    std::uniform_int_distribution<int> coord(0, 20);
    int nAreas = 1 + rng() % (round < 20 ? 8 : 120);
    for (int a = 0; a < nAreas; ++a) {
      Rect r{double(coord(rng)), double(coord(rng)), double(coord(rng)), double(coord(rng))};
      if (rng() % 8 == 0) r.ax = kNaN;
      std::uint8_t flags[] = {PARAM_ENABLED, PARAM_ENABLED, 0, PARAM_ENABLED | PARAM_DELETED};
      f.AddArea(r, flags[rng() % 4], rng() % 3);
    }
    SchemaSet& s = f.AddSchema();
    int nEntries = 1 + rng() % 10;
    for (int e = 0; e < nEntries; ++e)
      f.AddEntry(s, code(), u"", rng() % 5 == 0 ? PARAM_DELETED : PARAM_ENABLED);
    std::vector<PoiRecord> recs;
    int nRecs = rng() % 3000;
    for (int i = 0; i < nRecs; ++i) {
      // Half on the integer grid, so edges are hit often.
      double x = rng() % 2 ? coord(rng) : coord(rng) + (rng() % 1000) / 1000.0;
      double y = rng() % 2 ? coord(rng) : coord(rng) + (rng() % 1000) / 1000.0;
      if (rng() % 50 == 0) y = kNaN;
      recs.push_back(Rec(x, y, code()));
    }
    f.SetRecords(recs);
    ASSERT_TRUE(FilterByAreas(f.task));
    ASSERT_EQ(Actual(f), Expected(f)) << "round " << round;
  }
}

// Corners and points far apart, tiny, infinite or equal: whatever the stage does to avoid
// testing every area must not change which areas hold a point.
TEST(FilterByAreas, ExtremeCornersMatchThePlainRules) {
  std::mt19937 rng(777);
  const double inf = std::numeric_limits<double>::infinity();
  const double values[] = {-inf, -1e308, -1e300, -3.5, -1e-300, 0,     5e-324, 1e-300,
                           1,    2,      2.5,    3,    1e300,   1e308, inf,    kNaN};
  auto pick = [&] { return values[rng() % std::size(values)]; };
  for (int round = 0; round < 200; ++round) {
    ConvertFixture f;
    int nAreas = 1 + rng() % 12;
    for (int a = 0; a < nAreas; ++a) f.AddArea({pick(), pick(), pick(), pick()});
    f.AddEntry(f.AddSchema(), 1);
    std::vector<PoiRecord> recs;
    for (int i = 0; i < 300; ++i) recs.push_back(Rec(pick(), pick(), 1));
    f.SetRecords(recs);
    ASSERT_TRUE(FilterByAreas(f.task));
    ASSERT_EQ(Actual(f), Expected(f)) << "round " << round;
  }
}

// Every allocation the stage makes may fail: a missing counter is left out, the others keep
// their counts, and nothing leaks.
// Memory for a counter that runs out fails the stage (the pipeline ends the task with that);
// any other allocation failure leaves every count right.
TEST(FilterByAreas, AllocationFailuresFailTheStageOrLeaveEveryCountRight) {
  for (long k = 1; k <= 40; ++k) {
    ConvertFixture f;
    for (int a = 0; a < 300; ++a) f.AddArea({a * 0.1, 10, a * 0.1 + 1.5, 0});
    SchemaSet& s = f.AddSchema();
    for (int e = 0; e < 60; ++e) f.AddEntry(s, e % 7);
    std::vector<PoiRecord> recs;
    for (int i = 0; i < 500; ++i) recs.push_back(Rec(i * 0.061, 5, i % 9));
    f.SetRecords(recs);
    std::int64_t before = MemInUse(&f.ctx);
    MemFailAfter(k);
    bool ok = false, threw = false;
    try {
      ok = FilterByAreas(f.task);
    } catch (const std::bad_alloc&) {
      threw = true;
    }
    MemFailAfter(0);
    if (!threw) {
      ASSERT_TRUE(ok);
      ASSERT_EQ(Actual(f), Expected(f)) << "failure at allocation " << k;
    }
    f.poi.Clear(2);
    EXPECT_EQ(MemInUse(&f.ctx), before);
  }
}

}  // namespace
}  // namespace tarvik
