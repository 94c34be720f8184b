// Editing operations on the current picture and the single-level undo snapshot.
//
// Every operation works on the view's ImageBuffer. Operations that change pixels clear
// ViewerState::vectorSource so a later zoom scales these pixels instead of re-rendering the
// SVG file. Functions returning bool report whether the view should refresh; allocation
// failures are silent and leave the picture unchanged.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/image_buffer.h"
#include "core/viewer_state.h"

namespace qp {

// A rectangle in image pixels, right and bottom exclusive (the selection's image rectangle).
struct PixelRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool empty() const { return right <= left || bottom <= top; }
};

// ---- Undo snapshot: one copy of the picture as it was before the last edit that took one.
class UndoSnapshot {
 public:
  // Copies the picture, reusing the block when it is large enough. On allocation failure the
  // snapshot is left empty.
  void TakeCopy(const ImageBuffer& img);
  // Adopts the old block of an operation that built a new one (no copy).
  void HandOver(ImageBuffer&& old);
  void Free();
  bool exists() const { return block_ != nullptr; }
  // A new copy of the snapshot, or nothing when empty or memory is short.
  std::optional<ImageBuffer> Restore() const;
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  size_t capacity() const { return capacity_; }
  const uint8_t* data() const { return block_.get(); }

 private:
  PixelBlock block_;
  int32_t width_ = 0, height_ = 0;
  size_t capacity_ = 0;
};

// Undo: replaces the picture by a copy of the snapshot; false (nothing done) without one.
// The caller clears the selection and refreshes on true.
bool Undo(ImageBuffer& img, const UndoSnapshot& undo, ViewerState& state);

// ---- Geometric transforms (no undo snapshot).
bool RotateClockwise(ImageBuffer& img, ViewerState& state);         // false: out of memory
bool RotateCounterClockwise(ImageBuffer& img, ViewerState& state);  // false: out of memory
void FlipVertical(ImageBuffer& img, ViewerState& state);
void FlipHorizontal(ImageBuffer& img, ViewerState& state);
void UpsideDown(ImageBuffer& img, ViewerState& state);
void LeftRightSwap(ImageBuffer& img, ViewerState& state);

// ---- 3x3 filters, pixelate, outline.
struct Kernel3x3 {
  int32_t weights[9];  // row-major, top row first
  int32_t divisor;
};
enum class FilterKind { Sharpen, SharpenMore, Soften, Blur };
const Kernel3x3& KernelOf(FilterKind kind);
// Convolution with edge replication; alpha is copied. Nothing when memory is short.
std::optional<ImageBuffer> Convolve(const Kernel3x3& kernel, const ImageBuffer& src);
// Filters the picture; the old block becomes the undo snapshot. False when out of memory.
bool ApplyFilter(FilterKind kind, ImageBuffer& img, UndoSnapshot& undo, ViewerState& state);
// Block size used by Pixelate for a W x H picture.
int32_t PixelateBlockSize(int32_t width, int32_t height);
// Pixelates the selection (the outermost rows and columns stay). Returns whether pixels were
// changed; the view refreshes and clears the selection in every case.
bool Pixelate(ImageBuffer& img, std::optional<PixelRect> selection, UndoSnapshot& undo,
              ViewerState& state);
// Inverts the colours of the one-pixel frame around the picture (no undo snapshot).
void Outline(ImageBuffer& img, ViewerState& state);

// ---- Colour operations and dithers.
inline uint8_t GreyLevel(const uint8_t* bgra) {
  return static_cast<uint8_t>((bgra[2] + 2 * bgra[1] + bgra[0]) / 4);
}
void Negative(ImageBuffer& img, UndoSnapshot& undo, ViewerState& state);
void Grayscale(ImageBuffer& img, UndoSnapshot& undo, ViewerState& state);
// The automatically chosen level: grey >= T becomes white.
int32_t BlackWhiteThreshold(const ImageBuffer& img);
void BlackAndWhite(ImageBuffer& img, UndoSnapshot& undo, ViewerState& state);
enum DitherMode : int32_t {
  kDitherFloydSteinberg = 0,
  kDitherOrdered = 1,
  kDitherBurkes = 2,
  kDitherStucki = 3,
  kDitherThreshold = 4
};
// The two-level result (colour bytes 0 or 255, alpha 0); the source is not changed. Unknown
// modes run Floyd-Steinberg.
std::optional<ImageBuffer> DitherImage(const ImageBuffer& src, int32_t mode);
// Takes an undo copy, then dithers; false (picture unchanged) when out of memory.
bool ApplyDither(int32_t mode, ImageBuffer& img, UndoSnapshot& undo, ViewerState& state);

// ---- Resampling.
struct ResampleFilter {
  double (*weight)(double x);
  double support;
};
inline constexpr int32_t kFilterCount = 13;
inline constexpr int32_t kLanczos3 = 7;
inline constexpr int32_t kMaxResampleSide = 65536;
// Entry `index` of the filter table, taken modulo 13.
const ResampleFilter& FilterEntry(int32_t index);
// Two-pass filtered resample of src into dst (both BGRA). False on bad sizes or no memory.
bool FilteredResample(const uint8_t* src, int32_t w, int32_t h, uint8_t* dst, int32_t nw,
                      int32_t nh, double (*filter)(double), double support);
