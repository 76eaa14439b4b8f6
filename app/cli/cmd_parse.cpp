// tarvik-cli parse [--quiet] FILE: loads and parses a speed-camera table through the task
// pipeline and prints its records.
#include <memory>
#include <string>

#include "app/cli/cli_common.h"
#include "core/store_lock.h"
#include "core/tracked_memory.h"
#include "processing/poi_store.h"
#include "resources/string_ids.h"

namespace tarvik::cli {

namespace {

struct ParseOptions {
  bool quiet = false;
  std::string file;
};

void PrintRecords(const PoiData& d, Output& out) {
  for (std::uint32_t i = 0; i < d.recordCount; ++i) {
    const PoiRecord& r = d.records[i];
    char* p = out.Reserve(2 * 32 + 4 * 16);
    p = AppendDouble17(p, r.X);
    *p++ = ',';
    p = AppendDouble17(p, r.Y);
    *p++ = ',';
    p = AppendInt(p, r.TYPE);
    *p++ = ',';
    p = AppendInt(p, r.SPEED);
    *p++ = ',';
    p = AppendInt(p, r.DIRTYPE);
    *p++ = ',';
    p = AppendInt(p, r.DIRECTION);
    *p++ = '\n';
    out.Commit(p);
  }
}

int RunParse(const ParseOptions& options) {
  CAppContext context;
  CPoiStore store(&context);
  TerminalSink sink;
  WorkerTask task;
  task.appContext = &context;
  task.poiStore = &store;
  task.progressWindow = &sink;
  task.targetPath = PathArgument(options.file);
  task.stageFlags = TASK_LOAD_FILE | TASK_PARSE;
  RunOnWorker(task);

  if (Aborted(task)) {
    PrintError(AbortMessage(task));
    return kExitFailed;
  }
  StoreHold<CPoiStore> hold(&store, StoreHold<CPoiStore>::Wait);
  const PoiData* d = store.data;
  if (!d) {  // the store could not even get its data block
    PrintError(Text(STR_FAIL_FILE_MEMORY, task.targetPath));
    return kExitFailed;
  }

  // stdout: the column line, then the records unless --quiet.
  Output out;
  out.Append("X,Y,TYPE,SPEED,DIRTYPE,DIRECTION\n");
  if (!options.quiet) PrintRecords(*d, out);
  bool written = out.Finish();

  // stderr: a warning when no header was found, then the summary line.
  std::uint32_t layout = STR_LAYOUT_NONE;
  if (d->sourceFormat == SOURCE_COMMA) layout = STR_LAYOUT_COMMA;
  if (d->sourceFormat == SOURCE_BAR) layout = STR_LAYOUT_BAR;
  if (d->sourceFormat == SOURCE_OSM) layout = STR_LAYOUT_OSM;
  PrintSourceNote(*d);
  if (layout == STR_LAYOUT_NONE)
    PrintError(task.headerBeyondLine
                   ? Utf16ToUtf8(NoTableText(task.targetPath, task.headerBeyondLine))
                   : Text(STR_CLI_NO_HEADER, task.targetPath));
  PrintError(Text(STR_CLI_PARSE_SUMMARY, d->recordCount, StrLoad(layout), task.targetPath));
  return written ? kExitOk : kExitFailed;
}

}  // namespace

void RegisterParse(CliApp& app) {
  auto options = std::make_shared<ParseOptions>();
  CLI::App* cmd =
      app.AddCommand("parse", STR_CLI_PARSE_HELP, [options] { return RunParse(*options); });
  cmd->add_flag("-q,--quiet", options->quiet, Text(STR_CLI_QUIET));
  CliApp::AddTableArgument(cmd, options->file);
}

}  // namespace tarvik::cli
