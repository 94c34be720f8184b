// The last fall-back decoder: whatever Qt's image plug-ins can read (TIFF, TGA, ICNS, WBMP…).
#pragma once

#include "platform/system_decoder.h"

namespace qp {

class QtSystemImageDecoder : public SystemImageDecoder {
 public:
  std::optional<ImageBuffer> Decode(const std::string& path) override;
};

}  // namespace qp
