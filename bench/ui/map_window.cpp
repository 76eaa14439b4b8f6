// The map window's own memory and times, headless (QT_QPA_PLATFORM=offscreen):
//   map_window [POIS...]
// For each count: a 1600 x 1000 map over that many POIs, fitted and then dragged with the
// mouse frame by frame (across, down and both at once) without the geography; the most tracked
// memory the window held at once (every picture it keeps and the renderer's counters), the
// median render time of a frame and of painting the window. Then, over the first count, the
// same at world zoom and at a country zoom (10 x 10 degrees over central Europe), each without
// and with the geography: the median frame and paint, and the longest frame of the drag plus
// its paint, in wall time and in CPU time (the render thread's for the frame, the process's for
// the paint: Qt's painter hands image conversions to a pool of threads of its own, and the
// render thread is idle by then); and the longer of two wheel notches, in and out, whose frames are
// drawn whole. Prints shell assignments for bench/run.sh.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QMouseEvent>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include <time.h>

#include "core/tracked_memory.h"
#include "processing/poi_store.h"
#include "ui/map_widget.h"

using namespace tarvik;

namespace {

double CpuMs(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Europe, denser towards its south-west corner, as cities make a real table uneven.
void Fill(CAppContext& data, CPoiStore& poi, std::uint32_t n) {
  poi.data->records = static_cast<PoiRecord*>(MemAlloc(&data, sizeof(PoiRecord) * n));
  std::uint64_t state = n;
  auto next = [&state] {  // splitmix64
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  };
  for (std::uint32_t i = 0; i < n; ++i) {
    const double u = static_cast<double>(next() >> 11) * 0x1.0p-53;
    const double v = static_cast<double>(next() >> 11) * 0x1.0p-53;
    poi.data->records[i] = {
        u * u * 40, 40 + v * v * 20, static_cast<std::int32_t>(1 + next() % 7), 60, 0, 0};
  }
  poi.data->recordCount = n;
}

struct Figures {
  double most = 0;              // bytes
  double frame = 0, paint = 0;  // medians, ms
  double worst = 0;             // the longest frame of a drag plus its paint, ms
  double worstCpu = 0;          // the same in CPU time
  double cpu = 0;               // the median of a frame and its paint in CPU time
  double zoomCpu = 0;           // the longer frame plus paint of a wheel notch, CPU time
};

// The window over `poi`, at `start` (or fitted to the POIs), dragged frame by frame, then
// zoomed.
Figures Measure(CPoiStore& poi, std::optional<MapView> start, bool geography) {
  CAppContext window;  // the map's own memory, and nothing else, is tracked here
  Figures f;
  std::vector<double> frameMs, paintMs, cpuMs;
  {
    MapWidget map(&window, nullptr);
    map.resize(1600, 1000);
    map.SetBaseMap(geography);
    MapSchema schema;
    for (std::int32_t t = 1; t <= 7; ++t) {
      schema.types.push_back(t);
      schema.descs.push_back(u"type");
    }
    map.SetSource(&poi, schema);
    map.show();
    if (start) {
      map.SetView(*start);
    } else {
      map.ShowAll();
    }
    QImage target(map.size(), QImage::Format_RGB32);
    unsigned frames = 0;
    // The first frame opens the geography and reads its bins: not counted.
    //
    // Dragged with the mouse as a user would: across, down, back, up and both ways at once;
    // then the wheel, a notch in and one out.
    constexpr int kDrags[][2] = {{40, 0}, {0, 30}, {-40, 0}, {0, -30}, {40, 30}, {-40, -30}};
    constexpr int kSteps = 2 * std::size(kDrags);
    QPointF mouse(800, 500);
    auto send = [&map, &mouse](QEvent::Type type, Qt::MouseButtons buttons) {
      QMouseEvent e(type, mouse, map.mapToGlobal(mouse), Qt::LeftButton, buttons, {});
      QCoreApplication::sendEvent(&map, &e);
    };
    for (int step = -1; step < kSteps + 2; ++step) {
      if (step == 0) send(QEvent::MouseButtonPress, Qt::LeftButton);
      if (step >= 0 && step < kSteps) {
        mouse += QPointF(kDrags[step % std::size(kDrags)][0], kDrags[step % std::size(kDrags)][1]);
        send(QEvent::MouseMove, Qt::LeftButton);
      }
      if (step == kSteps) send(QEvent::MouseButtonRelease, Qt::NoButton);
      if (step >= kSteps) {
        QWheelEvent wheel(mouse, map.mapToGlobal(mouse), {}, {0, step == kSteps ? 120 : -120},
                          Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&map, &wheel);
      }
      QElapsedTimer wait;
      wait.start();
      // Sleeps between events, as a window's loop does: a spinning wait would take the CPU
      // and the memory bandwidth the render thread is measured on.
      QTimer tick;
      tick.start(50);
      while (!(map.LastFrame().current && map.LastFrame().frames > frames) && wait.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
      frames = map.LastFrame().frames;
      QElapsedTimer paint;
      paint.start();
      const double cpu0 = CpuMs(CLOCK_PROCESS_CPUTIME_ID);
      map.render(&target);
      const double paintMsNow = static_cast<double>(paint.nsecsElapsed()) / 1e6;
      const double paintCpuMs = CpuMs(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
      if (step < 0) continue;
      if (step >= kSteps) {
        f.zoomCpu = std::max(f.zoomCpu, map.LastFrame().cpuMs + paintCpuMs);
        continue;
      }
      frameMs.push_back(map.LastFrame().ms);
      cpuMs.push_back(map.LastFrame().cpuMs + paintCpuMs);
      paintMs.push_back(paintMsNow);
      f.worst = std::max(f.worst, map.LastFrame().ms + paintMsNow);
      f.worstCpu = std::max(f.worstCpu, map.LastFrame().cpuMs + paintCpuMs);
      f.most = std::max(f.most, static_cast<double>(MemInUse(&window)));
    }
  }
  f.frame = Median(frameMs);
  f.cpu = Median(cpuMs);
  f.paint = Median(paintMs);
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  std::vector<std::uint32_t> counts;
  for (int i = 1; i < argc; ++i) counts.push_back(static_cast<std::uint32_t>(std::atol(argv[i])));
  if (counts.empty()) counts = {1000000, 5000000};
  for (std::uint32_t n : counts) {
    CAppContext data;
    CPoiStore poi(&data);
    Fill(data, poi, n);
    const Figures f = Measure(poi, std::nullopt, false);
    std::printf("map_window_bytes_%u=%.0f\n", n, f.most);
    std::printf("map_window_frame_ms_%u=%.2f\n", n, f.frame);
    std::printf("map_window_paint_ms_%u=%.2f\n", n, f.paint);
    if (n != counts.front()) continue;
    GeoBox country;
    country.Add(5, 45);
    country.Add(15, 55);
    const struct {
      const char* name;
      MapView view;
    } zooms[] = {{"world", FitView({}, 1600, 1000)}, {"country", FitView(country, 1600, 1000)}};
    for (const auto& z : zooms)
      for (const bool geography : {false, true}) {
        const Figures g = Measure(poi, z.view, geography);
        const char* kind = geography ? "geo" : "plain";
        std::printf("map_window_%s_%s_frame_ms=%.2f\n", z.name, kind, g.frame);
        std::printf("map_window_%s_%s_paint_ms=%.2f\n", z.name, kind, g.paint);
        std::printf("map_window_%s_%s_worst_ms=%.2f\n", z.name, kind, g.worst);
        std::printf("map_window_%s_%s_worst_cpu_ms=%.2f\n", z.name, kind, g.worstCpu);
        std::printf("map_window_%s_%s_cpu_ms=%.2f\n", z.name, kind, g.cpu);
        std::printf("map_window_%s_%s_zoom_cpu_ms=%.2f\n", z.name, kind, g.zoomCpu);
      }
  }
  return 0;
}
