// The fixed-point scaler that builds the on-screen copy for zooms below 2: exact halving,
// bilinear enlarging, or area averaging with weights in 1/256 pixel.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "ops/display_scale.h"
#include "ops/resample.h"
#include "ops/split_rows.h"

namespace qp {
namespace {

// Span tables of one axis: for destination sample i, source samples first[i] .. first[i] +
// count[i] - 1 with the weights at weight[offset[i]...]. Kept between calls and grown only when
// a wider destination needs more room.
struct SpanTable {
  std::vector<int32_t> first, count, offset;
  std::vector<uint32_t> weight;
};

void BuildSpans(SpanTable& t, int32_t size, int32_t newSize, float step) {
  if (t.first.size() < static_cast<size_t>(newSize)) {
    t.first.resize(newSize);
    t.count.resize(newSize);
    t.offset.resize(newSize);
  }
  t.weight.clear();
  const int32_t limit = size * 256 - 1;
  for (int32_t i = 0; i < newSize; ++i) {
    const int32_t s0 = std::min(static_cast<int32_t>(static_cast<float>(i) * step), limit);
    int32_t s1 = size < newSize ? s0 + 256 : static_cast<int32_t>(static_cast<float>(i + 1) * step);
    bool limited = false;
    if (s1 > limit) {
      s1 = limit;
      limited = true;
    }
    const int32_t p0 = s0 / 256, p1 = s1 / 256;
    t.first[i] = p0;
    t.count[i] = p1 - p0 + 1;
    t.offset[i] = static_cast<int32_t>(t.weight.size());
    if (p0 == p1) {
      t.weight.push_back(256);
      continue;
    }
    t.weight.push_back(static_cast<uint32_t>(256 - s0 % 256));
    for (int32_t p = p0 + 1; p < p1; ++p) t.weight.push_back(256);
    t.weight.push_back(limited ? 255u : static_cast<uint32_t>(s1 % 256));
  }
}

SpanTable& ColumnTable() {
  static thread_local SpanTable table;
  return table;
}

int32_t PrecisionShift(int32_t w, int32_t h, int32_t nw, int32_t nh) {
  const float e = (static_cast<float>(h) / static_cast<float>(nh) + 1.0f) *
                  (static_cast<float>(w) / static_cast<float>(nw) + 1.0f) * 16777216.0f /
                  4294967040.0f;
  if (e <= 1.0f) return 0;
  return std::min(15, static_cast<int32_t>(std::ceil(std::log2(e))));
}

void Halve(const uint8_t* src, int32_t w, uint8_t* dst, int32_t nw, int32_t nh) {
  SplitRows(nh, [&](int32_t y0, int32_t y1) {
    for (int32_t y = y0; y < y1; ++y) {
      const uint8_t* a = src + static_cast<size_t>(2 * y) * w * 4;
      const uint8_t* b = a + static_cast<size_t>(w) * 4;
      uint8_t* d = dst + static_cast<size_t>(y) * nw * 4;
      for (int32_t x = 0; x < nw * 4; x += 4) {
        const int32_t sx = 2 * x;
        for (int c = 0; c < 4; ++c) {
          d[x + c] =
              static_cast<uint8_t>((a[sx + c] + a[sx + 4 + c] + b[sx + c] + b[sx + 4 + c]) / 4);
        }
      }
    }
  });
}

void Bilinear(const uint8_t* src, int32_t w, int32_t h, uint8_t* dst, int32_t nw, int32_t nh,
              float xs, float ys, int32_t shift) {
  SpanTable& t = ColumnTable();
  if (t.first.size() < static_cast<size_t>(nw)) {
    t.first.resize(nw);
    t.count.resize(nw);
    t.offset.resize(nw);
  }
  // first = source column in 8.8, count = the clamped right neighbour.
  for (int32_t x = 0; x < nw; ++x) {
    const int32_t sx =
        std::max(0, std::min(static_cast<int32_t>(static_cast<float>(x) * xs), w * 256 - 257));
    t.first[x] = sx;
    t.count[x] = std::min(sx / 256 + 1, w - 1);
  }
  SplitRows(nh, [&](int32_t y0, int32_t y1) {
    for (int32_t y = y0; y < y1; ++y) {
      const int32_t sy =
          std::max(0, std::min(static_cast<int32_t>(static_cast<float>(y) * ys), h * 256 - 257));
      const uint32_t fy = static_cast<uint32_t>(sy % 256);
      const uint8_t* r0 = src + static_cast<size_t>(sy / 256) * w * 4;
      const uint8_t* r1 = src + static_cast<size_t>(std::min(sy / 256 + 1, h - 1)) * w * 4;
      uint8_t* d = dst + static_cast<size_t>(y) * nw * 4;
      for (int32_t x = 0; x < nw; ++x) {
        const int32_t sx = t.first[x];
        const uint32_t fx = static_cast<uint32_t>(sx % 256);
        const size_t c0 = static_cast<size_t>(sx / 256) * 4,
                     c1 = static_cast<size_t>(t.count[x]) * 4;
        const uint32_t w00 = ((256 - fy) * (256 - fx)) >> shift, w01 = ((256 - fy) * fx) >> shift;
        const uint32_t w10 = (fy * (256 - fx)) >> shift, w11 = (fy * fx) >> shift;
        for (int c = 0; c < 3; ++c) {
          d[x * 4 + c] = static_cast<uint8_t>(
              (w00 * r0[c0 + c] + w01 * r0[c1 + c] + w10 * r1[c0 + c] + w11 * r1[c1 + c]) / 65536);
        }
        d[x * 4 + 3] = 0;
      }
    }
  });
}

// Area averaging. With no precision shift the weight of a source pixel is row weight x column
// weight exactly, so the sums factor into per-row column sums that are then weighted by row;
// this is the same integer as the sum of products. With a shift each product is shifted on its
// own and the direct sum is used.
void Area(const uint8_t* src, int32_t w, int32_t h, uint8_t* dst, int32_t nw, int32_t nh, float xs,
          float ys, int32_t shift) {
  SpanTable& cols = ColumnTable();
  BuildSpans(cols, w, nw, xs);
  SpanTable rows;
  BuildSpans(rows, h, nh, ys);
  std::vector<uint32_t> colTotal(nw);
  for (int32_t x = 0; x < nw; ++x) {
    uint32_t s = 0;
    for (int32_t k = 0; k < cols.count[x]; ++k) s += cols.weight[cols.offset[x] + k];
    colTotal[x] = s;
  }
  SplitRows(nh, [&](int32_t y0, int32_t y1) {
    std::vector<uint32_t> acc(static_cast<size_t>(nw) * 3), line(static_cast<size_t>(nw) * 3);
    int32_t lineRow = -1;
    for (int32_t y = y0; y < y1; ++y) {
      std::fill(acc.begin(), acc.end(), 0u);
      uint32_t total = 0;
      for (int32_t k = 0; k < rows.count[y]; ++k) {
        const int32_t sy = rows.first[y] + k;
        const uint32_t rw = rows.weight[rows.offset[y] + k];
        const uint8_t* s = src + static_cast<size_t>(sy) * w * 4;
        if (shift == 0) {
          if (lineRow != sy) {
            for (int32_t x = 0; x < nw; ++x) {
              const uint8_t* p = s + static_cast<size_t>(cols.first[x]) * 4;
              const uint32_t* cw = &cols.weight[cols.offset[x]];
              uint32_t b = 0, g = 0, r = 0;
              for (int32_t n = 0; n < cols.count[x]; ++n, p += 4) {
                b += cw[n] * p[0];
                g += cw[n] * p[1];
                r += cw[n] * p[2];
              }
              line[x * 3] = b;
              line[x * 3 + 1] = g;
              line[x * 3 + 2] = r;
            }
            lineRow = sy;
          }
          for (size_t i = 0; i < acc.size(); ++i) acc[i] += rw * line[i];
        } else {
          for (int32_t x = 0; x < nw; ++x) {
            const uint8_t* p = s + static_cast<size_t>(cols.first[x]) * 4;
            const uint32_t* cw = &cols.weight[cols.offset[x]];
            for (int32_t n = 0; n < cols.count[x]; ++n, p += 4) {
              const uint32_t wt = (rw * cw[n]) >> shift;
              acc[x * 3] += wt * p[0];
              acc[x * 3 + 1] += wt * p[1];
              acc[x * 3 + 2] += wt * p[2];
            }
          }
        }
        if (shift == 0) total += rw;
      }
      uint8_t* d = dst + static_cast<size_t>(y) * nw * 4;
      for (int32_t x = 0; x < nw; ++x) {
        uint32_t sum;
        if (shift == 0) {
          sum = total * colTotal[x];
        } else {
          sum = 0;
          for (int32_t k = 0; k < rows.count[y]; ++k)
            for (int32_t n = 0; n < cols.count[x]; ++n)
              sum += (rows.weight[rows.offset[y] + k] * cols.weight[cols.offset[x] + n]) >> shift;
        }
        for (int c = 0; c < 3; ++c)
          d[x * 4 + c] = sum == 0 ? 0 : static_cast<uint8_t>(acc[x * 3 + c] / sum);
        d[x * 4 + 3] = 0;
      }
    }
  });
}

#if defined(__x86_64__)
// Area averaging without a precision shift on x86 processors with AVX2. The weights factor
// (pixel weight = row weight x column weight, sums in 32-bit integers that wrap the same way
// in any order), so each destination row first sums its source rows column by column, then
// each destination pixel sums its span of that row: the same integers as Area, so the same
// bytes, with the source read in long straight runs the vector unit takes eight sums at a time.
//
// The division of each channel sum by the pixel's weight total is done in double: for 32-bit
// integers a and b the rounded quotient a / b never reaches the next whole number, so
// truncating it gives the integer quotient exactly.
__attribute__((target("avx2"))) void AreaRowsAvx2(const SpanTable& cols, const SpanTable& rows,
                                                  const std::vector<uint32_t>& colTotal,
                                                  const uint8_t* src, int32_t w, uint8_t* dst,
                                                  int32_t nw, int32_t y0, int32_t y1) {
  const size_t lanes = static_cast<size_t>(w) * 4;  // one 32-bit sum per source byte
  std::vector<uint32_t> column(lanes);
  std::vector<const uint8_t*> line;
  const __m256d bias = _mm256_set1_pd(2147483648.0);
  const __m128i flip = _mm_set1_epi32(INT32_MIN);
  const __m128i lowBytes =
      _mm_setr_epi8(0, 4, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  for (int32_t y = y0; y < y1; ++y) {
    const int32_t count = rows.count[y];
    const uint32_t* rw = &rows.weight[rows.offset[y]];
    line.resize(static_cast<size_t>(count));
    uint32_t total = 0;
    for (int32_t k = 0; k < count; ++k) {
      line[static_cast<size_t>(k)] = src + static_cast<size_t>(rows.first[y] + k) * lanes;
      total += rw[k];
    }
    // Column sums over the rows: 32 bytes (eight pixels) at a time in four registers, two rows
    // at a time. The bytes of the two rows are interleaved as 16-bit pairs and multiplied by
    // the pair of row weights with one multiply-add (products up to 256 x 255, exact). An odd
    // last row pairs with itself at weight 0.
    size_t i = 0;
    for (; i + 32 <= lanes; i += 32) {
      __m256i a0 = _mm256_setzero_si256(), a1 = a0, a2 = a0, a3 = a0;
      for (int32_t k = 0; k < count; k += 2) {
        const bool pair = k + 1 < count;
        const uint8_t* p = line[static_cast<size_t>(k)] + i;
        const uint8_t* r = pair ? line[static_cast<size_t>(k + 1)] + i : p;
        const uint32_t weights = rw[k] | (pair ? rw[k + 1] << 16 : 0u);
        const __m256i q = _mm256_set1_epi32(static_cast<int32_t>(weights));
        const __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i p1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        const __m128i r0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r));
        const __m128i r1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r + 16));
        a0 = _mm256_add_epi32(
            a0, _mm256_madd_epi16(_mm256_cvtepu8_epi16(_mm_unpacklo_epi8(p0, r0)), q));
        a1 = _mm256_add_epi32(
            a1, _mm256_madd_epi16(_mm256_cvtepu8_epi16(_mm_unpackhi_epi8(p0, r0)), q));
        a2 = _mm256_add_epi32(
            a2, _mm256_madd_epi16(_mm256_cvtepu8_epi16(_mm_unpacklo_epi8(p1, r1)), q));
        a3 = _mm256_add_epi32(
            a3, _mm256_madd_epi16(_mm256_cvtepu8_epi16(_mm_unpackhi_epi8(p1, r1)), q));
      }
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(&column[i]), a0);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(&column[i + 8]), a1);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(&column[i + 16]), a2);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(&column[i + 24]), a3);
    }
    for (; i < lanes; ++i) {
      uint32_t v = 0;
      for (int32_t k = 0; k < count; ++k) v += rw[k] * line[static_cast<size_t>(k)][i];
      column[i] = v;
    }
    // Each destination pixel: its span of column sums, four channels in one register.
    uint8_t* d = dst + static_cast<size_t>(y) * static_cast<size_t>(nw) * 4;
    for (int32_t x = 0; x < nw; ++x) {
      const uint32_t* cw = &cols.weight[cols.offset[x]];
      const uint32_t* c = &column[static_cast<size_t>(cols.first[x]) * 4];
      __m128i a = _mm_setzero_si128();
      for (int32_t n = 0; n < cols.count[x]; ++n, c += 4)
        a = _mm_add_epi32(a, _mm_mullo_epi32(_mm_set1_epi32(static_cast<int32_t>(cw[n])),
                                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(c))));
      const uint32_t sum = total * colTotal[x];
      uint32_t out = 0;  // alpha 0; a zero total leaves the colours 0 too
      if (sum != 0) {
        // Unsigned 32-bit to double: flip the top bit, convert as signed, add 2^31 back.
        const __m256d num = _mm256_add_pd(_mm256_cvtepi32_pd(_mm_xor_si128(a, flip)), bias);
        const __m256d q =
            _mm256_floor_pd(_mm256_div_pd(num, _mm256_set1_pd(static_cast<double>(sum))));
        // And back: q - 2^31 fits a signed 32-bit integer exactly; flip the top bit again.
        const __m128i u = _mm_xor_si128(_mm256_cvttpd_epi32(_mm256_sub_pd(q, bias)), flip);
        // The low byte of blue, green and red, as the cast to 8 bits takes them.
        out = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi8(u, lowBytes)));
      }
      std::memcpy(d + static_cast<size_t>(x) * 4, &out, 4);
    }
  }
}

