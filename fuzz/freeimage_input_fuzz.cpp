// Arbitrary bytes as the start of a bitmap and of a TGA (the route and, where one is asked
// for, the rewritten file) and of the formats whose claimed size is read here. Every read
// stays inside the input.
#include <cstddef>
#include <cstdint>
#include <span>

#include "codecs/freeimage_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  for (int32_t format : {0, 17}) {
    if (qp::RouteForLibrary(bytes, format) == qp::LibraryRoute::Rewrite)
      (void)qp::RewriteForLibrary(bytes, format);
  }
  for (int32_t format : {5, 19, 24, 28, 30, 31, 33}) (void)qp::ClaimedPictureSize(bytes, format);
  return 0;
}
