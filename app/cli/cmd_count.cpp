// tarvik-cli count FILE [--ini PATH] [--schema NAME]: loads, parses and counts a table and
// prints the main window's two statistics lists, the unmatched count and the match percentage.
#include <memory>
#include <string>

#include "app/cli/cli_common.h"
#include "app/cli/convert_session.h"
#include "processing/store_lock.h"

namespace tarvik::cli {

namespace {

constexpr std::uint32_t kTextFile = 716;
constexpr std::uint32_t kTextMatch = 604;      // "(соответсвие: %.2f %%)"
constexpr std::uint32_t kColumnName = 581;     // "Имя"
constexpr std::uint32_t kColumnDesc = 582;     // "Описание"
constexpr std::uint32_t kColumnType = 583;     // "Тип"
constexpr std::uint32_t kColumnCount = 587;    // "Количество"
constexpr std::uint32_t kTextRecords = 803;    // "%u" records
constexpr std::uint32_t kTextUnmatched = 804;  // "%u" records no entry describes
constexpr std::uint32_t kTextDescription = 805;
constexpr std::uint32_t kTextIni = 781;  // shared with `params`
constexpr std::uint32_t kTextSchema = 808;

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
  out.Append(Text(kColumnType) + '\t' + Text(kColumnCount) + '\t' + Text(kColumnDesc) + '\n');
  for (const TypeRow& row : session.TypeRows())
    out.Append(Line(u"%d\t%u\t%s", row.entry->Type, row.count, FieldText(row.entry->Desc)));
  out.Append("\n");
  out.Append(Text(kColumnName) + '\t' + Text(kColumnCount) + '\n');
  for (const AreaRow& row : session.AreaRows())
    out.Append(Line(u"%s\t%u", FieldText(row.area->Name), row.count));
  out.Append("\n");
  out.Append(Text(kTextRecords, d.recordCount) + '\n');
  out.Append(Text(kTextUnmatched, d.unmatchedCount) + '\n');
  if (d.recordCount != 0 && d.typeCounterCount != 0) {
    double match = 100.0 - d.unmatchedCount * 100.0 / d.recordCount;
    out.Append(Text(kTextMatch, match) + '\n');
  }
  return out.Finish() ? kExitOk : kExitFailed;
}

}  // namespace

void RegisterCount(CliApp& app) {
  auto options = std::make_shared<SessionOptions>();
  CLI::App* cmd =
      app.AddCommand("count", kTextDescription, [options] { return RunCount(*options); });
  cmd->add_option("FILE", options->file, Text(kTextFile))->required();
  cmd->add_option("--ini", options->ini, Text(kTextIni));
  cmd->add_option("--schema", options->schema, Text(kTextSchema));
}

}  // namespace tarvik::cli
