#include "view/selection.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace qp {

CursorShape CursorForHit(HitCode hit) {
  switch (hit) {
    case HitCode::TopLeft:
    case HitCode::BottomRight: return CursorShape::SizeNwSe;
    case HitCode::TopRight:
    case HitCode::BottomLeft: return CursorShape::SizeNeSw;
    case HitCode::Top:
    case HitCode::Bottom: return CursorShape::SizeNs;
    case HitCode::Left:
    case HitCode::Right: return CursorShape::SizeWe;
    case HitCode::Middle: return CursorShape::SizeAll;
    case HitCode::Nothing: break;
  }
  return CursorShape::Default;
}

// Truncates toward zero like the plain conversion, limited to the 32-bit range so that no
// zoom or coordinate can make the conversion undefined.
static int32_t Truncated(double v) {
  if (!(v > -2147483648.0)) return INT32_MIN;
  if (!(v < 2147483647.0)) return INT32_MAX;
  return static_cast<int32_t>(v);
}

int32_t ViewToImage(int32_t v, float zoom) {
  return Truncated(static_cast<double>(static_cast<float>(v) / zoom) + 0.5);
}

int32_t ImageToView(int32_t i, float zoom) {
  return Truncated(static_cast<double>(static_cast<float>(i)) * zoom + 0.5);
}

PixelRect ViewToImage(const PixelRect& r, float zoom) {
  return {ViewToImage(r.left, zoom), ViewToImage(r.top, zoom), ViewToImage(r.right, zoom),
          ViewToImage(r.bottom, zoom)};
}

PixelRect ImageToView(const PixelRect& r, float zoom) {
  return {ImageToView(r.left, zoom), ImageToView(r.top, zoom), ImageToView(r.right, zoom),
          ImageToView(r.bottom, zoom)};
}

PixelRect ClampToImage(PixelRect r, int32_t width, int32_t height) {
  r.left = std::clamp(r.left, 0, std::max(width, 0));
  r.right = std::clamp(r.right, 0, std::max(width, 0));
  r.top = std::clamp(r.top, 0, std::max(height, 0));
  r.bottom = std::clamp(r.bottom, 0, std::max(height, 0));
  return r;
}

PixelRect Normalized(PixelRect r) {
  if (r.left > r.right) std::swap(r.left, r.right);
  if (r.top > r.bottom) std::swap(r.top, r.bottom);
  return r;
}

PixelRect HandleRect(const PixelRect& r, HitCode hit) {
  const int32_t s = kHandleSize;
  const int32_t midX = (r.left + r.right) / 2 - s / 2;
  const int32_t midY = (r.top + r.bottom) / 2 - s / 2;
  // A side shorter than three handles carries only its corner handles.
  const bool sideX = r.right - r.left >= 3 * s;
  const bool sideY = r.bottom - r.top >= 3 * s;
  switch (hit) {
    case HitCode::TopLeft: return {r.left - s, r.top - s, r.left, r.top};
    case HitCode::TopRight: return {r.right, r.top - s, r.right + s, r.top};
    case HitCode::BottomRight: return {r.right, r.bottom, r.right + s, r.bottom + s};
    case HitCode::BottomLeft: return {r.left - s, r.bottom, r.left, r.bottom + s};
    case HitCode::Top: return sideX ? PixelRect{midX, r.top - s, midX + s, r.top} : PixelRect{};
    case HitCode::Bottom:
      return sideX ? PixelRect{midX, r.bottom, midX + s, r.bottom + s} : PixelRect{};
    case HitCode::Left: return sideY ? PixelRect{r.left - s, midY, r.left, midY + s} : PixelRect{};
    case HitCode::Right:
      return sideY ? PixelRect{r.right, midY, r.right + s, midY + s} : PixelRect{};
    default: return {};
  }
}

