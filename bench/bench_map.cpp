// Map pictures: a full redraw of 1,000,000 and 5,000,000 POIs at 1600 x 1000 pixels (the
// density picture of every POI), and a zoomed-in frame with its dots by type. The POIs lie
// in clusters around cities, in random order, as in a real table. Then the geography under
// them: its lines at world and at country zoom, and its memory with every bin of the crude,
// low and intermediate resolutions read.
//   bench_map [--benchmark_filter=...]
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "map/base_map.h"
#include "map/map_raster.h"
#include "map/map_scene.h"

namespace tarvik {
namespace {

// Cluster centres: longitude, latitude, weight.
constexpr double kCities[][3] = {
    {37.6176, 55.7558, 30}, {30.3141, 59.9386, 15}, {49.1221, 55.7887, 4}, {60.6122, 56.8519, 4},
    {82.9346, 55.0415, 4},  {39.7015, 47.2357, 4},  {44.0020, 56.3287, 4}, {2.3522, 48.8566, 10},
    {13.4050, 52.5200, 8},  {12.4964, 41.9028, 6},  {-3.7038, 40.4168, 6}, {-0.1276, 51.5072, 8},
};

std::vector<PoiRecord> MakeRecords(std::size_t n) {
  std::vector<PoiRecord> records(n);
  std::uint64_t state = 1;
  auto next = [&state] {  // splitmix64
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  };
  auto uniform = [&next] { return static_cast<double>(next() >> 11) * 0x1.0p-53; };
  double total = 0;
  for (const auto& c : kCities) total += c[2];
  for (PoiRecord& r : records) {
    double pick = uniform() * total;
    const double* city = kCities[0];
    for (const auto& c : kCities)
      if ((pick -= c[2]) <= 0) {
        city = c;
        break;
      }
    const double radius = std::sqrt(-2.0 * std::log(1.0 - uniform())) * 0.8;
    const double angle = 6.283185307179586 * uniform();
    r.X = city[0] + radius * std::cos(angle) * 1.7;
    r.Y = city[1] + radius * std::sin(angle);
    r.TYPE = static_cast<std::int32_t>(1 + next() % 7);
  }
  return records;
}

const std::vector<PoiRecord>& Records(std::size_t n) {
  static std::vector<PoiRecord> records;
  if (records.size() != n) records = MakeRecords(n);
  return records;
}

struct Usage {
  double userMs = 0, sysMs = 0, faults = 0;
};
Usage Now() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
  return {ms(u.ru_utime), ms(u.ru_stime), static_cast<double>(u.ru_minflt + u.ru_majflt)};
}

// Renders the frame of `view` over n POIs again and again; the first frame sizes the picture
// and is not counted.
void Frames(benchmark::State& state, const MapView& view) {
  const std::size_t n = static_cast<std::size_t>(state.range(0));
  const std::vector<PoiRecord>& records = Records(n);
  CAppContext context;
  DensityLayer layer(&context);
  const std::int32_t types[] = {1, 2, 3, 4, 5, 6, 7};
  layer.SetTypes(types);
  IndexedImage image(&context);
  DensityStats stats;
  layer.Render(records, view, image, stats);
  const Usage before = Now();
  for (auto _ : state) {
    layer.Render(records, view, image, stats);
    benchmark::DoNotOptimize(image.Row(0));
  }
  const Usage after = Now();
  const double frames = static_cast<double>(state.iterations());
  state.counters["user_ms"] = (after.userMs - before.userMs) / frames;
  state.counters["sys_ms"] = (after.sysMs - before.sysMs) / frames;
  state.counters["faults"] = (after.faults - before.faults) / frames;
  state.counters["in_view"] = stats.inView;
  state.counters["dots"] = stats.dots;
  // Everything the frame needs beyond the records: the layer's counters and the picture.
  // The window's whole figure (two pictures and the layer) is measured by map_window.
  const double bytes = static_cast<double>(layer.Bytes() + image.Bytes());
  state.counters["picture_MiB"] = static_cast<double>(image.Bytes()) / (1 << 20);
  state.counters["layer_MiB"] = static_cast<double>(layer.Bytes()) / (1 << 20);
  state.counters["bytes_per_poi"] = bytes / static_cast<double>(n);
}

// Every POI in view: the density picture.
void BM_MapFull(benchmark::State& state) {
  Frames(state,
         FitView(HomeBox(Records(static_cast<std::size_t>(state.range(0))), {}), 1600, 1000));
}
BENCHMARK(BM_MapFull)->Arg(1000000)->Arg(5000000)->Unit(benchmark::kMillisecond);

// Zoomed in on a suburb: a few thousand dots by type out of all the POIs.
void BM_MapDots(benchmark::State& state) {
  GeoBox box;
  box.Add(38.6, 56.2);
  box.Add(38.9, 56.35);
  Frames(state, FitView(box, 1600, 1000));
}
BENCHMARK(BM_MapDots)->Arg(1000000)->Arg(5000000)->Unit(benchmark::kMillisecond);

// The geography of a frame at world zoom (crude) or over central Europe, 10 x 10 degrees
// (intermediate), its bins already read as from the second frame on: the lines into pixels
// and drawn into a picture.
void BM_BaseLines(benchmark::State& state) {
  CAppContext context;
  BaseMap base(&context);
  base.Open(DefaultGshhgDir(), DefaultCitiesPath());
  if (!base.HasLines()) {
    state.SkipWithError("no GSHHG files (gmt-gshhg-low)");
    return;
  }
  GeoBox box;
  if (state.range(0)) {
    box.Add(5, 45);
    box.Add(15, 55);
  }
  const MapView view = FitView(box, 1600, 1000);
  BaseLines lines(&context);
  IndexedImage image(&context);
  image.Resize(1600, 1000);
  base.Lines(view, lines);
  const Usage before = Now();
  for (auto _ : state) {
    base.Lines(view, lines);
    DrawBaseLines(image, lines);
  }
  const Usage after = Now();
  const double frames = static_cast<double>(state.iterations());
  state.counters["user_ms"] = (after.userMs - before.userMs) / frames;
  state.counters["points"] = static_cast<double>(lines.points.size());
  state.counters["resolution"] = base.ResolutionFor(view.scale);
}
BENCHMARK(BM_BaseLines)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The base layer's memory with all three resolutions of gmt-gshhg-low read whole, and the
// cities: what BaseMap counts, and what its context tracked.
void BM_BaseMemory(benchmark::State& state) {
  double bytes = 0, tracked = 0;
  for (auto _ : state) {
    CAppContext context;
    BaseMap base(&context);
    base.Open(DefaultGshhgDir(), DefaultCitiesPath());
    for (int r : {kCrude, kLow, kIntermediate})
      if (!base.LoadAll(r)) state.SkipWithError("a resolution could not be read");
    bytes = static_cast<double>(base.Bytes());
    tracked = static_cast<double>(MemInUse(&context));
  }
  state.counters["base_MiB"] = bytes / (1 << 20);
  state.counters["tracked_MiB"] = tracked / (1 << 20);
}
BENCHMARK(BM_BaseMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tarvik

BENCHMARK_MAIN();
