#include "params/default_params.h"

#include <filesystem>
#include <new>
#include <system_error>

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
  // Only the whole set will do: a part of it would be saved as if the user had deleted the rest.
  auto need = [](auto* item) {
    if (!item) throw std::bad_alloc();
    return item;
  };
  if (!store.data) throw std::bad_alloc();
  if (FilterArea* f = need(store.AddFilter())) {
    SetText(f->Name, StrLoad(STR_DEFAULT_FILTER));
    f->AX = -180.0;
    f->AY = 90.0;
    f->CX = 180.0;
    f->CY = -90.0;
  }
  if (SchemaSet* s = need(store.AddSchema())) {
    SetText(s->Name, StrLoad(STR_DEFAULT_SCHEMA));
    for (const TypeRange& range : kTypeRanges) {
      for (std::int32_t type = range.first; type <= range.last; ++type) {
        if (SchemaEntry* e = need(store.AddEntry(*s))) {
          e->Type = type;
          SetText(e->Desc,
                  StrLoad(range.firstDesc + static_cast<std::uint32_t>(type - range.first)));
        }
      }
    }
  }
  if (ExportProfile* p = need(store.AddProfile())) {
    SetText(p->Name, StrLoad(STR_DEFAULT_PROFILE));
    SetText(p->Desc, StrLoad(STR_DEFAULT_PROFILE_DESC));
  }
}

bool WriteDefaultParamsIfMissing(CAppContext& context, int* error) {
  if (error) *error = 0;
  if (context.iniPath.empty()) return false;
  // Only a file that is surely absent gets defaults; an unreadable one is left alone. A file
  // that is there is not read at all: with many areas that would cost as much as the load.
  std::error_code ec;
  if (std::filesystem::status(ToFsPath(context.iniPath), ec).type() !=
      std::filesystem::file_type::not_found)
    return false;
  IniFile ini;
  if (!ini.Load(context.iniPath) || ini.existed()) return false;
  CParamStore store(&context);
  AddDefaultParams(store);
  WriteParamSections(ini, store);
  std::int64_t seed = context.seed.load();
  ini.WriteStruct(u"Core", u"Seed", &seed, sizeof seed);
  if (ini.Save(context.iniPath, false)) return true;
  if (error) *error = ini.error();
  return false;
}

}  // namespace tarvik
