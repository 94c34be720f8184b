// The shared desktop thumbnail cache: `$XDG_CACHE_HOME/thumbnails` (else ~/.cache/thumbnails)
// with one folder per size (normal 128, large 256, x-large 512, xx-large 1024 pixels on the
// longer side). A thumbnail is a PNG named by the MD5 of its file's URI and carries text
// chunks: Thumb::URI and Thumb::MTime say which file, in which version, it shows (Thumb::Size
// and Thumb::Mime are added). Any program may have made it; one whose URI and modification
// time match is used as it is. Files that cannot be read get an entry under
// fail/quillpix/ so they are not tried again until they change. Written under a temporary
// name and renamed, folders 0700 and files 0600. Safe to use from several threads.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "core/image_buffer.h"

namespace qp {

enum class ThumbnailSize : uint8_t { Normal, Large, XLarge, XXLarge };
// The longer side of a thumbnail of this size in pixels, and its folder's name.
int32_t ThumbnailPixels(ThumbnailSize size);
const char* ThumbnailFolder(ThumbnailSize size);
// The smallest size whose thumbnails are at least `devicePixels` (the largest when none is).
ThumbnailSize ThumbnailSizeFor(int32_t devicePixels);

// "file://" and the absolute path, with every byte outside the letters, digits and
// "!$&'()*+,-./:=@_~" written as %XX (upper-case hexadecimal).
std::string FileUri(const std::string& absolutePath);

// What the cache needs to know of a file.
struct ThumbnailSource {
  std::string path;
  std::string uri;
  int64_t mtime = 0;  // seconds since 1970
  int64_t size = 0;
  bool directory = false;
};
// The file as it is now; nothing when it cannot be looked at.
std::optional<ThumbnailSource> DescribeSource(const std::string& path);

// The text chunks (tEXt, and uncompressed iTXt) of a PNG file's bytes, keyword and text.
std::vector<std::pair<std::string, std::string>> ReadPngText(std::span<const uint8_t> png);

// What a new thumbnail records beyond its file.
struct ThumbnailFacts {
  std::string mime;        // empty: not recorded
  int32_t sourceWidth = 0;  // 0: not recorded
  int32_t sourceHeight = 0;
};

class ThumbnailCache {
 public:
  explicit ThumbnailCache(std::string root);
  // `$XDG_CACHE_HOME/thumbnails`, else `$HOME/.cache/thumbnails`.
  static std::string DefaultRoot();
  const std::string& root() const { return root_; }

  std::string PathFor(const std::string& uri, ThumbnailSize size) const;
  std::string FailPathFor(const std::string& uri) const;

  // The cached thumbnail of the file (BGRA, alpha 255 where opaque) when one exists for this
  // URI and modification time; nothing when missing, stale or unreadable.
  std::optional<ImageBuffer> Load(const ThumbnailSource& source, ThumbnailSize size) const;
  // Whether a current thumbnail exists, without decoding its pixels.
  bool Has(const ThumbnailSource& source, ThumbnailSize size) const;
  // Whether the file was recorded as unreadable in this version.
  bool HasFailure(const ThumbnailSource& source) const;

  // Writes a thumbnail (replacing a stale one); false when it could not be written.
  bool Store(const ThumbnailSource& source, ThumbnailSize size, const ImageBuffer& thumbnail,
             const ThumbnailFacts& facts) const;
  // Records that the file could not be read.
  bool StoreFailure(const ThumbnailSource& source) const;

 private:
  bool MakeFolders(const std::string& folder) const;
  bool WriteAtomically(const std::string& target, const ImageBuffer& pixels,
                       const std::vector<std::pair<std::string, std::string>>& text) const;
  std::string root_;
};

// Whether the text chunks describe this version of the file.
bool ThumbnailMatches(const std::vector<std::pair<std::string, std::string>>& text,
                      const ThumbnailSource& source);

}  // namespace qp
