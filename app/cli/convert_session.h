#pragma once
// What `count`, `export` and `drive` share: the settings and a table loaded, parsed and counted
// through the same tasks the main window runs, and the two statistics lists in the window's order.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/cli_common.h"
#include "params/param_store.h"
#include "processing/poi_store.h"
#include "processing/program_entry.h"
#include "processing/statistics_rows.h"

namespace tarvik::cli {

struct SessionOptions {
  std::string file;    // the speed-camera table
  std::string ini;     // empty: the settings path rule
  std::string schema;  // empty: the current schema
};

// The rows of the two statistics lists, shared with the main window.
using tarvik::AreaRow;
using tarvik::TypeRow;

class ConvertSession {
 public:
  ConvertSession() = default;
  ConvertSession(const ConvertSession&) = delete;
  ConvertSession& operator=(const ConvertSession&) = delete;

  // Loads the settings (TASK_LOAD_PARAMS) and makes --schema current for this run; then loads,
  // parses and, unless `count` is false, counts the table (TASK_LOAD_FILE | TASK_PARSE |
  // TASK_FILTER). Each returns kExitOk or the exit status after printing why.
  // A file without a header line fails the load: it holds no table to count, export or draw.
  int LoadSettings(const SessionOptions& options);
  int LoadTable(const std::string& file, bool count = true);
  int Open(const SessionOptions& options, bool count = true) {
    int status = LoadSettings(options);
    return status == kExitOk ? LoadTable(options.file, count) : status;
  }

  // The lists as the main window shows them: types by code ascending, areas by count
  // descending; equal keys keep the counters' order. Call after Open succeeded.
  std::vector<TypeRow> TypeRows() const;
  std::vector<AreaRow> AreaRows() const;

  // The rows ticked as the main window would have them: the type rows of the codes in
  // `types` and the areas named in `areas` (every row of a list when its option is empty),
  // each list built as the window builds it. kExitOk, or the exit status after printing why:
  // an unknown code or name, or a list with no ticked row. Call after Open succeeded.
  struct Selection {
    std::vector<RefNode> entryNodes, areaNodes;
    RefNode* entryList = nullptr;
    RefNode* areaList = nullptr;
  };
  int Select(const std::vector<std::string>& areas, const std::vector<std::string>& types,
             Selection& out);

  // Runs a task over the session's stores with the progress bar.
  void Run(WorkerTask& task);
  void Prepare(WorkerTask& task, std::uint32_t flags);
  // The same, over the rows `selection` ticked.
  void Prepare(WorkerTask& task, std::uint32_t flags, const Selection& selection) {
    Prepare(task, flags);
    task.entryList = selection.entryList;
    task.areaList = selection.areaList;
  }

  CAppContext context;
  std::optional<ProgramEntry> entry;
  CPoiStore poi{&context};
  CParamStore params{&context};
  TerminalSink sink;
};

// "a, b, c" of the given names, or the text for none.
std::string JoinNames(const std::vector<std::u16string>& names);

}  // namespace tarvik::cli
