// tarvik-cli map FILE -o map.png [--ini PATH] [--schema NAME] [--width W --height H]
//   [--bbox X1,Y1,X2,Y2] [--no-basemap] [--force]
// Loads a table and the settings and draws the map picture the map window shows: coastlines,
// borders and city names, the POIs (density, or dots by type), the areas with their names, the
// degree grid, the legend and the scale bar, as a PNG file.
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <memory>
#include <optional>
#include <string>

#include "app/cli/cli_common.h"
#include "app/cli/convert_session.h"
#include "core/platform_files.h"
#include "core/store_lock.h"
#include "map/base_map.h"
#include "map/map_scene.h"
#include "map/png_file.h"
#include "map/raster_canvas.h"
#include "resources/string_ids.h"

namespace tarvik::cli {

namespace {

constexpr int kMinSide = 16;
constexpr int kMaxSide = 8192;

struct MapOptions : SessionOptions {
  std::string out;
  int width = 1600;
  int height = 1000;
  std::string bbox;
  bool noBasemap = false;
  bool force = false;
};

// "X1,Y1,X2,Y2" in degrees, any two opposite corners; nothing unless it is a box on the earth.
std::optional<GeoBox> ParseBox(const std::string& text) {
  double v[4];
  const char* p = text.data();
  const char* end = p + text.size();
  for (int i = 0; i < 4; ++i) {
    while (p < end && *p == ' ') ++p;
    if (p < end && *p == '+') ++p;
    const auto r = std::from_chars(p, end, v[i]);
    if (r.ec != std::errc() || !std::isfinite(v[i])) return std::nullopt;
    p = r.ptr;
    while (p < end && *p == ' ') ++p;
    if (i < 3) {
      if (p == end || *p != ',') return std::nullopt;
      ++p;
    }
  }
  if (p != end || v[0] == v[2] || v[1] == v[3]) return std::nullopt;
  for (int i = 0; i < 4; ++i)
    if (std::fabs(v[i]) > (i % 2 ? 90.0 : 180.0)) return std::nullopt;
  GeoBox box;
  box.Add(v[0], v[1]);
  box.Add(v[2], v[3]);
  return box;
}

// What of the geography is missing, and why.
void PrintBaseMapNotes(const BaseMap& base) {
  if (!base.HasLines()) PrintError(Text(STR_CLI_MAP_NO_GSHHG, Utf8ToUtf16(DefaultGshhgDir())));
  for (const std::string& e : base.Errors())
    PrintError(Text(STR_CLI_MAP_GSHHG_ERROR, Utf8ToUtf16KeepingBytes(e)));
  const std::u16string cities = Utf8ToUtf16KeepingBytes(DefaultCitiesPath());
  if (base.CityStatus() == CityList::Status::Missing)
    PrintError(Text(STR_CLI_MAP_NO_CITIES, cities));
  if (base.CityStatus() == CityList::Status::Bad) PrintError(Text(STR_CLI_MAP_BAD_CITIES, cities));
}

int RunMap(const MapOptions& options) {
  for (auto [option, side] : {std::pair{"--width", options.width}, {"--height", options.height}}) {
    if (side < kMinSide || side > kMaxSide) {
      PrintError(Text(STR_CLI_MAP_BAD_SIZE, Utf8ToUtf16(option), side, kMinSide, kMaxSide));
      return kExitUsage;
    }
  }
  std::optional<GeoBox> box;
  if (!options.bbox.empty() && !(box = ParseBox(options.bbox))) {
    PrintError(Text(STR_CLI_MAP_BAD_BBOX, Utf8ToUtf16(options.bbox)));
    return kExitUsage;
  }
  const std::u16string out = PathArgument(options.out);
  const std::string native = platform::NativePath(out);
  // A picture replaces a picture, and only with --force; anything else (the table itself,
  // say) stays. A device or pipe is written as it is.
  if (platform::NameTaken(native) && !platform::IsDeviceOrPipe(native)) {
    if (!IsPngFile(native)) {
      PrintError(Text(STR_CLI_MAP_NOT_PNG, out));
      return kExitFailed;
    }
    if (!options.force) {
      PrintError(Text(STR_CLI_EXISTS, out));
      return kExitFailed;
    }
  }

  ConvertSession session;
  // The picture shows no counts: the table is loaded and parsed only.
  if (int status = session.Open(options, false); status != kExitOk) return status;
  StoreHold<CPoiStore> poiHold(&session.poi, StoreHold<CPoiStore>::Wait);
  StoreHold<CParamStore> paramHold(&session.params, StoreHold<CParamStore>::Wait);
  const PoiData& d = *session.poi.data;
  const std::span<const PoiRecord> records(d.records, d.records ? d.recordCount : 0);
  const std::vector<MapAreaMark> areas = AreaMarks(session.params);
  const MapSchema schema = SchemaOfMap(session.params);
  MapFont font;
  if (!font.Ok()) PrintError(Text(STR_CLI_MAP_NO_FONT));
  const MapView view =
      box ? FitView(*box, options.width, options.height, 0)
          : HomeView(HomeBox(records, areas), options.width, options.height, font.LineHeight());
  std::optional<BaseMap> base;
  if (!options.noBasemap) {
    base.emplace(&session.context);
    base->Open(DefaultGshhgDir(), DefaultCitiesPath());
  }
  MapImage image(&session.context);
  DensityStats stats;
  if (!RenderMapPicture(&session.context, records, areas, schema, view, base ? &*base : nullptr,
                        &font, image, stats)) {
    PrintNoMemory();
    return kExitFailed;
  }
  if (base) PrintBaseMapNotes(*base);
  // Without --force a file that took the name meanwhile stays; a signal drops the picture.
  std::atomic<std::uint32_t> cancelled{0};
  std::string error;
  int err = 0;
  {
    CancelScope scope(cancelled);
    err = WritePng(native, image, {options.force, &cancelled}, error);
  }
  if (err == ECANCELED || cancelled.load()) {
    PrintError(Text(STR_CLI_CANCELLED));
    return kExitFailed;
  }
  if (err == EEXIST && !options.force) {
    PrintError(Text(STR_CLI_MAP_APPEARED, out));
    return kExitFailed;
  }
  if (err != 0) {
    PrintError(Text(STR_CLI_MAP_WRITE_FAILED, out, Utf8ToUtf16(error)));
    return kExitFailed;
  }
  Output summary;
  summary.Append(Text(STR_CLI_MAP_SUMMARY, out, options.width, options.height, stats.inView) +
                 '\n');
  return summary.Finish() ? kExitOk : kExitFailed;
}

}  // namespace

void RegisterMap(CliApp& app) {
  auto options = std::make_shared<MapOptions>();
  CLI::App* cmd = app.AddCommand("map", STR_CLI_MAP_HELP, [options] { return RunMap(*options); });
  CliApp::AddTableArgument(cmd, options->file);
  cmd->add_option("-o,--output", options->out, Text(STR_CLI_MAP_OUT))
      ->required()
      ->type_name(Text(STR_CLI_TYPE_FILE))
      ->check(FileNameCheck(/*output=*/true));
  AddIniOption(cmd, options->ini);
  cmd->add_option("--schema", options->schema, Text(STR_CLI_SCHEMA))
      ->type_name(Text(STR_CLI_TYPE_NAME));
  cmd->add_option("--width", options->width, Text(STR_CLI_MAP_WIDTH))
      ->type_name(Text(STR_CLI_TYPE_NUMBER));
  cmd->add_option("--height", options->height, Text(STR_CLI_MAP_HEIGHT))
      ->type_name(Text(STR_CLI_TYPE_NUMBER));
  cmd->add_option("--bbox", options->bbox, Text(STR_CLI_MAP_BBOX))
      ->type_name(Text(STR_CLI_TYPE_BOX));
  cmd->add_flag("--no-basemap", options->noBasemap, Text(STR_CLI_MAP_NO_BASEMAP));
  cmd->add_flag("--force", options->force, Text(STR_CLI_FORCE));
}

}  // namespace tarvik::cli
