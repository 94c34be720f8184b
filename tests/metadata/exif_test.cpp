// The JPEG marker scan and EXIF/TIFF decoding, on hand-made files.
#include "metadata/exif.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "core/file_io.h"
#include "core/viewer_state.h"
#include "metadata/exif_builder.h"
#include "support/test_support.h"

namespace qp {
namespace {

using test::ExifSegment;
using test::FrameSegment;
using test::JpegWith;
using test::Segment;
using test::Tiff;
using test::TiffEntry;

ExifInfo Parse(const std::vector<uint8_t>& file, bool* reachedScan = nullptr) {
  ExifInfo info;
  const bool r = ParseJpegMetadata(file, info);
  if (reachedScan) *reachedScan = r;
  return info;
}

// A file whose first directory holds `entries` (and nothing else).
ExifInfo ParseDir(const std::vector<TiffEntry>& entries, bool motorola = false) {
  Tiff t(motorola);
  t.Dir(entries);
  return Parse(JpegWith({ExifSegment(t.bytes)}));
}

// IFD0 with Make, Model, Orientation and a link to an EXIF sub-directory holding the camera
// settings, and a GPS sub-directory; the same logical content in either byte order.
std::vector<uint8_t> CameraFile(bool motorola) {
  Tiff t(motorola);
  const uint32_t ifd0 = t.Dir({t.Ascii(0x010F, "Canon"),          // Make
                               t.Ascii(0x0110, "PowerShot A95"),  // Model
                               t.Short(0x0112, 6),                // Orientation
                               t.Rational(0x011A, {{180, 1}}),    // XResolution
                               t.Rational(0x011B, {{180, 1}}),    // YResolution
                               t.Short(0x0128, 2),                // ResolutionUnit: inch
                               Tiff::Raw(0x8769, 4, 1, 0),        // ExifIFD, patched
                               Tiff::Raw(0x8825, 4, 1, 0)});      // GPS IFD, patched
  const uint32_t exif = t.Dir({
      t.Rational(0x829A, {{1, 250}}),          // ExposureTime
      t.Rational(0x829D, {{28, 10}}),          // FNumber
      t.Short(0x8822, 2),                      // ExposureProgram
      t.Short(0x8827, 200),                    // ISOSpeedRatings
      t.Undefined(0x9000, "0220"),             // ExifVersion
      t.Ascii(0x9003, "2004:06:07 12:34:56"),  // DateTimeOriginal
      t.Rational(0x9102, {{5, 1}}),            // CompressedBitsPerPixel
      t.Rational(0x9203, {{-3, 2}}, 10),       // BrightnessValue (SRATIONAL)
      t.Rational(0x9204, {{-2, 3}}, 10),       // ExposureBiasValue (SRATIONAL)
      t.Rational(0x9206, {{15, 10}}),          // SubjectDistance
      t.Short(0x9207, 5),                      // MeteringMode
      t.Short(0x9208, 10),                     // LightSource
      t.Short(0x9209, 0x19),                   // Flash: fired, auto
      t.Rational(0x920A, {{58, 10}}),          // FocalLength
      t.Short(0xA001, 1),                      // ColorSpace
      t.Long(0xA002, 2592),                    // PixelXDimension
      t.Long(0xA003, 1944),                    // PixelYDimension
      t.Rational(0xA20E, {{2592000, 225}}),    // FocalPlaneXResolution
      t.Rational(0xA20F, {{1944000, 169}}),    // FocalPlaneYResolution
      t.Short(0xA210, 2),                      // FocalPlaneResolutionUnit
      t.Short(0xA217, 2),                      // SensingMethod
      t.Short(0xA406, 3),                      // SceneCaptureType
  });
  const uint32_t gps = t.Dir({
      TiffEntry{0, 1, 4, {2, 2, 0, 0}, {}},            // GPSVersionID 2.2.0.0
      t.Ascii(1, "N"),                                 // GPSLatitudeRef
      t.Rational(2, {{48, 1}, {51, 1}, {2964, 100}}),  // GPSLatitude
      t.Ascii(3, "E"),                                 // GPSLongitudeRef
      t.Rational(4, {{2, 1}, {17, 1}, {402, 10}}),     // GPSLongitude
      TiffEntry{5, 1, 1, {1}, {}},                     // GPSAltitudeRef: below sea level
      t.Rational(6, {{125, 10}}),                      // GPSAltitude 12.5 m
  });
  t.Set32(Tiff::FieldOf(ifd0, 6), exif);
  t.Set32(Tiff::FieldOf(ifd0, 7), gps);
  return JpegWith(
      {Segment(0xE0, {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0}), ExifSegment(t.bytes)});
}

TEST(Exif, CameraFileInBothByteOrders) {
  for (const bool motorola : {false, true}) {
    SCOPED_TRACE(motorola ? "Motorola" : "Intel");
    bool scan = false;
    const ExifInfo e = Parse(CameraFile(motorola), &scan);
    EXPECT_TRUE(scan);
    EXPECT_EQ(e.isExif, 1);
    EXPECT_STREQ(e.cameraMake, "Canon");
    EXPECT_STREQ(e.cameraModel, "PowerShot A95");
    EXPECT_STREQ(e.dateTime, "2004:06:07 12:34:56");
    EXPECT_STREQ(e.version, "0220");
    EXPECT_EQ(e.orientation, 6);
    EXPECT_EQ(e.orientationFormat, 3);
    EXPECT_EQ(e.width, 64);
    EXPECT_EQ(e.height, 48);
    EXPECT_EQ(e.isColour, 1);
    EXPECT_EQ(e.process, 0xC0);
    EXPECT_FLOAT_EQ(e.exposureTime, 0.004f);
    EXPECT_FLOAT_EQ(e.apertureFNumber, 2.8f);
    EXPECT_EQ(e.exposureProgram, 2);
    EXPECT_EQ(e.isoEquivalent, 200);
    EXPECT_EQ(e.compressionLevel, 5);
    EXPECT_FLOAT_EQ(e.brightness, -1.5f);
    EXPECT_FLOAT_EQ(e.exposureBias, -2.0f / 3);
    EXPECT_FLOAT_EQ(e.distance, 1.5f);
    EXPECT_EQ(e.meteringMode, 5);
    EXPECT_EQ(e.whiteBalance, 10);
    EXPECT_EQ(e.flashUsed, 1);
    EXPECT_FLOAT_EQ(e.focalLength, 5.8f);
    EXPECT_EQ(e.colourSpace, 1);
    EXPECT_EQ(e.sensingMethod, 2);
    EXPECT_EQ(e.sceneCaptureType, 3);
    EXPECT_FLOAT_EQ(e.xResolution, 180);
    EXPECT_FLOAT_EQ(e.resolutionUnit, 1.0f);
    EXPECT_FLOAT_EQ(e.focalPlaneUnits, 1.0f);
    // 2592 pixels across at 11520 pixels per inch: 0.225 in = 5.715 mm.
    EXPECT_NEAR(e.ccdWidth, 2592 * 1.0 / (2592000.0 / 225), 1e-6);
    EXPECT_EQ(e.gpsVersion[0], 2);
    EXPECT_EQ(e.gpsVersion[1], 2);
    EXPECT_STREQ(e.latitudeRef, "N");
    EXPECT_FLOAT_EQ(e.latitudeDegrees, 48);
    EXPECT_FLOAT_EQ(e.latitudeMinutes, 51);
    EXPECT_FLOAT_EQ(e.latitudeSeconds, 29.64f);
    EXPECT_STREQ(e.longitudeRef, "E");
    EXPECT_FLOAT_EQ(e.longitudeSeconds, 40.2f);
    EXPECT_EQ(e.altitudeRef, 1);
    EXPECT_EQ(e.altitude, 12);
  }
}

TEST(Exif, IsoBelowFiftyIsScaled) {
  Tiff t;
  EXPECT_EQ(ParseDir({t.Short(0x8827, 2)}).isoEquivalent, 400);
  EXPECT_EQ(ParseDir({t.Short(0x8827, 49)}).isoEquivalent, 9800);
  EXPECT_EQ(ParseDir({t.Short(0x8827, 50)}).isoEquivalent, 50);
  EXPECT_EQ(ParseDir({t.Short(0x8827, 100)}).isoEquivalent, 100);
  // A hostile negative value saturates instead of overflowing.
  EXPECT_EQ(ParseDir({Tiff::Raw(0x8827, 9, 1, 0x80000000u)}).isoEquivalent, INT32_MIN);
}

TEST(Exif, ShutterAndApertureAreFallbacksInEitherOrder) {
  Tiff t;
  const auto exposure = t.Rational(0x829A, {{1, 60}});
  const auto shutter = t.Rational(0x9201, {{8, 1}}, 10);  // APEX 8 -> 1/256 s
  const auto fnumber = t.Rational(0x829D, {{28, 10}});
  const auto aperture = t.Rational(0x9202, {{4, 1}});     // APEX 4 -> f/4
  const auto maxAperture = t.Rational(0x9205, {{6, 1}});  // APEX 6 -> f/8

  EXPECT_FLOAT_EQ(ParseDir({shutter}).exposureTime, 1.0f / 256);
  EXPECT_FLOAT_EQ(ParseDir({exposure, shutter}).exposureTime, 1.0f / 60);
  EXPECT_FLOAT_EQ(ParseDir({shutter, exposure}).exposureTime, 1.0f / 60);

  EXPECT_FLOAT_EQ(ParseDir({aperture}).apertureFNumber, 4.0f);
  EXPECT_FLOAT_EQ(ParseDir({maxAperture}).apertureFNumber, 8.0f);
  EXPECT_FLOAT_EQ(ParseDir({fnumber, aperture}).apertureFNumber, 2.8f);
  EXPECT_FLOAT_EQ(ParseDir({aperture, fnumber}).apertureFNumber, 2.8f);
  EXPECT_FLOAT_EQ(ParseDir({aperture, maxAperture}).apertureFNumber, 4.0f);
}

TEST(Exif, UserCommentForms) {
  Tiff t;
  auto comment = [&](const std::string& value) {
    return std::string(ParseDir({t.Undefined(0x9286, value)}).comments);
  };
  EXPECT_EQ(comment(std::string("ASCII\0\0\0Hello", 13)), "Hello");
  EXPECT_EQ(comment("ASCII        "), "");
  EXPECT_EQ(comment(std::string("ASCII\0\0\0", 8)), "");
  EXPECT_EQ(comment(std::string("ASCII\0\0\0Hi there    ", 20)), "Hi there");
  // Text from the first of bytes 5..9 that is neither zero nor blank.
  EXPECT_EQ(comment(std::string("ASCII\0 \0\0Xyz", 13)), "Xyz");
  // Any other character code: the whole value, up to its first zero byte.
  EXPECT_EQ(comment(std::string("UNICODE\0H\0i\0", 12)), "UNICODE");
  EXPECT_EQ(comment("Plain words  "), "Plain words");
  // A blank-only value is cleared down to its first byte.
  EXPECT_EQ(comment("     "), "");
  // At most 199 characters.
  EXPECT_EQ(comment(std::string(300, 'c')), std::string(199, 'c'));
  EXPECT_EQ(comment("ASCII\0\0\0" + std::string(300, 'd')), std::string(199, 'd'));
}

TEST(Exif, CommentSegmentIsFiltered) {
  auto com = [](const std::vector<uint8_t>& data) {
    return std::string(Parse(JpegWith({Segment(0xFE, data)})).comments);
  };
  EXPECT_EQ(com({'a', '\r', '\n', 'b', 0x01}), "a\nb.");
  EXPECT_EQ(com({'x', 0, 'y', '\t', 0xE9, 0x7F, '\r', 'z'}), "xy\t\xE9\x7F.z");
  // Only the first COM segment counts.
  EXPECT_EQ(
      std::string(Parse(JpegWith({Segment(0xFE, {'o', 'n', 'e'}), Segment(0xFE, {'t', 'w', 'o'})}))
                      .comments),
      "one");
  // Bytes up to position 1023 of the segment: 1022 characters.
  EXPECT_EQ(com(std::vector<uint8_t>(5000, 'q')), std::string(1022, 'q'));
  // An EXIF segment after it starts the comment afresh.
  Tiff t;
  t.Dir({t.Short(0x0112, 1)});
  EXPECT_EQ(std::string(Parse(JpegWith({Segment(0xFE, {'c'}), ExifSegment(t.bytes)})).comments),
            "");
}

TEST(Exif, RationalsAndOtherFormats) {
  Tiff t;
  // Denominator 0 converts to 0, for RATIONAL and SRATIONAL alike.
  EXPECT_EQ(ParseDir({t.Rational(0x920A, {{58, 0}})}).focalLength, 0.0f);
  EXPECT_EQ(ParseDir({t.Rational(0x9204, {{-1, 0}}, 10)}).exposureBias, 0.0f);
  // Numerator and denominator are read as signed 32-bit even in RATIONAL.
  EXPECT_FLOAT_EQ(ParseDir({t.Rational(0x9204, {{-1, 2}})}).exposureBias, -0.5f);
  // SSHORT, SBYTE, LONG, FLOAT and DOUBLE (the last two little-endian whatever the order).
  EXPECT_EQ(ParseDir({t.SShort(0x9207, -3)}).meteringMode, -3);
  EXPECT_EQ(ParseDir({TiffEntry{0x9207, 6, 1, {0xFE}, {}}}).meteringMode, -2);
  EXPECT_EQ(ParseDir({t.Long(0xA406, 70000)}).sceneCaptureType, 70000);
  for (const bool motorola : {false, true}) {
    const ExifInfo f = ParseDir({TiffEntry{0x920A, 11, 1, {0x00, 0x00, 0xC0, 0x40}, {}}}, motorola);
    EXPECT_FLOAT_EQ(f.focalLength, 6.0f);
    const ExifInfo d =
        ParseDir({TiffEntry{0x920A, 12, 1, {0, 0, 0, 0, 0, 0, 0x1C, 0x40}, {}}}, motorola);
    EXPECT_FLOAT_EQ(d.focalLength, 7.0f);
  }
  // ASCII and UNDEFINED are not numbers; a SHORT Orientation 3 from a LONG entry still works.
  const ExifInfo a = ParseDir({t.Ascii(0x0112, "6")});
  EXPECT_EQ(a.orientation, 0);
  EXPECT_EQ(a.orientationFormat, 2);
  EXPECT_EQ(ParseDir({t.Long(0x0112, 3)}).orientation, 3);
  // Format 0 is accepted with no bytes; 13 invalidates the directory.
  EXPECT_EQ(ParseDir({Tiff::Raw(0x0112, 0, 5, 0), t.Short(0x8827, 100)}).isoEquivalent, 100);
  EXPECT_EQ(ParseDir({Tiff::Raw(0x0112, 13, 1, 0)}).isExif, 0);
  // Unit codes: centimetre; an unknown code leaves the field alone.
  EXPECT_FLOAT_EQ(ParseDir({t.Short(0x0128, 3)}).resolutionUnit, 0.3937008f);
  EXPECT_FLOAT_EQ(ParseDir({t.Short(0x0128, 5)}).resolutionUnit, 0.00003937008f);
  EXPECT_EQ(ParseDir({t.Short(0x0128, 9)}).resolutionUnit, 0.0f);
  // Flash: only the low three bits count.
  EXPECT_EQ(ParseDir({t.Short(0x9209, 0x18)}).flashUsed, 0);
  EXPECT_EQ(ParseDir({t.Short(0x9209, 0x01)}).flashUsed, 1);
}

TEST(Exif, HeaderChecks) {
  auto withFirst = [](uint32_t first, bool motorola = false) {
    Tiff t(motorola, first);
    t.Dir({t.Short(0x0112, 8)});
    return Parse(JpegWith({ExifSegment(t.bytes)}));
  };
  EXPECT_EQ(withFirst(8).isExif, 1);
  // Whatever the header says, the first directory is read at offset 8.
  EXPECT_EQ(withFirst(16, true).orientation, 8);
  EXPECT_EQ(withFirst(16).isExif, 1);
  EXPECT_EQ(withFirst(20).isExif, 0);
  EXPECT_EQ(withFirst(7).isExif, 0);

  Tiff t;
  t.Dir({t.Short(0x0112, 8)});
  std::vector<uint8_t> bad = t.bytes;
  bad[2] = 43;  // not 42
  EXPECT_EQ(Parse(JpegWith({ExifSegment(bad)})).isExif, 0);
  bad = t.bytes;
  bad[0] = 'I';
  bad[1] = 'M';  // no byte-order mark
  EXPECT_EQ(Parse(JpegWith({ExifSegment(bad)})).isExif, 0);
  // An APP1 segment of another kind, and ones too short for the "Exif" text.
  EXPECT_EQ(Parse(JpegWith({Segment(0xE1, {'h', 't', 't', 'p', ':'})})).isExif, 0);
  EXPECT_EQ(Parse(JpegWith({Segment(0xE1, {'E', 'x', 'i'})})).isExif, 0);
  EXPECT_EQ(Parse(JpegWith({Segment(0xE1, {'E', 'x', 'i', 'f'})})).isExif, 0);
  EXPECT_EQ(Parse(JpegWith({Segment(0xE1, {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42})})).isExif, 0);
}

TEST(Exif, MarkerScan) {
  bool scan = true;
  // Not a JPEG: the record stays zeroed.
  ExifInfo e = Parse({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, &scan);
  EXPECT_FALSE(scan);
  EXPECT_EQ(e.width, 0);
  EXPECT_EQ(Parse({}, &scan).isExif, 0);
  EXPECT_FALSE(scan);

  // A progressive grey frame header: SOF2, one component.
  e = Parse(JpegWith({FrameSegment(300, 200, 1, 0xC2)}, false), &scan);
  EXPECT_TRUE(scan);
  EXPECT_EQ(e.width, 300);
  EXPECT_EQ(e.height, 200);
  EXPECT_EQ(e.isColour, 0);
  EXPECT_EQ(e.process, 0xC2);
  // DHT (C4), JPG (C8) and DAC (CC) are not frame headers.
  e = Parse(JpegWith({FrameSegment(300, 200, 3, 0xC4)}, false));
  EXPECT_EQ(e.width, 0);

  // EOI before any scan; fill bytes before a marker; seven 0xFF in a row.
  std::vector<uint8_t> eoi{0xFF, 0xD8, 0xFF, 0xD9};
  Parse(eoi, &scan);
  EXPECT_FALSE(scan);
  std::vector<uint8_t> fill{0xFF, 0xD8, 0xFF, 0xFF, 0xFF};
  const auto frame = FrameSegment(5, 6);
  fill.insert(fill.end(), frame.begin() + 1, frame.end());
  EXPECT_EQ(Parse(fill).width, 5);
  std::vector<uint8_t> sevenFill{0xFF, 0xD8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xC0};
  Parse(sevenFill, &scan);
  EXPECT_FALSE(scan);
  // A segment length below 2.
  Parse({0xFF, 0xD8, 0xFF, 0xE2, 0x00, 0x01}, &scan);
  EXPECT_FALSE(scan);

  // At most 32 kept segments: a frame header behind 32 APP2 segments is never reached.
  std::vector<uint8_t> many{0xFF, 0xD8};
  for (int i = 0; i < 32; ++i) {
    const auto s = Segment(0xE2, {1, 2, 3});
    many.insert(many.end(), s.begin(), s.end());
  }
  const auto late = JpegWith({}, true);
  many.insert(many.end(), late.begin() + 2, late.end());
  e = Parse(many, &scan);
  EXPECT_FALSE(scan);
  EXPECT_EQ(e.width, 0);
}

TEST(Exif, ThumbnailOfTheSecondDirectory) {
  Tiff t;
  const uint32_t ifd0 = t.Dir({t.Short(0x0112, 1)});
  const uint32_t ifd1 = t.Dir({t.Long(0x0201, 60), t.Long(0x0202, 20)});
  t.bytes.resize(t.size() + 40, 0);
  t.Set32(Tiff::LinkOf(ifd0, 1), ifd1);
  ExifInfo e = Parse(JpegWith({ExifSegment(t.bytes)}));
  EXPECT_EQ(e.thumbnailOffset, 60u);
  EXPECT_EQ(e.thumbnailSize, 20u);
  // A thumbnail reaching past the EXIF data is not recorded.
  t.Set32(Tiff::FieldOf(ifd1, 1), 4000);
  e = Parse(JpegWith({ExifSegment(t.bytes)}));
  EXPECT_EQ(e.isExif, 1);
  EXPECT_EQ(e.thumbnailSize, 0u);

  // The link is read as 16 bits from the start of its field: in a Motorola file that is the
  // high half, zero for any small offset, so the second directory is not reached.
  Tiff m(true);
  const uint32_t m0 = m.Dir({m.Short(0x0112, 1)});
  const uint32_t m1 = m.Dir({m.Long(0x0201, 60), m.Long(0x0202, 20), m.Short(0x0112, 3)});
  m.bytes.resize(m.size() + 60, 0);
  m.Set32(Tiff::LinkOf(m0, 1), m1);
  e = Parse(JpegWith({ExifSegment(m.bytes)}));
  EXPECT_EQ(e.isExif, 1);
  EXPECT_EQ(e.orientation, 1);
  EXPECT_EQ(e.thumbnailSize, 0u);
  // With the offset in the high half it is followed.
  m.Set32(Tiff::LinkOf(m0, 1), m1 << 16);
  e = Parse(JpegWith({ExifSegment(m.bytes)}));
  EXPECT_EQ(e.orientation, 3);
  EXPECT_EQ(e.thumbnailOffset, 60u);
}

// Hostile structures: the parser must end, stay inside the segment and keep what it read.
TEST(ExifMalformed, SubDirectoryCycles) {
  {  // The EXIF sub-directory is the first directory itself.
    Tiff t;
    t.Dir({t.Short(0x0112, 6), Tiff::Raw(0x8769, 4, 1, 8)});
    const ExifInfo e = Parse(JpegWith({ExifSegment(t.bytes)}));
    EXPECT_EQ(e.isExif, 1);
    EXPECT_EQ(e.orientation, 6);
  }
  {  // A sub-directory that points at itself, and two that point at each other.
    Tiff t;
    const uint32_t ifd0 = t.Dir({Tiff::Raw(0x8769, 4, 1, 0), Tiff::Raw(0x8825, 4, 1, 0)});
    const uint32_t self = t.Dir({t.Short(0x8827, 100), Tiff::Raw(0xA005, 4, 1, 0)});
    const uint32_t a = t.Dir({Tiff::Raw(0x8825, 4, 1, 0), t.Ascii(1, "S")});
    const uint32_t b = t.Dir({Tiff::Raw(0x8825, 4, 1, 0), t.Ascii(3, "W")});
    t.Set32(Tiff::FieldOf(ifd0, 0), self);
    t.Set32(Tiff::FieldOf(self, 1), self);
    t.Set32(Tiff::FieldOf(ifd0, 1), a);
    t.Set32(Tiff::FieldOf(a, 0), b);
    t.Set32(Tiff::FieldOf(b, 0), a);
    const ExifInfo e = Parse(JpegWith({ExifSegment(t.bytes)}));
    EXPECT_EQ(e.isExif, 1);
    EXPECT_EQ(e.isoEquivalent, 100);
    EXPECT_STREQ(e.latitudeRef, "S");
    EXPECT_STREQ(e.longitudeRef, "W");
  }
  {  // A directory whose next-directory link is itself.
    Tiff t;
    const uint32_t ifd0 = t.Dir({t.Short(0x0112, 3)});
    t.Set32(Tiff::LinkOf(ifd0, 1), ifd0);
    EXPECT_EQ(Parse(JpegWith({ExifSegment(t.bytes)})).orientation, 3);
  }
}

TEST(ExifMalformed, LongNextDirectoryChainEnds) {
  // 1000 directories, each linking to the next; each sets the ISO value to its index + 100.
  Tiff t;
  std::vector<uint32_t> dirs;
  for (uint16_t i = 0; i < 1000; ++i) dirs.push_back(t.Dir({t.Short(0x8827, 100 + i)}));
  for (size_t i = 0; i + 1 < dirs.size(); ++i) t.Set32(Tiff::LinkOf(dirs[i], 1), dirs[i + 1]);
  ASSERT_LT(t.size(), 65000u);
  const ExifInfo e = Parse(JpegWith({ExifSegment(t.bytes)}));
  EXPECT_EQ(e.isExif, 1);
  EXPECT_GT(e.isoEquivalent, 100);   // later directories were read
  EXPECT_LT(e.isoEquivalent, 1099);  // but the chain was cut

  // The same chain of sub-directories, each the EXIF sub-directory of the one before.
  Tiff s;
  dirs.clear();
  for (uint16_t i = 0; i < 1000; ++i)
    dirs.push_back(s.Dir({s.Short(0x8827, 100 + i), Tiff::Raw(0x8769, 4, 1, 0)}));
  for (size_t i = 0; i + 1 < dirs.size(); ++i) s.Set32(Tiff::FieldOf(dirs[i], 1), dirs[i + 1]);
  ASSERT_LT(s.size(), 65000u);
  const ExifInfo f = Parse(JpegWith({ExifSegment(s.bytes)}));
  EXPECT_EQ(f.isExif, 1);
  EXPECT_GT(f.isoEquivalent, 100);
  EXPECT_LT(f.isoEquivalent, 1099);
}

TEST(ExifMalformed, OffsetsAndCountsOutOfRange) {
  Tiff t;
  const auto make = t.Ascii(0x010F, "Nikon");
  auto invalid = [&](const TiffEntry& entry) {
    // The Make before the faulty entry stays in the record; isExif is cleared.
    const ExifInfo e = ParseDir({make, entry});
    EXPECT_STREQ(e.cameraMake, "Nikon");
    return e.isExif == 0;
  };
  // Value offsets near 2^32: the sum must not wrap around.
  EXPECT_TRUE(invalid(Tiff::Raw(0x920A, 5, 1, 0xFFFFFFFCu)));
  EXPECT_TRUE(invalid(Tiff::Raw(0x010F, 2, 16, 0xFFFFFFF8u)));
  EXPECT_TRUE(invalid(Tiff::Raw(0x920A, 5, 1, 200)));  // just past the end
  // Component counts whose byte count overflows 32 bits.
  EXPECT_TRUE(invalid(Tiff::Raw(0x920A, 5, 0x20000001u, 8)));
  EXPECT_TRUE(invalid(Tiff::Raw(0x0110, 2, 0xFFFFFFFFu, 8)));
  EXPECT_TRUE(invalid(Tiff::Raw(0x9286, 12, 0xFFFFFFFFu, 8)));
  // Sub-directory offsets beyond the data.
  EXPECT_TRUE(invalid(Tiff::Raw(0x8769, 4, 1, 0xFFFFFFFFu)));
  EXPECT_TRUE(invalid(Tiff::Raw(0x8825, 4, 1, 0x80000000u)));
  // A sub-directory exactly at the end is entered, fails, and is ignored.
  {
    Tiff u;
    u.Dir({make, Tiff::Raw(0x8769, 4, 1, 0)});
    u.Set32(Tiff::FieldOf(8, 1), u.size());
    EXPECT_EQ(Parse(JpegWith({ExifSegment(u.bytes)})).isExif, 1);
  }
  // A next-directory link past the end invalidates the segment.
  {
    Tiff u;
    u.Dir({make});
    u.Set32(Tiff::LinkOf(8, 1), 0x7000);
    EXPECT_EQ(Parse(JpegWith({ExifSegment(u.bytes)})).isExif, 0);
  }
  // An entry count running past the segment.
  {
    Tiff u;
    u.Dir({make});
    u.Set16(8, 0xFFFF);
    EXPECT_EQ(Parse(JpegWith({ExifSegment(u.bytes)})).isExif, 0);
  }
}

TEST(ExifMalformed, TextAtTheEndOfTheSegment) {
  // Make's value is the last five bytes of the segment, with no terminating zero, and the
  // segment ends the file: the copy stops at the segment's end.
  Tiff t;
  const uint32_t dir =
      t.Dir({Tiff::Raw(0x010F, 2, 5, 0), Tiff::Raw(0x9286, 7, 9, 0), Tiff::Raw(0x0110, 2, 4, 0)});
  t.Set32(Tiff::FieldOf(dir, 0), t.size());
  t.Set32(Tiff::FieldOf(dir, 1), t.size() - 4);
  t.bytes.insert(t.bytes.end(), {'S', 'o', 'n', 'y', '!'});
  // Model's four characters fill its field without a zero.
  const uint32_t model = Tiff::FieldOf(dir, 2);
  for (uint32_t i = 0; i < 4; ++i) t.bytes[model + i] = static_cast<uint8_t>('W' + i);
  std::vector<uint8_t> file{0xFF, 0xD8};
  const auto app1 = ExifSegment(t.bytes);
  file.insert(file.end(), app1.begin(), app1.end());
  // Exactly sized copy so that a read past the end is caught by the address sanitizer.
  std::vector<uint8_t> exact(file.begin(), file.end());
  ExifInfo e;
  EXPECT_FALSE(ParseJpegMetadata(exact, e));
  EXPECT_EQ(e.isExif, 1);
  EXPECT_STREQ(e.cameraMake, "Sony!");
  EXPECT_STREQ(e.cameraModel, "WXYZ");
}

TEST(ExifMalformed, EveryTruncationAndByteFlipIsSafe) {
  const std::vector<uint8_t> good = CameraFile(false);
  for (size_t n = 0; n < good.size(); ++n) {
    const std::vector<uint8_t> prefix(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
    ExifInfo e;
    EXPECT_FALSE(ParseJpegMetadata(prefix, e)) << n;
  }
  for (size_t at = 2; at < good.size(); ++at) {
    for (const uint8_t v : {uint8_t{0x00}, uint8_t{0xFF}, uint8_t{0x7F}}) {
      std::vector<uint8_t> bad = good;
      bad[at] = v;
      ExifInfo e;
      ParseJpegMetadata(bad, e);
    }
  }
}

// Resetting the orientation rewrites exactly the entries the parser reads, in their own format
// and byte order, and nothing else in the file.
TEST(ExifOrientation, ResetToUprightInEveryFormatAndOrder) {
  struct Case {
    const char* name;
    bool motorola;
    TiffEntry entry;
  };
  Tiff ii(false), mm(true);
  const std::vector<Case> cases = {
      {"short, Intel", false, ii.Short(0x0112, 6)},
      {"short, Motorola", true, mm.Short(0x0112, 8)},
      {"long, Motorola", true, mm.Long(0x0112, 3)},
      {"signed short, Intel", false, ii.SShort(0x0112, 6)},
      {"byte", false, TiffEntry{0x0112, 1, 1, {8}, {}}},
      {"rational out of line, Motorola", true, mm.Rational(0x0112, {{6, 1}})},
      {"two shorts, the first counts", true, TiffEntry{0x0112, 3, 2, {0, 6, 0, 5}, {}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Tiff t(c.motorola);
    t.Dir({t.Ascii(0x010F, "Make"), c.entry});
    std::vector<uint8_t> file = JpegWith({Segment(0xFE, {'x'}), ExifSegment(t.bytes)});
    const std::vector<uint8_t> before = file;
    ASSERT_NE(Parse(file).orientation, 1);
    EXPECT_EQ(ResetOrientation(file), 1u);
    const ExifInfo e = Parse(file);
    EXPECT_EQ(e.orientation, 1);
    EXPECT_STREQ(e.cameraMake, "Make");
    size_t changed = 0;
    for (size_t i = 0; i < file.size(); ++i) changed += file[i] != before[i];
    EXPECT_LE(changed, 2u);  // the value bytes only (a rational's 6/1 becomes 1/1)
  }
}

TEST(ExifOrientation, EntriesInSubDirectoriesAndTheSecondDirectory) {
  // IFD0 -> EXIF sub-directory, both with an orientation, and IFD1 with one too (Intel order,
  // as only the first half of the link field is followed).
  Tiff t;
  const uint32_t ifd0 = t.Dir({t.Short(0x0112, 6), Tiff::Raw(0x8769, 4, 1, 0)});
  const uint32_t sub = t.Dir({t.Short(0x0112, 6)});
  const uint32_t ifd1 = t.Dir({t.Short(0x0112, 8)});
  t.Set32(Tiff::FieldOf(ifd0, 1), sub);
  t.Set32(Tiff::LinkOf(ifd0, 2), ifd1);
  std::vector<uint8_t> file = JpegWith({ExifSegment(t.bytes)});
  EXPECT_EQ(FindOrientationEntries(file).size(), 3u);
  EXPECT_EQ(ResetOrientation(file), 3u);
  EXPECT_EQ(Parse(file).orientation, 1);
  for (const OrientationEntry& e : FindOrientationEntries(file)) {
    EXPECT_FALSE(e.bigEndian);
    EXPECT_EQ(file[e.valueOffset], 1);
    EXPECT_EQ(file[e.valueOffset + 1], 0);
  }
}

TEST(ExifOrientation, NothingChangesWithoutAValidBlock) {
  const auto unchanged = [](std::vector<uint8_t> file) {
    const std::vector<uint8_t> before = file;
    EXPECT_EQ(ResetOrientation(file), 0u);
    return file == before;
  };
  Tiff t;
  t.Dir({t.Short(0x0112, 6)});
  // The bytes of an orientation entry in a comment, no EXIF block.
  EXPECT_TRUE(unchanged(JpegWith({Segment(0xFE, {0x12, 0x01, 0x03, 0x00, 0x01, 0, 0, 0, 6, 0})})));
  // A malformed block: the entry comes before the fault, but the block is refused.
  Tiff bad;
  bad.Dir({bad.Short(0x0112, 6), Tiff::Raw(0x920A, 5, 1, 0xFFFFFFFCu)});
  EXPECT_TRUE(unchanged(JpegWith({ExifSegment(bad.bytes)})));
  // An orientation of a format that holds no number, and a count of 0.
  Tiff text;
  text.Dir({text.Ascii(0x0112, "6"), Tiff::Raw(0x0112, 3, 0, 6)});
  EXPECT_TRUE(unchanged(JpegWith({ExifSegment(text.bytes)})));
  // Not a JPEG, and every cut-off of a good file.
  EXPECT_TRUE(unchanged({'G', 'I', 'F', '8'}));
  std::vector<uint8_t> good = JpegWith({ExifSegment(t.bytes)});
  for (size_t n = 0; n < good.size(); ++n) {
    std::vector<uint8_t> prefix(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
    ResetOrientation(prefix);
    for (const OrientationEntry& e : FindOrientationEntries(prefix))
      EXPECT_LE(e.valueOffset + 2, prefix.size()) << n;
  }
}

TEST(ExifFile, ReadsFromAnOpenFileAndThroughTheViewerState) {
  test::TempDir dir;
  const std::string path = dir.file("camera.jpg");
  test::WriteBytes(path, CameraFile(true));

  ExifInfo info;
  EXPECT_TRUE(ReadJpegMetadata(path, info));
  EXPECT_EQ(info.isExif, 1);
  EXPECT_EQ(info.orientation, 6);
  EXPECT_FALSE(ReadJpegMetadata(dir.file("missing.jpg"), info));
  EXPECT_EQ(info.isExif, 0);

  // The parser reads from the file's current position.
  UniqueFile f = OpenFile(path, "rb");
  ASSERT_TRUE(f);
  std::fgetc(f.get());
  EXPECT_FALSE(ParseJpegMetadata(f.get(), info));
  std::rewind(f.get());
  EXPECT_TRUE(ParseJpegMetadata(f.get(), info));
  EXPECT_STREQ(info.cameraModel, "PowerShot A95");

  ViewerState state;
  InstallMetadataReader(state);
  state.jpegColourSpace = 3;
  state.ReadMetadata(path);
  EXPECT_EQ(state.exif.isExif, 1);
  EXPECT_STREQ(state.exif.cameraMake, "Canon");
  EXPECT_EQ(state.jpegColourSpace, 0);
  // A file that cannot be opened leaves the record cleared.
  state.ReadMetadata(dir.file("missing.jpg"));
  EXPECT_EQ(state.exif.isExif, 0);
  EXPECT_EQ(state.exif.cameraMake[0], '\0');
}

}  // namespace
}  // namespace qp
