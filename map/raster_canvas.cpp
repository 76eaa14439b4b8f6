#include "map/raster_canvas.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace tarvik {
namespace {

struct Glyph {
  int left = 0, top = 0, width = 0, rows = 0, advance = 0;
  std::vector<unsigned char> coverage;
};

// The code points of a UTF-16 text (a lone surrogate stands for itself).
template <class Fn>
void ForEachCodePoint(std::u16string_view s, Fn fn) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
    fn(c);
  }
}

// The file of a sans-serif face that has Russian letters, or empty.
std::string FindFontFile() {
  struct ConfigFree {
    void operator()(FcConfig* c) const { FcConfigDestroy(c); }
  };
  struct PatternFree {
    void operator()(FcPattern* p) const { FcPatternDestroy(p); }
  };
  const std::unique_ptr<FcConfig, ConfigFree> config(FcInitLoadConfigAndFonts());
  if (!config) return {};
  const std::unique_ptr<FcPattern, PatternFree> pattern(
      FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif:lang=ru")));
  if (!pattern) return {};
  FcConfigSubstitute(config.get(), pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());
  FcResult result = FcResultNoMatch;
  const std::unique_ptr<FcPattern, PatternFree> match(
      FcFontMatch(config.get(), pattern.get(), &result));
  FcChar8* path = nullptr;
  if (!match || FcPatternGetString(match.get(), FC_FILE, 0, &path) != FcResultMatch || !path)
    return {};
  return reinterpret_cast<const char*>(path);
}

}  // namespace

struct MapFont::Impl {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  int ascender = 0, lineHeight = 0;
  std::unordered_map<char32_t, Glyph> glyphs;

  const Glyph* Find(char32_t c) {
    if (auto it = glyphs.find(c); it != glyphs.end()) return &it->second;
    Glyph g;
    if (FT_Load_Char(face, c, FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT) == 0) {
      const FT_GlyphSlot s = face->glyph;
      g.left = s->bitmap_left;
      g.top = s->bitmap_top;
      g.width = static_cast<int>(s->bitmap.width);
      g.rows = static_cast<int>(s->bitmap.rows);
      g.advance = static_cast<int>((s->advance.x + 32) >> 6);
      if (s->bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
        g.coverage.resize(static_cast<std::size_t>(g.width) * g.rows);
        for (int y = 0; y < g.rows; ++y)
          std::copy_n(s->bitmap.buffer + static_cast<std::ptrdiff_t>(y) * s->bitmap.pitch, g.width,
                      g.coverage.begin() + static_cast<std::ptrdiff_t>(y) * g.width);
      } else {
        g.width = g.rows = 0;
      }
    }
    return &glyphs.emplace(c, std::move(g)).first->second;
  }
};

MapFont::MapFont(int pixelSize) : impl_(std::make_unique<Impl>()) {
  const std::string file = FindFontFile();
  if (file.empty() || FT_Init_FreeType(&impl_->library) != 0) return;
  if (FT_New_Face(impl_->library, file.c_str(), 0, &impl_->face) != 0 ||
      FT_Set_Pixel_Sizes(impl_->face, 0, static_cast<FT_UInt>(pixelSize)) != 0) {
    if (impl_->face) FT_Done_Face(impl_->face);
    impl_->face = nullptr;
    return;
  }
  const FT_Size_Metrics& m = impl_->face->size->metrics;
  impl_->ascender = static_cast<int>((m.ascender + 32) >> 6);
  impl_->lineHeight = static_cast<int>((m.ascender - m.descender + 32) >> 6);
}

MapFont::~MapFont() {
  if (impl_->face) FT_Done_Face(impl_->face);
  if (impl_->library) FT_Done_FreeType(impl_->library);
}

bool MapFont::Ok() const {
  return impl_->face != nullptr;
}

