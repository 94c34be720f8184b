// What FreeImage is handed for a file. Some valid files it decodes wrongly without a word (a
// 16- or 32-bit bitmap whose bit-field masks are not the common ones: it reads the pixels as if
// they were) or refuses although they are fine (bitmaps with the longer info headers other
// programs write by default; a TGA whose colour map starts past entry 0). The first kind is
// kept from it, so the next decoder in the fallback order reads the file; the second is
// rewritten into an equivalent file it reads right.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace qp {

enum class LibraryRoute {
  AsFile,         // hand the library the file
  Rewrite,        // hand it RewriteForLibrary's copy of the whole file
  NotForLibrary,  // the library would decode it wrongly: leave it to the next decoder
};

// Bytes of the start of a file that decide its route and give its claimed size (a PICT
// file's 512-byte preamble and frame; the longest bitmap header and masks).
inline constexpr size_t kLibraryHeadBytes = 1024;

// The route of a file of library format `format` (0 BMP, 17 TGA; others go as files), from
// the first bytes of the file (at most kLibraryHeadBytes are looked at).
LibraryRoute RouteForLibrary(std::span<const uint8_t> head, int32_t format);

// The picture size the header of a file claims, for the library formats it reads without a
// header-only mode (SGI, DDS, WBMP, PICT, IFF, JPEG 2000 codestream and JP2): the library
// allocates that size before it reads a pixel. Nothing when the format is another or the
// size is not found in `head`.
struct ClaimedSize {
  int64_t width;
  int64_t height;
};
std::optional<ClaimedSize> ClaimedPictureSize(std::span<const uint8_t> head, int32_t format);

// The rewritten whole file for a Rewrite route: a bitmap gets the 40-byte info header (with the
// masks after it for bit fields); a colour-mapped TGA whose map starts at entry k > 0 gets a
// map from entry 0, its first k entries black, so the pixels' indices keep meaning the same
// colours. Nothing when the file cannot be rewritten.
std::optional<std::vector<uint8_t>> RewriteForLibrary(std::span<const uint8_t> file,
                                                      int32_t format);

}  // namespace qp
