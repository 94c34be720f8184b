// Assembles a JPEG file as cameras and phones write them: the main picture with an EXIF
// segment that carries the orientation and a small thumbnail, and a multi-picture index (an
// APP2 "MPF" segment) that lists a large preview stored after the main picture. The parts are
// complete JPEG files made by the caller. Used by the tests and the benchmarks alike, so it
// needs nothing but the standard library.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace qp::test {

struct CameraParts {
  std::vector<uint8_t> main;       // the picture
  std::vector<uint8_t> thumbnail;  // the EXIF thumbnail; none when empty
  std::vector<uint8_t> preview;    // the large preview; no index when empty
  uint16_t orientation = 1;
  bool bigEndianExif = false;  // the EXIF block in Motorola byte order
  // Faults to put in the index: added to the preview's offset, and a record length that is
  // not a whole number of records.
  uint32_t previewOffsetError = 0;
  bool damagedIndex = false;
};

namespace camera_detail {

inline void U16(std::vector<uint8_t>& v, uint32_t x, bool big = false) {
  v.push_back(static_cast<uint8_t>(big ? x >> 8 : x));
  v.push_back(static_cast<uint8_t>(big ? x : x >> 8));
}
inline void U32(std::vector<uint8_t>& v, uint32_t x, bool big = false) {
  U16(v, big ? x >> 16 : x & 0xFFFF, big);
  U16(v, big ? x & 0xFFFF : x >> 16, big);
}
inline void U16le(std::vector<uint8_t>& v, uint32_t x) { U16(v, x); }
inline void U32le(std::vector<uint8_t>& v, uint32_t x) { U32(v, x); }
// A 12-byte directory entry; a SHORT value fills the first two bytes of its field.
inline void Entry(std::vector<uint8_t>& v, uint16_t tag, uint16_t type, uint32_t count,
                  uint32_t value, bool big = false) {
  U16(v, tag, big);
  U16(v, type, big);
  U32(v, count, big);
  if (type == 3) {
    U16(v, value, big);
    U16(v, 0, big);
  } else {
    U32(v, value, big);
  }
}
// A marker segment: marker, big-endian length, magic and body.
inline std::vector<uint8_t> Segment(uint8_t marker, std::string_view magic,
                                    const std::vector<uint8_t>& body) {
  const size_t length = 2 + magic.size() + body.size();
  std::vector<uint8_t> s(2 + length);
  s[0] = 0xFF;
  s[1] = marker;
  s[2] = static_cast<uint8_t>(length >> 8);
  s[3] = static_cast<uint8_t>(length);
  for (size_t i = 0; i < magic.size(); ++i) s[4 + i] = static_cast<uint8_t>(magic[i]);
  for (size_t i = 0; i < body.size(); ++i) s[4 + magic.size() + i] = body[i];
  return s;
}

}  // namespace camera_detail

inline std::vector<uint8_t> CameraJpeg(const CameraParts& parts) {
  using namespace camera_detail;
  // EXIF: a TIFF block, the first directory with the orientation, the second with the
  // thumbnail's offset and length, then the thumbnail.
  const bool big = parts.bigEndianExif;
  std::vector<uint8_t> tiff;
  if (big)
    tiff = {'M', 'M', 0, 42};
  else
    tiff = {'I', 'I', 42, 0};
  U32(tiff, 8, big);
  U16(tiff, 1, big);
  Entry(tiff, 0x0112, 3, 1, parts.orientation, big);
  const uint32_t second = 8 + 2 + 12 + 4;
  U32(tiff, parts.thumbnail.empty() ? 0 : second, big);
  if (!parts.thumbnail.empty()) {
    U16(tiff, 3, big);
    Entry(tiff, 0x0103, 3, 1, 6, big);  // compression: JPEG
    Entry(tiff, 0x0201, 4, 1, second + 2 + 3 * 12 + 4, big);
    Entry(tiff, 0x0202, 4, 1, static_cast<uint32_t>(parts.thumbnail.size()), big);
    U32(tiff, 0, big);
    tiff.insert(tiff.end(), parts.thumbnail.begin(), parts.thumbnail.end());
  }
  const std::vector<uint8_t> exif = Segment(0xE1, std::string_view("Exif\0\0", 6), tiff);

  std::vector<uint8_t> out{0xFF, 0xD8};
  out.insert(out.end(), exif.begin(), exif.end());
  if (!parts.preview.empty()) {
    // The index: its TIFF block starts after the marker, the length and "MPF\0"; offsets count
    // from there. Version, number of pictures, then the two 16-byte records.
    const size_t mpfStart = out.size() + 4 + 4;
    const uint32_t records = 8 + 2 + 3 * 12 + 4;
    std::vector<uint8_t> mpf{'I', 'I', 42, 0};
    U32le(mpf, 8);
    U16le(mpf, 3);
    Entry(mpf, 0xB000, 7, 4, 0x30303130);  // "0100"
    Entry(mpf, 0xB001, 4, 1, 2);
    Entry(mpf, 0xB002, 7, parts.damagedIndex ? 33 : 32, records);
    U32le(mpf, 0);
    const size_t segmentBytes = 4 + 4 + mpf.size() + 32;
    const size_t mainBytes = out.size() + segmentBytes + parts.main.size() - 2;
    U32le(mpf, 0x20030000);  // the main picture, a representative image
    U32le(mpf, static_cast<uint32_t>(mainBytes));
    U32le(mpf, 0);
    U32le(mpf, 0);
    U32le(mpf, 0x00010001);  // a large preview
    U32le(mpf, static_cast<uint32_t>(parts.preview.size()));
    U32le(mpf, static_cast<uint32_t>(mainBytes - mpfStart) + parts.previewOffsetError);
    U32le(mpf, 0);
    const std::vector<uint8_t> seg = Segment(0xE2, std::string_view("MPF\0", 4), mpf);
    out.insert(out.end(), seg.begin(), seg.end());
  }
  out.insert(out.end(), parts.main.begin() + 2, parts.main.end());
  out.insert(out.end(), parts.preview.begin(), parts.preview.end());
  return out;
}

}  // namespace qp::test
