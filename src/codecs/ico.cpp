// Icon files, little-endian: a 6-byte header (reserved 0, type 1, image count), 16-byte
// directory entries (width and height bytes where 0 means 256, colour count, reserved,
// planes, bit count, data size, data offset), and per image a 40-byte bitmap header, a
// palette of blue-green-red-reserved entries for 1, 4 and 8 bits, the colour rows and the
// 1-bit mask rows. Rows are bottom-up and padded to 4 bytes. An entry's data may instead be a
// whole PNG file (as the large images of modern icons are stored).
#include "codecs/ico.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "codecs/png.h"
#include "core/byte_reader.h"
#include "core/file_io.h"

namespace qp {

namespace {

size_t RowBytes(int64_t width, int bits) { return static_cast<size_t>((width * bits + 31) / 32 * 4); }

struct FirstImage {
  int32_t count = 0;
  int32_t width = 0;
  int32_t height = 0;
  std::span<const uint8_t> data;
};

// The header, and the first directory entry's data, bounded by the file.
std::optional<FirstImage> ReadFirst(const std::vector<uint8_t>& file) {
  ByteReader r(file);
  const uint16_t reserved = r.u16le();
  const uint16_t type = r.u16le();
  const uint16_t count = r.u16le();
  if (!r.ok() || reserved != 0 || type != 1 || count == 0) return std::nullopt;
  const uint8_t w = r.u8();
  const uint8_t h = r.u8();
  r.skip(2 + 2 + 2);  // colour count, reserved, planes, bit count
  const uint32_t size = r.u32le();
  const uint32_t offset = r.u32le();
  if (!r.ok() || !RangeFits(offset, size, file.size())) return std::nullopt;
  FirstImage out;
  out.count = count;
  out.width = w == 0 ? 256 : w;
  out.height = h == 0 ? 256 : h;
  out.data = std::span<const uint8_t>(file).subspan(offset, size);
  return out;
}

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

bool IsPngEntry(std::span<const uint8_t> data) {
  return data.size() >= 8 && std::memcmp(data.data(), kPngSignature, 8) == 0;
}

// Bits per pixel of a PNG entry from its header chunk (signature, length, "IHDR", width,
// height, bit depth, colour type): the bit depth times the colour type's channels.
std::optional<int32_t> PngBitsPerPixel(std::span<const uint8_t> data) {
  ByteReader r(data);
  r.seek(12);
  const uint32_t chunk = r.u32be();
  r.skip(8);  // width, height
  const uint8_t depth = r.u8();
  const uint8_t colourType = r.u8();
  if (!r.ok() || chunk != 0x49484452u) return std::nullopt;  // "IHDR"
  int32_t channels = 0;
  switch (colourType) {
    case 0: channels = 1; break;  // grey
    case 2: channels = 3; break;  // RGB
    case 3: channels = 1; break;  // palette
    case 4: channels = 2; break;  // grey and alpha
    case 6: channels = 4; break;  // RGB and alpha
    default: return std::nullopt;
  }
  return channels * depth;
}

}  // namespace

std::optional<IconInfo> readIconInfo(const std::string& path) {
  auto file = ReadWholeFile(path, 64u << 20);
  if (!file) return std::nullopt;
  auto first = ReadFirst(*file);
  if (!first) return std::nullopt;
  IconInfo info;
  info.count = first->count;
  if (IsPngEntry(first->data)) {
    auto bits = PngBitsPerPixel(first->data);
    if (!bits) return std::nullopt;
    info.planes = 1;
    info.bitCount = *bits;
    return info;
  }
  ByteReader r(first->data);
  r.seek(12);
  info.planes = r.u16le();
  info.bitCount = r.u16le();
  if (!r.ok()) return std::nullopt;
  return info;
}

DecodeResult readIcon(const std::string& path) {
  auto file = ReadWholeFile(path, 64u << 20);
  if (!file) return {};
  auto first = ReadFirst(*file);
  if (!first) return {};
  if (IsPngEntry(first->data)) {
    // The PNG holds its own size; only whether it has transparency is kept of its details.
    DecodeResult png = DecodePng(first->data);
    DecodeDetails details;
    details.hasAlpha = png.details.hasAlpha;
    return std::move(png).with(details);
  }
  ByteReader r(first->data);
  const uint32_t headerSize = r.u32le();
  r.skip(4 + 4 + 2);  // width, doubled height, planes: the directory's size is used
  const uint16_t bits = r.u16le();
  const uint32_t compression = r.u32le();
  r.skip(4 + 4 + 4);  // image size, resolutions
  const uint32_t coloursUsed = r.u32le();
  if (!r.ok() || headerSize != 40 || compression != 0) return {};
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return {};

  const int32_t w = first->width, h = first->height;
  size_t paletteEntries = 0;
  if (bits <= 8) {
    paletteEntries = size_t{1} << bits;
    if (coloursUsed > 0 && coloursUsed < paletteEntries) paletteEntries = coloursUsed;
  }
  const size_t paletteAt = 40;
  const size_t colourAt = paletteAt + paletteEntries * 4;
  const size_t colourRow = RowBytes(w, bits);
  const size_t maskAt = colourAt + colourRow * static_cast<size_t>(h);
  const size_t maskRow = RowBytes(w, 1);
  // The data must hold everything the entry describes; nothing is read beyond it.
  if (!RangeFits(maskAt, maskRow * static_cast<size_t>(h), first->data.size())) return {};

  auto img = ImageBuffer::Allocate(w, h);
  if (!img) return {};
  const uint8_t* d = first->data.data();
  // A 32-bit entry carries its own alpha channel unless every alpha byte is 0 (older
  // writers leave them so and rely on the mask).
  bool ownAlpha = false;
  if (bits == 32) {
    for (int32_t y = 0; y < h && !ownAlpha; ++y) {
      const uint8_t* row = d + colourAt + colourRow * static_cast<size_t>(y);
      for (int32_t x = 0; x < w; ++x) {
        if (row[static_cast<size_t>(x) * 4 + 3] != 0) {
          ownAlpha = true;
          break;
        }
      }
    }
  }
  for (int32_t y = 0; y < h; ++y) {
    const uint8_t* row = d + colourAt + colourRow * static_cast<size_t>(h - 1 - y);
    uint8_t* out = img->row(y);
    for (int32_t x = 0; x < w; ++x, out += 4) {
      if (bits >= 24) {
        const uint8_t* p = row + static_cast<size_t>(x) * (bits / 8);
        out[0] = p[0];
        out[1] = p[1];
        out[2] = p[2];
        if (ownAlpha) out[3] = p[3];
        continue;
      }
      size_t index = 0;
      if (bits == 8) index = row[x];
      if (bits == 4) index = (row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0x0F;
      if (bits == 1) index = (row[x / 8] >> (7 - x % 8)) & 1;
      // An index beyond the palette shows black rather than reading past it.
      if (index < paletteEntries) std::memcpy(out, d + paletteAt + index * 4, 4);
      else std::memset(out, 0, 4);
    }
  }
  for (int32_t y = 0; y < h && !ownAlpha; ++y) {
    const uint8_t* row = d + maskAt + maskRow * static_cast<size_t>(h - 1 - y);
    uint8_t* out = img->row(y);
    for (int32_t x = 0; x < w; ++x) out[x * 4 + 3] = ((row[x / 8] >> (7 - x % 8)) & 1) ? 0 : 255;
  }
  DecodeDetails details;
  details.hasAlpha = HasMeaningfulAlpha(*img);
  return DecodeResult(std::move(*img)).with(details);
}

const char* writeIcon(const uint8_t* pixels, int32_t width, int32_t height, const char* path) {
  if (pixels == nullptr || width <= 0 || height <= 0 || width > 255 || height > 255)
    return "Out of memory";
  const int32_t colours = CountUniqueColours(pixels, width, height);
  if (colours < 0) return "Out of memory";
  const int bits = colours <= 2 ? 1 : colours <= 16 ? 4 : colours <= 256 ? 8 : 24;
  const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);

  // Palette: the distinct colours in ascending order of their 0xRRGGBB value.
  std::vector<uint32_t> palette;
  if (bits <= 8) {
    palette.reserve(n);
    for (size_t i = 0; i < n; ++i) palette.push_back(LoadPixel(pixels + i * 4) & 0xFFFFFFu);
    std::sort(palette.begin(), palette.end());
    palette.erase(std::unique(palette.begin(), palette.end()), palette.end());
  }
  const size_t paletteEntries = bits <= 8 ? size_t{1} << bits : 0;
  const size_t colourRow = RowBytes(width, bits);
  const size_t maskRow = RowBytes(width, 1);
  std::vector<uint8_t> colourRows(colourRow * static_cast<size_t>(height), 0);
  std::vector<uint8_t> maskRows(maskRow * static_cast<size_t>(height), 0);
  const bool masked = HasMeaningfulAlpha(pixels, width, height);

  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* src = pixels + static_cast<size_t>(y) * width * 4;
    const size_t fileRow = static_cast<size_t>(height - 1 - y);
    uint8_t* row = colourRows.data() + colourRow * fileRow;
    uint8_t* mask = maskRows.data() + maskRow * fileRow;
    for (int32_t x = 0; x < width; ++x) {
      const uint8_t* p = src + static_cast<size_t>(x) * 4;
      if (bits == 24) {
        std::memcpy(row + static_cast<size_t>(x) * 3, p, 3);
      } else {
        const uint32_t c = LoadPixel(p) & 0xFFFFFFu;
        const auto index =
            static_cast<uint8_t>(std::lower_bound(palette.begin(), palette.end(), c) - palette.begin());
        if (bits == 8) row[x] = index;
        if (bits == 4) row[x / 2] |= static_cast<uint8_t>(x % 2 == 0 ? index << 4 : index);
        if (bits == 1) row[x / 8] |= static_cast<uint8_t>(index << (7 - x % 8));
      }
      if (masked && p[3] == 0) mask[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
  }

  std::vector<uint8_t> out;
  auto u16 = [&](uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
  };
  auto u32 = [&](uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  };
  const uint32_t dataSize =
      static_cast<uint32_t>(40 + paletteEntries * 4 + colourRows.size() + maskRows.size());
  u16(0);
  u16(1);
  u16(1);
  out.push_back(static_cast<uint8_t>(width));
  out.push_back(static_cast<uint8_t>(height));
  out.push_back(bits == 4 ? 16 : 0);
  out.push_back(0);
  u16(0);
  u16(static_cast<uint32_t>(bits));
  u32(dataSize);
  u32(22);
  u32(40);
  u32(static_cast<uint32_t>(width));
  u32(static_cast<uint32_t>(2 * height));
  u16(1);
  u16(static_cast<uint32_t>(bits));
  u32(0);
  u32(static_cast<uint32_t>((bits * width + 31) / 32 * 32 / 8 * 2 * height));
  out.resize(out.size() + 16, 0);
  for (size_t i = 0; i < paletteEntries; ++i) {
    const uint32_t c = i < palette.size() ? palette[i] : 0;
    out.insert(out.end(), {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8),
                           static_cast<uint8_t>(c >> 16), 0});
  }
  out.insert(out.end(), colourRows.begin(), colourRows.end());
  out.insert(out.end(), maskRows.begin(), maskRows.end());
  // A write that does not complete is reported, not left as a silently broken icon.
  if (!WriteWholeFile(path, out)) return "Could not write file";
  return nullptr;
}

}  // namespace qp
