// tarvik-cli params [--ini PATH]: lists the filters, schemas and export profiles of a settings
// file in store order, deleted items left out. Read-only: no defaults, no seed written.
#include <memory>
#include <string>

#include "app/cli/cli_common.h"
#include "core/platform.h"
#include "params/ini_file.h"
#include "params/param_io.h"
#include "processing/program_entry.h"
#include "resources/string_ids.h"

namespace tarvik::cli {

namespace {

// "Включено, По умолчанию, Блокировка" as far as they apply.
std::u16string Flags(std::uint8_t param, bool current, bool lockable) {
  std::u16string s = StrLoad((param & PARAM_ENABLED) ? STR_ENABLED : STR_DISABLED);
  if (current) s += u", " + StrLoad(STR_DEFAULT);
  if (lockable && (param & PARAM_LOCKED)) s += u", " + StrLoad(STR_LOCKED);
  return s;
}

template <class Item>
std::uint32_t LiveCount(std::span<Item> items) {
  std::uint32_t n = 0;
  for (const Item& it : items) n += IsDeleted(it) ? 0 : 1;
  return n;
}

void Line(Output& out, const std::string& text) {
  out.Append(text);
  out.Append("\n");
}

void List(CParamStore& store, Output& out) {
  Line(out, Text(STR_CLI_FILTERS, LiveCount(store.Filters())));
  for (const FilterArea& f : store.Filters()) {
    if (IsDeleted(f)) continue;
    Line(out, Text(STR_CLI_FILTER_LINE, FieldText(f.Name), f.AX, f.AY, f.CX, f.CY,
                   Flags(f.Param, false, true)));
  }
  const SchemaSet* currentSchema = store.CurrentSchema();
  Line(out, Text(STR_CLI_SCHEMAS, LiveCount(store.Schemas())));
  for (SchemaSet& s : store.Schemas()) {
    if (IsDeleted(s)) continue;
    Line(out,
         Text(STR_CLI_ITEM_LINE, FieldText(s.Name), Flags(s.Param, &s == currentSchema, false)));
    for (const SchemaEntry& e : CParamStore::Entries(s)) {
      if (IsDeleted(e)) continue;
      Line(out, Text(STR_CLI_ENTRY_LINE, static_cast<std::uint32_t>(e.Type), FieldText(e.Desc)));
    }
  }
  const ExportProfile* currentProfile = store.CurrentProfile();
  Line(out, Text(STR_CLI_PROFILES, LiveCount(store.Profiles())));
  for (const ExportProfile& p : store.Profiles()) {
    if (IsDeleted(p)) continue;
    Line(out,
         Text(STR_CLI_ITEM_LINE, FieldText(p.Name), Flags(p.Param, &p == currentProfile, true)));
    Line(out,
         Text(STR_CLI_PROFILE_FILES, FieldText(p.File), FieldText(p.Format), FieldText(p.Folder)));
    Line(out, Text(STR_CLI_PROFILE_LIMITS,
                   StrLoad(p.Codepage == 65001 ? STR_CODEPAGE_UTF8 : STR_CODEPAGE_ANSI), p.Codepage,
                   p.SizeLimit, p.StringLimit, StrLoad(p.Translit ? STR_YES : STR_NO),
                   FieldText(p.Desc)));
  }
}

int RunParams(const std::string& iniOption) {
  if (int status = CheckIniFolder(iniOption); status != kExitOk) return status;
  CAppContext context;
  EntryOptions options;
  options.iniPath = PathArgument(iniOption);
  options.writeDefaults = false;
  options.writeSeedAtExit = false;
  ProgramEntry entry(context, options);

  IniFile ini;
  if (!ini.Load(context.iniPath)) {
    std::u16string reason =
        context.iniPath.empty() ? std::u16string() : Utf8ToUtf16(platform::ErrorText(ini.error()));
    PrintError(Text(STR_FAIL_PARAMS_LOAD, context.iniPath, reason));
    return kExitFailed;
  }
  Output out;
  Line(out, Text(STR_CLI_PARAMS_FILE, context.iniPath));
  if (!ini.existed()) Line(out, Text(STR_CLI_PARAMS_NO_FILE));
  CParamStore store(&context);
  if (!store.data) {
    PrintNoMemory();
    return kExitFailed;
  }
  ReadParamSections(ini, store);
  List(store, out);
  return out.Finish() ? kExitOk : kExitFailed;
}

}  // namespace

void RegisterParams(CliApp& app) {
  auto iniOption = std::make_shared<std::string>();
  CLI::App* cmd =
      app.AddCommand("params", STR_CLI_PARAMS_HELP, [iniOption] { return RunParams(*iniOption); });
  AddIniOption(cmd, *iniOption);
}

}  // namespace tarvik::cli
