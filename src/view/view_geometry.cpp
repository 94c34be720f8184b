#include "view/view_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/paths.h"
#include "ops/split_rows.h"

namespace qp {

FitFactors ReadFitFactors(SettingsAccess& settings) {
  FitFactors f;
  f.width = FitQuotient(settings.ReadNumber("FitWidthFactor"), 0.97);
  f.height = FitQuotient(settings.ReadNumber("FitHeightFactor"), 0.9);
  return f;
}

float FitZoom(float zoom, int32_t w, int32_t h, bool fullScreen, int32_t aw, int32_t ah,
              FitFactors factors) {
  if (zoom >= 0 || w <= 0 || h <= 0) return zoom;
  float z;
  if (zoom < -2.5f) {
    z = static_cast<float>(static_cast<double>(ah) / h);
    if (!fullScreen) z = static_cast<float>(z * factors.height);
    else if (w > h) z = z * 0.97f;
  } else if (zoom < -1.5f) {
    z = static_cast<float>(static_cast<double>(aw) / w);
    if (!fullScreen) z = static_cast<float>(z * factors.width);
    else if (h > w) z = z * 0.97f;
  } else {
    float zw = static_cast<float>(static_cast<double>(aw) / w);
    float zh = static_cast<float>(static_cast<double>(ah) / h);
    if (!fullScreen) {
      zw = static_cast<float>(zw * factors.width);
      zh = static_cast<float>(zh * factors.height);
    }
    z = zh > zw ? zw : zh;
  }
  return z;
}

// Zooming has no upper bound, so a side can leave the 32-bit range; it saturates there and the
// scaler then refuses the size like any other picture too large to allocate.
static int32_t ScaledSide(int32_t side, double z) {
  const double v = side * z + 0.5;
  if (!(v < 2147483647.0)) return INT32_MAX;
  if (v < 0) return 0;
  return static_cast<int32_t>(v);
}

Size ScaledSize(int32_t w, int32_t h, float z) {
  const double dz = z;
  return Size{ScaledSide(w, dz), ScaledSide(h, dz)};
}

float ClampZoom(float z, int32_t w, int32_t h) {
  if (w <= 0 || h <= 0 || !(z > 0)) return z;
  // At least one pixel on the shorter side: below that the scaled size would round to 0.
  const double shortSide = std::min(w, h);
  if (static_cast<double>(z) * shortSide < 1.0) {
    z = static_cast<float>(1.0 / shortSide);
    while (static_cast<double>(z) * shortSide < 1.0) z = std::nextafter(z, 2.0f);
    return z;
  }
  auto fits = [w, h](float zoom) {
    const Size s = ScaledSize(w, h, zoom);
    return PictureBytes((int64_t{s.width} + 3) / 4 * 4, s.height).has_value();
  };
  if (fits(z)) return z;
  // The largest zoom whose padded display copy stays within the limits.
  const double longSide = std::max(w, h);
  double top = std::min(static_cast<double>(kMaxSide) / longSide,
                        std::sqrt(static_cast<double>(kMaxPixels) / (static_cast<double>(w) * h)));
  z = static_cast<float>(std::min(top, static_cast<double>(z)));
  while (!fits(z)) z = static_cast<float>(z * (1.0 - 1e-6));
  return z;
}

std::optional<DisplayBitmap> MakeDisplayBitmap(const uint8_t* bgra, int32_t w, int32_t h) {
  if (bgra == nullptr || w <= 0 || h <= 0) return std::nullopt;
  const int64_t dw = (static_cast<int64_t>(w) + 3) / 4 * 4;
  if (!PictureBytes(dw, h)) return std::nullopt;
  DisplayBitmap out;
  out.width = static_cast<int32_t>(dw);
  out.height = h;
  out.scaledWidth = w;
  try {
    out.bits.resize(static_cast<size_t>(dw) * 3 * static_cast<size_t>(h));
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* s = bgra + static_cast<size_t>(y) * static_cast<size_t>(w) * 4;
    uint8_t* d = out.bits.data() + static_cast<size_t>(y) * out.stride();
    for (int32_t x = 0; x < w; ++x, s += 4, d += 3) {
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
    }
    // The padding columns repeat the row's last pixel.
    for (int64_t x = w; x < dw; ++x, d += 3) std::memcpy(d, d - 3, 3);
  }
  return out;
}

std::string SizePaneText(int64_t bytes) {
  char buf[64];
  // Sizes are kept in 64 bits so files above 4 GiB do not wrap.
  if (bytes <= 1024) std::snprintf(buf, sizeof buf, "%u B", static_cast<unsigned>(bytes < 0 ? 0 : bytes));
  else if (bytes <= 1048576) std::snprintf(buf, sizeof buf, "%.2f K", static_cast<double>(bytes) / 1024.0);
  else std::snprintf(buf, sizeof buf, "%.2f M", static_cast<double>(bytes) / 1048576.0);
  return buf;
}

std::string ZoomPaneText(float zoom) {
  char buf[32];
  // Zoom steps are bounded, but a value outside the unsigned range must not reach the cast.
  const double percent = static_cast<double>(zoom) * 100 + 0.5;
  const unsigned shown = percent >= 4294967295.0 ? 4294967295u
                         : percent > 0           ? static_cast<unsigned>(percent)
                                                 : 0u;
  std::snprintf(buf, sizeof buf, "Z:%u%%", shown);
  return buf;
}

std::string DimensionsText(int32_t w, int32_t h) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%u x %u", static_cast<unsigned>(w), static_cast<unsigned>(h));
  return buf;
}

std::string PositionText(int32_t position, int32_t count) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d/%d", position, count);
  return buf;
}

void ToScreenColours(DisplayBitmap& bitmap, const ColourProfile* picture, const ColourProfile* screen) {
  // The rows are packed (the width is a multiple of 4); the two halves of the bitmap are
  // converted at once on two threads (a screen-sized bitmap takes tens of milliseconds).
  if (SameColours(picture, screen)) return;
  SplitRows(bitmap.height, [&](int32_t begin, int32_t end) {
    ConvertBgr(bitmap.bits.data() + static_cast<size_t>(begin) * bitmap.stride(),
               static_cast<size_t>(end - begin) * static_cast<size_t>(bitmap.width), picture,
               screen);
  });
}

std::string WindowTitle(const std::string& documentPath) {
  if (documentPath.empty()) return kProgramTitle;
  return std::string(FileNameOf(documentPath)) + " - " + kProgramTitle;
}

}  // namespace qp
