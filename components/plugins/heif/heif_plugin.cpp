// HEIF/HEIC plug-in on libheif: reads the primary picture of a file (with its rotation and
// mirroring applied) as BGRA. Built once per extension (heic, heif).
#include <libheif/heif.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "quillpix_plugin.h"

#define QP_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr int64_t kMaxPixels = QP_PLUGIN_MAX_PIXELS;

struct ContextFree {
  void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleFree {
  void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageFree {
  void operator()(heif_image* i) const { heif_image_release(i); }
};

}  // namespace

QP_EXPORT void wvGetPluginInfo(QuillpixPluginInfo* info) {
  std::strcpy(info->description, QP_HEIF_DESCRIPTION);
  std::strcpy(info->extension, QP_HEIF_EXTENSION);
  info->flags = QP_PLUGIN_READS;
}

QP_EXPORT uint8_t* wvLoadImage(const char* path, int32_t* width, int32_t* height) {
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
  *width = w;
  *height = h;
  return out;
}
