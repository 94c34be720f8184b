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

std::vector<uint8_t> Bytes(const std::optional<ImageBuffer>& img) {
  if (!img) return {};
  return {img->data(), img->data() + img->byteSize()};
}

// LoadJpeg streams the file and fills a picture large enough to be prefaulted on a second
// thread; it must give exactly what decoding the same bytes in memory gives, and what djpeg
// gives, also for files cut short.
TEST(Jpeg, FileReadsMatchMemoryReadsAndDjpeg) {
  test::TempDir dir;
  const int32_t w = 2400, h = 1800;  // over 16 MiB of output
  ImageBuffer a = test::RandomPicture(w, h, 5);
  ASSERT_EQ(SaveJpeg(a.data(), w, h, 85, dir.file("big.jpg").c_str()), nullptr);
  const auto good = test::ReadBytes(dir.file("big.jpg"));
  ViewerState fs, ms;
  auto fromFile = LoadJpeg(dir.file("big.jpg"), fs);
  ASSERT_TRUE(fromFile);
  EXPECT_EQ(Bytes(fromFile), Bytes(DecodeJpeg(good, ms)));
  EXPECT_EQ(fs.jpegColourSpace, ms.jpegColourSpace);
  for (size_t i = 0; i < fromFile->pixelCount(); ++i) ASSERT_EQ(fromFile->data()[i * 4 + 3], 0);
  if (test::HaveTool("djpeg")) {
    ASSERT_EQ(test::RunShell("djpeg -ppm -outfile " + test::ShellQuote(dir.file("big.ppm")) + " " +
                             test::ShellQuote(dir.file("big.jpg"))), 0);
    const auto ppm = test::ReadBytes(dir.file("big.ppm"));
    const std::string header = "P6\n2400 1800\n255\n";
    ASSERT_EQ(ppm.size(), header.size() + size_t{w} * h * 3);
    ASSERT_TRUE(std::equal(header.begin(), header.end(), ppm.begin()));
    const uint8_t* rgb = ppm.data() + header.size();
    for (size_t i = 0; i < fromFile->pixelCount(); ++i) {
      const uint8_t* p = fromFile->data() + i * 4;
      ASSERT_TRUE(p[0] == rgb[i * 3 + 2] && p[1] == rgb[i * 3 + 1] && p[2] == rgb[i * 3]) << i;
    }
  }
  for (size_t cut : {size_t{2}, size_t{300}, good.size() / 3, good.size() - 2}) {
    const std::vector<uint8_t> part(good.begin(), good.begin() + static_cast<long>(cut));
    test::WriteBytes(dir.file("cut.jpg"), part);
    ViewerState a1, a2;
    EXPECT_EQ(Bytes(LoadJpeg(dir.file("cut.jpg"), a1)), Bytes(DecodeJpeg(part, a2))) << cut;
  }
  ViewerState ds;
  EXPECT_FALSE(LoadJpeg(dir.path(), ds));  // a folder is not a file
  EXPECT_FALSE(LoadJpeg(dir.file("missing.jpg"), ds));
}

}  // namespace
}  // namespace qp
