#pragma once
// Placement arithmetic of the control layout, free of any window code: each control keeps
// its registered rectangle plus a fixed share (0, 1/4, 1/2, 3/4 or all) of the change of the
// parent's client size since the layout was created.
#include <algorithm>
#include <cstdint>

namespace tarvik {

// Anchor flags. For an edge, no flag means "follow the whole change"; for a size, no flag
// means "stay as registered".
enum : std::uint16_t {
  LAYOUT_LEFT_FIXED = 0x8000,
  LAYOUT_TOP_FIXED = 0x4000,
  LAYOUT_WIDTH_ALL = 0x2000,
  LAYOUT_HEIGHT_ALL = 0x1000,
  LAYOUT_LEFT_HALF = 0x0800,
  LAYOUT_TOP_HALF = 0x0400,
  LAYOUT_WIDTH_HALF = 0x0200,
  LAYOUT_HEIGHT_HALF = 0x0100,
  LAYOUT_LEFT_QUARTER = 0x0080,
  LAYOUT_TOP_QUARTER = 0x0040,
  LAYOUT_WIDTH_QUARTER = 0x0020,
  LAYOUT_HEIGHT_QUARTER = 0x0010,
  LAYOUT_CLIENT_COORDS = 0x0008,  // register in the parent's client coordinates
  LAYOUT_KEEP_SIZE = 0x0004,
  LAYOUT_KEEP_POS = 0x0002,
};

struct LayoutRect {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// A registered control's geometry.
struct LayoutItem {
  std::int32_t left = 0, top = 0, right = 0, bottom = 0;
  std::int32_t width = 0, height = 0;
  std::uint16_t flags = 0;
};

struct LayoutPlacement {
  std::int32_t left = 0, top = 0, width = 0, height = 0;
};

// Share of a change, in quarters: 0 none, 1, 2, 3 or 4 (all).
enum class LayoutShare { None, Quarter, Half, ThreeQuarters, All };

// T(f * d + 0.5) in single precision, T truncating toward zero; 3/4 is formed as d * 0.25 * 3.
inline std::int32_t LayoutOffset(float d, LayoutShare share) {
  float v = 0.0f;
  switch (share) {
    case LayoutShare::None:
      return 0;
    case LayoutShare::Quarter:
      v = 0.25f * d + 0.5f;
      break;
    case LayoutShare::Half:
      v = 0.5f * d + 0.5f;
      break;
    case LayoutShare::ThreeQuarters: {
      const float q = d * 0.25f;
      v = q * 3.0f + 0.5f;
      break;
    }
    case LayoutShare::All:
      v = 1.0f * d + 0.5f;
      break;
  }
  // Only absurd client sizes get here; the clamp keeps the conversion defined.
  v = std::clamp(v, -2147483520.0f, 2147483520.0f);
  return static_cast<std::int32_t>(v);
}

// The shares an item's flags give to its four quantities.
inline LayoutShare LeftShare(std::uint16_t f) {
  if (f & LAYOUT_LEFT_FIXED) return LayoutShare::None;
  if ((f & LAYOUT_LEFT_HALF) && (f & LAYOUT_LEFT_QUARTER)) return LayoutShare::ThreeQuarters;
  if (f & LAYOUT_LEFT_HALF) return LayoutShare::Half;
  if (f & LAYOUT_LEFT_QUARTER) return LayoutShare::Quarter;
  return LayoutShare::All;
}
inline LayoutShare TopShare(std::uint16_t f) {
  if (f & LAYOUT_TOP_FIXED) return LayoutShare::None;
  if ((f & LAYOUT_TOP_HALF) && (f & LAYOUT_TOP_QUARTER)) return LayoutShare::ThreeQuarters;
  if (f & LAYOUT_TOP_HALF) return LayoutShare::Half;
  if (f & LAYOUT_TOP_QUARTER) return LayoutShare::Quarter;
  return LayoutShare::All;
}
inline LayoutShare WidthShare(std::uint16_t f) {
  if (f & LAYOUT_WIDTH_ALL) return LayoutShare::All;
  if ((f & LAYOUT_WIDTH_HALF) && (f & LAYOUT_WIDTH_QUARTER)) return LayoutShare::ThreeQuarters;
  if (f & LAYOUT_WIDTH_HALF) return LayoutShare::Half;
  if (f & LAYOUT_WIDTH_QUARTER) return LayoutShare::Quarter;
  return LayoutShare::None;
}
inline LayoutShare HeightShare(std::uint16_t f) {
  if (f & LAYOUT_HEIGHT_ALL) return LayoutShare::All;
  if ((f & LAYOUT_HEIGHT_HALF) && (f & LAYOUT_HEIGHT_QUARTER)) return LayoutShare::ThreeQuarters;
  if (f & LAYOUT_HEIGHT_HALF) return LayoutShare::Half;
  if (f & LAYOUT_HEIGHT_QUARTER) return LayoutShare::Quarter;
  return LayoutShare::None;
}

// The change of the client size: (initial left + W - initial right, initial top + H - initial
// bottom), formed in 32 bits as the sizes are, then as single precision.
inline void LayoutDelta(const LayoutRect& initial, std::int32_t w, std::int32_t h, float& dx,
                        float& dy) {
  const auto ix = static_cast<std::int64_t>(initial.left) + w - initial.right;
  const auto iy = static_cast<std::int64_t>(initial.top) + h - initial.bottom;
  dx = static_cast<float>(static_cast<std::int32_t>(ix));
  dy = static_cast<float>(static_cast<std::int32_t>(iy));
}

inline LayoutPlacement PlaceItem(const LayoutItem& item, float dx, float dy) {
  LayoutPlacement p;
  p.left = item.left + LayoutOffset(dx, LeftShare(item.flags));
  p.top = item.top + LayoutOffset(dy, TopShare(item.flags));
  p.width = item.width + LayoutOffset(dx, WidthShare(item.flags));
  p.height = item.height + LayoutOffset(dy, HeightShare(item.flags));
  return p;
}

}  // namespace tarvik
