// The cameras of OpenStreetMap files, read through libosmium. This is the only file that
// includes libosmium: its headers cost much compile time.
#include "processing/osm_source.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <optional>
#include <osmium/io/any_input.hpp>
#include <osmium/io/reader.hpp>
#include <osmium/osm/node.hpp>
#include <osmium/osm/relation.hpp>
#include <osmium/relations/relations_manager.hpp>
#include <osmium/thread/pool.hpp>
#include <system_error>
#include <vector>

#include "core/platform.h"
#include "core/platform_files.h"
#include "core/text.h"
#include "core/tracked_array.h"
#include "processing/parallel.h"
#include "processing/poi_store.h"
#include "processing/progress_steps.h"
#include "processing/task.h"
#include "resources/string_ids.h"

namespace tarvik {

// ---- tag values ----------------------------------------------------------------------------

namespace {

std::string_view Trimmed(std::string_view v) {
  while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
  while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
  return v;
}

std::string_view Trimmed(const char* value) {
  return Trimmed(std::string_view(value ? value : ""));
}

// A decimal number of up to four integer digits at the start of v, which is moved past it.
std::optional<double> TakeNumber(std::string_view& v) {
  std::size_t p = 0;
  double value = 0;
  while (p < v.size() && p < 5 && v[p] >= '0' && v[p] <= '9') value = value * 10 + (v[p++] - '0');
  if (p == 0 || p > 4) return std::nullopt;
  if (p < v.size() && v[p] == '.') {
    double scale = 0.1;
    std::size_t q = p + 1;
    for (; q < v.size() && v[q] >= '0' && v[q] <= '9'; ++q, scale /= 10)
      value += (v[q] - '0') * scale;
    if (q == p + 1) return std::nullopt;
    p = q;
  }
  v.remove_prefix(p);
  return value;
}

constexpr double kKmPerMile = 1.609344;

// The implied limits of common zone values, in km/h.
struct Zone {
  std::string_view name;
  std::int32_t kmh;
};
constexpr Zone kZones[] = {
    {"AT:motorway", 130},     {"AT:rural", 100},     {"AT:urban", 50},     {"BY:living_street", 20},
    {"BY:motorway", 110},     {"BY:rural", 90},      {"BY:urban", 60},     {"CZ:motorway", 130},
    {"CZ:rural", 90},         {"CZ:urban", 50},      {"DE:rural", 100},    {"DE:urban", 50},
    {"FR:motorway", 130},     {"FR:rural", 80},      {"FR:urban", 50},     {"GB:motorway", 113},
    {"GB:nsl_dual", 113},     {"GB:nsl_single", 97}, {"IT:motorway", 130}, {"IT:rural", 90},
    {"IT:urban", 50},         {"PL:motorway", 140},  {"PL:rural", 90},     {"PL:urban", 50},
    {"RU:living_street", 20}, {"RU:motorway", 110},  {"RU:rural", 90},     {"RU:urban", 60},
    {"UA:living_street", 20}, {"UA:motorway", 130},  {"UA:rural", 90},     {"UA:urban", 50},
};

// A zone value "RU:urban" from the table; "DE:zone30" and "DE:zone:30" by their number (in
// mph where the country counts in miles).
std::int32_t ZoneSpeed(std::string_view v) {
  for (const Zone& z : kZones)
    if (z.name == v) return z.kmh;
  const std::size_t colon = v.find(':');
  std::string_view country = v.substr(0, colon);
  std::string_view rest = v.substr(colon + 1);
  if (!rest.starts_with("zone")) return 0;
  rest.remove_prefix(4);
  if (rest.starts_with(":")) rest.remove_prefix(1);
  std::optional<double> n = TakeNumber(rest);
  if (!n || !rest.empty()) return 0;
  const bool miles = country == "GB" || country == "US";
  return static_cast<std::int32_t>(std::lround(*n * (miles ? kKmPerMile : 1.0)));
}

// km/h from a maxspeed value: "60", "60 km/h", "30 mph", "10 knots", a zone; 0 for "none",
// "signals", "walk" and anything unreadable.
std::int32_t SpeedOf(const char* value) {
  std::string_view v = Trimmed(value);
  if (v.find(':') != std::string_view::npos) return ZoneSpeed(v);
  std::optional<double> n = TakeNumber(v);
  if (!n) return 0;
  while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
  double factor;
  if (v.empty() || v == "km/h" || v == "kmh" || v == "kph") {
    factor = 1;
  } else if (v == "mph") {
    factor = kKmPerMile;
  } else if (v == "knots") {
    factor = 1.852;
  } else {
    return 0;
  }
  return static_cast<std::int32_t>(std::lround(*n * factor));
}

// Degrees of a bearing: a number from 0 to 360 or a compass point from N to NNW.
std::optional<double> Bearing(std::string_view v) {
  static constexpr std::string_view kPoints[] = {"N", "NNE", "NE", "ENE", "E", "ESE", "SE", "SSE",
                                                 "S", "SSW", "SW", "WSW", "W", "WNW", "NW", "NNW"};
  for (std::size_t i = 0; i < std::size(kPoints); ++i) {
    if (v.size() != kPoints[i].size()) continue;
    bool same = true;
    for (std::size_t k = 0; k < v.size(); ++k) same &= (v[k] & ~0x20) == kPoints[i][k];
    if (same) return 22.5 * static_cast<double>(i);
  }
  std::optional<double> n = TakeNumber(v);
  if (!n || !v.empty() || *n > 360) return std::nullopt;
  return *n;
}

// The direction in whole degrees (0 to 359) of a direction value: a bearing, or the middle of
// a range "45-135" taken clockwise; -1 for "forward", "backward" and anything unreadable.
std::int32_t DirectionOf(const char* value) {
  std::string_view v = Trimmed(value);
  const std::size_t dash = v.find('-', 1);
  double degrees;
  if (dash != std::string_view::npos) {
    std::optional<double> from = Bearing(Trimmed(v.substr(0, dash)));
    std::optional<double> to = Bearing(Trimmed(v.substr(dash + 1)));
    if (!from || !to) return -1;
    const double span = std::fmod(*to - *from + 720.0, 360.0);
    degrees = *from + span / 2;
  } else {
    std::optional<double> b = Bearing(v);
    if (!b) return -1;
    degrees = *b;
  }
  return static_cast<std::int32_t>(std::lround(degrees) % 360);
}

// What a node or a relation says of the camera.
struct Values {
  std::int32_t speed = 0;       // km/h; 0: none
  std::int32_t direction = -1;  // degrees; -1: none
};

Values ValuesOf(const osmium::TagList& tags) {
  Values v;
  if (tags.empty()) return v;
  v.speed = SpeedOf(tags["maxspeed"]);
  const char* direction = tags["direction"];
  v.direction = DirectionOf(direction ? direction : tags["camera:direction"]);
  return v;
}

// ---- cameras -------------------------------------------------------------------------------

// Why a node is a camera.
enum : std::uint8_t {
  kTagged = 1,    // highway=speed_camera
  kMaxspeed = 2,  // a device of an enforcement=maxspeed relation
  kSignals = 4,   // a device of an enforcement=traffic_signals relation
  kAverage = 8,   // the start of an enforcement=average_speed relation
};

// The enforcements of a type=enforcement relation that are read ("a;b" lists several).
std::uint8_t EnforcementsOf(const osmium::TagList& tags) {
  const char* type = tags["type"];
  if (!type || std::strcmp(type, "enforcement") != 0) return 0;
  std::string_view list = tags["enforcement"] ? tags["enforcement"] : "";
  std::uint8_t kinds = 0;
  while (!list.empty()) {
    const std::size_t semicolon = list.find(';');
    std::string_view item = list.substr(0, semicolon);
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
    if (item == "maxspeed") kinds |= kMaxspeed;
    if (item == "traffic_signals") kinds |= kSignals;
    if (item == "average_speed") kinds |= kAverage;
    list = semicolon == std::string_view::npos ? std::string_view() : list.substr(semicolon + 1);
  }
  return kinds;
}

bool IsRole(const osmium::RelationMember& m, const char* role) {
  return m.type() == osmium::item_type::node && std::strcmp(m.role(), role) == 0;
}

// The member that marks an average speed section: its first "from" node, else its first
// device; -1 when it has neither.
int AverageMember(const osmium::Relation& r) {
  int n = 0, device = -1;
  for (const osmium::RelationMember& m : r.members()) {
    if (IsRole(m, "from")) return n;
    if (device < 0 && IsRole(m, "device")) device = n;
    ++n;
  }
  return device;
}

// The camera kinds that member n of a relation with the given enforcements stands for.
std::uint8_t MemberKinds(const osmium::RelationMember& m, int n, std::uint8_t enforcements,
                         int averageMember) {
  std::uint8_t kinds = 0;
  if (IsRole(m, "device")) kinds |= enforcements & (kMaxspeed | kSignals);
  if ((enforcements & kAverage) && n == averageMember) kinds |= kAverage;
  return kinds;
}

// One reason for a node to be a camera. A node may have several (its tag, relations).
struct Hit {
  std::int64_t id = 0;
  osmium::Location location;
  std::uint8_t kinds = 0;
  bool fromRelation = false;
  std::int64_t relation = 0;  // its id, when fromRelation
  Values node;                // the node's own tags
  Values set;                 // the relation's tags
};

Hit HitOf(const osmium::Node& n) {
  Hit h;
  h.id = n.id();
  h.location = n.location();
  h.node = ValuesOf(n.tags());
  return h;
}

// The relations manager: keeps the relations that enforce something read and the node
// members that are cameras; once a relation's members have been seen (or at the end, for a
// relation cut by the extract's border), its cameras become hits.
class EnforcementManager
    : public osmium::relations::RelationsManager<EnforcementManager, true, false, false, false> {
 public:
  explicit EnforcementManager(std::vector<Hit>& hits) : hits_(hits) {}

  bool new_relation(const osmium::Relation& r) {
    enforcements_ = EnforcementsOf(r.tags());
    averageMember_ = AverageMember(r);
    return enforcements_ != 0;
  }

  bool new_member(const osmium::Relation&, const osmium::RelationMember& m, std::size_t n) {
    if (MemberKinds(m, static_cast<int>(n), enforcements_, averageMember_) == 0) return false;
    memberIds_.push_back(m.ref());
    return true;
  }

  void complete_relation(const osmium::Relation& r) { Take(r); }

  // After the second pass: the relations some of whose members the file lacks.
  void TakeIncomplete() {
    for_each_incomplete_relation([this](const osmium::relations::RelationHandle& h) { Take(*h); });
  }

  // Between the passes. The manager's member lookup may see each node once only (a node
  // repeated in a file would count twice towards its relations), and a look at a bitmap
  // first spares most nodes the search.
  void PrepareMembers() {
    prepare_for_lookup();
    std::sort(memberIds_.begin(), memberIds_.end());
    memberIds_.erase(std::unique(memberIds_.begin(), memberIds_.end()), memberIds_.end());
    seen_.assign(memberIds_.size(), false);
    for (std::int64_t id : memberIds_) bitmap_[Bit(id) / 64] |= std::uint64_t{1} << (Bit(id) % 64);
  }

  void Node(const osmium::Node& n) {
    const std::int64_t id = n.id();
    if (!(bitmap_[Bit(id) / 64] & (std::uint64_t{1} << (Bit(id) % 64)))) return;
    auto it = std::lower_bound(memberIds_.begin(), memberIds_.end(), id);
    if (it == memberIds_.end() || *it != id) return;
    auto seen = seen_.begin() + (it - memberIds_.begin());
    if (*seen) return;
    *seen = true;
    handle_node(n);
  }

 private:
  static constexpr std::size_t kBitmapBits = std::size_t{1} << 20;
  static std::size_t Bit(std::int64_t id) {
    return static_cast<std::size_t>((static_cast<std::uint64_t>(id) * 0x9E3779B97F4A7C15ull) >> 44);
  }

  void Take(const osmium::Relation& r) {
    const std::uint8_t enforcements = EnforcementsOf(r.tags());
    const int average = AverageMember(r);
    const Values set = ValuesOf(r.tags());
    int n = 0;
    for (const osmium::RelationMember& m : r.members()) {
      const std::uint8_t kinds = MemberKinds(m, n++, enforcements, average);
      if (kinds == 0 || m.ref() == 0) continue;
      const osmium::Node* node = get_member_node(m.ref());
      if (!node) continue;
      Hit h = HitOf(*node);
      h.kinds = kinds;
      h.fromRelation = true;
      h.relation = r.id();
      h.set = set;
      hits_.push_back(h);
    }
  }

  std::vector<Hit>& hits_;
  std::uint8_t enforcements_ = 0;  // of the relation being added
  int averageMember_ = -1;
  std::vector<std::int64_t> memberIds_;
  std::vector<bool> seen_;
  std::vector<std::uint64_t> bitmap_ = std::vector<std::uint64_t>(kBitmapBits / 64);
};

bool IsSpeedCamera(const osmium::Node& n) {
  if (n.tags().empty()) return false;
  const char* highway = n.tags()["highway"];
  return highway && std::strcmp(highway, "speed_camera") == 0;
}

std::int32_t TypeOf(std::uint8_t kinds) {
  if (kinds & kAverage) return 4;
  if ((kinds & kMaxspeed) && (kinds & kSignals)) return 2;
  if (kinds & kSignals) return 3;
  return 1;
}

// The hits as records, one per node in id order. The relations decide the type; speed and
// direction come from the node's own tags, else from its first relation (by id) that has them.
bool MakeRecords(std::vector<Hit>& hits, TrackedBuffer<PoiRecord>& out) {
  std::sort(hits.begin(), hits.end(), [](const Hit& a, const Hit& b) {
    return std::tie(a.id, a.fromRelation, a.relation) < std::tie(b.id, b.fromRelation, b.relation);
  });
  for (std::size_t i = 0; i < hits.size();) {
    const Hit& first = hits[i];
    std::uint8_t kinds = 0;
    Values set;
    std::size_t k = i;
    for (; k < hits.size() && hits[k].id == first.id; ++k) {
      kinds |= hits[k].kinds;
      if (set.speed == 0) set.speed = hits[k].set.speed;
      if (set.direction < 0) set.direction = hits[k].set.direction;
    }
    i = k;
    if (!first.location.valid()) continue;
    PoiRecord r;
    r.X = first.location.lon_without_check();
    r.Y = first.location.lat_without_check();
    r.TYPE = TypeOf(kinds);
    r.SPEED = first.node.speed ? first.node.speed : set.speed;
    const std::int32_t direction = first.node.direction >= 0 ? first.node.direction : set.direction;
    r.DIRTYPE = direction >= 0 ? 1 : 0;
    r.DIRECTION = direction >= 0 ? direction : 0;
    if (!out.Append(r)) return false;
  }
  return true;
}

const char* FormatName(OsmFormat format) {
  switch (format) {
    case OsmFormat::Pbf:
      return "pbf";
    case OsmFormat::Xml:
      return "osm";
    case OsmFormat::XmlGzip:
      return "osm.gz";
    case OsmFormat::XmlBzip2:
      return "osm.bz2";
    case OsmFormat::Opl:
      return "opl";
    case OsmFormat::None:
      break;
  }
  return "";
}

// The two passes over `file`. Exceptions are the reader's failures.
void ReadPasses(WorkerTask& task, const osmium::io::File& file, std::vector<Hit>& hits) {
  osmium::thread::Pool pool(static_cast<int>(ThreadsFor(kMaxThreads)));
  EnforcementManager manager(hits);
  std::size_t size = 0;
  std::optional<ProgressSteps> progress;
  auto pass = [&](osmium::osm_entity_bits::type what, std::size_t before, auto&& each) {
    osmium::io::Reader reader(file, pool, what, osmium::io::read_meta::no);
    if (!progress) {
      size = reader.file_size();
      progress.emplace(task, 2 * std::uint64_t{size});
    }
    while (osmium::memory::Buffer buffer = reader.read()) {
      for (const osmium::OSMObject& object : buffer.select<osmium::OSMObject>()) each(object);
      if (Aborted(task)) break;
      progress->At(before + reader.offset());
    }
    reader.close();
  };
  ReportStatus(task, STR_STATUS_OSM_RELATIONS);
  pass(osmium::osm_entity_bits::relation, 0, [&](const osmium::OSMObject& o) {
    manager.relation(static_cast<const osmium::Relation&>(o));
  });
  if (Aborted(task)) return;
  manager.PrepareMembers();
  ReportStatus(task, STR_STATUS_OSM_NODES);
  pass(osmium::osm_entity_bits::node, size, [&](const osmium::OSMObject& o) {
    const auto& node = static_cast<const osmium::Node&>(o);
    if (IsSpeedCamera(node)) {
      Hit h = HitOf(node);
      h.kinds = kTagged;
      hits.push_back(h);
    }
    manager.Node(node);
  });
  if (Aborted(task)) return;
  manager.TakeIncomplete();
}

std::u16string Method(OsmFormat format) {
  return format == OsmFormat::XmlBzip2 ? u"bzip2" : u"gzip";
}

// Reads `file` into the store, or records why it cannot be read.
void Read(WorkerTask& task, PoiData& d, const osmium::io::File& file, OsmFormat format) {
  const std::u16string& path = task.targetPath;
  std::vector<Hit> hits;
  try {
    ReadPasses(task, file, hits);
  } catch (const std::bad_alloc&) {
    AbortWithFailure(task, STR_FAIL_RECORD_MEMORY, path);
    return;
  } catch (const std::system_error& e) {
    AbortWithFailure(task, STR_FAIL_READ, path, Utf8ToUtf16(platform::ErrorText(e.code().value())));
    return;
  } catch (const osmium::gzip_error&) {
    AbortWithFailure(task, STR_FAIL_OSM_COMPRESSION, path, std::u16string(u"gzip"));
    return;
  } catch (const osmium::bzip2_error&) {
    AbortWithFailure(task, STR_FAIL_OSM_COMPRESSION, path, std::u16string(u"bzip2"));
    return;
  } catch (const osmium::xml_error& e) {
    if (e.line != 0) {
      AbortWithFailure(task, STR_FAIL_OSM_XML, path, static_cast<unsigned long long>(e.line),
                       static_cast<unsigned long long>(e.column));
    } else {
      AbortWithFailure(task, STR_FAIL_OSM_DATA, path);
    }
    return;
  } catch (const std::exception&) {
    // The rest: a damaged or cut PBF (blob sizes, zlib, protocol buffers), or data that breaks
    // the format's rules.
    if (format == OsmFormat::Pbf) {
      AbortWithFailure(task, STR_FAIL_OSM_DAMAGED, path);
    } else if (format == OsmFormat::XmlGzip || format == OsmFormat::XmlBzip2) {
      // A stream that ends early is reported by the XML parser; bad data by the unpacker.
      AbortWithFailure(task, STR_FAIL_OSM_COMPRESSION, path, Method(format));
    } else {
      AbortWithFailure(task, STR_FAIL_OSM_DATA, path);
    }
    return;
  }
  if (Aborted(task)) return;
  TrackedBuffer<PoiRecord> records(task.poiStore ? task.poiStore->context : nullptr);
  if (!MakeRecords(hits, records) || records.size() > UINT32_MAX) {
    AbortWithFailure(task, STR_FAIL_RECORD_MEMORY, path);
    return;
  }
  if (records.size() == 0) {
    AbortWithFailure(task, STR_FAIL_OSM_NO_CAMERAS, path);
    return;
  }
  d.recordCount = static_cast<std::uint32_t>(records.size());
  d.records = records.Release();
  d.recordsStamp = NextRecordsStamp();
  d.sourceFormat = SOURCE_OSM;
}

}  // namespace

void ReadOsmBytes(WorkerTask& task, PoiData& d, std::string_view bytes, OsmFormat format) {
  try {
    Read(task, d, osmium::io::File(bytes.data(), bytes.size(), FormatName(format)), format);
  } catch (const std::bad_alloc&) {
    AbortWithFailure(task, STR_FAIL_RECORD_MEMORY, task.targetPath);
  }
}

void ReadOsmSource(WorkerTask& task, PoiData& d) {
  const OsmFormat format = static_cast<OsmFormat>(d.osmFormat);
  if (d.fileBytes) {
    ReadOsmBytes(task, d, std::string_view(d.fileBytes, d.fileLength), format);
    return;
  }
  // libosmium takes a name with a scheme ("http:...") for an address to download, and "-" for
  // standard input: a relative path is given as "./" + path.
  std::string name = platform::NativePath(task.targetPath);
  if (!name.starts_with("/")) name = "./" + name;
  try {
    Read(task, d, osmium::io::File(name, FormatName(format)), format);
  } catch (const std::bad_alloc&) {
    AbortWithFailure(task, STR_FAIL_RECORD_MEMORY, task.targetPath);
  }
}

}  // namespace tarvik
