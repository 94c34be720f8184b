// Decodes the input as a JPEG.
#include <cstddef>
#include <cstdint>

#include "codecs/jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qp::DecodeJpeg({data, size});
  return 0;
}
