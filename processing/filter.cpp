// The filter stage: counts the records per entry of the current schema and per enabled area.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <span>

#include "core/store_lock.h"
#include "core/tracked_array.h"
#include "core/tracked_memory.h"
#include "params/param_store.h"
#include "processing/parallel.h"
#include "processing/poi_store.h"
#include "processing/progress_steps.h"
#include "processing/task.h"
#include "processing/type_index.h"
#include "resources/string_ids.h"

namespace tarvik {
namespace {

// Finds the areas that contain a point without testing every area: a uniform grid over the
// bounding box of the areas lists, for each cell, the areas that overlap it. The cell of a
// coordinate is a monotonic function of it, so an area whose open rectangle holds a point is
// always listed in the point's cell; each listed area still gets the exact inside test.
// Areas that contain nothing (corners swapped, equal or NaN) are left out; areas with an
// infinite corner are tested for every point.
class AreaGrid {
 public:
  explicit AreaGrid(std::span<const FilterArea> areas) : areas_(areas) {
    for (const FilterArea& a : areas) {
      if (!(a.AX < a.CX && a.CY < a.AY)) continue;
      if (!std::isfinite(a.AX) || !std::isfinite(a.CX) || !std::isfinite(a.AY) ||
          !std::isfinite(a.CY)) {
        ++alwaysCount_;
        continue;
      }
      ++gridAreas_;
      minX_ = std::min(minX_, a.AX);
      maxX_ = std::max(maxX_, a.CX);
      minY_ = std::min(minY_, a.CY);
      maxY_ = std::max(maxY_, a.AY);
    }
    if (gridAreas_ == 0) return;
    // About two cells per area along each axis, fewer when large areas would fill too many.
    const std::size_t budget = std::max<std::size_t>(16 * gridAreas_, 65536);
    side_ = std::clamp<std::uint32_t>(
        static_cast<std::uint32_t>(2 * std::ceil(std::sqrt(double(gridAreas_)))), 1, 512);
    for (;;) {
      Scale();
      listed_ = 0;
      ForEachGridArea(
          [&](std::size_t, std::uint32_t x0, std::uint32_t x1, std::uint32_t y0, std::uint32_t y1) {
            listed_ += std::size_t{x1 - x0 + 1} * (y1 - y0 + 1);
          });
      if (listed_ <= budget || side_ == 1) break;
      side_ /= 2;
    }
  }

  std::size_t Bytes() const {
    return areas_.size() * sizeof(Rect) +
           (alwaysCount_ + (side_ ? std::size_t{side_} * side_ + 1 : 0) + listed_) *
               sizeof(std::uint32_t);
  }

  // `scratch` holds Bytes() bytes, aligned for doubles.
  void Build(void* scratch) {
    rects_ = static_cast<Rect*>(scratch);
    always_ = reinterpret_cast<std::uint32_t*>(rects_ + areas_.size());
    offsets_ = always_ + alwaysCount_;
    const std::size_t cells = side_ ? std::size_t{side_} * side_ : 0;
    cells_ = offsets_ + (side_ ? cells + 1 : 0);
    std::size_t a = 0;
    for (std::size_t j = 0; j < areas_.size(); ++j) {
      const FilterArea& f = areas_[j];
      new (rects_ + j) Rect{f.AX, f.AY, f.CX, f.CY};
      bool valid = f.AX < f.CX && f.CY < f.AY;
      if (valid && !(std::isfinite(f.AX) && std::isfinite(f.CX) && std::isfinite(f.AY) &&
                     std::isfinite(f.CY)))
        always_[a++] = static_cast<std::uint32_t>(j);
    }
    if (!side_) return;
    std::fill(offsets_, offsets_ + cells + 1, 0u);
    ForEachGridArea(
        [&](std::size_t, std::uint32_t x0, std::uint32_t x1, std::uint32_t y0, std::uint32_t y1) {
          for (std::uint32_t y = y0; y <= y1; ++y)
            for (std::uint32_t x = x0; x <= x1; ++x) ++offsets_[y * side_ + x + 1];
        });
    for (std::size_t c = 0; c < cells; ++c) offsets_[c + 1] += offsets_[c];
    // Fill each cell from its start; offsets_[c] ends up at the start of cell c + 1, so the
    // shift afterwards restores the starts.
    ForEachGridArea(
        [&](std::size_t j, std::uint32_t x0, std::uint32_t x1, std::uint32_t y0, std::uint32_t y1) {
          for (std::uint32_t y = y0; y <= y1; ++y)
            for (std::uint32_t x = x0; x <= x1; ++x)
              cells_[offsets_[y * side_ + x]++] = static_cast<std::uint32_t>(j);
        });
    for (std::size_t c = cells; c > 0; --c) offsets_[c] = offsets_[c - 1];
    offsets_[0] = 0;
  }

