#include "map/base_map.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <new>

#include "core/settings_path.h"
#include "core/text.h"

namespace tarvik {
namespace {

// A resolution is drawn up to this many pixels per degree of latitude: where its detail (about
// 25, 5, 1, 0.2 km) stays near a pixel.
constexpr double kUpToScale[kResolutions] = {10, 50, 250, 1250, INFINITY};
// The finer resolutions' bins are dropped when they hold more than this at the start of a
// view (one view at high resolution needs a few hundred KiB).
constexpr std::size_t kFineBytes = 4 << 20;
// Lines are cut this far beyond the picture, so that their ends and widths stay whole.
constexpr double kMargin = 4;
// Points closer than this to the last one kept are left out (a pixel holds no more detail).
constexpr double kMinStep = 0.7;

// The lines of one bin into `out`, in the pixels of `view`, cut to the picture.
class Projector {
 public:
  Projector(const MapView& view, BaseLines& out)
      : out_(out),
        sx_(view.PixelsPerDegreeX()),
        sy_(view.scale),
        ox_(view.width * 0.5 - view.centerX * sx_),
        oy_(view.height * 0.5 + view.centerY * sy_),
        right_(view.width + kMargin),
        bottom_(view.height + kMargin) {}

  void Bin(const GshhgFile& file, std::uint32_t bin) {
    const GeoPoint corner = file.BinCorner(bin);
    const double step = file.BinSize() / 65535.0;
    // pixel = offset * a + b on each axis
    const double ax = step * sx_, bx = corner.x * sx_ + ox_;
    const double ay = -step * sy_, by = oy_ - corner.y * sy_;
    for (const GshhgLine& line : file.Lines(bin)) {
      kind_ = line.kind;
      measure_ = line.kind == LineKind::Border;  // only dashes need it
      along_ = 0;
      const std::uint16_t* p = file.Offsets() + 2 * static_cast<std::size_t>(line.first);
      double px = p[0] * ax + bx, py = p[1] * ay + by;
      for (std::uint32_t i = 1; i < line.count; ++i) {
        const double qx = p[2 * i] * ax + bx, qy = p[2 * i + 1] * ay + by;
        // Points closer than kMinStep to the last one kept are left out, counted from the
        // line's start rather than from where the picture cuts it: a picture moved by whole
        // pixels then has the same line, and a pan that draws only what it uncovers meets
        // what it keeps.
        const double dx = qx - px, dy = qy - py;
        if (i + 1 < line.count && dx * dx + dy * dy < kMinStep * kMinStep) continue;
        Segment(px, py, qx, qy);
        if (measure_) along_ += std::hypot(qx - px, qy - py);
        px = qx;
        py = qy;
      }
      End();
    }
  }

 private:
  // Liang-Barsky: the part of the segment inside the margin, as parameters t0 < t1.
  bool Clip(double x0, double y0, double dx, double dy, double& t0, double& t1) const {
    t0 = 0;
    t1 = 1;
    auto edge = [&](double p, double q) {
      if (p == 0) return q >= 0;
      const double r = q / p;
      if (p < 0) {
        if (r > t1) return false;
        t0 = std::max(t0, r);
      } else {
        if (r < t0) return false;
        t1 = std::min(t1, r);
      }
      return true;
    };
    return edge(-dx, x0 + kMargin) && edge(dx, right_ - x0) && edge(-dy, y0 + kMargin) &&
           edge(dy, bottom_ - y0);
  }

  void Segment(double x0, double y0, double x1, double y1) {
    const double dx = x1 - x0, dy = y1 - y0;
    double t0, t1;
    if (!Clip(x0, y0, dx, dy, t0, t1)) {
      End();
      return;
    }
    if (!open_ || t0 > 0) {
      End();
      Start({static_cast<float>(x0 + t0 * dx), static_cast<float>(y0 + t0 * dy)},
            measure_ ? along_ + t0 * std::hypot(dx, dy) : 0);
    }
    out_.points.push_back({static_cast<float>(x0 + t1 * dx), static_cast<float>(y0 + t1 * dy)});
    if (t1 < 1) End();
  }

