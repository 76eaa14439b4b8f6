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
  // The height of a line of text in pixels (12 without a font).
  int LineHeight() const;

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

 private:
  void Blend(int x, int y, Argb color, unsigned coverage);

  MapImage& image_;
  MapFont* font_;
};

}  // namespace tarvik
