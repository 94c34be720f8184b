#include "core/orientation.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// Quarter turns and transposes go through the picture in tiles of kTileRows upright rows by
// kTileColumns upright columns. Within a tile, four stored rows are read at a time along
// kTileRows pixels (the stored rows are the upright columns), and each upright row a tile
// writes lies on its own memory page: 1024 of them stay within the address cache, and the
// reads run forwards so the memory prefetcher follows them.
constexpr int32_t kTileRows = 1024;
constexpr int32_t kTileColumns = 64;

// Copies `count` pixels from `src` to `dst` in reverse order: dst[0] = src[count - 1].
void ReverseCopy(const uint8_t* src, uint8_t* dst, int32_t count) {
  int32_t i = 0;
#if defined(__SSE2__)
  // Four pixels at a time: a 128-bit load from the far end with its 32-bit lanes reversed.
  for (; i + 4 <= count; i += 4) {
    const __m128i v =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + (int64_t{count} - i - 4) * 4));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + int64_t{i} * 4), _mm_shuffle_epi32(v, 0x1B));
  }
#endif
  for (; i < count; ++i) std::memcpy(dst + int64_t{i} * 4, src + (int64_t{count} - 1 - i) * 4, 4);
}

// Writes the columns of a 4 x 4 block of pixels as rows: the block's row i (4 pixels) starts at
// src + i * srcStep, and its column k goes to dst + k * dstStep. Negative steps walk upwards,
// which makes the same transpose serve all four turns and diagonal mirrors.
inline void Transpose4(const uint8_t* src, ptrdiff_t srcStep, uint8_t* dst, ptrdiff_t dstStep) {
#if defined(__SSE2__)
  const __m128i r0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
  const __m128i r1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + srcStep));
  const __m128i r2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 2 * srcStep));
  const __m128i r3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 3 * srcStep));
  const __m128i t0 = _mm_unpacklo_epi32(r0, r1);  // a0 b0 a1 b1
  const __m128i t1 = _mm_unpacklo_epi32(r2, r3);  // c0 d0 c1 d1
  const __m128i t2 = _mm_unpackhi_epi32(r0, r1);  // a2 b2 a3 b3
  const __m128i t3 = _mm_unpackhi_epi32(r2, r3);  // c2 d2 c3 d3
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), _mm_unpacklo_epi64(t0, t1));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + dstStep), _mm_unpackhi_epi64(t0, t1));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 2 * dstStep), _mm_unpacklo_epi64(t2, t3));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 3 * dstStep), _mm_unpackhi_epi64(t2, t3));
#else
  for (int k = 0; k < 4; ++k)
    for (int i = 0; i < 4; ++i) std::memcpy(dst + k * dstStep + i * 4, src + i * srcStep + k * 4, 4);
#endif
}

// Fills the upright pixels x0 <= x < x1, y0 <= y < y1 one at a time through the mapping (the
// strips along the edges that whole 4 x 4 blocks do not cover).
void TurnRegion(const ImageBuffer& stored, const Mapping& m, ImageBuffer& out, int32_t x0,
                int32_t x1, int32_t y0, int32_t y1) {
  if (x0 >= x1 || y0 >= y1) return;
  const int64_t stride = static_cast<int64_t>(stored.stride());
  // Byte steps through the stored picture for one upright pixel to the right and one down.
  const int64_t stepX = m.ax * 4 + m.ay * stride;
  const int64_t stepY = m.bx * 4 + m.by * stride;
  const int64_t origin = (m.farX ? int64_t{stored.width()} - 1 : 0) * 4 +
                         (m.farY ? int64_t{stored.height()} - 1 : 0) * stride;
  for (int32_t y = y0; y < y1; ++y) {
    const uint8_t* src = stored.data() + origin + stepY * y + stepX * x0;
    uint8_t* dst = out.pixel(x0, y);
    for (int32_t x = x0; x < x1; ++x, src += stepX, dst += 4) std::memcpy(dst, src, 4);
  }
}

