// The geography under the cameras: GSHHG's files as Debian's gmt-gshhg-low installs them (the
// set-up installs it), the city file the build makes from libgeonames0, the resolution the zoom
// picks, the bins read, and city labels that never overlap.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "core/app_context.h"
#include "core/text.h"
#include "map/base_map.h"
#include "map/raster_canvas.h"
#include "test_files.h"

namespace tarvik {
namespace {

// Distance in degrees from p to the segment ab.
double ToSegment(GeoPoint p, GeoPoint a, GeoPoint b) {
  const double dx = b.x - a.x, dy = b.y - a.y, len = dx * dx + dy * dy;
  const double t = len > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / len, 0.0, 1.0) : 0;
  return std::hypot(p.x - a.x - t * dx, p.y - a.y - t * dy);
}

MapView ViewOf(double west, double south, double east, double north) {
  GeoBox box;
  box.Add(west, south);
  box.Add(east, north);
  return FitView(box, 1600, 1000);
}

// The earth, a continent, a country: crude, low and intermediate resolution.
const MapView kWorld = FitView({}, 1600, 1000);
const MapView kEurope = ViewOf(-10, 35, 40, 70);
const MapView kCountry = ViewOf(5, 45, 15, 55);

TEST(Gshhg, EachResolutionHoldsTheStraitsAndBordersWithEveryPointInItsBin) {
  struct Place {
    GeoPoint at;
    bool border;
    double within;
    const char* name;
  };
  const Place places[] = {{{-5.6, 36.0}, false, 0.2, "the Strait of Gibraltar"},
                          {{36.5, 45.3}, false, 0.2, "the Kerch Strait"},
                          {{7.75, 48.58}, true, 0.3, "Strasbourg"}};
  CAppContext context;
  std::size_t coarser = 0;
  for (const char r : {'c', 'l', 'i'}) {
    double nearest[std::size(places)];
    std::fill(std::begin(nearest), std::end(nearest), INFINITY);
    std::size_t shorePoints = 0;
    for (const bool border : {false, true}) {
      const std::string path =
          DefaultGshhgDir() + (border ? "/binned_border_" : "/binned_GSHHS_") + r + ".nc";
      SCOPED_TRACE(path);
      GshhgFile file(&context);
      std::string error;
      ASSERT_TRUE(file.Open(path, border, error)) << error << " (make deps installs gmt-gshhg-low)";
      ASSERT_TRUE(file.Load(0, file.BinCount(), error)) << error;
      std::size_t outside = 0, points = 0;
      for (std::uint32_t bin = 0; bin < file.BinCount(); ++bin) {
        const GeoPoint corner = file.BinCorner(bin);
        for (const GshhgLine& line : file.Lines(bin)) {
          EXPECT_EQ(line.kind == LineKind::Border, border);
          for (std::uint32_t k = 0; k < line.count; ++k) {
            const GeoPoint p = file.Point(bin, line.first + k);
            outside += p.x < corner.x || p.x > corner.x + file.BinSize() || p.y < corner.y ||
                       p.y > corner.y + file.BinSize();
            if (k > 0)
              for (std::size_t i = 0; i < std::size(places); ++i)
                if (places[i].border == border && line.kind != LineKind::Lake)
                  nearest[i] = std::min(
                      nearest[i], ToSegment(places[i].at, file.Point(bin, line.first + k - 1), p));
          }
          points += line.count;
        }
      }
      EXPECT_EQ(outside, 0u);
      if (!border) shorePoints = points;
    }
    for (std::size_t i = 0; i < std::size(places); ++i)
      EXPECT_LE(nearest[i], places[i].within) << places[i].name << ", resolution " << r;
    EXPECT_GT(shorePoints, coarser) << r;
    coarser = shorePoints;
  }
}

TEST(BaseMap, TheZoomPicksTheResolutionAndOnlyBinsInViewAreRead) {
  CAppContext context;
  BaseMap base(&context);
  base.Open(DefaultGshhgDir(), DefaultCitiesPath());
  ASSERT_TRUE(base.HasLines()) << "make deps installs gmt-gshhg-low";
  const struct {
    const MapView& view;
    int resolution;
  } cases[] = {{kWorld, kCrude}, {kEurope, kLow}, {kCountry, kIntermediate}};
  std::size_t before = 0, country = 0;
  for (const auto& c : cases) {
    EXPECT_EQ(base.ResolutionFor(c.view.scale), c.resolution) << c.view.scale;
    before = base.Bytes();
    BaseLines lines(&context);
    ASSERT_TRUE(base.Lines(c.view, lines));
    country = base.Bytes() - before;
    bool coast = false, border = false;
    for (const LineRun& run : lines.runs) {
      EXPECT_GE(run.count, 2u);
      coast |= run.kind == LineKind::Coast;
      border |= run.kind == LineKind::Border;
    }
    EXPECT_TRUE(coast && border) << c.resolution;
    // Cut to the picture, with room for a line's width.
    for (const LinePoint& p : lines.points)
      ASSERT_TRUE(p.x >= -5 && p.x <= c.view.width + 5 && p.y >= -5 && p.y <= c.view.height + 5)
          << p.x << ", " << p.y;
  }
  EXPECT_TRUE(base.Errors().empty());
  // The country's bins are a small part of the whole resolution.
  ASSERT_TRUE(base.LoadAll(kIntermediate));
  EXPECT_LT(country * 10, base.Bytes() - before);
}

TEST(Cities, TheFileTheBuildMakesNamesMoscowAndSaintPetersburg) {
  CAppContext context;
  CityList cities(&context);
  const std::string path = DefaultCitiesPath();
  ASSERT_EQ(cities.Load(path), CityList::Status::Ok) << path << " (the build makes it)";
  const City* moscow = cities.Find(u"Moscow");
  ASSERT_NE(moscow, nullptr);
  EXPECT_NEAR(moscow->x, 37.62, 0.01);
  EXPECT_NEAR(moscow->y, 55.75, 0.01);
  EXPECT_GT(moscow->population, 10000000u);
  EXPECT_NE(cities.Find(u"Saint Petersburg"), nullptr);
  EXPECT_GT(cities.Cities().size(), 20000u);

  // A damaged file names no city; a missing one says so.
  testfiles::ScratchDir dir("cities");
  const std::string whole = testfiles::ReadBytes(path);
  std::string renamed = whole;
  renamed[0] = 'X';
  const struct {
    std::string bytes;
    CityList::Status status;
  } cases[] = {{whole.substr(0, 8), CityList::Status::Bad},
               {whole.substr(0, 5000), CityList::Status::Bad},
               {renamed, CityList::Status::Bad}};
  for (const auto& c : cases) {
    testfiles::WriteBytes(dir.path() / "c.dat", c.bytes);
    EXPECT_EQ(cities.Load((dir.path() / "c.dat").string()), c.status) << c.bytes.size();
    EXPECT_TRUE(cities.Cities().empty());
  }
  EXPECT_EQ(cities.Load((dir.path() / "none.dat").string()), CityList::Status::Missing);
}

TEST(CityLabels, NoTwoOverlapNorAnAreasNameAndSmallerCitiesComeWithTheZoom) {
  CAppContext context;
  CityList cities(&context);
  ASSERT_EQ(cities.Load(DefaultCitiesPath()), CityList::Status::Ok);
  MapFont font;
  ASSERT_TRUE(font.Ok());
  MapImage image(&context);
  RasterCanvas canvas(image, &font);
  std::size_t least = SIZE_MAX;
  for (const MapView& view : {kWorld, kEurope, kCountry}) {
    // An area's name in the middle of the picture.
    const LabelBox name{view.width / 2 - 150, view.height / 2 - 30, view.width / 2 + 150,
                        view.height / 2 + 30};
    const std::vector<CityLabel> labels = PlaceCityLabels(canvas, view, cities, {&name, 1});
    ASSERT_GT(labels.size(), 10u);
    for (std::size_t i = 0; i < labels.size(); ++i) {
      const LabelBox& a = labels[i].box;
      EXPECT_TRUE(a.left >= 0 && a.top >= 0 && a.right <= view.width && a.bottom <= view.height);
      EXPECT_FALSE(a.Overlaps(name));
      for (std::size_t j = 0; j < i; ++j)
        EXPECT_FALSE(a.Overlaps(labels[j].box))
            << Utf16ToUtf8(cities.Name(*labels[i].city)) << " over "
            << Utf16ToUtf8(cities.Name(*labels[j].city));
    }
    const std::size_t smallest = labels.back().city->population;
    EXPECT_LT(smallest, least);
    least = smallest;
  }
}

// A frame that draws the lines only into the pixels a pan uncovered must meet what it kept:
// lines drawn into part of a picture, over the rest as a whole drawing left it, are the whole
// drawing, for coasts, thin lake shores and dashed borders in every direction, with cameras
// under them.
TEST(BaseLines, DrawnIntoPartOfAPictureTheyAreTheWholeDrawing) {
  CAppContext context;
  BaseLines lines(&context);
  auto run = [&](LineKind kind, std::initializer_list<LinePoint> points, float along) {
    lines.runs.push_back({static_cast<std::uint32_t>(lines.points.size()),
                          static_cast<std::uint32_t>(points.size()), kind, along});
    lines.points.insert(lines.points.end(), points);
  };
  run(LineKind::Coast, {{-3, 5.5f}, {30.2f, 7}, {61.7f, 38.4f}, {64, 39}}, 0);
  run(LineKind::Lake, {{10.5f, -2}, {12.25f, 20}, {11, 41}}, 0);
  run(LineKind::Border, {{0.3f, 30.6f}, {20, 18.5f}, {40.7f, 2.2f}, {63.1f, 25}}, 3.5f);
  run(LineKind::Border, {{5, 39.5f}, {55.5f, 35}}, 7);
  IndexedImage whole(&context), part(&context);
  ASSERT_TRUE(whole.Resize(64, 40));
  whole.SetPalette(DensityPalette());
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 64; ++x) whole.Row(y)[x] = (x * 7 + y * 3) % 23 == 0 ? 40 : 0;
  IndexedImage cameras(&context);
  ASSERT_TRUE(cameras.Resize(64, 40));
  std::copy_n(whole.Row(0), 64 * 40, cameras.Row(0));
  DrawBaseLines(whole, lines);
  const FreshPixels parts[] = {{0, 12, 40, 40},  {50, 64, 40, 40}, {64, 64, 0, 9},
                               {64, 64, 31, 40}, {0, 5, 35, 40},   {58, 64, 0, 3}};
  for (const FreshPixels& fresh : parts) {
    SCOPED_TRACE(testing::Message()
                 << fresh.left << "-" << fresh.right << " x " << fresh.top << "-" << fresh.bottom);
    ASSERT_TRUE(part.Resize(64, 40));
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 64; ++x)
        part.Row(y)[x] = fresh.Holds(x, y) ? cameras.Row(y)[x] : whole.Row(y)[x];
    DrawBaseLines(part, lines, fresh);
    for (int y = 0; y < 40; ++y)
      ASSERT_EQ(std::vector<std::uint8_t>(part.Row(y), part.Row(y) + 64),
                std::vector<std::uint8_t>(whole.Row(y), whole.Row(y) + 64))
          << "row " << y;
  }
}

}  // namespace
}  // namespace tarvik
