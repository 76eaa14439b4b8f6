#include "map/map_raster.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TARVIK_SSSE3 1
#endif

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

// Density levels: 0 is the background, 1..kTopLevel the ramp; the line shades above.
constexpr int kTopLevel = kTopDensityLevel;
// Counts up to this get their level from a table made per frame.
constexpr std::uint32_t kTableCounts = 4096;
// Dot pictures: index 1 + i % 12 is legend entry i, this one the types of no entry.
constexpr std::uint8_t kOtherDot = std::size(kTypeColors) + 1;

// `color` covering `part` of a pixel of the background.
Argb OverBackground(Argb color, double part) {
  auto mix = [part](unsigned c, unsigned b) {
    return static_cast<Argb>(std::lround(c * part + b * (1 - part)));
  };
  const Argb b = map_colors::kBackground;
  return 0xFF000000u | mix(color >> 16 & 0xFF, b >> 16 & 0xFF) << 16 |
         mix(color >> 8 & 0xFF, b >> 8 & 0xFF) << 8 | mix(color & 0xFF, b & 0xFF);
}

struct Palettes {
  Argb density[256];
  Argb dots[256];
  Palettes() {
    density[0] = map_colors::kBackground;
    for (int i = 1; i <= kTopLevel; ++i)
      density[i] = DensityColor(static_cast<double>(i) / kTopLevel);
    std::fill(std::begin(dots), std::end(dots), map_colors::kBackground);
    std::copy(std::begin(kTypeColors), std::end(kTypeColors), dots + 1);
    dots[kOtherDot] = map_colors::kOtherType;
    for (int s = 0; s < kLineShades; ++s) {
      const double part = static_cast<double>(s + 1) / kLineShades;
      density[kCoastIndex + s] = dots[kCoastIndex + s] = OverBackground(map_colors::kCoast, part);
      density[kBorderIndex + s] = dots[kBorderIndex + s] =
          OverBackground(map_colors::kBorder, part);
    }
  }
};
const Palettes& ThePalettes() {
  static const Palettes palettes;
  return palettes;
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

// Room for exactly n, contents dropped: doubling would keep up to twice what a window
// resized bit by bit needs.
template <class T>
bool Fit(TrackedBuffer<T>& buffer, CAppContext* context, std::size_t n) {
  if (n <= buffer.capacity()) return true;
  TrackedBuffer<T> fresh(context);
  if (!fresh.Reserve(n)) return false;
  std::swap(buffer, fresh);
  return true;
}

// Vectors of the compiler's, which it maps to the machine's (or to plain code where it has none).
using U16x8 = std::uint16_t __attribute__((vector_size(16)));
using F64x2 = double __attribute__((vector_size(16)));
using I64x2 = std::int64_t __attribute__((vector_size(16)));
// Longitude and latitude are read together.
static_assert(offsetof(PoiRecord, Y) == offsetof(PoiRecord, X) + sizeof(double));

// A pass over the records reads them in order faster than the machine fetches them ahead on
// its own (a third of a whole frame's count went waiting): each step asks for the record
// kAhead on, 2 KiB ahead.
constexpr std::size_t kAhead = 64;
inline void FetchAhead(const PoiRecord* records, std::size_t i, std::size_t count) {
  if (i + kAhead < count) __builtin_prefetch(records + i + kAhead);
}

// The levels of `span` counts: level(c) of each.
template <class Level>
void Levels(const std::uint16_t* c, std::uint8_t* levels, std::size_t span, const Level& level) {
  std::size_t i = 0;
  // Empty pixels, eight at a time.
  for (; i + 8 <= span; i += 8) {
    std::uint64_t empty[2];
    std::memcpy(empty, c + i, sizeof empty);
    if ((empty[0] | empty[1]) == 0) {
      std::memset(levels + i, 0, 8);
      continue;
    }
    for (std::size_t k = i; k < i + 8; ++k) levels[k] = level(c[k]);
  }
  for (; i < span; ++i) levels[i] = level(c[i]);
}
#if TARVIK_SSSE3
// The same, counts below 16 (nearly all, in most pictures) eight at a time through one
// shuffle of the first 16 bytes of `table`, their levels.
template <class Level>
__attribute__((target("ssse3"))) void LevelsSsse3(const std::uint16_t* c, std::uint8_t* levels,
                                                  std::size_t span, const std::uint8_t* table,
                                                  const Level& level) {
  const __m128i small = _mm_loadu_si128(reinterpret_cast<const __m128i*>(table));
  const __m128i high = _mm_set1_epi16(static_cast<short>(0xFFF0));
  std::size_t i = 0;
  for (; i + 8 <= span; i += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(c + i));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(v, high), _mm_setzero_si128())) == 0xFFFF) {
      const __m128i bytes = _mm_packus_epi16(v, v);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(levels + i), _mm_shuffle_epi8(small, bytes));
    } else {
      for (std::size_t k = i; k < i + 8; ++k) levels[k] = level(c[k]);
    }
  }
  for (; i < span; ++i) levels[i] = level(c[i]);
}
bool HasSsse3() {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") != 0;
  }();
  return has;
}
#endif

