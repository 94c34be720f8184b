// QOI 1.0, as published: a 14-byte header ("qoif", width and height as big-endian 32-bit,
// channels 3 or 4, colourspace 0 or 1), a stream of chunks and an end marker of seven zero
// bytes and a 1. Each pixel is coded against the previous one (initially r 0, g 0, b 0,
// a 255) and a 64-entry index of recently seen pixels, hashed (r*3 + g*5 + b*7 + a*11) % 64:
//   QOI_OP_INDEX 00iiiiii      the pixel at index i
//   QOI_OP_DIFF  01rrggbb      each channel differs by -2..1 (bias 2), alpha unchanged
//   QOI_OP_LUMA  10gggggg rrrrbbbb  green by -32..31 (bias 32); red and blue differ from the
//                              green difference by -8..7 (bias 8)
//   QOI_OP_RUN   11llllll      the previous pixel repeated 1..62 times (bias -1)
//   QOI_OP_RGB   11111110 r g b
//   QOI_OP_RGBA  11111111 r g b a
// Both sides refuse images of 400,000,000 pixels or more.
#include "codecs/qoi.h"

#include <cstring>

#include "core/byte_reader.h"
#include "core/file_io.h"

namespace qp {

namespace {

constexpr uint8_t kOpIndex = 0x00, kOpDiff = 0x40, kOpLuma = 0x80, kOpRun = 0xC0;
constexpr uint8_t kOpRgb = 0xFE, kOpRgba = 0xFF, kMask2 = 0xC0;
constexpr size_t kHeaderSize = 14;
constexpr uint8_t kPadding[8] = {0, 0, 0, 0, 0, 0, 0, 1};
constexpr uint64_t kPixelsMax = 400000000;

struct Rgba {
  uint8_t r = 0, g = 0, b = 0, a = 255;
  bool operator==(const Rgba&) const = default;
};

int Hash(const Rgba& c) { return (c.r * 3 + c.g * 5 + c.b * 7 + c.a * 11) % 64; }

bool DescriptionValid(const QoiDescription& d) {
  return d.width != 0 && d.height != 0 && (d.channels == 3 || d.channels == 4) &&
         d.colourspace < 2 && d.height < kPixelsMax / d.width;
}

void PutU32be(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

}  // namespace

std::optional<std::vector<uint8_t>> QoiEncode(const uint8_t* pixels, const QoiDescription& desc) {
  if (pixels == nullptr || !DescriptionValid(desc)) return std::nullopt;
  const size_t count = size_t{desc.width} * desc.height;
  std::vector<uint8_t> out;
  try {
    out.reserve(count * (desc.channels + 1) + kHeaderSize + sizeof kPadding);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  out.insert(out.end(), {'q', 'o', 'i', 'f'});
  PutU32be(out, desc.width);
  PutU32be(out, desc.height);
  out.push_back(desc.channels);
  out.push_back(desc.colourspace);

  Rgba index[64] = {};
  for (Rgba& c : index) c.a = 0;
  Rgba prev;
  int run = 0;
  const size_t step = desc.channels;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = pixels + i * step;
    Rgba px{p[0], p[1], p[2], step == 4 ? p[3] : prev.a};
    if (px == prev) {
      ++run;
      if (run == 62 || i == count - 1) {
        out.push_back(static_cast<uint8_t>(kOpRun | (run - 1)));
        run = 0;
      }
      continue;
    }
    if (run > 0) {
      out.push_back(static_cast<uint8_t>(kOpRun | (run - 1)));
      run = 0;
    }
    const int slot = Hash(px);
    if (index[slot] == px) {
      out.push_back(static_cast<uint8_t>(kOpIndex | slot));
    } else {
      index[slot] = px;
      if (px.a == prev.a) {
        const int8_t vr = static_cast<int8_t>(px.r - prev.r);
        const int8_t vg = static_cast<int8_t>(px.g - prev.g);
        const int8_t vb = static_cast<int8_t>(px.b - prev.b);
        const int8_t vgr = static_cast<int8_t>(vr - vg);
        const int8_t vgb = static_cast<int8_t>(vb - vg);
        if (vr > -3 && vr < 2 && vg > -3 && vg < 2 && vb > -3 && vb < 2) {
          out.push_back(static_cast<uint8_t>(kOpDiff | (vr + 2) << 4 | (vg + 2) << 2 | (vb + 2)));
        } else if (vgr > -9 && vgr < 8 && vg > -33 && vg < 32 && vgb > -9 && vgb < 8) {
          out.push_back(static_cast<uint8_t>(kOpLuma | (vg + 32)));
          out.push_back(static_cast<uint8_t>((vgr + 8) << 4 | (vgb + 8)));
        } else {
          out.insert(out.end(), {kOpRgb, px.r, px.g, px.b});
        }
      } else {
        out.insert(out.end(), {kOpRgba, px.r, px.g, px.b, px.a});
      }
    }
    prev = px;
  }
  out.insert(out.end(), std::begin(kPadding), std::end(kPadding));
  return out;
}

std::optional<std::vector<uint8_t>> QoiDecode(std::span<const uint8_t> data, QoiDescription& desc,
                                              int channels) {
  if ((channels != 0 && channels != 3 && channels != 4) ||
      data.size() < kHeaderSize + sizeof kPadding)
    return std::nullopt;
  ByteReader r(data);
  if (!r.expect("qoif")) return std::nullopt;
  desc.width = r.u32be();
  desc.height = r.u32be();
  desc.channels = r.u8();
  desc.colourspace = r.u8();
  if (!r.ok() || !DescriptionValid(desc)) return std::nullopt;
  if (channels == 0) channels = desc.channels;
  const size_t count = size_t{desc.width} * desc.height;
  std::vector<uint8_t> out;
  try {
    out.resize(count * static_cast<size_t>(channels));
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  // Chunks are read only up to the end marker's 8 bytes.
  ByteReader chunks = r.sub(kHeaderSize, data.size() - kHeaderSize - sizeof kPadding);
  Rgba index[64] = {};
  for (Rgba& c : index) c.a = 0;
  Rgba px;
  int run = 0;
  for (size_t i = 0; i < count; ++i) {
    if (run > 0) {
      --run;
    } else if (!chunks.atEnd()) {
      const uint8_t b1 = chunks.u8();
      if (b1 == kOpRgb) {
        px.r = chunks.u8();
        px.g = chunks.u8();
        px.b = chunks.u8();
      } else if (b1 == kOpRgba) {
        px.r = chunks.u8();
        px.g = chunks.u8();
        px.b = chunks.u8();
        px.a = chunks.u8();
      } else if ((b1 & kMask2) == kOpIndex) {
        px = index[b1];
      } else if ((b1 & kMask2) == kOpDiff) {
        px.r = static_cast<uint8_t>(px.r + ((b1 >> 4) & 3) - 2);
        px.g = static_cast<uint8_t>(px.g + ((b1 >> 2) & 3) - 2);
        px.b = static_cast<uint8_t>(px.b + (b1 & 3) - 2);
      } else if ((b1 & kMask2) == kOpLuma) {
        const uint8_t b2 = chunks.u8();
        const int vg = (b1 & 0x3F) - 32;
        px.r = static_cast<uint8_t>(px.r + vg - 8 + ((b2 >> 4) & 0x0F));
        px.g = static_cast<uint8_t>(px.g + vg);
        px.b = static_cast<uint8_t>(px.b + vg - 8 + (b2 & 0x0F));
      } else {
        run = b1 & 0x3F;
      }
      index[Hash(px)] = px;
    }
    // When the chunks run out, the remaining pixels repeat the last one.
    uint8_t* o = out.data() + i * static_cast<size_t>(channels);
    o[0] = px.r;
    o[1] = px.g;
    o[2] = px.b;
    if (channels == 4) o[3] = px.a;
  }
  return out;
}

DecodeResult readQoi(const std::string& path) {
  auto data = ReadWholeFile(path);
  if (!data || data->empty()) return {};
  // The format allows up to 400,000,000 pixels, more than any picture this program keeps: a
  // header above the pixel limit is refused before the decoder reserves its output.
  ByteReader header(*data);
  header.skip(4);
  const uint32_t width = header.u32be();
  const uint32_t height = header.u32be();
  if (!header.ok() || !PictureBytes(width, height)) return {};
  QoiDescription desc;
  auto decoded = QoiDecode(*data, desc, 0);
  if (!decoded) return {};
  auto img = ImageBuffer::Allocate(desc.width, desc.height);
  if (!img) return {};
  const uint8_t* s = decoded->data();
  uint8_t* d = img->data();
  const size_t n = img->pixelCount();
  if (desc.channels == 3) {
    for (size_t i = 0; i < n; ++i, s += 3, d += 4) {
      d[0] = s[2];
      d[1] = s[1];
      d[2] = s[0];
      d[3] = 0;
    }
  } else {
    for (size_t i = 0; i < n; ++i, s += 4, d += 4) {
      d[0] = s[2];
      d[1] = s[1];
      d[2] = s[0];
      d[3] = s[3];
    }
  }
  DecodeDetails details;
  // A 4-channel file whose alpha is uniform (all opaque, or all 0 as some writers leave it)
  // shows as an opaque picture.
  details.hasAlpha = desc.channels == 4 && HasMeaningfulAlpha(*img);
  return DecodeResult(std::move(*img)).with(details);
}

const char* writeQoi(const uint8_t* pixels, int32_t width, int32_t height, const char* path) {
  constexpr const char* kFailed = "Couldn't write/encode file";
  UniqueFile f = OpenFile(path, "wb");
  if (!f) return kFailed;
  if (pixels == nullptr || width <= 0 || height <= 0) return kFailed;
  // Alpha bytes that carry nothing (a JPEG's zeros, or all opaque) are not written: other
  // readers would show stored zeros as a wholly transparent picture.
  const bool alpha = HasMeaningfulAlpha(pixels, width, height);
  const uint8_t channels = alpha ? 4 : 3;
  const QoiDescription desc{static_cast<uint32_t>(width), static_cast<uint32_t>(height), channels,
                            0};
  if (!DescriptionValid(desc)) return kFailed;
  const size_t n = size_t{desc.width} * desc.height;
  std::vector<uint8_t> rgb;
  try {
    rgb.resize(n * channels);
  } catch (const std::bad_alloc&) {
    return kFailed;
  }
  uint8_t* d = rgb.data();
  for (size_t i = 0; i < n; ++i, d += channels) {
    d[0] = pixels[i * 4 + 2];
    d[1] = pixels[i * 4 + 1];
    d[2] = pixels[i * 4 + 0];
    if (alpha) d[3] = pixels[i * 4 + 3];
  }
  auto encoded = QoiEncode(rgb.data(), desc);
  if (!encoded) return kFailed;
  if (std::fwrite(encoded->data(), 1, encoded->size(), f.get()) != encoded->size()) return kFailed;
  if (std::fclose(f.release()) != 0) return kFailed;
  return nullptr;
}

}  // namespace qp
