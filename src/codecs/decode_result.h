// What a decoder hands back: nothing, a picture the caller owns, or (animated decoders started
// with `animate`) a view of the running playback's canvas, which the playback keeps; and in
// every case the details the decoder learned about the file, even when it then failed.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <variant>

#include "colour/colour_profile.h"
#include "core/image_buffer.h"

namespace qp {

class ViewerState;

// The per-file details a decoder learns. The load stores them into ViewerState in one place
// (StoreDetails); the format-specific groups are written only by the format that fills them.
struct DecodeDetails {
  enum class Format : uint8_t { None, Jpeg, Png, Gif, Webp, Video };
  bool detailsValid = false;  // the header was read
  bool hasAlpha = false;      // the picture really has transparency
  bool vectorSource = false;  // rendered from a vector document
  Format format = Format::None;
  int32_t jpegColourSpace = 0;
  int32_t jpegProgressive = 0;
  int32_t pngColourType = 0;
  int32_t pngBitDepth = 0;
  char gifVersion[4] = {0, 0, 0, 0};
  int32_t gifBitDepth = 0;
  int32_t webpHasAlpha = 0;
  int32_t webpLossless = 0;
  int32_t videoAudioStream = 0;
  int32_t videoFrameRate = 0;
  // The colour space the file describes (an ICC profile or code points); null for sRGB or
  // none stated.
  ColourProfilePtr colour;
  // The orientation (1 to 8) the picture was turned upright from at load; 1 when it is shown
  // as the file stores it.
  int32_t orientation = 1;
};

// Writes the details into the state's fields of the same names: the three general flags
// always, the format's own fields when the details carry a format.
void StoreDetails(const DecodeDetails& details, ViewerState& state);

class DecodeResult {
 public:
  DecodeResult() = default;
  DecodeResult(std::nullopt_t) {}
  DecodeResult(ImageBuffer owned) : value_(std::move(owned)) {}
  DecodeResult(std::optional<ImageBuffer> owned) {
    if (owned) value_ = std::move(*owned);
  }
  static DecodeResult Canvas(PixelView canvas) {
    DecodeResult r;
    r.value_ = canvas;
    return r;
  }
  // No picture, but what was learned before the decoder gave up.
  static DecodeResult Failed(const DecodeDetails& learned) {
    DecodeResult r;
    r.details = learned;
    return r;
  }
  DecodeResult&& with(const DecodeDetails& learned) && {
    details = learned;
    return std::move(*this);
  }

  explicit operator bool() const { return !std::holds_alternative<std::monostate>(value_); }
  bool isCanvas() const { return std::holds_alternative<PixelView>(value_); }
  bool isOwned() const { return std::holds_alternative<ImageBuffer>(value_); }

  int32_t width() const {
    if (auto* o = std::get_if<ImageBuffer>(&value_)) return o->width();
    if (auto* v = std::get_if<PixelView>(&value_)) return v->width;
    return 0;
  }
  int32_t height() const {
    if (auto* o = std::get_if<ImageBuffer>(&value_)) return o->height();
    if (auto* v = std::get_if<PixelView>(&value_)) return v->height;
    return 0;
  }
  const uint8_t* pixels() const {
    if (auto* o = std::get_if<ImageBuffer>(&value_)) return o->data();
    if (auto* v = std::get_if<PixelView>(&value_)) return v->pixels;
    return nullptr;
  }
  // The owned picture, or null when this result is a canvas or nothing.
  ImageBuffer* owned() { return std::get_if<ImageBuffer>(&value_); }
  const ImageBuffer* owned() const { return std::get_if<ImageBuffer>(&value_); }
  ImageBuffer* operator->() { return owned(); }
  const ImageBuffer* operator->() const { return owned(); }
  ImageBuffer& operator*() { return *owned(); }
  const ImageBuffer& operator*() const { return *owned(); }

  // The owned picture (empty when this result is a canvas or nothing).
  ImageBuffer takeOwned() {
    if (auto* o = std::get_if<ImageBuffer>(&value_)) return std::move(*o);
    return ImageBuffer();
  }
  // An owned picture in every case: the owned one, or a copy of the canvas.
  std::optional<ImageBuffer> toOwned();

  DecodeDetails details;

 private:
  std::variant<std::monostate, ImageBuffer, PixelView> value_;
};

}  // namespace qp