// Pixels of a dot, row by row: a disc five pixels across.
constexpr int kDotRadius = 2;
constexpr std::uint8_t kDot[5] = {0b01110, 0b11111, 0b11111, 0b11111, 0b01110};

}  // namespace

bool IndexedImage::Resize(int width, int height) {
  width_ = height_ = 0;
  if (width <= 0 || height <= 0) return width == 0 || height == 0;
  const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  const std::size_t words = (n + 3) / 4;
  if (!Fit(words_, context_, words)) return false;
  words_.Resize(words);
  width_ = width;
  height_ = height;
  return true;
}

bool MapImage::TakeColors(IndexedImage& indexed) {
  const int w = indexed.width_, h = indexed.height_;
  const Argb* palette = indexed.palette_;
  std::swap(pixels_, indexed.words_);
  indexed.words_.Clear();
  indexed.width_ = indexed.height_ = 0;
  width_ = height_ = 0;
  const std::size_t n = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
  if (n == 0) return true;
  if (!pixels_.Reserve(n)) return false;  // the block keeps its bytes when it grows
  pixels_.Resize(n);
  // From the last pixel back: colour i fills bytes 4i..4i+3, past every index not read yet.
  Argb* colors = pixels_.data();
  const std::uint8_t* indices = reinterpret_cast<const std::uint8_t*>(colors);
  for (std::size_t i = n; i-- > 0;) colors[i] = palette[indices[i]];
  width_ = w;
  height_ = h;
  return true;
}

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

const Argb* DensityPalette() {
  return ThePalettes().density;
}
const Argb* DotPalette() {
  return ThePalettes().dots;
}

DensityLayer::DensityLayer(CAppContext* context)
    : context_(context),
      counts_(context),
      spills_(context),
      typeCounts_(context),
      indexScratch_(context),
      inView_(context) {}

std::size_t DensityLayer::Bytes() const {
  return counts_.capacity() * sizeof(std::uint16_t) + spills_.capacity() * sizeof(Spill) +
         typeCounts_.capacity() * sizeof(std::uint32_t) +
         indexScratch_.capacity() * sizeof(std::uint32_t) +
         inView_.capacity() * sizeof(std::uint32_t);
}

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

bool DensityLayer::Render(std::span<const PoiRecord> records, const MapView& view,
                          IndexedImage& image, DensityStats& stats) {
  FreshPixels fresh;
  const bool ok = Render(records, view, image, stats, Previous{}, fresh);
  counted_ = false;  // drawn without a stamp: no frame pans on from it
  return ok;
}

