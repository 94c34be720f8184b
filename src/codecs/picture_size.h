// The width and height a picture file declares, read from its header alone, for planning how
// much memory decoding it will take. Nothing is decoded and nothing is checked beyond the
// header: a damaged file may still fail to load later.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace qp {

struct PictureSize {
  int64_t width = 0;
  int64_t height = 0;
  int64_t pixels() const { return width * height; }
};

// PNG, JPEG, WebP (simple and extended), GIF (the logical screen), QOI, BMP and the raw BGRA
// format (by its ".bgra" extension); nullopt for every other format or an unreadable header.
std::optional<PictureSize> ReadPictureSize(const std::string& path);

// The same for the first bytes of a file (as many as are at hand; 64 KiB is plenty unless a
// JPEG carries large segments before its frame header).
std::optional<PictureSize> PictureSizeIn(std::span<const uint8_t> head, bool rawBgra);

}  // namespace qp
