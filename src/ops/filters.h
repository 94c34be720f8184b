// 3x3 convolution filters, pixelate and outline.
#pragma once

#include <cstdint>
#include <optional>

#include "core/image_buffer.h"
#include "core/viewer_state.h"
#include "ops/pixel_rect.h"
#include "ops/undo.h"

namespace qp {

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

}  // namespace qp
