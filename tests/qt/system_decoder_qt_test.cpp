#include "qt/system_decoder_qt.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>

#include "codecs/freeimage.h"
#include "codecs/load_dispatch.h"
#include "support/test_support.h"

namespace qp {
namespace {

using test::PixelAt;

// Qt's image plug-ins read what FreeImage would; here FreeImage only writes the files.
TEST(QtSystemDecoder, ReadsTiffAndTgaAndRefusesJunk) {
  if (!FreeImageAvailable()) GTEST_SKIP() << "libfreeimage.so.3 not installed";
  test::TempDir dir;
  auto pic = test::MakePicture(5, 4, [](int x, int y) { return 0xFF000000u | x << 18 | y << 5; });
  QtSystemImageDecoder qt;
  for (auto [name, format] : {std::pair{"a.tif", kFreeImageTiff}, std::pair{"a.tga", kFreeImageTarga}}) {
    const std::string path = dir.file(name);
    ASSERT_NE(saveWithLibrary(path, format, 0, pic.data(), 5, 4), 0);
    auto img = qt.Decode(path);
    ASSERT_TRUE(img) << name;
    EXPECT_EQ(img->width(), 5);
    EXPECT_EQ(img->height(), 4);
    EXPECT_EQ(PixelAt(*img, 4, 3), PixelAt(pic, 4, 3)) << name;
  }
  test::WriteBytes(dir.file("junk.tif"), {'I', 'I', 42, 0, 1});
  EXPECT_FALSE(qt.Decode(dir.file("junk.tif")));
  EXPECT_FALSE(qt.Decode(dir.file("missing.png")));
}

TEST(QtSystemDecoder, IsTheLastFallBackWhenFreeImageIsHidden) {
  if (!FreeImageAvailable()) GTEST_SKIP() << "libfreeimage.so.3 not installed";
  test::TempDir dir;
  auto pic = test::SolidPicture(3, 3, 0xFF102030);
  const std::string path = dir.file("scan.xyz");
  ASSERT_NE(saveWithLibrary(path, kFreeImageTiff, 0, pic.data(), 3, 3), 0);
  ViewerState state;
  QtSystemImageDecoder qt;
  LoadContext ctx{state, nullptr, &qt};
  SetFreeImageHidden(true);
  auto img = LoadPictureFile(path, ctx);
  SetFreeImageHidden(false);
  ASSERT_TRUE(img);
  EXPECT_EQ(PixelAt(*img, 1, 1), 0xFF102030u);
}

// Transparent areas come out as the white background the picture is drawn on, opaque.
TEST(QtSystemDecoder, DrawsTranslucentPicturesOverWhite) {
  test::TempDir dir;
  QImage src(3, 1, QImage::Format_ARGB32);
  src.setPixel(0, 0, 0x00000000u);  // fully transparent black
  src.setPixel(1, 0, 0x80FF0000u);  // half-transparent red
  src.setPixel(2, 0, 0xFF102030u);  // opaque
  const std::string path = dir.file("alpha.png");
  ASSERT_TRUE(src.save(QString::fromStdString(path), "PNG"));
  QtSystemImageDecoder qt;
  auto img = qt.Decode(path);
  ASSERT_TRUE(img);
  EXPECT_EQ(PixelAt(*img, 0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(PixelAt(*img, 1, 0), 0xFFFF7F7Fu);
  EXPECT_EQ(PixelAt(*img, 2, 0), 0xFF102030u);
}

}  // namespace
}  // namespace qp

namespace qp {
namespace {

// Qt's own allocation limit follows the program's picture limit (1 GiB of 32-bit pixels), so
// plug-ins that learn the size only while decoding stop at the same place as every decoder.
TEST(QtSystemDecoder, SetsQtsAllocationLimitToThePictureLimit) {
  QImageReader::setAllocationLimit(1);
  test::TempDir dir;
  QtSystemImageDecoder qt;
  EXPECT_FALSE(qt.Decode(dir.file("missing.png")));
  EXPECT_EQ(QImageReader::allocationLimit(), 1024);
  EXPECT_EQ(QtSystemImageDecoder::AllocationLimitMiB(), 1024);
}

}  // namespace
}  // namespace qp
