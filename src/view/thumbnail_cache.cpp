#include "view/thumbnail_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <algorithm>

#include "codecs/png.h"
#include "core/byte_reader.h"
#include "core/file_io.h"
#include "core/md5.h"

namespace qp {
namespace {

constexpr int32_t kPixels[] = {128, 256, 512, 1024};
constexpr const char* kFolders[] = {"normal", "large", "x-large", "xx-large"};
// Thumbnails are small; anything far larger is not one.
constexpr uint64_t kMaxThumbnailFileBytes = 64u * 1024 * 1024;

bool UriKeeps(unsigned char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  for (char k : std::string_view("!$&'()*+,-./:=@_~"))
    if (c == static_cast<unsigned char>(k)) return true;
  return false;
}

std::string Text(const std::vector<std::pair<std::string, std::string>>& text,
                 std::string_view key) {
  for (const auto& [k, v] : text)
    if (k == key) return v;
  return {};
}

// The thumbnail's pixels with alpha 255 wherever the file had no transparency.
std::optional<ImageBuffer> DecodeThumbnail(std::span<const uint8_t> bytes) {
  DecodeResult r = DecodePng(bytes);
  if (!r || !r.isOwned()) return std::nullopt;
  const bool alpha = r.details.hasAlpha;
  ImageBuffer img = r.takeOwned();
  if (!alpha) {
    uint8_t* p = img.data();
    for (size_t i = 0, n = img.pixelCount(); i < n; ++i) p[i * 4 + 3] = 255;
  }
  return img;
}

}  // namespace

int32_t ThumbnailPixels(ThumbnailSize size) { return kPixels[static_cast<int>(size)]; }
const char* ThumbnailFolder(ThumbnailSize size) { return kFolders[static_cast<int>(size)]; }

ThumbnailSize ThumbnailSizeFor(int32_t devicePixels) {
  for (int i = 0; i < 4; ++i)
    if (devicePixels <= kPixels[i]) return static_cast<ThumbnailSize>(i);
  return ThumbnailSize::XXLarge;
}

std::string FileUri(const std::string& absolutePath) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out = "file://";
  for (char ch : absolutePath) {
    const auto c = static_cast<unsigned char>(ch);
    if (UriKeeps(c)) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::optional<ThumbnailSource> DescribeSource(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  ThumbnailSource s;
  s.path = path;
  s.uri = FileUri(path);
  s.mtime = static_cast<int64_t>(st.st_mtime);
  s.size = static_cast<int64_t>(st.st_size);
  s.directory = S_ISDIR(st.st_mode);
  return s;
}

std::vector<std::pair<std::string, std::string>> ReadPngText(std::span<const uint8_t> png) {
  std::vector<std::pair<std::string, std::string>> out;
  ByteReader in(png);
  if (!in.expect("\x89PNG\r\n\x1a\n")) return out;
  // Chunks: length, type, data, CRC. Text may stand before or after the picture data.
  while (in.ok() && in.remaining() >= 12) {
    const uint32_t length = in.u32be();
    const auto type = in.bytes(4);
    const auto data = in.bytes(length);
    in.skip(4);
    if (!in.ok()) break;
    const std::string_view kind(reinterpret_cast<const char*>(type.data()), 4);
    if (kind == "IEND") break;
    const std::string_view body(reinterpret_cast<const char*>(data.data()), data.size());
    const size_t nul = body.find('\0');
    if (nul == std::string_view::npos) continue;
    const std::string keyword(body.substr(0, nul));
    if (kind == "tEXt") {
      out.emplace_back(keyword, std::string(body.substr(nul + 1)));
    } else if (kind == "iTXt") {
      // keyword, compression flag, method, language tag, translated keyword, text.
      if (body.size() < nul + 3 || body[nul + 1] != 0) continue;  // compressed: not read
      const size_t lang = body.find('\0', nul + 3);
      if (lang == std::string_view::npos) continue;
      const size_t translated = body.find('\0', lang + 1);
      if (translated == std::string_view::npos) continue;
      out.emplace_back(keyword, std::string(body.substr(translated + 1)));
    }
  }
  return out;
}

bool ThumbnailMatches(const std::vector<std::pair<std::string, std::string>>& text,
                      const ThumbnailSource& source) {
  return Text(text, "Thumb::URI") == source.uri &&
         Text(text, "Thumb::MTime") == std::to_string(source.mtime);
}

ThumbnailCache::ThumbnailCache(std::string root) : root_(std::move(root)) {
  while (root_.size() > 1 && root_.back() == '/') root_.pop_back();
}

std::string ThumbnailCache::DefaultRoot() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  // A relative value is invalid and ignored.
  if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/thumbnails";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.cache/thumbnails";
}

std::string ThumbnailCache::PathFor(const std::string& uri, ThumbnailSize size) const {
  return root_ + "/" + ThumbnailFolder(size) + "/" + Md5Hex(uri) + ".png";
}

std::string ThumbnailCache::FailPathFor(const std::string& uri) const {
  return root_ + "/fail/quillpix/" + Md5Hex(uri) + ".png";
}

std::optional<ImageBuffer> ThumbnailCache::Load(const ThumbnailSource& source,
                                                ThumbnailSize size) const {
  const auto bytes = ReadWholeFile(PathFor(source.uri, size), kMaxThumbnailFileBytes);
  if (!bytes || !ThumbnailMatches(ReadPngText(*bytes), source)) return std::nullopt;
  return DecodeThumbnail(*bytes);
}

bool ThumbnailCache::Has(const ThumbnailSource& source, ThumbnailSize size) const {
  const auto bytes = ReadWholeFile(PathFor(source.uri, size), kMaxThumbnailFileBytes);
  return bytes && ThumbnailMatches(ReadPngText(*bytes), source);
}

bool ThumbnailCache::HasFailure(const ThumbnailSource& source) const {
  const auto bytes = ReadWholeFile(FailPathFor(source.uri), kMaxThumbnailFileBytes);
  return bytes && ThumbnailMatches(ReadPngText(*bytes), source);
}

bool ThumbnailCache::MakeFolders(const std::string& folder) const {
  // Each missing level is made private to the user; existing ones are left as they are.
  for (size_t pos = 1; pos <= folder.size(); ++pos) {
    if (pos != folder.size() && folder[pos] != '/') continue;
    const std::string part = folder.substr(0, pos);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ThumbnailCache::WriteAtomically(
    const std::string& target, const ImageBuffer& pixels,
    const std::vector<std::pair<std::string, std::string>>& text) const {
  const size_t slash = target.rfind('/');
  if (!MakeFolders(target.substr(0, slash))) return false;
  // A unique name in the same folder (mkstemp makes it 0600); readers never see a partial
  // file because the rename replaces the old one in one step.
  std::string temp = target + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    ::close(fd);
    ::unlink(temp.c_str());
    return false;
  }
  // The fastest compression: a thumbnail is small, and is made far more often than the few
  // extra kilobytes of the better levels would matter.
  bool ok = WritePngWithText(file, pixels.data(), pixels.width(), pixels.height(), text, 1);
  ok = std::fclose(file) == 0 && ok;
  if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

bool ThumbnailCache::Store(const ThumbnailSource& source, ThumbnailSize size,
                           const ImageBuffer& thumbnail, const ThumbnailFacts& facts) const {
  if (thumbnail.empty()) return false;
  std::vector<std::pair<std::string, std::string>> text = {
      {"Thumb::URI", source.uri},
      {"Thumb::MTime", std::to_string(source.mtime)},
      {"Thumb::Size", std::to_string(source.size)},
  };
  if (!facts.mime.empty()) text.emplace_back("Thumb::Mime", facts.mime);
  if (facts.sourceWidth > 0 && facts.sourceHeight > 0) {
    text.emplace_back("Thumb::Image::Width", std::to_string(facts.sourceWidth));
    text.emplace_back("Thumb::Image::Height", std::to_string(facts.sourceHeight));
  }
  text.emplace_back("Software", "Quillpix");
  return WriteAtomically(PathFor(source.uri, size), thumbnail, text);
}

bool ThumbnailCache::StoreFailure(const ThumbnailSource& source) const {
  // The entry is a 1 x 1 transparent PNG that carries the file's identity.
  auto pixel = ImageBuffer::Allocate(1, 1);
  if (!pixel) return false;
  std::fill_n(pixel->data(), 4, uint8_t{0});
  const std::vector<std::pair<std::string, std::string>> text = {
      {"Thumb::URI", source.uri},
      {"Thumb::MTime", std::to_string(source.mtime)},
      {"Software", "Quillpix"},
  };
  return WriteAtomically(FailPathFor(source.uri), *pixel, text);
}

}  // namespace qp
