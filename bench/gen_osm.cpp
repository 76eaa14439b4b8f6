// Writes a synthetic OpenStreetMap extract for benchmarks, through libosmium's PBF writer, laid
// out as regional extracts are: nodes, then ways, then relations, each by id, with version,
// timestamp and changeset.
//
//   gen_osm --nodes 20000000 --seed 1 -o extract.osm.pbf
//
// Nodes lie on short random walks (roads drawn at different times) across Eastern Europe; 0.2 % of
// them are cameras (highway=speed_camera with a speed and a direction), 3 % carry other tags. One
// way per eight nodes joins runs of them. One enforcement relation per 10,000 nodes (maxspeed,
// traffic signals, average speed) names a camera or an untagged node as its device, and as many
// route relations name ways. Same arguments, same extract.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <osmium/builder/osm_object_builder.hpp>
#include <osmium/io/pbf_output.hpp>
#include <osmium/io/writer.hpp>
#include <string>

namespace {

class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {  // splitmix64
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }

 private:
  std::uint64_t state_;
};

constexpr std::size_t kBufferBytes = std::size_t{4} << 20;
constexpr const char* kSpeeds[] = {"40", "60", "60", "90", "110", "RU:urban", "30 mph"};
constexpr const char* kDirections[] = {"0", "90", "180", "270", "NE", "45-135", "forward"};
constexpr const char* kOtherTags[][2] = {
    {"amenity", "bench"}, {"highway", "crossing"}, {"barrier", "gate"}, {"natural", "tree"}};
constexpr const char* kEnforcements[] = {"maxspeed", "maxspeed", "traffic_signals",
                                         "average_speed"};

// Objects of a real extract were edited at any time in any changeset.
void Meta(osmium::OSMObject& o, std::int64_t id, Random& rng) {
  o.set_id(id);
  o.set_version(static_cast<osmium::object_version_type>(1 + rng.Below(6)));
  o.set_changeset(static_cast<osmium::changeset_id_type>(1 + rng.Below(150000000)));
  o.set_timestamp(osmium::Timestamp{static_cast<std::uint32_t>(1200000000 + rng.Below(500000000))});
  o.set_visible(true);
}

bool IsCamera(std::int64_t id) {
  return id % 500 == 7;  // 0.2 %
}

}  // namespace

int main(int argc, char** argv) {
  std::int64_t nodes = 1000000;
  std::uint64_t seed = 1;
  std::string out;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--nodes"))
      nodes = std::atoll(argv[i + 1]);
    else if (!std::strcmp(argv[i], "--seed"))
      seed = std::strtoull(argv[i + 1], nullptr, 10);
    else if (!std::strcmp(argv[i], "-o"))
      out = argv[i + 1];
  }
  if (out.empty() || nodes < 1000) {
    std::fputs("usage: gen_osm --nodes N (at least 1000) [--seed S] -o extract.osm.pbf\n", stderr);
    return 2;
  }
  Random rng(seed);
  osmium::io::Header header;
  header.set("generator", "tarvik gen_osm");
  header.set("sorting", "Type_then_ID");
  osmium::io::Writer writer(osmium::io::File(out, "pbf"), header, osmium::io::overwrite::allow);
  osmium::memory::Buffer buffer(kBufferBytes);
  auto flush = [&] {
    if (buffer.committed() > kBufferBytes - (std::size_t{64} << 10)) {
      writer(std::move(buffer));
      buffer = osmium::memory::Buffer(kBufferBytes);
    }
  };

  // A road of 40 nodes starts anywhere; its steps are up to 100 m.
  std::int32_t x = 300000000, y = 550000000;
  for (std::int64_t id = 1; id <= nodes; ++id) {
    if (id % 40 == 1) {
      x = 200000000 + rng.Below(400000000);
      y = 450000000 + rng.Below(150000000);
    }
    x += rng.Below(2001) - 1000;
    y += rng.Below(1201) - 600;
    {
      osmium::builder::NodeBuilder b(buffer);
      Meta(b.object(), id, rng);
      b.object().set_location(osmium::Location{x, y});
      if (IsCamera(id)) {
        osmium::builder::TagListBuilder tags(b);
        tags.add_tag("highway", "speed_camera");
        tags.add_tag("maxspeed", kSpeeds[rng.Below(std::size(kSpeeds))]);
        tags.add_tag("direction", kDirections[rng.Below(std::size(kDirections))]);
      } else if (rng.Below(100) < 3) {
        const auto& tag = kOtherTags[rng.Below(std::size(kOtherTags))];
        osmium::builder::TagListBuilder tags(b);
        tags.add_tag(tag[0], tag[1]);
      }
    }
    buffer.commit();
    flush();
  }
  const std::int64_t ways = nodes / 8;
  for (std::int64_t id = 1; id <= ways; ++id) {
    {
      osmium::builder::WayBuilder b(buffer);
      Meta(b.object(), id, rng);
      {
        osmium::builder::WayNodeListBuilder refs(b);
        for (std::int64_t n = (id - 1) * 8 + 1; n <= id * 8 + 1 && n <= nodes; ++n)
          refs.add_node_ref(n);
      }
      osmium::builder::TagListBuilder tags(b);
      tags.add_tag("highway", id % 7 ? "residential" : "primary");
    }
    buffer.commit();
    flush();
  }
  const std::int64_t enforcements = nodes / 10000;
  for (std::int64_t id = 1; id <= 2 * enforcements; ++id) {
    {
      osmium::builder::RelationBuilder b(buffer);
      Meta(b.object(), id, rng);
      const bool enforcement = id % 2 == 1;
      {
        osmium::builder::RelationMemberListBuilder members(b);
        if (enforcement) {
          // A camera node, or an untagged one.
          std::int64_t device =
              1 + static_cast<std::int64_t>(rng.Next() % static_cast<std::uint64_t>(nodes));
          if (rng.Below(2)) device = device / 500 * 500 + 7;
          if (device > nodes) device -= 500;
          members.add_member(osmium::item_type::node, device, "device");
          members.add_member(osmium::item_type::way, 1 + (device - 1) / 8, "");
        } else {
          for (int k = 0; k < 20; ++k)
            members.add_member(
                osmium::item_type::way,
                1 + static_cast<std::int64_t>(rng.Next() % static_cast<std::uint64_t>(ways)), "");
        }
      }
      osmium::builder::TagListBuilder tags(b);
      if (enforcement) {
        tags.add_tag("type", "enforcement");
        tags.add_tag("enforcement", kEnforcements[rng.Below(std::size(kEnforcements))]);
        tags.add_tag("maxspeed", kSpeeds[rng.Below(std::size(kSpeeds))]);
      } else {
        tags.add_tag("type", "route");
        tags.add_tag("route", "bus");
      }
    }
    buffer.commit();
    flush();
  }
  writer(std::move(buffer));
  writer.close();
  return 0;
}
