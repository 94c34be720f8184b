// Tools that edit or show the alpha bytes.
#include <vector>

#include "ops/transparency.h"

namespace qp {
namespace {

inline uint32_t Rgb(const uint8_t* p) { return LoadPixel(p) & 0xFFFFFFu; }

}  // namespace

uint32_t BackgroundColour(const ImageBuffer& img) {
  if (img.empty()) return 0;
  const int32_t w = img.width(), h = img.height();
  const uint32_t tl = Rgb(img.pixel(0, 0)), tr = Rgb(img.pixel(w - 1, 0));
  const uint32_t bl = Rgb(img.pixel(0, h - 1)), br = Rgb(img.pixel(w - 1, h - 1));
  if (tr == bl && tl != br) return tr;
  if (tr == br && tl != bl) return tr;
  if (bl == br && tl != tr) return bl;
  return tl;
}

bool ToggleTransparency(ImageBuffer& img, ViewerState& state) {
  if (!HasMeaningfulAlpha(img)) return false;
  uint8_t* p = img.data();
  for (size_t i = 0, n = img.pixelCount(); i < n; ++i, p += 4) {
    if (p[3] != 0) continue;
    p[0] = static_cast<uint8_t>(255 - p[0]);
    p[1] = static_cast<uint8_t>(255 - p[1]);
    p[2] = static_cast<uint8_t>(255 - p[2]);
  }
  state.vectorSource = 0;
  return true;
}

void ViewTransparencyOnly(ImageBuffer& img, UndoSnapshot& undo, ViewerState& state) {
  undo.TakeCopy(img);
  if (img.empty()) return;
  uint8_t* p = img.data();
  for (size_t i = 0, n = img.pixelCount(); i < n; ++i, p += 4) {
    p[0] = p[1] = p[2] = p[3];
    p[3] = 255;
  }
  state.vectorSource = 0;
}

void SetOpaque(ImageBuffer& img) {
  if (img.empty()) return;
  uint8_t* p = img.data();
  for (size_t i = 0, n = img.pixelCount(); i < n; ++i) p[i * 4 + 3] = 255;
}

void RemoveTransparency(ImageBuffer& img, UndoSnapshot& undo, ViewerState& state) {
  if (img.empty()) return;
  undo.TakeCopy(img);
  SetOpaque(img);
  state.vectorSource = 0;
}

void SetToBackground(ImageBuffer& img, UndoSnapshot& undo, ViewerState& state) {
  if (img.empty()) return;
  RemoveTransparency(img, undo, state);
  const uint32_t k = BackgroundColour(img);
  uint8_t* p = img.data();
  for (size_t i = 0, n = img.pixelCount(); i < n; ++i, p += 4) p[3] = Rgb(p) == k ? 0 : 255;
}

// Transparency spreads from the matching border pixels through 4-connected matching pixels of
// the interior (rows 1..H-2, columns 1..W-2). Repeating raster passes until nothing changes
// reaches exactly this set; a flood fill from the border finds it in one visit per pixel.
//
// Small pictures that stop after the border still had their alpha rewritten, so the vector
// source is dropped for them too: re-rendering the file at the next zoom would lose the edit.
void FillFromBackground(ImageBuffer& img, UndoSnapshot& undo, ViewerState& state) {
  if (img.empty()) return;
  RemoveTransparency(img, undo, state);
  const int32_t w = img.width(), h = img.height();
  const uint32_t k = BackgroundColour(img);
  auto mark = [&](int32_t x, int32_t y) {
    uint8_t* p = img.pixel(x, y);
    p[3] = Rgb(p) == k ? 0 : 255;
  };
  for (int32_t x = 0; x < w; ++x) {
    mark(x, 0);
    mark(x, h - 1);
  }
  if (h - 2 <= 1) return;
  for (int32_t y = 1; y < h - 1; ++y) {
    mark(0, y);
    mark(w - 1, y);
  }
  if (w - 2 <= 1) return;
  auto inner = [&](int32_t x, int32_t y) { return x >= 1 && x <= w - 2 && y >= 1 && y <= h - 2; };
  auto matchesOpaque = [&](int32_t x, int32_t y) {
    const uint8_t* p = img.pixel(x, y);
    return p[3] != 0 && Rgb(p) == k;
  };
  std::vector<uint32_t> stack;
  auto push = [&](int32_t x, int32_t y) {
    if (inner(x, y) && matchesOpaque(x, y)) {
      img.pixel(x, y)[3] = 0;
      stack.push_back(static_cast<uint32_t>(y) * static_cast<uint32_t>(w) + static_cast<uint32_t>(x));
    }
  };
  // Seeds: interior pixels next to a transparent border pixel.
  for (int32_t x = 1; x <= w - 2; ++x) {
    if (img.pixel(x, 0)[3] == 0) push(x, 1);
    if (img.pixel(x, h - 1)[3] == 0) push(x, h - 2);
  }
  for (int32_t y = 1; y <= h - 2; ++y) {
    if (img.pixel(0, y)[3] == 0) push(1, y);
    if (img.pixel(w - 1, y)[3] == 0) push(w - 2, y);
  }
  while (!stack.empty()) {
    const uint32_t i = stack.back();
    stack.pop_back();
    const int32_t x = static_cast<int32_t>(i % static_cast<uint32_t>(w));
    const int32_t y = static_cast<int32_t>(i / static_cast<uint32_t>(w));
    push(x - 1, y);
    push(x + 1, y);
    push(x, y - 1);
    push(x, y + 1);
  }
}

const char* LoadTransparencyFromImage(ImageBuffer& img, std::optional<ImageBuffer> loaded,
                                      UndoSnapshot& undo, ViewerState& state) {
  if (!loaded || loaded->empty()) return kCouldNotLoadImage;
  if (loaded->width() != img.width() || loaded->height() != img.height()) return kDimensionsDoNotMatch;
  if (img.empty()) return nullptr;
  RemoveTransparency(img, undo, state);
  uint8_t* p = img.data();
  const uint8_t* m = loaded->data();
  for (size_t i = 0, n = img.pixelCount(); i < n; ++i) p[i * 4 + 3] = m[i * 4];
  state.vectorSource = 0;
  return nullptr;
}

}  // namespace qp
