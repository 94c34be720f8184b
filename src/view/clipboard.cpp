#include "view/clipboard.h"

#include <cstdio>
#include <cstring>

#include "ops/transparency.h"

namespace qp {

std::string ClipboardName(bool withTransparency, uint32_t number) {
  char text[64];
  std::snprintf(text, sizeof text, withTransparency ? "ClipboardWithTransparency%u" : "Clipboard%u",
                number);
  return text;
}

std::optional<ImageBuffer> CopyPicture(const ImageBuffer& shown, std::optional<PixelRect> region) {
  if (shown.empty()) return std::nullopt;
  std::optional<ImageBuffer> out;
  if (region) {
    out = ImageBuffer::Allocate(region->right - region->left, region->bottom - region->top);
    if (!out) return std::nullopt;
    for (int32_t y = region->top; y < region->bottom; ++y) {
      std::memcpy(out->row(y - region->top), shown.pixel(region->left, y), out->stride());
    }
  } else {
    out = shown.Clone();
    if (!out) return std::nullopt;
  }
  SetOpaque(*out);
  return out;
}

std::optional<ImageBuffer> FramePicture(const DisplayPixels& display) {
  if (display.data == nullptr || display.width <= 0 || display.height <= 0) return std::nullopt;
  auto out = ImageBuffer::Allocate(display.width, display.height);
  if (!out) return std::nullopt;
  for (int32_t y = 0; y < display.height; ++y) {
    const uint8_t* s = display.data + static_cast<size_t>(y) * display.stride;
    uint8_t* d = out->row(y);
    for (int32_t x = 0; x < display.width; ++x, s += 3, d += 4) {
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
      d[3] = 255;
    }
  }
  return out;
}

std::string PreparePaste(bool withTransparency, const std::string& documentPath,
                         ViewerState& state, SettingsAccess& settings, uint32_t& viewCounter) {
  if (!documentPath.empty() && ClipboardKind(documentPath) == kRealFile) {
    state.lastFilePath = documentPath;
  }
  // A stored 0 reads the same as a missing setting; the view's count then keeps the names
  // unique even where the setting cannot be written.
  const int32_t stored = settings.ReadNumber("ClipboardCounter");
  const uint32_t n = (stored != 0 ? static_cast<uint32_t>(stored) : viewCounter) + 1;
  viewCounter = n;
  settings.WriteNumber("ClipboardCounter", static_cast<int32_t>(n));
  return ClipboardName(withTransparency, n);
}

}  // namespace qp
