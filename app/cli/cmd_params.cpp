// tarvik-cli params [--ini PATH]: lists the filters, schemas and export profiles of a settings
// file in store order, deleted items left out. Read-only: no defaults, no seed written.
#include <memory>
#include <string>

#include "app/cli/cli_common.h"
#include "core/platform.h"
#include "core/program_entry.h"
#include "params/ini_file.h"
#include "params/param_io.h"

namespace tarvik::cli {

namespace {

constexpr std::uint32_t kTextEnabled = 556;  // "Включено"
constexpr std::uint32_t kTextCurrent = 557;  // "По умолчанию"
constexpr std::uint32_t kTextLocked = 558;   // "Блокировка"
constexpr std::uint32_t kTextAnsi = 560;
constexpr std::uint32_t kTextUtf8 = 561;
constexpr std::uint32_t kTextUnreadable = 751;
constexpr std::uint32_t kTextDescription = 780;
constexpr std::uint32_t kTextIniOption = 781;
constexpr std::uint32_t kTextFile = 782;
constexpr std::uint32_t kTextNoFile = 783;
constexpr std::uint32_t kTextFilters = 784;
constexpr std::uint32_t kTextFilterLine = 785;
constexpr std::uint32_t kTextSchemas = 786;
constexpr std::uint32_t kTextItemLine = 787;
constexpr std::uint32_t kTextEntryLine = 788;
constexpr std::uint32_t kTextProfiles = 789;
constexpr std::uint32_t kTextProfileFiles = 790;
constexpr std::uint32_t kTextProfileLimits = 791;
constexpr std::uint32_t kTextDisabled = 792;
constexpr std::uint32_t kTextYes = 793;
constexpr std::uint32_t kTextNo = 794;

// "Включено, По умолчанию, Блокировка" as far as they apply.
std::u16string Flags(std::uint8_t param, bool current, bool lockable) {
  std::u16string s = StrLoad((param & PARAM_ENABLED) ? kTextEnabled : kTextDisabled);
  if (current) s += u", " + StrLoad(kTextCurrent);
  if (lockable && (param & PARAM_LOCKED)) s += u", " + StrLoad(kTextLocked);
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
  Line(out, Text(kTextFilters, LiveCount(store.Filters())));
  for (const FilterArea& f : store.Filters()) {
    if (IsDeleted(f)) continue;
    Line(out, Text(kTextFilterLine, FieldText(f.Name), f.AX, f.AY, f.CX, f.CY,
                   Flags(f.Param, false, true)));
  }
  const SchemaSet* currentSchema = store.CurrentSchema();
  Line(out, Text(kTextSchemas, LiveCount(store.Schemas())));
  for (SchemaSet& s : store.Schemas()) {
    if (IsDeleted(s)) continue;
    Line(out, Text(kTextItemLine, FieldText(s.Name), Flags(s.Param, &s == currentSchema, false)));
    for (const SchemaEntry& e : CParamStore::Entries(s)) {
      if (IsDeleted(e)) continue;
      Line(out, Text(kTextEntryLine, static_cast<std::uint32_t>(e.Type), FieldText(e.Desc)));
    }
  }
  const ExportProfile* currentProfile = store.CurrentProfile();
  Line(out, Text(kTextProfiles, LiveCount(store.Profiles())));
  for (const ExportProfile& p : store.Profiles()) {
    if (IsDeleted(p)) continue;
    Line(out, Text(kTextItemLine, FieldText(p.Name), Flags(p.Param, &p == currentProfile, true)));
    Line(out, Text(kTextProfileFiles, FieldText(p.File), FieldText(p.Format), FieldText(p.Folder)));
    Line(out, Text(kTextProfileLimits, StrLoad(p.Codepage == 65001 ? kTextUtf8 : kTextAnsi),
                   p.Codepage, p.SizeLimit, p.StringLimit, StrLoad(p.Translit ? kTextYes : kTextNo),
                   FieldText(p.Desc)));
  }
}

int RunParams(const std::string& iniOption) {
  CAppContext context;
  EntryOptions options;
  options.iniPath = Utf8ToUtf16(iniOption);
  options.writeDefaults = false;
  options.writeSeedAtExit = false;
  ProgramEntry entry(context, options);

  IniFile ini;
  if (!ini.Load(context.iniPath)) {
    std::u16string reason =
        context.iniPath.empty() ? std::u16string() : Utf8ToUtf16(platform::ErrorText(ini.error()));
    PrintError(Text(kTextUnreadable, context.iniPath, reason));
    return kExitFailed;
  }
  Output out;
  Line(out, Text(kTextFile, context.iniPath));
  if (!ini.existed()) Line(out, Text(kTextNoFile));
  CParamStore store(&context);
  ReadParamSections(ini, store);
  List(store, out);
  return out.Finish() ? kExitOk : kExitFailed;
}

}  // namespace

void RegisterParams(CliApp& app) {
  auto iniOption = std::make_shared<std::string>();
  CLI::App* cmd =
      app.AddCommand("params", kTextDescription, [iniOption] { return RunParams(*iniOption); });
  cmd->add_option("--ini", *iniOption, Text(kTextIniOption));
}

}  // namespace tarvik::cli
