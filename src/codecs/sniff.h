// File-type detection from the first 8 bytes and the extension.
//
// A positive code means the signature and the extension agree (or the type was decided by the
// extension alone); a negative code means the signature was recognised under another extension.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qp {

enum SniffCode : int32_t {
  kSniffOther = 0,       // too short, or a known extension without its signature
  kSniffWebp = 1,        // "RIF"
  kSniffJpeg = 2,        // FF D8 FF
  kSniffGif = 3,         // "GIF"
  kSniffPng = 4,         // 89 "PNG"
  kSniffBmp = 5,         // "BM"
  kSniffUnknown = 6,     // unknown extension, no known signature
  kSniffUnopenable = 7,  // the file cannot be opened
  kSniffEmpty = 8,       // size 0
  kSniffIcon = 9,        // ".ico" with 00 00 01 00
  kSniffLuraWave = 10,   // "WV"
  kSniffAvif = 11,       // ".avif" by extension
  kSniffQoi = 12,        // "qoif"
  kSniffIsoMedia = 13,   // "ftyp" at offset 4, or ".mp4"/".webm"
};

// Classifies a file. When `fileSize` is given it receives the length in bytes (0 when the
// file cannot be opened).
int32_t SniffFileType(const std::string& path, int64_t* fileSize = nullptr);

// Classifies 8 already-read bytes (fewer means too short) under a path's extension.
int32_t SniffBytes(std::string_view path, const uint8_t* bytes, size_t count);

// The type name shown to the user ("WEBP", "JPG", …), else the text after the path's last
// "." or "Unknown".
std::string FileTypeName(std::string_view path, int32_t code);

// Kind of a document path: 2 for a "ClipboardWithTransparency…" pseudo-name, 1 for a
// "Clipboard…" one (file-name part without "."), 0 for a file.
int32_t ClipboardKind(std::string_view path);

}  // namespace qp
