// Builds small JPEG files for tests: a picture encoded by the program's own JPEG writer, with
// an optional EXIF segment that carries only an orientation entry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "codecs/jpeg.h"
#include "core/image_buffer.h"
#include "support/test_support.h"

namespace qp::test {

// The APP1 segment (marker, length and body) with one IFD entry 0x0112 SHORT = orientation.
inline std::vector<uint8_t> OrientationSegment(uint16_t orientation, bool bigEndian) {
  std::vector<uint8_t> tiff;
  auto u16 = [&](uint16_t v) { bigEndian ? PutU16be(tiff, v) : PutU16le(tiff, v); };
  auto u32 = [&](uint32_t v) { bigEndian ? PutU32be(tiff, v) : PutU32le(tiff, v); };
  PutText(tiff, bigEndian ? "MM" : "II");
  u16(42);
  u32(8);             // first directory
  u16(1);             // one entry
  u16(0x0112);        // Orientation
  u16(3);             // SHORT
  u32(1);             // count
  u16(orientation);   // value, left-aligned in the 4-byte field
  u16(0);
  u32(0);             // no next directory
  std::vector<uint8_t> seg{0xFF, 0xE1};
  PutU16be(seg, static_cast<uint16_t>(2 + 6 + tiff.size()));
  PutText(seg, "Exif");
  seg.push_back(0);
  seg.push_back(0);
  seg.insert(seg.end(), tiff.begin(), tiff.end());
  return seg;
}

// Writes `picture` as a JPEG at `path`, with an orientation segment right after the
// start-of-image marker when `orientation` is given. False when the writer failed.
inline bool WriteJpeg(const std::string& path, const ImageBuffer& picture,
                      std::optional<uint16_t> orientation = std::nullopt,
                      bool bigEndian = false) {
  if (SaveJpeg(picture.data(), picture.width(), picture.height(), 95, path.c_str()) != nullptr)
    return false;
  if (!orientation) return true;
  std::vector<uint8_t> bytes = ReadBytes(path);
  const std::vector<uint8_t> seg = OrientationSegment(*orientation, bigEndian);
  bytes.insert(bytes.begin() + 2, seg.begin(), seg.end());
  WriteBytes(path, bytes);
  return true;
}

}  // namespace qp::test
