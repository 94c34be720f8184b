// Raw BGRA files: width and height as little-endian 16-bit values, then the pixels exactly as
// they are in memory (rows top first, blue, green, red, alpha). No signature, no padding.
#include "codecs/bgra.h"

#include <cstdio>
#include <cstring>

#include "core/file_io.h"

namespace qp {

DecodeResult readRawBgra(const std::string& path) {
  UniqueFile f = OpenFile(path, "rb");
  if (!f) return {};
  uint8_t header[4];
  if (std::fread(header, 1, 4, f.get()) != 4) return {};
  const int32_t width = header[0] | header[1] << 8;
  const int32_t height = header[2] | header[3] << 8;
  auto img = ImageBuffer::Allocate(width, height);  // refuses 0 x n
  if (!img) return {};
  DecodeDetails details;
  const size_t got = std::fread(img->data(), 1, img->byteSize(), f.get());
  if (got == img->byteSize()) {
    details.hasAlpha = HasMeaningfulAlpha(*img);
  } else {
    // A short file still shows what it holds; the rest is blank, never uninitialised memory.
    std::memset(img->data() + got, 0, img->byteSize() - got);
  }
  return DecodeResult(std::move(*img)).with(details);
}

const char* writeRawBgra(const uint8_t* pixels, int32_t width, int32_t height, const char* path) {
  // The 16-bit header cannot describe larger pictures; refuse rather than write a file whose
  // header disagrees with its pixels.
  if (pixels == nullptr || width <= 0 || height <= 0 || width > 65535 || height > 65535)
    return "Could not encode";
  UniqueFile f = OpenFile(path, "wb");
  if (!f) return "Could not write file";
  const uint8_t header[4] = {static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8),
                             static_cast<uint8_t>(height), static_cast<uint8_t>(height >> 8)};
  const size_t bytes = size_t{static_cast<uint32_t>(width)} * static_cast<uint32_t>(height) * 4;
  if (std::fwrite(header, 1, 4, f.get()) != 4 || std::fwrite(pixels, 1, bytes, f.get()) != bytes)
    return "Could not encode";
  if (std::fclose(f.release()) != 0) return "Could not encode";
  return nullptr;
}

}  // namespace qp