// Whether the resampler and the display scaler may use the processor's vector unit where it
// has one (the default). Both ways give the same bytes; tests and benchmarks switch it off to
// check and time the plain code.
void SetVectorScaling(bool enabled);
bool VectorScaling();
// Sizes below 1 become 1; either above 65536 fails.
std::optional<ImageBuffer> Resample(const ImageBuffer& src, int32_t nw, int32_t nh,
                                    int32_t filterIndex = kLanczos3);
std::optional<ImageBuffer> ResizeNearest(const ImageBuffer& src, int32_t nw, int32_t nh);
// The on-screen copy for zooms below 2: exact halving, bilinear enlarging or area averaging.
std::optional<ImageBuffer> DisplayScale(const uint8_t* src, int32_t w, int32_t h, int32_t nw,
                                        int32_t nh);

struct ResampleRequest {
  int32_t width = 0, height = 0;
  bool useResize = false;
  bool sharpen = true;
};
// Renders the vector source again at a size (set by the view while vectorSource is on).
using VectorRenderer = std::function<std::optional<ImageBuffer>(int32_t w, int32_t h)>;
// The resample command after its dialog: true when the picture was replaced.
bool ResampleCommand(ImageBuffer& img, const ResampleRequest& req, const VectorRenderer& render,
                     UndoSnapshot& undo, ViewerState& state);
// "%d" reading of a dialog field: 0 when unreadable.
int32_t ReadIntField(std::string_view text);

// Keeps the width and height fields of the resample dialog in proportion.
class AspectRatioFollower {
 public:
  AspectRatioFollower(int32_t width, int32_t height)
      : ratio_(height > 0 ? static_cast<float>(width) / static_cast<float>(height) : 1.0f) {}
  bool keep = true;
  using Writer = std::function<void(const std::string& text)>;
  // Called on every edit of the width field; writes the height through `writeHeight`.
  void WidthEdited(std::string_view text, const Writer& writeHeight);
  void HeightEdited(std::string_view text, const Writer& writeWidth);

 private:
  float ratio_;
  bool guard_ = false;
};

// ---- Transparency tools.
// Background colour 0x00RRGGBB from the four corners.
uint32_t BackgroundColour(const ImageBuffer& img);
// Inverts the colours of fully transparent pixels; false (nothing done) without meaningful alpha.
bool ToggleTransparency(ImageBuffer& img, ViewerState& state);
void ViewTransparencyOnly(ImageBuffer& img, UndoSnapshot& undo, ViewerState& state);
void SetOpaque(ImageBuffer& img);  // every alpha 255, no snapshot
void RemoveTransparency(ImageBuffer& img, UndoSnapshot& undo, ViewerState& state);
void SetToBackground(ImageBuffer& img, UndoSnapshot& undo, ViewerState& state);
void FillFromBackground(ImageBuffer& img, UndoSnapshot& undo, ViewerState& state);
inline constexpr const char* kCouldNotLoadImage = "Could not load image";
inline constexpr const char* kDimensionsDoNotMatch = "Image dimensions do not match";
// Alpha from the first byte of `loaded` (consumed). Null on success, else the message to show.
const char* LoadTransparencyFromImage(ImageBuffer& img, std::optional<ImageBuffer> loaded,
                                      UndoSnapshot& undo, ViewerState& state);

// ---- Borders, joins, rounded corners and shapes.
// Colour value of a drawing-colour setting text: empty gives the fallback.
uint32_t DrawingColour(std::string_view settingText, uint32_t fallback);
// colour | the drawing alpha of the picture.
uint32_t DrawingPixel(const ImageBuffer& img, uint32_t colour);
struct BorderSizes {
  int32_t top = 0, left = 0, right = 0, bottom = 0;
};
// Negative sizes count as 0. True when the picture was replaced.
bool AddBorders(ImageBuffer& img, BorderSizes sizes, uint32_t colour, UndoSnapshot& undo,
                ViewerState& state);
enum class JoinDirection { Above = 0, Right = 1, Left = 2, Below = 3 };
enum class JoinOutcome { Joined, CouldNotLoad, NoMemory };
JoinOutcome JoinImage(ImageBuffer& img, std::optional<ImageBuffer> loaded, JoinDirection dir,
                      UndoSnapshot& undo, ViewerState& state);
bool RoundedCorners(ImageBuffer& img, UndoSnapshot& undo, ViewerState& state);
// The shapes draw inside the clamped selection; false when there was no selection (the view
// refreshes and clears the selection in every case).
bool DrawRectangle(ImageBuffer& img, std::optional<PixelRect> sel, uint32_t colour,
                   UndoSnapshot& undo, ViewerState& state);
bool DrawBox(ImageBuffer& img, std::optional<PixelRect> sel, uint32_t colour, UndoSnapshot& undo,
             ViewerState& state);
bool DrawEllipse(ImageBuffer& img, std::optional<PixelRect> sel, uint32_t colour,
                 UndoSnapshot& undo, ViewerState& state);
// A line with the picture's drawing alpha; points outside the picture are skipped.
void DrawLine(ImageBuffer& img, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour);

}  // namespace qp
