#pragma once
// The base layer of a map picture: the loaded POIs binned into the pixels of the view and
// coloured by how many each pixel holds, on a logarithmic scale; or, once few enough are in
// view, each POI as a dot in the colour of its type.
//
// Nothing is allocated per point, and nothing beyond the picture: one counting pass over the
// records into the picture's own pixels, one pass that turns each count into its colour. The
// records are read where they lie.
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
}  // namespace map_colors

// Fewer POIs than this in view are drawn as dots by type.
constexpr std::uint32_t kDotsBelow = 20000;

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

 private:
  TrackedBuffer<Argb> pixels_;
  int width_ = 0, height_ = 0;
};

// The colour of density level t (0 < t <= 1: lightest to darkest).
Argb DensityColor(double t);
// The colour of the dots of legend entry i.
Argb TypeColor(std::size_t i);

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
  bool Render(std::span<const PoiRecord> records, const MapView& view, MapImage& image,
              DensityStats& stats);

  // Dot pictures: how many POIs in view each legend entry had, and last those of no entry.
  std::span<const std::uint32_t> TypeCounts() const {
    return {typeCounts_.data(), typeCounts_.size()};
  }

 private:
  void Colour(MapImage& image, DensityStats& stats);
  void Dots(std::span<const PoiRecord> records, std::span<const std::uint32_t> seen,
            const MapView& view, MapImage& image);

  TrackedBuffer<std::uint32_t> typeCounts_;
  TrackedBuffer<std::uint32_t> indexScratch_;
  TrackedBuffer<std::uint32_t> inView_;  // room for the first kDotsBelow in view
  std::optional<TypeIndex> index_;
};

}  // namespace tarvik
