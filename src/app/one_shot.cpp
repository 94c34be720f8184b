#include "app/one_shot.h"


#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "codecs/gif.h"
#include "codecs/ico.h"
#include "codecs/save_dispatch.h"
#include "codecs/video.h"
#include "codecs/webp.h"
#include "core/byte_reader.h"
#include "core/file_io.h"
#include "core/image_buffer.h"
#include "core/orientation.h"
#include "core/paths.h"
#include "codecs/sniff.h"
#include "jpegxform/lossless.h"
#include "frame/properties_dialog.h"
#include "metadata/exif.h"
#include "metadata/properties.h"

namespace qp {

namespace {

// Reads the first two bytes; true for the JPEG start-of-image marker.
bool StartsAsJpeg(std::FILE* f) {
  std::array<uint8_t, 2> head{};
  return std::fread(head.data(), 1, head.size(), f) == head.size() && head[0] == 0xFF &&
         head[1] == 0xD8;
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

}  // namespace

AutoRotateResult AutoRotateJpegFile(const std::string& path) {
  AutoRotateResult out;
  ExifInfo info{};
  {
    UniqueFile f = OpenFile(path, "rb");
    if (!f) {
      out.error = "cannot open " + Quoted(path);
      return out;
    }
    if (!StartsAsJpeg(f.get())) {
      out.error = "not a JPEG file: " + Quoted(path);
      return out;
    }
    std::rewind(f.get());
    ParseJpegMetadata(f.get(), info);
  }
  const int angle = info.isExif ? AutoRotateAngle(info.orientation) : 0;
  if (angle == 0) return out;
  if (!rotateUprightInPlace(path, angle)) {
    out.error = "could not rotate " + Quoted(path);
    return out;
  }
  out.angle = angle;
  return out;
}

std::optional<JpegFrameSize> ReadJpegFrameSize(std::span<const uint8_t> bytes) {
  ByteReader r(bytes);
  if (r.u8() != 0xFF || r.u8() != 0xD8 || !r.ok()) return std::nullopt;
  if (r.u8() != 0xFF || !r.ok()) return std::nullopt;
  while (r.ok()) {
    uint8_t marker = r.u8();
    while (marker == 0xFF && r.ok()) marker = r.u8();  // fill bytes
    if (!r.ok()) return std::nullopt;
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
      if (r.u8() != 0xFF) return std::nullopt;
      continue;
    }
    const uint16_t length = r.u16be();
    if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {
      r.u8();  // precision
      JpegFrameSize size;
      size.height = r.u16be();
      size.width = r.u16be();
      if (!r.ok()) return std::nullopt;
      return size;
    }
    if (length < 2 || !r.skip(length - 2u)) return std::nullopt;
    uint8_t next = r.u8();
    while (next == 0x00 && r.ok()) next = r.u8();
    if (!r.ok() || next != 0xFF) return std::nullopt;
  }
  return std::nullopt;
}

LandscapeResult MakeLandscapeFile(const std::string& path, bool asShown) {
  LandscapeResult out;
  const auto bytes = ReadWholeFile(path);
  if (!bytes) {
    out.error = "cannot open " + Quoted(path);
    return out;
  }
  const auto size = ReadJpegFrameSize(*bytes);
  if (!size) {
    out.error = "not a JPEG file: " + Quoted(path);
    return out;
  }
  int32_t orientation = 1;
  if (asShown) {
    ExifInfo info{};
    ParseJpegMetadata(*bytes, info);
    if (info.isExif) orientation = NormalOrientation(info.orientation);
  }
  const bool swap = OrientationSwapsSides(orientation);
  const int32_t width = swap ? size->height : size->width;
  const int32_t height = swap ? size->width : size->height;
  if (height <= width) return out;
  if (!transformUprightInPlace(path, QuarterTurnFromUprightArguments(orientation))) {
    out.error = "could not rotate " + Quoted(path);
    return out;
  }
  out.rotated = true;
  return out;
}

int MakeLandscape(const std::string& path) { return MakeLandscapeFile(path).rotated ? 1 : 0; }

std::optional<std::string> RunConvert(const CommandLine& cl, LoadContext& ctx,
                                      SettingsAccess& settings) {
  ConvertRequest req;
  req.source = cl.firstFile;
  req.target = cl.secondFile;
  req.lossless = cl.lossless;
  req.quality = cl.quality;
  req.overwrite = cl.overwrite;
  req.x1 = cl.x1;
  req.y1 = cl.y1;
  req.x2 = cl.x2;
  req.y2 = cl.y2;
  // A width and height name the far corner; computed in 64 bits so that huge values cannot
  // wrap into a small crop.
  auto corner = [](int32_t start, int32_t extent) {
    const int64_t v = int64_t{start} + extent - 1;
    return static_cast<int32_t>(std::min<int64_t>(v, INT32_MAX));
  };
  if (req.x2 == 0 && cl.w > 0) req.x2 = corner(cl.x1, cl.w);
  if (req.y2 == 0 && cl.h > 0) req.y2 = corner(cl.y1, cl.h);

  switch (ConvertFile(req, ctx, settings)) {
    case ConvertOutcome::Written: return std::nullopt;
    case ConvertOutcome::TargetExists:
      return Quoted(req.target) + " exists (add -overwrite to replace it)";
    case ConvertOutcome::SourceUnreadable: return "cannot read a picture from " + Quoted(req.source);
    case ConvertOutcome::NotWritten:
      return "cannot write " + Quoted(req.target) +
             " (unknown extension, or an icon larger than 255 x 255)";
    case ConvertOutcome::EncoderFailed: return "could not write " + Quoted(req.target);
  }
  return "could not write " + Quoted(req.target);
}

std::optional<std::string> PropertiesText(const std::string& path, LoadContext& ctx) {
  ViewerState& s = ctx.state;
  s.StopPlayback();
  s.currentPath = path;
  DisplayLoad load = LoadFileForDisplay(path, ctx);
  if (!load.picture) return std::nullopt;

  const PropertiesInput in =
      GatherProperties(s, path, load.picture.pixels(), load.picture.width(),
                       load.picture.height(), ColourManaged(ctx.settings));
  std::string text = BuildPropertiesReport(in).text;
  s.StopPlayback();
  return text;
}

namespace {

constexpr const char* kOptionLines =
    "-autorotate (rotate jpeg image based on EXIF orientation value)\n"
    "-landscape (rotate jpeg image 90 degrees if height > width)\n"
    "-convert filename outname (converts images between supported formats)\n"
    "-lossless (used with -convert, specifies lossless mode is preferred)\n"
    "-drawlines x1 y2 .. xn yn (loads an image and draws a series of lines)\n";

}  // namespace

std::string AboutText() {
  std::string text =
      "Quill Pix " QP_VERSION "\n"
      "\n"
      "*** DISCLAIMER ***\n"
      "This software is provided \"as is\", without warranty of any kind, express or implied,\n"
      "including but not limited to the warranties of merchantability, fitness for a particular\n"
      "purpose and noninfringement. In no event shall the authors be liable for any claim,\n"
      "damages or other liability arising from the use of this software.\n"
      "\n"
      "*** COMMAND LINE OPTIONS ***\n";
  text += kOptionLines;
  text +=
      "\n"
      "*** THIRD PARTY CREDITS ***\n"
      "libwebp (WebP decoding and encoding)\n"
      "libjpeg-turbo (JPEG reading, writing and lossless transforms)\n"
      "libpng and zlib (PNG, compressed SVG)\n"
      "librsvg (SVG rendering)\n"
      "FreeImage (BMP, TIFF, TGA, JPEG 2000 and more, when installed)\n"
      "libjxl and libheif (JPEG XL and HEIF plug-ins)\n"
      "FFmpeg (video frames)\n"
      "Qt (user interface and further image formats)\n";
  return text;
}

std::string HelpText() {
  std::string text = "Usage: quillpix [options] [filename [outname]]\n\n*** COMMAND LINE OPTIONS ***\n";
  text += kOptionLines;
  text +=
      "-overwrite (used with -convert, replaces an existing outname)\n"
      "-quality n (used with -convert to WebP: quality 0-100; JPEG uses the JpegQuality setting)\n"
      "-x1 n -y1 n -x2 n -y2 n, -w n -h n (used with -convert, crops the picture)\n"
      "--properties filename (prints the properties of a picture file)\n"
      "--help (prints this text)\n"
      "--version (prints the program's version)\n";
  return text;
}

}  // namespace qp
