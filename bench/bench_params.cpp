// Saving and loading the parameter sets: 1,000 filters, 100 schemas of 50 entries and 20
// export profiles, through the same stage operations the worker runs for a 0x0C task
// (save, clear, load). The settings file lives in a temporary folder.
//   bench_params [--benchmark_filter=...]
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "core/text.h"
#include "params/param_io.h"
#include "processing/param_stages.h"

namespace tarvik {
namespace {

struct Fixture {
  CAppContext ctx;
  CParamStore store{&ctx};
  std::filesystem::path dir;

  Fixture() {
    char tmpl[] = "/tmp/tarvik-bench-XXXXXX";
    dir = mkdtemp(tmpl);
    ctx.iniPath = Utf8ToUtf16((dir / "Tarvik.ini").string());
    ctx.seed = 1700000000;
    for (int i = 0; i < 1000; ++i) {
      FilterArea* f = store.AddFilter();
      SetText(f->Name, u"Область " + Utf8ToUtf16(std::to_string(i)));
      f->AX = 20 + i % 40;
      f->AY = 70 - i % 30;
      f->CX = f->AX + 2.5;
      f->CY = f->AY - 1.5;
    }
    for (int i = 0; i < 100; ++i) {
      SchemaSet* s = store.AddSchema();
      SetText(s->Name, u"Схема " + Utf8ToUtf16(std::to_string(i)));
      for (int j = 0; j < 50; ++j) {
        SchemaEntry* e = store.AddEntry(*s);
        e->Type = j + 1;
        SetText(e->Desc, u"Камера контроля скорости {speed} км/ч");
      }
    }
    for (int i = 0; i < 20; ++i) {
      ExportProfile* p = store.AddProfile();
      SetText(p->Folder, u"/media/usb/POI");
      SetText(p->Desc, u"Профиль экспорта для навигационной системы");
    }
  }
  ~Fixture() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }

  void Task(WorkerTask& task) {
    task.appContext = &ctx;
    task.paramStore = &store;
  }
};

void BM_SaveParams(benchmark::State& state) {
  Fixture fx;
  for (auto _ : state) {
    WorkerTask task;
    fx.Task(task);
    SaveParams(task);
    if (task.paramsSaveFailed) state.SkipWithError("save failed");
  }
}
BENCHMARK(BM_SaveParams)->Unit(benchmark::kMillisecond);

void BM_LoadParams(benchmark::State& state) {
  Fixture fx;
  {
    WorkerTask task;
    fx.Task(task);
    SaveParams(task);
  }
  for (auto _ : state) {
    WorkerTask task;
    fx.Task(task);
    fx.store.Clear();
    LoadParams(task);
  }
  if (fx.store.Filters().size() != 1000 || fx.store.Schemas().size() != 100)
    state.SkipWithError("load lost items");
}
BENCHMARK(BM_LoadParams)->Unit(benchmark::kMillisecond);

// Save, clear, load: the parameter part of the save, reload and filter task (limit: 50 ms).
void BM_SaveClearLoad(benchmark::State& state) {
  Fixture fx;
  for (auto _ : state) {
    WorkerTask task;
    fx.Task(task);
    SaveParams(task);
    fx.store.Clear();
    LoadParams(task);
  }
  if (fx.store.Profiles().size() != 20) state.SkipWithError("load lost items");
}
BENCHMARK(BM_SaveClearLoad)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tarvik

BENCHMARK_MAIN();
