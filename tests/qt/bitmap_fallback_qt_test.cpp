// Files the external library refuses or would get wrong reach Qt's readers through the load
// dispatch, and every BMP, TGA and TIFF variant ImageMagick writes loads as ImageMagick reads it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "codecs/freeimage.h"
#include "codecs/load_dispatch.h"
#include "qt/system_decoder_qt.h"
#include "support/test_support.h"

namespace qp {
namespace {

using test::PixelAt;
using test::PutU16le;
using test::PutU32le;

class BitmapFallback : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!FreeImageAvailable()) GTEST_SKIP() << "libfreeimage.so.3 not installed";
  }
  std::optional<ImageBuffer> Load(const std::string& path) {
    ViewerState state;
    LoadContext ctx{state, nullptr, &qt_};
    return LoadPictureFile(path, ctx);
  }
  test::TempDir dir_;
  QtSystemImageDecoder qt_;
};

// A 2 x 1 bitmap with a 40-byte header and bit-field masks after it: red, then blue.
std::vector<uint8_t> MaskedBitmap(uint16_t bits, uint32_t r, uint32_t g, uint32_t b,
                                  uint32_t red, uint32_t blue) {
  std::vector<uint8_t> pixels;
  for (uint32_t v : {red, blue})
    for (int k = 0; k < bits / 8; ++k) pixels.push_back(static_cast<uint8_t>(v >> (8 * k)));
  while (pixels.size() % 4 != 0) pixels.push_back(0);
  std::vector<uint8_t> f = {'B', 'M'};
  PutU32le(f, static_cast<uint32_t>(14 + 40 + 12 + pixels.size()));
  PutU32le(f, 0);
  PutU32le(f, 14 + 40 + 12);
  PutU32le(f, 40);
  PutU32le(f, 2);
  PutU32le(f, 1);
  PutU16le(f, 1);
  PutU16le(f, bits);
  PutU32le(f, 3);  // bit fields
  f.resize(14 + 40, 0);
  for (uint32_t m : {r, g, b}) PutU32le(f, m);
  f.insert(f.end(), pixels.begin(), pixels.end());
  return f;
}

TEST_F(BitmapFallback, MasksTheLibraryWouldMisreadGoToQt) {
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    uint32_t red, blue;  // as ImageMagick reads them: a 4-bit 15 is 240
  };
  const std::vector<Case> cases = {
      {"32-bit R-G-B-X", MaskedBitmap(32, 0xFF000000, 0xFF0000, 0xFF00, 0xFF000000, 0xFF00),
       0xFF0000, 0x0000FF},
      {"16-bit 4-4-4", MaskedBitmap(16, 0x0F00, 0x00F0, 0x000F, 0x0F00, 0x000F), 0xF00000,
       0x0000F0},
  };
  for (const Case& c : cases) {
    // The content decides: the name's extension is not a bitmap's.
    const std::string path = dir_.file("picture.dat");
    test::WriteBytes(path, c.bytes);
    auto img = Load(path);
    ASSERT_TRUE(img) << c.name;
    EXPECT_EQ(PixelAt(*img, 0, 0) & 0xFFFFFF, c.red) << c.name;
    EXPECT_EQ(PixelAt(*img, 1, 0) & 0xFFFFFF, c.blue) << c.name;
  }
}

// Channels of two pictures of the same size differ by at most `tolerance`.
::testing::AssertionResult Near(const std::vector<uint8_t>& want, const ImageBuffer& got,
                                int tolerance) {
  if (want.size() != got.pixelCount() * 3)
    return ::testing::AssertionFailure() << "size " << got.width() << "x" << got.height();
  for (size_t i = 0; i < got.pixelCount(); ++i) {
    const uint8_t* p = got.data() + i * 4;
    const int rgb[3] = {p[2], p[1], p[0]};
    for (int c = 0; c < 3; ++c)
      if (std::abs(rgb[c] - want[i * 3 + c]) > tolerance)
        return ::testing::AssertionFailure()
               << "pixel " << i << " channel " << c << ": " << rgb[c] << " vs " << int(want[i * 3 + c]);
  }
  return ::testing::AssertionSuccess();
}

