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

  auto img = LoadJpeg(dir.file("a.jpg"));
  ASSERT_TRUE(img);
  EXPECT_EQ(img->width(), 33);
  EXPECT_EQ(img->height(), 17);
  EXPECT_FALSE(HasMeaningfulAlpha(*img));
  EXPECT_EQ(img->data()[3], 0);
  EXPECT_EQ(img.details.jpegColourSpace, 3);  // YCbCr
  EXPECT_EQ(img.details.jpegProgressive, 0);
  EXPECT_TRUE(img.details.detailsValid);

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
  auto img = LoadJpeg(dir.file("g.jpg"));
  ASSERT_TRUE(img);
  EXPECT_EQ(img.details.jpegColourSpace, 1);
  EXPECT_EQ(img.details.jpegProgressive, 1);
  for (size_t i = 0; i < img->pixelCount(); ++i) {
    const uint8_t* p = img->data() + i * 4;
    ASSERT_EQ(p[0], p[1]);
    ASSERT_EQ(p[1], p[2]);
    ASSERT_EQ(p[3], 0);
  }
  ASSERT_EQ(test::RunShell("convert -size 8x8 xc:red -colorspace CMYK " +
                           test::ShellQuote(dir.file("c.jpg"))), 0);
  DecodeResult c = LoadJpeg(dir.file("c.jpg"));
  EXPECT_FALSE(c);
  EXPECT_TRUE(c.details.jpegColourSpace == 4 || c.details.jpegColourSpace == 5);  // CMYK or YCCK
  EXPECT_TRUE(c.details.detailsValid);
}

// Offset of the 0xFF of the first marker segment of `type` before the scan data, or npos.
size_t FindSegment(const std::vector<uint8_t>& jpeg, uint8_t type) {
  size_t at = 2;
  while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
    if (jpeg[at + 1] == type) return at;
    if (jpeg[at + 1] == 0xDA) break;
    at += 2 + (size_t{jpeg[at + 2]} << 8 | jpeg[at + 3]);
  }
  return std::string::npos;
}

// Truncated and corrupted files: a damaged header, table or frame description, or a file that
// ends before its scan, gives no picture; damage inside the scan data (or a segment the library
// steps over) gives either nothing or a picture of the file's size (the library fills what it
// could not decode).
TEST(Jpeg, MalformedFilesFailCleanly) {
  test::TempDir dir;
  ImageBuffer a = test::RandomPicture(40, 30, 3);
  ASSERT_EQ(SaveJpeg(a.data(), 40, 30, 80, dir.file("a.jpg").c_str()), nullptr);
  const auto good = test::ReadBytes(dir.file("a.jpg"));
  const size_t sof = FindSegment(good, 0xC0), dqt = FindSegment(good, 0xDB),
               dht = FindSegment(good, 0xC4), sos = FindSegment(good, 0xDA);
  ASSERT_NE(sof, std::string::npos);
  ASSERT_NE(dqt, std::string::npos);
  ASSERT_NE(dht, std::string::npos);
  ASSERT_NE(sos, std::string::npos);
  auto with = [&](std::initializer_list<std::pair<size_t, uint8_t>> changes) {
    auto b = good;
    for (const auto& [at, v] : changes) b[at] = v;
    return b;
  };
  auto cut = [&](size_t n) { return std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(n)); };
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> failing = {
      {"empty", {}},
      {"start marker only", {0xFF, 0xD8}},
      {"frame header without a body", {0xFF, 0xD8, 0xFF, 0xC0, 0, 0}},
      {"damaged start marker", with({{1, 0x00}})},
      {"cut after the start marker", cut(4)},
      {"cut in the first segment", cut(12)},
      {"cut in the tables", cut(dht + 10)},
      {"cut after the frame header", cut(sof + 19)},
      {"cut before the scan", cut(sos)},
      {"cut in the scan header", cut(sos + 6)},
      {"quantisation table index 7", with({{dqt + 4, 0x07}})},
      {"Huffman counts above 256", [&] {
         auto b = good;
         for (size_t i = 0; i < 16; ++i) b[dht + 5 + i] = 0xFF;
         return b;
       }()},
      {"sample precision 7", with({{sof + 4, 7}})},
      {"height 0", with({{sof + 5, 0}, {sof + 6, 0}})},
      {"width 0", with({{sof + 7, 0}, {sof + 8, 0}})},
      {"no components", with({{sof + 9, 0}})},
      {"sampling factors 0", with({{sof + 11, 0x00}})},
      {"undefined quantisation table", with({{sof + 12, 3}})},
      {"scan names an unknown component", with({{sos + 5, 9}})},
      {"scan of no components", with({{sos + 4, 0}})},
      {"65500 x 65500 pixels", with({{sof + 5, 0xFF}, {sof + 6, 0xDC}, {sof + 7, 0xFF}, {sof + 8, 0xDC}})},
  };
  for (const auto& [what, bytes] : failing) {
    SCOPED_TRACE(what);
    EXPECT_FALSE(DecodeJpeg(bytes));
  }

  // The library steps over a marker segment too short to hold its own length.
  std::vector<std::vector<uint8_t>> damagedScan = {with({{2 + 2, 0}, {2 + 3, 1}})};
  for (size_t n : {sos + 20, (sos + good.size()) / 2, good.size() - 2})
    damagedScan.push_back(cut(n));
  for (size_t at : {sos + 14, sos + 40, good.size() - 30}) damagedScan.push_back(with({{at, static_cast<uint8_t>(good[at] ^ 0xFF)}}));
  for (const auto& bytes : damagedScan) {
    DecodeResult img = DecodeJpeg(bytes);
    if (img) {
      EXPECT_EQ(img->width(), 40);
      EXPECT_EQ(img->height(), 30);
    }
    EXPECT_TRUE(img.details.detailsValid);
  }
}

std::vector<uint8_t> Bytes(const DecodeResult& img) {
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
  auto fromFile = LoadJpeg(dir.file("big.jpg"));
  ASSERT_TRUE(fromFile);
  const DecodeResult fromMemory = DecodeJpeg(good);
  EXPECT_EQ(Bytes(fromFile), Bytes(fromMemory));
  EXPECT_EQ(fromFile.details.jpegColourSpace, fromMemory.details.jpegColourSpace);
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
    EXPECT_EQ(Bytes(LoadJpeg(dir.file("cut.jpg"))), Bytes(DecodeJpeg(part))) << cut;
  }
  EXPECT_FALSE(LoadJpeg(dir.path()));  // a folder is not a file
  EXPECT_FALSE(LoadJpeg(dir.file("missing.jpg")));
}

}  // namespace
}  // namespace qp
