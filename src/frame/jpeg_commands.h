// The Jpeg Transform menu: lossless rotations and flips of the file on disk with a reload
// afterwards, the automatic rotation by the EXIF orientation, and the grey conversion and
// crop into a file the user chooses.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "frame/file_context.h"

namespace qp {

inline constexpr uint16_t kCmdJpegRotate90 = 4050;
inline constexpr uint16_t kCmdJpegRotate180 = 4051;
inline constexpr uint16_t kCmdJpegRotate270 = 4052;
inline constexpr uint16_t kCmdJpegRotate360 = 4053;
inline constexpr uint16_t kCmdJpegRotateAuto = 4055;
inline constexpr uint16_t kCmdJpegFlipVertical = 4057;
inline constexpr uint16_t kCmdJpegFlipHorizontal = 4058;
inline constexpr uint16_t kCmdJpegLosslessCrop = 4105;
inline constexpr uint16_t kCmdJpegGrayscale = 4182;
inline constexpr const char* kTransformFailed = "Could not perform transformation";
inline constexpr const char* kNotValidJpeg = "Not a valid jpeg file";

// The angle code of a transform command (4050-4053, 4057, 4058); nothing for other ids.
std::optional<int> TransformCodeOf(uint16_t id);

// Rewrites the current JPEG in place with the code's transform and reloads it; says so when
// it could not.
void JpegTransformCommand(FileContext& ctx, int angleCode);
// Rotates the current JPEG upright by its EXIF orientation (3, 6 or 8); nothing otherwise.
void JpegRotateAutomaticCommand(FileContext& ctx);

// A selection in image pixels, right and bottom exclusive.
struct ImageRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// The grey version of the current JPEG into a file the user chooses.
void JpegGrayscaleCommand(FileContext& ctx);
// The selection of the current JPEG, cut losslessly, into a file the user chooses. `selection`
// is clamped to the picture of `width` x `height`; nothing happens without a selection.
void JpegLosslessCropCommand(FileContext& ctx, const std::optional<ImageRect>& selection,
                             int32_t width, int32_t height);

// The frame's handlers by id (the transforms and the automatic rotation); false for others.
bool ExecuteJpegTransform(FileContext& ctx, uint16_t id);

}  // namespace qp
