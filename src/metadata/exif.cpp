// JPEG marker scan and EXIF/TIFF decoding.
//
// A JPEG file starts with SOI (FF D8) followed by marker segments: FF, a marker byte, a 16-bit
// big-endian length that counts itself, and length - 2 bytes of data. The scan stops at SOS,
// where the entropy-coded data begins. The EXIF APP1 segment holds "Exif\0\0" and a TIFF
// structure: a byte-order mark ("II" little-endian, "MM" big-endian), the value 42, the offset
// of the first image file directory (IFD). An IFD is a 16-bit entry count, 12-byte entries
// (tag, format, component count, value or offset of the value) and a link to the next IFD. All
// offsets are relative to the byte-order mark. Sub-directories (EXIF, interoperability, GPS)
// are reached through tags whose value is an offset.
//
// Every read is bounded by its segment; sub-directory links and next-directory links are cut
// when they revisit a directory, nest too deep or exceed a total directory budget, so a hostile
// file can neither loop the parser nor exhaust the stack.
#include "metadata/exif.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "core/byte_reader.h"
#include "core/file_io.h"
#include "core/viewer_state.h"

namespace qp {
namespace {

constexpr int kMaxSegments = 32;
constexpr int kMaxDirectoryDepth = 16;
constexpr int kMaxDirectories = 64;
constexpr size_t kMaxComment = 1023;
constexpr size_t kMaxUserComment = 199;

// Bytes per component of the TIFF value formats 0..12 (0 is accepted with no bytes).
constexpr uint32_t kFormatBytes[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};

enum Format : int {
  kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5, kSByte = 6, kUndefined = 7,
  kSShort = 8, kSLong = 9, kSRational = 10, kFloat = 11, kDouble = 12,
};

enum class DirKind { Ordinary, Gps };

// Size of one resolution unit in inches; nothing for an unknown code.
bool UnitInInches(int code, float& out) {
  switch (code) {
    case 1: case 2: out = 1.0f; return true;
    case 3: out = 0.3937008f; return true;
    case 4: out = 0.03937008f; return true;
    case 5: out = 0.00003937008f; return true;
    default: return false;
  }
}

// Copies at most `limit` characters of `src`, stopping at a zero byte, and terminates.
void CopyText(char* dst, size_t limit, std::span<const uint8_t> src) {
  size_t n = 0;
  while (n < limit && n < src.size() && src[n] != 0) {
    dst[n] = static_cast<char>(src[n]);
    ++n;
  }
  dst[n] = '\0';
}

class ExifDecoder {
 public:
  // `found`, when given, collects the Orientation entries; `base` is the offset of the TIFF
  // block in the bytes the caller scans.
  ExifDecoder(ExifInfo& info, std::span<const uint8_t> tiff, bool bigEndian,
              std::vector<OrientationEntry>* found = nullptr, uint64_t base = 0)
      : info_(info), tiff_(tiff), big_(bigEndian), found_(found), base_(base) {}

  bool ProcessDirectory(uint64_t start, DirKind kind, int depth);
  void MarkVisited(uint64_t offset) { visited_.push_back(offset); }

  uint32_t exifImageWidth = 0;

 private:
  uint64_t length() const { return tiff_.size(); }
  uint16_t U16(uint64_t at) const {
    ByteReader r(tiff_);
    r.seek(at);
    return r.u16(big_);
  }
  uint32_t U32(uint64_t at) const {
    ByteReader r(tiff_);
    r.seek(at);
    return r.u32(big_);
  }
  // The bytes from `at` to the end of the TIFF block, at most `count`.
  std::span<const uint8_t> Bytes(uint64_t at, uint64_t count) const {
    if (at >= tiff_.size()) return {};
    const uint64_t n = std::min<uint64_t>(count, tiff_.size() - at);
    return tiff_.subspan(static_cast<size_t>(at), static_cast<size_t>(n));
  }
  double Convert(uint64_t at, int format) const;
  void OrdinaryTag(uint16_t tag, int format, uint64_t valueAt, uint64_t byteCount);
  void GpsTag(uint16_t tag, int format, uint64_t valueAt, uint64_t byteCount);
  // True when the directory at `offset` may be entered: not seen before, within the depth
  // and directory budget. Marks it as seen.
  bool Enter(uint64_t offset, int depth) {
    if (depth > kMaxDirectoryDepth || visited_.size() >= kMaxDirectories) return false;
    if (std::find(visited_.begin(), visited_.end(), offset) != visited_.end()) return false;
    visited_.push_back(offset);
    return true;
  }

