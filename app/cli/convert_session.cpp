#include "app/cli/convert_session.h"

#include "core/platform.h"
#include "core/store_lock.h"
#include "resources/string_ids.h"

namespace tarvik::cli {

std::string JoinNames(const std::vector<std::u16string>& names) {
  if (names.empty()) return Text(STR_CLI_NONE_AVAILABLE);
  std::u16string joined;
  for (const std::u16string& n : names) {
    if (!joined.empty()) joined += u", ";
    joined += n;
  }
  return Utf16ToUtf8(joined);
}

void ConvertSession::Prepare(WorkerTask& task, std::uint32_t flags) {
  task.appContext = &context;
  task.poiStore = &poi;
  task.paramStore = &params;
  task.progressWindow = &sink;
  task.stageFlags = flags;
}

void ConvertSession::Run(WorkerTask& task) {
  RunOnWorker(task);
}

int ConvertSession::LoadSettings(const SessionOptions& options) {
  if (int status = CheckIniFolder(options.ini); status != kExitOk) return status;
  if (!poi.data || !params.data) {  // a store without its data block: no memory for it
    PrintNoMemory();
    return kExitFailed;
  }
  EntryOptions entryOptions;
  entryOptions.iniPath = PathArgument(options.ini);
  entryOptions.writeSeedAtExit = false;  // nothing here creates items
  entry.emplace(context, entryOptions);
  if (int e = entry->defaultsError())
    PrintError(Text(STR_DEFAULTS_UNSAVED, context.iniPath, Utf8ToUtf16(platform::ErrorText(e))));

  WorkerTask load;
  Prepare(load, TASK_LOAD_PARAMS);
  Run(load);
  if (Aborted(load) || load.failure.stringId != 0) {
    PrintError(AbortMessage(load));
    return kExitFailed;
  }

  if (!options.schema.empty()) {
    // Current for this run only: nothing is saved.
    StoreHold<CParamStore> hold(&params, StoreHold<CParamStore>::Wait);
    std::u16string wanted = Utf8ToUtf16(options.schema);
    std::vector<std::u16string> names;
    SchemaSet* chosen = nullptr;
    for (SchemaSet& s : params.Schemas()) {
      if (IsDeleted(s) || !(s.Param & PARAM_ENABLED)) continue;
      names.emplace_back(FieldText(s.Name));
      if (!chosen && names.back() == wanted) chosen = &s;
    }
    if (!chosen) {
      PrintError(Text(STR_CLI_NO_SCHEMA, wanted, Utf8ToUtf16(JoinNames(names))));
      return kExitUsage;
    }
    MakeCurrentFromList(params.Schemas(), *chosen);
  }
  return kExitOk;
}

int ConvertSession::LoadTable(const std::string& file, bool count) {
  WorkerTask open;
  Prepare(open, count ? TASK_LOAD_FILE | TASK_PARSE | TASK_FILTER : TASK_LOAD_FILE | TASK_PARSE);
  open.targetPath = PathArgument(file);
  Run(open);
  if (Aborted(open) || open.failure.stringId != 0) {
    PrintError(AbortMessage(open));
    return kExitFailed;
  }
  StoreHold<CPoiStore> hold(&poi, StoreHold<CPoiStore>::Wait);
  PrintSourceNote(*poi.data);
  return kExitOk;
}

std::vector<TypeRow> ConvertSession::TypeRows() const {
  return poi.data ? BuildTypeRows(*poi.data) : std::vector<TypeRow>();
}

std::vector<AreaRow> ConvertSession::AreaRows() const {
  return poi.data ? BuildAreaRows(*poi.data) : std::vector<AreaRow>();
}

}  // namespace tarvik::cli
