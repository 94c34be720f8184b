#include "codecs/jpeg.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codecs/scaled_decode.h"

// jpeglib.h needs size_t and FILE declared first.
#include <jerror.h>
#include <jpeglib.h>
#include <turbojpeg.h>

#include "core/debug.h"
#include "core/file_io.h"
#include "core/prefault.h"

namespace qp {

namespace {

constexpr const char* kSaveError = "Could not save JPG file";
// A legitimate progressive file has a few dozen scans at most; thousands of tiny scans only
// burn time.
constexpr int kMaxScans = 1000;
// Working memory libjpeg may take beyond the output picture (coefficient buffers of
// progressive files).
constexpr long kMaxLibraryMemory = 1024L * 1024 * 1024;

// libjpeg reports fatal errors by calling error_exit, which must not return; we jump back to
// the decode routine. Messages go to the debug log only.
struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

void OutputMessage(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  DebugLog("jpeg: %s", text);
}

void EmitMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace messages
  if (cinfo->err->num_warnings == 0) OutputMessage(cinfo);
  ++cinfo->err->num_warnings;
}

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  OutputMessage(cinfo);
  std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// The progress record with the caller's cancel flag beside it.
struct Progress {
  jpeg_progress_mgr pub{};
  const std::atomic<bool>* cancel = nullptr;
};

void OnProgress(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number > kMaxScans) {
    DebugLog("jpeg: more than %d scans", kMaxScans);
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
  }
  // Called for every batch of rows, so a cancel stops the decode within a few rows.
  const auto* p = reinterpret_cast<const Progress*>(cinfo->progress);
  if (p->cancel != nullptr && p->cancel->load(std::memory_order_relaxed))
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// Reads the file through a 64 KiB buffer. The library's own file source refills 4 KiB at a
// time, and its fast Huffman path only runs while a whole MCU's worth of bytes (up to a few
// KiB) is buffered, so with the small buffer a good share of the picture took the slow path.
struct FileSource {
  static constexpr size_t kBuffer = 64 * 1024;
  jpeg_source_mgr pub{};
  std::FILE* file = nullptr;
  std::vector<JOCTET> buffer;
};

void InitSource(j_decompress_ptr) {}
void TermSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
  auto* src = reinterpret_cast<FileSource*>(cinfo->src);
  size_t got = std::fread(src->buffer.data(), 1, src->buffer.size(), src->file);
  if (got == 0) {
    // A file cut short: an end-of-image marker lets the library finish with what it has (as
    // its own file source does), with a warning.
    WARNMS(cinfo, JWRN_JPEG_EOF);
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    got = 2;
  }
  src->pub.next_input_byte = src->buffer.data();
  src->pub.bytes_in_buffer = got;
  return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  auto* src = cinfo->src;
  while (count > static_cast<long>(src->bytes_in_buffer)) {
    count -= static_cast<long>(src->bytes_in_buffer);
    FillInputBuffer(cinfo);
  }
  src->next_input_byte += count;
  src->bytes_in_buffer -= static_cast<size_t>(count);
}

// Everything the decode touches lives here, outside the frame that calls setjmp, so a jump
// back skips no destructor and finds every value in memory.
struct JpegRead {
  jpeg_decompress_struct cinfo{};
  ErrorManager err{};
  Progress progress{};
  FileSource source;
  ImageBuffer out;
  BackgroundPrefault prefault;  // declared after `out`: finishes before `out` is released
  DecodeDetails details;
  std::vector<uint8_t> icc;   // the ICC profile of the APP2 chunks, joined
  std::vector<uint8_t> band;  // a region decode's rows as the library writes them
  OrientedRect region;        // the rectangle a region decode delivered

  JpegRead() {
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = ErrorExit;
    err.pub.output_message = OutputMessage;
    err.pub.emit_message = EmitMessage;
    progress.pub.progress_monitor = OnProgress;
  }
  ~JpegRead() { jpeg_destroy_decompress(&cinfo); }  // no-op when never created
  JpegRead(const JpegRead&) = delete;
  JpegRead& operator=(const JpegRead&) = delete;
};

// JPEG has no alpha: the filler byte the library writes (255) becomes 0, which reads as
// opaque while hasAlpha is clear. Works on whole words so the compiler can vectorise it.
void ClearFillers(uint8_t* row, uint32_t width) {
  for (uint32_t x = 0; x < width; ++x) {
    uint32_t v;
    std::memcpy(&v, row + size_t{x} * 4, 4);
    v &= 0x00FFFFFFu;  // blue, green, red in the low three bytes on a little-endian word
    std::memcpy(row + size_t{x} * 4, &v, 4);
  }
}

