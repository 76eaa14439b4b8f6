// The map's arithmetic: the projection and its inverse, zooming and dragging, the corners a
// dragged rectangle gives, six decimals, the parts of an area under the mouse; counts beyond
// what a pixel's counter holds.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <vector>

#include "core/app_context.h"
#include "map/map_edit.h"
#include "map/map_raster.h"
#include "map/map_scene.h"
#include "map/map_view.h"

namespace tarvik {
namespace {

constexpr double kDegree = 3.14159265358979323846 / 180;

MapView View(double cx, double cy, double scale, int w = 1600, int h = 1000) {
  MapView v;
  v.centerX = cx;
  v.centerY = cy;
  v.scale = scale;
  v.width = w;
  v.height = h;
  return v;
}

TEST(MapView, ProjectionRoundTripsAndKeepsTheAspectOfItsLatitude) {
  const MapView views[] = {View(0, 0, 2), View(37.6173, 55.7558, 800),
                           View(-70.65, -33.45, 1e5, 640, 480), View(30, 84, 1e7),
                           View(179.5, 10, 0.001)};
  const GeoPoint points[] = {{0, 0},           {37.6173, 55.7558}, {-179.999999, -89.999999},
                             {179.999999, 90}, {30.0000001, 84.1}, {-70.6, -33.5}};
  for (const MapView& v : views) {
    SCOPED_TRACE(testing::Message()
                 << "view " << v.centerX << ", " << v.centerY << " x" << v.scale);
    for (const GeoPoint& g : points) {
      const GeoPoint back = v.ToGeo(v.ToPixel(g));
      EXPECT_NEAR(back.x, g.x, 1e-9);
      EXPECT_NEAR(back.y, g.y, 1e-9);
    }
    // A degree east is cos(latitude) of a degree north, at the centre and everywhere.
    const PixelPoint c = v.ToPixel({v.centerX, v.centerY});
    EXPECT_DOUBLE_EQ(c.x, v.width / 2.0);
    EXPECT_DOUBLE_EQ(c.y, v.height / 2.0);
    const PixelPoint east = v.ToPixel({v.centerX + 1, v.centerY - 3});
    const PixelPoint north = v.ToPixel({v.centerX, v.centerY + 1});
    EXPECT_NEAR((east.x - c.x) / (c.y - north.y), std::cos(v.centerY * kDegree), 1e-9);
  }
}

// A drag of a view that keeps its latitude (as the window's do) keeps the width of a degree
// too; a zoom corrects for the new centre.
TEST(MapView, ZoomAndDragKeepThePointUnderTheMouse) {
  MapView kept = View(37.6, 55.7, 300);
  kept.aspectLatitude = 50;
  for (const MapView& v : {View(37.6, 55.7, 300), kept}) {
    for (const PixelPoint p : {PixelPoint{10, 20}, PixelPoint{800, 500}, PixelPoint{1590, 990}}) {
      for (double factor : {0.5, 1.4142, 8.0}) {
        const GeoPoint g = v.ToGeo(p);
        const MapView zoomed = ZoomAt(v, p, factor);
        const PixelPoint after = zoomed.ToPixel(g);
        EXPECT_NEAR(after.x, p.x, 1e-6);
        EXPECT_NEAR(after.y, p.y, 1e-6);
        EXPECT_EQ(zoomed.Aspect(), std::cos(zoomed.centerY * kDegree));
      }
      const GeoPoint grabbed = v.ToGeo({400, 300});
      const MapView dragged = Anchored(v, grabbed, p);
      const PixelPoint moved = dragged.ToPixel(grabbed);
      EXPECT_NEAR(moved.x, p.x, 1e-6);
      EXPECT_NEAR(moved.y, p.y, 1e-6);
      if (v.aspectLatitude) {
        EXPECT_EQ(dragged.PixelsPerDegreeX(), v.PixelsPerDegreeX());
      }
    }
  }
  const MapView v = View(37.6, 55.7, 300);
  // Zooming stops at the limits, and the fit of nothing is the earth.
  EXPECT_EQ(ZoomAt(v, {0, 0}, 1e30).scale, kMaxScale);
  const MapView earth = FitView({}, 1600, 1000);
  EXPECT_LT(earth.Bounds().west, -170);
  EXPECT_GT(earth.Bounds().east, 170);
}

// "%f" and back, as the filter editor shows a corner and reads it.
double AsTheEditorWrites(double v) {
  char text[400];
  std::snprintf(text, sizeof text, "%f", v);
  return std::strtod(text, nullptr);
}

TEST(MapEdit, CornersOfADragAreNorthWestAndSouthEastInSixDecimals) {
  const GeoPoint nw{37.12345649, 55.98765451}, se{37.9, 55.1};
  const GeoPoint ne{se.x, nw.y}, sw{nw.x, se.y};
  const AreaCorners want{37.123456, 55.987655, 37.9, 55.1};
  const std::pair<GeoPoint, GeoPoint> drags[] = {{nw, se}, {se, nw}, {ne, sw}, {sw, ne}};
  for (const auto& [from, to] : drags) EXPECT_EQ(CornersFromDrag(from, to), want);

  for (double v : {37.6173004, -122.41941561, 179.9999996, 0.1 + 0.2, 55.7558, -33.0000005001, 1e-7,
                   12345.6789015}) {
    EXPECT_EQ(RoundSixDecimals(v), AsTheEditorWrites(v)) << v;
    EXPECT_EQ(RoundSixDecimals(RoundSixDecimals(v)), RoundSixDecimals(v)) << v;
  }
  EXPECT_FALSE(std::signbit(RoundSixDecimals(-0.0000004)));
}

TEST(MapEdit, EdgesAndCornersUnderTheMouseAndWhatDraggingThemDoes) {
  // The area fills pixels 400..1200 x 200..800 of the view.
  const MapView v = View(37.5, 55.5, 1000);
  const GeoPoint a = v.ToGeo({400, 200}), c = v.ToGeo({1200, 800});
  const AreaCorners area{a.x, a.y, c.x, c.y};
  struct Case {
    PixelPoint at;
    AreaPart part;
  };
  const Case cases[] = {
      {{400, 500}, AreaPart::West},      {{1203, 500}, AreaPart::East},
      {{800, 196}, AreaPart::North},     {{800, 804.5}, AreaPart::South},
      {{402, 198}, AreaPart::NorthWest}, {{1199, 203}, AreaPart::NorthEast},
      {{397, 804}, AreaPart::SouthWest}, {{1204, 796}, AreaPart::SouthEast},
      {{800, 500}, AreaPart::Inside},    {{394, 500}, AreaPart::None},
      {{800, 806}, AreaPart::None},      {{1300, 100}, AreaPart::None},
  };
  for (const Case& t : cases) EXPECT_EQ(HitTest(v, area, t.at), t.part) << t.at.x << ", " << t.at.y;

  // Dragged parts move their edges; past the opposite edge they trade places, so A stays
  // north-west.
  const AreaCorners box{37, 56, 38, 55};
  EXPECT_EQ(DragPart(box, AreaPart::East, {38.5, 0}), (AreaCorners{37, 56, 38.5, 55}));
  EXPECT_EQ(DragPart(box, AreaPart::NorthWest, {36.25, 56.5}), (AreaCorners{36.25, 56.5, 38, 55}));
  EXPECT_EQ(DragPart(box, AreaPart::West, {39, 0}), (AreaCorners{38, 56, 39, 55}));
  EXPECT_EQ(DragPart(box, AreaPart::SouthEast, {36.5, 57.1234567}),
            (AreaCorners{36.5, 57.123457, 37, 56}));
  EXPECT_EQ(DragPart(box, AreaPart::Inside, {0, 0}), box);
}

// The first view keeps every camera clear of the overlay's bands: the longitude labels on top,
// the legend and scale bar at the bottom, the latitude labels at the left.
TEST(MapView, TheFirstViewKeepsTheCornersOfTheDataClearOfTheOverlay) {
  GeoBox box;
  box.Add(37, 55);
  box.Add(38, 56);
  for (const int line : {12, 20}) {
    const MapView v = HomeView(box, 400, 300, line);
    for (const GeoPoint g :
         {GeoPoint{37, 55}, GeoPoint{38, 55}, GeoPoint{37, 56}, GeoPoint{38, 56}}) {
      const PixelPoint p = v.ToPixel(g);
      EXPECT_GE(p.y, 16 + line + 8 - 1e-6) << line;
      EXPECT_LE(p.y, 300 - 16 - 4 * (line + 2) - 16 + 1e-6) << line;
      EXPECT_GE(p.x, 16 + 3 * line - 1e-6) << line;
      EXPECT_LE(p.x, 400 - 16 + 1e-6) << line;
    }
  }
}

TEST(MapLegend, VariablesOfADescriptionStandAsAnEllipsis) {
  EXPECT_EQ(LegendText(u"Камера скорости {speed} км/ч"), u"Камера скорости … км/ч");
  EXPECT_EQ(LegendText(u"{type}:{x},{y} {dirtype}/{direction}"), u"…:…,… …/…");
  EXPECT_EQ(LegendText(u"{desc} {unknown} {"), u"{desc} {unknown} {");  // no variables here
  EXPECT_EQ(LegendText(u""), u"");
}

// Pixels are counted in 16 bits: a crowd past 65535 in one pixel must still be the fullest,
// its count right, and a smaller crowd lighter.
TEST(DensityLayer, CrowdsBeyondSixteenBitsKeepTheirCountAndLevel) {
  const MapView view = View(37.6, 55.7, 100, 64, 40);
  const GeoPoint crowdAt{37.6, 55.7}, halfAt{37.7, 55.7}, loneAt{37.5, 55.6};
  for (const std::uint32_t crowd : {65535u, 65536u, 150000u}) {
    SCOPED_TRACE(crowd);
    std::vector<PoiRecord> records(crowd, PoiRecord{crowdAt.x, crowdAt.y, 1, 60, 0, 0});
    records.resize(crowd + crowd / 2, PoiRecord{halfAt.x, halfAt.y, 1, 60, 0, 0});
    records.push_back(PoiRecord{loneAt.x, loneAt.y, 1, 60, 0, 0});
    CAppContext context;
    DensityLayer layer(&context);
    IndexedImage image(&context);
    DensityStats stats;
    ASSERT_TRUE(layer.Render(records, view, image, stats));
    EXPECT_EQ(stats.maxPerPixel, crowd);
    EXPECT_EQ(stats.inView, records.size());
    auto at = [&](GeoPoint g) {
      const PixelPoint p = view.ToPixel(g);
      return image.Row(static_cast<int>(p.y))[static_cast<int>(p.x)];
    };
    EXPECT_EQ(at(crowdAt), kTopDensityLevel);
    EXPECT_EQ(at(loneAt), 1);
    EXPECT_LT(at(halfAt), kTopDensityLevel);
    EXPECT_GT(at(halfAt), 200);
    EXPECT_EQ(image.Pixel(0, 0), map_colors::kBackground);
  }
}

// Each pixel's level follows the logarithm of its count, the densest pixel the darkest, for
// pictures whose counts all stay small and for one that mixes them with a crowd.
TEST(DensityLayer, EachPixelsLevelFollowsTheLogarithmOfItsCount) {
  const MapView view = View(10, 50, 100, 200, 100);
  const struct {
    std::uint32_t least, cycle, crowd;  // pixel (x, y) holds least + (7x + 3y) % cycle
  } cases[] = {{1, 1, 0}, {0, 10, 0}, {0, 17, 0}, {0, 40, 3000}};  // one pixel holds crowd
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cycle);
    auto count = [&](int x, int y) {
      return x == 77 && y == 21 && c.crowd ? c.crowd : c.least + (7u * x + 3u * y) % c.cycle;
    };
    std::vector<PoiRecord> records;
    for (int y = 0; y < view.height; ++y)
      for (int x = 0; x < view.width; ++x) {
        const GeoPoint g = view.ToGeo({x + 0.5, y + 0.5});
        records.resize(records.size() + count(x, y), PoiRecord{g.x, g.y, 1, 60, 0, 0});
      }
    ASSERT_GE(records.size(), kDotsBelow);
    CAppContext context;
    DensityLayer layer(&context);
    IndexedImage image(&context);
    DensityStats stats;
    ASSERT_TRUE(layer.Render(records, view, image, stats));
    const std::uint32_t max = c.crowd ? c.crowd : c.least + c.cycle - 1;
    ASSERT_EQ(stats.maxPerPixel, max);
    const double perLog = (kTopDensityLevel - 1) / std::log(max);
    int wrong = 0;
    for (int y = 0; y < view.height; ++y)
      for (int x = 0; x < view.width; ++x) {
        const std::uint32_t n = count(x, y);
        const int want = n == 0     ? 0
                         : max == 1 ? kTopDensityLevel
                                    : 1 + static_cast<int>(std::log(n) * perLog + 0.5);
        wrong += image.Row(y)[x] != want;
      }
    EXPECT_EQ(wrong, 0);
  }
}

