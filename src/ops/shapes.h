// Borders, joins, rounded corners and drawn shapes.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/image_buffer.h"
#include "core/viewer_state.h"
#include "ops/pixel_rect.h"
#include "ops/undo.h"

namespace qp {

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
