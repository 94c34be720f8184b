// The filtered resampler with its filter table, the nearest-neighbour resize, and the
// resample command with its dialog's aspect-ratio following.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/image_buffer.h"
#include "core/viewer_state.h"
#include "ops/undo.h"

namespace qp {

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

}  // namespace qp
