// The selection: one rectangle the user marks on the picture, kept twice — in display pixels
// at the current zoom (what is drawn and dragged) and in image pixels (what the operations
// use) — plus the tracker that draws it and lets the mouse make, move and resize it.
//
// Display coordinates are content coordinates: a client point plus the scroll offset, so
// (0, 0) is the top-left pixel of the display bitmap. All rectangles are right and bottom
// exclusive.
#pragma once

#include <cstdint>
#include <optional>

#include "core/image_buffer.h"
#include "ops/pixel_rect.h"

namespace qp {

// Where a point lies on the tracked rectangle. The numbers are the usual tracker codes.
enum class HitCode : int32_t {
  Nothing = -1,
  TopLeft = 0,
  TopRight = 1,
  BottomRight = 2,
  BottomLeft = 3,
  Top = 4,
  Right = 5,
  Bottom = 6,
  Left = 7,
  Middle = 8,
};

// The pointer shape for a hit code.
enum class CursorShape { Default, SizeNwSe, SizeNeSw, SizeNs, SizeWe, SizeAll };
CursorShape CursorForHit(HitCode hit);

// Size of the square resize handles, drawn outside the rectangle.
inline constexpr int32_t kHandleSize = 5;

// Display -> image: (int)((float)v / z + 0.5). Image -> display: (int)(i * z + 0.5), the
// product in double precision.
int32_t ViewToImage(int32_t v, float zoom);
int32_t ImageToView(int32_t i, float zoom);
PixelRect ViewToImage(const PixelRect& r, float zoom);
PixelRect ImageToView(const PixelRect& r, float zoom);
// Limits every x to 0..width and every y to 0..height.
PixelRect ClampToImage(PixelRect r, int32_t width, int32_t height);
// Left <= right, top <= bottom.
PixelRect Normalized(PixelRect r);

// The rectangle of handle `hit` (0 to 7) around `r`; empty when that handle is hidden
// because the side is too short to carry it.
PixelRect HandleRect(const PixelRect& r, HitCode hit);

class Selection {
 public:
  // The selection object's two rectangles. They keep their values when the selection is
  // cleared, so the aspect commands can still work on them.
  PixelRect viewRect;
  PixelRect imageRect;

  // A selection exists while the tracker holds a non-empty rectangle.
  bool Exists() const { return tracked_.has_value() && !tracked_->empty(); }
  // The drawn rectangle, in display coordinates.
  std::optional<PixelRect> Tracked() const { return Exists() ? tracked_ : std::nullopt; }
  // Empties the tracker; the object's rectangles stay.
  void Clear();
  // The selected region the operations use: the image rectangle clamped to the picture, when
  // a selection exists, the zoom is not 0 and the clamped rectangle has an area.
  std::optional<PixelRect> Region(int32_t width, int32_t height, float zoom) const;

  // Hit test of a display point against the tracked rectangle and its handles.
  HitCode HitTest(int32_t x, int32_t y) const;

  // Mouse tracking, all points in display coordinates. Press starts a rubber band (nothing
  // hit), a move (inside) or a resize (a handle); Drag follows the pointer; Finish ends the
  // gesture and updates the image rectangle; Cancel abandons it (Escape or a right-button
  // press: a move keeps the position reached, a rubber band or a resize is dropped).
  // `width`, `height` are the picture's size, `zoom` the current zoom factor.
  enum class Tracking { None, RubberBand, Move, Resize };
  void Press(int32_t x, int32_t y, int32_t width, int32_t height, float zoom);
  void Drag(int32_t x, int32_t y);
  void Finish(int32_t width, int32_t height, float zoom);
  void Cancel(int32_t width, int32_t height, float zoom);
  Tracking tracking() const { return tracking_; }
  // The rectangle drawn while tracking: the rubber band or the moved or resized rectangle.
  std::optional<PixelRect> Live() const;

  // Selects by numbers: 1-based top and left, inclusive right and bottom, limited to the
  // picture. False (nothing changed) unless top < bottom and left < right after limiting.
  bool SelectByNumbers(int64_t top, int64_t left, int64_t right, int64_t bottom, int32_t width,
                       int32_t height, float zoom);
  bool SelectAll(int32_t width, int32_t height, float zoom) {
    return SelectByNumbers(1, 1, width, height, width, height, zoom);
  }
  // Forces the proportions xUnits : yUnits on the stored image rectangle (clamped), keeping
  // its top-left corner. False when the rectangle is too small for one unit.
  bool Aspect(int32_t xUnits, int32_t yUnits, int32_t width, int32_t height, float zoom);
  // Shrinks the selection (the whole picture when there is none) to the content inside a
  // border of one colour. False when nothing changed.
  bool TrimBorders(const ImageBuffer& img, float zoom);

  // After a width x height picture was laid out at `zoom`: the view rectangle is made again
  // from the image rectangle limited to the picture (the region the operations use), and the
  // drawn one with it.
  void FollowZoom(float zoom, int32_t width, int32_t height);

  // Sets the image rectangle and the view rectangle from it; shows it when `show`.
  void SetImageRect(const PixelRect& r, float zoom, bool show);

 private:
  std::optional<PixelRect> tracked_;
  Tracking tracking_ = Tracking::None;
  HitCode grip_ = HitCode::Nothing;
  int32_t anchorX_ = 0, anchorY_ = 0;  // press point
  PixelRect start_;                     // tracked rectangle at the press
  PixelRect live_;                      // rectangle while tracking
  PixelRect remembered_;                // image rectangle the start rectangle converts to
};

// The pixels of `region` (clamped by the caller) as a new picture; nothing when memory is short.
std::optional<ImageBuffer> CopyRegion(const ImageBuffer& img, const PixelRect& region);
// The pixel at the centre of `region`: ((left + right) / 2, (top + bottom) / 2).
uint32_t CentrePixel(const ImageBuffer& img, const PixelRect& region);

}  // namespace qp
