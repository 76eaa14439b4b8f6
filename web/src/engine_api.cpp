// The engine as the page's worker calls it: one session of stores, the same RunTask pipeline
// as the windows and the command line, and the answers as JSON. Runs on the worker's only
// thread; a report of a running task is posted to the page at once.
#include <emscripten.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/language.h"
#include "core/text.h"
#include "map/map_edit.h"
#include "map/map_raster.h"
#include "map/map_view.h"
#include "params/ini_file.h"
#include "params/param_store.h"
#include "processing/pipeline.h"
#include "processing/poi_store.h"
#include "processing/program_entry.h"
#include "processing/statistics_rows.h"
#include "processing/task.h"
#include "resources/string_ids.h"
#include "ui/framework/field_values.h"

namespace tarvik {
namespace {

// JSON text, built as UTF-8; commas go in by themselves.
class Json {
 public:
  Json& Raw(std::string_view s) {
    Comma();
    text_ += s;
    comma_ = true;
    return *this;
  }
  Json& Str(std::u16string_view s) { return Quoted(Utf16ToUtf8(s)); }
  Json& Quoted(std::string_view s) {
    Comma();
    text_ += '"';
    for (char c : s) {
      const auto u = static_cast<unsigned char>(c);
      if (c == '"' || c == '\\') {
        text_ += '\\';
        text_ += c;
      } else if (u < 0x20) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "\\u%04x", u);
        text_ += buf;
      } else {
        text_ += c;
      }
    }
    text_ += '"';
    comma_ = true;
    return *this;
  }
  Json& Num(double v) {
    if (!std::isfinite(v)) return Raw("null");
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return Raw(buf);
  }
  Json& Int(long long v) { return Raw(std::to_string(v)); }
  // Identifiers are 64-bit: as text, which JavaScript numbers cannot hold exactly.
  Json& Id(std::uint64_t v) { return Quoted(std::to_string(v)); }
  Json& Key(std::string_view k) {
    Quoted(k);
    text_ += ':';
    comma_ = false;
    return *this;
  }
  Json& Open(char c) {
    Comma();
    text_ += c;
    comma_ = false;
    return *this;
  }
  Json& Close(char c) {
    text_ += c;
    comma_ = true;
    return *this;
  }
  std::string Take() { return std::move(text_); }

 private:
  void Comma() {
    if (comma_) text_ += ',';
  }
  std::string text_;
  bool comma_ = false;
};

// Reports of the running task, posted to the page as they come.
class PageSink : public TaskSink {
 public:
  void SetProgress(int percent) override {
    EM_ASM({ Module["report"]("progress", $0); }, percent);
  }
  void SetStatus(std::uint32_t stringId) override {
    EM_ASM({ Module["report"]("status", $0); }, stringId);
  }
  void EnableCancel(bool on) override {
    EM_ASM({ Module["report"]("cancel", $0); }, on ? 1 : 0);
  }
  void EndTask(int) override {}
};

struct Session {
  CAppContext context;
  std::optional<ProgramEntry> entry;
  std::unique_ptr<CPoiStore> poi;
  std::unique_ptr<CParamStore> params;
  PageSink sink;
  // The map: the view, its layer and the picture last drawn.
  MapView view;
  std::unique_ptr<DensityLayer> layer;
  std::unique_ptr<IndexedImage> image;
  std::string answer;  // the last answer, until the next call
};

Session* g_session = nullptr;

const char* Answer(std::string text) {
  g_session->answer = std::move(text);
  return g_session->answer.c_str();
}

std::u16string U16(const char* utf8) {
  return Utf8ToUtf16(utf8 ? utf8 : "");
}

std::uint64_t ParseId(const char* text) {
  return text ? std::strtoull(text, nullptr, 10) : 0;
}

// Comma-separated identifiers.
std::vector<std::uint64_t> ParseIds(const char* text) {
  std::vector<std::uint64_t> ids;
  for (const char* p = text; p && *p;) {
    char* end = nullptr;
    const std::uint64_t id = std::strtoull(p, &end, 10);
    if (end == p) break;
    ids.push_back(id);
    p = *end == ',' ? end + 1 : end;
  }
  return ids;
}

template <class Item>
Item* FindById(std::span<Item> items, std::uint64_t id) {
  for (Item& it : items)
    if (it.ID == id && !IsDeleted(it)) return &it;
  return nullptr;
}

