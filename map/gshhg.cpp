#include "map/gshhg.h"

#include <dlfcn.h>
#include <netcdf.h>

#include <algorithm>
#include <mutex>
#include <string_view>
#include <type_traits>

namespace tarvik {

// libnetcdf, loaded when the first file is opened: linked, it would bring its forty-odd
// libraries (HDF5, curl and theirs) into every start of both programs.
struct Netcdf {
  decltype(&nc_open) open = nullptr;
  decltype(&nc_close) close = nullptr;
  decltype(&nc_strerror) strerror = nullptr;
  decltype(&nc_set_chunk_cache) set_chunk_cache = nullptr;
  decltype(&nc_inq_varid) inq_varid = nullptr;
  decltype(&nc_get_var_int) get_var_int = nullptr;
  decltype(&nc_get_var_short) get_var_short = nullptr;
  decltype(&nc_get_vara_int) get_vara_int = nullptr;
  decltype(&nc_get_vara_short) get_vara_short = nullptr;
  // HDF5's H5Eset_auto2, where netCDF-4 sits on it: its error reports are switched off per
  // thread, and netCDF does that only on the thread of its first call.
  int (*quiet)(std::int64_t stack, void* report, void* data) = nullptr;
  std::string error;  // why it could not be loaded
};

namespace {

// Null when the library cannot be loaded (`error` then says why).
const Netcdf* Library(std::string& error) {
  static const Netcdf lib = [] {
    Netcdf n;
    void* handle = dlopen(TARVIK_NETCDF_SONAME, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      const char* why = dlerror();
      n.error = why ? why : TARVIK_NETCDF_SONAME;
      return n;
    }
    auto bind = [&](auto& fn, const char* name) {
      fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(handle, name));
      if (!fn && n.error.empty()) n.error = std::string(TARVIK_NETCDF_SONAME) + ": no " + name;
    };
    bind(n.open, "nc_open");
    bind(n.close, "nc_close");
    bind(n.strerror, "nc_strerror");
    bind(n.set_chunk_cache, "nc_set_chunk_cache");
    bind(n.inq_varid, "nc_inq_varid");
    bind(n.get_var_int, "nc_get_var_int");
    bind(n.get_var_short, "nc_get_var_short");
    bind(n.get_vara_int, "nc_get_vara_int");
    bind(n.get_vara_short, "nc_get_vara_short");
    n.quiet = reinterpret_cast<decltype(n.quiet)>(dlsym(handle, "H5Eset_auto2"));
    // Each bin is read once and kept by the caller: the library need not keep many
    // decompressed chunks of a variable for it (its default is several MiB each).
    if (n.error.empty()) n.set_chunk_cache(256 << 10, 61, 0.75f);
    return n;
  }();
  if (lib.error.empty()) return &lib;
  error = lib.error;
  return nullptr;
}

// libnetcdf and the HDF5 below it are not safe for threads: one call at a time in the
// process, each thread's HDF5 error reports off (netCDF reads what it needs to know from the
// answers; the reports would only go to stderr).
class NetcdfCall {
 public:
  explicit NetcdfCall(const Netcdf& nc) : hold_(Lock()) {
    thread_local bool quiet = false;
    if (!quiet && nc.quiet) nc.quiet(0, nullptr, nullptr);
    quiet = true;
  }

