// Transparency tools: background colour, toggling, removing and loading alpha.
#pragma once

#include <cstdint>
#include <optional>

#include "core/image_buffer.h"
#include "core/viewer_state.h"
#include "ops/undo.h"

namespace qp {

// Background colour 0x00RRGGBB from the four corners.
uint32_t BackgroundColour(const ImageBuffer& img);
// Inverts the colours of fully transparent pixels; false (nothing done) without meaningful alpha.
bool ToggleTransparency(ImageBuffer& img, ViewerState& state);
void ViewTransparencyOnly(ImageBuffer& img, UndoSnapshot& undo, ViewerState& state);
void SetOpaque(ImageBuffer& img);  // every alpha 255, no snapshot
void RemoveTransparency(ImageBuffer& img, UndoSnapshot& undo, ViewerState& state);
void SetToBackground(ImageBuffer& img, UndoSnapshot& undo, ViewerState& state);
// False when nothing was done: an empty picture, or memory too short for the work (the picture
// and the snapshot are then untouched).
bool FillFromBackground(ImageBuffer& img, UndoSnapshot& undo, ViewerState& state);
inline constexpr const char* kCouldNotLoadImage = "Could not load image";
inline constexpr const char* kDimensionsDoNotMatch = "Image dimensions do not match";
// Alpha from the first byte of `loaded` (consumed). Null on success, else the message to show.
const char* LoadTransparencyFromImage(ImageBuffer& img, std::optional<ImageBuffer> loaded,
                                      UndoSnapshot& undo, ViewerState& state);

}  // namespace qp