void WriteTaskResult(Json& j, const WorkerTask& task) {
  j.Open('{');
  j.Key("failure").Str(FailureText(task.failure));
  j.Key("aborted").Raw(Aborted(task) ? "true" : "false");
  j.Key("replaced").Raw(task.tableReplaced ? "true" : "false");
  j.Key("lines").Int(static_cast<long long>(task.exportResult.linesWritten));
  j.Key("leftOut").Int(static_cast<long long>(task.exportResult.linesLeftOut));
  j.Key("bytes").Int(static_cast<long long>(task.exportResult.bytesWritten));
  j.Close('}');
}

std::string RunRequest(WorkerTask& task) {
  task.progressWindow = &g_session->sink;
  task.appContext = &g_session->context;
  task.poiStore = g_session->poi.get();
  task.paramStore = g_session->params.get();
  RunTask(&task);
  // Identifiers handed out by editors and loads are kept for the next visit.
  if ((task.stageFlags & TASK_SAVE_PARAMS) && !task.paramsSaveFailed)
    WriteSeed(g_session->context.iniPath, g_session->context.seed.load());
  Json j;
  WriteTaskResult(j, task);
  return j.Take();
}

void WriteFilter(Json& j, const FilterArea& a) {
  j.Open('{');
  j.Key("id").Id(a.ID);
  j.Key("param").Int(a.Param);
  j.Key("name").Str(FieldText(a.Name));
  const double corners[] = {a.AX, a.AY, a.CX, a.CY};
  const char* names[] = {"ax", "ay", "cx", "cy"};
  for (int i = 0; i < 4; ++i) {
    j.Key(names[i]).Num(corners[i]);
    j.Key(std::string(names[i]) + "Text").Str(FixedText(corners[i]));
  }
  j.Close('}');
}

void WriteSchema(Json& j, SchemaSet& s) {
  j.Open('{');
  j.Key("id").Id(s.ID);
  j.Key("param").Int(s.Param);
  j.Key("name").Str(FieldText(s.Name));
  j.Key("entries").Open('[');
  for (const SchemaEntry& e : CParamStore::Entries(s)) {
    if (IsDeleted(e)) continue;
    j.Open('{');
    j.Key("id").Id(e.ID);
    j.Key("param").Int(e.Param);
    j.Key("type").Int(e.Type);
    j.Key("typeText").Str(UnsignedText(e.Type));
    j.Key("desc").Str(FieldText(e.Desc));
    j.Close('}');
  }
  j.Close(']');
  j.Close('}');
}

void WriteProfile(Json& j, const ExportProfile& p) {
  j.Open('{');
  j.Key("id").Id(p.ID);
  j.Key("param").Int(p.Param);
  j.Key("name").Str(FieldText(p.Name));
  j.Key("file").Str(FieldText(p.File));
  j.Key("format").Str(FieldText(p.Format));
  j.Key("folder").Str(FieldText(p.Folder));
  j.Key("desc").Str(FieldText(p.Desc));
  j.Key("stringLimit").Str(UnsignedText(p.StringLimit));
  j.Key("sizeLimit").Str(UnsignedText(p.SizeLimit));
  j.Key("codepage").Int(p.Codepage);
  j.Key("translit").Int(p.Translit);
  j.Close('}');
}

}  // namespace
}  // namespace tarvik

using namespace tarvik;

