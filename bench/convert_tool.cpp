// Helpers of the conversion benchmarks in bench/run.sh.
//
//   convert_tool ini PATH
//       writes the settings of the reference export job: one enabled area 35 < X < 40,
//       54 < Y < 57, a current schema with types 1..7 described as "Камера {speed}", a current
//       profile "{x},{y},{desc}" in UTF-8 with the extension .csv.
//   convert_tool ini3 PATH
//       the same job with two more enabled profiles, each writing into a folder of its own as
//       the drive write does: "ansi" ({desc};{x};{y}, Windows-1251, POI/cams.txt) and
//       "translit" (transliterated, descriptions cut to 20 characters, E:\POI\Car\poi.csv).
//   convert_tool stages TABLE OUT [RUNS]
//       the reference job's filter and export stages alone on TABLE, best and median times.
//   convert_tool parse TABLE [THREADS] [RUNS]
//       loads TABLE once and parses it RUNS times on THREADS threads (0: all), best and median.
//   convert_tool filter TABLE [AREAS] [RUNS] [KIND]
//       loads and parses TABLE through the task pipeline, adds AREAS enabled areas (100 by
//       default) of KIND (see areas-ini; cities by default: mixed sizes around the table's
//       cities, some overlapping), and prints the best and median wall time of RUNS filter
//       stages as shell assignments.
//   convert_tool areas-ini PATH KIND COUNT
//       the reference job's settings with COUNT enabled areas of KIND in place of its one:
//       cities (as the filter mode's), random (up to 10 x 10 degrees at random places on the
//       earth, overlapping where they meet), region (the same over the generated tables'
//       cameras, -10..88 E, 37..64 N, so every camera lies in many) or world (each holding the
//       whole earth).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "core/store_lock.h"
#include "core/text.h"
#include "params/ini_file.h"
#include "params/param_io.h"
#include "params/param_store.h"
#include "processing/parallel.h"
#include "processing/pipeline.h"
#include "processing/poi_store.h"

