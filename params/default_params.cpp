#include "params/default_params.h"

#include "core/text.h"
#include "params/ini_file.h"
#include "params/param_io.h"

namespace tarvik {
namespace {

constexpr std::uint32_t kWholeWorld = 760;
constexpr std::uint32_t kSchemaName = 761;
constexpr std::uint32_t kProfileName = 762;
constexpr std::uint32_t kProfileDesc = 770;

// Camera types 1 to 7, then the hazards of published tables, 100 to 106: each range has its
// descriptions in a row of the string table.
struct TypeRange {
  std::int32_t first, last;
  std::uint32_t firstDesc;
};
constexpr TypeRange kTypeRanges[] = {{1, 7, 763}, {100, 106, 771}};

}  // namespace

void AddDefaultParams(CParamStore& store) {
  if (FilterArea* f = store.AddFilter()) {
    SetText(f->Name, StrLoad(kWholeWorld));
    f->AX = -180.0;
    f->AY = 90.0;
    f->CX = 180.0;
    f->CY = -90.0;
  }
  if (SchemaSet* s = store.AddSchema()) {
    SetText(s->Name, StrLoad(kSchemaName));
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
    SetText(p->Name, StrLoad(kProfileName));
    SetText(p->Desc, StrLoad(kProfileDesc));
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
