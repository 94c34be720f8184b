#include "core/sniff.h"

#include <cstdio>

#include "core/file_io.h"
#include "core/paths.h"

namespace qp {

namespace {

bool ExtIs(std::string_view ext, std::initializer_list<std::string_view> names) {
  for (auto n : names)
    if (EqualsIgnoreCase(ext, n)) return true;
  return false;
}

// The extension is the text from the path's last "." (the file-name part's, so that a dot in
// a folder name does not count).
int32_t Signed(bool agrees, int32_t code) { return agrees ? code : -code; }

}  // namespace

int32_t SniffBytes(std::string_view path, const uint8_t* b, size_t count) {
  if (count < 8) return kSniffOther;
  const std::string ext = ExtensionOf(path);
  switch (b[0]) {
    case 'R':
      if (b[1] == 'I' && b[2] == 'F') return Signed(ExtIs(ext, {".webp"}), kSniffWebp);
      break;
    case 0xFF:
      if (b[1] == 0xD8 && b[2] == 0xFF) return Signed(ExtIs(ext, {".jpg", ".jpeg"}), kSniffJpeg);
      break;
    case 'G':
      if (b[1] == 'I' && b[2] == 'F') return Signed(ExtIs(ext, {".gif"}), kSniffGif);
      break;
    case 0x89:
      if (b[1] == 'P' && b[2] == 'N' && b[3] == 'G') return Signed(ExtIs(ext, {".png"}), kSniffPng);
      break;
    case 'B':
      if (b[1] == 'M') return Signed(ExtIs(ext, {".bmp"}), kSniffBmp);
      break;
    case 'W':
      if (b[1] == 'V') return Signed(ExtIs(ext, {".lwf"}), kSniffLuraWave);
      break;
    case 'q':
      if (b[1] == 'o' && b[2] == 'i' && b[3] == 'f') return Signed(ExtIs(ext, {".qoi"}), kSniffQoi);
      break;
    default:
      break;
  }
  if (b[4] == 'f' && b[5] == 't' && b[6] == 'y' && b[7] == 'p')
    return Signed(ExtIs(ext, {".mp4"}), kSniffIsoMedia);
  if (ExtIs(ext, {".ico"}))
    return (b[0] == 0 && b[1] == 0 && b[2] == 1 && b[3] == 0) ? kSniffIcon : kSniffOther;
  if (ExtIs(ext, {".avif"})) return kSniffAvif;
  if (ExtIs(ext, {".mp4", ".webm"})) return kSniffIsoMedia;
  if (ExtIs(ext, {".webp", ".jpg", ".jpeg", ".gif", ".png", ".bmp", ".lwf", ".qoi"}))
    return kSniffOther;
  return kSniffUnknown;
}

int32_t SniffFileType(const std::string& path, int64_t* fileSize) {
  if (fileSize) *fileSize = 0;
  // Only a regular file counts as openable: a directory has no content to sniff and a FIFO
  // would block the caller until something writes to it.
  UniqueFile f = OpenRegularFile(path);
  if (!f) return kSniffUnopenable;
  uint8_t b[8];
  const size_t got = std::fread(b, 1, sizeof b, f.get());
  int32_t code = SniffBytes(path, b, got);
  if (fileSize) {
    if (std::fseek(f.get(), 0, SEEK_END) == 0) {
      const long end = std::ftell(f.get());
      *fileSize = end < 0 ? 0 : end;
    }
    if (*fileSize == 0) code = kSniffEmpty;
  }
  return code;
}

std::string FileTypeName(std::string_view path, int32_t code) {
  switch (code) {
    case 1: case -1: return "WEBP";
    case 2: case -2: return "JPG";
    case 3: case -3: return "GIF";
    case 4: case -4: return "PNG";
    case 5: case -5: return "BMP";
    case 10: case -10: return "LWF";
    case 11: return "AVIF";
    case 12: return "QOI";
    case 13: return "MP4";
    default: break;
  }
  // Taken from the file-name part, so a dot in a folder name is not an extension.
  const std::string ext = ExtensionOf(path);
  if (ext.empty()) return "Unknown";
  return ext.substr(1);
}

int32_t ClipboardKind(std::string_view path) {
  const std::string name = FileNameOf(path);
  if (name.find('.') != std::string::npos) return 0;
  if (name.starts_with("ClipboardWithTransparency")) return 2;
  if (name.starts_with("Clipboard")) return 1;
  return 0;
}

}  // namespace qp
