// JPEG XL plug-in on libjxl: reads the first frame of a .jxl file and writes lossless .jxl
// files (RGB, or RGBA when the alpha bytes carry information). Both ways carry the picture's
// colour space as an ICC profile.
#include <jxl/decode.h>
#include <jxl/decode_cxx.h>
#include <jxl/encode.h>
#include <jxl/encode_cxx.h>
#include <jxl/thread_parallel_runner.h>
#include <jxl/thread_parallel_runner_cxx.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "quillpix_plugin.h"

#define QP_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Largest picture handed to the viewer: 2^28 pixels.
constexpr uint64_t kMaxPixels = QP_PLUGIN_MAX_PIXELS;
constexpr uint64_t kMaxFileBytes = uint64_t{1} << 30;
// Lossless effort: 1 is fastest, 9 smallest; 5 keeps saving a camera-sized picture quick.
constexpr int kEffort = 5;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool ReadFile(const char* path, std::vector<uint8_t>& out) {
  File f(std::fopen(path, "rb"));
  if (!f || std::fseek(f.get(), 0, SEEK_END) != 0) return false;
  const long size = std::ftell(f.get());
  if (size <= 0 || static_cast<uint64_t>(size) > kMaxFileBytes) return false;
  std::rewind(f.get());
  out.resize(static_cast<size_t>(size));
  return std::fread(out.data(), 1, out.size(), f.get()) == out.size();
}