// ImageMagick writes each variant from one gradient with transparency; its own reading of the
// file, drawn over white as the viewer shows it, is what the load must give. Drawing over white
// may round one level apart, and 5-bit channels by the rounding of their expansion to 8 bits.
TEST_F(BitmapFallback, ImageMagickFilesLoadAsImageMagickReadsThem) {
  if (!test::HaveTool("convert")) GTEST_SKIP() << "ImageMagick not installed";
  const std::string source = dir_.file("source.png");
  ASSERT_EQ(test::RunShell("convert -size 13x7 gradient:red-blue \\( -size 13x7 gradient:white-black"
                           " \\) -alpha off -compose copy_opacity -composite " +
                           test::ShellQuote(source)),
            0);
  const std::string opaque = dir_.file("opaque.png");
  ASSERT_EQ(test::RunShell("convert " + test::ShellQuote(source) + " -alpha off " +
                           test::ShellQuote(opaque)),
            0);
  struct Variant {
    const char* file;
    const char* from;  // "source" or "opaque"
    const char* options;
    int tolerance;
  };
  const Variant variants[] = {
      {"v5.bmp", "source", "", 1},
      {"argb8888.bmp", "source", "-define bmp:subtype=ARGB8888", 1},
      {"argb4444.bmp", "source", "-define bmp:subtype=ARGB4444", 1},
      {"argb1555.bmp", "source", "-define bmp:subtype=ARGB1555", 8},
      {"rgb565.bmp", "opaque", "-define bmp:subtype=RGB565", 8},
      {"rgb555.bmp", "opaque", "-define bmp:subtype=RGB555", 8},
      {"bmp3.bmp", "opaque", "-format BMP3", 0},
      {"bmp3-alpha.bmp", "source", "-define bmp3:alpha=true", 1},
      {"rle8.bmp", "opaque", "-type palette -compress RLE", 0},
      {"plain.tga", "opaque", "", 0},
      {"alpha.tga", "source", "", 1},
      {"rle.tga", "source", "-compress RLE", 1},
      {"predictor.tif", "opaque", "-compress lzw -define tiff:predictor=2", 0},
      {"predictor-alpha.tif", "source", "-compress zip -define tiff:predictor=2", 1},
      {"ycbcr.tif", "opaque", "-colorspace YCbCr -compress none", 1},
      {"jpeg.tif", "opaque", "-compress jpeg -quality 95", 1},
  };
  for (const Variant& v : variants) {
    SCOPED_TRACE(v.file);
    const std::string path = dir_.file(v.file);
    std::string prefix = std::string(v.file).find("bmp3") == 0 ? "BMP3:" : "";
    ASSERT_EQ(test::RunShell("convert " + test::ShellQuote(dir_.file(std::string(v.from) + ".png")) +
                             " -depth 8 " + v.options + " " + prefix + test::ShellQuote(path)),
              0);
    const std::string raw = dir_.file("want.rgb");
    ASSERT_EQ(test::RunShell("convert " + test::ShellQuote(path) +
                             " -auto-orient -background white -alpha remove -depth 8 rgb:" +
                             test::ShellQuote(raw)),
              0);
    auto img = Load(path);
    ASSERT_TRUE(img);
    // The viewer draws what has transparency over white too.
    ImageBuffer shown = std::move(*img);
    for (size_t i = 0; i < shown.pixelCount(); ++i) {
      uint8_t* p = shown.data() + i * 4;
      for (int c = 0; c < 3; ++c) p[c] = static_cast<uint8_t>((p[c] * p[3] + 255 * (255 - p[3]) + 127) / 255);
    }
    EXPECT_TRUE(Near(test::ReadBytes(raw), shown, v.tolerance));
  }
}

}  // namespace
}  // namespace qp
