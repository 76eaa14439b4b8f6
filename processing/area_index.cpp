#include "processing/area_index.h"

#include <algorithm>
#include <cmath>

#include "params/param_store.h"
#include "processing/parallel.h"

namespace tarvik {
namespace {

// At most 256 × 256 cells: the filter keeps a count per cell on every thread.
constexpr std::uint32_t kMaxSide = 256;
// Up to this many areas, the grid spans their own box (see Build).
constexpr std::size_t kFewAreas = 32;

std::uint64_t RimBudget(std::size_t areas) {
  return 16 * std::uint64_t{areas} + 65536;
}

}  // namespace

AreaIndex::AreaIndex(CAppContext* context)
    : blocks_(context), offsets_(context), rims_(context), whole_(context), sums_(context) {}

// An axis of an area from its low to its high edge: false when no point of the grid lies
// between them.
bool AreaIndex::Axis(double low, double high, double lo, double hi, double scale, Span& s) const {
  if (!(low < high) || !(low < hi) || !(high > lo)) return false;
  // An edge beyond the grid is an open side: every cell up to it is within the rim.
  const bool openLow = low < lo;
  const bool openHigh = high > hi;
  s.first = openLow ? 0 : Cell(low, lo, scale);
  s.last = openHigh ? side_ - 1 : Cell(high, lo, scale);
  s.innerFirst = s.first + !openLow;
  s.innerLast = s.last - !openHigh;  // wraps below first when last is 0: none
  if (s.innerFirst > s.innerLast || s.innerLast >= side_) s.innerFirst = 1, s.innerLast = 0;
  return true;
}

bool AreaIndex::Spans(const AreaBox& a, Span& x, Span& y) const {
  return Axis(a.ax, a.cx, loX_, hiX_, scaleX_, x) && Axis(a.cy, a.ay, loY_, hiY_, scaleY_, y);
}

void AreaIndex::Scale() {
  scaleX_ = side_ / (hiX_ - loX_);
  scaleY_ = side_ / (hiY_ - loY_);
  // A span too small or too large to divide: one column or row holds everything.
  if (!std::isfinite(scaleX_)) scaleX_ = 0;
  if (!std::isfinite(scaleY_)) scaleY_ = 0;
}

std::uint64_t AreaIndex::RimCells() const {
  std::uint64_t n = 0;
  Span x, y;
  for (const AreaBox& a : areas_) {
    if (!Spans(a, x, y)) continue;
    const std::uint64_t inner =
        x.innerFirst <= x.innerLast && y.innerFirst <= y.innerLast
            ? std::uint64_t{x.innerLast - x.innerFirst + 1} * (y.innerLast - y.innerFirst + 1)
            : 0;
    n += std::uint64_t{x.last - x.first + 1} * (y.last - y.first + 1) - inner;
  }
  return n;
}

bool AreaIndex::Build(std::span<const AreaBox> areas, std::span<const PoiRecord> records) {
  areas_ = areas;
  if (!blocks_.Reserve(areas.size() ? areas.size() : 1)) return false;

  // The grid spans the areas' box, cut to the finite points' box where that pays. A point
  // outside it is in no area (beyond the westmost west edge, say); a point with a NaN or
  // infinite coordinate is in none either.
  double ax0 = HUGE_VAL, ax1 = -HUGE_VAL, ay0 = HUGE_VAL, ay1 = -HUGE_VAL;
  std::size_t valid = 0;
  for (const AreaBox& a : areas) {
    if (!(a.ax < a.cx && a.cy < a.ay)) continue;
    ++valid;
    ax0 = std::min(ax0, a.ax);
    ax1 = std::max(ax1, a.cx);
    ay0 = std::min(ay0, a.cy);
    ay1 = std::max(ay1, a.ay);
  }
  loX_ = ax0, hiX_ = ax1, loY_ = ay0, hiY_ = ay1;
  // Cut to the points' box, which takes a pass over every record: worth it when many areas
  // reach beyond the points (rims outside them list nothing) or a corner is infinite; a few
  // areas grid their own box, as cheap to test as to place.
  if (valid > kFewAreas || !std::isfinite(ax0) || !std::isfinite(ax1) || !std::isfinite(ay0) ||
      !std::isfinite(ay1)) {
    // Each thread over batches of its own, as the counting shares them.
    struct Box {
      double x0 = HUGE_VAL, x1 = -HUGE_VAL, y0 = HUGE_VAL, y1 = -HUGE_VAL;
    };
    const RecordBatches batches = PlanRecordBatches(static_cast<std::uint32_t>(records.size()));
    alignas(64) Box boxes[kMaxThreads];
    RunOrdered(
        batches.count, batches.threads, kMaxWindow,
        [&](std::size_t b, unsigned thread) {
          Box box = boxes[thread];
          const std::size_t end = std::min<std::size_t>(records.size(), batches.First(b + 1));
          for (std::size_t i = batches.First(b); i < end; ++i) {
            const PoiRecord& r = records[i];
            if (!(std::isfinite(r.X) && std::isfinite(r.Y))) continue;
            box.x0 = std::min(box.x0, r.X);
            box.x1 = std::max(box.x1, r.X);
            box.y0 = std::min(box.y0, r.Y);
            box.y1 = std::max(box.y1, r.Y);
          }
          boxes[thread] = box;
        },
        [](std::size_t) { return true; }, [] { return false; });
    Box all;
    for (unsigned t = 0; t < batches.threads; ++t) {
      all.x0 = std::min(all.x0, boxes[t].x0);
      all.x1 = std::max(all.x1, boxes[t].x1);
      all.y0 = std::min(all.y0, boxes[t].y0);
      all.y1 = std::max(all.y1, boxes[t].y1);
    }
    loX_ = std::max(loX_, all.x0), hiX_ = std::min(hiX_, all.x1);
    loY_ = std::max(loY_, all.y0), hiY_ = std::min(hiY_, all.y1);
  }
  side_ = 0;
  maxRims_ = 0;
  if (!(loX_ <= hiX_ && loY_ <= hiY_)) {
    loX_ = loY_ = 1, hiX_ = hiY_ = 0;
    return true;
  }

  // As many cells as the rims' budget allows, up to a few per point and some 64 per area:
  // beyond that cells only add counters to clear and sum.
  side_ = kMaxSide;
  while (side_ > 1 && (std::uint64_t{side_} * side_ > 4 * std::uint64_t{records.size()} ||
                       std::uint64_t{side_} * side_ > 64 * std::uint64_t{valid}))
    side_ /= 2;
  const std::uint64_t budget = RimBudget(areas.size());
  std::uint64_t listed;
  for (;;) {
    Scale();
    listed = RimCells();
    if (listed <= budget || side_ == 1) break;
    side_ /= 2;
  }

  const std::size_t cellCount = cells();
  const std::size_t sumCount = std::size_t{side_ + 1} * (side_ + 1);
  if (!offsets_.Reserve(cellCount + 1) || !rims_.Reserve(listed ? listed : 1) ||
      !whole_.Reserve(cellCount) || !sums_.Reserve(sumCount))
    return false;
  std::uint32_t* offsets = offsets_.data();
  std::uint32_t* rims = rims_.data();
  std::uint32_t* sums = sums_.data();
  std::fill(offsets, offsets + cellCount + 1, 0u);
  std::fill(sums, sums + sumCount, 0u);

  // Calls f(cell) for each cell of the area's rim.
  auto forRim = [&](const Span& x, const Span& y, auto f) {
    const bool inner = x.innerFirst <= x.innerLast;
    // Rows within the rim whose every column is within it too hold no rim cell.
    const bool sides = x.first < x.innerFirst || x.innerLast < x.last;
    for (std::uint32_t r = y.first; r <= y.last; ++r) {
      const std::uint32_t row = r * side_;
      if (inner && r >= y.innerFirst && r <= y.innerLast) {
        if (!sides) {
          r = y.innerLast;
          continue;
        }
        for (std::uint32_t c = x.first; c < x.innerFirst; ++c) f(row + c);
        for (std::uint32_t c = x.innerLast + 1; c <= x.last; ++c) f(row + c);
      } else {
        for (std::uint32_t c = x.first; c <= x.last; ++c) f(row + c);
      }
    }
  };
  Span x, y;
  const std::size_t stride = side_ + 1;
  for (std::size_t j = 0; j < areas.size(); ++j) {
    Block& b = blocks_.data()[j];
    b = {1, 0, 1, 0};
    if (!Spans(areas[j], x, y)) continue;
    forRim(x, y, [&](std::uint32_t cell) { ++offsets[cell + 1]; });
    if (x.innerFirst > x.innerLast || y.innerFirst > y.innerLast) continue;
    b = {static_cast<std::uint16_t>(x.innerFirst), static_cast<std::uint16_t>(x.innerLast),
         static_cast<std::uint16_t>(y.innerFirst), static_cast<std::uint16_t>(y.innerLast)};
    // The block's corners in a difference table: its prefix sums count the blocks over a cell.
    ++sums[y.innerFirst * stride + x.innerFirst];
    --sums[y.innerFirst * stride + x.innerLast + 1];
    --sums[(y.innerLast + 1) * stride + x.innerFirst];
    ++sums[(y.innerLast + 1) * stride + x.innerLast + 1];
  }
  for (std::size_t c = 0; c < cellCount; ++c) offsets[c + 1] += offsets[c];
  // Each cell filled from its start; offsets[c] ends at the start of cell c + 1, so the shift
  // afterwards restores the starts.
  for (std::size_t j = 0; j < areas.size(); ++j) {
    if (!Spans(areas[j], x, y)) continue;
    forRim(x, y,
           [&](std::uint32_t cell) { rims[offsets[cell]++] = static_cast<std::uint32_t>(j); });
  }
  for (std::size_t c = cellCount; c > 0; --c) offsets[c] = offsets[c - 1];
  offsets[0] = 0;
  maxRims_ = 0;
  for (std::size_t c = 0; c < cellCount; ++c)
    maxRims_ = std::max(maxRims_, offsets[c + 1] - offsets[c]);

  std::uint8_t* whole = whole_.data();
  for (std::uint32_t r = 0; r < side_; ++r) {
    std::uint32_t run = 0;
    for (std::uint32_t c = 0; c < side_; ++c) {
      run += sums[r * stride + c];
      if (r > 0)
        sums[r * stride + c] = run + sums[(r - 1) * stride + c];
      else
        sums[r * stride + c] = run;
      whole[r * side_ + c] = sums[r * stride + c] != 0;
    }
  }
  return true;
}

bool AreaIndex::RimTestsAbove(std::span<const PoiRecord> records, std::uint64_t limit) const {
  if (std::uint64_t{maxRims_} * records.size() <= limit) return false;
  const std::uint32_t* offsets = offsets_.data();
  std::uint64_t tests = 0;
  for (const PoiRecord& r : records) {
    const std::uint32_t cell = CellOf(r.X, r.Y);
    if (cell != kOutside && (tests += offsets[cell + 1] - offsets[cell]) > limit) return true;
  }
  return false;
}

bool AreaIndex::CountRims(std::uint32_t cell, double x, double y, std::uint32_t* hits) const {
  const std::uint32_t* offsets = offsets_.data();
  const std::uint32_t* rims = rims_.data();
  const AreaBox* boxes = areas_.data();
  bool any = false;
  for (std::uint32_t k = offsets[cell]; k < offsets[cell + 1]; ++k) {
    const AreaBox& a = boxes[rims[k]];
    const bool in = CornersContain(a.ax, a.ay, a.cx, a.cy, x, y);
    hits[rims[k]] += in;
    any |= in;
  }
  return any;
}

bool AreaIndex::Contains(double x, double y) const {
  const std::uint32_t cell = CellOf(x, y);
  if (cell == kOutside) return false;
  if (Whole(cell)) return true;
  const std::uint32_t* offsets = offsets_.data();
  const std::uint32_t* rims = rims_.data();
  const AreaBox* boxes = areas_.data();
  for (std::uint32_t k = offsets[cell]; k < offsets[cell + 1]; ++k) {
    const AreaBox& a = boxes[rims[k]];
    if (CornersContain(a.ax, a.ay, a.cx, a.cy, x, y)) return true;
  }
  return false;
}

void AreaIndex::AddInnerCounts(const std::uint32_t* pointsPerCell, std::uint32_t* counts) {
  if (!side_) return;
  // sums[(r + 1) * stride + c + 1]: the points of the cells up to row r and column c. Counts
  // never pass 2^32 in all, so differences in unsigned arithmetic are exact.
  const std::size_t stride = side_ + 1;
  std::uint32_t* sums = sums_.data();
  std::fill(sums, sums + stride, 0u);
  for (std::uint32_t r = 0; r < side_; ++r) {
    std::uint32_t run = 0;
    sums[(r + 1) * stride] = 0;
    for (std::uint32_t c = 0; c < side_; ++c) {
      run += pointsPerCell[r * side_ + c];
      sums[(r + 1) * stride + c + 1] = run + sums[r * stride + c + 1];
    }
  }
  for (std::size_t j = 0; j < areas_.size(); ++j) {
    const Block& b = blocks_.data()[j];
    if (b.x0 > b.x1) continue;
    counts[j] += sums[(b.y1 + 1) * stride + b.x1 + 1] - sums[b.y0 * stride + b.x1 + 1] -
                 sums[(b.y1 + 1) * stride + b.x0] + sums[b.y0 * stride + b.x0];
  }
}

bool SweepCounts(CAppContext* context, std::span<const AreaBox> areas, std::span<AreaPoint> points,
                 std::uint32_t* counts) {
  const std::size_t n = points.size();
  // Each area's band of y ranks and its two places in the order of x: a count of the points
  // swept before the question is asked.
  struct Question {
    std::uint32_t swept, lo, hi, area;
    bool east;  // adds; the west edge's question subtracts
  };
  TrackedBuffer<double> ys(context), xs(context);
  TrackedBuffer<std::uint32_t> tree(context);
  TrackedBuffer<Question> questions(context);
  if (!ys.Reserve(n ? n : 1) || !xs.Reserve(n ? n : 1) || !tree.Reserve(n + 1) ||
      !questions.Reserve(2 * areas.size() + 1))
    return false;
  std::sort(points.begin(), points.end(),
            [](const AreaPoint& a, const AreaPoint& b) { return a.y < b.y; });
  for (std::size_t i = 0; i < n; ++i) ys.data()[i] = points[i].y;
  // The rank in order of y rides in y's place from here on.
  for (std::size_t i = 0; i < n; ++i) points[i].y = static_cast<double>(i);
  std::sort(points.begin(), points.end(),
            [](const AreaPoint& a, const AreaPoint& b) { return a.x < b.x; });
  for (std::size_t i = 0; i < n; ++i) xs.data()[i] = points[i].x;

  const double* y0 = ys.data();
  const double* x0 = xs.data();
  std::size_t asked = 0;
  for (std::size_t j = 0; j < areas.size(); ++j) {
    const AreaBox& a = areas[j];
    if (!(a.ax < a.cx && a.cy < a.ay)) continue;  // swapped, equal or NaN: holds nothing
    // Strict on every side: y above cy and below ay, x above ax and below cx.
    const auto lo = static_cast<std::uint32_t>(std::upper_bound(y0, y0 + n, a.cy) - y0);
    const auto hi = static_cast<std::uint32_t>(std::lower_bound(y0, y0 + n, a.ay) - y0);
    if (lo >= hi) continue;
    const auto west = static_cast<std::uint32_t>(std::upper_bound(x0, x0 + n, a.ax) - x0);
    const auto east = static_cast<std::uint32_t>(std::lower_bound(x0, x0 + n, a.cx) - x0);
    if (west >= east) continue;
    questions.data()[asked++] = {west, lo, hi, static_cast<std::uint32_t>(j), false};
    questions.data()[asked++] = {east, lo, hi, static_cast<std::uint32_t>(j), true};
  }
  Question* q = questions.data();
  std::sort(q, q + asked, [](const Question& a, const Question& b) { return a.swept < b.swept; });

  // tree[k], k from 1: the points swept with ranks (k - lowbit(k), k].
  std::uint32_t* t = tree.data();
  std::fill(t, t + n + 1, 0u);
  auto below = [&](std::uint32_t k) {  // swept points of rank < k
    std::uint32_t sum = 0;
    for (; k > 0; k &= k - 1) sum += t[k];
    return sum;
  };
  std::size_t swept = 0;
  for (std::size_t k = 0; k < asked; ++k) {
    for (; swept < q[k].swept; ++swept)
      for (std::size_t r = static_cast<std::size_t>(points[swept].y) + 1; r <= n; r += r & (~r + 1))
        ++t[r];
    const std::uint32_t inBand = below(q[k].hi) - below(q[k].lo);
    if (q[k].east)
      counts[q[k].area] += inBand;
    else
      counts[q[k].area] -= inBand;
  }
  return true;
}

}  // namespace tarvik
