#include "metadata/properties.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/byte_reader.h"
#include "core/file_io.h"
#include "core/paths.h"

namespace qp {
namespace {

constexpr const char* kMapBase = "https://maps.google.com/maps?";

struct Name {
  int32_t value;
  const char* text;
};

template <size_t N>
std::string Lookup(const Name (&table)[N], int32_t value) {
  for (const Name& n : table)
    if (n.value == value) return n.text;
  return std::to_string(value);
}

constexpr Name kLightSource[] = {
    {1, "Daylight"}, {2, "Fluorescent"}, {3, "Incandescent (Tungsten)"}, {4, "Flash"},
    {9, "Sunny"}, {10, "Cloudy"}, {11, "Shade"}, {12, "Daylight Fluorescent (7100K)"},
    {13, "Day White Fluorescent (5400K)"}, {14, "Cool White Fluorescent (4500K)"},
    {15, "White Fluorescent (3700K)"}};
constexpr Name kMetering[] = {{1, "Average"}, {2, "Center Weighted"}, {3, "Spot"},
                              {4, "Multi-Spot"}, {5, "Matrix"}, {6, "Partial"}};
constexpr Name kCompressionLevel[] = {{1, "Low"}, {2, "Standard"}, {4, "Fine"}};
constexpr Name kSceneCapture[] = {{1, "Landscape"}, {2, "Portrait"}, {3, "Night Scene"}};
constexpr Name kExifColourSpace[] = {{1, "sRGB"}, {2, "Adobe RGB"}, {65533, "Wide Gamut RGB"},
                                     {65534, "ICC Profile"}, {65535, "Uncalibrated"}};
constexpr Name kSensing[] = {{1, "Not Defined"}, {2, "One-chip Colour Area"},
                             {3, "Two-chip Colour Area"}, {4, "Three-chip Colour Area"},
                             {5, "Colour Sequential Area"}, {7, "Trilinear"},
                             {8, "Colour Sequential Linea"}};
constexpr Name kJpegColourSpace[] = {{1, "Grayscale"}, {2, "RGB"}, {3, "YCbCr"}, {4, "CMYK"},
                                     {5, "YCCK"}};
constexpr Name kPngColourType[] = {{0, "Grayscale"}, {2, "RGB"}, {3, "Palette"},
                                   {4, "Grayscale+Alpha"}, {6, "RGB+Alpha"}};
constexpr Name kBmpCompression[] = {{0, "Uncompressed"}, {1, "RLE8"}, {2, "RLE4"},
                                    {3, "Bitfields"}};

// Appends printf-formatted text.
void Add(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Add(std::string& out, const char* format, ...) {
  char buffer[512];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n > 0) out.append(buffer, std::min<size_t>(static_cast<size_t>(n), sizeof buffer - 1));
}

// (int) truncation toward zero that saturates: a hostile EXIF value such as a focal length of
// 1e30 or an exposure time of 1e-20 s must not turn into undefined behaviour when printed.
int Trunc(double v) {
  if (std::isnan(v)) return 0;
  if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
  if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
  return static_cast<int>(v);
}

const char* YesNo(int32_t flag) { return flag ? "Yes" : "No"; }

void AddRatio(std::string& out, int64_t size, int bytesPerPixel, uint64_t pixels) {
  const double ratio = static_cast<double>(size) * 100.0 /
                       (static_cast<double>(bytesPerPixel) * static_cast<double>(pixels));
  Add(out, "Compression Ratio: %.1f%%\r\n", ratio);
}

void AddCameraData(std::string& out, const ExifInfo& e, std::optional<std::string>& mapLink) {
  if (e.cameraMake[0]) Add(out, "Camera Make: %s\r\n", e.cameraMake);
  if (e.cameraModel[0]) Add(out, "Camera Model: %s\r\n", e.cameraModel);
  static const char kZeroDate[20] = "0000:00:00 00:00:00";
  if (e.dateTime[0] && std::memcmp(e.dateTime, kZeroDate, sizeof kZeroDate) != 0)
    Add(out, "Time Taken: %s\r\n", e.dateTime);
  if (e.isoEquivalent > 0) Add(out, "ISO Equivalent: %d\r\n", e.isoEquivalent);
  if (e.resolutionUnit != 0) {
    if (e.xResolution != 0)
      Add(out, "X-resolution (dpi): %5.1f\r\n", static_cast<double>(e.xResolution / e.resolutionUnit));
    if (e.yResolution != 0)
      Add(out, "Y-resolution (dpi): %5.1f\r\n", static_cast<double>(e.yResolution / e.resolutionUnit));
  }
  Add(out, "Orientation: %s\r\n", OrientationName(e.orientation).c_str());
  Add(out, "Flash Used: %s\r\n", YesNo(e.flashUsed));
  if (e.focalLength != 0) {
    Add(out, "Focal Length: %4.1fmm", static_cast<double>(e.focalLength));
    if (e.ccdWidth != 0)
      Add(out, " (35mm equivalent: %dmm)",
          Trunc(e.focalLength / e.ccdWidth * 36 + 0.5));
    out += "\r\n";
  }
  if (e.exposureTime != 0) {
    Add(out, "Exposure Time: %6.3f s ", static_cast<double>(e.exposureTime));
    if (e.exposureTime <= 0.5f) Add(out, " (1/%d)", Trunc(1 / e.exposureTime + 0.5));
    out += "\r\n";
  }
  if (e.brightness != 0) Add(out, "Brightness: %6.3f\r\n", static_cast<double>(e.brightness));
  if (e.apertureFNumber != 0)
    Add(out, "Aperture: f/%3.1f\r\n", static_cast<double>(e.apertureFNumber));
  if (e.distance != 0) {
    if (e.distance < 0)
      out += "Focus Distance: Infinite\r\n";
    else
      Add(out, "Focus Distance: %4.2fm\r\n", static_cast<double>(e.distance));
  }
  if (e.exposureBias != 0) Add(out, "Exposure Bias: %4.2f\r\n", static_cast<double>(e.exposureBias));
  if (e.whiteBalance != 0) Add(out, "Whitebalance: %s\r\n", LightSourceName(e.whiteBalance).c_str());
  if (e.meteringMode != 0)
    Add(out, "Metering Mode: %s\r\n", MeteringModeName(e.meteringMode).c_str());
  if (e.compressionLevel != 0)
    Add(out, "Compression Level: %s\r\n", Lookup(kCompressionLevel, e.compressionLevel).c_str());
  if (e.sceneCaptureType != 0)
    Add(out, "Scene Capture Type: %s\r\n", Lookup(kSceneCapture, e.sceneCaptureType).c_str());
  if (e.colourSpace != 0)
    Add(out, "Colour Space: %s\r\n", Lookup(kExifColourSpace, e.colourSpace).c_str());
  if (e.sensingMethod > 1)
    Add(out, "Sensing Method: %s\r\n", Lookup(kSensing, e.sensingMethod).c_str());
  if (e.latitudeRef[0])
    Add(out, "Latitude: %d %d' %2.1f\" %s\r\n", Trunc(e.latitudeDegrees), Trunc(e.latitudeMinutes),
        static_cast<double>(e.latitudeSeconds), e.latitudeRef);
  if (e.longitudeRef[0])
    Add(out, "Longitude: %d %d' %2.1f\" %s\r\n", Trunc(e.longitudeDegrees),
        Trunc(e.longitudeMinutes), static_cast<double>(e.longitudeSeconds), e.longitudeRef);
  if (e.altitudeRef != 0 || e.altitude != 0)
    Add(out, "Altitude: %c%d\r\n", e.altitudeRef ? '-' : '+', e.altitude);
  if (auto link = MapLink(e)) {
    out += "Google Maps: ";
    out += *link;
    out += "\r\n";
    mapLink = link->substr(0, link->size() - 2);
  }
}

}  // namespace

std::string OrientationName(int32_t value) {
  switch (value) {
    case 2: return "Mirror Horizontal";
    case 3: return "Rotate 180";
    case 4: return "Mirror Vertical";
    case 5: return "Mirror Horizontal and Rotate 270 CW";
    case 6: return "Rotate 90 CW";
    case 7: return "Mirror Horizontal and Rotate 90 CW";
    case 8: return "Rotate 270 C";
    default: return "Horizontal (Normal)";
  }
}

std::string LightSourceName(int32_t value) { return Lookup(kLightSource, value); }
std::string MeteringModeName(int32_t value) { return Lookup(kMetering, value); }

std::optional<std::string> MapLink(const ExifInfo& e) {
  if (!e.latitudeRef[0] || !e.longitudeRef[0]) return std::nullopt;
  std::string link = kMapBase;
  const float latMinutes = e.latitudeMinutes + e.latitudeSeconds / 60;
  const float lonMinutes = e.longitudeMinutes + e.longitudeSeconds / 60;
  Add(link, "q=%d%%20%2.3f%s%%20%d%%20%2.3f%s\r\n", Trunc(e.latitudeDegrees),
      static_cast<double>(latMinutes), e.latitudeRef, Trunc(e.longitudeDegrees),
      static_cast<double>(lonMinutes), e.longitudeRef);
  return link;
}

std::optional<BmpFacts> ReadBmpFacts(const std::string& path) {
  UniqueFile f = OpenFile(path, "rb");
  if (!f) return std::nullopt;
  uint8_t header[54];
  if (std::fread(header, 1, sizeof header, f.get()) != sizeof header) return std::nullopt;
  ByteReader r(header);
  if (!r.expect("BM")) return std::nullopt;
  r.seek(14 + 12);  // information header: size, width, height, then planes
  BmpFacts facts;
  facts.planes = r.u16le();
  facts.bitsPerPixel = r.u16le();
  facts.compression = static_cast<int32_t>(r.u32le());
  r.skip(12);  // image size, horizontal and vertical resolution
  facts.coloursUsed = static_cast<int32_t>(r.u32le());
  if (!r.ok()) return std::nullopt;
  return facts;
}

PropertiesReport BuildPropertiesReport(const PropertiesInput& in) {
  PropertiesReport report;
  std::string& out = report.text;
  Add(out, "Width: %u\r\n", in.width);
  Add(out, "Height: %u\r\n", in.height);
  if (in.width > 0 && in.height > 0 && !in.animating && in.uniqueColours > 0)
    Add(out, "Unique Colours: %u\r\n", static_cast<uint32_t>(in.uniqueColours));
  if (!in.isFile || in.sniffCode == 7) return report;

  Add(out, "Is File: %s\r\n", "True");
  Add(out, "File Size: %lld\r\n", static_cast<long long>(in.fileSize));
  Add(out, "File Type: %s\r\n", in.typeName.c_str());
  if (!in.colourProfile.empty()) Add(out, "Colour Profile: %s\r\n", in.colourProfile.c_str());
  const uint64_t pixels = uint64_t{in.width} * in.height;

  switch (in.sniffCode) {
    case 1: case -1:
      if (!in.detailsValid) break;
      if (!in.webpAnimated) {
        if (pixels > 1) AddRatio(out, in.fileSize, in.webpHasAlpha ? 4 : 3, pixels);
        Add(out, "Lossless: %s\r\n", YesNo(in.webpLossless));
      }
      Add(out, "Has Alpha: %s\r\n", YesNo(in.webpHasAlpha));
      Add(out, "Animated: %s\r\n", YesNo(in.webpAnimated));
      if (in.webpAnimated) {
        Add(out, "Frames: %d\r\n", in.frameCount);
        Add(out, "Duration: %.1f s\r\n", in.webpTotalDurationMs / 1000);
      }
      break;

    case 2: case -2:
      if (pixels > 1) AddRatio(out, in.fileSize, 3, pixels);
      if (in.detailsValid) {
        Add(out, "JPEG Colour Space: %s\r\n", Lookup(kJpegColourSpace, in.jpegColourSpace).c_str());
        Add(out, "Progressive: %s\r\n", YesNo(in.jpegProgressive));
      }
      if (in.exif.isExif) AddCameraData(out, in.exif, report.mapLink);
      if (in.exif.comments[0]) {
        out += "Comments: ";
        out += in.exif.comments;
        out += "\r\n";
      }
      break;

    case 3: case -3:
      if (!in.detailsValid) break;
      if (!in.animating && pixels > 1) AddRatio(out, in.fileSize, in.hasAlpha ? 4 : 3, pixels);
      Add(out, "Version: %s\r\n", in.gifVersion.c_str());
      Add(out, "Animated: %s\r\n", YesNo(in.animating));
      if (in.animating) {
        Add(out, "Frames: %d\r\n", in.frameCount);
        Add(out, "Duration: %.1f s\r\n", in.gifTotalDurationMs / 1000);
        Add(out, "Colour Table: %s\r\n", in.gifGlobalColourTable ? "Global" : "Local");
      } else {
        Add(out, "Has Alpha: %s\r\n", YesNo(in.hasAlpha));
      }
      Add(out, "Bit Depth: %d\r\n", in.gifBitDepth);
      if (in.gifAnimated && in.gifComment) {
        out += "Comments: ";
        out += *in.gifComment;
        out += "\r\n";
      }
      break;

    case 4: case -4: {
      if (!in.detailsValid) break;
      const bool alpha = (in.pngColourType & 4) != 0;
      if (pixels > 1) AddRatio(out, in.fileSize, alpha ? 4 : 3, pixels);
      Add(out, "Colour Space: %s\r\n", Lookup(kPngColourType, in.pngColourType).c_str());
      Add(out, "Bit Depth: %d\r\n", in.pngBitDepth);
      Add(out, "Has Alpha: %s\r\n", YesNo(alpha));
      break;
    }

    case 5: case -5:
      if (!in.bmp) break;
      Add(out, "Bit Planes: %d\r\n", in.bmp->planes);
      Add(out, "Bit Depth: %d\r\n", in.bmp->bitsPerPixel);
      Add(out, "Compression: %s\r\n", Lookup(kBmpCompression, in.bmp->compression).c_str());
      if (in.bmp->coloursUsed != 0) Add(out, "Colours Used: %d\r\n", in.bmp->coloursUsed);
      break;

    case 9:
      if (!in.icon) break;
      Add(out, "Icon Count: %d\r\n", in.icon->count);
      Add(out, "Bit Planes: %d\r\n", in.icon->planes);
      Add(out, "Bit Depth: %d\r\n", in.icon->bitDepth);
      break;

    case 10: case -10: case 11:
      if (pixels >= 2) AddRatio(out, in.fileSize, 4, pixels);
      break;

    case 13: case -13:
      if (!in.detailsValid) break;
      Add(out, "Animated: %s\r\n", YesNo(in.animating));
      if (in.animating) {
        Add(out, "Audio: %s\r\n", in.videoAudioStream == -1 ? "No" : "Yes");
        Add(out, "Duration: %.1f s\r\n", in.videoDurationMs / 1000);
        Add(out, "Frames/sec: %.2f\r\n", in.videoFrameRate / 100.0);
      }
      break;

    default:
      if (EqualsIgnoreCase(in.typeName, "bgra")) Add(out, "Has Alpha: %s\r\n", YesNo(in.hasAlpha));
      break;
  }
  return report;
}

}  // namespace qp
