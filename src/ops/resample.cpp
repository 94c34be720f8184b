// The 13-entry filter table, the two-pass filtered resampler, the nearest-neighbour resize and
// the resample command with its dialog's aspect-ratio following.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "ops/filters.h"
#include "ops/resample.h"
#include "ops/split_rows.h"

namespace qp {
namespace {

constexpr double kPi = 3.141592653589793;

double QuadraticBSpline(double x) {
  const double t = std::fabs(x);
  if (t < 0.5) return 0.75 - t * t;
  if (t < 1.5) return 0.5 * (t - 1.5) * (t - 1.5);
  return 0;
}
double Box(double x) {
  return std::fabs(x) <= 0.5 ? 1 : 0;
}
double CatmullRom(double x) {
  const double t = std::fabs(x);
  if (t <= 1) return 1.5 * t * t * t - 2.5 * t * t + 1;
  if (t <= 2) return -0.5 * t * t * t + 2.5 * t * t - 4 * t + 2;
  return 0;
}
double Hann(double x) {
  return (x >= -1 && x <= 1) ? (std::cos(kPi * x) + 1) / 2 : 0;
}
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

constexpr ResampleFilter kFilters[kFilterCount] = {{QuadraticBSpline, 1.5},
                                                   {Box, 0.5},
                                                   {CatmullRom, 2},
                                                   {Hann, 1},
                                                   {Cubic3, 3},
                                                   {CubicBSpline, 2},
                                                   {Hermite, 1},
                                                   {Lanczos3, 3},
                                                   {Lanczos8, 8},
                                                   {Mitchell, 2},
                                                   {QuadraticInterpolation, 1.5},
                                                   {QuadraticApproximation, 1.5},
                                                   {Triangle, 1}};

// Contributions of the source samples to every destination sample along one axis.
struct Contributions {
  std::vector<int32_t> first;  // per destination: offset into index/weight
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

// Both passes exist twice: a plain version and, on x86 processors with AVX2, one that keeps the
// four channels of a pixel in one vector register. The vector version performs exactly the
// same double operations in the same order (a multiply, then an add, per contribution and
// channel; never a fused multiply-add, which rounds once instead of twice), so both give the
// same bytes.

// Horizontal pass of one source row s (w pixels) into d (nw pixels). `row` holds w * 4 doubles.
void HorizontalRowPlain(const uint8_t* s, int32_t w, uint8_t* d, int32_t nw,
                        const Contributions& cx, double* row) {
  for (size_t k = 0; k < static_cast<size_t>(w) * 4; ++k) row[k] = s[k];
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

// Vertical pass of one destination row d (len bytes) from `count` intermediate rows.
void VerticalRowPlain(const uint8_t* const* rows, const double* wt, int32_t count, double total,
                      uint8_t* d, size_t len, double* acc) {
  std::fill(acc, acc + len, 0.0);
  for (int32_t n = 0; n < count; ++n) {
    const uint8_t* s = rows[n];
    const double q = wt[n];
    for (size_t k = 0; k < len; ++k) acc[k] += q * s[k];
  }
  for (size_t k = 0; k < len; ++k) d[k] = ToByte(acc[k] / total);
}

#if defined(__x86_64__)
#define QP_RESAMPLE_AVX2 1

// ToByte on four lanes: (int)(v + 1e-9) truncated, then clamped to 0..255 by the two
// saturating packs (an out-of-range conversion gives INT32_MIN, which clamps to 0 as the
// plain version's does). The four bytes land in the low 32 bits.
__attribute__((target("avx2"))) inline __m128i ToBytes4(__m256d sum, __m256d total) {
  const __m128i i =
      _mm256_cvttpd_epi32(_mm256_add_pd(_mm256_div_pd(sum, total), _mm256_set1_pd(1e-9)));
  return _mm_packus_epi16(_mm_packs_epi32(i, i), _mm_setzero_si128());
}

__attribute__((target("avx2"))) inline __m256d PixelToDoubles(const uint8_t* p) {
  int32_t v;
  std::memcpy(&v, p, 4);
  return _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(v)));
}

// The contributions of each destination pixel as one run of consecutive source pixels, the
// weights of skipped samples stored as 0. Adding 0 x value leaves a sum unchanged (at most the
// sign of a zero sum differs, which no byte shows), so the result is the same, and the vector
// loop reads pixels at fixed steps instead of through an index table.
struct Runs {
  std::vector<int32_t> start, count, offset;
  std::vector<double> weight;
};

// Runs are also padded with 0 weights at their end to the longest run (as far as the row
// allows), so that neighbouring pixels, whose runs differ by one where a weight at the edge of
// the filter is exactly 0, can be summed together.
Runs ToRuns(const Contributions& c, int32_t size) {
  Runs r;
  const size_t n = c.first.size();
  r.start.resize(n);
  r.count.resize(n);
  r.offset.resize(n);
  int32_t longest = 1;
  for (size_t i = 0; i < n; ++i)
    longest = std::max(longest, c.index[c.first[i] + c.count[i] - 1] - c.index[c.first[i]] + 1);
  for (size_t i = 0; i < n; ++i) {
    const int32_t* idx = &c.index[c.first[i]];
    const double* wt = &c.weight[c.first[i]];
    const int32_t first = idx[0], last = idx[c.count[i] - 1];
    const int32_t count = std::max(last - first + 1, std::min(longest, size - first));
    r.start[i] = first;
    r.count[i] = count;
    r.offset[i] = static_cast<int32_t>(r.weight.size());
    r.weight.resize(r.weight.size() + static_cast<size_t>(count), 0.0);
    for (int32_t k = 0; k < c.count[i]; ++k)
      r.weight[static_cast<size_t>(r.offset[i] + idx[k] - first)] = wt[k];
  }
  return r;
}

// One destination pixel: the weighted sum of its run, as four doubles.
__attribute__((target("avx2"))) inline __m256d SumRun(const double* row, const Runs& r, size_t i) {
  const double* p = row + size_t{4} * static_cast<uint32_t>(r.start[i]);
  const double* wt = &r.weight[static_cast<size_t>(r.offset[i])];
  __m256d a = _mm256_setzero_pd();
  for (int32_t n = 0; n < r.count[i]; ++n, p += 4)
    a = _mm256_add_pd(a, _mm256_mul_pd(_mm256_broadcast_sd(wt + n), _mm256_loadu_pd(p)));
  return a;
}

__attribute__((target("avx2"))) void HorizontalRowAvx2(const uint8_t* s, int32_t w, uint8_t* d,
                                                       int32_t nw, const Contributions& cx,
                                                       const Runs& runs, double* row) {
  for (size_t x = 0; x < static_cast<size_t>(w); ++x)
    _mm256_storeu_pd(row + x * 4, PixelToDoubles(s + x * 4));
  const size_t width = static_cast<size_t>(nw);
  size_t i = 0;
  // Four destination pixels at a time where their runs are equally long: four independent
  // chains of adds keep the multiply and add units busy.
  for (; i + 4 <= width; i += 4) {
    const int32_t count = runs.count[i];
    __m256d a0, a1, a2, a3;
    if (runs.count[i + 1] == count && runs.count[i + 2] == count && runs.count[i + 3] == count) {
      const double* p0 = row + size_t{4} * static_cast<uint32_t>(runs.start[i]);
      const double* p1 = row + size_t{4} * static_cast<uint32_t>(runs.start[i + 1]);
      const double* p2 = row + size_t{4} * static_cast<uint32_t>(runs.start[i + 2]);
      const double* p3 = row + size_t{4} * static_cast<uint32_t>(runs.start[i + 3]);
      const double* w0 = &runs.weight[static_cast<size_t>(runs.offset[i])];
      const double* w1 = &runs.weight[static_cast<size_t>(runs.offset[i + 1])];
      const double* w2 = &runs.weight[static_cast<size_t>(runs.offset[i + 2])];
      const double* w3 = &runs.weight[static_cast<size_t>(runs.offset[i + 3])];
      a0 = _mm256_setzero_pd(), a1 = a0, a2 = a0, a3 = a0;
      for (size_t n = 0; n < static_cast<size_t>(count); ++n) {
        a0 = _mm256_add_pd(a0,
                           _mm256_mul_pd(_mm256_broadcast_sd(w0 + n), _mm256_loadu_pd(p0 + 4 * n)));
        a1 = _mm256_add_pd(a1,
                           _mm256_mul_pd(_mm256_broadcast_sd(w1 + n), _mm256_loadu_pd(p1 + 4 * n)));
        a2 = _mm256_add_pd(a2,
                           _mm256_mul_pd(_mm256_broadcast_sd(w2 + n), _mm256_loadu_pd(p2 + 4 * n)));
        a3 = _mm256_add_pd(a3,
                           _mm256_mul_pd(_mm256_broadcast_sd(w3 + n), _mm256_loadu_pd(p3 + 4 * n)));
      }
    } else {
      a0 = SumRun(row, runs, i);
      a1 = SumRun(row, runs, i + 1);
      a2 = SumRun(row, runs, i + 2);
      a3 = SumRun(row, runs, i + 3);
    }
    const __m128i b0 = ToBytes4(a0, _mm256_set1_pd(cx.total[i]));
    const __m128i b1 = ToBytes4(a1, _mm256_set1_pd(cx.total[i + 1]));
    const __m128i b2 = ToBytes4(a2, _mm256_set1_pd(cx.total[i + 2]));
    const __m128i b3 = ToBytes4(a3, _mm256_set1_pd(cx.total[i + 3]));
    const __m128i all = _mm_unpacklo_epi64(_mm_unpacklo_epi32(b0, b1), _mm_unpacklo_epi32(b2, b3));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 4 * i), all);
  }
  for (; i < width; ++i) {
    const int32_t v =
        _mm_cvtsi128_si32(ToBytes4(SumRun(row, runs, i), _mm256_set1_pd(cx.total[i])));
    std::memcpy(d + 4 * i, &v, 4);
  }
}