namespace tarvik {
namespace {

void AddSchema(CParamStore& store) {
  SchemaSet* s = store.AppendSchema();
  s->Param = PARAM_ENABLED | PARAM_DEFAULT;
  SetText(s->Name, u"bench");
  for (int t = 1; t <= 7; ++t) {
    SchemaEntry* e = store.AppendEntry(store.Schemas()[0]);
    e->Param = PARAM_ENABLED;
    e->Type = t;
    SetText(e->Desc, u"Камера {speed}");
  }
}

// `count` enabled areas of a kind (see the usage above); false for an unknown kind.
bool AddAreas(CParamStore& store, const std::string& kind, int count) {
  // Cities of the generated tables; areas from 0.1 to 3 degrees wide around them.
  const double cities[][2] = {{37.6176, 55.7558}, {30.3141, 59.9386}, {49.1221, 55.7887},
                              {60.6122, 56.8519}, {82.9346, 55.0415}, {39.7015, 47.2357},
                              {44.0020, 56.3287}, {50.1500, 53.2000}, {2.3522, 48.8566},
                              {13.4050, 52.5200}, {12.4964, 41.9028}, {-3.7038, 40.4168},
                              {21.0122, 52.2297}, {16.3738, 48.2082}, {30.5234, 50.4501},
                              {27.5615, 53.9045}, {24.1052, 56.9496}, {-0.1276, 51.5072}};
  const int nCities = static_cast<int>(std::size(cities));
  std::mt19937 rng(1);
  std::uniform_real_distribution<double> unit(0, 1);
  if (kind != "cities" && kind != "random" && kind != "region" && kind != "world") return false;
  // Where the generated tables' cameras lie.
  const double region[4] = {-10, 37, 88, 64};
  for (int k = 0; k < count; ++k) {
    FilterArea* a = store.AppendFilter();
    a->Param = PARAM_ENABLED;
    SetText(a->Name, Utf8ToUtf16(kind + std::to_string(k)));
    if (kind == "cities") {
      const double* c = cities[k % nCities];
      double half = 0.05 + 1.5 * ((k * 7919) % 100) / 100.0;
      double dx = ((k * 104729) % 200 - 100) / 100.0;
      double dy = ((k * 1299709) % 200 - 100) / 150.0;
      a->AX = c[0] + dx - half;
      a->CX = c[0] + dx + half;
      a->AY = c[1] + dy + half * 0.6;
      a->CY = c[1] + dy - half * 0.6;
    } else if (kind == "random" || kind == "region") {
      const double w = 10 * unit(rng), h = 10 * unit(rng);
      const bool earth = kind == "random";
      const double x0 = earth ? -180 : region[0], y0 = earth ? -90 : region[1];
      const double x1 = earth ? 180 : region[2], y1 = earth ? 90 : region[3];
      a->AX = x0 + (x1 - x0 - w) * unit(rng);
      a->CX = a->AX + w;
      a->CY = y0 + (y1 - y0 - h) * unit(rng);
      a->AY = a->CY + h;
    } else {
      a->AX = -180 - unit(rng);
      a->CX = 180 + unit(rng);
      a->AY = 90 + unit(rng);
      a->CY = -90 - unit(rng);
    }
  }
  return true;
}

// The reference job's settings.
void AddReferenceJob(CParamStore& store) {
  FilterArea* a = store.AppendFilter();
  a->Param = PARAM_ENABLED;
  SetText(a->Name, u"bench");
  a->AX = 35;
  a->CX = 40;
  a->AY = 57;
  a->CY = 54;
  AddSchema(store);
  ExportProfile* p = store.AppendProfile();
  p->Param = PARAM_ENABLED | PARAM_DEFAULT;
  SetText(p->Name, u"bench");
  SetText(p->File, u"POIs.csv");
  SetText(p->Format, u"{x},{y},{desc}");
  p->Codepage = 65001;
}

// The two profiles the drive benchmark writes besides the reference job's.
void AddDriveProfiles(CParamStore& store) {
  ExportProfile* ansi = store.AppendProfile();
  ansi->Param = PARAM_ENABLED;
  SetText(ansi->Name, u"ansi");
  SetText(ansi->File, u"cams.txt");
  SetText(ansi->Folder, u"POI");
  SetText(ansi->Format, u"{desc};{x};{y}");
  ansi->Codepage = 1251;
  ExportProfile* translit = store.AppendProfile();
  translit->Param = PARAM_ENABLED;
  SetText(translit->Name, u"translit");
  SetText(translit->File, u"poi.csv");
  SetText(translit->Folder, u"E:\\POI\\Car");
  SetText(translit->Format, u"{x},{y},{desc}");
  translit->Codepage = 65001;
  translit->Translit = 1;
  translit->StringLimit = 20;
}

// The reference job's settings, or with `count` areas of `kind` in place of its one, or with
// the drive benchmark's two profiles besides its own.
int WriteIni(const char* path, const std::string& kind = "", int count = 0, bool drive = false) {
  CAppContext ctx;
  CParamStore store(&ctx);
  AddReferenceJob(store);
  if (!kind.empty()) {
    store.data->filterCount = 0;
    if (!AddAreas(store, kind, count)) {
      std::fprintf(stderr, "unknown kind of areas: %s\n", kind.c_str());
      return 2;
    }
  }
  if (drive) AddDriveProfiles(store);
  IniFile ini;
  WriteParamSections(ini, store);
  if (!ini.Save(Utf8ToUtf16(path))) {
    std::fprintf(stderr, "cannot write %s\n", path);
    return 1;
  }
  return 0;
}

// A task on the tool's context and stores.
void Bind(WorkerTask& task, CAppContext& ctx, CPoiStore& poi, CParamStore& params) {
  task.appContext = &ctx;
  task.poiStore = &poi;
  task.paramStore = &params;
}

bool Load(CAppContext& ctx, CPoiStore& poi, CParamStore& params, const char* table) {
  WorkerTask load;
  Bind(load, ctx, poi, params);
  load.targetPath = Utf8ToUtf16(table);
  load.stageFlags = TASK_LOAD_FILE | TASK_PARSE;
  RunTask(&load);
  if (Aborted(load) || !poi.data || poi.data->recordCount == 0) {
    std::fprintf(stderr, "cannot load %s\n", table);
    return false;
  }
  return true;
}

double Seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

int TimeStages(const char* table, const char* out, int runs) {
  CAppContext ctx;
  CPoiStore poi(&ctx);
  CParamStore params(&ctx);
  {
    StoreHold<CParamStore> hold(&params, StoreHold<CParamStore>::Wait);
    AddReferenceJob(params);
  }
  if (!Load(ctx, poi, params, table)) return 1;
  std::vector<RefNode> entries(7), areas(1);
  SchemaSet& schema = params.Schemas()[0];
  for (int t = 0; t < 7; ++t)
    entries[t] = {&schema.Entries[t], t + 1 < 7 ? &entries[t + 1] : nullptr};
  areas[0] = {&params.Filters()[0], nullptr};
  std::vector<double> filter, exp;
  std::uint64_t lines = 0;
  for (int r = 0; r < runs; ++r) {
    WorkerTask task;
    Bind(task, ctx, poi, params);
    task.targetPath = Utf8ToUtf16(out);
    task.entryList = entries.data();
    task.areaList = areas.data();
    task.exportProfile = &params.Profiles()[0];
    task.replaceTarget = true;  // every run after the first finds the file of the one before
    StoreHold<CPoiStore> hold(&poi, StoreHold<CPoiStore>::Wait);
    poi.Clear(2);
    auto t0 = std::chrono::steady_clock::now();
    FilterByAreas(task);
    filter.push_back(Seconds(t0));
    t0 = std::chrono::steady_clock::now();
    ExportPois(task);
    exp.push_back(Seconds(t0));
    lines = task.exportResult.linesWritten;
  }
  std::sort(filter.begin(), filter.end());
  std::sort(exp.begin(), exp.end());
  std::printf(
      "lines=%llu filter_best_s=%.4f filter_median_s=%.4f export_best_s=%.4f "
      "export_median_s=%.4f\n",
      static_cast<unsigned long long>(lines), filter[0], filter[filter.size() / 2], exp[0],
      exp[exp.size() / 2]);
  return 0;
}

int TimeParse(const char* table, int threads, int runs) {
  Tuning().threads = static_cast<unsigned>(threads);
  CAppContext ctx;
  CPoiStore poi(&ctx);
  CParamStore params(&ctx);
  if (!Load(ctx, poi, params, table)) return 1;
  std::vector<double> times;
  for (int r = 0; r < runs; ++r) {
    WorkerTask task;
    Bind(task, ctx, poi, params);
    StoreHold<CPoiStore> hold(&poi, StoreHold<CPoiStore>::Wait);
    poi.Clear(1);
    auto t0 = std::chrono::steady_clock::now();
    ParseSource(task);
    times.push_back(Seconds(t0));
  }
  std::sort(times.begin(), times.end());
  std::printf("records=%u threads=%d parse_best_s=%.4f parse_median_s=%.4f\n",
              poi.data->recordCount, threads, times[0], times[times.size() / 2]);
  return 0;
}

int TimeFilter(const char* table, int areas, int runs, const std::string& kind) {
  CAppContext ctx;
  CPoiStore poi(&ctx);
  CParamStore params(&ctx);
  {
    StoreHold<CParamStore> hold(&params, StoreHold<CParamStore>::Wait);
    if (!AddAreas(params, kind, areas)) {
      std::fprintf(stderr, "unknown kind of areas: %s\n", kind.c_str());
      return 2;
    }
    AddSchema(params);
  }
  if (!Load(ctx, poi, params, table)) return 1;
  std::vector<double> times;
  std::uint64_t counted = 0;
  for (int r = 0; r < runs; ++r) {
    WorkerTask task;
    Bind(task, ctx, poi, params);
    StoreHold<CPoiStore> hold(&poi, StoreHold<CPoiStore>::Wait);
    poi.Clear(2);
    auto t0 = std::chrono::steady_clock::now();
    FilterByAreas(task);
    times.push_back(Seconds(t0));
    counted = 0;
    for (std::uint32_t k = 0; k < poi.data->areaCounterCount; ++k)
      counted += poi.data->areaCounters[k].count;
  }
  std::sort(times.begin(), times.end());
  std::printf("records=%u areas=%d area_hits=%llu best_s=%.4f median_s=%.4f\n",
              poi.data->recordCount, areas, static_cast<unsigned long long>(counted), times[0],
              times[times.size() / 2]);
  return 0;
}

}  // namespace
}  // namespace tarvik

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "ini" && argc == 3) return tarvik::WriteIni(argv[2]);
  if (mode == "ini3" && argc == 3) return tarvik::WriteIni(argv[2], "", 0, true);
  if (mode == "areas-ini" && argc == 5)
    return tarvik::WriteIni(argv[2], argv[3], std::max(0, std::atoi(argv[4])));
  if (mode == "stages" && argc >= 4)
    return tarvik::TimeStages(argv[2], argv[3], argc > 4 ? std::max(1, std::atoi(argv[4])) : 5);
  if (mode == "parse" && argc >= 3)
    return tarvik::TimeParse(argv[2], argc > 3 ? std::atoi(argv[3]) : 0,
                             argc > 4 ? std::max(1, std::atoi(argv[4])) : 5);
  if (mode == "filter" && argc >= 3)
    return tarvik::TimeFilter(argv[2], argc > 3 ? std::atoi(argv[3]) : 100,
                              argc > 4 ? std::max(1, std::atoi(argv[4])) : 5,
                              argc > 5 ? argv[5] : "cities");
  std::fprintf(stderr,
               "usage: convert_tool ini PATH | ini3 PATH | areas-ini PATH KIND COUNT | stages TABLE OUT [RUNS] "
               "| parse TABLE [THREADS] [RUNS] | "
               "filter TABLE [AREAS] [RUNS] [KIND]\n");
  return 2;
}
