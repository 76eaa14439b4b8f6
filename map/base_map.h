#pragma once
// The geography under the cameras: coastlines, lake shores and national borders from the
// installed GSHHG files, at the resolution the zoom asks for, and the city list. The lines go
// into the picture of the cameras, on the pixels they leave free (DrawBaseLines), so that both
// front ends show them with it; the city names go through MapCanvas with the overlay.
//
// Bins are read when a view first needs them; those of the crude, low and intermediate
// resolutions are kept (a few MiB for all three), those of the finer ones only while recently
// in view. One BaseMap serves one thread at a time; its city list may be shared.
#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "map/cities.h"
#include "map/gshhg.h"
#include "map/map_overlay.h"

namespace tarvik {

// GSHHG's resolutions, coarsest first, with the letters of their file names.
enum GshhgResolution : int { kCrude, kLow, kIntermediate, kHigh, kFull, kResolutions };
constexpr char kResolutionLetters[] = "clihf";

// A point of a line in pixels.
struct LinePoint {
  float x = 0, y = 0;
};

// The lines of a view in its pixels: runs of points, each one line of one kind.
struct LineRun {
  std::uint32_t first = 0, count = 0;
  LineKind kind = LineKind::Coast;
  // Pixels along the whole line (as its bin holds it) before the run's first point: dashes
  // keep their places where a view cuts the line elsewhere.
  float along = 0;
};
struct BaseLines {
  explicit BaseLines(CAppContext* context)
      : points(TrackedAllocator<LinePoint>(context)), runs(TrackedAllocator<LineRun>(context)) {}
  std::vector<LinePoint, TrackedAllocator<LinePoint>> points;
  std::vector<LineRun, TrackedAllocator<LineRun>> runs;
  void Clear() {
    points.clear();
    runs.clear();
  }
};

// The lines into the background pixels of `image` (index 0, or a lighter shade of a line),
// smoothed, in the line shades of its palette: coasts a pixel wide, lake shores thinner,
// borders dashed. Only the `only` pixels are drawn into (the others have the lines).
void DrawBaseLines(IndexedImage& image, const BaseLines& lines,
                   const FreshPixels& only = {0, INT_MAX, 0, 0});

// Where the GSHHG files are: $TARVIK_GSHHG_DIR, else where Debian installs them.
std::string DefaultGshhgDir();
// The city file: share/tarvik/ beside the executable's bin folder (installed, or the build).
std::string DefaultCitiesPath();

class BaseMap {
 public:
  explicit BaseMap(CAppContext* context);
  ~BaseMap();
  BaseMap(const BaseMap&) = delete;
  BaseMap& operator=(const BaseMap&) = delete;

  // Finds what there is: each resolution whose shore file (and border file, if there is one)
  // lies in `gshhgDir`, opened when first drawn; and reads the city file. A file that is there
  // but cannot be read is left out and named in Errors(). Throws std::bad_alloc when memory
  // runs out.
  void Open(const std::string& gshhgDir, const std::string& citiesPath);

  bool HasLines() const;
  bool HasResolution(int resolution) const;
  // Null when the city file is missing or bad (CityStatus).
  std::shared_ptr<const CityList> Cities() const { return cities_; }
  CityList::Status CityStatus() const { return cityStatus_; }
  const std::vector<std::string>& Errors() const { return errors_; }

  // The resolution drawn at `scale` pixels per degree of latitude: the one whose detail is
  // about a pixel, else the nearest one installed; -1 when none is.
  int ResolutionFor(double scale) const;
  // The lines in view, in its pixels, cut to the picture; bins outside it are not read. A bin
  // that cannot be read drops its resolution (named in Errors()) for the next one. False when
  // memory ran out (`out` holds what was drawn).
  bool Lines(const MapView& view, BaseLines& out);
  // Reads every bin of a resolution (the memory of a whole resolution, for the benchmarks).
  bool LoadAll(int resolution);
  // The bytes held: bins, bin tables and cities.
  std::size_t Bytes() const;

 private:
  struct Level;
  // Reads bins first, first + 1, ... of `level`; false (named in Errors()) when it cannot.
  bool Load(Level& level, std::uint32_t first, std::uint32_t count);

  CAppContext* context_;
  std::unique_ptr<Level> levels_[kResolutions];
  std::shared_ptr<const CityList> cities_;
  CityList::Status cityStatus_ = CityList::Status::Missing;
  std::vector<std::string> errors_;
};

}  // namespace tarvik
