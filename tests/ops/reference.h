// Deliberately plain implementations written straight from the rules, used to pin the outputs
// of the optimised operations byte for byte.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/image_buffer.h"

namespace qp::ref {

inline int Grey(const uint8_t* p) { return (p[2] + 2 * p[1] + p[0]) / 4; }

// Dither on a copy of the source, greyed in place, visiting rows then columns.
inline std::vector<uint8_t> Dither(const ImageBuffer& img, int mode) {
  const int w = img.width(), h = img.height();
  std::vector<uint8_t> s(img.data(), img.data() + img.byteSize());
  std::vector<uint8_t> out(s.size(), 0);
  for (size_t i = 0; i < s.size(); i += 4) s[i] = s[i + 1] = s[i + 2] = static_cast<uint8_t>(Grey(&s[i]));
  auto get = [&](int x, int y) { return (x < 0 || y < 0 || x >= w || y >= h) ? 0 : s[(y * w + x) * 4]; };
  auto put = [&](int x, int y, int v) {
    if (x < 0 || y < 0 || x >= w || y >= h) return;
    uint8_t* p = &s[(y * w + x) * 4];
    p[0] = p[1] = p[2] = static_cast<uint8_t>(v);
  };
  auto setOut = [&](int x, int y, int k) {
    uint8_t* p = &out[(y * w + x) * 4];
    p[0] = p[1] = p[2] = static_cast<uint8_t>(k);
  };
  struct N { int dx, dy, wt; };
  std::vector<N> ns;
  int d = 16;
  if (mode == 2) { d = 32; ns = {{1,0,8},{2,0,4},{-2,1,2},{-1,1,4},{0,1,8},{1,1,4},{2,1,2}}; }
  else if (mode == 3) { d = 42; ns = {{1,0,8},{2,0,4},{-2,1,2},{-1,1,4},{0,1,8},{1,1,4},{2,1,2},{-2,2,1},{-1,2,2},{0,2,4},{1,2,2},{2,2,1}}; }
  else ns = {{1,0,7},{-1,1,3},{0,1,5},{1,1,1}};
  const int m[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int v = get(x, y);
      if (mode == 1) { setOut(x, y, m[y % 4][x % 4] < (16 * v) / 255 ? 1 : 0); continue; }
      if (mode == 4) { setOut(x, y, v > 128 ? 1 : 0); continue; }
      int e;
      if (v <= 128) { setOut(x, y, 0); e = v; } else { setOut(x, y, 1); e = v - 255; }
      for (const N& n : ns) {
        if (x + n.dx < 0 || x + n.dx >= w || y + n.dy >= h) continue;
        put(x + n.dx, y + n.dy, std::clamp(get(x + n.dx, y + n.dy) + (e * n.wt) / d, 0, 255));
      }
    }
  for (auto& b : out) if (b) b = 255;
  return out;
}

// Two-pass resampler exactly as described, one contribution list per sample.
inline std::vector<uint8_t> Resample(const ImageBuffer& img, int nw, int nh, double (*f)(double),
                                     double s) {
  const int w = img.width(), h = img.height();
  auto pass = [&](const std::vector<uint8_t>& in, int iw, int ih, int ow, int oh, bool horiz) {
    std::vector<uint8_t> out(static_cast<size_t>(ow) * oh * 4);
    const int size = horiz ? iw : ih, nsize = horiz ? ow : oh;
    const double r = static_cast<double>(nsize) / size;
    const double fw = r > 1 ? s : s / r, k = r > 1 ? 1 : r;
    for (int i = 0; i < nsize; ++i) {
      const double c = i / r;
      const int left = static_cast<int>(c + 0.5 - fw), right = static_cast<int>(left + 2 * fw);
      std::vector<std::pair<int, double>> con;
      double tot = 0;
      for (int j = left; j <= right; ++j) {
        if (j < 0 || j >= size) continue;
        const double wt = f((c - j) * k);
        if (wt == 0) continue;
        con.push_back({j, wt});
        tot += wt;
      }
      const int other = horiz ? ih : ow;
      for (int o = 0; o < other; ++o)
        for (int ch = 0; ch < 4; ++ch) {
          double v = 0;
          for (auto& [j, wt] : con) v += wt * (horiz ? in[(o * iw + j) * 4 + ch] : in[(j * iw + o) * 4 + ch]);
          int iv = static_cast<int>(v / tot + 1e-9);
          iv = iv < 0 ? 0 : (iv >= 256 ? 255 : iv);
          (horiz ? out[(o * ow + i) * 4 + ch] : out[(i * ow + o) * 4 + ch]) = static_cast<uint8_t>(iv);
        }
    }
    return out;
  };
  std::vector<uint8_t> src(img.data(), img.data() + img.byteSize());
  auto mid = pass(src, w, h, nw, h, true);
  return pass(mid, nw, h, nw, nh, false);
}

// Display scaler with the per-pixel product weights.
inline std::vector<uint8_t> Display(const ImageBuffer& img, int nw, int nh) {
  const int w = img.width(), h = img.height();
  const uint8_t* s = img.data();
  std::vector<uint8_t> out(static_cast<size_t>(nw) * nh * 4, 0);
  if (w == 2 * nw && h == 2 * nh) {
    for (int y = 0; y < nh; ++y)
      for (int x = 0; x < nw; ++x)
        for (int c = 0; c < 4; ++c) {
          auto at = [&](int xx, int yy) { return s[(yy * w + xx) * 4 + c]; };
          out[(y * nw + x) * 4 + c] = static_cast<uint8_t>(
              (at(2 * x, 2 * y) + at(2 * x + 1, 2 * y) + at(2 * x, 2 * y + 1) + at(2 * x + 1, 2 * y + 1)) / 4);
        }
    return out;
  }
  const float e = (static_cast<float>(h) / nh + 1.0f) * (static_cast<float>(w) / nw + 1.0f) *
                  16777216.0f / 4294967040.0f;
  const int shift = e > 1 ? std::min(15, static_cast<int>(std::ceil(std::log2(e)))) : 0;
  const float xs = static_cast<float>(w * 256) / nw, ys = static_cast<float>(h * 256) / nh;
  for (int y = 0; y < nh; ++y)
    for (int x = 0; x < nw; ++x) {
      uint8_t* d = &out[(y * nw + x) * 4];
      if (w < nw && h < nh) {
        const int sx = std::min(static_cast<int>(x * xs), w * 256 - 257);
        const int sy = std::min(static_cast<int>(y * ys), h * 256 - 257);
        const unsigned fx = sx % 256, fy = sy % 256;
        const int px = sx / 256, py = sy / 256;
        const unsigned wts[4] = {((256 - fy) * (256 - fx)) >> shift, ((256 - fy) * fx) >> shift,
                                 (fy * (256 - fx)) >> shift, (fy * fx) >> shift};
        for (int c = 0; c < 3; ++c) {
          const unsigned v = wts[0] * s[(py * w + px) * 4 + c] + wts[1] * s[(py * w + px + 1) * 4 + c] +
                             wts[2] * s[((py + 1) * w + px) * 4 + c] + wts[3] * s[((py + 1) * w + px + 1) * 4 + c];
          d[c] = static_cast<uint8_t>(v / 65536);
        }
        continue;
      }
      auto span = [](int i, float step, bool enlarge, int size, int& a, int& b, bool& lim) {
        a = static_cast<int>(i * step);
        b = enlarge ? a + 256 : static_cast<int>((i + 1) * step);
        lim = b > size * 256 - 1;
        if (lim) b = size * 256 - 1;
      };
      auto weight = [](int p, int a, int b, bool lim) -> unsigned {
        if (a / 256 == b / 256) return 256;
        if (p == a / 256) return 256 - a % 256;
        if (p == b / 256) return lim ? 255 : b % 256;
        return 256;
      };
      int x0, x1, y0, y1;
      bool lx, ly;
      span(x, xs, w < nw, w, x0, x1, lx);
      span(y, ys, h < nh, h, y0, y1, ly);
      unsigned sum[3] = {0, 0, 0}, tot = 0;
      for (int py = y0 / 256; py <= y1 / 256; ++py)
        for (int px = x0 / 256; px <= x1 / 256; ++px) {
          const unsigned wt = (weight(py, y0, y1, ly) * weight(px, x0, x1, lx)) >> shift;
          tot += wt;
          for (int c = 0; c < 3; ++c) sum[c] += wt * s[(py * w + px) * 4 + c];
        }
      for (int c = 0; c < 3; ++c) d[c] = tot ? static_cast<uint8_t>(sum[c] / tot) : 0;
    }
  return out;
}

}  // namespace qp::ref