__attribute__((target("avx2"))) void VerticalRowAvx2(const uint8_t* const* rows, const double* wt,
                                                     int32_t count, double t, uint8_t* d,
                                                     size_t len) {
  const __m256d total = _mm256_set1_pd(t);
  // Sixteen bytes (four pixels) at a time, each byte's sum held in a register across all
  // contributing rows.
  size_t k = 0;
  for (; k + 16 <= len; k += 16) {
    __m256d a0 = _mm256_setzero_pd(), a1 = a0, a2 = a0, a3 = a0;
    for (int32_t n = 0; n < count; ++n) {
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[n] + k));
      const __m256d q = _mm256_broadcast_sd(wt + n);
      a0 = _mm256_add_pd(a0, _mm256_mul_pd(q, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(b))));
      a1 = _mm256_add_pd(
          a1, _mm256_mul_pd(q, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_srli_si128(b, 4)))));
      a2 = _mm256_add_pd(
          a2, _mm256_mul_pd(q, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_srli_si128(b, 8)))));
      a3 = _mm256_add_pd(
          a3, _mm256_mul_pd(q, _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_srli_si128(b, 12)))));
    }
    const __m128i all =
        _mm_unpacklo_epi64(_mm_unpacklo_epi32(ToBytes4(a0, total), ToBytes4(a1, total)),
                           _mm_unpacklo_epi32(ToBytes4(a2, total), ToBytes4(a3, total)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d + k), all);
  }
  for (; k < len; k += 4) {
    __m256d a = _mm256_setzero_pd();
    for (int32_t n = 0; n < count; ++n)
      a = _mm256_add_pd(a, _mm256_mul_pd(_mm256_broadcast_sd(wt + n), PixelToDoubles(rows[n] + k)));
    const int32_t v = _mm_cvtsi128_si32(ToBytes4(a, total));
    std::memcpy(d + k, &v, 4);
  }
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#endif

