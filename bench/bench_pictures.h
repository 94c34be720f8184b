// Inputs shared by the benchmarks: large pictures written once to /tmp and reused by later runs.
#pragma once

#include <cstdio>
#include <string>

#include "codecs/jpeg.h"
#include "core/image_buffer.h"

namespace qp::bench {

// A 6000 x 4000 photo-sized JPEG (quality 90) of smooth gradients and fine texture at `path`,
// written on first use.
inline std::string PhotoSizedJpeg(const std::string& path) {
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    std::fclose(f);
    return path;
  }
  ImageBuffer img = *ImageBuffer::Allocate(6000, 4000);
  for (int y = 0; y < 4000; ++y)
    for (int x = 0; x < 6000; ++x) {
      uint8_t* px = img.pixel(x, y);
      px[0] = static_cast<uint8_t>(x * 7 + y);
      px[1] = static_cast<uint8_t>((x ^ y) + (x * y >> 9));
      px[2] = static_cast<uint8_t>(y * 3 - x);
      px[3] = 255;
    }
  SaveJpeg(img.data(), 6000, 4000, 90, path.c_str());
  return path;
}

}  // namespace qp::bench