  void Start(LinePoint p, double along) {
    out_.runs.push_back(
        {static_cast<std::uint32_t>(out_.points.size()), 0, kind_, static_cast<float>(along)});
    out_.points.push_back(p);
    open_ = true;
  }
  void End() {
    if (!open_) return;
    open_ = false;
    LineRun& run = out_.runs.back();
    run.count = static_cast<std::uint32_t>(out_.points.size()) - run.first;
    if (run.count < 2) {
      out_.points.resize(run.first);
      out_.runs.pop_back();
    }
  }

  BaseLines& out_;
  const double sx_, sy_, ox_, oy_, right_, bottom_;
  LineKind kind_ = LineKind::Coast;
  bool measure_ = false;
  double along_ = 0;  // pixels along the line to the start of the segment
  bool open_ = false;
};

// floor() of a coordinate near the picture, which lines are cut to.
int FloorNear(float v) {
  const int i = static_cast<int>(v);
  return i - (static_cast<float>(i) > v);
}

// A smoothed segment `width` pixels wide as plot(x, y, coverage): along its longer axis, each
// pixel column (or row) gets the part of the width that covers each of its pixels, times the
// part of the column the segment spans.
template <class Plot>
void SmoothSegment(LinePoint a, LinePoint b, float width, int w, int h, Plot& plot) {
  const bool steep = std::fabs(b.y - a.y) > std::fabs(b.x - a.x);
  if (steep) {
    std::swap(a.x, a.y);
    std::swap(b.x, b.y);
  }
  if (a.x > b.x) std::swap(a, b);
  const float dx = b.x - a.x;
  if (!(dx > 1e-6f)) return;  // a point, or not finite
  const float slope = (b.y - a.y) / dx;
  const float half = 0.5f * width * std::sqrt(1 + slope * slope);
  const int x0 = FloorNear(std::max(a.x, -1.0f));
  const int x1 = FloorNear(std::min(b.x, static_cast<float>(steep ? h : w)));
  for (int x = x0; x <= x1; ++x) {
    const float across = std::min(x + 1.0f, b.x) - std::max(static_cast<float>(x), a.x);
    if (across <= 0) continue;
    const float yc = a.y + (std::min(std::max(x + 0.5f, a.x), b.x) - a.x) * slope;
    const float top = yc - half, bottom = yc + half;
    const int y0 = FloorNear(top), y1 = FloorNear(bottom);
    for (int y = y0; y <= y1; ++y) {
      // Whole rows between the first and the last.
      const float along = (y == y1 ? bottom : y + 1.0f) - (y == y0 ? top : static_cast<float>(y));
      if (steep) {
        plot(y, x, across * along);
      } else {
        plot(x, y, across * along);
      }
    }
  }
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

}  // namespace

struct BaseMap::Level {
  explicit Level(CAppContext* context) : shore(context), border(context) {}
  std::string shorePath, borderPath;  // the border file may be missing
  bool opened = false;
  GshhgFile shore, border;
  bool keepAll = true;  // else dropped now and then (kFineBytes)

  // Opens the files on first use; false when the shore file cannot be read. A border file
  // that cannot is left out. Errors go to `errors`.
  bool Ready(std::vector<std::string>& errors) {
    if (opened) return true;
    std::string error;
    if (!shore.Open(shorePath, false, error)) {
      errors.push_back(error);
      return false;
    }
    if (!borderPath.empty() &&
        (!border.Open(borderPath, true, error) || border.BinCount() != shore.BinCount())) {
      errors.push_back(error.empty() ? borderPath + ": bins unlike those of " + shorePath : error);
      border.Close();
    }
    opened = true;
    return true;
  }