// The ICC profile split over the APP2 markers saved while the header was read.
void KeepIccProfile(JpegRead& r) {
  JOCTET* data = nullptr;
  unsigned int length = 0;
  if (!jpeg_read_icc_profile(&r.cinfo, &data, &length) || data == nullptr) return;
  r.icc.assign(data, data + length);
  std::free(data);
}

// The rectangle `target` asks for, after the header was read (called from Decode, within its
// setjmp). The library crops to whole blocks and may let pixels at the edge of a crop or a
// skip depend on the missing neighbours (chroma upsampling), so a margin is decoded around
// the rectangle and dropped: what is delivered equals those pixels of the full decode.
bool DecodeRegion(JpegRead& r, const RegionTarget& target) {
  const uint32_t fw = r.cinfo.image_width, fh = r.cinfo.image_height;
  const std::optional<OrientedRect> asked =
      target(static_cast<int32_t>(fw), static_cast<int32_t>(fh));
  if (!asked) return false;
  const auto clamp = [](int32_t v, uint32_t hi) {
    return static_cast<uint32_t>(std::clamp<int64_t>(v, 0, hi));
  };
  const uint32_t left = clamp(asked->left, fw), right = clamp(asked->right, fw);
  const uint32_t top = clamp(asked->top, fh), bottom = clamp(asked->bottom, fh);
  if (right <= left || bottom <= top) return false;
  constexpr uint32_t kMargin = 16;  // one block of a picture with halved chroma
  jpeg_start_decompress(&r.cinfo);
  if (r.cinfo.output_components != 4 || r.cinfo.output_width != fw) return false;
  JDIMENSION x = left > kMargin ? left - kMargin : 0;
  JDIMENSION cw = std::min(fw, right + kMargin) - x;
  jpeg_crop_scanline(&r.cinfo, &x, &cw);  // widened to whole blocks
  const uint32_t first = top > kMargin ? top - kMargin : 0;
  if (first > 0 && jpeg_skip_scanlines(&r.cinfo, first) != first) return false;
  const uint32_t w = right - left, h = bottom - top;
  {
    auto block = ImageBuffer::Allocate(w, h);
    if (!block) return false;
    r.out = std::move(*block);
  }
  constexpr uint32_t kBand = 16;
  const size_t bandStride = size_t{cw} * 4;
  r.band.resize(bandStride * kBand);
  while (r.cinfo.output_scanline < bottom) {
    JSAMPROW rows[kBand];
    const uint32_t at = r.cinfo.output_scanline;
    const uint32_t want = std::min<uint32_t>(kBand, bottom - at);
    for (uint32_t i = 0; i < want; ++i) rows[i] = r.band.data() + bandStride * i;
    const uint32_t got = jpeg_read_scanlines(&r.cinfo, rows, want);
    if (got == 0) return false;
    for (uint32_t i = 0; i < got; ++i) {
      if (at + i < top) continue;
      uint8_t* dst = r.out.row(static_cast<int32_t>(at + i - top));
      std::memcpy(dst, rows[i] + size_t{left - x} * 4, size_t{w} * 4);
      ClearFillers(dst, w);
    }
  }
  // The rows below are not needed: the decode ends here.
  jpeg_abort_decompress(&r.cinfo);
  r.region = OrientedRect{static_cast<int32_t>(left), static_cast<int32_t>(top),
                          static_cast<int32_t>(right), static_cast<int32_t>(bottom)};
  return true;
}