// Writes next to the target and renames over it, so a failed save never leaves a damaged
// or truncated file in place of an existing one.
bool WriteFileSafely(const char* path, const std::vector<uint8_t>& bytes) {
  const std::string temp = std::string(path) + ".part";
  {
    File f(std::fopen(temp.c_str(), "wb"));
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size() &&
                    std::fflush(f.get()) == 0;
    if (!ok || std::fclose(f.release()) != 0) {
      std::remove(temp.c_str());
      return false;
    }
  }
  if (std::rename(temp.c_str(), path) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

// Whether a colour encoding is plain sRGB, which needs no profile.
bool IsSrgb(const JxlColorEncoding& c) {
  return c.color_space == JXL_COLOR_SPACE_RGB && c.white_point == JXL_WHITE_POINT_D65 &&
         c.primaries == JXL_PRIMARIES_SRGB && c.transfer_function == JXL_TRANSFER_FUNCTION_SRGB;
}

// The ICC profile of the pixels the decoder hands out (which differ from the file's original
// profile when the picture was stored in the codec's own colour space), into `colour`. An
// encoded sRGB space gives nothing: the pixels are then sRGB.
void TakeColour(const JxlDecoder* dec, QuillpixColour* colour) {
  JxlColorEncoding encoded;
  if (JxlDecoderGetColorAsEncodedProfile(dec, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                         &encoded) == JXL_DEC_SUCCESS &&
      IsSrgb(encoded)) {
    return;
  }
  size_t size = 0;
  if (JxlDecoderGetICCProfileSize(dec, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) !=
          JXL_DEC_SUCCESS ||
      size == 0 || size > QP_PLUGIN_MAX_ICC_BYTES) {
    return;
  }
  auto* icc = static_cast<uint8_t*>(std::malloc(size));
  if (icc == nullptr) return;
  if (JxlDecoderGetColorAsICCProfile(dec, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, icc, size) !=
      JXL_DEC_SUCCESS) {
    std::free(icc);
    return;
  }
  colour->icc = icc;
  colour->iccBytes = static_cast<uint32_t>(size);
}

bool HasMeaningfulAlpha(const uint8_t* bgra, size_t pixels) {
  if (pixels == 0) return false;
  const uint8_t first = bgra[3];
  if (first != 0 && first != 255) return true;
  for (size_t i = 1; i < pixels; ++i) {
    if (bgra[i * 4 + 3] != first) return true;
  }
  return false;
}

// Decodes the file; with `colour`, also the colour space of the pixels.
uint8_t* Load(const char* path, int32_t* width, int32_t* height, QuillpixColour* colour) {
  std::vector<uint8_t> data;
  if (!ReadFile(path, data)) return nullptr;
  if (JxlSignatureCheck(data.data(), data.size()) < JXL_SIG_CODESTREAM) return nullptr;

  auto runner = JxlThreadParallelRunnerMake(nullptr, JxlThreadParallelRunnerDefaultNumWorkerThreads());
  auto dec = JxlDecoderMake(nullptr);
  if (!dec || !runner ||
      JxlDecoderSubscribeEvents(dec.get(), JXL_DEC_BASIC_INFO | JXL_DEC_FULL_IMAGE |
                                               (colour != nullptr ? JXL_DEC_COLOR_ENCODING : 0)) !=
          JXL_DEC_SUCCESS ||
      JxlDecoderSetParallelRunner(dec.get(), JxlThreadParallelRunner, runner.get()) !=
          JXL_DEC_SUCCESS ||
      JxlDecoderSetInput(dec.get(), data.data(), data.size()) != JXL_DEC_SUCCESS) {
    return nullptr;
  }
  JxlDecoderCloseInput(dec.get());

  const JxlPixelFormat format = {4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  uint8_t* pixels = nullptr;
  uint64_t w = 0, h = 0;
  for (;;) {
    const JxlDecoderStatus status = JxlDecoderProcessInput(dec.get());
    if (status == JXL_DEC_BASIC_INFO) {
      JxlBasicInfo info;
      if (JxlDecoderGetBasicInfo(dec.get(), &info) != JXL_DEC_SUCCESS) break;
      w = info.xsize;
      h = info.ysize;
      if (info.orientation >= JXL_ORIENT_TRANSPOSE) std::swap(w, h);  // shown turned
      if (w == 0 || h == 0 || w * h > kMaxPixels) break;
    } else if (status == JXL_DEC_COLOR_ENCODING) {
      TakeColour(dec.get(), colour);
    } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
      size_t size = 0;
      if (pixels != nullptr || w == 0 ||
          JxlDecoderImageOutBufferSize(dec.get(), &format, &size) != JXL_DEC_SUCCESS ||
          size != w * h * 4) {
        break;
      }
      pixels = static_cast<uint8_t*>(std::malloc(size));
      if (pixels == nullptr ||
          JxlDecoderSetImageOutBuffer(dec.get(), &format, pixels, size) != JXL_DEC_SUCCESS) {
        break;
      }
    } else if (status == JXL_DEC_FULL_IMAGE) {
      // The first frame is the picture; an animation's later frames are not needed.
      if (pixels == nullptr) break;
      for (uint64_t i = 0; i < w * h; ++i) std::swap(pixels[i * 4], pixels[i * 4 + 2]);
      *width = static_cast<int32_t>(w);
      *height = static_cast<int32_t>(h);
      return pixels;
    } else {
      break;  // error, input ended early, or success without an image
    }
  }
  std::free(pixels);
  if (colour != nullptr) {
    std::free(colour->icc);
    colour->icc = nullptr;
    colour->iccBytes = 0;
  }
  return nullptr;
}

// Encodes the picture losslessly; the pixels are meant in `icc` when given, else in sRGB.
int32_t Save(const char* path, int32_t width, int32_t height, const uint8_t* pixels,
             const uint8_t* icc, uint32_t iccBytes) {
  if (path == nullptr || pixels == nullptr || width <= 0 || height <= 0 ||
      uint64_t(width) * uint64_t(height) > kMaxPixels) {
    return 0;
  }
  const size_t count = size_t(width) * size_t(height);
  const bool alpha = HasMeaningfulAlpha(pixels, count);
  const uint32_t channels = alpha ? 4 : 3;
  std::vector<uint8_t> rgb(count * channels);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* p = pixels + i * 4;
    uint8_t* q = rgb.data() + i * channels;
    q[0] = p[2];
    q[1] = p[1];
    q[2] = p[0];
    if (alpha) q[3] = p[3];
  }

  auto enc = JxlEncoderMake(nullptr);
  auto runner = JxlThreadParallelRunnerMake(nullptr, JxlThreadParallelRunnerDefaultNumWorkerThreads());
  if (!enc || !runner ||
      JxlEncoderSetParallelRunner(enc.get(), JxlThreadParallelRunner, runner.get()) !=
          JXL_ENC_SUCCESS) {
    return 0;
  }
  JxlBasicInfo info;
  JxlEncoderInitBasicInfo(&info);
  info.xsize = uint32_t(width);
  info.ysize = uint32_t(height);
  info.bits_per_sample = 8;
  info.num_color_channels = 3;
  info.num_extra_channels = alpha ? 1 : 0;
  info.alpha_bits = alpha ? 8 : 0;
  // Lossless coding keeps the numbers in the original colour space (no conversion to the
  // codec's own), so the profile given below describes the stored pixels.
  info.uses_original_profile = JXL_TRUE;
  if (JxlEncoderSetBasicInfo(enc.get(), &info) != JXL_ENC_SUCCESS) return 0;
  if (icc != nullptr && iccBytes > 0) {
    if (JxlEncoderSetICCProfile(enc.get(), icc, iccBytes) != JXL_ENC_SUCCESS) return 0;
  } else {
    JxlColorEncoding colour;
    JxlColorEncodingSetToSRGB(&colour, JXL_FALSE);
    if (JxlEncoderSetColorEncoding(enc.get(), &colour) != JXL_ENC_SUCCESS) return 0;
  }
  JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(enc.get(), nullptr);
  const JxlPixelFormat format = {channels, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  if (settings == nullptr || JxlEncoderSetFrameLossless(settings, JXL_TRUE) != JXL_ENC_SUCCESS ||
      JxlEncoderFrameSettingsSetOption(settings, JXL_ENC_FRAME_SETTING_EFFORT, kEffort) !=
          JXL_ENC_SUCCESS ||
      JxlEncoderAddImageFrame(settings, &format, rgb.data(), rgb.size()) != JXL_ENC_SUCCESS) {
    return 0;
  }
  JxlEncoderCloseInput(enc.get());

  std::vector<uint8_t> out(64 * 1024);
  uint8_t* next = out.data();
  size_t avail = out.size();
  for (;;) {
    const JxlEncoderStatus status = JxlEncoderProcessOutput(enc.get(), &next, &avail);
    if (status == JXL_ENC_SUCCESS) break;
    if (status != JXL_ENC_NEED_MORE_OUTPUT) return 0;
    const size_t used = size_t(next - out.data());
    out.resize(out.size() * 2);
    next = out.data() + used;
    avail = out.size() - used;
  }
  out.resize(size_t(next - out.data()));
  return WriteFileSafely(path, out) ? 1 : 0;
}

}  // namespace

QP_EXPORT void wvGetPluginInfo(QuillpixPluginInfo* info) {
  std::strcpy(info->description, "JPEG XL");
  std::strcpy(info->extension, "jxl");
  info->flags = QP_PLUGIN_READS | QP_PLUGIN_WRITES;
}

QP_EXPORT uint8_t* wvLoadImage(const char* path, int32_t* width, int32_t* height) {
  return Load(path, width, height, nullptr);
}

QP_EXPORT uint8_t* wvLoadImageWithColour(const char* path, int32_t* width, int32_t* height,
                                         QuillpixColour* colour) {
  return Load(path, width, height, colour);
}

QP_EXPORT int32_t wvSaveImage(const char* path, int32_t width, int32_t height,
                              const uint8_t* pixels) {
  return Save(path, width, height, pixels, nullptr, 0);
}

QP_EXPORT int32_t wvSaveImageWithProfile(const char* path, int32_t width, int32_t height,
                                         const uint8_t* pixels, const uint8_t* icc,
                                         uint32_t iccBytes) {
  return Save(path, width, height, pixels, icc, iccBytes);
}
