#include "codecs/png.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <vector>

#include "core/byte_reader.h"
#include "core/debug.h"
#include "core/file_io.h"
#include "core/prefault.h"

namespace qp {

namespace {

constexpr const char* kSaveError = "Could not save PNG file";
// Largest ancillary chunk libpng may buffer (text, ICC profiles); real files stay far below.
constexpr png_alloc_size_t kMaxChunkBytes = 16u * 1024 * 1024;
// Most ancillary chunks of one kind kept (text, sPLT, unknown).
constexpr png_uint_32 kMaxCachedChunks = 1000;

// libpng's error callback must not return: report and jump back to the decode routine.
[[noreturn]] void OnError(png_structp png, png_const_charp message) {
  DebugLog("png: %s", message);
  png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp message) {
  DebugLog("png warning: %s", message);
}

void ReadFromMemory(png_structp png, png_bytep dst, size_t length) {
  auto* reader = static_cast<ByteReader*>(png_get_io_ptr(png));
  const auto bytes = reader->bytes(length);
  if (bytes.size() != length) png_error(png, "file ends early");
  std::memcpy(dst, bytes.data(), length);
}

// Fully transparent pixels are white, whatever colour the file stored. Branch-free on whole
// words so the compiler can vectorise it.
void WhitenTransparentRun(uint8_t* p, size_t pixels) {
  for (size_t i = 0; i < pixels; ++i) {
    uint32_t v;
    std::memcpy(&v, p + i * 4, 4);
    v |= (v >> 24) == 0 ? 0x00FFFFFFu : 0u;  // alpha is the top byte of a little-endian word
    std::memcpy(p + i * 4, &v, 4);
  }
}

// Everything the decode touches lives here, outside the frame that calls setjmp, so a jump
// back skips no destructor.
struct PngRead {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ByteReader input;
  std::FILE* file = nullptr;
  ImageBuffer out;
  BackgroundPrefault prefault;  // declared after `out`: finishes before `out` is released
  std::vector<png_bytep> rows;
  DecodeDetails details;
  PngColourChunks colour;

  // Reads from `file` when given (the signature already consumed), else from `bytes`.
  PngRead(std::FILE* f, std::span<const uint8_t> bytes) : input(bytes), file(f) {
    png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (png) info = png_create_info_struct(png);
  }
  ~PngRead() {
    if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  }
  PngRead(const PngRead&) = delete;
  PngRead& operator=(const PngRead&) = delete;
};

// cICP: colour primaries, transfer, matrix and the full-range flag, one byte each.
constexpr png_byte kCicpName[5] = {'c', 'I', 'C', 'P', 0};

// The colour chunks read with the header (all of them must precede the image data).
void KeepColourChunks(PngRead& r) {
  png_structp png = r.png;
  png_infop info = r.info;
  png_charp name = nullptr;
  int compression = 0;
  png_bytep profile = nullptr;
  png_uint_32 length = 0;
  if (png_get_iCCP(png, info, &name, &compression, &profile, &length) && profile != nullptr)
    r.colour.icc = std::vector<uint8_t>(profile, profile + length);
  int intent = 0;
  if (png_get_sRGB(png, info, &intent)) r.colour.srgbIntent = static_cast<uint8_t>(intent);
  double gamma = 0;
  if (png_get_valid(png, info, PNG_INFO_gAMA) && png_get_gAMA(png, info, &gamma))
    r.colour.gamma = gamma;
  std::array<double, 8> c{};
  if (png_get_valid(png, info, PNG_INFO_cHRM) &&
      png_get_cHRM(png, info, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7]))
    r.colour.chromaticities = c;
  png_unknown_chunkp unknown = nullptr;
  const int count = png_get_unknown_chunks(png, info, &unknown);
  for (int i = 0; i < count; ++i) {
    if (std::memcmp(unknown[i].name, kCicpName, 4) == 0 && unknown[i].size == 4)
      r.colour.cicp = Cicp{unknown[i].data[0], unknown[i].data[1], unknown[i].data[2],
                           unknown[i].data[3] != 0};
  }
}

// Decodes into r.out. No object with a destructor may live in this frame across a libpng
// call, since an error jumps back to the setjmp below.
bool Decode(PngRead& r) {
  png_structp png = r.png;
  png_infop info = r.info;
  if (setjmp(png_jmpbuf(png))) return false;
  // Any size the format allows passes the header, so its details are recorded; the picture
  // size is checked right after, before anything is allocated for the rows.
  png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_set_chunk_malloc_max(png, kMaxChunkBytes);
  png_set_chunk_cache_max(png, kMaxCachedChunks);
  if (r.file != nullptr)
    png_init_io(png, r.file);
  else
    png_set_read_fn(png, &r.input, ReadFromMemory);
  png_set_sig_bytes(png, 8);
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_ALWAYS, kCicpName, 1);
  png_read_info(png, info);
  KeepColourChunks(r);

