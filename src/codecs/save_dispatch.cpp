#include "codecs/save_dispatch.h"

#include <cstdio>
#include <cstring>

#include "codecs/bgra.h"
#include "codecs/format_table.h"
#include "codecs/freeimage.h"
#include "codecs/ico.h"
#include "codecs/jpeg.h"
#include "codecs/plugins.h"
#include "codecs/png.h"
#include "codecs/qoi.h"
#include "codecs/webp.h"
#include "core/file_io.h"
#include "core/paths.h"

namespace qp {

std::optional<LibraryFormat> LibraryFormatFor(const std::string& path) {
  const ExtensionRow* row = FindExtension(ExtensionOf(path));
  if (row == nullptr || row->encoder != EncoderId::Library) return std::nullopt;
  return LibraryFormat{row->libraryFormat, 0};
}

namespace {

SaveResult From(const char* message) {
  return message == nullptr ? SaveResult{SaveStatus::Saved, nullptr}
                            : SaveResult{SaveStatus::Failed, message};
}

}  // namespace

std::optional<ImageBuffer> SrgbCopy(const ImageBuffer& picture, const ColourProfile* colour) {
  if (colour == nullptr || picture.empty() || SameColours(colour, nullptr)) return std::nullopt;
  auto copy = picture.Clone();
  if (copy && !ConvertBgra(copy->data(), copy->pixelCount(), colour, nullptr)) return std::nullopt;
  return copy;
}

SaveResult SaveByExtension(const ImageBuffer& picture, bool hasAlpha, const std::string& path,
                           int32_t webpQuality, int32_t jpegQuality, PluginOrder order,
                           SettingsAccess* settings, const ColourProfile* colour) {
  const ExtensionRow* row = FindExtension(ExtensionOf(path));
  const EncoderId encoder = row != nullptr ? row->encoder : EncoderId::None;
  const bool own = encoder == EncoderId::Webp || encoder == EncoderId::RawBgra ||
                   encoder == EncoderId::Icon || encoder == EncoderId::Png ||
                   encoder == EncoderId::Jpeg;
  // The program's own encoders come first, except that the converter lets a plug-in take an
  // extension before the QOI writer.
  const bool pluginFirst = order == PluginOrder::BeforeQoi;
  const bool byPlugin = !own && (pluginFirst || encoder != EncoderId::Qoi) &&
                        pluginWrites(path, settings);
  // JPEG, PNG, WebP, the library's TIFF and plug-ins that take one carry an RGB profile; for
  // every other target the pixels are converted. A grey profile is converted too: the writers
  // store RGB pixels.
  const bool embeds =
      colour != nullptr && !colour->grey() &&
      (encoder == EncoderId::Webp || encoder == EncoderId::Png || encoder == EncoderId::Jpeg ||
       (byPlugin ? pluginEmbedsProfile(path, settings)
                 : encoder == EncoderId::Library && LibraryEmbedsProfile(path)));
  const std::span<const uint8_t> icc = embeds ? std::span<const uint8_t>(colour->icc())
                                              : std::span<const uint8_t>();
  std::optional<ImageBuffer> converted;
  if (!embeds) converted = SrgbCopy(picture, colour);
  const uint8_t* px = converted ? converted->data() : picture.data();
  const int32_t w = picture.width(), h = picture.height();
  const char* target = path.c_str();
  switch (encoder) {
    case EncoderId::Webp:
      // The encoder removes a partial file itself; an existing file it never opened stays.
      return From(EncodeWebP(px, w, h, webpQuality, target, hasAlpha, icc));
    case EncoderId::RawBgra: return From(writeRawBgra(px, w, h, target));
    case EncoderId::Icon:
      if (w > 255 || h > 255) return {SaveStatus::IconTooLarge, nullptr};
      return From(writeIcon(px, w, h, target));
    case EncoderId::Png: return From(SavePng(px, w, h, 100, target, icc));
    case EncoderId::Jpeg: return From(SaveJpeg(px, w, h, jpegQuality, target, icc));
    default: break;
  }
  if (byPlugin) return From(saveWithPlugin(px, w, h, path, settings, icc));
  if (encoder == EncoderId::Qoi) return From(writeQoi(px, w, h, target));
  if (encoder == EncoderId::Library) {
    if (saveWithLibrary(path, row->libraryFormat, 0, px, w, h, icc) != 0) return From(nullptr);
    return {SaveStatus::Failed, "Could not save image"};
  }
  return {SaveStatus::UnknownExtension, nullptr};
}

ConvertOutcome ConvertFile(const ConvertRequest& req, LoadContext& ctx, SettingsAccess& settings) {
  if (req.overwrite == 0 && CanOpenForRead(req.target)) return ConvertOutcome::TargetExists;
  DecodeDetails details;
  auto picture = LoadPictureFile(req.source, ctx, &details);
  if (!picture) return ConvertOutcome::SourceUnreadable;
  ImageBuffer img = std::move(*picture);
  if (req.x1 >= 0 && req.y1 >= 0 && req.x2 > req.x1 && req.y2 > req.y1)
    img = CropPicture(std::move(img), req.x1, req.y1, req.x2, req.y2);

  const std::string ext = ToLowerAscii(ExtensionOf(req.target));
  int32_t webpQuality = settings.ReadNumber("WebpQuality");
  if (req.lossless != 0) {
    webpQuality = 100;
  } else if (req.quality >= 0 && req.quality <= 100) {
    webpQuality = req.quality;  // 0 keeps the encoder's own default
  }
  if (ext.empty()) {
    // A target without an extension is written as WebP.
    const std::span<const uint8_t> icc =
        details.colour && !details.colour->grey() ? std::span<const uint8_t>(details.colour->icc())
                                                  : std::span<const uint8_t>();
    auto converted = icc.empty() ? SrgbCopy(img, details.colour.get()) : std::nullopt;
    const ImageBuffer& out = converted ? *converted : img;
    const char* message = EncodeWebP(out.data(), out.width(), out.height(), webpQuality,
                                     req.target.c_str(), details.hasAlpha, icc);
    return message == nullptr ? ConvertOutcome::Written : ConvertOutcome::EncoderFailed;
  }
  // JPEG always takes the stored quality; the quality argument is for WebP.
  const SaveResult r =
      SaveByExtension(img, details.hasAlpha, req.target, webpQuality,
                      settings.ReadNumber("JpegQuality"), PluginOrder::BeforeQoi, &settings,
                      details.colour.get());
  switch (r.status) {
    case SaveStatus::Saved: return ConvertOutcome::Written;
    case SaveStatus::Failed: return ConvertOutcome::EncoderFailed;
    case SaveStatus::UnknownExtension:
    case SaveStatus::IconTooLarge: return ConvertOutcome::NotWritten;
  }
  return ConvertOutcome::NotWritten;
}

ImageBuffer CropPicture(ImageBuffer picture, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (picture.empty() || x1 < 0 || y1 < 0 || x1 >= picture.width() || y1 >= picture.height())
    return picture;
  x2 = std::min(x2, picture.width() - 1);
  y2 = std::min(y2, picture.height() - 1);
  if (x2 < x1 || y2 < y1) return picture;
  auto out = ImageBuffer::Allocate(x2 - x1 + 1, y2 - y1 + 1);
  if (!out) return picture;
  for (int32_t i = 0; i < out->height(); ++i)
    std::memcpy(out->row(i), picture.pixel(x1, y1 + i), out->stride());
  return std::move(*out);
}

}  // namespace qp