void RasterCanvas::Blend(int x, int y, Argb color, unsigned coverage) {
  if (x < 0 || y < 0 || x >= image_.Width() || y >= image_.Height()) return;
  const unsigned a = ((color >> 24) * coverage + 127) / 255;
  if (a == 0) return;
  Argb& d = image_.Row(y)[x];
  auto mix = [a](unsigned s, unsigned t) { return (s * a + t * (255 - a) + 127) / 255; };
  d = 0xFF000000u | mix(color >> 16 & 0xFF, d >> 16 & 0xFF) << 16 |
      mix(color >> 8 & 0xFF, d >> 8 & 0xFF) << 8 | mix(color & 0xFF, d & 0xFF);
}

void RasterCanvas::FillRect(int x, int y, int w, int h, Argb color) {
  const int x0 = std::max(x, 0), y0 = std::max(y, 0);
  const int x1 = std::min(x + w, image_.Width()), y1 = std::min(y + h, image_.Height());
  for (int py = y0; py < y1; ++py) {
    if ((color >> 24) == 0xFF) {
      std::fill(image_.Row(py) + x0, image_.Row(py) + std::max(x0, x1), color);
      continue;
    }
    for (int px = x0; px < x1; ++px) Blend(px, py, color, 255);
  }
}

void RasterCanvas::Frame(int x, int y, int w, int h, Argb color, int thickness, bool dashed) {
  if (!dashed) {
    FillRect(x, y, w, thickness, color);
    FillRect(x, y + h - thickness, w, thickness, color);
    FillRect(x, y, thickness, h, color);
    FillRect(x + w - thickness, y, thickness, h, color);
    return;
  }
  // Dashes of 6 pixels with gaps of 4, counted along each edge from its start.
  constexpr int kOn = 6, kPeriod = 10;
  for (int i = 0; i < w; i += kPeriod) {
    const int n = std::min(kOn, w - i);
    FillRect(x + i, y, n, thickness, color);
    FillRect(x + i, y + h - thickness, n, thickness, color);
  }
  for (int i = 0; i < h; i += kPeriod) {
    const int n = std::min(kOn, h - i);
    FillRect(x, y + i, thickness, n, color);
    FillRect(x + w - thickness, y + i, thickness, n, color);
  }
}

int MapFont::LineHeight() const {
  return Ok() ? impl_->lineHeight : 12;
}

int RasterCanvas::LineHeight() {
  return font_ ? font_->LineHeight() : 12;
}

int RasterCanvas::TextWidth(std::u16string_view text) {
  if (!font_ || !font_->Ok()) return 0;
  int w = 0;
  ForEachCodePoint(text, [&](char32_t c) { w += font_->impl().Find(c)->advance; });
  return w;
}

void RasterCanvas::Text(int x, int y, std::u16string_view text, Argb color) {
  if (!font_ || !font_->Ok()) return;
  MapFont::Impl& f = font_->impl();
  const int baseline = y + f.ascender;
  ForEachCodePoint(text, [&](char32_t c) {
    const Glyph* g = f.Find(c);
    for (int gy = 0; gy < g->rows; ++gy)
      for (int gx = 0; gx < g->width; ++gx)
        if (const unsigned cover = g->coverage[static_cast<std::size_t>(gy) * g->width + gx])
          Blend(x + g->left + gx, baseline - g->top + gy, color, cover);
    x += g->advance;
  });
}

void RasterCanvas::Lock(int x, int y, int size) {
  // A shackle over a body, as the lock icon of the editors.
  const int bodyTop = y + size * 2 / 5;
  const int inset = size / 5;
  FillRect(x + inset, y + 1, size - 2 * inset, 2, map_colors::kText);
  FillRect(x + inset, y + 1, 2, bodyTop - y, map_colors::kText);
  FillRect(x + size - inset - 2, y + 1, 2, bodyTop - y, map_colors::kText);
  FillRect(x + 1, bodyTop, size - 2, y + size - bodyTop, map_colors::kText);
  FillRect(x + 2, bodyTop + 1, size - 4, y + size - bodyTop - 2, 0xFFE0B030);
}

}  // namespace tarvik
