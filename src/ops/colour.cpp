// Negative, grayscale, black and white with an automatic threshold, and five dithers.
#include <algorithm>
#include <cstring>
#include <vector>

#include "ops/colour.h"

namespace qp {
namespace {

// Range value of the threshold search: (variance^2) * n / N over the levels a..b.
double RangeValue(const int64_t* hist, int a, int b, double total) {
  double n = 0;
  for (int i = a; i <= b; ++i) n += static_cast<double>(hist[i]);
  if (n == 0) return 0;
  double sum = 0;
  for (int i = a; i <= b; ++i) sum += static_cast<double>(i) * static_cast<double>(hist[i]);
  const double mean = sum / n;
  double var = 0;
  for (int i = a; i <= b; ++i) var += static_cast<double>(hist[i]) * (i - mean) * (i - mean);
  var /= n;
  return var * var * n / total;
}

inline int32_t Clamp255(int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

struct Spread {
  int dx, dy, weight;
};
constexpr Spread kFloyd[] = {{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}};
constexpr Spread kBurkes[] = {{1, 0, 8}, {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4},
                              {0, 1, 8}, {1, 1, 4}, {2, 1, 2}};
constexpr Spread kStucki[] = {{1, 0, 8}, {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4},
                              {2, 1, 2}, {-2, 2, 1}, {-1, 2, 2}, {0, 2, 4}, {1, 2, 2}, {2, 2, 1}};

// Error diffusion over a grey plane padded by two columns on each side and two rows below, so
// updates that fall outside the picture land in padding that is never read.
template <int D, size_t N>
void Diffuse(std::vector<int16_t>& grey, int32_t w, int32_t h, const Spread (&spread)[N],
             uint8_t* out) {
  const size_t pw = static_cast<size_t>(w) + 4;
  for (int32_t y = 0; y < h; ++y) {
    int16_t* row = grey.data() + static_cast<size_t>(y) * pw + 2;
    uint8_t* o = out + static_cast<size_t>(y) * w * 4;
    for (int32_t x = 0; x < w; ++x) {
      const int32_t v = row[x];
      int32_t e;
      if (v <= 128) {
        e = v;
      } else {
        e = v - 255;
        o[x * 4] = o[x * 4 + 1] = o[x * 4 + 2] = 255;
      }
      for (const Spread& s : spread) {
        int16_t& n = row[static_cast<ptrdiff_t>(s.dy) * static_cast<ptrdiff_t>(pw) + x + s.dx];
        n = static_cast<int16_t>(Clamp255(n + e * s.weight / D));
      }
    }
  }
}

}  // namespace

void Negative(ImageBuffer& img, UndoSnapshot& undo, ViewerState& state) {
  undo.TakeCopy(img);
  if (img.empty()) return;
  uint8_t* p = img.data();
  for (size_t i = 0, n = img.pixelCount(); i < n; ++i, p += 4) {
    p[0] = static_cast<uint8_t>(255 - p[0]);
    p[1] = static_cast<uint8_t>(255 - p[1]);
    p[2] = static_cast<uint8_t>(255 - p[2]);
  }
  state.vectorSource = 0;
}

void Grayscale(ImageBuffer& img, UndoSnapshot& undo, ViewerState& state) {
  undo.TakeCopy(img);
  if (img.empty()) return;
  uint8_t* p = img.data();
  for (size_t i = 0, n = img.pixelCount(); i < n; ++i, p += 4) p[0] = p[1] = p[2] = GreyLevel(p);
  state.vectorSource = 0;
}

int32_t BlackWhiteThreshold(const ImageBuffer& img) {
  int64_t hist[256] = {};
  const uint8_t* p = img.data();
  for (size_t i = 0, n = img.empty() ? 0 : img.pixelCount(); i < n; ++i, p += 4) ++hist[GreyLevel(p)];
  const double total = static_cast<double>(img.empty() ? 0 : img.pixelCount());
  double score[256] = {};
  if (total > 0) {
    for (int t = 0; t <= 253; ++t)
      score[t] = RangeValue(hist, t + 1, 255, total) + RangeValue(hist, 0, t, total);
  }
  std::vector<double> sorted(score + 1, score + 252);
  std::sort(sorted.begin(), sorted.end());
  const double best = sorted[1];
  for (int t = 255; t >= 1; --t) {
    if (score[t] == best) return t;
  }
  return 255;
}

void BlackAndWhite(ImageBuffer& img, UndoSnapshot& undo, ViewerState& state) {
  undo.TakeCopy(img);
  if (img.empty()) return;
  const int32_t t = BlackWhiteThreshold(img);
  uint8_t* p = img.data();
  for (size_t i = 0, n = img.pixelCount(); i < n; ++i, p += 4) {
    p[0] = p[1] = p[2] = GreyLevel(p) >= t ? 255 : 0;
  }
  state.vectorSource = 0;
}

std::optional<ImageBuffer> DitherImage(const ImageBuffer& src, int32_t mode) {
  if (src.empty()) return std::nullopt;
  auto out = ImageBuffer::Filled(src.width(), src.height(), 0);
  if (!out) return std::nullopt;
  const int32_t w = src.width(), h = src.height();
  uint8_t* o = out->data();
  if (mode == kDitherOrdered || mode == kDitherThreshold) {
    static constexpr int kMatrix[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    for (int32_t y = 0; y < h; ++y) {
      const uint8_t* s = src.row(y);
      uint8_t* d = o + static_cast<size_t>(y) * w * 4;
      for (int32_t x = 0; x < w; ++x) {
        const int v = GreyLevel(s + x * 4);
        const bool on = mode == kDitherThreshold ? v > 128 : kMatrix[y & 3][x & 3] < 16 * v / 255;
        if (on) d[x * 4] = d[x * 4 + 1] = d[x * 4 + 2] = 255;
      }
    }
    return out;
  }
  std::vector<int16_t> grey;
  try {
    grey.assign((static_cast<size_t>(w) + 4) * (static_cast<size_t>(h) + 2), 0);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  const size_t pw = static_cast<size_t>(w) + 4;
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* s = src.row(y);
    int16_t* g = grey.data() + static_cast<size_t>(y) * pw + 2;
    for (int32_t x = 0; x < w; ++x) g[x] = GreyLevel(s + x * 4);
  }
  if (mode == kDitherBurkes) Diffuse<32>(grey, w, h, kBurkes, o);
  else if (mode == kDitherStucki) Diffuse<42>(grey, w, h, kStucki, o);
  else Diffuse<16>(grey, w, h, kFloyd, o);
  return out;
}

bool ApplyDither(int32_t mode, ImageBuffer& img, UndoSnapshot& undo, ViewerState& state) {
  undo.TakeCopy(img);
  auto out = DitherImage(img, mode);
  if (!out) return false;
  img = std::move(*out);
  state.vectorSource = 0;
  return true;
}

}  // namespace qp