// Decodes into r.out, reading from `file` when given, else from `bytes`. No object with a
// destructor may live in this frame across a libjpeg call, since an error jumps back to the
// setjmp below.
// With `target` the library scales by n/8 as it decodes (see LoadJpegScaled).
bool Decode(JpegRead& r, std::FILE* file, std::span<const uint8_t> bytes,
            const ScaledTarget* target = nullptr, const RegionTarget* region = nullptr) {
  if (setjmp(r.err.jump)) return false;
  jpeg_create_decompress(&r.cinfo);
  r.cinfo.progress = &r.progress.pub;
  r.cinfo.mem->max_memory_to_use = kMaxLibraryMemory;
  if (file != nullptr) {
    r.source.file = file;
    r.source.buffer.resize(FileSource::kBuffer);
    r.source.pub.init_source = InitSource;
    r.source.pub.fill_input_buffer = FillInputBuffer;
    r.source.pub.skip_input_data = SkipInputData;
    r.source.pub.resync_to_restart = jpeg_resync_to_restart;
    r.source.pub.term_source = TermSource;
    r.cinfo.src = &r.source.pub;
  } else
    jpeg_mem_src(&r.cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_save_markers(&r.cinfo, JPEG_APP0 + 2, 0xFFFF);
  jpeg_read_header(&r.cinfo, TRUE);
  KeepIccProfile(r);
  r.details.format = DecodeDetails::Format::Jpeg;
  r.details.jpegColourSpace = r.cinfo.jpeg_color_space;
  r.details.jpegProgressive = r.cinfo.progressive_mode ? 1 : 0;
  r.details.detailsValid = true;
  // Refuse hostile sizes before the library allocates anything for the picture.
  if (!PictureBytes(r.cinfo.image_width, r.cinfo.image_height)) return false;

  // Blue, green, red and a filler byte: the picture's own layout, decoded in place. CMYK and
  // YCCK cannot be converted and fail here.
  r.cinfo.out_color_space = JCS_EXT_BGRX;
  if (target != nullptr) {
    const uint32_t w = r.cinfo.image_width, h = r.cinfo.image_height;
    const auto [tw, th] = (*target)(static_cast<int32_t>(w), static_cast<int32_t>(h));
    // Scaled sizes round up: ceil(w * n / 8).
    const auto scaled = [](uint32_t v, uint32_t n) { return (uint64_t{v} * n + 7) / 8; };
    // No target: the full size.
    uint32_t n = tw <= 0 || th <= 0 ? 8 : 1;
    while (n < 8 && (scaled(w, n) < static_cast<uint64_t>(std::max(tw, 0)) ||
                     scaled(h, n) < static_cast<uint64_t>(std::max(th, 0))))
      ++n;
    r.cinfo.scale_num = n;
    r.cinfo.scale_denom = 8;
    // A quick look: the faster transform, plain chroma upsampling and no smoothing of the
    // first coarse scans of a progressive file are good enough.
    r.cinfo.dct_method = JDCT_IFAST;
    r.cinfo.do_fancy_upsampling = FALSE;
    r.cinfo.do_block_smoothing = FALSE;
  }
  if (region != nullptr) return DecodeRegion(r, *region);
  jpeg_start_decompress(&r.cinfo);
  const uint32_t width = r.cinfo.output_width, height = r.cinfo.output_height;
  if (r.cinfo.output_components != 4 || !PictureBytes(width, height)) return false;
  {
    auto block = ImageBuffer::Allocate(width, height);
    if (!block) return false;
    r.out = std::move(*block);
  }
  r.prefault.Start(r.out.data(), r.out.byteSize());
  while (r.cinfo.output_scanline < height) {
    JSAMPROW rows[16];
    const uint32_t first = r.cinfo.output_scanline;
    const uint32_t want = std::min<uint32_t>(16, height - first);
    for (uint32_t i = 0; i < want; ++i) rows[i] = r.out.row(static_cast<int32_t>(first + i));
    const uint32_t got = jpeg_read_scanlines(&r.cinfo, rows, want);
    if (got == 0) return false;
    // The rows just written are still in cache.
    for (uint32_t i = 0; i < got; ++i) ClearFillers(rows[i], width);
  }
  jpeg_finish_decompress(&r.cinfo);
  return true;
}

struct TjHandle {
  tjhandle h = tjInitCompress();
  unsigned char* buffer = nullptr;
  ~TjHandle() {
    if (buffer) tjFree(buffer);
    if (h) tjDestroy(h);
  }
};

// The compressed file with the ICC profile in APP2 markers after the JFIF marker: each
// carries "ICC_PROFILE", its 1-based number and the count, and at most 65519 profile bytes.
std::optional<std::vector<uint8_t>> WithIccProfile(std::span<const uint8_t> jpeg,
                                                   std::span<const uint8_t> icc) {
  constexpr size_t kChunk = 65519;
  const size_t chunks = (icc.size() + kChunk - 1) / kChunk;
  if (jpeg.size() < 4 || chunks > 255) return std::nullopt;
  size_t at = 2;  // after SOI
  if (jpeg[2] == 0xFF && jpeg[3] == 0xE0 && jpeg.size() >= 6)
    at = 4 + (size_t{jpeg[4]} << 8 | jpeg[5]);
  if (at > jpeg.size()) return std::nullopt;
  std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(at));
  out.reserve(jpeg.size() + icc.size() + chunks * 18);
  static constexpr char kTag[12] = "ICC_PROFILE";
  for (size_t i = 0; i < chunks; ++i) {
    const size_t n = std::min(kChunk, icc.size() - i * kChunk);
    const size_t length = 2 + sizeof kTag + 2 + n;
    out.insert(out.end(),
               {0xFF, 0xE2, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
    out.insert(out.end(), kTag, kTag + sizeof kTag);
    out.push_back(static_cast<uint8_t>(i + 1));
    out.push_back(static_cast<uint8_t>(chunks));
    out.insert(out.end(), icc.begin() + static_cast<std::ptrdiff_t>(i * kChunk),
               icc.begin() + static_cast<std::ptrdiff_t>(i * kChunk + n));
  }
  out.insert(out.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(at), jpeg.end());
  return out;
}

}  // namespace

DecodeResult DecodeJpeg(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return {};
  JpegRead r;
  const bool ok = Decode(r, nullptr, bytes) && !r.out.empty();
  r.details.colour = ColourProfile::FromIcc(r.icc);
  if (!ok) return DecodeResult::Failed(r.details);
  return DecodeResult(std::move(r.out)).with(r.details);
}

DecodeResult LoadJpeg(const std::string& path, const std::atomic<bool>* cancel) {
  // The decoder reads the file through its own small buffer as it goes, so the compressed
  // bytes are never held in memory as a whole.
  // Only regular files: a pipe or device could block the read or never end.
  UniqueFile file = OpenRegularFile(path);
  if (!file) return {};
  JpegRead r;
  r.progress.cancel = cancel;
  const bool ok = Decode(r, file.get(), {}) && !r.out.empty();
  r.details.colour = ColourProfile::FromIcc(r.icc);
  if (!ok) return DecodeResult::Failed(r.details);
  return DecodeResult(std::move(r.out)).with(r.details);
}

namespace {

// A reduced decode (`target`) or a part at full size (`region`), with what the header told.
std::optional<ScaledPicture> Scaled(std::FILE* file, std::span<const uint8_t> bytes,
                                    const ScaledTarget* target,
                                    const RegionTarget* region = nullptr) {
  JpegRead r;
  if (!Decode(r, file, bytes, target, region) || r.out.empty()) return std::nullopt;
  ScaledPicture out;
  out.fullWidth = static_cast<int32_t>(r.cinfo.image_width);
  out.fullHeight = static_cast<int32_t>(r.cinfo.image_height);
  out.picture = std::move(r.out);
  out.details = r.details;
  out.details.colour = ColourProfile::FromIcc(r.icc);
  if (region != nullptr) out.region = r.region;
  return out;
}

}  // namespace

std::optional<ScaledPicture> LoadJpegScaled(const std::string& path, const ScaledTarget& target) {
  UniqueFile file = OpenRegularFile(path);
  if (!file) return std::nullopt;
  return Scaled(file.get(), {}, &target);
}

std::optional<ScaledPicture> DecodeJpegScaled(std::span<const uint8_t> bytes,
                                              const ScaledTarget& target) {
  if (bytes.empty()) return std::nullopt;
  return Scaled(nullptr, bytes, &target);
}

std::optional<ScaledPicture> LoadJpegRegion(const std::string& path, const RegionTarget& target) {
  UniqueFile file = OpenRegularFile(path);
  if (!file) return std::nullopt;
  return Scaled(file.get(), {}, nullptr, &target);
}

std::optional<std::vector<uint8_t>> EncodeJpeg(const uint8_t* pixels, int32_t width, int32_t height,
                                               int32_t quality, JpegChroma chroma) {
  if (pixels == nullptr || !PictureBytes(width, height)) return std::nullopt;
  TjHandle tj;
  if (!tj.h) return std::nullopt;
  unsigned long size = 0;
  const int sampling = chroma == JpegChroma::Half        ? TJSAMP_420
                       : chroma == JpegChroma::HalfWidth ? TJSAMP_422
                                                         : TJSAMP_444;
  // The alpha byte is a filler for the compressor: a JPEG is always opaque.
  if (tjCompress2(tj.h, pixels, width, 0, height, TJPF_BGRX, &tj.buffer, &size, sampling, quality,
                  TJFLAG_FASTDCT) != 0) {
    DebugLog("jpeg: %s", tjGetErrorStr2(tj.h));
    return std::nullopt;
  }
  return std::vector<uint8_t>(tj.buffer, tj.buffer + size);
}

const char* SaveJpeg(const uint8_t* pixels, int32_t width, int32_t height, int32_t quality,
                     const char* path, std::span<const uint8_t> icc) {
  if (path == nullptr) return kSaveError;
  const auto compressed = EncodeJpeg(pixels, width, height, quality);
  if (!compressed) return kSaveError;
  if (!icc.empty()) {
    auto tagged = WithIccProfile(*compressed, icc);
    if (!tagged || !WriteWholeFile(path, *tagged)) return kSaveError;
    return nullptr;
  }
  if (!WriteWholeFile(path, *compressed)) return kSaveError;
  return nullptr;
}

}  // namespace qp
