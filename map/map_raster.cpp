#include "map/map_raster.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tarvik {
namespace {

struct Stop {
  double t;
  int r, g, b;
};
// Light blue for a lone POI, through blue, to a dark violet for the densest pixel: darker
// always means more, and the lightest is still plain on the background.
constexpr Stop kRamp[] = {
    {0.00, 107, 174, 214}, {0.35, 49, 130, 189}, {0.65, 33, 81, 156},
    {0.85, 74, 20, 134},   {1.00, 20, 0, 60},
};

constexpr Argb kTypeColors[] = {
    0xFF1F77B4, 0xFFFF7F0E, 0xFF2CA02C, 0xFFD62728, 0xFF9467BD, 0xFF8C564B,
    0xFFE377C2, 0xFF17BECF, 0xFFBCBD22, 0xFF393B79, 0xFFAD494A, 0xFF637939,
};

// Density levels: 0 is the background, 1..255 the ramp.
constexpr int kLevels = 256;
// Counts up to this get their level from a table made per frame.
constexpr std::uint32_t kTableCounts = 4096;

struct Ramp {
  Argb colors[kLevels];
  Ramp() {
    colors[0] = map_colors::kBackground;
    for (int i = 1; i < kLevels; ++i)
      colors[i] = DensityColor(static_cast<double>(i) / (kLevels - 1));
  }
};
const Ramp& TheRamp() {
  static const Ramp ramp;
  return ramp;
}

// MapView::ToPixel folded into one multiply-add per coordinate:
// pixel x = X * sx + ox, pixel y = oy - Y * sy.
struct Folded {
  explicit Folded(const MapView& v)
      : sx(v.PixelsPerDegreeX()),
        sy(v.scale),
        ox(v.width * 0.5 - v.centerX * sx),
        oy(v.height * 0.5 + v.centerY * sy) {}
  double sx, sy, ox, oy;
};

// Pixels of a dot, row by row: a disc five pixels across.
constexpr int kDotRadius = 2;
constexpr std::uint8_t kDot[5] = {0b01110, 0b11111, 0b11111, 0b11111, 0b01110};

}  // namespace

bool MapImage::Resize(int width, int height) {
  width_ = height_ = 0;
  if (width <= 0 || height <= 0) return width == 0 || height == 0;
  const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  if (!pixels_.Reserve(n)) return false;
  pixels_.Resize(n);
  width_ = width;
  height_ = height;
  return true;
}

Argb DensityColor(double t) {
  t = std::clamp(t, 0.0, 1.0);
  std::size_t k = 1;
  while (k + 1 < std::size(kRamp) && kRamp[k].t < t) ++k;
  const Stop& a = kRamp[k - 1];
  const Stop& b = kRamp[k];
  const double f = (t - a.t) / (b.t - a.t);
  auto mix = [f](int x, int y) { return static_cast<Argb>(std::lround(x + (y - x) * f)); };
  return 0xFF000000u | mix(a.r, b.r) << 16 | mix(a.g, b.g) << 8 | mix(a.b, b.b);
}

Argb TypeColor(std::size_t i) {
  return kTypeColors[i % std::size(kTypeColors)];
}

DensityLayer::DensityLayer(CAppContext* context)
    : typeCounts_(context), indexScratch_(context), inView_(context) {}

bool DensityLayer::SetTypes(std::span<const std::int32_t> types) {
  auto typeOf = [types](std::size_t k) { return types[k]; };
  index_.reset();
  typeCounts_.Clear();
  TypeIndex index(types.size(), typeOf);
  const std::size_t words = (index.Bytes() + 3) / 4;
  if (!indexScratch_.Reserve(words) || !typeCounts_.Reserve(types.size() + 1)) return false;
  index.Build(indexScratch_.data(), typeOf);
  index_.emplace(index);
  typeCounts_.Resize(types.size() + 1);
  std::fill_n(typeCounts_.data(), typeCounts_.size(), 0u);
  return true;
}

