// 3x3 convolution with edge replication, pixelate and outline.
#include <algorithm>
#include <cstring>
#include <vector>

#include "ops/filters.h"

namespace qp {
namespace {

constexpr Kernel3x3 kSharpen{{-1, -1, -1, -1, 20, -1, -1, -1, -1}, 12};
constexpr Kernel3x3 kSharpenMore{{-1, -1, -1, -1, 12, -1, -1, -1, -1}, 4};
constexpr Kernel3x3 kSoften{{1, 1, 1, 1, 14, 1, 1, 1, 1}, 22};
constexpr Kernel3x3 kBlur{{1, 1, 1, 1, 1, 1, 1, 1, 1}, 9};

inline uint8_t ClampByte(int32_t v) { return v <= 0 ? 0 : (v >= 255 ? 255 : static_cast<uint8_t>(v)); }

// Kernels whose eight outer weights are equal: the sum is ring * (3x3 box sum) +
// (centre - ring) * centre pixel, the same integer as the nine products. The box sum comes from
// per-column sums of the three rows, so each pixel costs a few additions.
template <int32_t Ring, int32_t Centre, int32_t Div>
void ConvolveRing(const ImageBuffer& src, ImageBuffer& dst) {
  const int32_t w = src.width(), h = src.height();
  std::vector<int32_t> col(static_cast<size_t>(w + 2) * 3);
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* a = src.row(std::max(y - 1, 0));
    const uint8_t* b = src.row(y);
    const uint8_t* c = src.row(std::min(y + 1, h - 1));
    // col[(x + 1) * 3 + ch] = vertical sum at column x; ends replicate the edge columns.
    for (int32_t x = 0; x < w; ++x) {
      for (int ch = 0; ch < 3; ++ch) {
        col[(x + 1) * 3 + ch] = a[x * 4 + ch] + b[x * 4 + ch] + c[x * 4 + ch];
      }
    }
    for (int ch = 0; ch < 3; ++ch) {
      col[ch] = col[3 + ch];
      col[(w + 1) * 3 + ch] = col[w * 3 + ch];
    }
    uint8_t* out = dst.row(y);
    for (int32_t x = 0; x < w; ++x) {
      const int32_t* k = &col[x * 3];
      for (int ch = 0; ch < 3; ++ch) {
        const int32_t box = k[ch] + k[3 + ch] + k[6 + ch];
        const int32_t sum = Ring * box + (Centre - Ring) * b[x * 4 + ch];
        out[x * 4 + ch] = ClampByte(sum / Div);
      }
      out[x * 4 + 3] = b[x * 4 + 3];
    }
  }
}

void ConvolveGeneral(const Kernel3x3& k, const ImageBuffer& src, ImageBuffer& dst) {
  const int32_t w = src.width(), h = src.height();
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* rows[3] = {src.row(std::max(y - 1, 0)), src.row(y),
                              src.row(std::min(y + 1, h - 1))};
    uint8_t* out = dst.row(y);
    for (int32_t x = 0; x < w; ++x) {
      const int32_t cols[3] = {std::max(x - 1, 0), x, std::min(x + 1, w - 1)};
      for (int ch = 0; ch < 3; ++ch) {
        int32_t sum = 0;
        for (int dy = 0; dy < 3; ++dy)
          for (int dx = 0; dx < 3; ++dx) sum += k.weights[dy * 3 + dx] * rows[dy][cols[dx] * 4 + ch];
        out[x * 4 + ch] = ClampByte(sum / k.divisor);
      }
      out[x * 4 + 3] = rows[1][x * 4 + 3];
    }
  }
}

bool Same(const Kernel3x3& a, const Kernel3x3& b) {
  return a.divisor == b.divisor && std::equal(a.weights, a.weights + 9, b.weights);
}

}  // namespace

const Kernel3x3& KernelOf(FilterKind kind) {
  switch (kind) {
    case FilterKind::Sharpen: return kSharpen;
    case FilterKind::SharpenMore: return kSharpenMore;
    case FilterKind::Soften: return kSoften;
    case FilterKind::Blur: break;
  }
  return kBlur;
}

std::optional<ImageBuffer> Convolve(const Kernel3x3& kernel, const ImageBuffer& src) {
  if (src.empty() || kernel.divisor == 0) return std::nullopt;
  auto dst = ImageBuffer::Allocate(src.width(), src.height());
  if (!dst) return std::nullopt;
  if (Same(kernel, kSharpen)) ConvolveRing<-1, 20, 12>(src, *dst);
  else if (Same(kernel, kSharpenMore)) ConvolveRing<-1, 12, 4>(src, *dst);
  else if (Same(kernel, kSoften)) ConvolveRing<1, 14, 22>(src, *dst);
  else if (Same(kernel, kBlur)) ConvolveRing<1, 1, 9>(src, *dst);
  else ConvolveGeneral(kernel, src, *dst);
  return dst;
}

bool ApplyFilter(FilterKind kind, ImageBuffer& img, UndoSnapshot& undo, ViewerState& state) {
  auto out = Convolve(KernelOf(kind), img);
  if (!out) return false;
  undo.HandOver(std::move(img));
  state.vectorSource = 0;
  img = std::move(*out);
  return true;
}

int32_t PixelateBlockSize(int32_t width, int32_t height) {
  const int32_t c = std::max(width, height) / 80;
  return c <= 8 ? 8 : c;
}

bool Pixelate(ImageBuffer& img, std::optional<PixelRect> selection, UndoSnapshot& undo,
              ViewerState& state) {
  if (img.empty() || !selection || selection->empty()) return false;
  const int32_t w = img.width(), h = img.height();
  const int32_t left = std::max(selection->left, 1), top = std::max(selection->top, 1);
  const int32_t right = std::min(selection->right, w - 1);
  const int32_t bottom = std::min(selection->bottom, h - 1);
  undo.TakeCopy(img);
  const int32_t c = PixelateBlockSize(w, h);
  uint32_t* p = reinterpret_cast<uint32_t*>(img.data());
  for (int32_t y = top; y < bottom; ++y) {
    const uint32_t* src = p + static_cast<size_t>(y / c * c) * w;
    uint32_t* row = p + static_cast<size_t>(y) * w;
    for (int32_t x = left; x < right; ++x) row[x] = src[x / c * c];
  }
  state.vectorSource = 0;
  return true;
}

void Outline(ImageBuffer& img, ViewerState& state) {
  state.vectorSource = 0;
  if (img.empty()) return;
  const int32_t w = img.width(), h = img.height();
  auto invert = [&](int32_t x, int32_t y) {
    uint8_t* p = img.pixel(x, y);
    p[0] = static_cast<uint8_t>(255 - p[0]);
    p[1] = static_cast<uint8_t>(255 - p[1]);
    p[2] = static_cast<uint8_t>(255 - p[2]);
  };
  for (int32_t x = 0; x < w; ++x) invert(x, 0);
  if (h <= 1) return;
  for (int32_t y = 1; y < h - 1; ++y) {
    invert(0, y);
    invert(w - 1, y);
  }
  for (int32_t x = 0; x < w; ++x) invert(x, h - 1);
}

}  // namespace qp
