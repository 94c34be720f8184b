// A small builder for hand-made EXIF blocks and the JPEG marker segments around them.
//
// Tiff lays out a TIFF structure in either byte order: the 8-byte header (byte-order mark, 42,
// first-directory offset), then directories appended one after another. A directory written
// by Dir() is followed directly by the values that do not fit in an entry's 4-byte field, so
// offsets come out right without hand arithmetic. Entries whose field must hold something
// specific (a sub-directory offset, a hostile offset) use Raw() and can be patched later.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qp::test {

struct TiffEntry {
  uint16_t tag = 0;
  uint16_t format = 0;
  uint32_t count = 0;
  std::vector<uint8_t> data;      // the value bytes in file order; inline when 4 bytes or fewer
  std::optional<uint32_t> field;  // the raw 4-byte field instead (an offset chosen by the test)
};

class Tiff {
 public:
  explicit Tiff(bool motorola = false, uint32_t firstDirectory = 8) : big_(motorola) {
    bytes = motorola ? std::vector<uint8_t>{'M', 'M'} : std::vector<uint8_t>{'I', 'I'};
    Put16(bytes, 42);
    Put32(bytes, firstDirectory);
  }

  std::vector<uint8_t> bytes;
  uint32_t size() const { return static_cast<uint32_t>(bytes.size()); }

  // Appends a directory (entry count, 12-byte entries, link) and its out-of-line values;
  // returns its offset.
  uint32_t Dir(const std::vector<TiffEntry>& entries, uint32_t next = 0) {
    const uint32_t at = size();
    uint32_t data = at + 2 + 12 * static_cast<uint32_t>(entries.size()) + 4;
    Put16(bytes, static_cast<uint16_t>(entries.size()));
    std::vector<uint8_t> tail;
    for (const TiffEntry& e : entries) {
      Put16(bytes, e.tag);
      Put16(bytes, e.format);
      Put32(bytes, e.count);
      if (e.field) {
        Put32(bytes, *e.field);
      } else if (e.data.size() <= 4) {
        std::vector<uint8_t> inlineValue = e.data;
        inlineValue.resize(4, 0);
        bytes.insert(bytes.end(), inlineValue.begin(), inlineValue.end());
      } else {
        Put32(bytes, data + static_cast<uint32_t>(tail.size()));
        tail.insert(tail.end(), e.data.begin(), e.data.end());
      }
    }
    Put32(bytes, next);
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return at;
  }

  // Offset of the 4-byte value field of entry `index` of the directory at `dir`.
  static uint32_t FieldOf(uint32_t dir, uint32_t index) { return dir + 2 + 12 * index + 8; }
  // Offset of the link field of a directory with `count` entries at `dir`.
  static uint32_t LinkOf(uint32_t dir, uint32_t count) { return dir + 2 + 12 * count; }
  void Set32(uint32_t at, uint32_t v) {
    std::vector<uint8_t> b;
    Put32(b, v);
    std::memcpy(bytes.data() + at, b.data(), 4);
  }
  void Set16(uint32_t at, uint16_t v) {
    std::vector<uint8_t> b;
    Put16(b, v);
    std::memcpy(bytes.data() + at, b.data(), 2);
  }

