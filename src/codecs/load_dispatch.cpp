#include "codecs/load_dispatch.h"

#include "codecs/avif.h"
#include "codecs/bgra.h"
#include "codecs/freeimage.h"
#include "codecs/gif.h"
#include "codecs/ico.h"
#include "codecs/jpeg.h"
#include "codecs/lurawave.h"
#include "codecs/plugins.h"
#include "codecs/png.h"
#include "codecs/qoi.h"
#include "codecs/svg.h"
#include "codecs/video.h"
#include "codecs/webp.h"
#include "core/paths.h"
#include "core/sniff.h"

namespace qp {

namespace {

// The decoder chosen by the file's content (the negative sniff codes).
DecodeResult ByContent(int32_t code, const std::string& path, LoadContext& ctx, bool animate,
                       bool avifFirst) {
  ViewerState& s = ctx.state;
  switch (code) {
    case -kSniffWebp: return LoadWebP(path, s, animate);
    case -kSniffJpeg: return LoadJpeg(path, s);
    case -kSniffGif: return loadGif(path, s, animate);
    case -kSniffPng: return LoadPng(path, s);
    case -kSniffBmp: return loadWithLibrary(path, kFreeImageBmp);
    case -kSniffLuraWave: return loadLuraWave(path, s);
    case -kSniffQoi: return readQoi(path, s);
    case -kSniffIsoMedia:
      // An AVIF file carries an ftyp box too; only its exact extension sends it to avifdec.
      if (avifFirst && HasExtension(path, ".avif")) {
        if (auto img = loadAvif(path, s)) return std::move(*img);
      }
      return loadVideo(path, s, animate);
    default: return {};
  }
}

// The decoder chosen by the extension of a lower-case path.
DecodeResult ByExtension(const std::string& ext, const std::string& path, LoadContext& ctx,
                         bool animate) {
  ViewerState& s = ctx.state;
  if (ext == ".bgra") return readRawBgra(path, s);
  if (ext == ".webp") return LoadWebP(path, s, animate);
  if (ext == ".jpg" || ext == ".jpeg") return LoadJpeg(path, s);
  if (ext == ".png") return LoadPng(path, s);
  if (ext == ".gif") return loadGif(path, s, animate);
  if (ext == ".ico") return readIcon(path, s);
  if (ext == ".lwf") return loadLuraWave(path, s);
  if (ext == ".avif") return loadAvif(path, s);
  if (ext == ".mp4" || ext == ".webm") return loadVideo(path, s, animate);
  if (ext == ".svg") return renderSvg(path, s, 0, 0);
  if (ext == ".svgz") return renderSvgz(path, s, 0, 0);
  if (ext == ".qoi") return readQoi(path, s);
  return loadWithPlugin(path, s, ctx.settings);
}

std::optional<ImageBuffer> SystemDecode(const std::string& path, LoadContext& ctx) {
  if (ctx.systemDecoder == nullptr) return std::nullopt;
  return ctx.systemDecoder->Decode(path);
}

// The ftyp box only says "ISO media container": HEIF, HEIC and other relatives carry it too.
// When neither the video loader nor the external library read such a file and its extension
// is not one the built-in decoders claim, the plug-in for that extension gets it, as any file
// with an unclaimed extension would.
std::optional<ImageBuffer> IsoMediaByPlugin(const std::string& path, LoadContext& ctx) {
  const std::string ext = ToLowerAscii(ExtensionOf(path));
  if (ext.empty() || ext == ".mp4" || ext == ".webm" || ext == ".avif") return std::nullopt;
  return loadWithPlugin(path, ctx.state, ctx.settings);
}

bool IsContentCode(int32_t code) {
  switch (code) {
    case -kSniffWebp: case -kSniffJpeg: case -kSniffGif: case -kSniffPng: case -kSniffBmp:
    case -kSniffQoi: case -kSniffIsoMedia:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::optional<ImageBuffer> LoadPictureFile(const std::string& path, LoadContext& ctx) {
  // Asking for the size lets an empty file be recognised and skipped.
  int64_t size = 0;
  const int32_t code = SniffFileType(path, &size);
  if (code == kSniffUnopenable || code == kSniffEmpty) return std::nullopt;
  if (IsContentCode(code)) {
    // An ISO media file ending in ".avif" goes to avifdec first here too, so a still AVIF
    // converts as it displays.
    DecodeResult r = ByContent(code, path, ctx, /*animate=*/false, /*avifFirst=*/true);
    if (r) return r.toOwned();
    if (auto img = loadAnyWithLibrary(path)) return img;
    if (code == -kSniffIsoMedia) return IsoMediaByPlugin(path, ctx);
    // Bitmaps the external library refuses or would decode wrongly (uncommon bit-field masks,
    // 16-bit alpha fields, embedded JPEG or PNG data) are valid files the system decoder reads.
    if (code == -kSniffBmp) return SystemDecode(path, ctx);
    return std::nullopt;
  }
  const std::string lower = ToLowerAscii(path);
  const std::string ext = ExtensionOf(lower);
  if (ext.empty()) return loadAnyWithLibrary(path);
  DecodeResult r = ByExtension(ext, path, ctx, /*animate=*/false);
  if (r) return r.toOwned();
  if (auto img = loadAnyWithLibrary(path)) return img;
  return SystemDecode(path, ctx);
}

DisplayLoad LoadFileForDisplay(const std::string& path, LoadContext& ctx) {
  // The details of the previous file must not survive into this one: decoders that know
  // nothing of alpha (QOI, the external library) leave these fields as they find them.
  ctx.state.detailsValid = 0;
  ctx.state.hasAlpha = 0;
  ctx.state.vectorSource = 0;
  DisplayLoad out;
  out.sniffCode = SniffFileType(path, &out.fileSize);
  const int32_t code = out.sniffCode;
  if (code == kSniffUnopenable || code == kSniffEmpty) return out;

  switch (code) {
    case -kSniffWebp: case -kSniffJpeg: case -kSniffGif: case -kSniffBmp: case -kSniffLuraWave:
    case -kSniffQoi: case -kSniffIsoMedia:
      out.picture = ByContent(code, path, ctx, /*animate=*/true, /*avifFirst=*/true);
      if (!out.picture) out.picture = loadAnyWithLibrary(path);
      if (!out.picture && code == -kSniffIsoMedia) out.picture = IsoMediaByPlugin(path, ctx);
      if (!out.picture && code == -kSniffBmp) {
        if (auto img = SystemDecode(path, ctx)) {
          out.picture = std::move(*img);
          out.fromSystem = true;
        }
      }
      return out;
    case -kSniffPng:
      out.picture = LoadPng(path, ctx.state);
      if (!out.picture) {
        if (auto img = loadAnyWithLibrary(path)) {
          WhitenTransparent(*img);
          out.picture = std::move(*img);
        }
      }
      return out;
    default:
      break;
  }

  // File names keep their case on Linux, so only the extension is compared in lower case.
  const std::string ext = ToLowerAscii(ExtensionOf(path));
  if (ext.empty()) {
    out.picture = loadAnyWithLibrary(path);  // no whitening without an extension
    return out;
  }
  out.picture = ByExtension(ext, path, ctx, /*animate=*/true);
  if (out.picture) return out;
  if (auto img = loadAnyWithLibrary(path)) {
    WhitenTransparent(*img);
    out.picture = std::move(*img);
    return out;
  }
  if (auto img = SystemDecode(path, ctx)) {
    out.picture = std::move(*img);
    out.fromSystem = true;
  }
  return out;
}

}  // namespace qp
