// Geometric transforms: rotations, flips and swaps (no undo snapshot).
#pragma once

#include "core/image_buffer.h"
#include "core/viewer_state.h"

namespace qp {

bool RotateClockwise(ImageBuffer& img, ViewerState& state);         // false: out of memory
bool RotateCounterClockwise(ImageBuffer& img, ViewerState& state);  // false: out of memory
void FlipVertical(ImageBuffer& img, ViewerState& state);
void FlipHorizontal(ImageBuffer& img, ViewerState& state);
void UpsideDown(ImageBuffer& img, ViewerState& state);
void LeftRightSwap(ImageBuffer& img, ViewerState& state);

}  // namespace qp