 private:
  static std::mutex& Lock() {
    static std::mutex lock;
    return lock;
  }
  std::lock_guard<std::mutex> hold_;
};

// The points of the bins of one read come in one piece; a whole row of the finest bins stays
// well below this.
constexpr std::uint32_t kMaxReadPoints = 1u << 23;

// Shore segment word: point count above bit 9, level in bits 6-8 (entry and exit sides below
// are not needed for outlines).
constexpr std::uint32_t PointsOf(std::int32_t info) {
  return static_cast<std::uint32_t>(info) >> 9;
}
constexpr int LevelOf(std::int32_t info) {
  return (info >> 6) & 7;
}

// "file: what" or "file, bin N: what".
std::string Where(const std::string& path, long bin, std::string_view what) {
  return path + (bin < 0 ? "" : ", bin " + std::to_string(bin)) + ": " + std::string(what);
}

struct Call {
  const Netcdf* nc;
  std::string& error;
  const std::string& path;
  long bin = -1;
  // True when `status` is no error; else the error says what failed.
  bool operator()(int status, const char* what) {
    if (status == NC_NOERR) return true;
    error = Where(path, bin, what) + ": " + nc->strerror(status);
    return false;
  }
};

}  // namespace

GshhgFile::GshhgFile(CAppContext* context)
    : context_(context),
      segmentsIn_(TrackedAllocator<std::int16_t>(context)),
      firstSegment_(TrackedAllocator<std::int32_t>(context)),
      slots_(TrackedAllocator<Slot>(context)),
      lines_(TrackedAllocator<GshhgLine>(context)),
      xy_(TrackedAllocator<std::uint16_t>(context)),
      ints_(TrackedAllocator<std::int32_t>(context)),
      shorts_(TrackedAllocator<std::int16_t>(context)),
      kept_(TrackedAllocator<GshhgLine>(context)),
      keptFrom_(TrackedAllocator<std::uint32_t>(context)) {}

GshhgFile::~GshhgFile() {
  Close();
}

void GshhgFile::Close() {
  if (id_ < 0) return;
  {
    NetcdfCall call(*nc_);
    nc_->close(id_);
  }
  id_ = -1;
  Forget();
  segmentsIn_ = decltype(segmentsIn_)(TrackedAllocator<std::int16_t>(context_));
  firstSegment_ = decltype(firstSegment_)(TrackedAllocator<std::int32_t>(context_));
  slots_ = decltype(slots_)(TrackedAllocator<Slot>(context_));
}

GeoPoint GshhgFile::BinCorner(std::uint32_t bin) const {
  const double size = BinSize();
  const int col = static_cast<int>(bin % across_), row = static_cast<int>(bin / across_);
  return {col * size >= 180 ? col * size - 360 : col * size, 90 - (row + 1) * size};
}

void GshhgFile::Forget() {
  std::fill(slots_.begin(), slots_.end(), Slot{});
  lines_ = decltype(lines_)(TrackedAllocator<GshhgLine>(context_));
  xy_ = decltype(xy_)(TrackedAllocator<std::uint16_t>(context_));
}

std::size_t GshhgFile::Bytes() const {
  return segmentsIn_.capacity() * sizeof(std::int16_t) +
         firstSegment_.capacity() * sizeof(std::int32_t) + slots_.capacity() * sizeof(Slot) +
         lines_.capacity() * sizeof(GshhgLine) + xy_.capacity() * sizeof(std::uint16_t) +
         ints_.capacity() * sizeof(std::int32_t) + shorts_.capacity() * sizeof(std::int16_t) +
         kept_.capacity() * sizeof(GshhgLine) + keptFrom_.capacity() * sizeof(std::uint32_t);
}

bool GshhgFile::Open(const std::string& path, bool border, std::string& error) {
  Close();
  nc_ = Library(error);
  if (!nc_) return false;
  NetcdfCall call(*nc_);
  path_ = path;
  if (OpenLocked(path, border, error)) return true;
  if (id_ >= 0) nc_->close(id_);
  id_ = -1;
  return false;
}

