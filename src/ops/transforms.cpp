// Rotations and flips move whole 32-bit pixels, so colour and alpha travel together.
#include <algorithm>
#include <cstring>

#include "ops/transforms.h"

namespace qp {
namespace {

uint32_t* Words(ImageBuffer& img) { return reinterpret_cast<uint32_t*>(img.data()); }

// D has H columns and W rows. Clockwise: D(H-1-y, x) = S(x, y); counter-clockwise:
// D(y, W-1-x) = S(x, y). Worked in tiles so both blocks stay in cache.
bool Rotate(ImageBuffer& img, bool clockwise, ViewerState& state) {
  if (img.empty()) return false;
  const int32_t w = img.width(), h = img.height();
  auto dst = ImageBuffer::Allocate(h, w);
  if (!dst) return false;
  const uint32_t* s = Words(img);  // read before the swap below
  uint32_t* d = Words(*dst);
  constexpr int32_t kTile = 64;
  for (int32_t ty = 0; ty < h; ty += kTile) {
    const int32_t ey = std::min(h, ty + kTile);
    for (int32_t tx = 0; tx < w; tx += kTile) {
      const int32_t ex = std::min(w, tx + kTile);
      for (int32_t y = ty; y < ey; ++y) {
        const uint32_t* srow = s + static_cast<size_t>(y) * w;
        for (int32_t x = tx; x < ex; ++x) {
          const size_t di = clockwise ? static_cast<size_t>(x) * h + (h - 1 - y)
                                      : static_cast<size_t>(w - 1 - x) * h + y;
          d[di] = srow[x];
        }
      }
    }
  }
  img = std::move(*dst);
  state.vectorSource = 0;
  return true;
}

}  // namespace

bool RotateClockwise(ImageBuffer& img, ViewerState& state) { return Rotate(img, true, state); }
bool RotateCounterClockwise(ImageBuffer& img, ViewerState& state) {
  return Rotate(img, false, state);
}

void FlipVertical(ImageBuffer& img, ViewerState& state) {
  state.vectorSource = 0;
  if (img.empty()) return;
  const int32_t h = img.height();
  uint32_t* p = Words(img);
  const size_t w = static_cast<size_t>(img.width());
  for (int32_t r = 0; r < h / 2; ++r) {
    std::swap_ranges(p + r * w, p + (r + 1) * w, p + (h - 1 - r) * w);
  }
}

void FlipHorizontal(ImageBuffer& img, ViewerState& state) {
  state.vectorSource = 0;
  if (img.empty()) return;
  const size_t w = static_cast<size_t>(img.width());
  uint32_t* p = Words(img);
  for (int32_t y = 0; y < img.height(); ++y) std::reverse(p + y * w, p + (y + 1) * w);
}

void UpsideDown(ImageBuffer& img, ViewerState& state) {
  FlipVertical(img, state);
  FlipHorizontal(img, state);
}

// Exchanges pixel k with pixel W/2 + k in every row; with odd W the last column stays.
void LeftRightSwap(ImageBuffer& img, ViewerState& state) {
  state.vectorSource = 0;
  if (img.empty()) return;
  const size_t w = static_cast<size_t>(img.width());
  const size_t half = w / 2;
  uint32_t* p = Words(img);
  for (int32_t y = 0; y < img.height(); ++y) {
    uint32_t* row = p + y * w;
    std::swap_ranges(row, row + half, row + half);
  }
}

}  // namespace qp