bool DensityLayer::Render(std::span<const PoiRecord> records, const MapView& view,
                          IndexedImage& image, DensityStats& stats, const Previous& previous,
                          FreshPixels& fresh) {
  stats = {};
  const int w = view.width, h = view.height;
  fresh = {0, std::max(w, 0), 0, 0};
  // A move by whole pixels at the same scales moves every POI by as many: the same records,
  // size, scale and width of a degree of longitude.
  int dx = 0, dy = 0;
  bool pans = counted_ && previous.stamp == countedStamp_ && records.data() == countedData_ &&
              records.size() == countedRecords_ && view.scale == countedView_.scale &&
              view.PixelsPerDegreeX() == countedView_.PixelsPerDegreeX() &&
              w == countedView_.width && h == countedView_.height;
  if (pans) {
    const Folded now(view), before(countedView_);
    const double mx = now.ox - before.ox, my = now.oy - before.oy;
    const double wx = std::round(mx), wy = std::round(my);
    pans = std::fabs(mx - wx) < 1e-6 && std::fabs(my - wy) < 1e-6 && std::fabs(wx) < w &&
           std::fabs(wy) < h;
    if (pans) {
      dx = static_cast<int>(wx);
      dy = static_cast<int>(wy);
    }
  }
  counted_ = false;
  const std::size_t n = static_cast<std::size_t>(std::max(w, 0)) * std::max(h, 0);
  if (!inView_.Reserve(kDotsBelow) || !spills_.Reserve(records.size() / kCounterRange + 1) ||
      !Fit(counts_, context_, n) || !image.Resize(w, h))
    return false;
  if (n == 0) return true;

  if (pans) {
    const std::uint64_t leaving = ShiftCounts(w, h, dx, dy);
    fresh = dx > 0 ? FreshPixels{0, dx} : FreshPixels{w + dx, w};
    if (dy > 0) {
      fresh.top = 0;
      fresh.bottom = dy;
    } else {
      fresh.top = h + dy;
      fresh.bottom = h;
    }
    const std::uint32_t entering = CountFresh(records, view, fresh);
    stats.inView = static_cast<std::uint32_t>(countedInView_ - leaving + entering);
    // A dot picture needs the POIs in view listed, which only a whole count does.
    pans = stats.inView >= kDotsBelow;
  }
  if (!pans) {
    fresh = {0, w, 0, 0};
    std::memset(counts_.data(), 0, n * sizeof(std::uint16_t));
    spills_.Clear();
    Count(records, view, image, stats);
  }
  if (!stats.dots) {
    if (pans) stats.maxPerPixel = MostInPixel(n);
    // The levels of the pixels kept stay as they were while the top count does.
    const IndexedImage* last = previous.image;
    if (pans && !countedDots_ && stats.maxPerPixel == countedMax_ && last && last->Width() == w &&
        last->Height() == h && last->Palette() == DensityPalette()) {
      const auto keep = static_cast<std::size_t>(w - std::abs(dx));
      const int to = std::max(dx, 0), from = std::max(-dx, 0);
      for (int y = std::max(dy, 0); y < h + std::min(dy, 0); ++y)
        std::memcpy(image.Row(y) + to, last->Row(y - dy) + from, keep);
    } else {
      fresh = {0, w, 0, 0};
    }
    Colour(image, stats, fresh);
  }

  counted_ = true;
  countedView_ = view;
  countedStamp_ = previous.stamp;
  countedData_ = records.data();
  countedRecords_ = records.size();
  countedMax_ = stats.maxPerPixel;
  countedInView_ = stats.inView;
  countedDots_ = stats.dots;
  return true;
}

