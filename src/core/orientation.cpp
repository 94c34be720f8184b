#include "core/orientation.h"

#include <algorithm>
#include <cstring>

namespace qp {

namespace {

// Where the upright pixel (ux, uy) lies in the stored picture of w x h:
//   sx = ax * ux + bx * uy + cx,  sy = ay * ux + by * uy + cy.
// `cx` and `cy` are kept as "the far edge" flags; the caller adds w - 1 or h - 1 for pixels and
// w or h for rectangle edges.
struct Mapping {
  int32_t ax, bx, ay, by;
  bool farX, farY;
};

Mapping MappingOf(int32_t orientation) {
  switch (orientation) {
    case 2: return {-1, 0, 0, 1, true, false};
    case 3: return {-1, 0, 0, -1, true, true};
    case 4: return {1, 0, 0, -1, false, true};
    case 5: return {0, 1, 1, 0, false, false};
    case 6: return {0, 1, -1, 0, false, true};
    case 7: return {0, -1, -1, 0, true, true};
    case 8: return {0, -1, 1, 0, true, false};
    default: return {1, 0, 0, 1, false, false};
  }
}

// 6 and 8 undo each other; every other orientation undoes itself.
int32_t Inverse(int32_t orientation) {
  if (orientation == 6) return 8;
  if (orientation == 8) return 6;
  return orientation;
}

// Rows of the upright picture are made in bands of this many rows, and each band in runs of
// this many columns, so that a quarter turn reads the stored picture in cache-sized squares.
constexpr int32_t kTile = 64;

}  // namespace

OrientedRect ShownToStored(const OrientedRect& shown, int32_t orientation, int32_t storedWidth,
                           int32_t storedHeight) {
  const Mapping m = MappingOf(NormalOrientation(orientation));
  // Rectangle edges lie between pixels: a mirror maps edge e to (size - e).
  const int64_t cx = m.farX ? storedWidth : 0;
  const int64_t cy = m.farY ? storedHeight : 0;
  auto sx = [&](int64_t x, int64_t y) { return m.ax * x + m.bx * y + cx; };
  auto sy = [&](int64_t x, int64_t y) { return m.ay * x + m.by * y + cy; };
  const int64_t x0 = sx(shown.left, shown.top), x1 = sx(shown.right, shown.bottom);
  const int64_t y0 = sy(shown.left, shown.top), y1 = sy(shown.right, shown.bottom);
  return {static_cast<int32_t>(std::min(x0, x1)), static_cast<int32_t>(std::min(y0, y1)),
          static_cast<int32_t>(std::max(x0, x1)), static_cast<int32_t>(std::max(y0, y1))};
}

OrientedRect StoredToShown(const OrientedRect& stored, int32_t orientation, int32_t storedWidth,
                           int32_t storedHeight) {
  // The stored picture is the upright one turned by the inverse orientation.
  const int32_t o = NormalOrientation(orientation);
  const bool swap = OrientationSwapsSides(o);
  return ShownToStored(stored, Inverse(o), swap ? storedHeight : storedWidth,
                       swap ? storedWidth : storedHeight);
}

std::optional<ImageBuffer> TurnUpright(const ImageBuffer& stored, int32_t orientation) {
  const int32_t o = NormalOrientation(orientation);
  const int32_t w = stored.width(), h = stored.height();
  const bool swap = OrientationSwapsSides(o);
  auto out = ImageBuffer::Allocate(swap ? h : w, swap ? w : h);
  if (!out) return std::nullopt;
  if (stored.empty()) return out;
  const Mapping m = MappingOf(o);
  const int64_t stride = static_cast<int64_t>(stored.stride());
  // Byte steps through the stored picture for one upright pixel to the right and one down.
  const int64_t stepX = m.ax * 4 + m.ay * stride;
  const int64_t stepY = m.bx * 4 + m.by * stride;
  const int64_t origin = (m.farX ? int64_t{w} - 1 : 0) * 4 + (m.farY ? int64_t{h} - 1 : 0) * stride;
  const uint8_t* base = stored.data();
  const int32_t ow = out->width(), oh = out->height();
  for (int32_t y0 = 0; y0 < oh; y0 += kTile) {
    const int32_t y1 = std::min(oh, y0 + kTile);
    for (int32_t x0 = 0; x0 < ow; x0 += kTile) {
      const int32_t x1 = std::min(ow, x0 + kTile);
      for (int32_t y = y0; y < y1; ++y) {
        const uint8_t* src = base + origin + stepY * y + stepX * x0;
        uint8_t* dst = out->pixel(x0, y);
        for (int32_t x = x0; x < x1; ++x, src += stepX, dst += 4) std::memcpy(dst, src, 4);
      }
    }
  }
  return out;
}

bool TurnUprightInPlace(ImageBuffer& picture, int32_t orientation) {
  if (NormalOrientation(orientation) == 1) return true;
  auto upright = TurnUpright(picture, orientation);
  if (!upright) return false;
  picture = std::move(*upright);
  return true;
}

}  // namespace qp
