// Bitmap file: "BM", file size, two reserved words, pixel offset (14 bytes), then an info header
// that starts with its own size: 12 (OS/2 core), 40 (Windows), 52, 56, 108, 124 (the longer
// ones carry the red, green, blue and (from 56) alpha masks at bytes 40 to 55, then colour-space
// data), 64 (OS/2 2). With compression 3 (bit fields) and a 40-byte header, the red, green and
// blue masks follow the header. The colour table, if any, follows the header and the masks.
//
// TGA file: an 18-byte header (ID length, colour-map type, image type, first map entry, map
// length, map entry bits, x and y origin, width, height, pixel bits, descriptor), the ID, the
// colour map, then the pixels. Colour-mapped pixels (image types 1 and 9) hold absolute map
// indices, so with a first entry of k the smallest index in use is k.
#include "codecs/freeimage_input.h"

#include "core/byte_reader.h"

namespace qp {
namespace {

constexpr int32_t kBmp = 0;
constexpr int32_t kTarga = 17;
constexpr uint32_t kBitFields = 3;
constexpr uint32_t kRle4 = 2;

bool IsLongHeader(uint32_t size) { return size == 52 || size == 56 || size == 108 || size == 124; }

// Masks the library applies to 16-bit (5-6-5, 5-5-5) and 32-bit (8-8-8) bit-field pixels; it
// reads any other masks as if they were these.
bool LibraryKnowsMasks(uint16_t bits, uint32_t r, uint32_t g, uint32_t b) {
  if (bits == 16)
    return (r == 0xF800 && g == 0x07E0 && b == 0x001F) ||
           (r == 0x7C00 && g == 0x03E0 && b == 0x001F);
  if (bits == 32) return r == 0xFF0000 && g == 0xFF00 && b == 0xFF;
  return true;
}

// The library reads only the 40-byte header: files with a longer one are handed over with a
// 40-byte header when their masks are ones it applies (its reading ignores the colour-space
// part), else left to the next decoder.
LibraryRoute BitmapRoute(std::span<const uint8_t> head) {
  ByteReader r(head);
  if (!r.expect("BM") || !r.skip(12)) return LibraryRoute::AsFile;
  const uint32_t headerSize = r.u32le();
  if (headerSize != 40 && !IsLongHeader(headerSize)) return LibraryRoute::AsFile;
  r.skip(8);  // width, height
  r.u16le();  // planes
  const uint16_t bits = r.u16le();
  const uint32_t compression = r.u32le();
  if (!r.ok()) return LibraryRoute::AsFile;
  const LibraryRoute fits = headerSize == 40 ? LibraryRoute::AsFile : LibraryRoute::Rewrite;
  if (compression <= kRle4 && headerSize != 40) return LibraryRoute::Rewrite;
  if (compression != kBitFields) return headerSize == 40 ? LibraryRoute::AsFile
                                                         : LibraryRoute::NotForLibrary;
  r.seek(14 + 40);
  const uint32_t red = r.u32le(), green = r.u32le(), blue = r.u32le();
  const uint32_t alpha = headerSize >= 56 ? r.u32le() : 0;
  if (!r.ok()) return LibraryRoute::AsFile;
  // 32-bit pixels keep their fourth byte as alpha; 16-bit ones lose an alpha bit field.
  const bool alphaKept = alpha == 0 || (bits == 32 && alpha == 0xFF000000u);
  return LibraryKnowsMasks(bits, red, green, blue) && alphaKept ? fits
                                                                 : LibraryRoute::NotForLibrary;
}

// The same bitmap with a 40-byte info header (and the masks after it for bit fields).
std::optional<std::vector<uint8_t>> ShortenBitmapHeader(std::span<const uint8_t> file) {
  ByteReader r(file);
  if (!r.expect("BM") || !r.skip(8)) return std::nullopt;
  const uint32_t pixelsAt = r.u32le();
  const uint32_t headerSize = r.u32le();
  r.seek(14 + 16);
  const uint32_t compression = r.u32le();
  if (!r.ok() || !IsLongHeader(headerSize) || uint64_t{pixelsAt} < 14 + uint64_t{headerSize} ||
      pixelsAt > file.size())
    return std::nullopt;
  const size_t masks = compression == kBitFields ? 12 : 0;
  std::vector<uint8_t> out(file.begin(), file.begin() + 14 + 40);
  out.insert(out.end(), file.begin() + 14 + 40, file.begin() + 14 + 40 + masks);
  out.insert(out.end(), file.begin() + 14 + headerSize, file.end());
  auto put32 = [&out](size_t at, uint64_t v) {
    for (size_t k = 0; k < 4; ++k) out[at + k] = static_cast<uint8_t>(v >> (8 * k));
  };
  put32(2, out.size());
  put32(10, pixelsAt - headerSize + 40 + masks);
  put32(14, 40);
  return out;
}

struct TgaMap {
  uint8_t idLength = 0;
  uint16_t first = 0, length = 0;
  uint8_t entryBits = 0;
};

// The colour map of a colour-mapped TGA, or nothing for any other file.
std::optional<TgaMap> ReadTgaMap(std::span<const uint8_t> head) {
  ByteReader r(head);
  TgaMap m;
  m.idLength = r.u8();
  const uint8_t mapType = r.u8();
  const uint8_t imageType = r.u8();
  m.first = r.u16le();
  m.length = r.u16le();
  m.entryBits = r.u8();
  if (!r.ok() || mapType != 1 || (imageType != 1 && imageType != 9)) return std::nullopt;
  return m;
}

// WBMP's multi-byte integer: 7 bits per byte, high bit set on all but the last (at most 5).
std::optional<int64_t> WbmpInt(ByteReader& r) {
  int64_t v = 0;
  for (int i = 0; i < 5; ++i) {
    const uint8_t b = r.u8();
    if (!r.ok()) return std::nullopt;
    v = v << 7 | (b & 0x7F);
    if ((b & 0x80) == 0) return v;
  }
  return std::nullopt;
}

// The JP2 image header box ("ihdr": height, width) inside the header superbox ("jp2h"),
// found among the top-level boxes in `head`.
std::optional<ClaimedSize> Jp2Size(std::span<const uint8_t> head) {
  ByteReader r(head);
  uint64_t at = 0;
  while (RangeFits(at, 8, head.size())) {
    r.seek(at);
    const uint32_t length = r.u32be();
    const uint32_t type = r.u32be();
    if (type == 0x6A703268) {  // "jp2h": its first box is "ihdr"
      r.u32be();
      if (r.u32be() != 0x69686472) return std::nullopt;
      const int64_t height = r.u32be(), width = r.u32be();
      if (!r.ok()) return std::nullopt;
      return ClaimedSize{width, height};
    }
    if (length < 8) return std::nullopt;  // 0 (to the end) and 1 (64-bit length) stop here
    at += length;
  }
  return std::nullopt;
}

}  // namespace

std::optional<ClaimedSize> ClaimedPictureSize(std::span<const uint8_t> head, int32_t format) {
  ByteReader r(head);
  std::optional<ClaimedSize> size;
  switch (format) {
    case 28: {  // SGI: magic 474, storage, bytes per channel, dimension, x, y (big-endian)
      if (r.u16be() != 474) return std::nullopt;
      r.skip(4);
      const int64_t x = r.u16be(), y = r.u16be();
      size = ClaimedSize{x, y};
      break;
    }
    case 24: {  // DDS: "DDS ", header size, flags, height, width (little-endian)
      if (!r.expect("DDS ")) return std::nullopt;
      r.skip(8);
      const int64_t height = r.u32le(), width = r.u32le();
      size = ClaimedSize{width, height};
      break;
    }
    case 19: {  // WBMP: type 0, fixed header, width, height as multi-byte integers
      if (r.u8() != 0) return std::nullopt;
      r.u8();
      const auto width = WbmpInt(r), height = WbmpInt(r);
      if (!width || !height) return std::nullopt;
      size = ClaimedSize{*width, *height};
      break;
    }
    case 33: {  // PICT: 512-byte preamble, picture size, frame top, left, bottom, right
      r.seek(512 + 2);
      const int64_t top = static_cast<int16_t>(r.u16be()), left = static_cast<int16_t>(r.u16be());
      const int64_t bottom = static_cast<int16_t>(r.u16be());
      const int64_t right = static_cast<int16_t>(r.u16be());
      size = ClaimedSize{right - left, bottom - top};
      break;
    }
    case 5: {  // IFF: "FORM", size, form type, then the "BMHD" chunk: width, height
      if (!r.expect("FORM") || !r.skip(8)) return std::nullopt;
      while (r.ok() && !r.atEnd()) {
        const uint32_t id = r.u32be();
        const uint32_t length = r.u32be();
        if (id == 0x424D4844) {  // "BMHD"
          const int64_t width = r.u16be(), height = r.u16be();
          size = ClaimedSize{width, height};
          break;
        }
        if (!r.skip(uint64_t{length} + (length & 1))) return std::nullopt;
      }
      break;
    }
    case 30: {  // JPEG 2000 codestream: SOC, SIZ, its length, Rsiz, Xsiz, Ysiz, XOsiz, YOsiz
      if (!r.expect("\xFF\x4F\xFF\x51") || !r.skip(4)) return std::nullopt;
      const int64_t x = r.u32be(), y = r.u32be(), x0 = r.u32be(), y0 = r.u32be();
      size = ClaimedSize{x - x0, y - y0};
      break;
    }
    case 31: return Jp2Size(head);
    default: return std::nullopt;
  }
  if (!r.ok() || !size) return std::nullopt;
  return size;
}

LibraryRoute RouteForLibrary(std::span<const uint8_t> head, int32_t format) {
  if (format == kBmp) return BitmapRoute(head);
  if (format == kTarga) {
    const auto map = ReadTgaMap(head);
    if (map && map->first != 0) return LibraryRoute::Rewrite;
  }
  return LibraryRoute::AsFile;
}

std::optional<std::vector<uint8_t>> RewriteForLibrary(std::span<const uint8_t> file,
                                                      int32_t format) {
  if (format == kBmp) return ShortenBitmapHeader(file);
  if (format != kTarga) return std::nullopt;
  const auto map = ReadTgaMap(file);
  if (!map || map->first == 0) return std::nullopt;
  const uint32_t entryBytes = (map->entryBits + 7u) / 8u;
  const uint32_t entries = uint32_t{map->first} + map->length;
  if (entryBytes == 0 || entries > 0xFFFF) return std::nullopt;
  const uint64_t mapAt = 18 + uint64_t{map->idLength};
  const uint64_t mapBytes = uint64_t{map->length} * entryBytes;
  if (!RangeFits(mapAt, mapBytes, file.size())) return std::nullopt;

  std::vector<uint8_t> out;
  out.reserve(file.size() + size_t{map->first} * entryBytes);
  out.insert(out.end(), file.begin(), file.begin() + static_cast<std::ptrdiff_t>(mapAt));
  out[3] = out[4] = 0;  // first entry 0
  out[5] = static_cast<uint8_t>(entries);
  out[6] = static_cast<uint8_t>(entries >> 8);
  out.insert(out.end(), size_t{map->first} * entryBytes, 0);
  out.insert(out.end(), file.begin() + static_cast<std::ptrdiff_t>(mapAt), file.end());
  return out;
}

}  // namespace qp
