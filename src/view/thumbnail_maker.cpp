#include "view/thumbnail_maker.h"

#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <vector>

#include "codecs/gif.h"
#include "codecs/jpeg.h"
#include "codecs/load_dispatch.h"
#include "codecs/picture_size.h"
#include "codecs/save_dispatch.h"
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
      const uint8_t* p = src.row(y);
      for (int32_t ox = 0; ox < w; ++ox) {
        uint32_t* s = &sums[static_cast<size_t>(ox) * 4];
        const int32_t n = std::min(factor, src.width() - ox * factor);
        for (int32_t i = 0; i < n; ++i, p += 4) {
          s[0] += p[0];
          s[1] += p[1];
          s[2] += p[2];
          s[3] += p[3];
        }
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

// Reduces to the size a fullW x fullH picture takes in the square (the decoded picture may be
// a scaled copy whose rounded size, or an embedded copy whose proportions, differ a little):
// box averaging while the picture is more than twice too large, then Lanczos for the last step.
std::optional<ImageBuffer> ReduceTo(ImageBuffer img, int32_t fullW, int32_t fullH, int32_t side) {
  int32_t tw = 0, th = 0;
  FitInSquare(fullW > 0 ? fullW : img.width(), fullH > 0 ? fullH : img.height(), side, tw, th);
  if (tw > img.width() || th > img.height()) FitInSquare(img.width(), img.height(), side, tw, th);
  if (tw == img.width() && th == img.height()) return img;
  const int32_t factor = std::min(img.width() / std::max(tw, 1), img.height() / std::max(th, 1)) / 2;
  if (factor >= 2) {
    auto boxed = BoxReduce(img, factor);
    if (!boxed) return std::nullopt;
    img = std::move(*boxed);
  }
  return Resample(img, tw, th, kLanczos3);
}

// The body of the first marker segment of a JPEG's header with the given marker that starts
// with `magic`, without the magic, and where that body starts in the bytes.
struct Segment {
  size_t start = 0;
  std::span<const uint8_t> body;
};

std::optional<Segment> FindSegment(std::span<const uint8_t> jpeg, uint8_t wanted,
                                   std::string_view magic) {
  ByteReader in(jpeg);
  if (in.u16be() != 0xFFD8) return std::nullopt;
  while (in.ok() && in.remaining() >= 4) {
    if (in.u8() != 0xFF) return std::nullopt;
    const uint8_t marker = in.u8();
    if (marker == 0xFF) {  // fill byte
      in.seek(in.position() - 1);
      continue;
    }
    if (marker == 0xDA || marker == 0xD9) return std::nullopt;  // picture data: no more segments
    const uint16_t length = in.u16be();
    if (length < 2) return std::nullopt;
    const size_t start = in.position();
    const auto body = in.bytes(length - 2u);
    if (!in.ok()) return std::nullopt;  // cut off by the end of the bytes at hand
    if (marker == wanted && body.size() >= magic.size() &&
        std::equal(magic.begin(), magic.end(), body.begin()))
      return Segment{start + magic.size(), body.subspan(magic.size())};
  }
  return std::nullopt;
}

// The JPEG thumbnail of an EXIF block (its TIFF part): the second directory's offset (0x0201)
// and length (0x0202) entries. Read here with full 32-bit directory links, so the thumbnail of
// a big-endian block is found too. Empty when there is none or the entries do not fit.
std::span<const uint8_t> ExifThumbnail(std::span<const uint8_t> tiff) {
  ByteReader in(tiff);
  bool big = false;
  if (in.expect(std::string_view("MM\0*", 4))) big = true;
  else if (!in.expect(std::string_view("II*\0", 4))) return {};
  if (!in.seek(in.u32(big))) return {};
  const uint16_t first = in.u16(big);
  in.skip(uint64_t{first} * 12);
  const uint32_t second = in.u32(big);
  if (!in.ok() || second == 0 || !in.seek(second)) return {};
  const uint16_t count = in.u16(big);
  uint32_t offset = 0, length = 0;
  for (uint16_t i = 0; i < count && in.ok(); ++i) {
    const uint16_t tag = in.u16(big);
    const uint16_t type = in.u16(big);
    in.skip(4);
    // A SHORT value lies in the first two bytes of the field, a LONG fills it.
    const uint32_t value = type == 3 ? in.u16(big) : in.u32(big);
    if (type == 3) in.skip(2);
    if (tag == 0x0201) offset = value;
    if (tag == 0x0202) length = value;
  }
  if (!in.ok() || offset == 0 || length == 0 || !RangeFits(offset, length, tiff.size())) return {};
  return tiff.subspan(offset, length);
}

// A picture stored inside the file: where its bytes lie, counted from the file's start.
struct EmbeddedPlace {
  uint64_t offset = 0;
  uint32_t size = 0;
};

// The large previews a multi-picture index (the APP2 "MPF" segment) lists. The index is a
// small TIFF block: one directory whose MP Entry tag (0xB002) points to 16-byte records of
// attributes, size, offset and two dependent-image numbers; offsets count from the start of
// the TIFF block, and the first record is the main picture itself. Only records of the large
// thumbnail class (types 0x010001 and 0x010002) are previews: other kinds (second views,
// depth or gain maps) are no picture of the scene to show. Nothing in the index is trusted:
// a damaged one yields nothing.
std::vector<EmbeddedPlace> MpfPreviews(std::span<const uint8_t> head, uint64_t fileSize) {
  std::vector<EmbeddedPlace> out;
  const auto mpf = FindSegment(head, 0xE2, std::string_view("MPF\0", 4));
  if (!mpf) return out;
  ByteReader in(mpf->body);
  bool big = false;
  if (in.expect(std::string_view("MM\0*", 4))) big = true;
  else if (!in.expect(std::string_view("II*\0", 4))) return out;
  if (!in.seek(in.u32(big))) return out;
  const uint16_t count = in.u16(big);
  if (!in.ok() || count > 64) return out;
  uint32_t entriesAt = 0, entriesBytes = 0;
  for (uint16_t i = 0; i < count && in.ok(); ++i) {
    const uint16_t tag = in.u16(big);
    const uint16_t type = in.u16(big);
    const uint32_t n = in.u32(big);
    const uint32_t value = in.u32(big);
    if (tag == 0xB002 && type == 7) {  // UNDEFINED bytes, 16 per picture
      entriesAt = value;
      entriesBytes = n;
    }
  }
  if (!in.ok() || entriesBytes < 32 || entriesBytes % 16 != 0 || entriesBytes > 16 * 16) return out;
  if (!in.seek(entriesAt)) return out;
  for (uint32_t i = 0; i < entriesBytes / 16 && in.ok(); ++i) {
    const uint32_t attributes = in.u32(big);
    const uint32_t size = in.u32(big);
    const uint32_t offset = in.u32(big);
    in.skip(4);
    const uint32_t kind = attributes & 0xFFFFFFu;
    if (!in.ok() || i == 0 || offset == 0 || (kind != 0x010001 && kind != 0x010002)) continue;
    const uint64_t at = uint64_t{mpf->start} + offset;
    if (RangeFits(at, size, fileSize)) out.push_back({at, size});
  }
  return out;
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
  auto reduced = ReduceTo(std::move(*picture), sourceW, sourceH, side);
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

// Up to `bytes` bytes of an open file from `offset` on.
std::vector<uint8_t> ReadAt(std::FILE* file, uint64_t offset, size_t bytes) {
  std::vector<uint8_t> out;
  if (offset > static_cast<uint64_t>(INT64_MAX) ||
      ::fseeko(file, static_cast<off_t>(offset), SEEK_SET) != 0)
    return out;
  out.resize(bytes);
  out.resize(std::fread(out.data(), 1, bytes, file));
  return out;
}

// An embedded picture is never larger than this; a record that says so is damaged.
constexpr uint32_t kMaxEmbeddedBytes = 32u << 20;
// The EXIF and multi-picture segments, and the frame header that gives the size, lie within
// the first segments of a file or of an embedded picture.
constexpr size_t kHeadBytes = 128 * 1024;

// Where in an embedded picture the main picture's content lies.
struct Content {
  int32_t x = 0, y = 0, width = 0, height = 0;
  bool whole(int32_t w, int32_t h) const { return width == w && height == h; }
};

// The centred part of a w x h embedded picture with the main picture's proportions (pw : ph):
// all of it when they agree closely, else the band between the black bars a camera
// adds when it fits a 3:2 photo into a 4:3 thumbnail.
Content ContentOf(int32_t w, int32_t h, int32_t pw, int32_t ph) {
  int64_t cw = w, ch = h;
  if (int64_t{pw} * h > int64_t{ph} * w)
    ch = (int64_t{w} * ph + pw / 2) / pw;  // the picture is wider: bars above and below
  else
    cw = (int64_t{h} * pw + ph / 2) / ph;  // narrower: bars left and right
  // Within a pixel or a hundredth (a 1616 x 1080 preview of a 3:2 photo): the whole of it.
  if (ch >= h - std::max(1, h / 100)) ch = h;
  if (cw >= w - std::max(1, w / 100)) cw = w;
  return {static_cast<int32_t>((w - cw) / 2), static_cast<int32_t>((h - ch) / 2),
          static_cast<int32_t>(cw), static_cast<int32_t>(ch)};
}

// True when everything of the picture outside `c` is dark: bars, not a squeezed picture
// (a few brighter pixels are allowed for the ringing of the compression at the edge).
bool OutsideIsBars(const ImageBuffer& img, const Content& c) {
  size_t outside = 0, bright = 0;
  for (int32_t y = 0; y < img.height(); ++y) {
    const bool band = y >= c.y && y < c.y + c.height;
    for (int32_t x = 0; x < img.width(); ++x) {
      if (band && x >= c.x && x < c.x + c.width) continue;
      const uint8_t* p = img.pixel(x, y);
      ++outside;
      if (std::max({p[0], p[1], p[2]}) > 48) ++bright;
    }
  }
  return outside > 0 && bright * 20 <= outside;
}

// The content of an embedded w x h picture when it is plausible for the main pw x ph one and
// covers the thumbnail (fitted size tw x th); nothing otherwise. An embedded picture is
// smaller than the main one and has its proportions, or the main one's between bars.
std::optional<Content> PlausibleEmbedded(int64_t w, int64_t h, int32_t pw, int32_t ph,
                                         int32_t tw, int32_t th) {
  if (w <= 0 || h <= 0 || w > pw || h > ph || w * h >= int64_t{pw} * ph) return std::nullopt;
  const Content c = ContentOf(static_cast<int32_t>(w), static_cast<int32_t>(h), pw, ph);
  if (c.width < tw || c.height < th) return std::nullopt;
  return c;
}

// Decodes an embedded JPEG whose header declares the size `expected` (as checked by
// PlausibleEmbedded) to the content `c`, just large enough to cover tw x th; nothing when it
// does not decode to that size or when what lies outside the content is not bars.
std::optional<ImageBuffer> DecodeEmbedded(std::span<const uint8_t> bytes, PictureSize expected,
                                          const Content& c, int32_t tw, int32_t th) {
  const auto target = [&](int32_t w, int32_t h) {
    // The content must still cover the thumbnail after the reduction, less the two pixels on
    // each side that cropping may cost.
    const int32_t margin = c.whole(w, h) ? 0 : 4;
    return std::pair<int32_t, int32_t>(
        static_cast<int32_t>((int64_t{tw + margin} * w + c.width - 1) / c.width),
        static_cast<int32_t>((int64_t{th + margin} * h + c.height - 1) / c.height));
  };
  auto r = DecodeJpegScaled(bytes, target);
  if (!r || r->fullWidth != expected.width || r->fullHeight != expected.height) return std::nullopt;
  const int32_t w = static_cast<int32_t>(expected.width), h = static_cast<int32_t>(expected.height);
  if (c.whole(w, h)) return std::move(r->picture);
  // The content in the reduced picture: the same band. The rows and columns that mix bar and
  // picture are neither checked as bar nor kept as picture.
  const int32_t sw = r->picture.width(), sh = r->picture.height();
  const auto band = [](int64_t from, int64_t to, int64_t scale, int64_t full, bool inwards) {
    const int64_t a = inwards ? (from * scale + full - 1) / full : from * scale / full;
    const int64_t b = inwards ? to * scale / full : (to * scale + full - 1) / full;
    return std::pair<int32_t, int32_t>(static_cast<int32_t>(a), static_cast<int32_t>(b - a));
  };
  const auto [ox, ow] = band(c.x, c.x + c.width, sw, w, false);
  const auto [oy, oh] = band(c.y, c.y + c.height, sh, h, false);
  const auto [ix, iw] = band(c.x, c.x + c.width, sw, w, true);
  const auto [iy, ih] = band(c.y, c.y + c.height, sh, h, true);
  if (iw <= 0 || ih <= 0 || !OutsideIsBars(r->picture, Content{ox, oy, ow, oh}))
    return std::nullopt;
  // The compression smears the dark bars into the first row of picture beside them: one more
  // row or column is left out on each side that has a bar.
  const int32_t shaveX = ow < sw ? 1 : 0, shaveY = oh < sh ? 1 : 0;
  if (iw <= 2 * shaveX || ih <= 2 * shaveY) return std::nullopt;
  const Content scaled{ix + shaveX, iy + shaveY, iw - 2 * shaveX, ih - 2 * shaveY};
  return CropPicture(std::move(r->picture), scaled.x, scaled.y, scaled.x + scaled.width - 1,
                     scaled.y + scaled.height - 1);
}

// The thumbnail from a picture the file already carries: the EXIF thumbnail, else the
// smallest large preview of the multi-picture index that covers the thumbnail.
std::optional<ImageBuffer> FromEmbedded(std::FILE* file, std::span<const uint8_t> head,
                                        const ExifInfo& info, int32_t side) {
  const int32_t pw = info.width, ph = info.height;
  if (pw <= 0 || ph <= 0) return std::nullopt;
  int32_t tw = 0, th = 0;
  FitInSquare(pw, ph, side, tw, th);
  if (auto exif = FindSegment(head, 0xE1, std::string_view("Exif\0\0", 6))) {
    if (const auto bytes = ExifThumbnail(exif->body); !bytes.empty()) {
      const auto size = PictureSizeIn(bytes, false);
      const auto c = size ? PlausibleEmbedded(size->width, size->height, pw, ph, tw, th) : std::nullopt;
      if (c)
        if (auto img = DecodeEmbedded(bytes, *size, *c, tw, th)) return img;
    }
  }
  struct Candidate {
    EmbeddedPlace place;
    PictureSize size;
    Content content;
  };
  std::optional<Candidate> best;
  struct stat st {};
  if (::fstat(::fileno(file), &st) != 0) return std::nullopt;
  for (const EmbeddedPlace& p : MpfPreviews(head, static_cast<uint64_t>(st.st_size))) {
    if (p.size > kMaxEmbeddedBytes) continue;
    // The preview's own header first: only a plausible one is read whole.
    const auto start = ReadAt(file, p.offset, std::min<size_t>(p.size, kHeadBytes));
    const auto size = PictureSizeIn(start, false);
    const auto c = size ? PlausibleEmbedded(size->width, size->height, pw, ph, tw, th) : std::nullopt;
    if (c && (!best || size->pixels() < best->size.pixels())) best = Candidate{p, *size, *c};
  }
  if (!best) return std::nullopt;
  const auto bytes = ReadAt(file, best->place.offset, best->place.size);
  if (bytes.size() != best->place.size) return std::nullopt;
  return DecodeEmbedded(bytes, best->size, best->content, tw, th);
}

MadeThumbnail FromJpeg(const std::string& path, int32_t side) {
  std::optional<ImageBuffer> embedded;
  ExifInfo info{};
  {
    UniqueFile file = OpenRegularFile(path);
    if (!file) return Finish(std::nullopt, true, 1, side, 0, 0, "image/jpeg");
    const std::vector<uint8_t> head = ReadAt(file.get(), 0, kHeadBytes);
    ParseJpegMetadata(head, info);
    embedded = FromEmbedded(file.get(), head, info, side);
  }
  const int32_t orientation = info.isExif ? info.orientation : 1;
  // Embedded pictures are stored as the main one is, so the same orientation turns them.
  if (embedded)
    return Finish(std::move(embedded), true, orientation, side, info.width, info.height,
                  "image/jpeg");
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