extern "C" {

// Sets the session up over the settings file at `iniPath` (the page has put the stored one
// there, or none: the first-start defaults are written, in `language`, "ru" or "en", the
// page's) and loads the parameter sets.
EMSCRIPTEN_KEEPALIVE const char* tv_start(const char* iniPath, const char* language) {
  if (!g_session) {
    SetLanguage(std::string_view(language) == "en" ? Language::English : Language::Russian);
    g_session = new Session;  // lives as long as the worker
    EntryOptions options;
    options.iniPath = U16(iniPath);
    options.writeSeedAtExit = false;
    g_session->entry.emplace(g_session->context, options);
    g_session->poi = std::make_unique<CPoiStore>(&g_session->context);
    g_session->params = std::make_unique<CParamStore>(&g_session->context);
    g_session->layer = std::make_unique<DensityLayer>(&g_session->context);
    g_session->image = std::make_unique<IndexedImage>(&g_session->context);
  }
  WorkerTask task;
  task.stageFlags = TASK_LOAD_PARAMS;
  return Answer(RunRequest(task));
}

// A task of the given stages; `path` is the table to load.
EMSCRIPTEN_KEEPALIVE const char* tv_run(unsigned flags, const char* path) {
  WorkerTask task;
  task.stageFlags = flags;
  task.targetPath = U16(path);
  return Answer(RunRequest(task));
}

// The export of the ticked entries and areas (identifiers in list order) with a profile,
// into `path`.
EMSCRIPTEN_KEEPALIVE const char* tv_export(const char* path, const char* entryIds,
                                           const char* areaIds, const char* profileId) {
  CParamStore& params = *g_session->params;
  std::vector<RefNode> entries, areas;
  WorkerTask task;
  task.stageFlags = TASK_EXPORT;
  task.targetPath = U16(path);
  task.replaceTarget = true;  // a file of the page's own scratch space
  {
    ParamStoreHold hold(&params, ParamStoreHold::Wait);
    SchemaSet* schema = params.CurrentSchema();
    // As the main window builds them: each ticked row in turn put at the head of its list.
    auto collect = [](std::vector<RefNode>& nodes, auto items,
                      const std::vector<std::uint64_t>& ids) -> RefNode* {
      nodes.reserve(ids.size());
      for (std::uint64_t id : ids)
        if (auto* item = FindById(items, id)) nodes.push_back({item, nullptr});
      for (std::size_t i = 1; i < nodes.size(); ++i) nodes[i].next = &nodes[i - 1];
      return nodes.empty() ? nullptr : &nodes.back();
    };
    if (schema)
      task.entryList = collect(entries, CParamStore::Entries(*schema), ParseIds(entryIds));
    task.areaList = collect(areas, params.Filters(), ParseIds(areaIds));
    task.exportProfile = FindById(params.Profiles(), ParseId(profileId));
  }
  if (!task.exportProfile) return Answer("{\"failure\":\"\",\"aborted\":true}");
  return Answer(RunRequest(task));
}

// The lists of the main window and the parameter sets for the editors.
EMSCRIPTEN_KEEPALIVE const char* tv_state() {
  CPoiStore& poi = *g_session->poi;
  CParamStore& params = *g_session->params;
  StoreHold<CPoiStore> poiHold(&poi, StoreHold<CPoiStore>::Wait);
  ParamStoreHold hold(&params, ParamStoreHold::Wait);
  Json j;
  j.Open('{');
  const PoiData* d = poi.data;
  const std::uint32_t records = d ? d->recordCount : 0;
  j.Key("records").Int(records);
  j.Key("match").Str(records && d->typeCounterCount
                         ? StrLoad(STR_MATCH, 100.0 - static_cast<double>(d->unmatchedCount) *
                                                          100.0 / static_cast<double>(records))
                         : u"");
  SchemaSet* schema = params.CurrentSchema();
  const std::span<SchemaEntry> entries =
      schema ? CParamStore::Entries(*schema) : std::span<SchemaEntry>();
  const auto within = [](auto span, const void* item) {
    return item >= static_cast<const void*>(span.data()) &&
           item < static_cast<const void*>(span.data() + span.size());
  };
  j.Key("types").Open('[');
  if (d)
    for (const TypeRow& row : BuildTypeRows(*d)) {
      if (!within(entries, row.entry)) continue;
      j.Open('{');
      j.Key("id").Id(row.entry->ID);
      j.Key("type").Int(row.entry->Type);
      j.Key("count").Int(row.count);
      j.Key("desc").Str(FieldText(row.entry->Desc));
      j.Close('}');
    }
  j.Close(']');
  j.Key("areas").Open('[');
  if (d)
    for (const AreaRow& row : BuildAreaRows(*d)) {
      if (!within(params.Filters(), row.area)) continue;
      j.Open('{');
      j.Key("id").Id(row.area->ID);
      j.Key("name").Str(FieldText(row.area->Name));
      j.Key("count").Int(row.count);
      j.Close('}');
    }
  j.Close(']');
  j.Key("filters").Open('[');
  for (const FilterArea& a : params.Filters())
    if (!IsDeleted(a)) WriteFilter(j, a);
  j.Close(']');
  j.Key("schemas").Open('[');
  for (SchemaSet& s : params.Schemas())
    if (!IsDeleted(s)) WriteSchema(j, s);
  j.Close(']');
  j.Key("profiles").Open('[');
  for (const ExportProfile& p : params.Profiles())
    if (!IsDeleted(p)) WriteProfile(j, p);
  j.Close(']');
  j.Close('}');
  return Answer(j.Take());
}

// The main window's schema choice.
EMSCRIPTEN_KEEPALIVE void tv_choose_schema(const char* id) {
  CParamStore& params = *g_session->params;
  ParamStoreHold hold(&params, ParamStoreHold::Wait);
  if (SchemaSet* s = FindById(params.Schemas(), ParseId(id)))
    MakeCurrentFromList(params.Schemas(), *s);
}

// The editors. Each works on the store at once, as the desktop editors do: an item added or
// deleted, the fields of the shown row applied with the same rules (a locked item keeps what
// its disabled fields show, a number field that holds no number stops the apply). OK then
// runs {0x2C}, Cancel {0x20}. Answers the new item's identifier, or "" / the refusal.

EMSCRIPTEN_KEEPALIVE const char* tv_add(const char* kind, const char* schemaId) {
  CParamStore& params = *g_session->params;
  ParamStoreHold hold(&params, ParamStoreHold::Wait);
  const std::string k = kind;
  std::uint64_t id = 0;
  if (k == "filter") {
    if (FilterArea* a = params.AddFilter()) id = a->ID;
  } else if (k == "schema") {
    if (SchemaSet* s = params.AddSchema()) id = s->ID;
  } else if (k == "entry") {
    if (SchemaSet* s = FindById(params.Schemas(), ParseId(schemaId)))
      if (SchemaEntry* e = params.AddEntry(*s)) id = e->ID;
  } else if (k == "profile") {
    if (ExportProfile* p = params.AddProfile()) id = p->ID;
  }
  return Answer(id ? std::to_string(id) : "");
}

EMSCRIPTEN_KEEPALIVE void tv_delete(const char* kind, const char* id, const char* schemaId) {
  CParamStore& params = *g_session->params;
  ParamStoreHold hold(&params, ParamStoreHold::Wait);
  const std::string k = kind;
  if (k == "filter") {
    FilterArea* a = FindById(params.Filters(), ParseId(id));
    if (a && !(a->Param & PARAM_LOCKED)) MarkDeleted(*a);
  } else if (k == "schema") {
    // The entries stay with it and go with it at the next save.
    if (SchemaSet* s = FindById(params.Schemas(), ParseId(id))) {
      s->Param = PARAM_DELETED;
      RepairDefault(params.Schemas());
    }
  } else if (k == "entry") {
    if (SchemaSet* s = FindById(params.Schemas(), ParseId(schemaId)))
      if (SchemaEntry* e = FindById(CParamStore::Entries(*s), ParseId(id)))
        e->Param = PARAM_DELETED;
  } else if (k == "profile") {
    ExportProfile* p = FindById(params.Profiles(), ParseId(id));
    if (p && !(p->Param & PARAM_LOCKED)) DeleteItem(params.Profiles(), *p);
  }
}

// The filter editor's apply: every corner read before anything is stored. Answers "" or the
// index (0..3: AX, AY, CX, CY) of the first corner that holds no number and its message.
EMSCRIPTEN_KEEPALIVE const char* tv_apply_filter(const char* id, const char* name, const char* ax,
                                                 const char* ay, const char* cx, const char* cy,
                                                 int enabled) {
  CParamStore& params = *g_session->params;
  ParamStoreHold hold(&params, ParamStoreHold::Wait);
  FilterArea* a = FindById(params.Filters(), ParseId(id));
  if (!a || (a->Param & PARAM_LOCKED)) return Answer("");  // its fields are all disabled
  const char* texts[] = {ax, ay, cx, cy};
  double FilterArea::*fields[] = {&FilterArea::AX, &FilterArea::AY, &FilterArea::CX,
                                  &FilterArea::CY};
  double corners[4];
  for (int i = 0; i < 4; ++i) {
    const std::optional<double> v = DecimalFromText(U16(texts[i]));
    if (!v) {
      Json j;
      j.Open('{');
      j.Key("field").Int(i);
      j.Key("message").Str(StrLoad(STR_NOT_A_NUMBER, StrLoad(i % 2 ? STR_LATITUDE : STR_LONGITUDE),
                                   i < 2 ? u"A" : u"C"));
      j.Close('}');
      return Answer(j.Take());
    }
    corners[i] = *v;
  }
  SetText(a->Name, U16(name));
  if (enabled)
    a->Param |= PARAM_ENABLED;
  else
    a->Param &= static_cast<std::uint8_t>(~PARAM_ENABLED);
  for (int i = 0; i < 4; ++i) a->*fields[i] = corners[i];
  return Answer("");
}

// The schema editor's apply: the shown schema, then the shown entry (either may be "").
EMSCRIPTEN_KEEPALIVE void tv_apply_schema(const char* schemaId, const char* name, int enabled,
                                          int current, const char* entryId, const char* type,
                                          const char* desc) {
  CParamStore& params = *g_session->params;
  ParamStoreHold hold(&params, ParamStoreHold::Wait);
  SchemaSet* s = FindById(params.Schemas(), ParseId(schemaId));
  if (s) {
    SetText(s->Name, U16(name));
    const std::span<SchemaSet> all = params.Schemas();
    if (enabled)
      s->Param |= PARAM_ENABLED;
    else
      DisableItem(all, *s);
    if ((s->Param & PARAM_ENABLED) && current) MakeCurrentFromEditor(all, *s);
    if (SchemaEntry* e = FindById(CParamStore::Entries(*s), ParseId(entryId))) {
      e->Type = IntFromUnsignedText(U16(type));
      SetText(e->Desc, U16(desc));
    }
  }
}

// The export profile editor's apply. A locked profile keeps its texts, size limit, code page
// and enabled box; its string limit, transliteration and current box still apply. A code
// page of -1 (none the box offers) is kept.
EMSCRIPTEN_KEEPALIVE void tv_apply_profile(const char* id, const char* name, const char* file,
                                           const char* format, const char* folder, const char* desc,
                                           const char* sizeLimit, const char* stringLimit,
                                           int codepage, int enabled, int current, int translit) {
  CParamStore& params = *g_session->params;
  ParamStoreHold hold(&params, ParamStoreHold::Wait);
  ExportProfile* p = FindById(params.Profiles(), ParseId(id));
  if (!p) return;
  const bool editable = !(p->Param & PARAM_LOCKED);
  if (editable) {
    SetText(p->Name, U16(name));
    SetText(p->File, U16(file));
    SetText(p->Format, U16(format));
    SetText(p->Folder, U16(folder));
    SetText(p->Desc, U16(desc));
    p->SizeLimit = IntFromUnsignedText(U16(sizeLimit));
    if (codepage >= 0) p->Codepage = codepage;
  }
  p->StringLimit = IntFromUnsignedText(U16(stringLimit));
  const std::span<ExportProfile> all = params.Profiles();
  if (editable) {
    if (enabled)
      p->Param |= PARAM_ENABLED;
    else
      DisableItem(all, *p);
  }
  if ((p->Param & PARAM_ENABLED) && current) MakeCurrentFromEditor(all, *p);
  p->Translit = translit ? 1 : 0;
}

// A new area drawn on the map, as the map window adds one.
EMSCRIPTEN_KEEPALIVE const char* tv_add_area(const char* name, double ax, double ay, double cx,
                                             double cy) {
  CParamStore& params = *g_session->params;
  ParamStoreHold hold(&params, ParamStoreHold::Wait);
  FilterArea* a = params.AddFilter();
  if (!a) return Answer("");
  if (*name) SetText(a->Name, U16(name));
  a->AX = ax, a->AY = ay, a->CX = cx, a->CY = cy;
  return Answer(std::to_string(a->ID));
}

// A text of the string table formatted with up to two text arguments.
EMSCRIPTEN_KEEPALIVE const char* tv_text(unsigned id, const char* a, const char* b) {
  return Answer(Utf16ToUtf8(StrLoad(id, U16(a), U16(b))));
}

// Settings bytes that the page imports: parsed as the desktop reads Tarvik.ini. 0 when they
// hold parameter sets, else the id of the text that says why not.
EMSCRIPTEN_KEEPALIVE unsigned tv_check_ini(const char* bytes, int size) {
  const std::string_view data(bytes, static_cast<std::size_t>(size));
  IniEncoding encoding;
  const std::u16string text = DecodeIniBytes(data, encoding);
  if (text.find(u'\0') != std::u16string::npos) return STR_WEB_NOT_SETTINGS;
  IniFile ini;
  ini.Parse(data);
  for (const char16_t* section : {u"Filter", u"Schema", u"Export"})
    if (ini.KeyCount(section) > 0) return 0;
  return STR_WEB_NOT_SETTINGS;
}

// The settings file as the desktop writes it (UTF-16LE with a byte-order mark), at `out`.
EMSCRIPTEN_KEEPALIVE int tv_ini_for_export(const char* out) {
  IniFile ini;
  if (!ini.Load(g_session->context.iniPath)) return ini.error();
  return ini.Save(U16(out)) ? 0 : ini.error();
}

// The map: the density picture of the loaded POIs as palette indices. `mode` 0 keeps the view
// (new size), 1 fits the loaded points, 2 zooms by `a` at pixel (b, c), 3 drags pixel (a, b)
// to (c, d). Answers the view, where the picture and its palette lie, and the areas' pixels.
EMSCRIPTEN_KEEPALIVE const char* tv_map(int width, int height, int mode, double a, double b,
                                        double c, double d) {
  Session& s = *g_session;
  CPoiStore& poi = *s.poi;
  CParamStore& params = *s.params;
  StoreHold<CPoiStore> poiHold(&poi, StoreHold<CPoiStore>::Wait);
  ParamStoreHold hold(&params, ParamStoreHold::Wait);
  const std::span<const PoiRecord> records =
      poi.data && poi.data->records
          ? std::span<const PoiRecord>(poi.data->records, poi.data->recordCount)
          : std::span<const PoiRecord>();
  s.view.width = width;
  s.view.height = height;
  if (mode == 1 || s.view.scale <= kMinScale) {
    GeoBox box;
    for (const PoiRecord& r : records) box.Add(r.X, r.Y);
    s.view = FitView(box, width, height);
  } else if (mode == 2) {
    s.view = ZoomAt(s.view, {b, c}, a);
  } else if (mode == 3) {
    s.view = Anchored(s.view, s.view.ToGeo({a, b}), {c, d});
  }
  s.view = Clamped(s.view);
  std::vector<std::int32_t> types;
  if (SchemaSet* schema = params.CurrentSchema())
    for (const SchemaEntry& e : CParamStore::Entries(*schema))
      if (!IsDeleted(e)) types.push_back(e.Type);
  DensityStats stats;
  const bool drawn = s.layer->SetTypes(types) && s.layer->Render(records, s.view, *s.image, stats);
  Json j;
  j.Open('{');
  j.Key("ok").Raw(drawn ? "true" : "false");
  j.Key("width").Int(s.image->Width());
  j.Key("height").Int(s.image->Height());
  j.Key("pixels").Int(drawn && s.image->Height() ? reinterpret_cast<std::intptr_t>(s.image->Row(0))
                                                 : 0);
  j.Key("palette").Int(reinterpret_cast<std::intptr_t>(s.image->Palette()));
  j.Key("inView").Int(stats.inView);
  j.Key("dots").Raw(stats.dots ? "true" : "false");
  j.Key("areas").Open('[');
  for (const FilterArea& f : params.Filters()) {
    if (IsDeleted(f)) continue;
    const PixelPoint pa = s.view.ToPixel({f.AX, f.AY});
    const PixelPoint pc = s.view.ToPixel({f.CX, f.CY});
    j.Open('{');
    j.Key("id").Id(f.ID);
    j.Key("name").Str(FieldText(f.Name));
    j.Key("enabled").Raw(f.Param & PARAM_ENABLED ? "true" : "false");
    j.Key("x0").Num(pa.x).Key("y0").Num(pa.y).Key("x1").Num(pc.x).Key("y1").Num(pc.y);
    j.Close('}');
  }
  j.Close(']');
  j.Close('}');
  return Answer(j.Take());
}

// The corners of a rectangle dragged on the map between two pixels, as a new area gets them.
EMSCRIPTEN_KEEPALIVE const char* tv_map_corners(double x0, double y0, double x1, double y1) {
  const MapView& v = g_session->view;
  const AreaCorners c = CornersFromDrag(v.ToGeo({x0, y0}), v.ToGeo({x1, y1}));
  Json j;
  j.Open('{');
  j.Key("ax").Num(c.AX).Key("ay").Num(c.AY).Key("cx").Num(c.CX).Key("cy").Num(c.CY);
  j.Key("axText").Str(FixedText(c.AX)).Key("ayText").Str(FixedText(c.AY));
  j.Key("cxText").Str(FixedText(c.CX)).Key("cyText").Str(FixedText(c.CY));
  j.Close('}');
  return Answer(j.Take());
}

}  // extern "C"
