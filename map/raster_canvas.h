#pragma once
// The map canvas of the command line: draws into a MapImage, texts through FreeType with a
// sans-serif face that fontconfig finds (one with Cyrillic letters).
#include <memory>

#include "map/map_overlay.h"

namespace tarvik {

class MapFont {
 public:
  explicit MapFont(int pixelSize = 12);
  ~MapFont();
  MapFont(const MapFont&) = delete;
  MapFont& operator=(const MapFont&) = delete;

  // False when no font was found: texts are then left out.
  bool Ok() const;

  struct Impl;
  Impl& impl() { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

class RasterCanvas : public MapCanvas {
 public:
  // `font` may be null or not Ok: texts are then left out.
  RasterCanvas(MapImage& image, MapFont* font) : image_(image), font_(font) {}

  void FillRect(int x, int y, int w, int h, Argb color) override;
  void Frame(int x, int y, int w, int h, Argb color, int thickness, bool dashed) override;
  void Text(int x, int y, std::u16string_view text, Argb color) override;
  int TextWidth(std::u16string_view text) override;
  int LineHeight() override;
  void Lock(int x, int y, int size) override;
  void Polyline(std::span<const LinePoint> points, Argb color, float width, bool dashed) override;

  // Lines drawn from now on go under what the picture holds: onto its pixels that are not
  // opaque (the background of a picture whose background was left see-through), which stay so
  // until MapImage::SetOpaque.
  void SetUnder(bool under) { under_ = under; }

 private:
  void Blend(int x, int y, Argb color, unsigned coverage);
  void Segment(LinePoint a, LinePoint b, Argb color, float width);

  MapImage& image_;
  MapFont* font_;
  bool under_ = false;
};

}  // namespace tarvik
