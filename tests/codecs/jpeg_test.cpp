#include "codecs/jpeg.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace qp {
namespace {

TEST(Jpeg, SaveIgnoresAlphaAndLoadsBack) {
  test::TempDir dir;
  ImageBuffer a = test::RandomPicture(33, 17, 7, /*withAlpha=*/true);
  ImageBuffer b = *a.Clone();
  for (size_t i = 0; i < b.pixelCount(); ++i) b.data()[i * 4 + 3] = static_cast<uint8_t>(i);
  ASSERT_EQ(SaveJpeg(a.data(), 33, 17, 90, dir.file("a.jpg").c_str()), nullptr);
  ASSERT_EQ(SaveJpeg(b.data(), 33, 17, 90, dir.file("b.jpg").c_str()), nullptr);
  EXPECT_EQ(test::ReadBytes(dir.file("a.jpg")), test::ReadBytes(dir.file("b.jpg")));

  ViewerState s;
  auto img = LoadJpeg(dir.file("a.jpg"), s);
  ASSERT_TRUE(img);
  EXPECT_EQ(img->width(), 33);
  EXPECT_EQ(img->height(), 17);
  EXPECT_FALSE(HasMeaningfulAlpha(*img));
  EXPECT_EQ(img->data()[3], 0);
  EXPECT_EQ(s.jpegColourSpace, 3);  // YCbCr
  EXPECT_EQ(s.jpegProgressive, 0);
  EXPECT_EQ(s.detailsValid, 1);

  EXPECT_STREQ(SaveJpeg(a.data(), 33, 17, 90, dir.file("no/such/dir.jpg").c_str()),
               "Could not save JPG file");
  EXPECT_STREQ(SaveJpeg(nullptr, 33, 17, 90, dir.file("c.jpg").c_str()), "Could not save JPG file");
}

TEST(Jpeg, GrayscaleProgressiveAndCmyk) {
  if (!test::HaveTool("cjpeg") || !test::HaveTool("convert")) GTEST_SKIP() << "no cjpeg/convert";
  test::TempDir dir;
  ASSERT_EQ(test::RunShell("convert -size 16x8 gradient:black-white " +
                           test::ShellQuote(dir.file("g.pgm"))), 0);
  ASSERT_EQ(test::RunShell("cjpeg -grayscale -progressive " + test::ShellQuote(dir.file("g.pgm")) +
                           " > " + test::ShellQuote(dir.file("g.jpg"))), 0);
  ViewerState s;
  auto img = LoadJpeg(dir.file("g.jpg"), s);
  ASSERT_TRUE(img);
  EXPECT_EQ(s.jpegColourSpace, 1);
  EXPECT_EQ(s.jpegProgressive, 1);
  for (size_t i = 0; i < img->pixelCount(); ++i) {
    const uint8_t* p = img->data() + i * 4;
    ASSERT_EQ(p[0], p[1]);
    ASSERT_EQ(p[1], p[2]);
    ASSERT_EQ(p[3], 0);
  }
  ASSERT_EQ(test::RunShell("convert -size 8x8 xc:red -colorspace CMYK " +
                           test::ShellQuote(dir.file("c.jpg"))), 0);
  ViewerState c;
  EXPECT_FALSE(LoadJpeg(dir.file("c.jpg"), c));
  EXPECT_TRUE(c.jpegColourSpace == 4 || c.jpegColourSpace == 5);  // CMYK or YCCK
  EXPECT_EQ(c.detailsValid, 1);
}

TEST(Jpeg, MalformedFilesFailCleanly) {
  test::TempDir dir;
  ImageBuffer a = test::RandomPicture(40, 30, 3);
  ASSERT_EQ(SaveJpeg(a.data(), 40, 30, 80, dir.file("a.jpg").c_str()), nullptr);
  const auto good = test::ReadBytes(dir.file("a.jpg"));
  std::vector<std::vector<uint8_t>> cases = {{}, {0xFF, 0xD8}, {0xFF, 0xD8, 0xFF, 0xC0, 0, 0}};
  for (size_t cut : {4, 20, 100, 200, 400}) cases.emplace_back(good.begin(), good.begin() + static_cast<long>(cut));
  for (size_t at : {3, 10, 60, 150, 170, 300, 500}) {
    auto b = good;
    b[at] ^= 0xFF;
    cases.push_back(b);
  }
  // A header claiming 65500 x 65500 pixels is refused before decoding.
  auto huge = good;
  for (size_t i = 0; i + 8 < huge.size(); ++i)
    if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
      huge[i + 5] = huge[i + 6] = huge[i + 7] = huge[i + 8] = 0xFF;
      break;
    }
  ViewerState hs;
  EXPECT_FALSE(DecodeJpeg(huge, hs));
  for (const auto& bytes : cases) {
    ViewerState s;
    auto img = DecodeJpeg(bytes, s);
    if (img) {
      EXPECT_EQ(img->byteSize(), size_t{40} * 30 * 4);
    }
  }
}

}  // namespace
}  // namespace qp
