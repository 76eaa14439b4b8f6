// The filter stage: counts the records per entry of the current schema and per enabled area.
#include <algorithm>
#include <cmath>
#include <new>
#include <span>

#include "core/store_lock.h"
#include "core/tracked_array.h"
#include "core/tracked_memory.h"
#include "params/param_store.h"
#include "processing/area_index.h"
#include "processing/parallel.h"
#include "processing/poi_store.h"
#include "processing/progress_steps.h"
#include "processing/task.h"
#include "processing/type_index.h"
#include "resources/string_ids.h"

namespace tarvik {
namespace {

// Steps of the sweep per record and halving of the records, in inside tests: what it costs
// to sort them and put them through the tree, against one test of a record in an area.
constexpr double kSweepCost = 2;

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
  // Every area, enabled or not, decides whether a record's type counts.
  TrackedBuffer<AreaBox> boxes(context);
  AreaIndex areaIndex(context);
  bool indexed = counterOf && boxes.Reserve(areas.size());
  if (indexed) {
    for (std::size_t j = 0; j < areas.size(); ++j)
      boxes.data()[j] = {areas[j].AX, areas[j].AY, areas[j].CX, areas[j].CY};
    indexed = areaIndex.Build({boxes.data(), areas.size()}, {records, n});
  }
  const RecordBatches batches = PlanRecordBatches(n);
  // Where areas pile up over dense points, testing each record against the areas whose rims
  // pass its cell costs more than sorting the records once: then the threads only ask whether
  // some area holds a record, and a sweep counts the areas.
  TrackedBuffer<AreaPoint> points(context);
  const auto sweepSteps = static_cast<std::uint64_t>(kSweepCost * n * std::log2(n + 1.0));
  bool sweep = indexed && areaIndex.RimTestsAbove({records, n}, sweepSteps) && points.Reserve(n);
  // Each thread counts into its own tallies: the records no entry describes, one count per
  // type counter, one per area (the hits of its rim cells) and one per cell of the index.
  // Sums do not depend on who counted what. Each thread's tallies start a cache line of their
  // own.
  constexpr std::size_t kLineWords = 64 / sizeof(std::uint32_t);
  const std::size_t cells = areaIndex.cells();
  const std::size_t tallyWords =
      (1 + types.size() + areas.size() + cells + kLineWords - 1) & ~(kLineWords - 1);
  const std::size_t indexBytes = (index.Bytes() + 7) & ~std::size_t{7};
  TrackedPtr<void> scratch(
      indexed ? MemAlloc(context, indexBytes + (batches.threads * tallyWords + kLineWords) *
                                                   sizeof(std::uint32_t))
              : nullptr,
      TrackedDeleter{context});

  if (scratch) {
    char* block = static_cast<char*>(scratch.get());
    index.Build(block, typeOf);
    std::uint32_t* tallies = reinterpret_cast<std::uint32_t*>(
        (reinterpret_cast<std::uintptr_t>(block + indexBytes) + 63) & ~std::uintptr_t{63});
    auto work = [&](std::size_t b, unsigned thread) {
      std::uint32_t* tally = tallies + thread * tallyWords;
      std::uint32_t* typeCounts = tally + 1;
      std::uint32_t* hits = typeCounts + types.size();
      std::uint32_t* cellCounts = hits + areas.size();
      const std::uint32_t end = std::min(n, batches.First(b + 1));
      for (std::uint32_t i = batches.First(b); i < end; ++i) {
        const PoiRecord& r = records[i];
        std::uint32_t t = index.Find(r.TYPE);
        if (t == TypeIndex::kNone) {
          ++tally[0];
        } else if (sweep) {
          typeCounts[t] += areaIndex.Contains(r.X, r.Y);
        } else if (const std::uint32_t cell = areaIndex.CellOf(r.X, r.Y);
                   cell != AreaIndex::kOutside) {
          bool in = areaIndex.CountRims(cell, r.X, r.Y, hits);
          if (areaIndex.Whole(cell)) {
            ++cellCounts[cell];
            in = true;
          }
          typeCounts[t] += in;
        }
      }
    };
    auto commit = [&](std::size_t b) {
      progress.At(batches.First(b));
      return true;
    };
    std::uint32_t* hits = tallies + 1 + types.size();
    for (;;) {
      std::fill(tallies, tallies + batches.threads * tallyWords, 0u);
      RunOrdered(batches.count, batches.threads, kMaxWindow, work, commit,
                 [&] { return Aborted(task); });
      for (unsigned thread = 1; thread < batches.threads; ++thread) {
        const std::uint32_t* tally = tallies + thread * tallyWords;
        for (std::size_t k = 0; k < tallyWords; ++k) tallies[k] += tally[k];
      }
      if (!sweep || Aborted(task)) break;
      std::size_t kept = 0;
      for (std::uint32_t i = 0; i < n; ++i) {
        const PoiRecord& r = records[i];
        if (index.Find(r.TYPE) != TypeIndex::kNone &&
            areaIndex.CellOf(r.X, r.Y) != AreaIndex::kOutside)
          points.data()[kept++] = {r.X, r.Y};
      }
      if (SweepCounts(context, {boxes.data(), areas.size()}, {points.data(), kept}, hits)) break;
      sweep = false;  // no memory for the sweep: the counts through the rims, then
    }
    areaIndex.AddInnerCounts(hits + areas.size(), hits);
    data.unmatchedCount += tallies[0];
    for (std::size_t k = 0; k < types.size(); ++k) data.typeCounters[k].count += tallies[1 + k];
    for (std::size_t j = 0; j < areas.size(); ++j)
      if (AreaCounter* c = counterOf.get()[j]) c->count += hits[j];
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
