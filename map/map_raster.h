#pragma once
// The base layer of a map picture: the loaded POIs binned into the pixels of the view and
// coloured by how many each pixel holds, on a logarithmic scale; or, once few enough are in
// view, each POI as a dot in the colour of its type.
//
// Nothing is allocated per point: one counting pass over the records into 16-bit counters
// kept from frame to frame, one pass that turns each count into a palette index. The records
// are read where they lie. A picture is one byte a pixel, so that a window can keep one on
// show and draw the next for a fraction of a colour picture's memory.
#include <cstdint>
#include <optional>
#include <span>

#include "core/tracked_array.h"
#include "map/map_view.h"
#include "processing/poi_store.h"
#include "processing/type_index.h"

namespace tarvik {

// Colours are 0xAARRGGBB.
using Argb = std::uint32_t;

namespace map_colors {
constexpr Argb kBackground = 0xFFF3F1EC;
constexpr Argb kOtherType = 0xFF8C8C8C;
constexpr Argb kCoast = 0xFF5D86AE;   // coastlines and lake shores
constexpr Argb kBorder = 0xFF8A6D93;  // national borders
}  // namespace map_colors

// The last palette indices of both palettes are the geography's lines over the background:
// kLineShades shades of the coast colour from kCoastIndex, then of the border colour from
// kBorderIndex; shade s covers (s + 1) / kLineShades of the pixel.
constexpr int kLineShades = 4;
constexpr std::uint8_t kCoastIndex = 256 - 2 * kLineShades;
constexpr std::uint8_t kBorderIndex = 256 - kLineShades;
// Density pictures: 1 is the lightest level (one POI), this the darkest.
constexpr std::uint8_t kTopDensityLevel = kCoastIndex - 1;

// Fewer POIs than this in view are drawn as dots by type.
constexpr std::uint32_t kDotsBelow = 20000;

// Palette indices, one byte a pixel, rows from the top.
class IndexedImage {
 public:
  explicit IndexedImage(CAppContext* context) : context_(context), words_(context) {}
  // False when memory ran out (the image is then empty).
  bool Resize(int width, int height);
  int Width() const { return width_; }
  int Height() const { return height_; }
  std::uint8_t* Row(int y) {
    return reinterpret_cast<std::uint8_t*>(words_.data()) + static_cast<std::size_t>(y) * width_;
  }
  const std::uint8_t* Row(int y) const {
    return reinterpret_cast<const std::uint8_t*>(words_.data()) +
           static_cast<std::size_t>(y) * width_;
  }
  // The colours of the 256 indices.
  const Argb* Palette() const { return palette_; }
  void SetPalette(const Argb* palette) { palette_ = palette; }
  Argb Pixel(int x, int y) const { return palette_[Row(y)[x]]; }
  std::size_t Bytes() const { return words_.capacity() * sizeof(std::uint32_t); }

 private:
  friend class MapImage;

  CAppContext* context_;
  // Whole words, so that a colour picture can take the block over and grow it in place.
  TrackedBuffer<std::uint32_t> words_;
  const Argb* palette_ = nullptr;
  int width_ = 0, height_ = 0;
};

// An opaque picture, rows from the top.
class MapImage {
 public:
  explicit MapImage(CAppContext* context) : pixels_(context) {}
  // False when memory ran out (the image is then empty).
  bool Resize(int width, int height);
  int Width() const { return width_; }
  int Height() const { return height_; }
  Argb* Row(int y) { return pixels_.data() + static_cast<std::size_t>(y) * width_; }
  const Argb* Row(int y) const { return pixels_.data() + static_cast<std::size_t>(y) * width_; }
  Argb Pixel(int x, int y) const { return Row(y)[x]; }
  std::size_t Bytes() const { return pixels_.capacity() * sizeof(Argb); }
  // Takes over the block of `indexed` and turns its indices into their colours in place, so
  // the two pictures are never held at once; `indexed` is left empty. False when memory ran
  // out (both are then empty).
  bool TakeColors(IndexedImage& indexed);

 private:
  TrackedBuffer<Argb> pixels_;
  int width_ = 0, height_ = 0;
};

// The colour of density level t (0 < t <= 1: lightest to darkest).
Argb DensityColor(double t);
// The palettes of the pictures: index 0 is the background; then the density levels, or the
// colours of the dots by legend entry (TypeColor) and last kOtherType; last the line shades.
const Argb* DensityPalette();
const Argb* DotPalette();
// The colour of the dots of legend entry i.
Argb TypeColor(std::size_t i);

// The pixels of a picture drawn afresh: columns [left, right) and rows [top, bottom), each
// whole.
struct FreshPixels {
  int left = 0, right = 0, top = 0, bottom = 0;
  bool Holds(int x, int y) const { return (x >= left && x < right) || (y >= top && y < bottom); }
};

struct DensityStats {
  std::uint32_t inView = 0;       // POIs inside the picture
  std::uint32_t maxPerPixel = 0;  // density pictures: the most in one pixel
  bool dots = false;              // drawn as dots by type
};

class DensityLayer {
 public:
  explicit DensityLayer(CAppContext* context);

