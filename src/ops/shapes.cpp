// Borders, joins, rounded corners and the shapes of the Draw menu.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/colour.h"
#include "core/setting_values.h"
#include "ops/shapes.h"
#include "ops/transparency.h"

namespace qp {
namespace {

inline void Plot(ImageBuffer& img, int64_t x, int64_t y, uint32_t v) {
  if (x < 0 || y < 0 || x >= img.width() || y >= img.height()) return;
  StorePixel(img.pixel(static_cast<int32_t>(x), static_cast<int32_t>(y)), v);
}

void Fill(ImageBuffer& img, uint32_t v) {
  uint32_t* p = reinterpret_cast<uint32_t*>(img.data());
  std::fill(p, p + img.pixelCount(), v);
}

// Copies `src` into `dst` with its top-left corner at (x, y); both fit by construction.
void Place(ImageBuffer& dst, const ImageBuffer& src, int32_t x, int32_t y) {
  for (int32_t r = 0; r < src.height(); ++r)
    std::memcpy(dst.pixel(x, y + r), src.row(r), src.stride());
}

// The clamped selection, or nothing when there is none.
std::optional<PixelRect> ShapeRect(const ImageBuffer& img, std::optional<PixelRect> sel) {
  if (img.empty() || !sel || sel->empty()) return std::nullopt;
  return PixelRect{std::max(sel->left, 1), std::max(sel->top, 1),
                   std::min(sel->right, img.width() - 1), std::min(sel->bottom, img.height() - 1)};
}

}  // namespace

uint32_t DrawingColour(std::string_view settingText, uint32_t fallback) {
  return ColourSetting(settingText, fallback);
}

uint32_t DrawingPixel(const ImageBuffer& img, uint32_t colour) {
  uint32_t alpha = 255;
  if (!img.empty() && !HasMeaningfulAlpha(img)) alpha = img.data()[3];
  return (colour & 0xFFFFFFu) | alpha << 24;
}

bool AddBorders(ImageBuffer& img, BorderSizes s, uint32_t colour, UndoSnapshot& undo,
                ViewerState& state) {
  if (img.width() < 1 || img.height() < 1) return false;
  const int64_t top = std::max(s.top, 0), left = std::max(s.left, 0);
  const int64_t right = std::max(s.right, 0), bottom = std::max(s.bottom, 0);
  if (top + left + right + bottom == 0) return false;
  auto out = ImageBuffer::Allocate(img.width() + left + right, img.height() + top + bottom);
  if (!out) return false;
  Fill(*out, colour & 0xFFFFFFu);
  Place(*out, img, static_cast<int32_t>(left), static_cast<int32_t>(top));
  undo.HandOver(std::move(img));
  state.vectorSource = 0;
  img = std::move(*out);
  return true;
}

JoinOutcome JoinImage(ImageBuffer& img, std::optional<ImageBuffer> loaded, JoinDirection dir,
                      UndoSnapshot& undo, ViewerState& state) {
  if (!loaded || loaded->empty()) return JoinOutcome::CouldNotLoad;
  if (img.empty()) return JoinOutcome::NoMemory;
  const int64_t W = img.width(), H = img.height(), w = loaded->width(), h = loaded->height();
  const bool sideways = dir == JoinDirection::Right || dir == JoinDirection::Left;
  auto out = sideways ? ImageBuffer::Allocate(W + w, std::max(H, h))
                      : ImageBuffer::Allocate(std::max(W, w), H + h);
  if (!out) return JoinOutcome::NoMemory;
  Fill(*out, BackgroundColour(img));
  const int32_t iw = img.width(), ih = img.height();
  switch (dir) {
    case JoinDirection::Above:
      Place(*out, img, 0, loaded->height());
      Place(*out, *loaded, 0, 0);
      break;
    case JoinDirection::Left:
      Place(*out, img, loaded->width(), 0);
      Place(*out, *loaded, 0, 0);
      break;
    case JoinDirection::Right:
      Place(*out, img, 0, 0);
      Place(*out, *loaded, iw, 0);
      break;
    case JoinDirection::Below:
      Place(*out, img, 0, 0);
      Place(*out, *loaded, 0, ih);
      break;
  }
  undo.HandOver(std::move(img));
  state.vectorSource = 0;
  img = std::move(*out);
  return JoinOutcome::Joined;
}

bool RoundedCorners(ImageBuffer& img, UndoSnapshot& undo, ViewerState& state) {
  if (img.empty()) return false;
  const int32_t w = img.width(), h = img.height();
  const int32_t r = std::min(w, h) / 6;
  if (r < 1) return false;
  undo.TakeCopy(img);
  const uint32_t c = ~BackgroundColour(img) & 0xFFFFFFu;
  const int64_t r2 = int64_t{r} * r;
  auto corner = [&](int32_t y, int64_t dy) {
    for (int32_t x = 0; x < r; ++x) {
      const int64_t dx = x - r;
      if (dx * dx + dy * dy > r2) StorePixel(img.pixel(x, y), c);
    }
    for (int32_t x = w - r; x < w; ++x) {
      const int64_t dx = x - (w - r) + 1;
      if (dx * dx + dy * dy > r2) StorePixel(img.pixel(x, y), c);
    }
  };
  for (int32_t y = 0; y < r; ++y) corner(y, y - r);
  for (int32_t y = h - r; y < h; ++y) corner(y, y - (h - r) + 1);
  state.vectorSource = 0;
  return true;
}

bool DrawRectangle(ImageBuffer& img, std::optional<PixelRect> sel, uint32_t colour,
                   UndoSnapshot& undo, ViewerState& state) {
  auto r = ShapeRect(img, sel);
  if (!r) return false;
  undo.TakeCopy(img);
  const uint32_t v = DrawingPixel(img, colour);
  for (int32_t x = r->left; x < r->right; ++x) {
    Plot(img, x, r->top, v);
    Plot(img, x, r->bottom, v);
  }
  for (int32_t y = r->top; y < r->bottom; ++y) {
    Plot(img, r->left, y, v);
    Plot(img, r->right, y, v);
  }
  state.vectorSource = 0;
  return true;
}

bool DrawBox(ImageBuffer& img, std::optional<PixelRect> sel, uint32_t colour, UndoSnapshot& undo,
             ViewerState& state) {
  auto r = ShapeRect(img, sel);
  if (!r) return false;
  undo.TakeCopy(img);
  const uint32_t v = DrawingPixel(img, colour);
  for (int32_t y = r->top; y < r->bottom; ++y)
    for (int32_t x = r->left; x < r->right; ++x) Plot(img, x, y, v);
  state.vectorSource = 0;
  return true;
}

// Midpoint ellipse in two regions. The arithmetic is done in 64 bits so large selections
// cannot overflow; a zero-size ellipse is its centre point.
bool DrawEllipse(ImageBuffer& img, std::optional<PixelRect> sel, uint32_t colour,
                 UndoSnapshot& undo, ViewerState& state) {
  auto r = ShapeRect(img, sel);
  if (!r) return false;
  undo.TakeCopy(img);
  const uint32_t v = DrawingPixel(img, colour);
  const int64_t cx = (int64_t{r->right} + r->left) / 2, cy = (int64_t{r->top} + r->bottom) / 2;
  const int64_t a = r->right - cx, b = r->bottom - cy;
  const int64_t A = a * a, B = b * b;
  auto plot4 = [&](int64_t x, int64_t y) {
    Plot(img, cx + x, cy + y, v);
    Plot(img, cx - x, cy + y, v);
    Plot(img, cx + x, cy - y, v);
    Plot(img, cx - x, cy - y, v);
  };
  if (A == 0 && B == 0) {
    plot4(0, 0);
  } else {
    int64_t x = 0, y = b;
    int64_t err = (1 - 2 * b) * A + 2 * B, dx = 6 * B, dy = 4 * A * (1 - b);
    int64_t stopY = A * b, stopX = 0;
    do {
      plot4(x, y);
      if (err >= 0) {
        --y;
        err += dy;
        dy += 4 * A;
        stopY -= A;
      }
      ++x;
      err += dx;
      dx += 4 * B;
      stopX += B;
    } while (stopY >= stopX);
    x = a;
    y = 0;
    err = (1 - 2 * a) * B + 2 * A;
    dy = 6 * A;
    dx = 4 * B * (1 - a);
    stopX = B * a;
    stopY = 0;
    do {
      plot4(x, y);
      if (err >= 0) {
        --x;
        err += dx;
        dx += 4 * B;
        stopX -= B;
      }
      ++y;
      err += dy;
      dy += 4 * A;
      stopY += A;
    } while (stopX >= stopY);
  }
  state.vectorSource = 0;
  return true;
}

void DrawLine(ImageBuffer& img, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour) {
  if (img.empty()) return;
  const uint32_t v = DrawingPixel(img, colour);
  const int64_t sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
  const int64_t dx = std::llabs(int64_t{x1} - x0), dy = std::llabs(int64_t{y1} - y0);
  int64_t err = (dy < dx ? dx : -dy) / 2;
  int64_t x = x0, y = y0;
  for (;;) {
    Plot(img, x, y, v);
    if (x == x1 && y == y1) break;
    const int64_t e = err;
    if (e > -dx) {
      err -= dy;
      x += sx;
    }
    if (e < dy) {
      err += dx;
      y += sy;
    }
  }
}

}  // namespace qp