  // Counts the point in hits[j] of every area j that contains it; true when at least one does.
  // Reads the grid only, so threads can count at once, each into its own hits.
  bool Count(double x, double y, std::uint32_t* hits) const {
    bool any = false;
    for (std::size_t k = 0; k < alwaysCount_; ++k) any |= Test(always_[k], x, y, hits);
    if (side_ && x > minX_ && x < maxX_ && y > minY_ && y < maxY_) {
      std::size_t c = std::size_t{Cell(y, minY_, scaleY_)} * side_ + Cell(x, minX_, scaleX_);
      for (std::uint32_t k = offsets_[c]; k < offsets_[c + 1]; ++k)
        any |= Test(cells_[k], x, y, hits);
    }
    return any;
  }

 private:
  struct Rect {
    double ax, ay, cx, cy;
  };

  bool Test(std::uint32_t j, double x, double y, std::uint32_t* hits) const {
    const Rect& r = rects_[j];
    const bool in = CornersContain(r.ax, r.ay, r.cx, r.cy, x, y);
    hits[j] += in;
    return in;
  }

  void Scale() {
    scaleX_ = side_ / (maxX_ - minX_);
    scaleY_ = side_ / (maxY_ - minY_);
    // A span too small or too large to divide: one column or row holds everything.
    if (!std::isfinite(scaleX_)) scaleX_ = 0;
    if (!std::isfinite(scaleY_)) scaleY_ = 0;
  }

  // Non-decreasing in v, within 0..side-1.
  std::uint32_t Cell(double v, double min, double scale) const {
    double t = (v - min) * scale;
    if (!(t > 0)) return 0;
    if (t >= side_) return side_ - 1;
    return static_cast<std::uint32_t>(t);
  }

  template <class F>
  void ForEachGridArea(F f) const {
    for (std::size_t j = 0; j < areas_.size(); ++j) {
      const FilterArea& a = areas_[j];
      if (!(a.AX < a.CX && a.CY < a.AY) || !std::isfinite(a.AX) || !std::isfinite(a.CX) ||
          !std::isfinite(a.AY) || !std::isfinite(a.CY))
        continue;
      f(j, Cell(a.AX, minX_, scaleX_), Cell(a.CX, minX_, scaleX_), Cell(a.CY, minY_, scaleY_),
        Cell(a.AY, minY_, scaleY_));
    }
  }

  std::span<const FilterArea> areas_;
  std::size_t alwaysCount_ = 0;
  std::size_t gridAreas_ = 0;
  double minX_ = HUGE_VAL, maxX_ = -HUGE_VAL, minY_ = HUGE_VAL, maxY_ = -HUGE_VAL;
  double scaleX_ = 0, scaleY_ = 0;
  std::uint32_t side_ = 0;
  std::size_t listed_ = 0;

