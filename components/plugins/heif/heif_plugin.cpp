// HEIF/HEIC plug-in on libheif: reads the primary picture of a file (with its rotation and
// mirroring applied) as BGRA, with its colour space (the ICC profile or the "nclx" code points
// of its colour box), and writes HEVC-coded files that carry the picture's ICC profile. Built
// once per extension (heic, heif).
#include <libheif/heif.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "quillpix_plugin.h"

#define QP_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr int64_t kMaxPixels = QP_PLUGIN_MAX_PIXELS;
// Lossy quality of written files (0 to 100): visually close to the picture at a fraction of
// the lossless size; the format is meant for lossy coding.
constexpr int kQuality = 90;

struct ContextFree {
  void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleFree {
  void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageFree {
  void operator()(heif_image* i) const { heif_image_release(i); }
};
struct EncoderFree {
  void operator()(heif_encoder* e) const { heif_encoder_release(e); }
};
struct NclxFree {
  void operator()(heif_color_profile_nclx* n) const { heif_nclx_color_profile_free(n); }
};

// The colour box(es) of the picture: an ICC profile ("prof" or "rICC") and the code points of
// an "nclx" box. libheif turns YCbCr into RGB with the nclx matrix and converts nothing else,
// so the RGB pixels are in the colour space these describe.
void TakeColour(const heif_image_handle* handle, QuillpixColour* colour) {
  const size_t size = heif_image_handle_get_raw_color_profile_size(handle);
  if (size > 0 && size <= QP_PLUGIN_MAX_ICC_BYTES) {
    auto* icc = static_cast<uint8_t*>(std::malloc(size));
    if (icc != nullptr &&
        heif_image_handle_get_raw_color_profile(handle, icc).code == heif_error_Ok) {
      colour->icc = icc;
      colour->iccBytes = static_cast<uint32_t>(size);
    } else {
      std::free(icc);
    }
  }
  heif_color_profile_nclx* raw = nullptr;
  if (heif_image_handle_get_nclx_color_profile(handle, &raw).code != heif_error_Ok) return;
  std::unique_ptr<heif_color_profile_nclx, NclxFree> nclx(raw);
  if (!nclx) return;
  colour->hasCicp = 1;
  colour->primaries = static_cast<uint8_t>(nclx->color_primaries);
  colour->transfer = static_cast<uint8_t>(nclx->transfer_characteristics);
  colour->matrix = static_cast<uint8_t>(nclx->matrix_coefficients);
  colour->fullRange = nclx->full_range_flag != 0 ? 1 : 0;
}

uint8_t* Load(const char* path, int32_t* width, int32_t* height, QuillpixColour* colour) {
  std::unique_ptr<heif_context, ContextFree> ctx(heif_context_alloc());
  if (!ctx || heif_context_read_from_file(ctx.get(), path, nullptr).code != heif_error_Ok) {
    return nullptr;
  }
  heif_image_handle* rawHandle = nullptr;
  if (heif_context_get_primary_image_handle(ctx.get(), &rawHandle).code != heif_error_Ok) {
    return nullptr;
  }
  std::unique_ptr<heif_image_handle, HandleFree> handle(rawHandle);
  // Refuse absurd sizes before anything is decoded.
  const int64_t hw = heif_image_handle_get_width(handle.get());
  const int64_t hh = heif_image_handle_get_height(handle.get());
  if (hw <= 0 || hh <= 0 || hw * hh > kMaxPixels) return nullptr;

  heif_image* rawImage = nullptr;
  if (heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB,
                        heif_chroma_interleaved_RGBA, nullptr).code != heif_error_Ok) {
    return nullptr;
  }
  std::unique_ptr<heif_image, ImageFree> image(rawImage);
  const int w = heif_image_get_width(image.get(), heif_channel_interleaved);
  const int h = heif_image_get_height(image.get(), heif_channel_interleaved);
  int stride = 0;
  const uint8_t* src = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
  if (src == nullptr || w <= 0 || h <= 0 || int64_t{w} * h > kMaxPixels || stride < w * 4) {
    return nullptr;
  }
  auto* out = static_cast<uint8_t*>(std::malloc(size_t(w) * size_t(h) * 4));
  if (out == nullptr) return nullptr;
  for (int y = 0; y < h; ++y) {
    const uint8_t* s = src + size_t(y) * size_t(stride);
    uint8_t* d = out + size_t(y) * size_t(w) * 4;
    for (int x = 0; x < w; ++x, s += 4, d += 4) {
      d[0] = s[2];
      d[1] = s[1];
      d[2] = s[0];
      d[3] = s[3];
    }
  }
  if (colour != nullptr) TakeColour(handle.get(), colour);
  *width = w;
  *height = h;
  return out;
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

// Codes the picture (RGB, or RGBA when its alpha carries information) and writes it next to
// the target, renaming it over the target only when complete. The pixels are meant in `icc`
// when given (stored as the file's "prof" colour box), else in sRGB.
int32_t Save(const char* path, int32_t width, int32_t height, const uint8_t* pixels,
             const uint8_t* icc, uint32_t iccBytes) {
  if (path == nullptr || pixels == nullptr || width <= 0 || height <= 0 ||
      int64_t{width} * height > kMaxPixels) {
    return 0;
  }
  const size_t count = size_t(width) * size_t(height);
  const bool alpha = HasMeaningfulAlpha(pixels, count);
  heif_image* rawImage = nullptr;
  if (heif_image_create(width, height, heif_colorspace_RGB,
                        alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                        &rawImage).code != heif_error_Ok) {
    return 0;
  }
  std::unique_ptr<heif_image, ImageFree> image(rawImage);
  if (heif_image_add_plane(image.get(), heif_channel_interleaved, width, height, 8).code !=
      heif_error_Ok) {
    return 0;
  }
  int stride = 0;
  uint8_t* plane = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
  const int channels = alpha ? 4 : 3;
  if (plane == nullptr || stride < width * channels) return 0;
  for (int y = 0; y < height; ++y) {
    const uint8_t* s = pixels + size_t(y) * size_t(width) * 4;
    uint8_t* d = plane + size_t(y) * size_t(stride);
    for (int x = 0; x < width; ++x, s += 4, d += channels) {
      d[0] = s[2];
      d[1] = s[1];
      d[2] = s[0];
      if (alpha) d[3] = s[3];
    }
  }
  if (icc != nullptr && iccBytes > 0 &&
      heif_image_set_raw_color_profile(image.get(), "prof", icc, iccBytes).code != heif_error_Ok) {
    return 0;
  }

  std::unique_ptr<heif_context, ContextFree> ctx(heif_context_alloc());
  heif_encoder* rawEncoder = nullptr;
  if (!ctx || heif_context_get_encoder_for_format(ctx.get(), heif_compression_HEVC, &rawEncoder)
                      .code != heif_error_Ok) {
    return 0;
  }
  std::unique_ptr<heif_encoder, EncoderFree> encoder(rawEncoder);
  if (heif_encoder_set_lossy_quality(encoder.get(), kQuality).code != heif_error_Ok ||
      heif_context_encode_image(ctx.get(), image.get(), encoder.get(), nullptr, nullptr).code !=
          heif_error_Ok) {
    return 0;
  }
  const std::string temp = std::string(path) + ".part";
  if (heif_context_write_to_file(ctx.get(), temp.c_str()).code != heif_error_Ok) {
    std::remove(temp.c_str());
    return 0;
  }
  if (std::rename(temp.c_str(), path) != 0) {
    std::remove(temp.c_str());
    return 0;
  }
  return 1;
}

}  // namespace

QP_EXPORT void wvGetPluginInfo(QuillpixPluginInfo* info) {
  std::strcpy(info->description, QP_HEIF_DESCRIPTION);
  std::strcpy(info->extension, QP_HEIF_EXTENSION);
  // A libheif built without an HEVC encoder can still read.
  info->flags = QP_PLUGIN_READS |
                (heif_have_encoder_for_format(heif_compression_HEVC) ? QP_PLUGIN_WRITES : 0);
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
