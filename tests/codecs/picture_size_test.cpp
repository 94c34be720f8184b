#include "codecs/picture_size.h"

#include <gtest/gtest.h>

#include "codecs/bgra.h"
#include "codecs/png.h"
#include "codecs/qoi.h"
#include "codecs/webp.h"
#include "support/jpeg_builder.h"
#include "support/test_support.h"

namespace qp {
namespace {

// Each format the header reader knows, written by the program's own encoders where it has
// them, read back to the declared size; odd sizes catch swapped or off-by-one fields.
TEST(PictureSize, HeadersOfEveryKnownFormat) {
  test::TempDir dir;
  const ImageBuffer img = test::RandomPicture(301, 77, 5, true);
  const ImageBuffer opaque = test::RandomPicture(301, 77, 6);
  const std::string png = dir.file("a.png"), jpg = dir.file("a.jpg"), qoi = dir.file("a.qoi"),
                    bgra = dir.file("a.bgra"), lossy = dir.file("lossy.webp"),
                    lossless = dir.file("lossless.webp"), alpha = dir.file("alpha.webp");
  ASSERT_EQ(SavePng(img.data(), 301, 77, 100, png.c_str()), nullptr);
  // An EXIF segment comes before the frame header.
  ASSERT_TRUE(test::WriteJpeg(jpg, opaque, 6));
  ASSERT_EQ(writeQoi(img.data(), 301, 77, qoi.c_str()), nullptr);
  ASSERT_EQ(writeRawBgra(img.data(), 301, 77, bgra.c_str()), nullptr);
  ASSERT_EQ(EncodeWebP(opaque.data(), 301, 77, 80, lossy.c_str(), false), nullptr);
  ASSERT_EQ(EncodeWebP(img.data(), 301, 77, 100, lossless.c_str(), true), nullptr);
  ASSERT_EQ(EncodeWebP(img.data(), 301, 77, 80, alpha.c_str(), true), nullptr);
  for (const std::string& path : {png, jpg, qoi, bgra, lossy, lossless, alpha}) {
    const auto size = ReadPictureSize(path);
    ASSERT_TRUE(size) << path;
    EXPECT_EQ(size->width, 301) << path;
    EXPECT_EQ(size->height, 77) << path;
  }

  std::vector<uint8_t> gif;
  test::PutText(gif, "GIF89a");
  test::PutU16le(gif, 640);
  test::PutU16le(gif, 3);
  EXPECT_EQ(PictureSizeIn(gif, false)->pixels(), 1920);
  // A bottom-up BMP has a positive height, a top-down one a negative one.
  std::vector<uint8_t> bmp{'B', 'M'};
  bmp.resize(18);
  test::PutU32le(bmp, 70);
  test::PutU32le(bmp, static_cast<uint32_t>(-40));
  EXPECT_EQ(PictureSizeIn(bmp, false)->height, 40);

  // Cut headers and unknown data give no size rather than a made-up one.
  std::vector<uint8_t> cut = test::ReadBytes(png);
  cut.resize(20);
  EXPECT_FALSE(PictureSizeIn(cut, false));
  cut = test::ReadBytes(jpg);
  cut.resize(cut.size() / 8);
  EXPECT_FALSE(PictureSizeIn(std::span(cut).first(30), false));
  EXPECT_FALSE(PictureSizeIn(std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o'}, false));
  EXPECT_FALSE(ReadPictureSize(dir.file("missing.png")));
}

}  // namespace
}  // namespace qp
