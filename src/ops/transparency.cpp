// Tools that edit or show the alpha bytes.
#include <new>
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

namespace {

// Transparency spreads from the matching border pixels through 4-connected matching pixels of
// the interior (rows 1..H-2, columns 1..W-2). Repeating raster passes until nothing changes
// reaches exactly this set; a flood fill from the border finds it in one visit per pixel.
// Works on an alpha plane of its own (every pixel starts opaque) and may throw std::bad_alloc.
void FillAlphaFromBorder(const ImageBuffer& img, uint32_t k, std::vector<uint8_t>& alpha) {
  const int32_t w = img.width(), h = img.height();
  auto at = [w](int32_t x, int32_t y) {
    return static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x);
  };
  auto mark = [&](int32_t x, int32_t y) { alpha[at(x, y)] = Rgb(img.pixel(x, y)) == k ? 0 : 255; };
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
  std::vector<uint32_t> stack;
  auto push = [&](int32_t x, int32_t y) {
    if (!inner(x, y) || alpha[at(x, y)] == 0 || Rgb(img.pixel(x, y)) != k) return;
    alpha[at(x, y)] = 0;
    stack.push_back(static_cast<uint32_t>(at(x, y)));
  };
  // Seeds: interior pixels next to a transparent border pixel.
  for (int32_t x = 1; x <= w - 2; ++x) {
    if (alpha[at(x, 0)] == 0) push(x, 1);
    if (alpha[at(x, h - 1)] == 0) push(x, h - 2);
  }
  for (int32_t y = 1; y <= h - 2; ++y) {
    if (alpha[at(0, y)] == 0) push(1, y);
    if (alpha[at(w - 1, y)] == 0) push(w - 2, y);
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

}  // namespace

// The new alpha is worked out before anything is touched, so a shortage of memory for the
// plane or the fill's work stack leaves the picture and the undo snapshot as they were.
//
// Small pictures that stop after the border still had their alpha rewritten, so the vector
// source is dropped for them too: re-rendering the file at the next zoom would lose the edit.
bool FillFromBackground(ImageBuffer& img, UndoSnapshot& undo, ViewerState& state) {
  if (img.empty()) return false;
  std::vector<uint8_t> alpha;
  try {
    alpha.assign(img.pixelCount(), 255);
    FillAlphaFromBorder(img, BackgroundColour(img), alpha);
  } catch (const std::bad_alloc&) {
    return false;
  }
  RemoveTransparency(img, undo, state);
  uint8_t* p = img.data();
  for (size_t i = 0, n = alpha.size(); i < n; ++i) p[i * 4 + 3] = alpha[i];
  return true;
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
