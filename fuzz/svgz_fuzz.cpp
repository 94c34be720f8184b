// The SVGZ front end: the size trailer, inflation under its cap, and the size rules.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "codecs/svg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto text = qp::InflateSvgz(std::span<const uint8_t>(data, size));
  if (text && text->size() > qp::kMaxSvgzText) __builtin_trap();
  if (size >= 24) {
    double w, h;
    int32_t ww, wh;
    std::memcpy(&w, data, 8);
    std::memcpy(&h, data + 8, 8);
    std::memcpy(&ww, data + 16, 4);
    std::memcpy(&wh, data + 20, 4);
    if (auto s = qp::SvgTargetSize(w, h, ww, wh))
      if (s->first <= 0 || s->second <= 0) __builtin_trap();
  }
  return 0;
}