  bool Loaded(std::uint32_t bin) const { return shore.Loaded(bin); }
  bool Empty(std::uint32_t bin) const {
    return shore.Empty(bin) && (!border.IsOpen() || border.Empty(bin));
  }
  std::size_t Bytes() const { return shore.Bytes() + border.Bytes(); }
};

void DrawBaseLines(IndexedImage& image, const BaseLines& lines, const FreshPixels& only) {
  struct Style {
    std::uint8_t shades;
    float width;
    bool dashed;
  };
  // By LineKind: coasts, lake shores, borders.
  constexpr Style kStyles[] = {
      {kCoastIndex, 1.3f, false}, {kCoastIndex, 0.8f, false}, {kBorderIndex, 1.2f, true}};
  // Dashes of 6 pixels with gaps of 4, as the frames of disabled areas.
  constexpr double kOn = 6, kPeriod = 10;
  const int w = image.Width(), h = image.Height();
  // The shade a pixel holds by its palette index: -1 the background, which any shade covers;
  // the cameras' kLineShades, which none does.
  static const auto kHeld = [] {
    std::array<std::int8_t, 256> held{};
    for (int i = 0; i < 256; ++i)
      held[i] = i == 0 ? -1 : i >= kCoastIndex ? (i - kCoastIndex) % kLineShades : kLineShades;
    return held;
  }();
  std::uint8_t* const pixels = image.Row(0);
  const bool all = only.left <= 0 && only.right >= w;
  // Segments wholly beside the pixels drawn are skipped; a pixel and a half covers the widest
  // pen.
  auto beside = [&only](LinePoint a, LinePoint b) {
    constexpr float kPen = 1.5f;
    return (std::max(a.x, b.x) < only.left - kPen || std::min(a.x, b.x) > only.right + kPen) &&
           (std::max(a.y, b.y) < only.top - kPen || std::min(a.y, b.y) > only.bottom + kPen);
  };
  for (const LineRun& run : lines.runs) {
    const Style& style = kStyles[static_cast<int>(run.kind)];
    // Only the background and lighter shades of lines: the cameras stay on top.
    const int top = kLineShades - 1;
    auto plot = [&](int x, int y, float coverage) {
      const int shade = std::min(static_cast<int>(coverage * kLineShades + 0.5f) - 1, top);
      if (static_cast<unsigned>(x) >= static_cast<unsigned>(w) ||
          static_cast<unsigned>(y) >= static_cast<unsigned>(h) || (!all && !only.Holds(x, y)))
        return;
      std::uint8_t& p = pixels[static_cast<std::size_t>(y) * w + x];
      if (shade > kHeld[p]) p = static_cast<std::uint8_t>(style.shades + shade);
    };
    const LinePoint* p = lines.points.data() + run.first;
    double travelled = run.along;
    for (std::uint32_t i = 1; i < run.count; ++i) {
      const LinePoint a = p[i - 1], b = p[i];
      if (beside(a, b)) {
        if (style.dashed) travelled += std::hypot(b.x - a.x, b.y - a.y);
        continue;
      }
      if (!style.dashed) {
        SmoothSegment(a, b, style.width, w, h, plot);
        continue;
      }
      const double length = std::hypot(b.x - a.x, b.y - a.y);
      if (!(length > 0)) continue;
      auto at = [&](double s) {
        const double t = s / length;
        return LinePoint{static_cast<float>(a.x + (b.x - a.x) * t),
                         static_cast<float>(a.y + (b.y - a.y) * t)};
      };
      for (double s = 0; s < length;) {
        const double q = std::fmod(travelled + s, kPeriod);
        if (q < kOn) {
          const double end = std::min(length, s + std::max(kOn - q, 1e-6));
          SmoothSegment(at(s), at(end), style.width, w, h, plot);
          s = end;
        } else {
          s += std::max(kPeriod - q, 1e-6);
        }
      }
      travelled += length;
    }
  }
}

std::string DefaultGshhgDir() {
  if (const char* dir = std::getenv("TARVIK_GSHHG_DIR"); dir && *dir) return dir;
  return "/usr/share/gmt-gshhg";
}

std::string DefaultCitiesPath() {
  const std::filesystem::path exe = ToFsPath(ExecutablePath());
  return (exe.parent_path().parent_path() / "share/tarvik/cities15000.dat").string();
}

BaseMap::BaseMap(CAppContext* context) : context_(context) {}
BaseMap::~BaseMap() = default;

void BaseMap::Open(const std::string& gshhgDir, const std::string& citiesPath) {
  errors_.clear();
  for (int r = 0; r < kResolutions; ++r) {
    levels_[r].reset();
    const std::string letter(1, kResolutionLetters[r]);
    const std::string shore = gshhgDir + "/binned_GSHHS_" + letter + ".nc";
    const std::string border = gshhgDir + "/binned_border_" + letter + ".nc";
    if (!Exists(shore)) continue;
    levels_[r] = std::make_unique<Level>(context_);
    levels_[r]->shorePath = shore;
    if (Exists(border)) levels_[r]->borderPath = border;
    levels_[r]->keepAll = r <= kIntermediate;
  }
  cities_.reset();
  auto cities = std::make_shared<CityList>(context_);
  cityStatus_ = cities->Load(citiesPath);
  if (cityStatus_ == CityList::Status::Ok) cities_ = std::move(cities);
}

bool BaseMap::HasLines() const {
  return std::any_of(std::begin(levels_), std::end(levels_), [](const auto& l) { return !!l; });
}

bool BaseMap::HasResolution(int resolution) const {
  return resolution >= 0 && resolution < kResolutions && levels_[resolution];
}

int BaseMap::ResolutionFor(double scale) const {
  int want = 0;
  while (want + 1 < kResolutions && !(scale < kUpToScale[want])) ++want;
  // The nearest installed, the coarser first: it is the cheaper of two equally far.
  for (int d = 0; d < kResolutions; ++d) {
    if (HasResolution(want - d)) return want - d;
    if (HasResolution(want + d)) return want + d;
  }
  return -1;
}

bool BaseMap::Load(Level& level, std::uint32_t first, std::uint32_t count) {
  std::string error;
  if (level.shore.Load(first, count, error) &&
      (!level.border.IsOpen() || level.border.Load(first, count, error)))
    return true;
  errors_.push_back(error);
  return false;
}

bool BaseMap::Lines(const MapView& view, BaseLines& out) {
  out.Clear();
  const int r = ResolutionFor(view.scale);
  if (r < 0 || view.width <= 0 || view.height <= 0) return true;
  Level& level = *levels_[r];
  try {
    if (!level.Ready(errors_)) {  // the next resolution instead
      levels_[r].reset();
      return Lines(view, out);
    }
    if (!level.keepAll && level.Bytes() > kFineBytes) {
      level.shore.Forget();
      level.border.Forget();
    }
    const GeoBox box = view.Bounds();
    const double size = level.shore.BinSize();
    const int across = level.shore.BinsAcross(), down = level.shore.BinsDown();
    const int row0 = std::clamp(static_cast<int>(std::floor((90 - box.north) / size)), 0, down - 1);
    const int row1 = std::clamp(static_cast<int>(std::floor((90 - box.south) / size)), 0, down - 1);
    auto inView = [&](std::uint32_t bin) {
      const double west = level.shore.BinCorner(bin).x;
      return west + size >= box.west && west <= box.east;
    };
    // The bins in view not read yet, in runs of neighbours (a run goes on from the end of one
    // row to the start of the next): a few reads for all of them.
    const auto first = static_cast<std::uint32_t>(row0 * across);
    const auto last = static_cast<std::uint32_t>((row1 + 1) * across);
    for (std::uint32_t bin = first; bin < last;) {
      if (!inView(bin) || level.Loaded(bin)) {
        ++bin;
        continue;
      }
      std::uint32_t end = bin + 1;
      while (end < last && inView(end) && !level.Loaded(end)) ++end;
      if (!Load(level, bin, end - bin)) {
        levels_[r].reset();  // the next resolution instead
        return Lines(view, out);
      }
      bin = end;
    }
    // Room for every point in view at once, the most the lines can keep.
    std::size_t points = 0, runs = 0;
    for (std::uint32_t bin = first; bin < last; ++bin)
      if (inView(bin))
        for (const GshhgFile* file : {&level.shore, &level.border})
          if (file->IsOpen())
            for (const GshhgLine& line : file->Lines(bin)) {
              points += line.count;
              ++runs;
            }
    out.points.reserve(points);
    out.runs.reserve(runs);
    Projector projector(view, out);
    for (std::uint32_t bin = first; bin < last; ++bin)
      if (inView(bin) && !level.Empty(bin)) {
        projector.Bin(level.shore, bin);
        if (level.border.IsOpen()) projector.Bin(level.border, bin);
      }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

bool BaseMap::LoadAll(int resolution) {
  if (!HasResolution(resolution)) return false;
  Level& level = *levels_[resolution];
  try {
    if (!level.Ready(errors_)) return false;
    const int across = level.shore.BinsAcross();
    for (int row = 0; row < level.shore.BinsDown(); ++row)
      if (!Load(level, static_cast<std::uint32_t>(row * across),
                static_cast<std::uint32_t>(across)))
        return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

std::size_t BaseMap::Bytes() const {
  std::size_t n = cities_ ? cities_->Bytes() : 0;
  for (const auto& level : levels_)
    if (level) n += level->Bytes();
  return n;
}

}  // namespace tarvik