static bool Contains(const PixelRect& r, int32_t x, int32_t y) {
  return !r.empty() && x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

void Selection::Clear() {
  tracked_.reset();
  tracking_ = Tracking::None;
}

std::optional<PixelRect> Selection::Region(int32_t width, int32_t height, float zoom) const {
  if (!Exists() || zoom == 0.0f) return std::nullopt;
  PixelRect r = ClampToImage(imageRect, width, height);
  if (r.empty()) return std::nullopt;
  return r;
}

HitCode Selection::HitTest(int32_t x, int32_t y) const {
  if (!Exists()) return HitCode::Nothing;
  for (int32_t h = 0; h < 8; ++h) {
    if (Contains(HandleRect(*tracked_, static_cast<HitCode>(h)), x, y)) {
      return static_cast<HitCode>(h);
    }
  }
  return Contains(*tracked_, x, y) ? HitCode::Middle : HitCode::Nothing;
}

void Selection::Press(int32_t x, int32_t y, int32_t /*width*/, int32_t /*height*/, float zoom) {
  anchorX_ = x;
  anchorY_ = y;
  const HitCode hit = HitTest(x, y);
  if (hit == HitCode::Nothing) {
    Clear();
    tracking_ = Tracking::RubberBand;
    live_ = {x, y, x, y};
    return;
  }
  start_ = *tracked_;
  live_ = start_;
  remembered_ = ViewToImage(start_, zoom);
  grip_ = hit;
  tracking_ = hit == HitCode::Middle ? Tracking::Move : Tracking::Resize;
}

void Selection::Drag(int32_t x, int32_t y) {
  const int32_t dx = x - anchorX_;
  const int32_t dy = y - anchorY_;
  switch (tracking_) {
    case Tracking::None: return;
    case Tracking::RubberBand:
      live_.right = x;
      live_.bottom = y;
      return;
    case Tracking::Move:
      live_ = {start_.left + dx, start_.top + dy, start_.right + dx, start_.bottom + dy};
      break;
    case Tracking::Resize: {
      live_ = start_;
      const bool left = grip_ == HitCode::TopLeft || grip_ == HitCode::BottomLeft ||
                        grip_ == HitCode::Left;
      const bool right = grip_ == HitCode::TopRight || grip_ == HitCode::BottomRight ||
                         grip_ == HitCode::Right;
      const bool top = grip_ == HitCode::TopLeft || grip_ == HitCode::TopRight ||
                       grip_ == HitCode::Top;
      const bool bottom = grip_ == HitCode::BottomLeft || grip_ == HitCode::BottomRight ||
                          grip_ == HitCode::Bottom;
      if (left) live_.left += dx;
      if (right) live_.right += dx;
      if (top) live_.top += dy;
      if (bottom) live_.bottom += dy;
      break;
    }
  }
}

std::optional<PixelRect> Selection::Live() const {
  if (tracking_ == Tracking::None) return Tracked();
  return Normalized(live_);
}

void Selection::Finish(int32_t width, int32_t height, float zoom) {
  const Tracking t = tracking_;
  tracking_ = Tracking::None;
  if (zoom <= 0.0f) return;
  switch (t) {
    case Tracking::None: return;
    case Tracking::RubberBand: {
      const PixelRect band = Normalized(live_);
      if (band.empty()) return;
      const PixelRect img = ClampToImage(ViewToImage(band, zoom), width, height);
      if (img.empty()) return;
      SetImageRect(img, zoom, true);
      return;
    }
    case Tracking::Move: {
      // The image rectangle keeps its size and moves by the distance its corner moved.
      const int32_t dx = ViewToImage(live_.left, zoom) - remembered_.left;
      const int32_t dy = ViewToImage(live_.top, zoom) - remembered_.top;
      imageRect = {imageRect.left + dx, imageRect.top + dy, imageRect.right + dx,
                   imageRect.bottom + dy};
      viewRect = ImageToView(ClampToImage(imageRect, width, height), zoom);
      tracked_ = viewRect;
      return;
    }
    case Tracking::Resize: {
      imageRect = ClampToImage(ViewToImage(Normalized(live_), zoom), width, height);
      viewRect = ImageToView(imageRect, zoom);
      tracked_ = viewRect;
      return;
    }
  }
}

void Selection::Cancel(int32_t width, int32_t height, float zoom) {
  switch (tracking_) {
    case Tracking::Move: Finish(width, height, zoom); return;
    case Tracking::Resize: tracked_ = start_; break;
    case Tracking::RubberBand:
    case Tracking::None: break;
  }
  tracking_ = Tracking::None;
}

void Selection::FollowZoom(float zoom, int32_t width, int32_t height) {
  if (!(zoom > 0.0f) || tracking_ != Tracking::None) return;
  viewRect = ImageToView(ClampToImage(imageRect, width, height), zoom);
  if (Exists()) tracked_ = viewRect;
}

void Selection::SetImageRect(const PixelRect& r, float zoom, bool show) {
  imageRect = r;
  viewRect = ImageToView(r, zoom);
  if (show) tracked_ = viewRect;
}

bool Selection::SelectByNumbers(int64_t top, int64_t left, int64_t right, int64_t bottom,
                                int32_t width, int32_t height, float zoom) {
  top = std::max<int64_t>(top, 1);
  left = std::max<int64_t>(left, 1);
  bottom = std::min<int64_t>(bottom, height);
  right = std::min<int64_t>(right, width);
  if (!(top < bottom && left < right)) return false;
  Clear();
  SetImageRect({static_cast<int32_t>(left - 1), static_cast<int32_t>(top - 1),
                static_cast<int32_t>(right), static_cast<int32_t>(bottom)},
               zoom, true);
  return true;
}

bool Selection::Aspect(int32_t xUnits, int32_t yUnits, int32_t width, int32_t height,
                       float zoom) {
  const PixelRect r = ClampToImage(imageRect, width, height);
  const float qy = static_cast<float>(r.bottom - r.top) / static_cast<float>(yUnits);
  const float qx = static_cast<float>(r.right - r.left) / static_cast<float>(xUnits);
  const int32_t n = std::min(static_cast<int32_t>(qy + 0.5), static_cast<int32_t>(qx + 0.5));
  if (n <= 0) return false;
  // Rounding each quotient to the nearest unit may reach half a unit past the old rectangle
  // (and the picture); the operations clamp the region where they use it.
  const int64_t right = int64_t{r.left} + int64_t{xUnits} * n;
  const int64_t bottom = int64_t{r.top} + int64_t{yUnits} * n;
  SetImageRect({r.left, r.top, static_cast<int32_t>(std::min<int64_t>(right, INT32_MAX)),
                static_cast<int32_t>(std::min<int64_t>(bottom, INT32_MAX))},
               zoom, Exists());
  return true;
}

bool Selection::TrimBorders(const ImageBuffer& img, float zoom) {
  if (img.empty()) return false;
  const int32_t w = img.width();
  const int32_t h = img.height();
  if (!Exists()) SelectAll(w, h, zoom);
  const PixelRect r = ClampToImage(imageRect, w, h);
  if (r.empty()) return false;
  const uint32_t tl = LoadPixel(img.pixel(r.left, r.top));
  const uint32_t tr = LoadPixel(img.pixel(r.right - 1, r.top));
  const uint32_t bl = LoadPixel(img.pixel(r.left, r.bottom - 1));
  const uint32_t br = LoadPixel(img.pixel(r.right - 1, r.bottom - 1));
  // The border colour is the one at least three corners share.
  uint32_t k = 0;
  if ((tl == tr && tl == bl) || (tl == tr && tl == br) || (tl == bl && tl == br)) {
    k = tl;
  } else if (tr == bl && tr == br) {
    k = tr;
  } else {
    return false;
  }
  auto rowIsBorder = [&](int32_t y) {
    for (int32_t x = r.left; x < r.right; ++x) {
      if (LoadPixel(img.pixel(x, y)) != k) return false;
    }
    return true;
  };
  int32_t top = r.top;
  while (top < r.bottom && rowIsBorder(top)) ++top;
  if (top == r.bottom) return false;  // all border: nothing to keep
  // Row `top` holds content, so the scans from the far sides stop at or before it.
  int32_t bottom = r.bottom - 1;
  while (bottom > top && rowIsBorder(bottom)) --bottom;
  // The outermost content columns, found row by row (rows outside top..bottom are all
  // border); each row is scanned only as far as the bounds found so far.
  int32_t left = r.right, right = r.left - 1;
  for (int32_t y = top; y <= bottom; ++y) {
    int32_t x = r.left;
    while (x < left && LoadPixel(img.pixel(x, y)) == k) ++x;
    left = std::min(left, x);
    x = r.right - 1;
    while (x > right && LoadPixel(img.pixel(x, y)) == k) --x;
    right = std::max(right, x);
  }
  SetImageRect({left, top, right + 1, bottom + 1}, zoom, true);
  return true;
}

std::optional<ImageBuffer> CopyRegion(const ImageBuffer& img, const PixelRect& region) {
  if (img.empty() || region.empty() || region.left < 0 || region.top < 0 ||
      region.right > img.width() || region.bottom > img.height()) {
    return std::nullopt;
  }
  auto out = ImageBuffer::Allocate(region.right - region.left, region.bottom - region.top);
  if (!out) return std::nullopt;
  for (int32_t y = region.top; y < region.bottom; ++y) {
    std::memcpy(out->row(y - region.top), img.pixel(region.left, y), out->stride());
  }
  return out;
}

uint32_t CentrePixel(const ImageBuffer& img, const PixelRect& region) {
  const int32_t x = (region.left + region.right) / 2;
  const int32_t y = (region.top + region.bottom) / 2;
  return LoadPixel(img.pixel(std::min(x, img.width() - 1), std::min(y, img.height() - 1)));
}

}  // namespace qp
