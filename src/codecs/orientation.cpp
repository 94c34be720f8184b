#include "codecs/orientation.h"

#include <array>
#include <cstring>
#include <optional>
#include <vector>

#include "core/byte_reader.h"
#include "core/file_io.h"
#include "core/orientation.h"
#include "metadata/exif.h"

namespace qp {

namespace {

// EXIF blocks are small (a JPEG segment holds at most 64 KiB); anything far larger is not one.
constexpr uint32_t kMaxExifBytes = 1u << 20;
// A "meta" box holds item descriptions, not pixels: a few KiB, rarely more.
constexpr uint64_t kMaxMetaBytes = 16u << 20;
// Chunks or boxes looked at before giving up on a file.
constexpr int kMaxChunks = 1 << 20;
constexpr int kMaxBoxes = 256;

bool ReadAt(std::FILE* f, uint64_t offset, void* dst, size_t n) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
  return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0 && std::fread(dst, 1, n, f) == n;
}

std::optional<std::vector<uint8_t>> ReadBlock(std::FILE* f, uint64_t offset, uint64_t n) {
  std::vector<uint8_t> out(static_cast<size_t>(n));
  if (n != 0 && !ReadAt(f, offset, out.data(), out.size())) return std::nullopt;
  return out;
}

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
    if (!ReadAt(f, at, head, sizeof head)) return 1;
    ByteReader r(head);
    const uint32_t length = r.u32be();
    if (std::memcmp(head + 4, "IEND", 4) == 0) return 1;
    if (std::memcmp(head + 4, "eXIf", 4) == 0) {
      if (length > kMaxExifBytes) return 1;
      const auto block = ReadBlock(f, at + 8, length);
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
    if (!ReadAt(f, at, head, sizeof head)) return 1;
    ByteReader r(std::span<const uint8_t>(head).subspan(4));
    const uint32_t size = r.u32le();
    if (std::memcmp(head, "EXIF", 4) == 0) {
      if (size > kMaxExifBytes) return 1;
      const auto block = ReadBlock(f, at + 8, size);
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
  if (!ReadAt(f, 0, head, sizeof head)) return 1;
  ByteReader h(head);
  h.skip(4);
  const uint32_t first = h.u32(big);
  uint8_t countBytes[2];
  if (!ReadAt(f, first, countBytes, 2)) return 1;
  ByteReader c(countBytes);
  const uint16_t count = c.u16(big);
  const auto entries = ReadBlock(f, uint64_t{first} + 2, uint64_t{count} * 12);
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

// ISO media boxes: 32-bit size (1: a 64-bit size follows, 0: to the end), type, payload.
struct Box {
  std::array<char, 4> type{};
  uint64_t payloadAt = 0;  // offset of the payload in the enclosing block
  uint64_t payloadSize = 0;
};

std::optional<Box> NextBox(ByteReader& r) {
  const uint64_t start = r.position();
  Box b;
  uint64_t size = r.u32be();
  const auto type = r.bytes(4);
  if (!r.ok()) return std::nullopt;
  std::memcpy(b.type.data(), type.data(), 4);
  if (size == 1) size = uint64_t{r.u32be()} << 32 | r.u32be();
  else if (size == 0) size = r.size() - start;
  const uint64_t header = r.position() - start;
  if (!r.ok() || size < header || !RangeFits(start, size, r.size())) return std::nullopt;
  b.payloadAt = r.position();
  b.payloadSize = size - header;
  r.seek(start + size);
  return b;
}

bool Is(const Box& b, const char* type) { return std::memcmp(b.type.data(), type, 4) == 0; }

// The payload of a "meta" box: version and flags, then boxes. The primary item ("pitm") and
// the properties associated with it ("ipma" indexes into "ipco") give its rotation ("irot")
// and mirror ("imir"), applied in that order.
int32_t MetaOrientation(std::span<const uint8_t> meta) {
  ByteReader r(meta);
  r.skip(4);
  std::optional<uint32_t> primary;
  std::vector<Box> properties;  // ipco's boxes, index 1 first
  std::span<const uint8_t> ipma;
  for (int n = 0; n < kMaxBoxes && r.ok() && !r.atEnd(); ++n) {
    const auto box = NextBox(r);
    if (!box) break;
    const auto payload = meta.subspan(static_cast<size_t>(box->payloadAt),
                                      static_cast<size_t>(box->payloadSize));
    if (Is(*box, "pitm")) {
      ByteReader p(payload);
      const uint8_t version = p.u8();
      p.skip(3);
      const uint32_t id = version == 0 ? p.u16be() : p.u32be();
      if (p.ok()) primary = id;
    } else if (Is(*box, "iprp")) {
      ByteReader p(payload);
      for (int k = 0; k < kMaxBoxes && p.ok() && !p.atEnd(); ++k) {
        const auto child = NextBox(p);
        if (!child) break;
        const auto inner = payload.subspan(static_cast<size_t>(child->payloadAt),
                                           static_cast<size_t>(child->payloadSize));
        if (Is(*child, "ipco")) {
          ByteReader c(inner);
          for (int j = 0; j < 4096 && c.ok() && !c.atEnd(); ++j) {
            auto property = NextBox(c);
            if (!property) break;
            property->payloadAt += box->payloadAt + child->payloadAt;
            properties.push_back(*property);
          }
        } else if (Is(*child, "ipma") && ipma.empty()) {
          ipma = inner;
        }
      }
    }
  }
  if (!primary || ipma.empty()) return 1;
  ByteReader a(ipma);
  const uint8_t version = a.u8();
  a.skip(2);
  const bool wideIndex = (a.u8() & 1) != 0;
  const uint32_t entries = a.u32be();
  int32_t quarterTurns = 0, mirror = -1;
  for (uint32_t e = 0; e < entries && a.ok(); ++e) {
    const uint32_t item = version < 1 ? a.u16be() : a.u32be();
    const uint8_t count = a.u8();
    for (uint8_t k = 0; k < count && a.ok(); ++k) {
      const uint32_t index = wideIndex ? (a.u16be() & 0x7FFFu) : (a.u8() & 0x7Fu);
      if (item != *primary || index == 0 || index > properties.size()) continue;
      const Box& p = properties[index - 1];
      if (p.payloadSize < 1) continue;
      const uint8_t value = meta[static_cast<size_t>(p.payloadAt)];
      if (Is(p, "irot")) quarterTurns = value & 3;
      if (Is(p, "imir")) mirror = value & 1;
    }
  }
  return OrientationOfRotateMirror(quarterTurns, mirror);
}

int32_t IsoMediaFileOrientation(std::FILE* f) {
  uint64_t at = 0;
  for (int n = 0; n < kMaxBoxes; ++n) {
    uint8_t head[16];
    if (!ReadAt(f, at, head, 8)) return 1;
    ByteReader r(std::span<const uint8_t>(head, 8));
    uint64_t size = r.u32be();
    uint64_t header = 8;
    if (size == 1) {
      if (!ReadAt(f, at + 8, head + 8, 8)) return 1;
      ByteReader l(std::span<const uint8_t>(head + 8, 8));
      size = uint64_t{l.u32be()} << 32 | l.u32be();
      header = 16;
    }
    if (std::memcmp(head + 4, "meta", 4) == 0) {
      if (size == 0 || size < header || size - header > kMaxMetaBytes) return 1;
      const auto meta = ReadBlock(f, at + header, size - header);
      return meta ? MetaOrientation(*meta) : 1;
    }
    if (size < header) return 1;  // a box to the end of the file (0) ends the search too
    at += size;
  }
  return 1;
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
  ByteReader r(bytes);
  for (int n = 0; n < kMaxBoxes && r.ok() && !r.atEnd(); ++n) {
    const auto box = NextBox(r);
    if (!box) return 1;
    if (Is(*box, "meta"))
      return MetaOrientation(bytes.subspan(static_cast<size_t>(box->payloadAt),
                                           static_cast<size_t>(box->payloadSize)));
  }
  return 1;
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
    value = IsoMediaFileOrientation(f.get());
  }
  return NormalOrientation(value);
}

}  // namespace qp