  const png_uint_32 width = png_get_image_width(png, info);
  const png_uint_32 height = png_get_image_height(png, info);
  const int colourType = png_get_color_type(png, info);
  const int bitDepth = png_get_bit_depth(png, info);
  const bool transparencyChunk = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
  r.details.format = DecodeDetails::Format::Png;
  r.details.pngColourType = colourType;
  r.details.pngBitDepth = bitDepth;
  // An alpha channel, or a transparency chunk on a palette, grey or RGB picture.
  r.details.hasAlpha = (colourType & PNG_COLOR_MASK_ALPHA) != 0 || transparencyChunk;
  r.details.detailsValid = true;
  if (!PictureBytes(width, height)) return false;

  // Everything becomes 8-bit RGB or RGBA: palettes and low depths expanded, gray copied to
  // three channels, a transparency chunk turned into an alpha channel, 16 bits cut to 8.
  if ((colourType == PNG_COLOR_TYPE_PALETTE && bitDepth <= 8) || bitDepth == 1) png_set_expand(png);
  if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA)
    png_set_gray_to_rgb(png);
  if (transparencyChunk) png_set_expand(png);
  if (bitDepth == 16) png_set_strip_16(png);
  png_set_packing(png);
  const int passes = png_set_interlace_handling(png);
  // Rows arrive straight in the picture's layout: blue, green, red, then alpha or a 0 byte.
  png_set_bgr(png);
  const bool opaque = !(colourType & PNG_COLOR_MASK_ALPHA) && !transparencyChunk;
  if (opaque) png_set_filler(png, 0, PNG_FILLER_AFTER);
  png_read_update_info(png, info);

  const int outType = png_get_color_type(png, info);
  if (outType != PNG_COLOR_TYPE_RGB && outType != PNG_COLOR_TYPE_RGB_ALPHA) return false;
  if (png_get_rowbytes(png, info) != size_t{width} * 4) return false;
  {
    auto block = ImageBuffer::Allocate(width, height);
    if (!block) return false;
    r.out = std::move(*block);
  }
  r.prefault.Start(r.out.data(), r.out.byteSize());
  const bool whiten = outType == PNG_COLOR_TYPE_RGB_ALPHA;
  if (passes == 1) {
    // One pass: each row is finished as soon as it is read, while it is still in cache.
    for (png_uint_32 y = 0; y < height; ++y) {
      png_bytep row = r.out.row(static_cast<int32_t>(y));
      png_read_row(png, row, nullptr);
      if (whiten) WhitenTransparentRun(row, width);
    }
  } else {
    r.rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y) r.rows[y] = r.out.row(static_cast<int32_t>(y));
    png_read_image(png, r.rows.data());
    if (whiten) WhitenTransparentRun(r.out.data(), r.out.pixelCount());
  }
  return true;
}

struct PngWrite {
  png_structp png = nullptr;
  png_infop info = nullptr;
  PngWrite() {
    png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (png) info = png_create_info_struct(png);
  }
  ~PngWrite() {
    if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
  }
  PngWrite(const PngWrite&) = delete;
  PngWrite& operator=(const PngWrite&) = delete;
};

