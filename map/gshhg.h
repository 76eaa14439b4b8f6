#pragma once
// GSHHG's coastlines, lake shores and national borders, read from the binned netCDF files that
// GMT uses (Debian: gmt-gshhg-low holds the crude, low and intermediate resolutions,
// gmt-gshhg-high the high one). Outlines only: no land is filled.
//
// A file cuts the earth into square bins (20 degrees a side at crude resolution, down to 2 at
// high), numbered row by row from the north-west corner with longitudes from 0 to 360. A bin
// holds the pieces (segments) of the lines that cross it, each point as two unsigned 16-bit
// offsets from the bin's south-west corner, 65535 being the bin's whole side. A shore segment
// has one packed word of point count, level (1 sea coast, 2 lake, 3 island in a lake, 4 pond
// on such an island, 6 Antarctica's grounding line), entry and exit side; a border segment a
// point count and a level (1 national, 2 internal, 3 maritime).
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/tracked_memory.h"
#include "map/map_view.h"

namespace tarvik {

struct Netcdf;

enum class LineKind : std::uint8_t { Coast, Lake, Border };

struct GshhgLine {
  std::uint32_t first = 0;  // its first point among the points read (GshhgFile::Offsets)
  std::uint32_t count = 0;
  LineKind kind = LineKind::Coast;
};

template <class T>
using TrackedVector = std::vector<T, TrackedAllocator<T>>;

// One binned file: "binned_GSHHS_<r>.nc" (shores) or "binned_border_<r>.nc". Bins are read on
// request and kept, their lines and points in two arrays for all, until Forget.
class GshhgFile {
 public:
  explicit GshhgFile(CAppContext* context);
  ~GshhgFile();
  GshhgFile(const GshhgFile&) = delete;
  GshhgFile& operator=(const GshhgFile&) = delete;

  // Opens the file and reads its bin tables; false with `error` set when it cannot be read or
  // does not describe bins that tile the earth. Throws std::bad_alloc when memory runs out, as
  // Load does.
  bool Open(const std::string& path, bool border, std::string& error);
  bool IsOpen() const { return id_ >= 0; }
  void Close();

  int BinsAcross() const { return across_; }
  int BinsDown() const { return down_; }
  double BinSize() const { return binMinutes_ / 60.0; }
  std::uint32_t BinCount() const { return static_cast<std::uint32_t>(across_) * down_; }
  std::uint32_t PointCount() const { return points_; }
  // The south-west corner of a bin, longitude in -180..180.
  GeoPoint BinCorner(std::uint32_t bin) const;
  // Whether the file has nothing in the bin.
  bool Empty(std::uint32_t bin) const { return segmentsIn_[bin] == 0; }

  // Reads bins first, first + 1, ..., none of them read yet (a few calls for all of them): sea
  // coasts and islands in lakes as coasts, lakes and ponds as lake shores, national
  // borders. False with `error` set on a read error or a segment that does not fit the file.
  bool Load(std::uint32_t first, std::uint32_t count, std::string& error);
  bool Loaded(std::uint32_t bin) const { return slots_[bin].first != kUnread; }
  // The lines of a bin read (none for a bin not read).
  std::span<const GshhgLine> Lines(std::uint32_t bin) const {
    const Slot& s = slots_[bin];
    return s.first == kUnread ? std::span<const GshhgLine>()
                              : std::span(lines_.data() + s.first, s.count);
  }
  // Points as offsets from their bin's south-west corner, 65535 the bin's side: x0, y0, x1, ...
  const std::uint16_t* Offsets() const { return xy_.data(); }
  // Point k of a line of `bin`, in degrees.
  GeoPoint Point(std::uint32_t bin, std::uint32_t k) const {
    const GeoPoint c = BinCorner(bin);
    const double step = BinSize() / 65535.0;
    return {c.x + xy_[2 * std::size_t{k}] * step, c.y + xy_[2 * std::size_t{k} + 1] * step};
  }
  // Drops every bin read.
  void Forget();
  // The bin tables and the bins read.
  std::size_t Bytes() const;

 private:
  static constexpr std::uint32_t kUnread = 0xFFFFFFFF;
  struct Slot {
    std::uint32_t first = kUnread, count = 0;  // lines in lines_
  };
  bool OpenLocked(const std::string& path, bool border, std::string& error);

  CAppContext* context_;
  const Netcdf* nc_ = nullptr;  // the library's calls, once a file was opened
  std::string path_;
  int id_ = -1;
  bool border_ = false;
  int binMinutes_ = 0, across_ = 0, down_ = 0;
  std::uint32_t segments_ = 0, points_ = 0;
  TrackedVector<std::int16_t> segmentsIn_;  // per bin
  TrackedVector<std::int32_t> firstSegment_;
  // Variables: shores have `info` (the packed word); borders `count` and `level`.
  int info_ = -1, count_ = -1, level_ = -1, start_ = -1, dx_ = -1, dy_ = -1;
  TrackedVector<Slot> slots_;
  TrackedVector<GshhgLine> lines_;
  TrackedVector<std::uint16_t> xy_;
  // Load's scratch; `kept_` holds the segments kept with their first point in the file.
  TrackedVector<std::int32_t> ints_;
  TrackedVector<std::int16_t> shorts_;
  TrackedVector<GshhgLine> kept_;
  TrackedVector<std::uint32_t> keptFrom_;
};

}  // namespace tarvik