  ExifInfo& info_;
  std::span<const uint8_t> tiff_;
  bool big_;
  std::vector<OrientationEntry>* found_;
  uint64_t base_;
  std::vector<uint64_t> visited_;
};

// Converts one value of `format` at `at` to a number. Integers follow the file's byte order,
// FLOAT and DOUBLE are little-endian; a value running past the block converts to 0.
double ExifDecoder::Convert(uint64_t at, int format) const {
  ByteReader r(tiff_);
  if (!r.seek(at)) return 0;
  double v = 0;
  switch (format) {
    case kByte: v = r.u8(); break;
    case kSByte: v = static_cast<int8_t>(r.u8()); break;
    case kShort: v = r.u16(big_); break;
    case kSShort: v = static_cast<int16_t>(r.u16(big_)); break;
    case kLong: v = r.u32(big_); break;
    case kSLong: v = static_cast<int32_t>(r.u32(big_)); break;
    case kRational:
    case kSRational: {
      const auto num = static_cast<int32_t>(r.u32(big_));
      const auto den = static_cast<int32_t>(r.u32(big_));
      v = den == 0 ? 0.0 : static_cast<double>(num) / den;
      break;
    }
    case kFloat: v = std::bit_cast<float>(r.u32le()); break;
    case kDouble: {
      const uint64_t lo = r.u32le();
      const uint64_t hi = r.u32le();
      v = std::bit_cast<double>(lo | hi << 32);
      break;
    }
    default: return 0;
  }
  if (!r.ok() || std::isnan(v)) return 0;
  return v;
}

// Truncation toward zero that never overflows.
int32_t ToInt(double v) {
  if (!(v > -2147483648.0)) return v < 0 ? INT32_MIN : 0;
  if (v >= 2147483647.0) return INT32_MAX;
  return static_cast<int32_t>(v);
}

// Narrowing to float that saturates instead of leaving the float range.
float ToFloat(double v) {
  constexpr double kMax = std::numeric_limits<float>::max();
  return static_cast<float>(std::clamp(v, -kMax, kMax));
}

uint32_t ToUnsigned(double v) {
  if (!(v > 0)) return 0;
  return v >= 4294967295.0 ? UINT32_MAX : static_cast<uint32_t>(v);
}

void ExifDecoder::OrdinaryTag(uint16_t tag, int format, uint64_t valueAt, uint64_t byteCount) {
  auto text = [&](char* dst, size_t size) { CopyText(dst, size - 1, Bytes(valueAt, byteCount)); };
  auto num = [&] { return Convert(valueAt, format); };
  auto f = [&] { return ToFloat(num()); };
  auto i = [&] { return ToInt(num()); };
  switch (tag) {
    case 0x010F: text(info_.cameraMake, sizeof info_.cameraMake); break;
    case 0x0110: text(info_.cameraModel, sizeof info_.cameraModel); break;
    case 0x9003: text(info_.dateTime, sizeof info_.dateTime); break;
    case 0x9000: {
      const auto b = Bytes(valueAt, 4);
      std::memset(info_.version, 0, sizeof info_.version);
      std::memcpy(info_.version, b.data(), b.size());
      break;
    }
    case 0x0112:
      info_.orientation = i();
      info_.orientationFormat = format;
      // Only a whole first value inside the block can be rewritten later.
      if (found_ && kFormatBytes[format] != 0 && byteCount >= kFormatBytes[format] &&
          RangeFits(valueAt, kFormatBytes[format], length()))
        found_->push_back({static_cast<size_t>(base_ + valueAt), format, big_});
      break;
    case 0x9209: info_.flashUsed = (i() & 7) != 0 ? 1 : 0; break;
    case 0x920A: info_.focalLength = f(); break;
    case 0x829A: info_.exposureTime = f(); break;
    case 0x9201:
      if (info_.exposureTime == 0) info_.exposureTime = ToFloat(1.0 / std::exp2(num()));
      break;
    case 0x829D: info_.apertureFNumber = f(); break;
    case 0x9202:
    case 0x9205:
      if (info_.apertureFNumber == 0)
        info_.apertureFNumber = ToFloat(std::exp2(num() / 2.0));
      break;
    case 0x9206: info_.distance = f(); break;
    case 0x9204: info_.exposureBias = f(); break;
    case 0x9208: info_.whiteBalance = i(); break;
    case 0x9207: info_.meteringMode = i(); break;
    case 0x8822: info_.exposureProgram = i(); break;
    case 0x8827: {
      // Some cameras store the ISO speed divided by 200.
      const int32_t iso = i();
      info_.isoEquivalent = iso < 50 ? ToInt(iso * 200.0) : iso;
      break;
    }
    case 0x9102: info_.compressionLevel = i(); break;
    case 0xA406: info_.sceneCaptureType = i(); break;
    case 0xA001: info_.colourSpace = i(); break;
    case 0xA217: info_.sensingMethod = i(); break;
    case 0xA20E: info_.focalPlaneXRes = f(); break;
    case 0xA20F: info_.focalPlaneYRes = f(); break;
    case 0xA210: UnitInInches(i(), info_.focalPlaneUnits); break;
    case 0x011A: info_.xResolution = f(); break;
    case 0x011B: info_.yResolution = f(); break;
    case 0x0128: UnitInInches(i(), info_.resolutionUnit); break;
    case 0x9203: info_.brightness = f(); break;
    case 0xA002:
    case 0xA003: {
      const double v = num();
      if (v > exifImageWidth) exifImageWidth = static_cast<uint32_t>(std::min(v, 4294967295.0));
      break;
    }
    case 0x9286: {
      // Some cameras pad the comment with blanks: those become zero bytes first.
      const auto b = Bytes(valueAt, byteCount);
      std::vector<uint8_t> value(b.begin(), b.end());
      for (size_t a = value.size(); a > 0 && value[a - 1] == ' ';) value[--a] = 0;
      std::span<const uint8_t> v(value);
      if (v.size() >= 5 && std::memcmp(v.data(), "ASCII", 5) == 0) {
        info_.comments[0] = '\0';
        for (size_t a = 5; a < 10 && a < v.size(); ++a) {
          if (v[a] != 0 && v[a] != ' ') {
            CopyText(info_.comments, kMaxUserComment, v.subspan(a));
            break;
          }
        }
      } else {
        CopyText(info_.comments, kMaxUserComment, v);
      }
      break;
    }
    default: break;
  }
}

void ExifDecoder::GpsTag(uint16_t tag, int format, uint64_t valueAt, uint64_t byteCount) {
  // The three values of a coordinate lie 8 bytes apart; only those inside the value count.
  auto triple = [&](float& a, float& b, float& c) {
    float* out[3] = {&a, &b, &c};
    const uint64_t size = kFormatBytes[format];
    for (uint64_t k = 0; k < 3; ++k) {
      const uint64_t at = 8 * k;
      *out[k] = size != 0 && at + size <= byteCount ? ToFloat(Convert(valueAt + at, format)) : 0.0f;
    }
  };
  switch (tag) {
    case 0: {
      const auto b = Bytes(valueAt, 4);
      std::memcpy(info_.gpsVersion, b.data(), b.size());
      break;
    }
    case 1: CopyText(info_.latitudeRef, 2, Bytes(valueAt, 2)); break;
    case 2: triple(info_.latitudeDegrees, info_.latitudeMinutes, info_.latitudeSeconds); break;
    case 3: CopyText(info_.longitudeRef, 2, Bytes(valueAt, 2)); break;
    case 4: triple(info_.longitudeDegrees, info_.longitudeMinutes, info_.longitudeSeconds); break;
    case 5: info_.altitudeRef = ToInt(Convert(valueAt, format)); break;
    case 6: info_.altitude = ToInt(Convert(valueAt, format)); break;
    default: break;
  }
}

bool ExifDecoder::ProcessDirectory(uint64_t start, DirKind kind, int depth) {
  if (!RangeFits(start, 2, length())) return false;
  const uint32_t count = U16(start);
  if (start + 2 + uint64_t{12} * count > length()) return false;

  uint32_t thumbOffset = 0, thumbSize = 0;
  for (uint32_t e = 0; e < count; ++e) {
    const uint64_t entry = start + 2 + uint64_t{12} * e;
    const uint16_t tag = U16(entry);
    const uint16_t format = U16(entry + 2);
    const uint32_t components = U32(entry + 4);
    if (format > 12) return false;
    // At most 2^32 * 8: cannot overflow 64 bits.
    const uint64_t byteCount = uint64_t{components} * kFormatBytes[format];
    uint64_t valueAt = entry + 8;
    if (byteCount > 4) {
      const uint32_t offset = U32(entry + 8);
      if (uint64_t{offset} + byteCount > length()) return false;
      valueAt = offset;
    }

    if (kind == DirKind::Gps) {
      GpsTag(tag, format, valueAt, byteCount);
    } else {
      if (tag == 0x0201) thumbOffset = ToUnsigned(Convert(valueAt, format));
      if (tag == 0x0202) thumbSize = ToUnsigned(Convert(valueAt, format));
      OrdinaryTag(tag, format, valueAt, byteCount);
    }

    if (tag == 0x8769 || tag == 0xA005 || tag == 0x8825) {
      const uint32_t sub = U32(valueAt);
      if (sub > length()) return false;
      // The sub-directory's own result does not matter; a revisited one is skipped.
      if (Enter(sub, depth + 1))
        ProcessDirectory(sub, tag == 0x8825 ? DirKind::Gps : DirKind::Ordinary, depth + 1);
    }
  }

  // The link to the next directory: only the first two bytes of its field are used.
  const uint64_t linkAt = start + 2 + uint64_t{12} * count;
  if (RangeFits(linkAt, 2, length())) {
    const uint16_t link = U16(linkAt);
    if (link != 0) {
      if (link >= length()) return false;
      if (Enter(link, depth + 1)) ProcessDirectory(link, DirKind::Ordinary, depth + 1);
    }
  }

  if (thumbOffset != 0 && thumbSize != 0 && uint64_t{thumbOffset} + thumbSize <= length()) {
    info_.thumbnailOffset = thumbOffset;
    info_.thumbnailSize = thumbSize;
  }
  return true;
}

// `data` is the APP1 segment after its length bytes; `dataAt` its offset in the scanned bytes.
bool DecodeExifSegment(std::span<const uint8_t> data, ExifInfo& info,
                       std::vector<OrientationEntry>* found, uint64_t dataAt) {
  info.flashUsed = 0;
  info.comments[0] = '\0';
  ByteReader r(data);
  if (!r.expect(std::string_view("Exif\0\0", 6))) return false;
  bool big;
  if (r.expect("II")) {
    big = false;
  } else if (r.expect("MM")) {
    big = true;
  } else {
    return false;
  }
  const uint16_t magic = r.u16(big);
  const uint32_t first = r.u32(big);
  if (!r.ok() || magic != 42 || first < 8 || first > 16) return false;

  ExifDecoder decoder(info, data.subspan(6), big, found, dataAt + 6);
  // The first directory is read at offset 8 whatever the header says.
  decoder.MarkVisited(8);
  if (!decoder.ProcessDirectory(8, DirKind::Ordinary, 0)) return false;
  if (info.focalPlaneXRes != 0)
    info.ccdWidth = ToFloat(decoder.exifImageWidth * static_cast<double>(info.focalPlaneUnits) /
                            info.focalPlaneXRes);
  return true;
}

// `segment` includes its two length bytes.
void DecodeFrameHeader(std::span<const uint8_t> segment, int marker, ExifInfo& info) {
  ByteReader r(segment);
  r.seek(3);
  info.height = r.u16be();
  info.width = r.u16be();
  info.isColour = r.u8() == 3 ? 1 : 0;
  info.process = marker;
}

// `segment` includes its two length bytes. Control bytes become "."; CR before LF is dropped.
void DecodeComment(std::span<const uint8_t> segment, ExifInfo& info) {
  const size_t end = std::min(segment.size(), kMaxComment + 1);
  size_t n = 0;
  for (size_t a = 2; a < end; ++a) {
    const uint8_t c = segment[a];
    if (c == 0) continue;
    if (c == '\r' && a + 1 < end && segment[a + 1] == '\n') continue;
    info.comments[n++] = (c >= 0x20 || c == '\t' || c == '\n') ? static_cast<char>(c) : '.';
  }
  info.comments[n] = '\0';
}

bool IsFrameMarker(int m) {
  return m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
}

// Reads the marker segments from any byte source with get() -> byte or -1, read(dst, n) and
// position(). `found`, when given, collects the Orientation entries of the EXIF block.
template <typename Source>
bool ScanSegments(Source& in, ExifInfo& info, std::vector<OrientationEntry>* found = nullptr) {
  info = ExifInfo{};
  if (in.get() != 0xFF || in.get() != 0xD8) return false;
  bool haveComment = false;
  std::vector<uint8_t> segment;
  for (int kept = 0; kept < kMaxSegments;) {
    int marker = 0;
    for (int a = 0;; ++a) {
      marker = in.get();
      if (marker != 0xFF) break;
      if (a >= 6) return false;
    }
    if (marker < 0) return false;
    const int hi = in.get();
    const int lo = in.get();
    if (hi < 0 || lo < 0) return false;
    const size_t length = static_cast<size_t>(hi << 8 | lo);
    if (length < 2) return false;
    segment.resize(length);
    segment[0] = static_cast<uint8_t>(hi);
    segment[1] = static_cast<uint8_t>(lo);
    if (!in.read(segment.data() + 2, length - 2)) return false;
    const std::span<const uint8_t> seg(segment);

    if (IsFrameMarker(marker)) {
      DecodeFrameHeader(seg, marker, info);
      ++kept;
    } else if (marker == 0xD9) {
      return false;
    } else if (marker == 0xDA) {
      return true;
    } else if (marker == 0xE0) {
      // JFIF header: dropped.
    } else if (marker == 0xE1) {
      if (seg.size() >= 6 && std::memcmp(seg.data() + 2, "Exif", 4) == 0) {
        const uint64_t dataAt = in.position() - (length - 2);
        info.isExif = DecodeExifSegment(seg.subspan(2), info, found, dataAt) ? 1 : 0;
        ++kept;
      }
    } else if (marker == 0xFE) {
      if (!haveComment) {
        DecodeComment(seg, info);
        haveComment = true;
        ++kept;
      }
    } else {
      ++kept;
    }
  }
  return false;
}

struct FileSource {
  std::FILE* f;
  int get() { return std::fgetc(f); }
  bool read(uint8_t* dst, size_t n) { return std::fread(dst, 1, n, f) == n; }
  uint64_t position() {
    const long at = std::ftell(f);
    return at < 0 ? 0 : static_cast<uint64_t>(at);
  }
};

struct SpanSource {
  ByteReader r;
  int get() { return r.atEnd() ? -1 : r.u8(); }
  bool read(uint8_t* dst, size_t n) {
    const auto b = r.bytes(n);
    if (b.size() != n) return false;
    if (n != 0) std::memcpy(dst, b.data(), n);
    return true;
  }
  uint64_t position() const { return r.position(); }
};

}  // namespace

bool ParseJpegMetadata(std::FILE* file, ExifInfo& info) {
  if (file == nullptr) {
    info = ExifInfo{};
    return false;
  }
  FileSource src{file};
  return ScanSegments(src, info);
}

bool ParseJpegMetadata(std::span<const uint8_t> bytes, ExifInfo& info) {
  SpanSource src{ByteReader(bytes)};
  return ScanSegments(src, info);
}

std::vector<OrientationEntry> FindOrientationEntries(std::span<const uint8_t> jpeg) {
  std::vector<OrientationEntry> found;
  ExifInfo info;
  SpanSource src{ByteReader(jpeg)};
  ScanSegments(src, info, &found);
  if (!info.isExif) found.clear();
  return found;
}

size_t ResetOrientation(std::span<uint8_t> jpeg) {
  size_t changed = 0;
  for (const OrientationEntry& e : FindOrientationEntries(jpeg)) {
    const uint32_t size = kFormatBytes[e.format];
    if (!RangeFits(e.valueOffset, size, jpeg.size())) continue;
    uint8_t* v = jpeg.data() + e.valueOffset;
    // The value 1 (top-left) in the entry's own format and the block's byte order; FLOAT and
    // DOUBLE are read little-endian.
    auto put = [&](uint64_t value, uint32_t bytes, bool big) {
      for (uint32_t k = 0; k < bytes; ++k)
        v[big ? bytes - 1 - k : k] = static_cast<uint8_t>(value >> (8 * k));
    };
    switch (e.format) {
      case kByte: case kSByte: case kShort: case kSShort: case kLong: case kSLong:
        put(1, size, e.bigEndian);
        break;
      case kRational: case kSRational:
        put(1, 4, e.bigEndian);
        v += 4;
        put(1, 4, e.bigEndian);
        break;
      case kFloat: put(std::bit_cast<uint32_t>(1.0f), 4, false); break;
      case kDouble: put(std::bit_cast<uint64_t>(1.0), 8, false); break;
      default: continue;  // ASCII and UNDEFINED never read as an orientation
    }
    ++changed;
  }
  return changed;
}

int32_t ExifBlockOrientation(std::span<const uint8_t> block) {
  ByteReader r(block);
  if (r.expect(std::string_view("Exif\0\0", 6))) block = block.subspan(6);
  ByteReader t(block);
  bool big;
  if (t.expect("II")) {
    big = false;
  } else if (t.expect("MM")) {
    big = true;
  } else {
    return 0;
  }
  const uint16_t magic = t.u16(big);
  const uint32_t first = t.u32(big);
  // Outside JPEG files nothing fixes where the first directory lies.
  if (!t.ok() || magic != 42 || first < 8 || first >= block.size()) return 0;
  ExifInfo info{};
  ExifDecoder decoder(info, block, big);
  decoder.MarkVisited(first);
  if (!decoder.ProcessDirectory(first, DirKind::Ordinary, 0)) return 0;
  return info.orientation;
}

bool ReadJpegMetadata(const std::string& path, ExifInfo& info) {
  info = ExifInfo{};
  UniqueFile f = OpenFile(path, "rb");
  if (!f) return false;
  ParseJpegMetadata(f.get(), info);
  return true;
}

void InstallMetadataReader(ViewerState& state) {
  state.SetMetadataReader(
      [](const std::string& path, ExifInfo& out) { ReadJpegMetadata(path, out); });
}

}  // namespace qp