bool GshhgFile::OpenLocked(const std::string& path, bool border, std::string& error) {
  Call ok{nc_, error, path};
  int id = -1;
  if (!ok(nc_->open(path.c_str(), NC_NOWRITE, &id), "open")) return false;
  id_ = id;
  border_ = border;
  auto var = [&](const char* name, int& v) { return ok(nc_->inq_varid(id, name, &v), name); };
  auto scalar = [&](const char* name, int& value) {
    int v = -1;
    return var(name, v) && ok(nc_->get_var_int(id, v, &value), name);
  };
  int bins = 0, segments = 0, points = 0;
  if (!scalar("Bin_size_in_minutes", binMinutes_) ||
      !scalar("N_bins_in_360_longitude_range", across_) ||
      !scalar("N_bins_in_180_degree_latitude_range", down_) || !scalar("N_bins_in_file", bins) ||
      !scalar("N_segments_in_file", segments) || !scalar("N_points_in_file", points))
    return false;
  if (binMinutes_ <= 0 || across_ <= 0 || down_ <= 0 || binMinutes_ * across_ != 360 * 60 ||
      binMinutes_ * down_ != 180 * 60 || bins != across_ * down_ || segments < 0 || points < 0) {
    error = Where(path, -1, "the bins do not tile the earth");
    return false;
  }
  segments_ = static_cast<std::uint32_t>(segments);
  points_ = static_cast<std::uint32_t>(points);
  if (!var("Id_of_first_point_in_a_segment", start_) ||
      !var("Relative_longitude_from_SW_corner_of_bin", dx_) ||
      !var("Relative_latitude_from_SW_corner_of_bin", dy_))
    return false;
  if (border
          ? !var("N_points_for_a_segment", count_) || !var("Hierarchial_level_of_a_segment", level_)
          : !var("Embedded_npts_levels_exit_entry_for_a_segment", info_))
    return false;
  int nsegVar = -1, firstVar = -1;
  if (!var("N_segments_in_a_bin", nsegVar) || !var("Id_of_first_segment_in_a_bin", firstVar))
    return false;
  segmentsIn_.resize(static_cast<std::size_t>(bins));
  firstSegment_.resize(static_cast<std::size_t>(bins));
  slots_.assign(static_cast<std::size_t>(bins), Slot{});
  if (!ok(nc_->get_var_short(id, nsegVar, segmentsIn_.data()), "N_segments_in_a_bin") ||
      !ok(nc_->get_var_int(id, firstVar, firstSegment_.data()), "Id_of_first_segment_in_a_bin"))
    return false;
  for (int b = 0; b < bins; ++b) {
    const std::int64_t first = firstSegment_[b], n = segmentsIn_[b];
    if (n < 0 || (n > 0 && (first < 0 || first + n > segments))) {
      error = Where(path, b, "segments outside the file");
      return false;
    }
  }
  return true;
}

