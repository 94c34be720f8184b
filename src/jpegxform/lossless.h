// Lossless JPEG transforms: rotations, flips, crop, grayscale and metadata stripping on the
// compressed coefficients (no decode and re-encode), and the safe in-place replacement of a
// file by its transformed version.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qp {

// Results of losslessTransform.
enum TransformResult : int {
  kTransformOk = 0,
  kTransformSourceUnreadable = 1,
  kTransformTargetUnwritable = 2,
  kTransformSamePath = 3,
  kTransformLibraryError = 4,
};

// Temporary names are the whole target path followed by one of these.
inline constexpr const char* kTransformTempSuffix = "___trans___.jpg";
inline constexpr const char* kGrayTempSuffix = "___gray___";
inline constexpr const char* kCropTempSuffix = "___crop___";

// Transforms `source` into `target` as directed by a jpegtran-style argument list:
// "-rotate 90|180|270", "-flip horizontal|vertical", "-transpose", "-transverse",
// "-copy none|comments|all" (default all), "-crop WxH+X+Y", "-grayscale" ("-greyscale").
// Option names may be abbreviated; only the first transform option counts. Partial edge
// blocks that cannot be moved are dropped (trim); a crop's corner moves up and left onto the
// block grid and its size grows to match. An existing target is left as it was when the
// transform fails.
int losslessTransform(const std::string& source, const std::string& target,
                      const std::vector<std::string>& arguments);

// The argument list of an angle code: 90, 180, 270 rotate clockwise; 360 strips all metadata
// markers; -90 flips top to bottom, -180 left to right; any other code is 90.
std::vector<std::string> TransformArguments(int angleCode);
// "-crop" "WxH+X+Y".
std::vector<std::string> CropArguments(uint32_t width, uint32_t height, uint32_t left,
                                       uint32_t top);
std::vector<std::string> GrayArguments();

// The steps of the in-place replacement, for tests that make one of them fail.
enum class ReplaceStep { Transform, Measure, Permissions, Times, Sync, Rename };
// Returns true to make the step fail.
using FailureInjector = std::function<bool(ReplaceStep)>;

// Replaces the file at `path` with its transformed version: the result is written to
// path + suffix beside it, flushed to disk, given the original's permissions and access and
// modification times, then renamed over the original in one atomic step. On any failure the
// original is untouched and the temporary is removed. A symbolic link is kept and its target
// replaced.
bool ReplaceWithTransform(const std::string& path, const std::vector<std::string>& arguments,
                          const std::string& tempSuffix, const FailureInjector& inject = {});

// ReplaceWithTransform with the angle code's arguments and the transform suffix.
bool transformInPlace(const std::string& path, int angleCode, const FailureInjector& inject = {});
// transformInPlace for the rotations that put a picture upright (the automatic and the
// landscape rotation): the result's EXIF orientation entries are also set to 1, in the file's
// own byte order, before it replaces the original.
bool rotateUprightInPlace(const std::string& path, int angleCode,
                          const FailureInjector& inject = {});

// rotateUprightInPlace with any argument list whose result stands upright.
bool transformUprightInPlace(const std::string& path, const std::vector<std::string>& arguments,
                             const FailureInjector& inject = {});

// The one lossless transform that turns a picture of this EXIF orientation (1 to 8) upright
// and then a quarter turn clockwise: what makes a picture that is portrait as shown landscape.
// Empty (no transform) for 8, whose stored pixels already are that.
std::vector<std::string> QuarterTurnFromUprightArguments(int32_t orientation);

// The rotation that puts a picture of this EXIF orientation upright: 3 -> 180, 6 -> 90,
// 8 -> 270; 0 for every other value (mirrored orientations are left alone).
int AutoRotateAngle(int32_t orientation);

// Rotates the JPEG at `path` in place so that its EXIF orientation (3, 6 or 8) is upright and
// sets the orientation to 1. The angle applied, or 0 when nothing was done (no EXIF data,
// another orientation, or a failure).
int AutoRotateJpeg(const std::string& path);

// True when the file name ends in ".jpg" or ".jpeg", ignoring case.
bool IsJpegName(const std::string& path);

}  // namespace qp
