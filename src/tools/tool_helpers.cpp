// Shared by the tool commands: their libraries, the part of the picture they work on, the
// grey plane the barcode reader takes.
#include <algorithm>
#include <cstring>

#include "ops/colour.h"
#include "tools/tools.h"

namespace qp {

RuntimeLibrary OpenToolLibrary(const std::string& name) {
  return name.find('/') != std::string::npos ? RuntimeLibrary(name) : OpenComponentLibrary(name);
}

std::optional<ImageBuffer> CopyRegion(const ImageBuffer& img, std::optional<PixelRect> selection) {
  if (img.empty()) return std::nullopt;
  PixelRect r{0, 0, img.width(), img.height()};
  if (selection) {
    const PixelRect clipped{std::max(selection->left, 0), std::max(selection->top, 0),
                            std::min(selection->right, img.width()),
                            std::min(selection->bottom, img.height())};
    if (!clipped.empty()) r = clipped;
  }
  const int32_t w = r.right - r.left;
  const int32_t h = r.bottom - r.top;
  std::optional<ImageBuffer> out = ImageBuffer::Allocate(w, h);
  if (!out) return std::nullopt;
  for (int32_t y = 0; y < h; ++y)
    std::memcpy(out->row(y), img.pixel(r.left, r.top + y), out->stride());
  return out;
}

std::optional<ByteBlock> BlackWhiteGreyPlane(ImageBuffer& img, bool invert) {
  if (img.empty()) return std::nullopt;
  ByteBlock plane{PixelBlock(static_cast<uint8_t*>(std::malloc(img.pixelCount()))),
                  img.pixelCount()};
  if (!plane.bytes) return std::nullopt;
  uint8_t* p = img.data();
  if (invert) {
    for (size_t i = 0; i < img.pixelCount(); ++i, p += 4) {
      p[0] = static_cast<uint8_t>(255 - p[0]);
      p[1] = static_cast<uint8_t>(255 - p[1]);
      p[2] = static_cast<uint8_t>(255 - p[2]);
    }
  }
  // Black and white as the colour command makes it, then its grey level: 255 or 0.
  const int32_t threshold = BlackWhiteThreshold(img);
  p = img.data();
  uint8_t* g = plane.data();
  for (size_t i = 0; i < img.pixelCount(); ++i, p += 4) g[i] = GreyLevel(p) >= threshold ? 255 : 0;
  return plane;
}

}  // namespace qp