bool GshhgFile::Load(std::uint32_t first, std::uint32_t count, std::string& error) {
  if (id_ < 0 || first > BinCount() || count > BinCount() - first) {
    error = Where(path_, first, "no such bins");
    return false;
  }
  // The segments of all the bins, one stretch of the file.
  std::int64_t segLo = segments_, segHi = 0;
  for (std::uint32_t bin = first; bin < first + count; ++bin) {
    if (segmentsIn_[bin] == 0) continue;
    segLo = std::min<std::int64_t>(segLo, firstSegment_[bin]);
    segHi = std::max<std::int64_t>(segHi, std::int64_t{firstSegment_[bin]} + segmentsIn_[bin]);
  }
  if (segHi <= segLo) {
    for (std::uint32_t bin = first; bin < first + count; ++bin) slots_[bin] = {0, 0};
    return true;
  }

  NetcdfCall call(*nc_);
  Call ok{nc_, error, path_, static_cast<long>(first)};
  const std::size_t n = static_cast<std::size_t>(segHi - segLo);
  const std::size_t at[1] = {static_cast<std::size_t>(segLo)}, length[1] = {n};
  // Segment starts and words, or counts and levels.
  ints_.resize(2 * n);
  shorts_.resize(2 * n);
  std::int32_t* starts = ints_.data();
  std::int32_t* info = starts + n;
  std::int16_t* points = shorts_.data();
  std::int16_t* levels = points + n;
  if (!ok(nc_->get_vara_int(id_, start_, at, length, starts), "segment starts")) return false;
  if (border_ ? !ok(nc_->get_vara_short(id_, count_, at, length, points), "point counts") ||
                    !ok(nc_->get_vara_short(id_, level_, at, length, levels), "levels")
              : !ok(nc_->get_vara_int(id_, info_, at, length, info), "segment words"))
    return false;

  // The segments kept, by bin (kept_[keptFrom_[k]..keptFrom_[k + 1]) are those of bin
  // first + k), and the one stretch of points that holds them all.
  kept_.clear();
  kept_.reserve(n);
  keptFrom_.reserve(count + 1);
  keptFrom_.assign(1, 0);
  std::uint32_t lo = points_, hi = 0;
  for (std::uint32_t bin = first; bin < first + count; ++bin) {
    const std::size_t s0 = static_cast<std::size_t>(firstSegment_[bin] - segLo);
    for (std::size_t s = s0; s < s0 + static_cast<std::size_t>(segmentsIn_[bin]); ++s) {
      std::uint32_t np = 0;
      LineKind kind = LineKind::Coast;
      if (border_) {
        if (levels[s] != 1) continue;
        np = static_cast<std::uint16_t>(points[s]);
        kind = LineKind::Border;
      } else {
        const int level = LevelOf(info[s]);
        if (level < 1 || level > 4) continue;  // 6: the grounding line under Antarctica's ice
        np = PointsOf(info[s]);
        kind = level % 2 ? LineKind::Coast : LineKind::Lake;
      }
      if (starts[s] < 0 || np > points_ || static_cast<std::uint32_t>(starts[s]) > points_ - np) {
        error = Where(path_, bin, "a segment lies outside the file's points");
        return false;
      }
      if (np < 2) continue;
      const auto start = static_cast<std::uint32_t>(starts[s]);
      kept_.push_back({start, np, kind});
      lo = std::min(lo, start);
      hi = std::max(hi, start + np);
    }
    keptFrom_.push_back(static_cast<std::uint32_t>(kept_.size()));
  }
  std::int16_t* dx = nullptr;
  if (!kept_.empty()) {
    if (hi - lo > kMaxReadPoints) {
      error = Where(path_, first, "too many points");
      return false;
    }
    const std::size_t range[1] = {lo}, span[1] = {hi - lo};
    shorts_.resize(2 * static_cast<std::size_t>(hi - lo));
    dx = shorts_.data();
    if (!ok(nc_->get_vara_short(id_, dx_, range, span, dx), "longitudes") ||
        !ok(nc_->get_vara_short(id_, dy_, range, span, dx + (hi - lo)), "latitudes"))
      return false;
  }
  const std::int16_t* dy = dx ? dx + (hi - lo) : nullptr;
  std::size_t total = 0;
  for (const GshhgLine& line : kept_) total += line.count;
  // Grown by half at least, as the bins of a level come in one view after another.
  auto room = [](auto& v, std::size_t more) {
    if (v.size() + more > v.capacity()) v.reserve(std::max(v.size() + more, v.capacity() * 3 / 2));
  };
  room(lines_, kept_.size());
  room(xy_, 2 * total);
  for (std::uint32_t k = 0; k < count; ++k) {
    slots_[first + k] = {static_cast<std::uint32_t>(lines_.size()),
                         keptFrom_[k + 1] - keptFrom_[k]};
    for (std::uint32_t i = keptFrom_[k]; i < keptFrom_[k + 1]; ++i) {
      const GshhgLine& line = kept_[i];
      lines_.push_back({static_cast<std::uint32_t>(xy_.size() / 2), line.count, line.kind});
      for (std::uint32_t p = line.first - lo; p < line.first - lo + line.count; ++p) {
        xy_.push_back(static_cast<std::uint16_t>(dx[p]));
        xy_.push_back(static_cast<std::uint16_t>(dy[p]));
      }
    }
  }
  return true;
}

}  // namespace tarvik
