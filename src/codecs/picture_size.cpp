#include "codecs/picture_size.h"

#include <cstdio>
#include <vector>

#include "core/byte_reader.h"
#include "core/file_io.h"
#include "core/paths.h"

namespace qp {

namespace {

std::optional<PictureSize> Sized(int64_t width, int64_t height) {
  if (width <= 0 || height <= 0) return std::nullopt;
  return PictureSize{width, height};
}

// The first start-of-frame segment (SOF0-SOF15 without DHT, JPG and DAC) gives the size.
std::optional<PictureSize> JpegSize(ByteReader r) {
  r.skip(2);
  while (r.ok()) {
    if (r.u8() != 0xFF) return std::nullopt;
    uint8_t marker = r.u8();
    while (marker == 0xFF && r.ok()) marker = r.u8();  // fill bytes
    if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) continue;
    const uint16_t length = r.u16be();
    if (!r.ok() || length < 2 || marker == 0xDA || marker == 0xD9) return std::nullopt;
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      r.skip(1);  // precision
      const uint16_t height = r.u16be();
      const uint16_t width = r.u16be();
      if (!r.ok()) return std::nullopt;
      return Sized(width, height);
    }
    r.skip(length - 2);
  }
  return std::nullopt;
}

std::optional<PictureSize> WebpSize(ByteReader r) {
  r.skip(12);  // "RIFF", size, "WEBP"
  const auto chunk = r.bytes(4);
  r.skip(4);  // chunk size
  if (!r.ok()) return std::nullopt;
  const std::string_view id(reinterpret_cast<const char*>(chunk.data()), 4);
  if (id == "VP8X") {
    r.skip(4);  // flags and reserved bytes
    const auto b = r.bytes(6);
    if (!r.ok()) return std::nullopt;
    return Sized(1 + (b[0] | b[1] << 8 | b[2] << 16), 1 + (b[3] | b[4] << 8 | b[5] << 16));
  }
  if (id == "VP8L") {
    if (r.u8() != 0x2F) return std::nullopt;
    const uint32_t bits = r.u32le();
    if (!r.ok()) return std::nullopt;
    return Sized(1 + (bits & 0x3FFF), 1 + ((bits >> 14) & 0x3FFF));
  }
  if (id == "VP8 ") {
    r.skip(3);  // frame tag
    if (!r.expect(std::string_view("\x9d\x01\x2a", 3))) return std::nullopt;
    const uint16_t width = r.u16le();
    const uint16_t height = r.u16le();
    if (!r.ok()) return std::nullopt;
    return Sized(width & 0x3FFF, height & 0x3FFF);
  }
  return std::nullopt;
}

}  // namespace

std::optional<PictureSize> PictureSizeIn(std::span<const uint8_t> head, bool rawBgra) {
  ByteReader r(head);
  if (rawBgra) {
    const uint16_t width = r.u16le();
    const uint16_t height = r.u16le();
    return r.ok() ? Sized(width, height) : std::nullopt;
  }
  if (r.expect(std::string_view("\x89PNG\r\n\x1a\n", 8))) {
    r.skip(4);
    if (!r.expect("IHDR")) return std::nullopt;
    const uint32_t width = r.u32be();
    const uint32_t height = r.u32be();
    return r.ok() ? Sized(width, height) : std::nullopt;
  }
  if (head.size() >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF)
    return JpegSize(r);
  if (head.size() >= 12 && r.peek(4).size() == 4 && r.expect("RIFF")) {
    r.seek(8);
    if (r.expect("WEBP")) return WebpSize(ByteReader(head));
    return std::nullopt;
  }
  if (r.expect("GIF87a") || r.expect("GIF89a")) {
    const uint16_t width = r.u16le();
    const uint16_t height = r.u16le();
    return r.ok() ? Sized(width, height) : std::nullopt;
  }
  if (r.expect("qoif")) {
    const uint32_t width = r.u32be();
    const uint32_t height = r.u32be();
    return r.ok() ? Sized(width, height) : std::nullopt;
  }
  if (r.expect("BM")) {
    r.seek(18);
    const int32_t width = static_cast<int32_t>(r.u32le());
    const int32_t height = static_cast<int32_t>(r.u32le());
    if (!r.ok()) return std::nullopt;
    // A negative height marks rows stored top first.
    return Sized(width, height < 0 ? -int64_t{height} : height);
  }
  return std::nullopt;
}

std::optional<PictureSize> ReadPictureSize(const std::string& path) {
  UniqueFile f = OpenFile(path, "rb");
  if (!f) return std::nullopt;
  std::vector<uint8_t> head(64 * 1024);
  head.resize(std::fread(head.data(), 1, head.size(), f.get()));
  return PictureSizeIn(head, ToLowerAscii(ExtensionOf(path)) == ".bgra");
}

}  // namespace qp