// Orientations 5 to 8: each upright row is a stored column. The stored picture is read in
// 4 x 4 blocks, transposed in registers.
void TurnAcross(const ImageBuffer& stored, int32_t orientation, ImageBuffer& out) {
  const Mapping m = MappingOf(orientation);
  const int32_t w = stored.width(), h = stored.height();
  const int32_t ow = out.width(), oh = out.height();  // h and w
  const int32_t ow4 = ow & ~3, oh4 = oh & ~3;
  const ptrdiff_t stride = static_cast<ptrdiff_t>(stored.stride());
  const ptrdiff_t outStride = static_cast<ptrdiff_t>(out.stride());
  // Upright x runs down the stored rows (5, 8) or up them (6, 7); upright y runs along the
  // stored columns to the right (5, 6) or to the left (7, 8).
  const ptrdiff_t srcStep = m.farY ? -stride : stride;
  const bool leftwards = m.farX;
  const ptrdiff_t dstStep = leftwards ? -outStride : outStride;
  for (int32_t ty = 0; ty < oh4; ty += kTileRows) {
    const int32_t ty1 = std::min(oh4, ty + kTileRows);
    for (int32_t tx = 0; tx < ow4; tx += kTileColumns) {
      const int32_t tx1 = std::min(ow4, tx + kTileColumns);
      for (int32_t ux = tx; ux < tx1; ux += 4) {
        const int32_t sy = m.farY ? h - 1 - ux : ux;
        for (int32_t i = ty; i < ty1; i += 4) {
          // Upright rows uy .. uy + 3 are stored columns sx .. sx + 3 (in reverse when the
          // upright rows run leftwards, taken last first so the stored row is read forwards).
          const int32_t uy = leftwards ? ty1 - 4 - (i - ty) : i;
          const int32_t sx = leftwards ? w - 4 - uy : uy;
          uint8_t* dst = out.pixel(ux, leftwards ? uy + 3 : uy);
          Transpose4(stored.pixel(sx, sy), srcStep, dst, dstStep);
        }
      }
    }
  }
  TurnRegion(stored, m, out, ow4, ow, 0, oh);
  TurnRegion(stored, m, out, 0, ow4, oh4, oh);
}

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
  if (swap) {
    TurnAcross(stored, o, *out);
    return out;
  }
  // 1 to 4: each upright row is a stored row, copied whole or reversed.
  const Mapping m = MappingOf(o);
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* src = stored.row(m.farY ? h - 1 - y : y);
    if (m.farX) ReverseCopy(src, out->row(y), w);
    else std::memcpy(out->row(y), src, stored.stride());
  }
  return out;
}

bool TurnUprightInPlace(ImageBuffer& picture, int32_t orientation) {
  const int32_t o = NormalOrientation(orientation);
  if (o == 1 || picture.empty()) return true;
  if (OrientationSwapsSides(o)) {
    auto upright = TurnUpright(picture, o);
    if (!upright) return false;
    picture = std::move(*upright);
    return true;
  }
  // 2 to 4 keep the shape: rows are exchanged (and reversed) through one row of scratch, with
  // no second picture allocated.
  const Mapping m = MappingOf(o);
  const int32_t w = picture.width(), h = picture.height();
  const size_t rowBytes = picture.stride();
  std::vector<uint8_t> scratch(rowBytes);
  if (!m.farY) {  // 2: every row reversed where it is
    for (int32_t y = 0; y < h; ++y) {
      ReverseCopy(picture.row(y), scratch.data(), w);
      std::memcpy(picture.row(y), scratch.data(), rowBytes);
    }
    return true;
  }
  // 3 and 4: row y and row h - 1 - y change places (reversed for 3); a middle row of an odd
  // height stays (reversed for 3).
  for (int32_t top = 0, bottom = h - 1; top <= bottom; ++top, --bottom) {
    uint8_t* a = picture.row(top);
    uint8_t* b = picture.row(bottom);
    if (m.farX) {
      ReverseCopy(a, scratch.data(), w);
      if (top != bottom) ReverseCopy(b, a, w);
    } else {
      if (top == bottom) break;
      std::memcpy(scratch.data(), a, rowBytes);
      std::memcpy(a, b, rowBytes);
    }
    std::memcpy(b, scratch.data(), rowBytes);
  }
  return true;
}

}  // namespace qp