bool DensityLayer::Render(std::span<const PoiRecord> records, const MapView& view, MapImage& image,
                          DensityStats& stats) {
  stats = {};
  if (!inView_.Reserve(kDotsBelow) || !image.Resize(view.width, view.height)) return false;
  const int w = view.width, h = view.height;
  if (w == 0 || h == 0) return true;
  // The picture's own pixels hold the counts first and become their colours in place, so
  // the layer needs no memory beyond the picture.
  static_assert(sizeof(Argb) == sizeof(std::uint32_t));
  std::uint32_t* counts = image.Row(0);
  const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
  std::memset(counts, 0, n * sizeof(std::uint32_t));

  const Folded f(view);
  const double fw = w, fh = h;
  // The first few in view are remembered, so that a dot picture needs no second pass.
  std::uint32_t* seen = inView_.data();
  std::uint32_t inView = 0;
  const std::size_t count = records.size();
  const PoiRecord* rec = records.data();
  for (std::size_t i = 0; i < count; ++i) {
    const double px = rec[i].X * f.sx + f.ox;
    const double py = f.oy - rec[i].Y * f.sy;
    // Written so that NaN fails every comparison.
    if (px >= 0 && px < fw && py >= 0 && py < fh) {
      ++counts[static_cast<std::size_t>(static_cast<int>(py)) * w + static_cast<int>(px)];
      if (inView < kDotsBelow) seen[inView] = static_cast<std::uint32_t>(i);
      ++inView;
    }
  }
  stats.inView = inView;
  if (inView < kDotsBelow) {
    stats.dots = true;
    Dots(records, {seen, inView}, view, image);
  } else {
    Colour(image, stats);
  }
  return true;
}

void DensityLayer::Colour(MapImage& image, DensityStats& stats) {
  const std::size_t n =
      static_cast<std::size_t>(image.Width()) * static_cast<std::size_t>(image.Height());
  std::uint32_t* pixels = image.Row(0);
  std::uint32_t max = 0;
  for (std::size_t i = 0; i < n; ++i) max = std::max(max, pixels[i]);
  stats.maxPerPixel = max;

  // Level of a count: 1 + 254 * ln(c) / ln(max), so one POI is the lightest colour and the
  // fullest pixel the darkest; with max 1 every POI is the darkest.
  const double k = max > 1 ? (kLevels - 2) / std::log(static_cast<double>(max)) : 0;
  auto level = [k, max](std::uint32_t c) -> std::uint8_t {
    if (max <= 1) return kLevels - 1;
    return static_cast<std::uint8_t>(1 +
                                     static_cast<int>(std::log(static_cast<double>(c)) * k + 0.5));
  };
  std::uint8_t table[kTableCounts];
  const std::uint32_t tabled = std::min(max + 1, kTableCounts);
  table[0] = 0;
  for (std::uint32_t c = 1; c < tabled; ++c) table[c] = level(c);

  const Argb* colors = TheRamp().colors;
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint32_t c = pixels[i];
    pixels[i] = colors[c < kTableCounts ? table[c] : level(c)];
  }
}

void DensityLayer::Dots(std::span<const PoiRecord> records, std::span<const std::uint32_t> seen,
                        const MapView& view, MapImage& image) {
  const int w = view.width, h = view.height;
  const Folded f(view);
  for (int y = 0; y < h; ++y) std::fill_n(image.Row(y), w, map_colors::kBackground);
  std::uint32_t* typeCounts = typeCounts_.data();
  const std::size_t other = typeCounts_.size() ? typeCounts_.size() - 1 : 0;
  if (typeCounts) std::fill_n(typeCounts, typeCounts_.size(), 0u);

  for (const std::uint32_t i : seen) {
    const PoiRecord& r = records[i];
    const std::uint32_t e = index_ ? index_->Find(r.TYPE) : TypeIndex::kNone;
    Argb color = map_colors::kOtherType;
    if (e != TypeIndex::kNone) {
      color = TypeColor(e);
      if (typeCounts) ++typeCounts[e];
    } else if (typeCounts) {
      ++typeCounts[other];
    }
    // The pixel the counting put it in, by the same arithmetic.
    const int cx = static_cast<int>(r.X * f.sx + f.ox);
    const int cy = static_cast<int>(f.oy - r.Y * f.sy);
    for (int dy = -kDotRadius; dy <= kDotRadius; ++dy) {
      const int y = cy + dy;
      if (y < 0 || y >= h) continue;
      Argb* row = image.Row(y);
      const std::uint8_t mask = kDot[dy + kDotRadius];
      for (int dx = -kDotRadius; dx <= kDotRadius; ++dx) {
        const int x = cx + dx;
        if (x >= 0 && x < w && (mask >> (dx + kDotRadius) & 1)) row[x] = color;
      }
    }
  }
}

}  // namespace tarvik
