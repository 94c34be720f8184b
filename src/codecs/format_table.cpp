#include "codecs/format_table.h"

#include "codecs/sniff.h"
#include "core/paths.h"

namespace qp {

namespace {

using D = DecoderId;
using E = EncoderId;
using P = Provider;

// Signatures at offset 0 are told apart by their first byte; "ftyp" at offset 4 is looked
// at only when none of them matched.
constexpr SignatureRow kSignatures[] = {
    {kSniffWebp, 0, "RIF", D::Webp, false, true},
    {kSniffJpeg, 0, "\xFF\xD8\xFF", D::Jpeg, false, true},
    {kSniffGif, 0, "GIF", D::Gif, false, true},
    {kSniffPng, 0, "\x89PNG", D::Png, true, true},
    {kSniffBmp, 0, "BM", D::LibraryBmp, false, true},
    // The secondary loader takes a LuraWave signature under another name by its extension.
    {kSniffLuraWave, 0, "WV", D::LuraWave, false, false},
    {kSniffQoi, 0, "qoif", D::Qoi, false, true},
    {kSniffIsoMedia, 4, "ftyp", D::IsoMedia, false, true},
};

// Codes not listed here, and a negative QOI, AVIF or ISO-media code, are named by the
// file's extension.
constexpr TypeNameRow kTypeNames[] = {
    {kSniffWebp, "WEBP", true},      {kSniffJpeg, "JPG", true},  {kSniffGif, "GIF", true},
    {kSniffPng, "PNG", true},        {kSniffBmp, "BMP", true},   {kSniffLuraWave, "LWF", true},
    {kSniffAvif, "AVIF", false},     {kSniffQoi, "QOI", false},  {kSniffIsoMedia, "MP4", false},
};

// In the order of the pattern list: the built-in patterns, then those each optional
// component adds. Extensions without a decoder of their own go to the plug-ins and then the
// general-purpose decoders.
constexpr ExtensionRow kExtensions[] = {
    {".webp", kSniffWebp, kSniffOther, D::Webp, E::Webp, 0, true, P::Builtin},
    {".jpg", kSniffJpeg, kSniffOther, D::Jpeg, E::Jpeg, 0, true, P::Builtin},
    {".jpeg", kSniffJpeg, kSniffOther, D::Jpeg, E::Jpeg, 0, true, P::Builtin},
    {".gif", kSniffGif, kSniffOther, D::Gif, E::None, 0, true, P::Builtin},
    {".bmp", kSniffBmp, kSniffOther, D::Plugin, E::Library, 0, true, P::Builtin},
    {".dib", 0, kSniffUnknown, D::Plugin, E::None, 0, true, P::Builtin},
    {".png", kSniffPng, kSniffOther, D::Png, E::Png, 0, true, P::Builtin},
    {".tif", 0, kSniffUnknown, D::Plugin, E::Library, 18, true, P::Builtin},
    {".tiff", 0, kSniffUnknown, D::Plugin, E::Library, 18, true, P::Builtin},
    {".wmf", 0, kSniffUnknown, D::Plugin, E::None, 0, true, P::Builtin},
    {".emf", 0, kSniffUnknown, D::Plugin, E::None, 0, true, P::Builtin},
    // An icon is sniffed by its first four bytes only under its own extension.
    {".ico", 0, kSniffIcon, D::Icon, E::Icon, 0, true, P::Builtin},
    {".bgra", 0, kSniffUnknown, D::RawBgra, E::RawBgra, 0, true, P::Builtin},
    {".svg", 0, kSniffUnknown, D::Svg, E::None, 0, true, P::Builtin},
    {".svgz", 0, kSniffUnknown, D::Svgz, E::None, 0, true, P::Builtin},
    {".qoi", kSniffQoi, kSniffOther, D::Qoi, E::Qoi, 0, true, P::Builtin},
    {".lst", 0, kSniffUnknown, D::Plugin, E::None, 0, true, P::Builtin},
    {".jp2", 0, kSniffUnknown, D::Plugin, E::Library, 31, true, P::FreeImage},
    {".j2k", 0, kSniffUnknown, D::Plugin, E::Library, 30, true, P::FreeImage},
    {".jif", 0, kSniffUnknown, D::Plugin, E::None, 0, true, P::FreeImage},
    {".jfif", 0, kSniffUnknown, D::Plugin, E::None, 0, true, P::FreeImage},
    {".pbm", 0, kSniffUnknown, D::Plugin, E::None, 0, true, P::FreeImage},
    {".pgm", 0, kSniffUnknown, D::Plugin, E::None, 0, true, P::FreeImage},
    {".ppm", 0, kSniffUnknown, D::Plugin, E::None, 0, true, P::FreeImage},
    {".pcd", 0, kSniffUnknown, D::Plugin, E::None, 0, true, P::FreeImage},
    {".pcx", 0, kSniffUnknown, D::Plugin, E::None, 0, true, P::FreeImage},
    {".psd", 0, kSniffUnknown, D::Plugin, E::None, 0, true, P::FreeImage},
    {".lbm", 0, kSniffUnknown, D::Plugin, E::None, 0, true, P::FreeImage},
    {".tga", 0, kSniffUnknown, D::Plugin, E::Library, 17, true, P::FreeImage},
    {".targa", 0, kSniffUnknown, D::Plugin, E::Library, 17, true, P::FreeImage},
    {".koa", 0, kSniffUnknown, D::Plugin, E::None, 0, true, P::FreeImage},
    {".ras", 0, kSniffUnknown, D::Plugin, E::None, 0, true, P::FreeImage},
    {".cut", 0, kSniffUnknown, D::Plugin, E::None, 0, true, P::FreeImage},
    {".lwf", kSniffLuraWave, kSniffOther, D::LuraWave, E::None, 0, true, P::LuraWave},
    {".avif", 0, kSniffAvif, D::Avif, E::None, 0, true, P::Avif},
    // "ftyp" under ".mp4" agrees; a ".webm" file (no ftyp box) is taken by its name.
    {".mp4", kSniffIsoMedia, kSniffIsoMedia, D::Video, E::None, 0, true, P::Video},
    {".webm", 0, kSniffIsoMedia, D::Video, E::None, 0, true, P::Video},
};

constexpr FilterRow kOpenFilter[] = {
    {"Google Webp (*.webp)", "*.webp", P::Builtin},
    {"Uncompressed (*.bgra)", "*.bgra", P::Builtin},
    {"Windows or OS/2 Bitmap (*.bmp)", "*.bmp", P::Builtin},
    {"Compuserve Graphics Interchange Format (*.gif)", "*.gif", P::Builtin},
    {"Windows Icon (*.ico)", "*.ico", P::Builtin},
    {"Independent JPEG Group (*.jpg;*.jpeg)", "*.jpg;*.jpeg", P::Builtin},
    {"Portable Network Graphics (*.png)", "*.png", P::Builtin},
    {"Tagged Image Format (*.tif)", "*.tif;*.tiff", P::Builtin},
    {"Windows Meta Files (*.wmf)", "*.wmf;*.emf", P::Builtin},
    {"Scalable Vector Graphics (*.svg;*.svgz)", "*.svg;*.svgz", P::Builtin},
    {"Quite OK Image Format (*.qoi)", "*.qoi", P::Builtin},
    {"Image List (*.lst)", "*.lst", P::Builtin},
};

// The second WebP entry is the lossless one: the save dispatch encodes with quality 100 when
// it is chosen. JPEG is written by the program's own encoder, but its entry comes with the
// external library's formats, as the filter has always listed it.
constexpr FilterRow kSaveFilter[] = {
    {"Google Webp (*.webp)", "*.webp", P::Builtin},
    {"Google Lossless Webp (*.webp)", "*.webp", P::Builtin},
    {"Uncompressed (*.bgra)", "*.bgra", P::Builtin},
    {"Windows Icon (*.ico)", "*.ico", P::Builtin},
    {"Portable Network Graphics (*.png)", "*.png", P::Builtin},
    {"Quite OK Image Format (*.qoi)", "*.qoi", P::Builtin},
    {"Windows or OS/2 24-bit Bitmap (*.bmp)", "*.bmp", P::FreeImage},
    {"Independent JPEG Group (*.jpg)", "*.jpg", P::FreeImage},
    {"JPEG 2000 (*.jp2)", "*.jp2", P::FreeImage},
    {"Targa Truevision (*.tga)", "*.tga", P::FreeImage},
    {"Tagged Image Format (*.tif)", "*.tif", P::FreeImage},
};

}  // namespace

std::span<const SignatureRow> Signatures() { return kSignatures; }
std::span<const ExtensionRow> Extensions() { return kExtensions; }
std::span<const FilterRow> OpenFilterRows() { return kOpenFilter; }
std::span<const FilterRow> SaveFilterRows() { return kSaveFilter; }

const ExtensionRow* FindExtension(std::string_view ext) {
  for (const ExtensionRow& row : kExtensions)
    if (EqualsIgnoreCase(row.ext, ext)) return &row;
  return nullptr;
}

const SignatureRow* FindSignature(int32_t code) {
  for (const SignatureRow& row : kSignatures)
    if (row.code == code) return &row;
  return nullptr;
}

std::string_view TypeNameOf(int32_t code) {
  for (const TypeNameRow& row : kTypeNames)
    if (row.code == code || (row.alsoWhenNegative && row.code == -code)) return row.name;
  return {};
}

}  // namespace qp