void DensityLayer::Count(std::span<const PoiRecord> records, const MapView& view,
                         IndexedImage& image, DensityStats& stats) {
  const int w = view.width, h = view.height;
  std::uint16_t* counts = counts_.data();
  const Folded f(view);
  // The first few in view are remembered, so that a dot picture needs no second pass.
  std::uint32_t* seen = inView_.data();
  std::uint32_t inView = 0;
  // The top counter as counted, so that a whole frame needs no pass to find it.
  std::uint16_t top = 0;
  auto add = [&](std::size_t i, double px, double py) {
    const std::size_t p = static_cast<std::size_t>(static_cast<int>(py)) * w + static_cast<int>(px);
    const std::uint16_t c = ++counts[p];
    if (c == 0) Spilled(static_cast<std::uint32_t>(p));
    top = std::max(top, c);
    if (inView < kDotsBelow) seen[inView] = static_cast<std::uint32_t>(i);
    ++inView;
  };
  const std::size_t count = records.size();
  const PoiRecord* rec = records.data();
  // Whether nearly all are in view, from a sample spread over the records.
  constexpr std::size_t kSample = 256;
  const std::size_t stride = std::max<std::size_t>(1, count / kSample);
  std::size_t sampled = 0, sampledIn = 0;
  for (std::size_t i = 0; i < count; i += stride, ++sampled) {
    const double px = rec[i].X * f.sx + f.ox;
    const double py = f.oy - rec[i].Y * f.sy;
    sampledIn += px >= 0 && px < w && py >= 0 && py < h;
  }
  if (sampledIn >= sampled - sampled / 8) {
    // A branch on whether a POI is in view is well predicted when nearly all of them are.
    const double fw = w, fh = h;
    for (std::size_t i = 0; i < count; ++i) {
      FetchAhead(rec, i, count);
      const double px = rec[i].X * f.sx + f.ox;
      const double py = f.oy - rec[i].Y * f.sy;
      if (px >= 0 && px < fw && py >= 0 && py < fh) add(i, px, py);  // NaN fails each test
    }
  } else {
    // Where part of them are, it would be mispredicted again and again: a block's POIs in
    // view are listed first, without a branch, then counted.
    const F64x2 scale = {f.sx, -f.sy}, origin = {f.ox, f.oy};
    const F64x2 size = {static_cast<double>(w), static_cast<double>(h)}, zero = {};
    auto at = [&](std::size_t i) {
      F64x2 xy;
      std::memcpy(&xy, &rec[i].X, sizeof xy);
      return xy * scale + origin;
    };
    constexpr std::size_t kBlock = 512;
    std::uint32_t block[kBlock];
    for (std::size_t first = 0; first < count; first += kBlock) {
      const std::size_t end = std::min(count, first + kBlock);
      std::size_t listed = 0;
      for (std::size_t i = first; i < end; ++i) {
        FetchAhead(rec, i, count);
        const F64x2 p = at(i);
        const I64x2 inside = (p >= zero) & (p < size);  // NaN fails each test
        block[listed] = static_cast<std::uint32_t>(i);
        listed += static_cast<std::size_t>(inside[0] & inside[1] & 1);
      }
      for (std::size_t k = 0; k < listed; ++k) {
        const F64x2 p = at(block[k]);
        add(block[k], p[0], p[1]);
      }
    }
  }
  stats.inView = inView;
  if (inView < kDotsBelow) {
    stats.dots = true;
    Dots(records, {seen, inView}, view, image);
  } else {
    stats.maxPerPixel = Most(top);
  }
}

std::uint32_t DensityLayer::CountFresh(std::span<const PoiRecord> records, const MapView& view,
                                       const FreshPixels& fresh) {
  const int w = view.width;
  std::uint16_t* counts = counts_.data();
  const Folded f(view);
  const double fw = w, fh = view.height;
  // The longitudes and latitudes that can land in the fresh columns and rows, a pixel wider
  // each side: one test for the many POIs beside them, the exact one for the few within.
  // An empty band takes nothing (no distance is below -1).
  auto band = [](int from, int to, double origin, double scale, double& middle, double& half) {
    middle = ((from + to) * 0.5 - origin) / scale;
    half = to > from ? ((to - from) * 0.5 + 1) / std::fabs(scale) : -1;
  };
  double midX, halfX, midY, halfY;
  band(fresh.left, fresh.right, f.ox, f.sx, midX, halfX);
  band(fresh.top, fresh.bottom, f.oy, -f.sy, midY, halfY);
  const F64x2 middle = {midX, midY}, half = {halfX, halfY};
  const I64x2 magnitude = {INT64_MAX, INT64_MAX};  // all bits but the sign
  std::uint32_t entering = 0;
  const std::size_t count = records.size();
  const PoiRecord* rec = records.data();
  for (std::size_t i = 0; i < count; ++i) {
    FetchAhead(rec, i, count);
    // Both distances at once; NaN is near nothing.
    F64x2 xy;
    std::memcpy(&xy, &rec[i].X, sizeof xy);
    const I64x2 near =
        reinterpret_cast<F64x2>(reinterpret_cast<I64x2>(xy - middle) & magnitude) < half;
    if (!(near[0] | near[1])) continue;
    const double px = rec[i].X * f.sx + f.ox;
    const double py = f.oy - rec[i].Y * f.sy;
    if (!(px >= 0 && px < fw && py >= 0 && py < fh)) continue;
    const int x = static_cast<int>(px), y = static_cast<int>(py);
    if (!fresh.Holds(x, y)) continue;
    const std::size_t p = static_cast<std::size_t>(y) * w + x;
    if (++counts[p] == 0) Spilled(static_cast<std::uint32_t>(p));
    ++entering;
  }
  return entering;
}

