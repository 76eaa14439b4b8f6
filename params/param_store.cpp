#include "params/param_store.h"

#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "core/text.h"
#include "core/tracked_array.h"
#include "core/tracked_memory.h"
#include "resources/string_ids.h"

namespace tarvik {
namespace {

void SetNewItemName(char16_t* field, std::size_t capacity) {
  SetText(field, capacity, StrLoad(STR_NEW_ITEM));
}

}  // namespace

void SetText(char16_t* field, std::size_t capacity, std::u16string_view text) {
  if (!field || capacity == 0) return;
  std::size_t n = capacity >= 2 ? std::min(text.size(), capacity - 2) : 0;
  // Never keep half of a surrogate pair.
  if (n < text.size() && n > 0 && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF &&
      text[n] >= 0xDC00 && text[n] <= 0xDFFF)
    --n;
  // A NUL inside the text ends it, as it would in the fixed field.
  for (std::size_t i = 0; i < n; ++i) {
    if (text[i] == 0) {
      n = i;
      break;
    }
    field[i] = text[i];
  }
  std::memset(field + n, 0, (capacity - n) * sizeof(char16_t));
}

CParamStore::CParamStore(CAppContext* ctx) : context(ctx) {
  void* block = MemAllocZero(context, sizeof(ParamData));
  if (block) data = new (block) ParamData();
}

CParamStore::~CParamStore() {
  DestroyStore();
}

void CParamStore::Clear() {
  if (!data) return;
  for (std::uint32_t i = 0; i < data->schemaCount; ++i) MemFree(context, data->schemas[i].Entries);
  MemFree(context, data->filters);
  MemFree(context, data->schemas);
  MemFree(context, data->profiles);
  data->filters = nullptr;
  data->schemas = nullptr;
  data->profiles = nullptr;
  data->filterCount = data->schemaCount = data->profileCount = 0;
  data->stale = true;  // until a load fills it again
}

void CParamStore::DestroyStore() {
  std::lock_guard<std::recursive_mutex> guard(lock);
  if (!data) return;
  Clear();
  data->~ParamData();
  MemFree(context, data);
  data = nullptr;
}

std::span<FilterArea> CParamStore::Filters() {
  if (!data || !data->filters) return {};
  return {data->filters, data->filterCount};
}

std::span<SchemaSet> CParamStore::Schemas() {
  if (!data || !data->schemas) return {};
  return {data->schemas, data->schemaCount};
}

std::span<ExportProfile> CParamStore::Profiles() {
  if (!data || !data->profiles) return {};
  return {data->profiles, data->profileCount};
}

std::span<SchemaEntry> CParamStore::Entries(SchemaSet& schema) {
  if (!schema.Entries) return {};
  return {schema.Entries, schema.Count};
}

FilterArea* CParamStore::AppendFilter() {
  if (!data) return nullptr;
  return GrowByOne(context, data->filters, data->filterCount);
}

SchemaSet* CParamStore::AppendSchema() {
  if (!data) return nullptr;
  return GrowByOne(context, data->schemas, data->schemaCount);
}

SchemaEntry* CParamStore::AppendEntry(SchemaSet& schema) {
  if (!data) return nullptr;
  return GrowByOne(context, schema.Entries, schema.Count);
}

ExportProfile* CParamStore::AppendProfile() {
  if (!data) return nullptr;
  return GrowByOne(context, data->profiles, data->profileCount);
}

FilterArea* CParamStore::AddFilter() {
  FilterArea* f = AppendFilter();
  if (!f) return nullptr;
  f->Param = PARAM_ENABLED;
  f->ID = static_cast<std::uint64_t>(NewItemId(context));
  SetNewItemName(f->Name, NAME_CAPACITY);
  return f;
}

SchemaSet* CParamStore::AddSchema() {
  SchemaSet* s = AppendSchema();
  if (!s) return nullptr;
  s->Param = PARAM_ENABLED;
  s->ID = static_cast<std::uint64_t>(NewItemId(context));
  SetNewItemName(s->Name, NAME_CAPACITY);
  if (!CurrentSchema()) s->Param |= PARAM_DEFAULT;
  return s;
}

SchemaEntry* CParamStore::AddEntry(SchemaSet& schema) {
  SchemaEntry* e = AppendEntry(schema);
  if (!e) return nullptr;
  e->Param = PARAM_ENABLED;
  e->ID = static_cast<std::uint64_t>(NewItemId(context));
  e->Type = 255;
  SetNewItemName(e->Desc, ENTRY_DESC_CAPACITY);
  return e;
}

ExportProfile* CParamStore::AddProfile() {
  ExportProfile* p = AppendProfile();
  if (!p) return nullptr;
  p->Param = PARAM_ENABLED;
  p->ID = static_cast<std::uint64_t>(NewItemId(context));
  SetNewItemName(p->Name, NAME_CAPACITY);
  SetText(p->File, u"POIs.csv");
  SetText(p->Format, u"{x},{y},{desc}");
  p->Codepage = 65001;
  if (!CurrentProfile()) p->Param |= PARAM_DEFAULT;
  return p;
}

namespace {

// A tracked copy of `count` records; true for none.
template <class T>
bool CopyArray(CAppContext* context, const T* from, std::uint32_t count, T*& to) {
  to = nullptr;
  if (!from || count == 0) return true;
  to = static_cast<T*>(MemAlloc(context, std::size_t{count} * sizeof(T)));
  if (!to) return false;
  std::memcpy(static_cast<void*>(to), from, std::size_t{count} * sizeof(T));
  return true;
}

}  // namespace

bool CopySets(CParamStore& from, CParamStore& to) {
  to.Clear();
  if (!from.data || !to.data) return false;
  const ParamData& f = *from.data;
  ParamData& t = *to.data;
  t.stale = f.stale;
  bool ok = CopyArray(to.context, f.filters, f.filterCount, t.filters);
  if (ok) t.filterCount = f.filterCount;
  ok = ok && CopyArray(to.context, f.profiles, f.profileCount, t.profiles);
  if (ok) t.profileCount = f.profileCount;
  ok = ok && CopyArray(to.context, f.schemas, f.schemaCount, t.schemas);
  if (ok) {
    // Each schema owns its entries: until its own copy is made it owns none.
    t.schemaCount = f.schemaCount;
    for (std::uint32_t i = 0; i < t.schemaCount; ++i) t.schemas[i].Entries = nullptr;
    for (std::uint32_t i = 0; ok && i < t.schemaCount; ++i) {
      SchemaSet& s = t.schemas[i];
      ok = CopyArray(to.context, f.schemas[i].Entries, f.schemas[i].Count, s.Entries);
      if (!ok) s.Count = 0;
    }
  }
  if (!ok) to.Clear();
  return ok;
}

void SwapSets(CParamStore& a, CParamStore& b) {
  if (!a.data || !b.data) return;
  ParamData& x = *a.data;
  ParamData& y = *b.data;
  using std::swap;
  swap(x.filterCount, y.filterCount);
  swap(x.filters, y.filters);
  swap(x.schemaCount, y.schemaCount);
  swap(x.schemas, y.schemas);
  swap(x.profileCount, y.profileCount);
  swap(x.profiles, y.profiles);
  swap(x.stale, y.stale);
}

}  // namespace tarvik