void AreaAvx2(const uint8_t* src, int32_t w, int32_t h, uint8_t* dst, int32_t nw, int32_t nh,
              float xs, float ys) {
  SpanTable& cols = ColumnTable();
  BuildSpans(cols, w, nw, xs);
  SpanTable rows;
  BuildSpans(rows, h, nh, ys);
  std::vector<uint32_t> colTotal(static_cast<size_t>(nw));
  for (int32_t x = 0; x < nw; ++x) {
    uint32_t total = 0;
    for (int32_t n = 0; n < cols.count[x]; ++n) total += cols.weight[cols.offset[x] + n];
    colTotal[x] = total;
  }
  SplitRows(nh, [&](int32_t y0, int32_t y1) {
    AreaRowsAvx2(cols, rows, colTotal, src, w, dst, nw, y0, y1);
  });
}

bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#endif

}  // namespace

std::optional<ImageBuffer> DisplayScale(const uint8_t* src, int32_t w, int32_t h, int32_t nw,
                                        int32_t nh) {
  if (!src || w < 1 || h < 1 || nw < 1 || nh < 1) return std::nullopt;
  auto out = ImageBuffer::Allocate(nw, nh);
  if (!out) return std::nullopt;
  try {
    if (w == 2 * nw && h == 2 * nh) {
      Halve(src, w, out->data(), nw, nh);
      return out;
    }
    const int32_t shift = PrecisionShift(w, h, nw, nh);
    const float xs = static_cast<float>(w * 256) / static_cast<float>(nw);
    const float ys = static_cast<float>(h * 256) / static_cast<float>(nh);
    if (w < nw && h < nh) {
      Bilinear(src, w, h, out->data(), nw, nh, xs, ys, shift);
    } else {
#if defined(__x86_64__)
      if (shift == 0 && VectorScaling() && HasAvx2()) {
        AreaAvx2(src, w, h, out->data(), nw, nh, xs, ys);
        return out;
      }
#endif
      Area(src, w, h, out->data(), nw, nh, xs, ys, shift);
    }
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  return out;
}

}  // namespace qp
