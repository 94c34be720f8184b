#include "codecs/orientation.h"

#include <cstring>
#include <optional>
#include <vector>

#include "codecs/iso_media.h"
#include "core/byte_reader.h"
#include "core/file_io.h"
#include "core/orientation.h"
#include "metadata/exif.h"

namespace qp {

namespace {

// EXIF blocks are small (a JPEG segment holds at most 64 KiB); anything far larger is not one.
constexpr uint32_t kMaxExifBytes = 1u << 20;
// Chunks looked at before giving up on a file.
constexpr int kMaxChunks = 1 << 20;

int32_t JpegOrientation(std::FILE* f) {
  std::rewind(f);
  ExifInfo info{};
  ParseJpegMetadata(f, info);
  return info.isExif ? info.orientation : 1;
}

// PNG: 8-byte signature, then chunks of length (big-endian), type, data and CRC.
int32_t PngOrientation(std::FILE* f) {
  uint64_t at = 8;
  for (int n = 0; n < kMaxChunks; ++n) {
    uint8_t head[8];
    if (!ReadFileAt(f, at, head, sizeof head)) return 1;
    ByteReader r(head);
    const uint32_t length = r.u32be();
    if (std::memcmp(head + 4, "IEND", 4) == 0) return 1;
    if (std::memcmp(head + 4, "eXIf", 4) == 0) {
      if (length > kMaxExifBytes) return 1;
      const auto block = ReadFileBlock(f, at + 8, length);
      return block ? ExifBlockOrientation(*block) : 1;
    }
    at += uint64_t{12} + length;
  }
  return 1;
}

// WebP: "RIFF", size, "WEBP", then chunks of fourcc, little-endian size and data padded to
// an even length.
int32_t WebpOrientation(std::FILE* f) {
  uint64_t at = 12;
  for (int n = 0; n < kMaxChunks; ++n) {
    uint8_t head[8];
    if (!ReadFileAt(f, at, head, sizeof head)) return 1;
    ByteReader r(std::span<const uint8_t>(head).subspan(4));
    const uint32_t size = r.u32le();
    if (std::memcmp(head, "EXIF", 4) == 0) {
      if (size > kMaxExifBytes) return 1;
      const auto block = ReadFileBlock(f, at + 8, size);
      return block ? ExifBlockOrientation(*block) : 1;
    }
    at += uint64_t{8} + size + (size & 1);
  }
  return 1;
}

// TIFF: the byte-order mark, 42, the offset of the first directory; the Orientation entry
// (tag 0x0112, SHORT) of that directory.
int32_t TiffOrientation(std::FILE* f, bool big) {
  uint8_t head[8];
  if (!ReadFileAt(f, 0, head, sizeof head)) return 1;
  ByteReader h(head);
  h.skip(4);
  const uint32_t first = h.u32(big);
  uint8_t countBytes[2];
  if (!ReadFileAt(f, first, countBytes, 2)) return 1;
  ByteReader c(countBytes);
  const uint16_t count = c.u16(big);
  const auto entries = ReadFileBlock(f, uint64_t{first} + 2, uint64_t{count} * 12);
  if (!entries) return 1;
  ByteReader r(*entries);
  for (uint16_t i = 0; i < count; ++i) {
    const uint16_t tag = r.u16(big);
    const uint16_t type = r.u16(big);
    const uint32_t n = r.u32(big);
    const uint16_t value = r.u16(big);
    r.skip(2);
    if (tag == 0x0112 && type == 3 && n >= 1) return value;
  }
  return 1;
}

// The primary item's rotation ("irot") and mirror ("imir"), applied in that order.
int32_t MetaOrientation(std::span<const uint8_t> meta) {
  int32_t quarterTurns = 0, mirror = -1;
  for (const IsoProperty& p : PrimaryItemProperties(meta)) {
    if (p.payload.empty()) continue;
    if (p.is("irot")) quarterTurns = p.payload[0] & 3;
    if (p.is("imir")) mirror = p.payload[0] & 1;
  }
  return OrientationOfRotateMirror(quarterTurns, mirror);
}

}  // namespace

int32_t OrientationOfRotateMirror(int32_t quarterTurns, int32_t mirror) {
  // Rows: 0, 1, 2, 3 quarter turns anticlockwise; columns: no mirror, top to bottom, left to
  // right. A turn followed by a mirror is one of the mirrored orientations.
  static constexpr int32_t kTable[4][3] = {{1, 4, 2}, {8, 5, 7}, {3, 2, 4}, {6, 7, 5}};
  const int32_t column = mirror == 0 ? 1 : mirror == 1 ? 2 : 0;
  return kTable[quarterTurns & 3][column];
}

int32_t IsoMediaOrientation(std::span<const uint8_t> bytes) {
  return MetaOrientation(FindIsoMediaMeta(bytes));
}

int32_t ReadFileOrientation(const std::string& path) {
  UniqueFile f = OpenRegularFile(path);
  if (!f) return 1;
  uint8_t head[12] = {};
  if (std::fread(head, 1, sizeof head, f.get()) != sizeof head) return 1;
  int32_t value = 1;
  if (head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) {
    value = JpegOrientation(f.get());
  } else if (std::memcmp(head, "\x89PNG\r\n\x1A\n", 8) == 0) {
    value = PngOrientation(f.get());
  } else if (std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WEBP", 4) == 0) {
    value = WebpOrientation(f.get());
  } else if (std::memcmp(head, "II*\0", 4) == 0) {
    value = TiffOrientation(f.get(), false);
  } else if (std::memcmp(head, "MM\0*", 4) == 0) {
    value = TiffOrientation(f.get(), true);
  } else if (std::memcmp(head + 4, "ftyp", 4) == 0) {
    const auto meta = ReadIsoMediaMeta(f.get());
    if (meta) value = MetaOrientation(*meta);
  }
  return NormalOrientation(value);
}

}  // namespace qp
