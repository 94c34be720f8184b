// The load dispatch end to end with the real external decoders: FreeImage for BMP and for
// files nobody else reads, the system decoder last.
#include <gtest/gtest.h>

#include "codecs/freeimage.h"
#include "codecs/load_dispatch.h"
#include "codecs/png.h"
#include "codecs/sniff.h"
#include "support/test_support.h"

namespace qp {
namespace {

using test::PixelAt;

class CountingSystemDecoder : public SystemImageDecoder {
 public:
  int calls = 0;
  bool answer = false;
  std::optional<ImageBuffer> Decode(const std::string&) override {
    ++calls;
    if (!answer) return std::nullopt;
    return test::SolidPicture(5, 5, 0xFF00FF00);
  }
};

class DispatchExternal : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!FreeImageAvailable()) GTEST_SKIP() << "libfreeimage.so.3 not installed";
    pic_ = test::MakePicture(4, 3, [](int x, int y) { return 0xFF000000u | x << 20 | y << 4; });
  }
  void TearDown() override { SetFreeImageHidden(false); }
  // Writes the test picture in a FreeImage format under `name`.
  std::string Write(const std::string& name, int32_t format) {
    const std::string path = dir_.file(name);
    EXPECT_NE(saveWithLibrary(path, format, 0, pic_.data(), 4, 3), 0);
    return path;
  }
  void ExpectPicture(const std::optional<ImageBuffer>& img) {
    ASSERT_TRUE(img);
    ASSERT_EQ(img->width(), 4);
    ASSERT_EQ(img->height(), 3);
    EXPECT_EQ(PixelAt(*img, 3, 2) & 0xFFFFFF, PixelAt(pic_, 3, 2) & 0xFFFFFF);
  }

  test::TempDir dir_;
  ImageBuffer pic_;
  ViewerState state_;
  CountingSystemDecoder system_;
  LoadContext ctx_{state_, nullptr, &system_};
};

TEST_F(DispatchExternal, ContentDecidesOverTheExtension) {
  const std::string png = Write("photo.jpg", 13);
  EXPECT_EQ(SniffFileType(png), -kSniffPng);
  ExpectPicture(LoadPictureFile(png, ctx_));
  const std::string jpeg = Write("x.png", 2);
  EXPECT_EQ(SniffFileType(jpeg), -kSniffJpeg);
  auto img = LoadPictureFile(jpeg, ctx_);
  ASSERT_TRUE(img);
  EXPECT_EQ(img->width(), 4);
  const std::string bmp = Write("b.png", kFreeImageBmp);
  EXPECT_EQ(SniffFileType(bmp), -kSniffBmp);
  ExpectPicture(LoadPictureFile(bmp, ctx_));
  ExpectPicture(LoadPictureFile(Write("a.bmp", kFreeImageBmp), ctx_));
  EXPECT_EQ(system_.calls, 0);
}

TEST_F(DispatchExternal, UnknownFilesFallToFreeImageThenTheSystemDecoder) {
  const std::string tiff = Write("a.xyz", kFreeImageTiff);
  EXPECT_EQ(SniffFileType(tiff), kSniffUnknown);
  ExpectPicture(LoadPictureFile(tiff, ctx_));
  ExpectPicture(LoadPictureFile(Write("b.tif", kFreeImageTiff), ctx_));
  EXPECT_EQ(system_.calls, 0);

  SetFreeImageHidden(true);
  EXPECT_FALSE(LoadPictureFile(tiff, ctx_));
  EXPECT_EQ(system_.calls, 1);
  system_.answer = true;
  auto img = LoadPictureFile(tiff, ctx_);
  ASSERT_TRUE(img);
  EXPECT_EQ(img->width(), 5);
  // A path without an extension goes to FreeImage alone.
  test::WriteBytes(dir_.file("noext"), {1, 2, 3, 4, 5, 6, 7, 8, 9});
  EXPECT_FALSE(LoadPictureFile(dir_.file("noext"), ctx_));
  EXPECT_EQ(system_.calls, 2);
}

TEST_F(DispatchExternal, EmptyAndMissingFilesReachNoDecoder) {
  test::WriteBytes(dir_.file("empty.xyz"), {});
  EXPECT_FALSE(LoadPictureFile(dir_.file("empty.xyz"), ctx_));
  DisplayLoad shown = LoadFileForDisplay(dir_.file("empty.xyz"), ctx_);
  EXPECT_EQ(shown.sniffCode, kSniffEmpty);
  EXPECT_FALSE(shown.picture);
  const int before = system_.calls;
  system_.answer = true;
  EXPECT_FALSE(LoadPictureFile(dir_.file("missing.xyz"), ctx_));
  EXPECT_EQ(system_.calls, before);
}

TEST_F(DispatchExternal, AvifByNameGoesToAvifdecAndAsMp4ToTheVideoLoader) {
  if (!test::HaveTool("avifenc") || !test::HaveTool("avifdec")) GTEST_SKIP() << "no avif tools";
  const std::string src = Write("src.png", 13);
  const std::string avif = dir_.file("a.avif"), mp4 = dir_.file("a.mp4");
  ASSERT_EQ(test::RunShell("avifenc -l " + test::ShellQuote(src) + " " + test::ShellQuote(avif) +
                           " >/dev/null 2>&1"),
            0);
  ASSERT_EQ(test::RunShell("cp " + test::ShellQuote(avif) + " " + test::ShellQuote(mp4)), 0);
  EXPECT_EQ(SniffFileType(avif), -kSniffIsoMedia);
  EXPECT_EQ(SniffFileType(mp4), kSniffIsoMedia);
  if (!LoadPng(src)) GTEST_SKIP() << "PNG reader not available yet";
  ExpectPicture(LoadPictureFile(avif, ctx_));
  DisplayLoad shown = LoadFileForDisplay(avif, ctx_);
  ASSERT_TRUE(shown.picture);
  EXPECT_EQ(shown.picture.width(), 4);
}

}  // namespace
}  // namespace qp
