// The parser against files whose metadata exiftool wrote, in both byte orders.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cmath>
#include <string>
#include <vector>

#include "metadata/exif.h"
#include "support/test_support.h"

namespace qp {
namespace {

std::vector<uint8_t> PlainJpeg(int width, int height) {
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * 7);
  tjhandle h = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  std::vector<uint8_t> jpeg;
  if (tjCompress2(h, rgb.data(), width, 0, height, TJPF_RGB, &out, &size, TJSAMP_420, 90, 0) == 0)
    jpeg.assign(out, out + size);
  tjFree(out);
  tjDestroy(h);
  return jpeg;
}

double Degrees(float d, float m, float s) {
  return d + m / 60.0 + s / 3600.0;
}

TEST(ExifExiftool, FieldsAgreeWithWhatExiftoolWrote) {
  if (!test::HaveTool("exiftool")) GTEST_SKIP() << "exiftool not installed";
  test::TempDir dir;
  for (const char* order : {"II", "MM"}) {
    SCOPED_TRACE(order);
    const std::string path = dir.file(std::string("photo_") + order + ".jpg");
    test::WriteBytes(path, PlainJpeg(40, 30));
    const std::string cmd =
        "exiftool -q -overwrite_original -ExifByteOrder=" + std::string(order) +
        " -Make='Quill Optics' -Model='QX-100 Mark II' -DateTimeOriginal='2021:03:04 05:06:07'"
        " -Orientation#=8 -ExposureTime=1/320 -FNumber=5.6 -ISO=400 -FocalLength=35"
        " -ExifIFD:Flash#=1 -MeteringMode#=5 -UserComment='Hello there'"
        " -GPSLatitude=48.858222 -GPSLatitudeRef=N -GPSLongitude=2.2945 -GPSLongitudeRef=W"
        " -GPSAltitude=35.5 -GPSAltitudeRef#=1 " +
        test::ShellQuote(path);
    ASSERT_EQ(test::RunShell(cmd), 0);

    ExifInfo e;
    ASSERT_TRUE(ReadJpegMetadata(path, e));
    EXPECT_EQ(e.isExif, 1);
    EXPECT_STREQ(e.cameraMake, "Quill Optics");
    EXPECT_STREQ(e.cameraModel, "QX-100 Mark II");
    EXPECT_STREQ(e.dateTime, "2021:03:04 05:06:07");
    EXPECT_EQ(e.orientation, 8);
    EXPECT_EQ(e.orientationFormat, 3);
    EXPECT_NEAR(e.exposureTime, 1.0 / 320, 1e-7);
    EXPECT_NEAR(e.apertureFNumber, 5.6, 1e-5);
    EXPECT_EQ(e.isoEquivalent, 400);
    EXPECT_NEAR(e.focalLength, 35.0, 1e-5);
    EXPECT_EQ(e.flashUsed, 1);
    EXPECT_EQ(e.meteringMode, 5);
    EXPECT_STREQ(e.comments, "Hello there");
    EXPECT_EQ(e.width, 40);
    EXPECT_EQ(e.height, 30);
    EXPECT_STREQ(e.latitudeRef, "N");
    EXPECT_NEAR(Degrees(e.latitudeDegrees, e.latitudeMinutes, e.latitudeSeconds), 48.858222, 1e-5);
    EXPECT_STREQ(e.longitudeRef, "W");
    EXPECT_NEAR(Degrees(e.longitudeDegrees, e.longitudeMinutes, e.longitudeSeconds), 2.2945, 1e-5);
    EXPECT_EQ(e.altitudeRef, 1);
    EXPECT_EQ(e.altitude, 35);
  }
}

}  // namespace
}  // namespace qp
