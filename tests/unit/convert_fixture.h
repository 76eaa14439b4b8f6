#pragma once
// Stores filled by hand for the filter and export tests.
#include <cstring>
#include <string>
#include <vector>

#include "core/tracked_memory.h"
#include "engine_test_util.h"
#include "params/param_store.h"
#include "processing/poi_store.h"
#include "processing/task.h"

namespace tarvik::testing {

struct Rect {
  double ax, ay, cx, cy;  // north-west corner A, south-east corner C
};

// Records progress and status as the stages report them.
class RecordingSink : public TaskSink {
 public:
  void SetProgress(int percent) override { progress.push_back(percent); }
  void SetStatus(std::uint32_t id) override { status.push_back(id); }
  void EnableCancel(bool) override {}
  void EndTask(int) override {}
  std::vector<int> progress;
  std::vector<std::uint32_t> status;
};

class ConvertFixture {
 public:
  ConvertFixture() : poi(&ctx), params(&ctx) {
    task.appContext = &ctx;
    task.poiStore = &poi;
    task.paramStore = &params;
  }

  void SetRecords(const std::vector<PoiRecord>& records) {
    MemFree(&ctx, poi.data->records);
    poi.data->records = nullptr;
    poi.data->recordCount = 0;
    if (records.empty()) return;
    auto* block = static_cast<PoiRecord*>(MemAlloc(&ctx, records.size() * sizeof(PoiRecord)));
    std::memcpy(static_cast<void*>(block), records.data(), records.size() * sizeof(PoiRecord));
    poi.data->records = block;
    poi.data->recordCount = static_cast<std::uint32_t>(records.size());
  }

  FilterArea& AddArea(Rect r, std::uint8_t param = PARAM_ENABLED, std::uint64_t id = 0,
                      std::u16string_view name = u"area") {
    FilterArea* a = params.AppendFilter();
    a->Param = param;
    a->ID = id;
    SetText(a->Name, name);
    a->AX = r.ax;
    a->AY = r.ay;
    a->CX = r.cx;
    a->CY = r.cy;
    return *a;
  }

  SchemaSet& AddSchema(std::uint8_t param = PARAM_ENABLED | PARAM_DEFAULT,
                       std::u16string_view name = u"schema") {
    SchemaSet* s = params.AppendSchema();
    s->Param = param;
    SetText(s->Name, name);
    return *s;
  }

  SchemaEntry& AddEntry(SchemaSet& schema, std::int32_t type, std::u16string_view desc = u"",
                        std::uint8_t param = PARAM_ENABLED) {
    SchemaEntry* e = params.AppendEntry(schema);
    e->Param = param;
    e->Type = type;
    SetText(e->Desc, desc);
    return *e;
  }

  std::span<TypeCounter> TypeCounters() {
    return {poi.data->typeCounters, poi.data->typeCounterCount};
  }
  std::span<AreaCounter> AreaCounters() {
    return {poi.data->areaCounters, poi.data->areaCounterCount};
  }

  CAppContext ctx;
  CPoiStore poi;
  CParamStore params;
  WorkerTask task;
  RecordingSink sink;
};

using enginetest::Rec;

}  // namespace tarvik::testing