  Rect* rects_ = nullptr;
  std::uint32_t* always_ = nullptr;
  std::uint32_t* offsets_ = nullptr;
  std::uint32_t* cells_ = nullptr;
};

}  // namespace

bool FilterByAreas(WorkerTask& task) {
  if (!task.paramStore || !task.poiStore || !task.poiStore->data) return false;
  CPoiStore& poi = *task.poiStore;
  PoiData& data = *poi.data;
  CAppContext* context = poi.context ? poi.context : task.appContext;
  if (!Aborted(task)) {
    ReportProgress(task, 0);
    ReportStatus(task, STR_STATUS_FILTERING);
  }
  if (data.recordCount == 0 || !data.records) return !Aborted(task);

  StoreHold<CParamStore> hold(task.paramStore, StoreHold<CParamStore>::Try);
  if (!hold || !task.paramStore->data) return !Aborted(task);
  CParamStore& params = *task.paramStore;

  data.unmatchedCount = 0;
  // A missing counter would drop its type or area from the lists, and so from every export,
  // without a word: without memory for one the stage fails instead (the pipeline catches it).
  if (SchemaSet* schema = params.CurrentSchema()) {
    for (SchemaEntry& entry : CParamStore::Entries(*schema)) {
      TypeCounter* c = GrowByOne(context, data.typeCounters, data.typeCounterCount);
      if (!c) throw std::bad_alloc();
      c->entry = &entry;
    }
  }
  std::span<FilterArea> areas = params.Filters();
  // The counter of each area, or null for a disabled or deleted one (or a missing counter).
  TrackedPtr<AreaCounter*> counterOf(
      static_cast<AreaCounter**>(MemAllocZero(context, areas.size() * sizeof(AreaCounter*))),
      TrackedDeleter{context});
  for (std::size_t j = 0; j < areas.size(); ++j) {
    const FilterArea& a = areas[j];
    if ((a.Param & PARAM_DELETED) || !(a.Param & PARAM_ENABLED)) continue;
    AreaCounter* c = GrowByOne(context, data.areaCounters, data.areaCounterCount);
    if (!c) throw std::bad_alloc();
    c->area = &areas[j];
  }
  // Counters may have moved while the array grew: map areas to them only now.
  if (counterOf) {
    for (std::uint32_t k = 0; k < data.areaCounterCount; ++k)
      counterOf.get()[data.areaCounters[k].area - areas.data()] = &data.areaCounters[k];
  }

  if (data.areaCounterCount == 0 || data.typeCounterCount == 0) return !Aborted(task);

  std::span<const TypeCounter> types(data.typeCounters, data.typeCounterCount);
  const std::uint32_t n = data.recordCount;
  const PoiRecord* records = data.records;
  ProgressSteps progress(task, n);

  auto typeOf = [&](std::size_t k) { return types[k].entry->Type; };
  TypeIndex index(types.size(), typeOf);
  AreaGrid grid(areas);
  const RecordBatches batches = PlanRecordBatches(n);
  // Each thread counts into its own tallies: the records no entry describes, one count per
  // type counter, one per area. Sums do not depend on who counted what.
  // Each thread's tallies start a cache line of their own.
  constexpr std::size_t kLineWords = 64 / sizeof(std::uint32_t);
  const std::size_t tallyWords =
      (1 + types.size() + areas.size() + kLineWords - 1) & ~(kLineWords - 1);
  const std::size_t areaBytes = (grid.Bytes() + 7) & ~std::size_t{7};
  const std::size_t indexBytes = (index.Bytes() + 7) & ~std::size_t{7};
  TrackedPtr<void> scratch(
      counterOf ? MemAlloc(context,
                           areaBytes + indexBytes +
                               (batches.threads * tallyWords + kLineWords) * sizeof(std::uint32_t))
                : nullptr,
      TrackedDeleter{context});

  if (scratch) {
    char* block = static_cast<char*>(scratch.get());
    grid.Build(block);
    index.Build(block + areaBytes, typeOf);
    std::uint32_t* tallies = reinterpret_cast<std::uint32_t*>(
        (reinterpret_cast<std::uintptr_t>(block + areaBytes + indexBytes) + 63) &
        ~std::uintptr_t{63});
    std::fill(tallies, tallies + batches.threads * tallyWords, 0u);
    auto work = [&](std::size_t b, unsigned thread) {
      std::uint32_t* tally = tallies + thread * tallyWords;
      std::uint32_t* typeCounts = tally + 1;
      std::uint32_t* hits = typeCounts + types.size();
      const std::uint32_t end = std::min(n, batches.First(b + 1));
      for (std::uint32_t i = batches.First(b); i < end; ++i) {
        const PoiRecord& r = records[i];
        std::uint32_t t = index.Find(r.TYPE);
        if (t == TypeIndex::kNone) {
          ++tally[0];
        } else if (grid.Count(r.X, r.Y, hits)) {
          ++typeCounts[t];
        }
      }
    };
    auto commit = [&](std::size_t b) {
      progress.At(batches.First(b));
      return true;
    };
    RunOrdered(batches.count, batches.threads, kMaxWindow, work, commit,
               [&] { return Aborted(task); });
    for (unsigned thread = 0; thread < batches.threads; ++thread) {
      const std::uint32_t* tally = tallies + thread * tallyWords;
      data.unmatchedCount += tally[0];
      for (std::size_t k = 0; k < types.size(); ++k) data.typeCounters[k].count += tally[1 + k];
      for (std::size_t j = 0; j < areas.size(); ++j)
        if (AreaCounter* c = counterOf.get()[j]) c->count += tally[1 + types.size() + j];
    }
  } else {
    // Not enough memory for the tables: the same counts the slow way.
    for (std::uint32_t i = 0; i < n; ++i) {
      if (task.abortFlag.load(std::memory_order_relaxed)) break;
      progress.At(i);
      const PoiRecord& r = records[i];
      TypeCounter* type = nullptr;
      for (std::uint32_t k = 0; k < data.typeCounterCount && !type; ++k)
        if (data.typeCounters[k].entry->Type == r.TYPE) type = &data.typeCounters[k];
      if (!type) {
        ++data.unmatchedCount;
        continue;
      }
      bool counted = false;
      for (const FilterArea& a : areas) {
        if (!AreaContains(a, r.X, r.Y)) continue;
        if (!counted) {
          ++type->count;
          counted = true;
        }
        for (std::uint32_t k = 0; k < data.areaCounterCount; ++k)
          if (data.areaCounters[k].area == &a) ++data.areaCounters[k].count;
      }
    }
  }
  return !Aborted(task);
}

}  // namespace tarvik
