#pragma once
// Finds the areas that hold a point without testing every area, for the filter's counts and
// the export's selection.
//
// A grid spans the areas' bounding box, cut to the finite points' where many areas reach
// beyond them. Each area covers a block of cells: the cells of the block's rim may hold points on
// either side of an edge and list the area, so a point gets the exact inside test only against
// the areas whose rim passes its cell; the cells within the rim lie wholly inside, so their
// points are counted per cell and added to the area at the end (by prefix sums), however many
// such areas there are. The cell of a coordinate never decreases as the coordinate grows: a
// cell right of the cell of an area's west edge holds only points east of that edge, so the
// inside test stays exactly that of `CornersContain` (strict on every side; swapped, equal or
// NaN corners hold nothing; infinite corners are open sides).
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/tracked_array.h"
#include "processing/poi_store.h"

namespace tarvik {

struct AreaBox {
  double ax, ay, cx, cy;  // north-west corner A, south-east corner C
};

struct AreaPoint {
  double x, y;
};

// Adds to counts[j] the points that area j holds, the same counts as testing every point
// against every area, in O((points + areas) log points) steps however the areas overlap:
// points in order of x put their rank in order of y into a Fenwick tree, and each area asks
// for its band of ranks as the sweep passes its west edge and its east edge. The points are
// reordered; none may be NaN. False when memory ran out.
bool SweepCounts(CAppContext* context, std::span<const AreaBox> areas, std::span<AreaPoint> points,
                 std::uint32_t* counts);

class AreaIndex {
 public:
  static constexpr std::uint32_t kOutside = UINT32_MAX;

  explicit AreaIndex(CAppContext* context);

  // Indexes `areas` (kept by the caller while the index is used) for the points of `records`;
  // false when memory ran out.
  bool Build(std::span<const AreaBox> areas, std::span<const PoiRecord> records);

  std::size_t cells() const { return std::size_t{side_} * side_; }

  // The cell of a point, or kOutside when no area holds it.
  std::uint32_t CellOf(double x, double y) const {
    if (!(x >= loX_ && x <= hiX_ && y >= loY_ && y <= hiY_)) return kOutside;
    return Cell(y, loY_, scaleY_) * side_ + Cell(x, loX_, scaleX_);
  }

  // Some area holds every point of the cell.
  bool Whole(std::uint32_t cell) const { return whole_.data()[cell] != 0; }

  // Adds the point to hits[j] of every area j whose rim passes `cell` and that holds it; true
  // when one does. Reads the index only, so threads may count at once, each into its own hits.
  bool CountRims(std::uint32_t cell, double x, double y, std::uint32_t* hits) const;

  // Whether some area holds the point.
  bool Contains(double x, double y) const;

  // Adds to counts[j] the points of area j's cells within its rim, given the points of each
  // cell (cells() entries; only the Whole cells matter).
  void AddInnerCounts(const std::uint32_t* pointsPerCell, std::uint32_t* counts);

  // Whether counting `records` through the rims takes more than `limit` inside tests: where
  // areas pile up over dense points, SweepCounts does the same work in fewer steps.
  bool RimTestsAbove(std::span<const PoiRecord> records, std::uint64_t limit) const;

 private:
  // The cells an area covers along one axis, and those of them within its rim.
  struct Span {
    std::uint32_t first, last;
    std::uint32_t innerFirst, innerLast;  // none when innerFirst > innerLast
  };
  struct Block {
    std::uint16_t x0, x1, y0, y1;  // the cells within the rim; none when x0 > x1
  };

  std::uint32_t Cell(double v, double lo, double scale) const {
    const double t = (v - lo) * scale;
    if (!(t > 0)) return 0;
    if (t >= side_) return side_ - 1;
    return static_cast<std::uint32_t>(t);
  }
  bool Axis(double low, double high, double lo, double hi, double scale, Span& s) const;
  bool Spans(const AreaBox& a, Span& x, Span& y) const;
  void Scale();
  std::uint64_t RimCells() const;

  std::span<const AreaBox> areas_;
  std::uint32_t side_ = 0;
  double loX_ = 1, hiX_ = 0, loY_ = 1, hiY_ = 0;  // empty until built
  double scaleX_ = 0, scaleY_ = 0;
  std::uint32_t maxRims_ = 0;  // areas listed in the fullest cell
  TrackedBuffer<Block> blocks_;
  TrackedBuffer<std::uint32_t> offsets_;  // cells() + 1 starts in rims_
  TrackedBuffer<std::uint32_t> rims_;     // per cell, the areas whose rim passes it
  TrackedBuffer<std::uint8_t> whole_;
  TrackedBuffer<std::uint32_t> sums_;  // (side + 1)², for the coverage and the inner counts
};

}  // namespace tarvik
