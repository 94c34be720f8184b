#include "codecs/decode_result.h"

#include <cstring>

#include "core/viewer_state.h"

namespace qp {

std::optional<ImageBuffer> DecodeResult::toOwned() {
  if (auto* o = std::get_if<ImageBuffer>(&value_)) return std::move(*o);
  if (auto* v = std::get_if<PixelView>(&value_)) {
    auto copy = ImageBuffer::Allocate(v->width, v->height);
    if (copy) std::memcpy(copy->data(), v->pixels, copy->byteSize());
    return copy;
  }
  return std::nullopt;
}

void StoreDetails(const DecodeDetails& d, ViewerState& state) {
  state.detailsValid = d.detailsValid ? 1 : 0;
  state.hasAlpha = d.hasAlpha ? 1 : 0;
  state.vectorSource = d.vectorSource ? 1 : 0;
  state.colourProfile = d.colour;
  state.pictureOrientation = d.orientation;
  using F = DecodeDetails::Format;
  switch (d.format) {
    case F::Jpeg:
      state.jpegColourSpace = d.jpegColourSpace;
      state.jpegProgressive = d.jpegProgressive;
      break;
    case F::Png:
      state.pngColourType = d.pngColourType;
      state.pngBitDepth = d.pngBitDepth;
      break;
    case F::Gif:
      std::memcpy(state.gifVersion, d.gifVersion, sizeof state.gifVersion);
      state.gifBitDepth = d.gifBitDepth;
      break;
    case F::Webp:
      state.webpHasAlpha = d.webpHasAlpha;
      state.webpLossless = d.webpLossless;
      break;
    case F::Video:
      state.videoAudioStream = d.videoAudioStream;
      state.videoFrameRate = d.videoFrameRate;
      break;
    case F::None:
      break;
  }
}

}  // namespace qp
