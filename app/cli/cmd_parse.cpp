// tarvik-cli parse [--quiet] FILE: loads and parses a speed-camera table through the task
// pipeline and prints its records.
#include <memory>
#include <string>

#include "app/cli/cli_common.h"
#include "core/tracked_memory.h"
#include "processing/poi_store.h"
#include "processing/store_lock.h"

namespace tarvik::cli {

namespace {

constexpr std::uint32_t kTextSummary = 700;
constexpr std::uint32_t kTextLayoutComma = 701;
constexpr std::uint32_t kTextLayoutBar = 702;
constexpr std::uint32_t kTextLayoutNone = 703;
constexpr std::uint32_t kTextNoHeader = 704;
constexpr std::uint32_t kTextNoMemory = 709;
constexpr std::uint32_t kTextDescription = 714;
constexpr std::uint32_t kTextQuiet = 715;
constexpr std::uint32_t kTextFile = 716;

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
  task.targetPath = Utf8ToUtf16(options.file);
  task.stageFlags = TASK_LOAD_FILE | TASK_PARSE;
  RunOnWorker(task);

  if (Aborted(task)) {
    PrintError(AbortMessage(task));
    return kExitFailed;
  }
  StoreHold<CPoiStore> hold(&store, StoreHold<CPoiStore>::Wait);
  const PoiData* d = store.data;
  if (!d) {  // the store could not even get its data block
    PrintError(Text(kTextNoMemory, task.targetPath));
    return kExitFailed;
  }

  // stdout: the column line, then the records unless --quiet.
  Output out;
  out.Append("X,Y,TYPE,SPEED,DIRTYPE,DIRECTION\n");
  if (!options.quiet) PrintRecords(*d, out);
  bool written = out.Finish();

  // stderr: a warning when no header was found, then the summary line.
  std::uint32_t layout = kTextLayoutNone;
  if (d->sourceFormat == SOURCE_COMMA) layout = kTextLayoutComma;
  if (d->sourceFormat == SOURCE_BAR) layout = kTextLayoutBar;
  if (layout == kTextLayoutNone) PrintError(Text(kTextNoHeader, task.targetPath));
  PrintError(Text(kTextSummary, d->recordCount, StrLoad(layout), task.targetPath));
  return written ? kExitOk : kExitFailed;
}

}  // namespace

void RegisterParse(CliApp& app) {
  auto options = std::make_shared<ParseOptions>();
  CLI::App* cmd =
      app.AddCommand("parse", kTextDescription, [options] { return RunParse(*options); });
  cmd->add_flag("-q,--quiet", options->quiet, Text(kTextQuiet));
  cmd->add_option("FILE", options->file, Text(kTextFile))->required();
}

}  // namespace tarvik::cli
