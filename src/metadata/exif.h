// The EXIF/TIFF metadata parser of JPEG files: frame size, camera data, GPS position and the
// first comment, read from the marker segments in front of the compressed picture.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "core/exif_info.h"

namespace qp {

class ViewerState;

// Zeroes `info`, then reads the JPEG marker segments from the file's current position and
// fills `info`. True when the scan reached the start of the compressed data (SOS). Callers
// look at `info.isExif` rather than at the result. Never modifies the file.
bool ParseJpegMetadata(std::FILE* file, ExifInfo& info);
// The same over bytes already in memory (the whole file or its start).
bool ParseJpegMetadata(std::span<const uint8_t> bytes, ExifInfo& info);

// An Orientation entry of a JPEG's EXIF block: where its value lies in the scanned bytes, the
// entry's TIFF format code and the block's byte order.
struct OrientationEntry {
  size_t valueOffset;
  int format;
  bool bigEndian;
};
// The Orientation entries of the EXIF block, as the parser finds them; none when the block is
// missing or malformed.
std::vector<OrientationEntry> FindOrientationEntries(std::span<const uint8_t> jpeg);
// Sets every Orientation entry of the EXIF block to 1 (upright), in place and in the entry's
// own format and byte order. The number of entries changed.
size_t ResetOrientation(std::span<uint8_t> jpeg);

// The Orientation value of an EXIF block as other containers carry it (PNG's eXIf chunk,
// WebP's EXIF chunk): a TIFF structure, with or without the "Exif\0\0" that precedes it in
// JPEG files, read by the same directory decoder as a JPEG's block. 0 when the block has no
// Orientation entry or is malformed.
int32_t ExifBlockOrientation(std::span<const uint8_t> block);

// Opens `path` and parses it into `info` (zeroed first). False when it cannot be opened.
bool ReadJpegMetadata(const std::string& path, ExifInfo& info);

// Makes this parser the reader behind ViewerState::ReadMetadata.
void InstallMetadataReader(ViewerState& state);

}  // namespace qp
