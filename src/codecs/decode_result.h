// What a decoder hands back: nothing, a picture the caller owns, or (animated decoders started
// with `animate`) a view of the running playback's canvas, which the playback keeps.
#pragma once

#include <optional>
#include <variant>

#include "core/image_buffer.h"

namespace qp {

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
  // The owned picture (empty when this result is a canvas or nothing).
  ImageBuffer takeOwned() {
    if (auto* o = std::get_if<ImageBuffer>(&value_)) return std::move(*o);
    return ImageBuffer();
  }
  // An owned picture in every case: the owned one, or a copy of the canvas.
  std::optional<ImageBuffer> toOwned();

 private:
  std::variant<std::monostate, ImageBuffer, PixelView> value_;
};

}  // namespace qp