  // The types whose dots get their own colour, in legend order (entry i: TypeColor(i));
  // a later repeat of a type is never found. False when memory ran out.
  bool SetTypes(std::span<const std::int32_t> types);

  // Draws the records as seen through `view` into `image` (resized to the view). False when
  // memory ran out.
  bool Render(std::span<const PoiRecord> records, const MapView& view, IndexedImage& image,
              DensityStats& stats);

  // What a frame may take over from the one before: the picture this layer drew last (with
  // whatever was drawn into it since), and the stamp of the records it was drawn from
  // (PoiData::recordsStamp).
  struct Previous {
    const IndexedImage* image = nullptr;
    std::uint64_t stamp = 0;
  };
  // As Render, for a window that pans: when the view moved by whole pixels at the same scales
  // since the last frame of the same records, the counts move with it and only the columns
  // and rows it uncovered are counted; the picture's other pixels are copied from
  // `previous.image` while the darkest pixel keeps its count. `fresh` gets the pixels drawn
  // afresh (all of them when the frame was drawn whole).
  bool Render(std::span<const PoiRecord> records, const MapView& view, IndexedImage& image,
              DensityStats& stats, const Previous& previous, FreshPixels& fresh);

  // The layer's own memory, kept from frame to frame: mostly the counters, two bytes a pixel.
  std::size_t Bytes() const;

  // Dot pictures: how many POIs in view each legend entry had, and last those of no entry.
  std::span<const std::uint32_t> TypeCounts() const {
    return {typeCounts_.data(), typeCounts_.size()};
  }

 private:
  // Counts the records in view into zeroed counters, and draws them as dots when few are.
  void Count(std::span<const PoiRecord> records, const MapView& view, IndexedImage& image,
             DensityStats& stats);
  // Counts the records in view in the `fresh` pixels only; how many there were.
  std::uint32_t CountFresh(std::span<const PoiRecord> records, const MapView& view,
                           const FreshPixels& fresh);
  // A counter wrapped.
  void Spilled(std::uint32_t pixel);
  // Moves the counters dx columns to the right and dy rows down (negative: left, up), zeroing
  // what the move uncovers; how many POIs the pixels moved out held.
  std::uint64_t ShiftCounts(int width, int height, int dx, int dy);
  // The most POIs in one pixel.
  std::uint32_t MostInPixel(std::size_t pixels) const;
  // The same, given the top counter (a wrapped pixel's counter may be below it).
  std::uint32_t Most(std::uint16_t top) const;
  // The levels of the `fresh` pixels of the picture; stats.maxPerPixel is their top.
  void Colour(IndexedImage& image, const DensityStats& stats, const FreshPixels& fresh);
  void Dots(std::span<const PoiRecord> records, std::span<const std::uint32_t> seen,
            const MapView& view, IndexedImage& image);

  // A pixel whose counter went past 65535 `wraps` times. Each wrap takes 65536 POIs, so a
  // list of records / 65536 entries never fills.
  struct Spill {
    std::uint32_t pixel, wraps;
  };
  // The POIs in a spilled pixel.
  std::uint32_t Whole(const Spill& s) const {
    return s.wraps * kCounterRange + counts_.data()[s.pixel];
  }
  static constexpr std::uint32_t kCounterRange = 65536;  // what a 16-bit counter holds
  CAppContext* context_;
  TrackedBuffer<std::uint16_t> counts_;
  TrackedBuffer<Spill> spills_;
  TrackedBuffer<std::uint32_t> typeCounts_;
  TrackedBuffer<std::uint32_t> indexScratch_;
  TrackedBuffer<std::uint32_t> inView_;  // room for the first kDotsBelow in view
  std::optional<TypeIndex> index_;
  // The counters hold the frame of `countedView_` over the records of `countedStamp_`
  // (`countedRecords_` of them at `countedData_`), whose densest pixel held `countedMax_`.
  bool counted_ = false;
  MapView countedView_;
  std::uint64_t countedStamp_ = 0;
  const PoiRecord* countedData_ = nullptr;
  std::size_t countedRecords_ = 0;
  std::uint32_t countedMax_ = 0;
  std::uint32_t countedInView_ = 0;
  bool countedDots_ = false;
};

}  // namespace tarvik
