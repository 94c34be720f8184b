// The 13-entry filter table, the two-pass filtered resampler, the nearest-neighbour resize and
// the resample command with its dialog's aspect-ratio following.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "ops/ops.h"

namespace qp {
namespace {

constexpr double kPi = 3.141592653589793;

double QuadraticBSpline(double x) {
  const double t = std::fabs(x);
  if (t < 0.5) return 0.75 - t * t;
  if (t < 1.5) return 0.5 * (t - 1.5) * (t - 1.5);
  return 0;
}
double Box(double x) { return std::fabs(x) <= 0.5 ? 1 : 0; }
double CatmullRom(double x) {
  const double t = std::fabs(x);
  if (t <= 1) return 1.5 * t * t * t - 2.5 * t * t + 1;
  if (t <= 2) return -0.5 * t * t * t + 2.5 * t * t - 4 * t + 2;
  return 0;
}
double Hann(double x) { return (x >= -1 && x <= 1) ? (std::cos(kPi * x) + 1) / 2 : 0; }
double Cubic3(double x) {
  const double t = std::fabs(x);
  if (t <= 1) return (4.0 / 3.0) * t * t * t - (7.0 / 3.0) * t * t + 1;
  if (t <= 2) return -(7.0 / 12.0) * t * t * t + 3 * t * t - (59.0 / 12.0) * t + 2.5;
  if (t <= 3) return (1.0 / 12.0) * t * t * t - (2.0 / 3.0) * t * t + 1.75 * t - 1.5;
  return 0;
}
double CubicBSpline(double x) {
  const double t = std::fabs(x);
  if (t < 1) return 0.5 * t * t * t - t * t + 2.0 / 3.0;
  if (t < 2) return (2 - t) * (2 - t) * (2 - t) / 6;
  return 0;
}
double Hermite(double x) {
  const double t = std::fabs(x);
  return t < 1 ? 2 * t * t * t - 3 * t * t + 1 : 0;
}
double Lanczos3(double x) {
  const double t = std::fabs(x);
  if (t == 0) return 1;
  if (t < 3) return 3 * std::sin(kPi * t) * std::sin(kPi * t / 3) / ((kPi * t) * (kPi * t));
  return 0;
}
double Lanczos8(double x) {
  const double t = std::fabs(x);
  if (t == 0) return 1;
  if (t < 8) return 8 * std::sin(kPi * t) * std::sin(kPi * t / 8) / ((kPi * t) * (kPi * t));
  return 0;
}
double Mitchell(double x) {
  const double t = std::fabs(x);
  if (t < 1) return (7 * t * t * t - 12 * t * t + 16.0 / 3.0) / 6;
  if (t < 2) return (-(7.0 / 3.0) * t * t * t + 12 * t * t - 20 * t + 32.0 / 3.0) / 6;
  return 0;
}
double QuadraticInterpolation(double x) {
  const double t = std::fabs(x);
  if (t <= 0.5) return 1 - 2 * t * t;
  if (t <= 1.5) return t * t - 2.5 * t + 1.5;
  return 0;
}
double QuadraticApproximation(double x) {
  const double t = std::fabs(x);
  if (t <= 0.5) return 0.75 - t * t;
  if (t <= 1.5) return 0.5 * t * t - 1.5 * t + 1.125;
  return 0;
}
double Triangle(double x) {
  const double t = std::fabs(x);
  return t < 1 ? 1 - t : 0;
}

constexpr ResampleFilter kFilters[kFilterCount] = {
    {QuadraticBSpline, 1.5}, {Box, 0.5},      {CatmullRom, 2},
    {Hann, 1},               {Cubic3, 3},     {CubicBSpline, 2},
    {Hermite, 1},            {Lanczos3, 3},   {Lanczos8, 8},
    {Mitchell, 2},           {QuadraticInterpolation, 1.5},
    {QuadraticApproximation, 1.5},            {Triangle, 1}};

// Contributions of the source samples to every destination sample along one axis.
struct Contributions {
  std::vector<int32_t> first;   // per destination: offset into index/weight
  std::vector<int32_t> count;
  std::vector<int32_t> index;
  std::vector<double> weight;
  std::vector<double> total;
};

Contributions Contribute(int32_t size, int32_t newSize, double (*filter)(double), double s) {
  Contributions c;
  const double scale = static_cast<double>(newSize) / static_cast<double>(size);
  const double w = scale > 1 ? s : s / scale;
  const double k = scale > 1 ? 1 : scale;
  c.first.resize(newSize);
  c.count.resize(newSize);
  c.total.resize(newSize);
  for (int32_t i = 0; i < newSize; ++i) {
    const double centre = i / scale;
    const int32_t left = static_cast<int32_t>(centre + 0.5 - w);
    const int32_t right = static_cast<int32_t>(left + 2 * w);
    c.first[i] = static_cast<int32_t>(c.index.size());
    double total = 0;
    for (int32_t j = std::max(left, 0); j <= right && j < size; ++j) {
      const double weight = filter((centre - j) * k);
      if (weight == 0) continue;
      c.index.push_back(j);
      c.weight.push_back(weight);
      total += weight;
    }
    if (total == 0) {
      // No source sample carries weight here (a narrow filter at an edge while enlarging):
      // take the nearest sample rather than divide by zero.
      c.index.resize(c.first[i]);
      c.weight.resize(c.first[i]);
      c.index.push_back(std::clamp(static_cast<int32_t>(centre + 0.5), 0, size - 1));
      c.weight.push_back(1);
      total = 1;
    }
    c.count[i] = static_cast<int32_t>(c.index.size()) - c.first[i];
    c.total[i] = total;
  }
  return c;
}

// Truncates toward zero. A quotient a rounding error below a whole number counts as that
// number, so a uniform or opaque picture keeps its exact values (255 must not become 254).
inline uint8_t ToByte(double v) {
  const int32_t i = static_cast<int32_t>(v + 1e-9);
  return i < 0 ? 0 : (i >= 256 ? 255 : static_cast<uint8_t>(i));
}

// Runs body(begin, end) over [0, n) on the calling thread and one helper.
template <typename F>
void Split(int32_t n, F&& body) {
  if (n < 64) {
    body(0, n);
    return;
  }
  const int32_t mid = n / 2;
  std::thread helper;
  try {
    helper = std::thread([&] { body(mid, n); });
  } catch (...) {
    body(0, n);
    return;
  }
  body(0, mid);
  helper.join();
}

}  // namespace

const ResampleFilter& FilterEntry(int32_t index) {
  return kFilters[((index % kFilterCount) + kFilterCount) % kFilterCount];
}

bool FilteredResample(const uint8_t* src, int32_t w, int32_t h, uint8_t* dst, int32_t nw,
                      int32_t nh, double (*filter)(double), double support) {
  if (w < 1 || h < 1 || nw < 1 || nh < 1 || !src || !dst) return false;
  if (nw == w && nh == h) {
    std::memcpy(dst, src, static_cast<size_t>(w) * h * 4);
    return true;
  }
  auto inter = ImageBuffer::Allocate(nw, h);
  if (!inter) return false;
  try {
    const Contributions cx = Contribute(w, nw, filter, support);
    Split(h, [&](int32_t y0, int32_t y1) {
      std::vector<double> row(static_cast<size_t>(w) * 4);
      for (int32_t y = y0; y < y1; ++y) {
        const uint8_t* s = src + static_cast<size_t>(y) * w * 4;
        for (size_t k = 0; k < row.size(); ++k) row[k] = s[k];
        uint8_t* d = inter->row(y);
        for (int32_t i = 0; i < nw; ++i) {
          double a0 = 0, a1 = 0, a2 = 0, a3 = 0;
          const int32_t* idx = &cx.index[cx.first[i]];
          const double* wt = &cx.weight[cx.first[i]];
          for (int32_t n = 0; n < cx.count[i]; ++n) {
            const double* p = &row[static_cast<size_t>(idx[n]) * 4];
            const double q = wt[n];
            a0 += q * p[0];
            a1 += q * p[1];
            a2 += q * p[2];
            a3 += q * p[3];
          }
          const double t = cx.total[i];
          d[i * 4] = ToByte(a0 / t);
          d[i * 4 + 1] = ToByte(a1 / t);
          d[i * 4 + 2] = ToByte(a2 / t);
          d[i * 4 + 3] = ToByte(a3 / t);
        }
      }
    });
    const Contributions cy = Contribute(h, nh, filter, support);
    const size_t rowLen = static_cast<size_t>(nw) * 4;
    Split(nh, [&](int32_t y0, int32_t y1) {
      std::vector<double> acc(rowLen);
      for (int32_t y = y0; y < y1; ++y) {
        std::fill(acc.begin(), acc.end(), 0.0);
        for (int32_t n = 0; n < cy.count[y]; ++n) {
          const uint8_t* s = inter->row(cy.index[cy.first[y] + n]);
          const double q = cy.weight[cy.first[y] + n];
          for (size_t k = 0; k < rowLen; ++k) acc[k] += q * s[k];
        }
        const double t = cy.total[y];
        uint8_t* d = dst + static_cast<size_t>(y) * rowLen;
        for (size_t k = 0; k < rowLen; ++k) d[k] = ToByte(acc[k] / t);
      }
    });
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

std::optional<ImageBuffer> Resample(const ImageBuffer& src, int32_t nw, int32_t nh,
                                    int32_t filterIndex) {
  if (src.empty()) return std::nullopt;
  nw = std::max(nw, 1);
  nh = std::max(nh, 1);
  if (nw > kMaxResampleSide || nh > kMaxResampleSide) return std::nullopt;
  auto dst = ImageBuffer::Allocate(nw, nh);
  if (!dst) return std::nullopt;
  const ResampleFilter& f = FilterEntry(filterIndex);
  if (!FilteredResample(src.data(), src.width(), src.height(), dst->data(), nw, nh, f.weight,
                        f.support))
    return std::nullopt;
  return dst;
}

std::optional<ImageBuffer> ResizeNearest(const ImageBuffer& src, int32_t nw, int32_t nh) {
  if (src.empty()) return std::nullopt;
  nw = std::max(nw, 1);
  nh = std::max(nh, 1);
  auto dst = ImageBuffer::Allocate(nw, nh);
  if (!dst) return std::nullopt;
  const int32_t w = src.width(), h = src.height();
  const float fx = static_cast<float>(static_cast<double>(w) / nw);
  const float fy = static_cast<float>(static_cast<double>(h) / nh);
  std::vector<int32_t> cols;
  try {
    cols.resize(nw);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  // The float-rounded step can carry the last index one past the end: keep it inside.
  for (int32_t x = 0; x < nw; ++x) cols[x] = std::min(static_cast<int32_t>(x * static_cast<double>(fx)), w - 1);
  const uint32_t* s = reinterpret_cast<const uint32_t*>(src.data());
  uint32_t* d = reinterpret_cast<uint32_t*>(dst->data());
  for (int32_t y = 0; y < nh; ++y) {
    const int32_t sy = std::min(static_cast<int32_t>(y * static_cast<double>(fy)), h - 1);
    const uint32_t* srow = s + static_cast<size_t>(sy) * w;
    uint32_t* drow = d + static_cast<size_t>(y) * nw;
    for (int32_t x = 0; x < nw; ++x) drow[x] = srow[cols[x]];
  }
  return dst;
}

bool ResampleCommand(ImageBuffer& img, const ResampleRequest& req, const VectorRenderer& render,
                     UndoSnapshot& undo, ViewerState& state) {
  std::optional<ImageBuffer> out;
  if (state.vectorSource && render) {
    out = render(req.width, req.height);
  } else if (img.empty()) {
    return false;
  } else if (req.useResize) {
    if (req.width > kMaxResampleSide || req.height > kMaxResampleSide) return false;
    out = ResizeNearest(img, req.width, req.height);
  } else {
    out = Resample(img, req.width, req.height);
  }
  if (!out || out->empty()) return false;
  undo.HandOver(std::move(img));
  state.vectorSource = 0;
  img = std::move(*out);
  if (req.sharpen) {
    if (auto sharp = Convolve(KernelOf(FilterKind::SharpenMore), img)) {
      img = std::move(*sharp);
      state.vectorSource = 0;
    }
  }
  return true;
}

int32_t ReadIntField(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size() || text[i] < '0' || text[i] > '9') return 0;
  int64_t v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    v = std::min<int64_t>(v * 10 + (text[i] - '0'), int64_t{1} << 31);
  }
  if (negative) v = -v;
  return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

void AspectRatioFollower::WidthEdited(std::string_view text, const Writer& writeHeight) {
  if (guard_ || !keep) return;
  const int32_t w = ReadIntField(text);
  if (w <= 0) return;
  const float q = static_cast<float>(w / ratio_);
  const int32_t h = static_cast<int32_t>(static_cast<double>(q) + 0.5);
  if (h <= 0) return;
  guard_ = true;
  writeHeight(std::to_string(h));
  guard_ = false;
}

void AspectRatioFollower::HeightEdited(std::string_view text, const Writer& writeWidth) {
  if (guard_ || !keep) return;
  const int32_t h = ReadIntField(text);
  if (h <= 0) return;
  const float p = static_cast<float>(h * ratio_);
  const int32_t w = static_cast<int32_t>(static_cast<double>(p) + 0.5);
  if (w <= 0) return;
  guard_ = true;
  writeWidth(std::to_string(w));
  guard_ = false;
}

}  // namespace qp
