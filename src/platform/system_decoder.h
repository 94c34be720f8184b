// The platform's own image engine, the last fall-back decoder. The application installs the
// Qt implementation (QImageReader with Qt's image plug-ins); engine tests install fakes.
#pragma once

#include <optional>
#include <string>

#include "core/image_buffer.h"

namespace qp {

class SystemImageDecoder {
 public:
  virtual ~SystemImageDecoder() = default;
  // The picture as BGRA with meaningful alpha, or nothing.
  virtual std::optional<ImageBuffer> Decode(const std::string& path) = 0;
};

}  // namespace qp
