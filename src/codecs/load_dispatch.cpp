#include "codecs/load_dispatch.h"

#include <algorithm>
#include <utility>

#include "codecs/avif.h"
#include "codecs/bgra.h"
#include "codecs/format_table.h"
#include "codecs/freeimage.h"
#include "codecs/gif.h"
#include "codecs/ico.h"
#include "codecs/jpeg.h"
#include "codecs/lurawave.h"
#include "codecs/orientation.h"
#include "codecs/plugins.h"
#include "codecs/png.h"
#include "codecs/qoi.h"
#include "codecs/sniff.h"
#include "codecs/svg.h"
#include "codecs/video.h"
#include "codecs/webp.h"
#include "core/orientation.h"
#include "core/paths.h"

namespace qp {

namespace {

// The external library's picture; its alpha is the file's (32-bit bitmaps and TGA files,
// transparent palette entries), so it counts when it varies.
DecodeResult LibraryResult(const std::string& path, int32_t format) {
  std::vector<uint8_t> icc;
  auto img = loadWithLibrary(path, format, &icc);
  if (!img) return {};
  DecodeDetails details;
  details.hasAlpha = HasMeaningfulAlpha(*img);
  details.colour = ColourProfile::FromIcc(icc);
  return DecodeResult(std::move(*img)).with(details);
}

// Calls one decoder of the format table.
DecodeResult Decode(DecoderId id, const std::string& path, LoadContext& ctx, bool animate) {
  ViewerState& s = ctx.state;
  switch (id) {
    case DecoderId::Webp: return LoadWebP(path, s, animate);
    case DecoderId::Jpeg: return LoadJpeg(path);
    case DecoderId::Gif: return loadGif(path, s, animate);
    case DecoderId::Png: return LoadPng(path);
    case DecoderId::LibraryBmp: return LibraryResult(path, kFreeImageBmp);
    case DecoderId::LuraWave: return loadLuraWave(path, s);
    case DecoderId::Qoi: return readQoi(path);
    case DecoderId::IsoMedia: {
      // An AVIF file carries an ftyp box too; only its exact extension sends it to avifdec.
      if (HasExtension(path, ".avif")) {
        if (DecodeResult r = loadAvif(path)) return r;
      }
      return loadVideo(path, s, animate);
    }
    case DecoderId::RawBgra: return readRawBgra(path);
    case DecoderId::Icon: return readIcon(path);
    case DecoderId::Avif: return loadAvif(path);
    case DecoderId::Video: return loadVideo(path, s, animate);
    case DecoderId::Svg: return renderSvg(path, 0, 0);
    case DecoderId::Svgz: return renderSvgz(path, 0, 0);
    case DecoderId::Plugin: return loadWithPlugin(path, ctx.settings);
    case DecoderId::None: break;
  }
  return {};
}

// The decoder an extension chooses: its row's, or the plug-ins for one the table lacks.
DecoderId ByExtension(const std::string& ext) {
  const ExtensionRow* row = FindExtension(ext);
  return row != nullptr ? row->decoder : DecoderId::Plugin;
}

std::optional<ImageBuffer> SystemDecode(const std::string& path, LoadContext& ctx) {
  if (ctx.systemDecoder == nullptr) return std::nullopt;
  return ctx.systemDecoder->Decode(path);
}

// The ftyp box only says "ISO media container": HEIF, HEIC and other relatives carry it too.
// When neither the video loader nor the external library read such a file and its extension
// is not one the built-in decoders claim, the plug-in for that extension gets it, as any file
// with an unclaimed extension would.
DecodeResult IsoMediaByPlugin(const std::string& path, LoadContext& ctx) {
  const std::string ext = ExtensionOf(path);
  if (ext.empty() || ByExtension(ext) != DecoderId::Plugin) return {};
  return loadWithPlugin(path, ctx.settings);
}

// The external library's picture standing in for a decoder that failed; the details the
// decoder learned before it failed are kept.
bool LibraryFallback(const std::string& path, DecodeResult& result, bool whiten) {
  std::vector<uint8_t> icc;
  auto img = loadAnyWithLibrary(path, &icc);
  if (!img) return false;
  DecodeDetails learned = result.details;
  learned.colour = ColourProfile::FromIcc(icc);
  learned.hasAlpha = learned.hasAlpha || HasMeaningfulAlpha(*img);
  if (whiten) WhitenTransparent(*img);
  result = DecodeResult(std::move(*img)).with(learned);
  return true;
}

bool TakeIfPicture(DecodeResult& result, DecodeResult other) {
  if (!other) return false;
  result = std::move(other);
  return true;
}

// "AutoOrient", on by default (and without settings).
bool AutoOrientOn(const LoadContext& ctx) {
  return ctx.settings == nullptr || ctx.settings->ReadFlag("AutoOrient");
}

// Turns a decoded picture upright by the orientation its file records, right after decoding,
// so that everything after the load (display, edits, clipboard, saving) sees it upright. A
// plug-in's picture is taken as its library gives it (the HEIF and JPEG XL libraries turn it
// themselves); a playback's canvas stays as the playback draws it. When memory is short the
// picture stays as stored.
void TurnUprightByFile(DecodeResult& r, const std::string& path, bool byPlugin) {
  ImageBuffer* owned = r.owned();
  if (owned == nullptr || byPlugin) return;
  const int32_t orientation = ReadFileOrientation(path);
  if (orientation != 1 && TurnUprightInPlace(*owned, orientation))
    r.details.orientation = orientation;
}

// The system decoder's picture standing in, with the details learned so far.
bool SystemFallback(const std::string& path, LoadContext& ctx, DecodeResult& result) {
  auto img = SystemDecode(path, ctx);
  if (!img) return false;
  result = DecodeResult(std::move(*img)).with(result.details);
  return true;
}

// Bitmaps the external library refuses or would decode wrongly (uncommon bit-field masks,
// 16-bit alpha fields, embedded JPEG or PNG data) are valid files the system decoder reads.
bool BitmapBySystem(int32_t code, const std::string& path, LoadContext& ctx, DecodeResult& r) {
  return !r && code == -kSniffBmp && SystemFallback(path, ctx, r);
}

}  // namespace

bool ColourManaged(SettingsAccess* settings) {
  return settings == nullptr || settings->ReadFlag("ColourManagement");
}

std::optional<ImageBuffer> LoadPictureFile(const std::string& path, LoadContext& ctx,
                                           DecodeDetails* details) {
  // Asking for the size lets an empty file be recognised and skipped.
  int64_t size = 0;
  const int32_t code = SniffFileType(path, &size);
  if (code == kSniffUnopenable || code == kSniffEmpty) return std::nullopt;
  DecodeResult r;
  bool byPlugin = false;
  const SignatureRow* sig = code < 0 ? FindSignature(-code) : nullptr;
  if (sig != nullptr && sig->contentForPictureLoad) {
    // An ISO media file ending in ".avif" goes to avifdec first here too, so a still AVIF
    // converts as it displays.
    r = Decode(sig->decoder, path, ctx, /*animate=*/false);
    if (!r) LibraryFallback(path, r, false);
    if (!r && code == -kSniffIsoMedia) byPlugin = TakeIfPicture(r, IsoMediaByPlugin(path, ctx));
    BitmapBySystem(code, path, ctx, r);
  } else {
    const std::string ext = ToLowerAscii(ExtensionOf(path));
    if (ext.empty()) {
      LibraryFallback(path, r, false);
    } else {
      const DecoderId id = ByExtension(ext);
      r = Decode(id, path, ctx, /*animate=*/false);
      byPlugin = r && id == DecoderId::Plugin;
      if (!r && !LibraryFallback(path, r, false)) SystemFallback(path, ctx, r);
    }
  }
  if (!ColourManaged(ctx.settings)) r.details.colour.reset();
  if (AutoOrientOn(ctx)) TurnUprightByFile(r, path, byPlugin);
  StoreDetails(r.details, ctx.state);
  if (details != nullptr) *details = r.details;
  return r.toOwned();
}

DisplayLoad LoadFileForDisplay(const std::string& path, LoadContext& ctx) {
  DisplayLoad out;
  out.sniffCode = SniffFileType(path, &out.fileSize);
  const int32_t code = out.sniffCode;
  DecodeResult& r = out.picture;
  if (code == kSniffUnopenable || code == kSniffEmpty) {
    // The details of the previous file must not survive into this one.
    StoreDetails(DecodeDetails{}, ctx.state);
    return out;
  }

  bool byPlugin = false;
  const SignatureRow* sig = code < 0 ? FindSignature(-code) : nullptr;
  if (sig != nullptr) {
    r = Decode(sig->decoder, path, ctx, /*animate=*/true);
    if (!r) LibraryFallback(path, r, sig->whitenFallback);
    if (!r && code == -kSniffIsoMedia) byPlugin = TakeIfPicture(r, IsoMediaByPlugin(path, ctx));
    if (BitmapBySystem(code, path, ctx, r)) out.fromSystem = true;
  } else {
    // File names keep their case on Linux, so only the extension is compared in lower case.
    const std::string ext = ToLowerAscii(ExtensionOf(path));
    if (ext.empty()) {
      LibraryFallback(path, r, /*whiten=*/false);
    } else {
      const DecoderId id = ByExtension(ext);
      r = Decode(id, path, ctx, /*animate=*/true);
      byPlugin = r && id == DecoderId::Plugin;
      if (!r && !LibraryFallback(path, r, /*whiten=*/true) && SystemFallback(path, ctx, r))
        out.fromSystem = true;
    }
  }
  if (AutoOrientOn(ctx)) TurnUprightByFile(r, path, byPlugin);
  // The one place the load records what the decoders learned.
  if (!ColourManaged(ctx.settings)) r.details.colour.reset();
  StoreDetails(r.details, ctx.state);
  return out;
}

namespace {

// The decoder LoadFileForDisplay tries first: the content's for a signature that disagrees
// with the extension, else the extension's. None for a file that cannot be opened or is empty.
DecoderId FirstDecoder(const std::string& path, int32_t code) {
  if (code == kSniffUnopenable || code == kSniffEmpty) return DecoderId::None;
  if (code < 0) {
    const SignatureRow* sig = FindSignature(-code);
    return sig == nullptr ? DecoderId::None : sig->decoder;
  }
  const std::string ext = ToLowerAscii(ExtensionOf(path));
  return ext.empty() ? DecoderId::None : ByExtension(ext);
}

}  // namespace

std::optional<ScaledPicture> LoadFileScaledOffUiThread(const std::string& path,
                                                       const ScaledTarget& target,
                                                       int32_t& sniffCode, int64_t& fileSize,
                                                       bool autoOrient) {
  sniffCode = SniffFileType(path, &fileSize);
  const DecoderId id = FirstDecoder(path, sniffCode);
  if (id != DecoderId::Jpeg && id != DecoderId::Webp) return std::nullopt;
  const int32_t orientation = autoOrient ? ReadFileOrientation(path) : 1;
  const bool swap = OrientationSwapsSides(orientation);
  // The caller sizes the picture as it will be shown: upright.
  const ScaledTarget shown = !swap ? target : [&target](int32_t w, int32_t h) {
    const auto [tw, th] = target(h, w);
    return std::pair{th, tw};
  };
  std::optional<ScaledPicture> scaled =
      id == DecoderId::Jpeg ? LoadJpegScaled(path, shown) : LoadStillWebPScaled(path, shown);
  if (!scaled || orientation == 1) return scaled;
  if (!TurnUprightInPlace(scaled->picture, orientation)) return std::nullopt;
  if (swap) std::swap(scaled->fullWidth, scaled->fullHeight);
  scaled->details.orientation = orientation;
  return scaled;
}

std::optional<ScaledPicture> LoadFileRegionOffUiThread(const std::string& path,
                                                       const RegionTarget& target,
                                                       int32_t& sniffCode, int64_t& fileSize,
                                                       bool autoOrient) {
  sniffCode = SniffFileType(path, &fileSize);
  if (FirstDecoder(path, sniffCode) != DecoderId::Jpeg) return std::nullopt;
  const int32_t orientation = autoOrient ? ReadFileOrientation(path) : 1;
  // The caller asks for a rectangle of the upright picture; the file stores it turned.
  const RegionTarget stored = [&](int32_t w, int32_t h) -> std::optional<OrientedRect> {
    const bool swap = OrientationSwapsSides(orientation);
    const int32_t uw = swap ? h : w, uh = swap ? w : h;
    std::optional<OrientedRect> shown = target(uw, uh);
    if (!shown) return std::nullopt;
    shown->left = std::clamp(shown->left, 0, uw);
    shown->right = std::clamp(shown->right, shown->left, uw);
    shown->top = std::clamp(shown->top, 0, uh);
    shown->bottom = std::clamp(shown->bottom, shown->top, uh);
    return ShownToStored(*shown, orientation, w, h);
  };
  std::optional<ScaledPicture> part = LoadJpegRegion(path, stored);
  if (!part || orientation == 1) return part;
  if (!TurnUprightInPlace(part->picture, orientation)) return std::nullopt;
  part->region = StoredToShown(part->region, orientation, part->fullWidth, part->fullHeight);
  if (OrientationSwapsSides(orientation)) std::swap(part->fullWidth, part->fullHeight);
  part->details.orientation = orientation;
  return part;
}

std::optional<DisplayLoad> LoadFileOffUiThread(const std::string& path, bool autoOrient,
                                               const std::atomic<bool>* cancel) {
  DisplayLoad out;
  out.sniffCode = SniffFileType(path, &out.fileSize);
  const DecoderId id = FirstDecoder(path, out.sniffCode);
  switch (id) {
    case DecoderId::Jpeg: out.picture = LoadJpeg(path, cancel); break;
    case DecoderId::Png: out.picture = LoadPng(path); break;
    // An animated file comes back without a picture and is left to the playback.
    case DecoderId::Webp: out.picture = LoadStillWebP(path); break;
    case DecoderId::Qoi: out.picture = readQoi(path); break;
    case DecoderId::RawBgra: out.picture = readRawBgra(path); break;
    case DecoderId::Icon: out.picture = readIcon(path); break;
    default: return std::nullopt;
  }
  if (!out.picture || !out.picture.isOwned()) return std::nullopt;
  if (autoOrient) TurnUprightByFile(out.picture, path, /*byPlugin=*/false);
  return out;
}

}  // namespace qp