bool Encode(PngWrite& w, std::FILE* file, png_bytepp rows, int32_t width, int32_t height,
            bool alpha, std::span<const uint8_t> icc, std::span<png_text> text = {},
            int zlibLevel = 0) {
  if (setjmp(png_jmpbuf(w.png))) return false;
  png_init_io(w.png, file);
  if (zlibLevel > 0) png_set_compression_level(w.png, std::min(zlibLevel, 9));
  png_set_IHDR(w.png, w.info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!icc.empty())
    png_set_iCCP(w.png, w.info, "ICC profile", PNG_COMPRESSION_TYPE_BASE, icc.data(),
                 static_cast<png_uint_32>(icc.size()));
  if (!text.empty()) png_set_text(w.png, w.info, text.data(), static_cast<int>(text.size()));
  png_set_rows(w.png, w.info, rows);
  // The library copies each row before reordering blue/red and dropping the alpha byte, so
  // the picture itself is only read.
  const int transforms = PNG_TRANSFORM_BGR | (alpha ? 0 : PNG_TRANSFORM_STRIP_FILLER_AFTER);
  png_write_png(w.png, w.info, transforms, nullptr);
  return true;
}

}  // namespace

DecodeResult DecodePng(std::span<const uint8_t> bytes) {
  if (bytes.size() < 8 || png_sig_cmp(bytes.data(), 0, 8) != 0) return {};
  try {
    PngRead r(nullptr, bytes.subspan(8));
    if (!r.png || !r.info) return {};
    const bool ok = Decode(r) && !r.out.empty();
    r.details.colour = ColourProfile::FromPng(r.colour);
    if (!ok) return DecodeResult::Failed(r.details);
    return DecodeResult(std::move(r.out)).with(r.details);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

DecodeResult LoadPng(const std::string& path) {
  // Only regular files (a pipe or device could block the read or never end); the library
  // reads the rest of the file through stdio as it decodes.
  UniqueFile f = OpenRegularFile(path);
  if (!f) return {};
  uint8_t sig[8];
  if (std::fread(sig, 1, 8, f.get()) != 8 || png_sig_cmp(sig, 0, 8) != 0) return {};
  try {
    PngRead r(f.get(), {});
    if (!r.png || !r.info) return {};
    const bool ok = Decode(r) && !r.out.empty();
    r.details.colour = ColourProfile::FromPng(r.colour);
    if (!ok) return DecodeResult::Failed(r.details);
    return DecodeResult(std::move(r.out)).with(r.details);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

bool WritePngWithText(std::FILE* file, const uint8_t* pixels, int32_t width, int32_t height,
                      std::span<const std::pair<std::string, std::string>> text,
                      int zlibLevel) {
  if (file == nullptr || pixels == nullptr || !PictureBytes(width, height)) return false;
  const bool alpha = HasMeaningfulAlpha(pixels, width, height);
  std::vector<png_bytep> rows(static_cast<size_t>(height));
  for (int32_t y = 0; y < height; ++y)
    rows[static_cast<size_t>(y)] =
        const_cast<png_bytep>(pixels + static_cast<size_t>(y) * static_cast<size_t>(width) * 4);
  std::vector<png_text> chunks(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    chunks[i] = png_text{};
    chunks[i].compression = PNG_TEXT_COMPRESSION_NONE;
    chunks[i].key = const_cast<png_charp>(text[i].first.c_str());
    chunks[i].text = const_cast<png_charp>(text[i].second.c_str());
    chunks[i].text_length = text[i].second.size();
  }
  PngWrite w;
  if (!w.png || !w.info) return false;
  return Encode(w, file, rows.data(), width, height, alpha, {}, chunks, zlibLevel);
}

const char* SavePng(const uint8_t* pixels, int32_t width, int32_t height, int32_t /*level*/,
                    const char* path, std::span<const uint8_t> icc) {
  if (pixels == nullptr || path == nullptr || !PictureBytes(width, height)) return kSaveError;
  const bool alpha = HasMeaningfulAlpha(pixels, width, height);
  std::vector<png_bytep> rows(static_cast<size_t>(height));
  for (int32_t y = 0; y < height; ++y)
    rows[static_cast<size_t>(y)] =
        const_cast<png_bytep>(pixels + static_cast<size_t>(y) * static_cast<size_t>(width) * 4);
  UniqueFile file = OpenFile(path, "wb");
  if (!file) return kSaveError;
  PngWrite w;
  if (!w.png || !w.info) return kSaveError;
  if (!Encode(w, file.get(), rows.data(), width, height, alpha, icc)) return kSaveError;
  if (std::fclose(file.release()) != 0) return kSaveError;
  return nullptr;
}

}  // namespace qp
