#include "view/thumbnail_maker.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "codecs/gif.h"
#include "codecs/jpeg.h"
#include "codecs/load_dispatch.h"
#include "codecs/scaled_decode.h"
#include "codecs/sniff.h"
#include "codecs/webp.h"
#include "core/byte_reader.h"
#include "core/file_io.h"
#include "core/orientation.h"
#include "core/viewer_state.h"
#include "metadata/exif.h"
#include "ops/resample.h"

namespace qp {
namespace {

void MakeOpaque(ImageBuffer& img) {
  uint8_t* p = img.data();
  for (size_t i = 0, n = img.pixelCount(); i < n; ++i) p[i * 4 + 3] = 255;
}

// The GIF decoder keeps its playback on a state; each worker thread has its own scratch state
// for that, so nothing is shared.
ViewerState& Scratch() {
  thread_local ViewerState state;
  return state;
}

// Averages factor x factor blocks (the last row and column of blocks may be smaller).
std::optional<ImageBuffer> BoxReduce(const ImageBuffer& src, int32_t factor) {
  const int32_t w = (src.width() + factor - 1) / factor;
  const int32_t h = (src.height() + factor - 1) / factor;
  auto out = ImageBuffer::Allocate(w, h);
  if (!out) return std::nullopt;
  std::vector<uint32_t> sums(static_cast<size_t>(w) * 4);
  for (int32_t oy = 0; oy < h; ++oy) {
    std::fill(sums.begin(), sums.end(), 0u);
    const int32_t y0 = oy * factor, y1 = std::min(src.height(), y0 + factor);
    for (int32_t y = y0; y < y1; ++y) {
      const uint8_t* row = src.row(y);
      for (int32_t x = 0; x < src.width(); ++x) {
        uint32_t* s = &sums[static_cast<size_t>(x / factor) * 4];
        const uint8_t* p = row + static_cast<size_t>(x) * 4;
        s[0] += p[0];
        s[1] += p[1];
        s[2] += p[2];
        s[3] += p[3];
      }
    }
    uint8_t* dst = out->row(oy);
    for (int32_t ox = 0; ox < w; ++ox) {
      const int32_t x0 = ox * factor, x1 = std::min(src.width(), x0 + factor);
      const uint32_t n = static_cast<uint32_t>((x1 - x0) * (y1 - y0));
      for (int c = 0; c < 4; ++c)
        dst[ox * 4 + c] = static_cast<uint8_t>((sums[static_cast<size_t>(ox) * 4 + c] + n / 2) / n);
    }
  }
  return out;
}

// Reduces to fit the square: box averaging while the picture is more than twice too large,
// then Lanczos for the last step.
std::optional<ImageBuffer> ReduceTo(ImageBuffer img, int32_t side) {
  int32_t tw = 0, th = 0;
  FitInSquare(img.width(), img.height(), side, tw, th);
  if (tw == img.width() && th == img.height()) return img;
  const int32_t factor = std::min(img.width() / std::max(tw, 1), img.height() / std::max(th, 1)) / 2;
  if (factor >= 2) {
    auto boxed = BoxReduce(img, factor);
    if (!boxed) return std::nullopt;
    img = std::move(*boxed);
  }
  return Resample(img, tw, th, kLanczos3);
}

// The start of the TIFF block inside a JPEG's EXIF segment, where the thumbnail offset
// counts from.
std::optional<size_t> ExifTiffStart(std::span<const uint8_t> jpeg) {
  ByteReader in(jpeg);
  if (in.u16be() != 0xFFD8) return std::nullopt;
  while (in.ok() && in.remaining() >= 4) {
    if (in.u8() != 0xFF) return std::nullopt;
    const uint8_t marker = in.u8();
    if (marker == 0xFF) {  // fill byte
      in.seek(in.position() - 1);
      continue;
    }
    if (marker == 0xDA || marker == 0xD9) return std::nullopt;  // picture data: no EXIF
    const uint16_t length = in.u16be();
    if (length < 2) return std::nullopt;
    const size_t start = in.position();
    if (marker == 0xE1 && in.expect(std::string_view("Exif\0\0", 6))) return start + 6;
    in.seek(start + length - 2);
  }
  return std::nullopt;
}

std::string MimeOf(int32_t sniff) {
  switch (sniff < 0 ? -sniff : sniff) {
    case kSniffJpeg: return "image/jpeg";
    case kSniffPng: return "image/png";
    case kSniffWebp: return "image/webp";
    case kSniffGif: return "image/gif";
    case kSniffIcon: return "image/vnd.microsoft.icon";
    case kSniffQoi: return "image/qoi";
    default: return {};
  }
}

MadeThumbnail Finish(std::optional<ImageBuffer> picture, bool opaque, int32_t orientation,
                     int32_t side, int32_t sourceW, int32_t sourceH, std::string mime) {
  MadeThumbnail out;
  out.mime = std::move(mime);
  if (!picture || picture->empty()) {
    out.outcome = ThumbnailOutcome::Unreadable;
    return out;
  }
  if (opaque) MakeOpaque(*picture);
  auto reduced = ReduceTo(std::move(*picture), side);
  if (!reduced || !ApplyOrientation(*reduced, orientation)) {
    out.outcome = ThumbnailOutcome::Unreadable;
    return out;
  }
  const bool turned = orientation >= 5 && orientation <= 8;
  out.sourceWidth = turned ? sourceH : sourceW;
  out.sourceHeight = turned ? sourceW : sourceH;
  out.pixels = std::move(*reduced);
  out.outcome = ThumbnailOutcome::Made;
  return out;
}

// The fitted size of the picture in the square, as the scaled decoders take their target.
ScaledTarget FitTarget(int32_t side) {
  return [side](int32_t w, int32_t h) {
    int32_t tw = 0, th = 0;
    FitInSquare(w, h, side, tw, th);
    return std::pair<int32_t, int32_t>(tw, th);
  };
}

// The first bytes of a file: the EXIF segment lies within the first 64 KiB after the header.
std::vector<uint8_t> FileHead(const std::string& path, size_t bytes) {
  std::vector<uint8_t> out;
  UniqueFile f = OpenRegularFile(path);
  if (!f) return out;
  out.resize(bytes);
  out.resize(std::fread(out.data(), 1, bytes, f.get()));
  return out;
}

MadeThumbnail FromJpeg(const std::string& path, int32_t side) {
  const std::vector<uint8_t> head = FileHead(path, 72 * 1024);
  ExifInfo info{};
  ParseJpegMetadata(head, info);
  const int32_t orientation = info.isExif ? info.orientation : 1;
  // The camera's own small picture is enough when it covers the thumbnail.
  if (info.thumbnailSize != 0 && info.width > 0 && info.height > 0) {
    int32_t tw = 0, th = 0;
    FitInSquare(info.width, info.height, side, tw, th);
    if (auto tiff = ExifTiffStart(head);
        tiff && RangeFits(uint64_t{*tiff} + info.thumbnailOffset, info.thumbnailSize, head.size())) {
      DecodeResult small = DecodeJpeg(std::span(head).subspan(*tiff + info.thumbnailOffset,
                                                              info.thumbnailSize));
      if (small && small.isOwned() && std::max(small.width(), small.height()) >= side &&
          small.width() >= tw && small.height() >= th) {
        return Finish(small.takeOwned(), true, orientation, side, info.width, info.height,
                      "image/jpeg");
      }
    }
  }
  auto r = LoadJpegScaled(path, FitTarget(side));
  if (!r) return Finish(std::nullopt, true, 1, side, 0, 0, "image/jpeg");
  return Finish(std::move(r->picture), true, orientation, side, r->fullWidth, r->fullHeight,
                "image/jpeg");
}

MadeThumbnail FromWebp(const std::string& path, int32_t side) {
  auto r = LoadStillWebPScaled(path, FitTarget(side));
  if (!r) {
    // An animation is not a damaged file: it just gets no thumbnail here.
    MadeThumbnail out;
    out.outcome = LoadStillWebP(path).details.detailsValid ? ThumbnailOutcome::Unsupported
                                                          : ThumbnailOutcome::Unreadable;
    return out;
  }
  const bool opaque = !r->details.hasAlpha;
  return Finish(std::move(r->picture), opaque, 1, side, r->fullWidth, r->fullHeight, "image/webp");
}

}  // namespace

void FitInSquare(int32_t width, int32_t height, int32_t side, int32_t& outWidth,
                 int32_t& outHeight) {
  outWidth = std::max(width, 0);
  outHeight = std::max(height, 0);
  if (width <= 0 || height <= 0 || (width <= side && height <= side)) return;
  if (width >= height) {
    outWidth = side;
    outHeight = static_cast<int32_t>(std::max<int64_t>(1, (int64_t{height} * side + width / 2) / width));
  } else {
    outHeight = side;
    outWidth = static_cast<int32_t>(std::max<int64_t>(1, (int64_t{width} * side + height / 2) / height));
  }
}

bool ApplyOrientation(ImageBuffer& img, int32_t orientation) {
  return TurnUprightInPlace(img, orientation);
}

MadeThumbnail MakeThumbnail(const std::string& path, int32_t side) {
  int64_t fileSize = 0;
  const int32_t sniff = SniffFileType(path, &fileSize);
  if (sniff == kSniffUnopenable || sniff == kSniffEmpty) {
    MadeThumbnail out;
    out.outcome = ThumbnailOutcome::Unreadable;
    return out;
  }
  const int32_t kind = sniff < 0 ? -sniff : sniff;
  if (kind == kSniffJpeg) return FromJpeg(path, side);
  if (kind == kSniffWebp) return FromWebp(path, side);
  if (kind == kSniffGif) {
    DecodeResult r = loadGif(path, Scratch(), false);
    if (!r || !r.isOwned()) return Finish(std::nullopt, true, 1, side, 0, 0, "image/gif");
    const bool opaque = !r.details.hasAlpha;
    const int32_t w = r.width(), h = r.height();
    return Finish(r.takeOwned(), opaque, 1, side, w, h, "image/gif");
  }
  // The other decoders that keep no state beyond their call.
  auto load = LoadFileOffUiThread(path);
  if (!load) {
    MadeThumbnail out;
    const bool known = kind == kSniffPng || kind == kSniffIcon || kind == kSniffQoi;
    out.outcome = known ? ThumbnailOutcome::Unreadable : ThumbnailOutcome::Unsupported;
    return out;
  }
  const bool opaque = !load->picture.details.hasAlpha;
  const int32_t w = load->picture.width(), h = load->picture.height();
  return Finish(load->picture.takeOwned(), opaque, 1, side, w, h, MimeOf(sniff));
}

}  // namespace qp
