// The filter and export stages on generated stores, without file loading or parsing.
//   bench_convert [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/text.h"
#include "core/tracked_memory.h"
#include "params/param_store.h"
#include "processing/export.h"
#include "processing/poi_store.h"
#include "processing/task.h"

namespace tarvik {
namespace {

// A million records spread over western Russia, types 1..7; `areas` enabled areas of a few
// degrees each, scattered over the same region.
struct Job {
  CAppContext ctx;
  CPoiStore poi{&ctx};
  CParamStore params{&ctx};
  WorkerTask task;

  Job(std::uint32_t records, int areas) {
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> lon(20, 60), lat(40, 70), size(0.5, 5);
    auto* recs = static_cast<PoiRecord*>(MemAllocZero(&ctx, records * sizeof(PoiRecord)));
    for (std::uint32_t i = 0; i < records; ++i) {
      recs[i].X = lon(rng);
      recs[i].Y = lat(rng);
      recs[i].TYPE = 1 + static_cast<std::int32_t>(rng() % 7);
      recs[i].SPEED = 20 * (1 + static_cast<std::int32_t>(rng() % 6));
    }
    poi.data->records = recs;
    poi.data->recordCount = records;
    for (int a = 0; a < areas; ++a) {
      FilterArea* f = params.AppendFilter();
      f->Param = PARAM_ENABLED;
      double x = lon(rng), y = lat(rng);
      f->AX = x;
      f->CX = x + size(rng);
      f->AY = y;
      f->CY = y - size(rng);
    }
    SchemaSet* s = params.AppendSchema();
    s->Param = PARAM_ENABLED | PARAM_DEFAULT;
    for (int t = 1; t <= 7; ++t) {
      SchemaEntry* e = params.AppendEntry(*s);
      e->Type = t;
      SetText(e->Desc, u"Камера {speed}");
    }
    task.appContext = &ctx;
    task.poiStore = &poi;
    task.paramStore = &params;
  }
};

void BM_Filter(benchmark::State& state) {
  Job job(static_cast<std::uint32_t>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) {
    job.poi.Clear(2);
    FilterByAreas(job.task);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Filter)->Args({1000000, 1})->Args({1000000, 100})->Unit(benchmark::kMillisecond);

void BM_Export(benchmark::State& state) {
  Job job(1000000, 1);
  FilterArea& area = job.params.Filters()[0];
  area.AX = 35;
  area.CX = 40;
  area.AY = 57;
  area.CY = 54;
  ExportProfile* profile = job.params.AppendProfile();
  SetText(profile->Format, u"{x},{y},{desc}");
  profile->Codepage = static_cast<std::int32_t>(state.range(0));
  std::vector<RefNode> entries(7), areas(1);
  for (int t = 0; t < 7; ++t) {
    entries[t].ref = &job.params.Schemas()[0].Entries[t];
    entries[t].next = t + 1 < 7 ? &entries[t + 1] : nullptr;
  }
  areas[0].ref = &area;
  std::string path = (std::filesystem::temp_directory_path() / "tarvik_bench_export.csv").string();
  job.task.targetPath = Utf8ToUtf16(path);
  job.task.entryList = entries.data();
  job.task.areaList = areas.data();
  job.task.exportProfile = profile;
  for (auto _ : state) ExportPois(job.task);
  state.counters["lines"] = static_cast<double>(job.task.exportResult.linesWritten);
  std::remove(path.c_str());
}
BENCHMARK(BM_Export)->Arg(65001)->Arg(0)->Unit(benchmark::kMillisecond);

// One line at a time: the template work alone.
void BM_BuildLine(benchmark::State& state) {
  CAppContext ctx;
  ExportProfile profile{};
  SetText(profile.Format, u"{x},{y},{desc}");
  profile.Codepage = 65001;
  SchemaEntry entry{};
  SetText(entry.Desc, u"Камера {speed}");
  CompiledTemplate desc;
  CompileTemplate(entry.Desc, false, desc);
  ExportLineBuilder builder(&ctx, profile);
  PoiRecord r;
  r.X = 37.6177;
  r.Y = 55.7558;
  r.SPEED = 60;
  char out[256];
  for (auto _ : state) {
    builder.Build(desc, r);
    benchmark::DoNotOptimize(EncodeLine(builder.line(), true, out));
    r.X += 1e-6;
  }
}
BENCHMARK(BM_BuildLine);

}  // namespace
}  // namespace tarvik

BENCHMARK_MAIN();