void DensityLayer::Spilled(std::uint32_t pixel) {
  // Rare enough (once per 65536 POIs in one pixel at most) for a search of the short list.
  Spill* s = spills_.data();
  for (std::size_t k = 0; k < spills_.size(); ++k)
    if (s[k].pixel == pixel) {
      ++s[k].wraps;
      return;
    }
  spills_.Append({pixel, 1});  // reserved by Render
}

std::uint64_t DensityLayer::ShiftCounts(int width, int height, int dx, int dy) {
  if (dx == 0 && dy == 0) return 0;
  const auto w = static_cast<std::size_t>(width);
  const auto keep = static_cast<std::size_t>(width - std::abs(dx));
  const auto moved = static_cast<std::size_t>(std::abs(dx));
  const std::size_t to = dx > 0 ? moved : 0, from = dx > 0 ? 0 : moved;
  // The columns that leave: [keep, width) to the right, [0, moved) to the left.
  const std::size_t gone = dx > 0 ? keep : 0;
  std::uint16_t* counts = counts_.data();
  std::uint64_t leaving = 0;
  for (int y = 0; y < height; ++y) {
    const std::uint16_t* row = counts + y * w;
    if (y + dy < 0 || y + dy >= height) {
      for (std::size_t x = 0; x < w; ++x) leaving += row[x];
    } else {
      for (std::size_t x = gone; x < gone + moved; ++x) leaving += row[x];
    }
  }
  // Row y takes row y - dy: downwards from the bottom, upwards from the top, so that no row is
  // overwritten before it moved.
  for (int k = 0; k < height; ++k) {
    const int y = dy > 0 ? height - 1 - k : k;
    std::uint16_t* row = counts + y * w;
    const int source = y - dy;
    if (source < 0 || source >= height) {
      std::memset(row, 0, w * sizeof(std::uint16_t));
      continue;
    }
    std::memmove(row + to, counts + source * w + from, keep * sizeof(std::uint16_t));
    std::memset(row + (dx > 0 ? 0 : keep), 0, moved * sizeof(std::uint16_t));
  }
  Spill* s = spills_.data();
  std::size_t kept = 0;
  for (std::size_t k = 0; k < spills_.size(); ++k) {
    const auto x = static_cast<int>(s[k].pixel % w) + dx;
    const auto y = static_cast<int>(s[k].pixel / w) + dy;
    if (x >= 0 && x < width && y >= 0 && y < height) {
      s[kept++] = {static_cast<std::uint32_t>(y * w + x), s[k].wraps};
    } else {
      leaving += std::uint64_t{s[k].wraps} * kCounterRange;
    }
  }
  spills_.Resize(kept);
  return leaving;
}

std::uint32_t DensityLayer::MostInPixel(std::size_t pixels) const {
  const std::uint16_t* counts = counts_.data();
  // Eight at a time.
  U16x8 lanes = {};
  std::size_t i = 0;
  for (; i + 8 <= pixels; i += 8) {
    U16x8 c;
    std::memcpy(&c, counts + i, sizeof c);
    lanes = c > lanes ? c : lanes;
  }
  std::uint16_t most = 0;
  for (; i < pixels; ++i) most = std::max(most, counts[i]);
  for (int k = 0; k < 8; ++k) most = std::max<std::uint16_t>(most, lanes[k]);
  return Most(most);
}