std::atomic<bool> vectorScaling{true};

// Destination rows [y0, y1) of both passes. The horizontal pass of a source row is run when a
// destination row first needs it, into a ring of intermediate rows that holds every row one
// destination row reads at once; the intermediate picture never exists as a whole, and the
// rows it needs stay in cache between the two passes.
struct Passes {
  const uint8_t* src;
  int32_t w, h, nw;
  uint8_t* dst;
  const Contributions& cx;
  const Contributions& cy;
  bool vector;
#ifdef QP_RESAMPLE_AVX2
  const Runs* runs;
#endif

  // The most source rows one destination row spans.
  int32_t RingRows() const {
    int32_t most = 1;
    for (size_t y = 0; y < cy.first.size(); ++y) {
      const int32_t* idx = &cy.index[cy.first[y]];
      most = std::max(most, idx[cy.count[y] - 1] - idx[0] + 1);
    }
    return most;
  }

  void Run(int32_t y0, int32_t y1, int32_t ringRows) const {
    const size_t len = static_cast<size_t>(nw) * 4;
    std::vector<uint8_t> ring(static_cast<size_t>(ringRows) * len);
    std::vector<int32_t> held(static_cast<size_t>(ringRows), -1);  // source row in each slot
    std::vector<double> work(std::max(static_cast<size_t>(w) * 4, len));
    std::vector<const uint8_t*> rows;
    for (int32_t y = y0; y < y1; ++y) {
      const int32_t count = cy.count[y];
      const int32_t* idx = &cy.index[cy.first[y]];
      rows.resize(static_cast<size_t>(count));
      for (int32_t n = 0; n < count; ++n) {
        const int32_t r = idx[n];
        const size_t slot = static_cast<size_t>(r % ringRows);
        uint8_t* line = ring.data() + slot * len;
        if (held[slot] != r) {
          const uint8_t* s = src + static_cast<size_t>(r) * static_cast<size_t>(w) * 4;
#ifdef QP_RESAMPLE_AVX2
          if (vector)
            HorizontalRowAvx2(s, w, line, nw, cx, *runs, work.data());
          else
#endif
            HorizontalRowPlain(s, w, line, nw, cx, work.data());
          held[slot] = r;
        }
        rows[static_cast<size_t>(n)] = line;
      }
      const double* wt = &cy.weight[cy.first[y]];
      uint8_t* d = dst + static_cast<size_t>(y) * len;
#ifdef QP_RESAMPLE_AVX2
      if (vector) {
        VerticalRowAvx2(rows.data(), wt, count, cy.total[y], d, len);
        continue;
      }
#endif
      VerticalRowPlain(rows.data(), wt, count, cy.total[y], d, len, work.data());
    }
  }
};

}  // namespace

