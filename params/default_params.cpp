#include "params/default_params.h"

#include "core/text.h"
#include "params/ini_file.h"
#include "params/param_io.h"
#include "resources/string_ids.h"

namespace tarvik {
namespace {

// Camera types 1 to 7, then the hazards of published tables, 100 to 106: each range has its
// descriptions in a row of the string table.
struct TypeRange {
  std::int32_t first, last;
  std::uint32_t firstDesc;
};
constexpr TypeRange kTypeRanges[] = {{1, 7, STR_DEFAULT_TYPE_FIRST},
                                     {100, 106, STR_DEFAULT_HAZARD_FIRST}};

}  // namespace

void AddDefaultParams(CParamStore& store) {
  if (FilterArea* f = store.AddFilter()) {
    SetText(f->Name, StrLoad(STR_DEFAULT_FILTER));
    f->AX = -180.0;
    f->AY = 90.0;
    f->CX = 180.0;
    f->CY = -90.0;
  }
  if (SchemaSet* s = store.AddSchema()) {
    SetText(s->Name, StrLoad(STR_DEFAULT_SCHEMA));
    for (const TypeRange& range : kTypeRanges) {
      for (std::int32_t type = range.first; type <= range.last; ++type) {
        if (SchemaEntry* e = store.AddEntry(*s)) {
          e->Type = type;
          SetText(e->Desc,
                  StrLoad(range.firstDesc + static_cast<std::uint32_t>(type - range.first)));
        }
      }
    }
  }
  if (ExportProfile* p = store.AddProfile()) {
    SetText(p->Name, StrLoad(STR_DEFAULT_PROFILE));
    SetText(p->Desc, StrLoad(STR_DEFAULT_PROFILE_DESC));
  }
}

bool WriteDefaultParamsIfMissing(CAppContext& context) {
  if (context.iniPath.empty()) return false;
  IniFile ini;
  // Only a file that is surely absent gets defaults; an unreadable one is left alone.
  if (!ini.Load(context.iniPath) || ini.existed()) return false;
  CParamStore store(&context);
  AddDefaultParams(store);
  WriteParamSections(ini, store);
  std::int64_t seed = context.seed.load();
  ini.WriteStruct(u"Core", u"Seed", &seed, sizeof seed);
  return ini.Save(context.iniPath);
}

}  // namespace tarvik
