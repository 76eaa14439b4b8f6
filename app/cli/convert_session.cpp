#include "app/cli/convert_session.h"

#include <charconv>

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

namespace {

// Puts the ticked rows at the head of a list one after another, so the list runs in the
// reverse of the displayed order, as the main window builds it.
template <class Row, class Ticked>
RefNode* BuildList(const std::vector<Row>& rows, std::vector<RefNode>& nodes, Ticked ticked) {
  nodes.assign(rows.size(), {});
  RefNode* head = nullptr;
  std::size_t used = 0;
  for (std::size_t k = 0; k < rows.size(); ++k) {
    if (!ticked(k)) continue;
    void* ref = nullptr;
    if constexpr (std::is_same_v<Row, TypeRow>)
      ref = rows[k].entry;
    else
      ref = rows[k].area;
    nodes[used] = {ref, head};
    head = &nodes[used++];
  }
  return head;
}

}  // namespace

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
  if (entry->defaultsRaced()) PrintError(Text(STR_DEFAULTS_RACED, context.iniPath));

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
  // A file without a table would count, export and draw as a table without cameras.
  if (open.parsedLayout == SOURCE_NONE) {
    PrintError(Utf16ToUtf8(NoTableText(open.targetPath, open.headerBeyondLine)));
    return kExitFailed;
  }
  StoreHold<CPoiStore> hold(&poi, StoreHold<CPoiStore>::Wait);
  PrintSourceNote(*poi.data);
  return kExitOk;
}

int ConvertSession::Select(const std::vector<std::string>& areas,
                           const std::vector<std::string>& types, Selection& out) {
  {
    StoreHold<CParamStore> hold(&params, StoreHold<CParamStore>::Wait);
    StoreHold<CPoiStore> poiHold(&poi, StoreHold<CPoiStore>::Wait);
    std::vector<TypeRow> typeRows = TypeRows();
    std::vector<AreaRow> areaRows = AreaRows();

    std::vector<bool> typeTicked(typeRows.size(), types.empty());
    for (const std::string& code : types) {
      std::int32_t value = 0;
      auto r = std::from_chars(code.data(), code.data() + code.size(), value);
      bool found = false;
      if (r.ec == std::errc() && r.ptr == code.data() + code.size()) {
        for (std::size_t k = 0; k < typeRows.size(); ++k) {
          if (typeRows[k].entry->Type != value) continue;
          typeTicked[k] = true;
          found = true;
        }
      }
      if (!found) {
        std::vector<std::u16string> codes;
        for (const TypeRow& row : typeRows)
          codes.push_back(Utf8ToUtf16(std::to_string(row.entry->Type)));
        PrintError(Text(STR_CLI_NO_TYPE, Utf8ToUtf16(code), Utf8ToUtf16(JoinNames(codes))));
        return kExitUsage;
      }
    }
    std::vector<bool> areaTicked(areaRows.size(), areas.empty());
    for (const std::string& name : areas) {
      std::u16string wanted = Utf8ToUtf16(name);
      bool found = false;
      for (std::size_t k = 0; k < areaRows.size(); ++k) {
        if (FieldText(areaRows[k].area->Name) != wanted) continue;
        areaTicked[k] = true;
        found = true;
      }
      if (!found) {
        std::vector<std::u16string> names;
        for (const AreaRow& row : areaRows) names.emplace_back(FieldText(row.area->Name));
        PrintError(Text(STR_CLI_NO_AREA, wanted, Utf8ToUtf16(JoinNames(names))));
        return kExitUsage;
      }
    }
    out.entryList =
        BuildList(typeRows, out.entryNodes, [&](std::size_t k) { return typeTicked[k]; });
    out.areaList = BuildList(areaRows, out.areaNodes, [&](std::size_t k) { return areaTicked[k]; });
  }
  // An export needs a ticked row in each list.
  if (!out.entryList) {
    PrintError(Text(STR_CLI_NO_TYPE_ROWS));
    return kExitFailed;
  }
  if (!out.areaList) {
    PrintError(Text(STR_CLI_NO_AREA_ROWS));
    return kExitFailed;
  }
  return kExitOk;
}

std::vector<TypeRow> ConvertSession::TypeRows() const {
  return poi.data ? BuildTypeRows(*poi.data) : std::vector<TypeRow>();
}

std::vector<AreaRow> ConvertSession::AreaRows() const {
  return poi.data ? BuildAreaRows(*poi.data) : std::vector<AreaRow>();
}

}  // namespace tarvik::cli