  TiffEntry Short(uint16_t tag, uint16_t v) const {
    TiffEntry e{tag, 3, 1, {}, {}};
    Put16(e.data, v);
    return e;
  }
  TiffEntry SShort(uint16_t tag, int16_t v) const {
    TiffEntry e{tag, 8, 1, {}, {}};
    Put16(e.data, static_cast<uint16_t>(v));
    return e;
  }
  TiffEntry Long(uint16_t tag, uint32_t v) const {
    TiffEntry e{tag, 4, 1, {}, {}};
    Put32(e.data, v);
    return e;
  }
  TiffEntry Rational(uint16_t tag, std::initializer_list<std::pair<int32_t, int32_t>> values,
                     uint16_t format = 5) const {
    TiffEntry e{tag, format, static_cast<uint32_t>(values.size()), {}, {}};
    for (auto [n, d] : values) {
      Put32(e.data, static_cast<uint32_t>(n));
      Put32(e.data, static_cast<uint32_t>(d));
    }
    return e;
  }
  // ASCII with its terminating zero counted, as cameras write it.
  TiffEntry Ascii(uint16_t tag, const std::string& text) const {
    TiffEntry e{tag, 2, static_cast<uint32_t>(text.size() + 1), {}, {}};
    e.data.assign(text.begin(), text.end());
    e.data.push_back(0);
    return e;
  }
  TiffEntry Undefined(uint16_t tag, const std::string& bytesText) const {
    TiffEntry e{tag, 7, static_cast<uint32_t>(bytesText.size()), {}, {}};
    e.data.assign(bytesText.begin(), bytesText.end());
    return e;
  }
  static TiffEntry Raw(uint16_t tag, uint16_t format, uint32_t count, uint32_t field) {
    return TiffEntry{tag, format, count, {}, field};
  }

  void Put16(std::vector<uint8_t>& out, uint16_t v) const {
    if (big_) {
      out.push_back(static_cast<uint8_t>(v >> 8));
      out.push_back(static_cast<uint8_t>(v));
    } else {
      out.push_back(static_cast<uint8_t>(v));
      out.push_back(static_cast<uint8_t>(v >> 8));
    }
  }
  void Put32(std::vector<uint8_t>& out, uint32_t v) const {
    if (big_) {
      Put16(out, static_cast<uint16_t>(v >> 16));
      Put16(out, static_cast<uint16_t>(v));
    } else {
      Put16(out, static_cast<uint16_t>(v));
      Put16(out, static_cast<uint16_t>(v >> 16));
    }
  }

 private:
  bool big_;
};

// A marker segment: FF, marker, 16-bit big-endian length counting itself, data.
inline std::vector<uint8_t> Segment(uint8_t marker, const std::vector<uint8_t>& data) {
  const size_t length = data.size() + 2;
  std::vector<uint8_t> out;
  out.reserve(length + 2);
  out.push_back(0xFF);
  out.push_back(marker);
  out.push_back(static_cast<uint8_t>(length >> 8));
  out.push_back(static_cast<uint8_t>(length));
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

// The APP1 segment: "Exif", 0, 0, then the TIFF block.
inline std::vector<uint8_t> ExifSegment(const std::vector<uint8_t>& tiff) {
  std::vector<uint8_t> data{'E', 'x', 'i', 'f', 0, 0};
  data.insert(data.end(), tiff.begin(), tiff.end());
  return Segment(0xE1, data);
}

// A baseline frame header (SOF0) of `width` x `height` with `components` components.
inline std::vector<uint8_t> FrameSegment(uint16_t width, uint16_t height, uint8_t components = 3,
                                         uint8_t marker = 0xC0) {
  std::vector<uint8_t> data{8,  // sample precision
                            static_cast<uint8_t>(height >> 8),
                            static_cast<uint8_t>(height),
                            static_cast<uint8_t>(width >> 8),
                            static_cast<uint8_t>(width),
                            components};
  for (uint8_t c = 0; c < components; ++c) {
    data.push_back(static_cast<uint8_t>(c + 1));  // component id
    data.push_back(0x11);                         // sampling factors
    data.push_back(0);                            // quantisation table
  }
  return Segment(marker, data);
}

// SOI, the given segments, a frame header 64 x 48, and a minimal SOS.
inline std::vector<uint8_t> JpegWith(std::initializer_list<std::vector<uint8_t>> segments,
                                     bool withFrame = true) {
  std::vector<uint8_t> out{0xFF, 0xD8};
  for (const auto& s : segments) out.insert(out.end(), s.begin(), s.end());
  if (withFrame) {
    const auto frame = FrameSegment(64, 48);
    out.insert(out.end(), frame.begin(), frame.end());
  }
  const auto scan = Segment(0xDA, {1, 1, 0, 0, 63, 0});
  out.insert(out.end(), scan.begin(), scan.end());
  return out;
}

}  // namespace qp::test