std::uint32_t DensityLayer::Most(std::uint16_t top) const {
  std::uint32_t max = top;
  for (std::size_t k = 0; k < spills_.size(); ++k) max = std::max(max, Whole(spills_.data()[k]));
  return max;
}

void DensityLayer::Colour(IndexedImage& image, const DensityStats& stats,
                          const FreshPixels& fresh) {
  const int w = image.Width(), h = image.Height();
  const std::uint16_t* counts = counts_.data();
  const std::uint32_t max = stats.maxPerPixel;
  // Level of a count: 1 + (kTopLevel - 1) * ln(c) / ln(max), so one POI is the lightest colour
  // and the fullest pixel the darkest; with max 1 every POI is the darkest.
  const double k = max > 1 ? (kTopLevel - 1) / std::log(static_cast<double>(max)) : 0;
  auto level = [k, max](std::uint32_t c) -> std::uint8_t {
    if (max <= 1) return kTopLevel;
    return static_cast<std::uint8_t>(1 +
                                     static_cast<int>(std::log(static_cast<double>(c)) * k + 0.5));
  };
  // The first 16 always, whatever the top.
  std::uint8_t table[kTableCounts];
  const std::uint32_t tabled = std::max(std::min(max + 1, kTableCounts), 16u);
  table[0] = 0;
  for (std::uint32_t c = 1; c < tabled; ++c) table[c] = level(c);
  auto tableLevel = [&](std::uint16_t c) { return c < tabled ? table[c] : level(c); };
  auto colour = [&](std::size_t start, std::size_t span) {
#if TARVIK_SSSE3
    if (HasSsse3())
      return LevelsSsse3(counts + start, image.Row(0) + start, span, table, tableLevel);
#endif
    Levels(counts + start, image.Row(0) + start, span, tableLevel);
  };

  if (fresh.left == 0 && fresh.right == w) {
    colour(0, static_cast<std::size_t>(w) * h);
  } else {
    for (int y = 0; y < h; ++y) {
      const std::size_t row = static_cast<std::size_t>(y) * w;
      if (y >= fresh.top && y < fresh.bottom) {
        colour(row, w);
      } else {
        colour(row + fresh.left, fresh.right - fresh.left);
      }
    }
  }
  std::uint8_t* levels = image.Row(0);
  for (std::size_t i = 0; i < spills_.size(); ++i) {
    const Spill& s = spills_.data()[i];
    if (fresh.Holds(static_cast<int>(s.pixel % w), static_cast<int>(s.pixel / w)))
      levels[s.pixel] = level(Whole(s));
  }
  image.SetPalette(DensityPalette());
}

void DensityLayer::Dots(std::span<const PoiRecord> records, std::span<const std::uint32_t> seen,
                        const MapView& view, IndexedImage& image) {
  const int w = view.width, h = view.height;
  const Folded f(view);
  std::memset(image.Row(0), 0, static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  image.SetPalette(DotPalette());
  std::uint32_t* typeCounts = typeCounts_.data();
  const std::size_t other = typeCounts_.size() ? typeCounts_.size() - 1 : 0;
  if (typeCounts) std::fill_n(typeCounts, typeCounts_.size(), 0u);

  for (const std::uint32_t i : seen) {
    const PoiRecord& r = records[i];
    const std::uint32_t e = index_ ? index_->Find(r.TYPE) : TypeIndex::kNone;
    std::uint8_t color = kOtherDot;
    if (e != TypeIndex::kNone) {
      color = static_cast<std::uint8_t>(1 + e % std::size(kTypeColors));
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
      std::uint8_t* row = image.Row(y);
      const std::uint8_t mask = kDot[dy + kDotRadius];
      for (int dx = -kDotRadius; dx <= kDotRadius; ++dx) {
        const int x = cx + dx;
        if (x >= 0 && x < w && (mask >> (dx + kDotRadius) & 1)) row[x] = color;
      }
    }
  }
}

}  // namespace tarvik
