// tarvik-cli count FILE [--ini PATH] [--schema NAME]: loads, parses and counts a table and
// prints the main window's two statistics lists, the unmatched count and the match percentage.
#include <memory>
#include <string>

#include "app/cli/cli_common.h"
#include "app/cli/convert_session.h"
#include "core/store_lock.h"
#include "resources/string_ids.h"

namespace tarvik::cli {

namespace {

template <class... A>
std::string Line(const char16_t* format, const A&... args) {
  const FmtArg list[] = {FmtArg(args)...};
  std::u16string text;
  FormatAppend(text, format, list);
  text += u'\n';
  return Utf16ToUtf8(text);
}

int RunCount(const SessionOptions& options) {
  ConvertSession session;
  if (int status = session.Open(options); status != kExitOk) return status;
  StoreHold<CPoiStore> poiHold(&session.poi, StoreHold<CPoiStore>::Wait);
  StoreHold<CParamStore> paramHold(&session.params, StoreHold<CParamStore>::Wait);
  const PoiData& d = *session.poi.data;

  Output out;
  out.Append(Text(STR_COLUMN_TYPE) + '\t' + Text(STR_COLUMN_COUNT) + '\t' + Text(STR_COLUMN_DESC) +
             '\n');
  for (const TypeRow& row : session.TypeRows())
    out.Append(Line(u"%d\t%u\t%s", row.entry->Type, row.count, FieldText(row.entry->Desc)));
  out.Append("\n");
  out.Append(Text(STR_COLUMN_NAME) + '\t' + Text(STR_COLUMN_COUNT) + '\n');
  for (const AreaRow& row : session.AreaRows())
    out.Append(Line(u"%s\t%u", FieldText(row.area->Name), row.count));
  out.Append("\n");
  out.Append(Text(STR_CLI_RECORDS, d.recordCount) + '\n');
  out.Append(Text(STR_CLI_UNMATCHED, d.unmatchedCount) + '\n');
  if (d.recordCount != 0 && d.typeCounterCount != 0) {
    double match = 100.0 - d.unmatchedCount * 100.0 / d.recordCount;
    out.Append(Text(STR_MATCH, match) + '\n');
  }
  return out.Finish() ? kExitOk : kExitFailed;
}

}  // namespace

void RegisterCount(CliApp& app) {
  auto options = std::make_shared<SessionOptions>();
  CLI::App* cmd =
      app.AddCommand("count", STR_CLI_COUNT_HELP, [options] { return RunCount(*options); });
  CliApp::AddTableArgument(cmd, options->file);
  AddIniOption(cmd, options->ini);
  cmd->add_option("--schema", options->schema, Text(STR_CLI_SCHEMA))
      ->type_name(Text(STR_CLI_TYPE_NAME));
}

}  // namespace tarvik::cli