// A dragged map counts only what each move uncovers and copies the rest: every frame must
// still be the frame drawn afresh, as crowds leave and come back, the picture turns to dots
// and back, and moves that are not whole pixels or new records start over.
TEST(DensityLayer, FramesOfADragAreTheFramesDrawnAfresh) {
  std::vector<PoiRecord> records(70000, PoiRecord{37.6, 55.7, 1, 60, 0, 0});  // one pixel
  std::uint64_t state = 1;
  auto unit = [&state] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<double>(state >> 11) * 0x1.0p-53;
  };
  for (int i = 0; i < 60000; ++i)
    records.push_back({37.0 + 1.2 * unit(), 55.3 + 0.8 * unit(), 1 + i % 3, 60, 0, 0});
  MapView view = View(37.6, 55.7, 100, 64, 40);
  view.aspectLatitude = view.centerY;  // as a drag keeps it
  const struct {
    double dx, dy;    // pixels
    bool newRecords;  // the table was read again
    bool copies;      // only the uncovered pixels are drawn
  } moves[] = {
      {0, 0, false, false},    {10, 0, false, true},     {0, 7, false, true},
      {-5, -3, false, true},   {0, 0, false, true},      {60, 0, false, false},   // to dots
      {-60, 0, false, false},  {0, 39, false, false},    {0, -39, false, false},  // crowd out
      {63, 39, false, false},  {-63, -39, false, false}, {0.5, 0, false, false},
      {-0.5, 0, false, false}, {3, 0, true, false},      {-3, 0, false, true}};
  CAppContext context;
  DensityLayer layer(&context), fresh(&context);
  IndexedImage pictures[2] = {IndexedImage(&context), IndexedImage(&context)};
  IndexedImage expected(&context);
  DensityLayer::Previous previous{nullptr, 1};
  for (std::size_t i = 0; i < std::size(moves); ++i) {
    SCOPED_TRACE(i);
    view.centerX += moves[i].dx / view.PixelsPerDegreeX();
    view.centerY += moves[i].dy / view.scale;
    if (moves[i].newRecords) ++previous.stamp;
    IndexedImage& picture = pictures[i % 2];
    DensityStats stats, want;
    FreshPixels drawn;
    ASSERT_TRUE(layer.Render(records, view, picture, stats, previous, drawn));
    ASSERT_TRUE(fresh.Render(records, view, expected, want));
    previous.image = &picture;
    EXPECT_EQ(stats.inView, want.inView);
    EXPECT_EQ(stats.maxPerPixel, want.maxPerPixel);
    EXPECT_EQ(stats.dots, want.dots);
    const bool whole = drawn.left == 0 && drawn.right == view.width;
    EXPECT_EQ(!whole, moves[i].copies);
    EXPECT_EQ(picture.Palette(), expected.Palette());
    for (int y = 0; y < view.height; ++y)
      ASSERT_EQ(std::vector<std::uint8_t>(picture.Row(y), picture.Row(y) + view.width),
                std::vector<std::uint8_t>(expected.Row(y), expected.Row(y) + view.width))
          << "row " << y;
  }
}

}  // namespace
}  // namespace tarvik
