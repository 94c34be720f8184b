#include "codecs/decode_result.h"

#include <cstring>

namespace qp {

std::optional<ImageBuffer> DecodeResult::toOwned() {
  if (auto* o = std::get_if<ImageBuffer>(&value_)) return std::move(*o);
  if (auto* v = std::get_if<PixelView>(&value_)) {
    auto copy = ImageBuffer::Allocate(v->width, v->height);
    if (copy) std::memcpy(copy->data(), v->pixels, copy->byteSize());
    return copy;
  }
  return std::nullopt;
}

}  // namespace qp