void SetVectorScaling(bool enabled) {
  vectorScaling.store(enabled, std::memory_order_relaxed);
}
bool VectorScaling() {
  return vectorScaling.load(std::memory_order_relaxed);
}

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
  [[maybe_unused]] bool vector = false;
#ifdef QP_RESAMPLE_AVX2
  vector = VectorScaling() && HasAvx2();
#endif
  try {
    const Contributions cx = Contribute(w, nw, filter, support);
    const Contributions cy = Contribute(h, nh, filter, support);
#ifdef QP_RESAMPLE_AVX2
    const Runs runs = vector ? ToRuns(cx, w) : Runs{};
    const Passes passes{src, w, h, nw, dst, cx, cy, vector, &runs};
#else
    const Passes passes{src, w, h, nw, dst, cx, cy, vector};
#endif
    const int32_t ringRows = passes.RingRows();
    SplitRows(nh, [&](int32_t y0, int32_t y1) { passes.Run(y0, y1, ringRows); });
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
  for (int32_t x = 0; x < nw; ++x)
    cols[x] = std::min(static_cast<int32_t>(x * static_cast<double>(fx)), w - 1);
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
  // A result beyond the 32-bit range is not written (and must not be converted).
  if (!(static_cast<double>(q) + 0.5 < 2147483648.0)) return;
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
  if (!(static_cast<double>(p) + 0.5 < 2147483648.0)) return;
  const int32_t w = static_cast<int32_t>(static_cast<double>(p) + 0.5);
  if (w <= 0) return;
  guard_ = true;
  writeWidth(std::to_string(w));
  guard_ = false;
}

}  // namespace qp
