// Colour operations and the two-level dithers.
#pragma once

#include <cstdint>
#include <optional>

#include "core/image_buffer.h"
#include "core/viewer_state.h"
#include "ops/undo.h"

namespace qp {

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

}  // namespace qp
