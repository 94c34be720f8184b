// The last fall-back decoder: whatever Qt's image plug-ins can read (TIFF, TGA, ICNS, WBMP…).
#pragma once

#include "platform/system_decoder.h"

namespace qp {

class QtSystemImageDecoder : public SystemImageDecoder {
 public:
  // Sets Qt's image allocation limit to the program's picture limit, then decodes.
  std::optional<ImageBuffer> Decode(const std::string& path) override;
  // The limit Decode sets (MiB of 32-bit pixels).
  static int AllocationLimitMiB();
};

}  // namespace qp
