// The properties report: every line, its format and its condition.
#include "metadata/properties.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/test_support.h"

namespace qp {
namespace {

PropertiesInput FileInput(int32_t code, const char* typeName, int64_t size, uint32_t w,
                          uint32_t h) {
  PropertiesInput in;
  in.width = w;
  in.height = h;
  in.isFile = true;
  in.sniffCode = code;
  in.typeName = typeName;
  in.fileSize = size;
  return in;
}

std::string Report(const PropertiesInput& in) {
  return BuildPropertiesReport(in).text;
}

bool Has(const std::string& text, const std::string& line) {
  return text.find(line) != std::string::npos;
}

ExifInfo FullCamera() {
  ExifInfo e;
  e.isExif = 1;
  std::strcpy(e.cameraMake, "Canon");
  std::strcpy(e.cameraModel, "EOS");
  std::strcpy(e.dateTime, "2004:06:07 12:34:56");
  e.isoEquivalent = 200;
  e.resolutionUnit = 1;
  e.xResolution = 72;
  e.yResolution = 300;
  e.orientation = 6;
  e.flashUsed = 1;
  e.focalLength = 5.8f;
  e.ccdWidth = 5.27f;
  e.exposureTime = 0.004f;
  e.brightness = -1.5f;
  e.apertureFNumber = 2.8f;
  e.distance = 1.5f;
  e.exposureBias = -0.67f;
  e.whiteBalance = 10;
  e.meteringMode = 5;
  e.compressionLevel = 4;
  e.sceneCaptureType = 3;
  e.colourSpace = 65535;
  e.sensingMethod = 2;
  std::strcpy(e.latitudeRef, "N");
  e.latitudeDegrees = 48;
  e.latitudeMinutes = 51;
  e.latitudeSeconds = 29.64f;
  std::strcpy(e.longitudeRef, "E");
  e.longitudeDegrees = 2;
  e.longitudeMinutes = 17;
  e.longitudeSeconds = 40.2f;
  e.altitudeRef = 1;
  e.altitude = 12;
  std::strcpy(e.comments, "Nice");
  return e;
}

TEST(Properties, FullJpegReport) {
  PropertiesInput in = FileInput(2, "JPEG", 92160, 640, 480);
  in.uniqueColours = 1234;
  in.detailsValid = 1;
  in.jpegColourSpace = 3;
  in.exif = FullCamera();
  const PropertiesReport r = BuildPropertiesReport(in);
  ASSERT_TRUE(r.mapLink);
  const std::string query = "/maps?q=48%2051.494N%202%2017.670E";
  ASSERT_GE(r.mapLink->size(), query.size());
  EXPECT_EQ(r.mapLink->substr(r.mapLink->size() - query.size()), query);
  EXPECT_EQ(r.text,
            "Width: 640\r\n"
            "Height: 480\r\n"
            "Unique Colours: 1234\r\n"
            "Is File: True\r\n"
            "File Size: 92160\r\n"
            "File Type: JPEG\r\n"
            "Compression Ratio: 10.0%\r\n"
            "JPEG Colour Space: YCbCr\r\n"
            "Progressive: No\r\n"
            "Camera Make: Canon\r\n"
            "Camera Model: EOS\r\n"
            "Time Taken: 2004:06:07 12:34:56\r\n"
            "ISO Equivalent: 200\r\n"
            "X-resolution (dpi):  72.0\r\n"
            "Y-resolution (dpi): 300.0\r\n"
            "Orientation: Rotate 90 CW\r\n"
            "Flash Used: Yes\r\n"
            "Focal Length:  5.8mm (35mm equivalent: 40mm)\r\n"
            "Exposure Time:  0.004 s  (1/250)\r\n"
            "Brightness: -1.500\r\n"
            "Aperture: f/2.8\r\n"
            "Focus Distance: 1.50m\r\n"
            "Exposure Bias: -0.67\r\n"
            "Whitebalance: Cloudy\r\n"
            "Metering Mode: Matrix\r\n"
            "Compression Level: Fine\r\n"
            "Scene Capture Type: Night Scene\r\n"
            "Colour Space: Uncalibrated\r\n"
            "Sensing Method: One-chip Colour Area\r\n"
            "Latitude: 48 51' 29.6\" N\r\n"
            "Longitude: 2 17' 40.2\" E\r\n"
            "Altitude: -12\r\n"
            "Google Maps: " +
                *r.mapLink +
                "\r\n\r\n"
                "Comments: Nice\r\n");
}

TEST(Properties, CameraLineConditions) {
  PropertiesInput in = FileInput(-2, "JPEG", 5000, 100, 100);
  ExifInfo& e = in.exif;
  e.isExif = 1;
  // An empty record still prints orientation (missing tag: normal) and flash.
  EXPECT_EQ(Report(in),
            "Width: 100\r\nHeight: 100\r\nIs File: True\r\nFile Size: 5000\r\nFile Type: JPEG\r\n"
            "Compression Ratio: 16.7%\r\n"
            "Orientation: Horizontal (Normal)\r\nFlash Used: No\r\n");

  e.exposureTime = 1.5f;
  EXPECT_TRUE(Has(Report(in), "Exposure Time:  1.500 s \r\n"));
  e.exposureTime = 0.5f;
  EXPECT_TRUE(Has(Report(in), "Exposure Time:  0.500 s  (1/2)\r\n"));
  e.focalLength = 50;
  EXPECT_TRUE(Has(Report(in), "Focal Length: 50.0mm\r\n"));
  e.distance = -1;
  EXPECT_TRUE(Has(Report(in), "Focus Distance: Infinite\r\n"));

  std::strcpy(e.dateTime, "0000:00:00 00:00:00");
  EXPECT_FALSE(Has(Report(in), "Time Taken"));
  std::strcpy(e.dateTime, "0000:00:00 00:00:01");
  EXPECT_TRUE(Has(Report(in), "Time Taken: 0000:00:00 00:00:01\r\n"));

  // Resolution lines need a unit; sensing method 1 is not shown.
  e.xResolution = 72;
  EXPECT_FALSE(Has(Report(in), "resolution"));
  e.resolutionUnit = 0.3937008f;
  EXPECT_TRUE(Has(Report(in), "X-resolution (dpi): 182.9\r\n"));
  EXPECT_FALSE(Has(Report(in), "Y-resolution"));
  e.sensingMethod = 1;
  EXPECT_FALSE(Has(Report(in), "Sensing"));

  // Only a latitude: no map link. Altitude alone.
  std::strcpy(e.latitudeRef, "S");
  e.altitude = 7;
  PropertiesReport r = BuildPropertiesReport(in);
  EXPECT_TRUE(Has(r.text, "Latitude: 0 0' 0.0\" S\r\n"));
  EXPECT_TRUE(Has(r.text, "Altitude: +7\r\n"));
  EXPECT_FALSE(Has(r.text, "Google"));
  EXPECT_FALSE(r.mapLink);
  e.altitude = 0;
  EXPECT_FALSE(Has(Report(in), "Altitude"));

  // Unknown table values print as numbers; the orientation table has no numbers.
  e.whiteBalance = 99;
  e.meteringMode = 255;
  e.colourSpace = 3;
  e.orientation = 9;
  const std::string t = Report(in);
  EXPECT_TRUE(Has(t, "Whitebalance: 99\r\n"));
  EXPECT_TRUE(Has(t, "Metering Mode: 255\r\n"));
  EXPECT_TRUE(Has(t, "Colour Space: 3\r\n"));
  EXPECT_TRUE(Has(t, "Orientation: Horizontal (Normal)\r\n"));

  // Without the EXIF flag only the comment remains.
  e.isExif = 0;
  std::strcpy(e.comments, "From COM");
  EXPECT_EQ(Report(in),
            "Width: 100\r\nHeight: 100\r\nIs File: True\r\nFile Size: 5000\r\nFile Type: JPEG\r\n"
            "Compression Ratio: 16.7%\r\n"
            "Comments: From COM\r\n");
}

TEST(Properties, HostileCameraValuesPrintSafely) {
  PropertiesInput in = FileInput(2, "JPEG", 100, 1, 1);
  ExifInfo& e = in.exif;
  e.isExif = 1;
  e.focalLength = 1e30f;
  e.ccdWidth = 1e-30f;
  e.exposureTime = 1e-20f;
  std::strcpy(e.latitudeRef, "N");
  std::strcpy(e.longitudeRef, "W");
  e.latitudeDegrees = -3e38f;
  e.longitudeDegrees = 3e38f;
  const PropertiesReport r = BuildPropertiesReport(in);
  EXPECT_TRUE(Has(r.text, "(35mm equivalent: 2147483647mm)"));
  EXPECT_TRUE(Has(r.text, "(1/2147483647)"));
  EXPECT_TRUE(Has(r.text, "Latitude: -2147483648 0'"));
  ASSERT_TRUE(r.mapLink);
  EXPECT_TRUE(Has(*r.mapLink, "q=-2147483648%20"));
  // A 1 x 1 picture has no compression ratio.
  EXPECT_FALSE(Has(r.text, "Compression Ratio"));
}

TEST(Properties, MapLink) {
  ExifInfo e = FullCamera();
  const auto link = MapLink(e);
  ASSERT_TRUE(link);
  const std::string tail = "/maps?q=48%2051.494N%202%2017.670E\r\n";
  ASSERT_GT(link->size(), tail.size());
  EXPECT_EQ(link->substr(link->size() - tail.size()), tail);
  EXPECT_EQ(link->rfind("https://", 0), 0u);
  e.longitudeRef[0] = '\0';
  EXPECT_FALSE(MapLink(e));
}

TEST(Properties, PictureAndFileLines) {
  PropertiesInput in;
  in.width = 3;
  in.height = 2;
  in.uniqueColours = 5;
  // A clipboard picture: size and colours only.
  EXPECT_EQ(Report(in), "Width: 3\r\nHeight: 2\r\nUnique Colours: 5\r\n");
  in.animating = 1;
  EXPECT_EQ(Report(in), "Width: 3\r\nHeight: 2\r\n");
  in.animating = 0;
  in.uniqueColours = -1;  // the bit set could not be allocated
  EXPECT_EQ(Report(in), "Width: 3\r\nHeight: 2\r\n");
  // Code 7 stops after the colours.
  in = FileInput(7, "Whatever", 10, 3, 2);
  EXPECT_EQ(Report(in), "Width: 3\r\nHeight: 2\r\n");
  // Another code: only a "bgra" type (any case) adds its alpha line.
  in = FileInput(12, "BGRA", 24, 3, 2);
  in.hasAlpha = 1;
  EXPECT_EQ(Report(in),
            "Width: 3\r\nHeight: 2\r\nIs File: True\r\nFile Size: 24\r\nFile Type: BGRA\r\n"
            "Has Alpha: Yes\r\n");
  in.typeName = "QOI";
  EXPECT_FALSE(Has(Report(in), "Has Alpha"));
}

TEST(Properties, WebpLines) {
  PropertiesInput in = FileInput(1, "WebP", 1000, 10, 10);
  EXPECT_FALSE(Has(Report(in), "Compression"));  // no details recorded
  in.detailsValid = 1;
  EXPECT_EQ(Report(in),
            "Width: 10\r\nHeight: 10\r\nIs File: True\r\nFile Size: 1000\r\nFile Type: WebP\r\n"
            "Compression Ratio: 333.3%\r\nLossless: No\r\nHas Alpha: No\r\nAnimated: No\r\n");
  in.webpHasAlpha = 1;
  in.webpLossless = 1;
  EXPECT_TRUE(Has(Report(in), "Compression Ratio: 250.0%\r\nLossless: Yes\r\nHas Alpha: Yes\r\n"));
  in.webpAnimated = 1;
  in.frameCount = 12;
  in.webpTotalDurationMs = 1300;
  const std::string t = Report(in);
  EXPECT_FALSE(Has(t, "Compression"));
  EXPECT_FALSE(Has(t, "Lossless"));
  EXPECT_TRUE(Has(t, "Has Alpha: Yes\r\nAnimated: Yes\r\nFrames: 12\r\nDuration: 1.3 s\r\n"));
}

TEST(Properties, GifLines) {
  PropertiesInput in = FileInput(3, "GIF", 600, 10, 10);
  in.detailsValid = 1;
  in.gifVersion = "89a";
  in.gifBitDepth = 8;
  EXPECT_TRUE(Has(Report(in),
                  "Compression Ratio: 200.0%\r\nVersion: 89a\r\nAnimated: No\r\n"
                  "Has Alpha: No\r\nBit Depth: 8\r\n"));
  // During playback: no colours, no ratio, the playback lines, and the decoder's comment.
  in.uniqueColours = 99;
  in.animating = 1;
  in.gifAnimated = 1;
  in.frameCount = 4;
  in.gifTotalDurationMs = 400;
  in.gifGlobalColourTable = true;
  in.gifComment = "made by hand";
  EXPECT_EQ(Report(in),
            "Width: 10\r\nHeight: 10\r\nIs File: True\r\nFile Size: 600\r\nFile Type: GIF\r\n"
            "Version: 89a\r\nAnimated: Yes\r\nFrames: 4\r\nDuration: 0.4 s\r\n"
            "Colour Table: Global\r\nBit Depth: 8\r\nComments: made by hand\r\n");
  in.gifGlobalColourTable = false;
  EXPECT_TRUE(Has(Report(in), "Colour Table: Local\r\n"));
  in.gifAnimated = 0;
  EXPECT_FALSE(Has(Report(in), "Comments"));
}

TEST(Properties, PngBmpIconAndOtherLines) {
  PropertiesInput in = FileInput(-4, "PNG", 400, 10, 10);
  in.detailsValid = 1;
  in.pngColourType = 6;
  in.pngBitDepth = 16;
  EXPECT_TRUE(Has(Report(in),
                  "Compression Ratio: 100.0%\r\nColour Space: RGB+Alpha\r\n"
                  "Bit Depth: 16\r\nHas Alpha: Yes\r\n"));
  in.pngColourType = 3;
  EXPECT_TRUE(Has(Report(in), "Compression Ratio: 133.3%\r\nColour Space: Palette\r\n"));

  // A BMP file's headers: "BM", 14-byte file header, 40-byte information header.
  test::TempDir dir;
  std::vector<uint8_t> bmp{'B', 'M'};
  test::PutU32le(bmp, 70);    // file size
  test::PutU32le(bmp, 0);     // reserved
  test::PutU32le(bmp, 54);    // pixel data offset
  test::PutU32le(bmp, 40);    // information header size
  test::PutU32le(bmp, 2);     // width
  test::PutU32le(bmp, 2);     // height
  test::PutU16le(bmp, 1);     // planes
  test::PutU16le(bmp, 8);     // bits per pixel
  test::PutU32le(bmp, 1);     // compression: RLE8
  test::PutU32le(bmp, 0);     // image size
  test::PutU32le(bmp, 2835);  // horizontal resolution
  test::PutU32le(bmp, 2835);  // vertical resolution
  test::PutU32le(bmp, 16);    // colours used
  test::PutU32le(bmp, 0);     // important colours
  test::WriteBytes(dir.file("a.bmp"), bmp);
  auto facts = ReadBmpFacts(dir.file("a.bmp"));
  ASSERT_TRUE(facts);
  in = FileInput(5, "BMP", 70, 2, 2);
  in.bmp = facts;
  EXPECT_TRUE(Has(Report(in),
                  "File Type: BMP\r\nBit Planes: 1\r\nBit Depth: 8\r\n"
                  "Compression: RLE8\r\nColours Used: 16\r\n"));
  in.bmp->coloursUsed = 0;
  in.bmp->compression = 7;
  EXPECT_TRUE(Has(Report(in), "Compression: 7\r\n"));
  EXPECT_FALSE(Has(Report(in), "Colours Used"));
  bmp.resize(53);
  test::WriteBytes(dir.file("short.bmp"), bmp);
  EXPECT_FALSE(ReadBmpFacts(dir.file("short.bmp")));
  bmp.push_back(0);
  bmp[0] = 'X';
  test::WriteBytes(dir.file("x.bmp"), bmp);
  EXPECT_FALSE(ReadBmpFacts(dir.file("x.bmp")));

  // LuraWave and AVIF count four bytes a pixel and need at least two pixels.
  in = FileInput(11, "AVIF", 800, 10, 10);
  EXPECT_TRUE(Has(Report(in), "Compression Ratio: 200.0%\r\n"));
  in.height = 1;
  in.width = 1;
  EXPECT_FALSE(Has(Report(in), "Compression"));

  in = FileInput(13, "MP4", 1000, 10, 10);
  in.detailsValid = 1;
  EXPECT_TRUE(Has(Report(in), "Animated: No\r\n"));
  in.animating = 1;
  in.videoAudioStream = -1;
  in.videoDurationMs = 12345;
  in.videoFrameRate = 2997;
  EXPECT_TRUE(Has(Report(in),
                  "Animated: Yes\r\nAudio: No\r\nDuration: 12.3 s\r\n"
                  "Frames/sec: 29.97\r\n"));
  in.videoAudioStream = 1;
  EXPECT_TRUE(Has(Report(in), "Audio: Yes\r\n"));
}

}  // namespace
}  // namespace qp
