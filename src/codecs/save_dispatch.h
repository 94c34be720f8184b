// The save table: the target's extension alone picks the encoder. The silent converter lives
// here; the interactive "Save as" of the view builds on the same table.
#pragma once

#include <cstdint>
#include <string>

#include "codecs/load_dispatch.h"
#include "core/settings_access.h"

namespace qp {

struct ConvertRequest {
  std::string source;
  std::string target;
  int32_t lossless = 0;
  int32_t quality = 0;
  int32_t overwrite = 0;
  int32_t x1 = -1, y1 = -1, x2 = -1, y2 = -1;
};

// Reads `source`, optionally crops it and writes `target`, silently. True when a file was
// written.
bool ConvertFile(const ConvertRequest& request, LoadContext& ctx, SettingsAccess& settings);

// Crops to the inclusive corners (x1, y1)-(x2, y2), clamping x2 and y2 to the picture; returns
// the picture unchanged when x1 or y1 lies outside it or memory is short.
ImageBuffer CropPicture(ImageBuffer picture, int32_t x1, int32_t y1, int32_t x2, int32_t y2);

}  // namespace qp
