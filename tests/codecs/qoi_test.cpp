#include "codecs/qoi.h"

#include <gtest/gtest.h>

#include <cstring>

#include "support/test_support.h"

namespace qp {
namespace {

using test::PutU32be;
using test::TempDir;
using test::WriteBytes;

std::vector<uint8_t> Header(uint32_t w, uint32_t h, uint8_t channels, uint8_t colourspace) {
  std::vector<uint8_t> b = {'q', 'o', 'i', 'f'};
  PutU32be(b, w);
  PutU32be(b, h);
  b.push_back(channels);
  b.push_back(colourspace);
  return b;
}
void End(std::vector<uint8_t>& b) { b.insert(b.end(), {0, 0, 0, 0, 0, 0, 0, 1}); }

TEST(Qoi, RandomPicturesRoundTripExactly) {
  TempDir dir;
  for (uint32_t seed = 1; seed <= 4; ++seed) {
    // Mostly smooth with runs, so every chunk kind occurs.
    ImageBuffer img = test::MakePicture(37, 23, [seed](int x, int y) {
      const uint32_t r = (x * seed * 2654435761u) ^ (y * 40503u);
      if (r % 5 == 0) return 0xFF102030u;
      if (r % 7 == 0) return r;
      return 0xFF000000u | uint32_t(x * 3) << 16 | uint32_t(y * 2) << 8 | (r & 3);
    });
    ASSERT_EQ(writeQoi(img.data(), 37, 23, dir.file("r.qoi").c_str()), nullptr);
    auto back = readQoi(dir.file("r.qoi"));
    ASSERT_TRUE(back);
    ASSERT_TRUE(HasMeaningfulAlpha(img));
    EXPECT_EQ(0, std::memcmp(back->data(), img.data(), img.byteSize())) << seed;
    EXPECT_TRUE(back.details.hasAlpha);
  }
}

TEST(Qoi, HandWrittenChunksDecodeToTheirColours) {
  TempDir dir;
  // 4 x 2, 4 channels: one pixel of each chunk kind, then a run.
  std::vector<uint8_t> f = Header(4, 2, 4, 0);
  f.insert(f.end(), {0xFE, 10, 20, 30});        // RGB: r10 g20 b30, alpha stays 255
  f.push_back(0x40 | 3 << 4 | 2 << 2 | 1);      // DIFF: r+1 g+0 b-1
  f.insert(f.end(), {0x80 | (32 + 5), (8 + 2) << 4 | (8 - 3)});  // LUMA: g+5, r g+5+2, b g+5-3
  f.insert(f.end(), {0xFF, 1, 2, 3, 4});        // RGBA
  f.push_back(static_cast<uint8_t>((10 * 3 + 20 * 5 + 30 * 7 + 255 * 11) % 64));  // INDEX: 1st
  f.push_back(0xC0 | 2);                        // RUN of 3
  End(f);
  WriteBytes(dir.file("h.qoi"), f);
  auto img = readQoi(dir.file("h.qoi"));
  ASSERT_TRUE(img);
  const uint32_t want[8] = {0xFF0A141E, 0xFF0B141D, 0xFF12191F, 0x04010203,
                            0xFF0A141E, 0xFF0A141E, 0xFF0A141E, 0xFF0A141E};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(test::PixelAt(*img, i % 4, i / 4), want[i]) << i;
}

TEST(Qoi, ThreeChannelFilesReadWithAlphaZero) {
  TempDir dir;
  std::vector<uint8_t> f = Header(2, 1, 3, 1);
  f.insert(f.end(), {0xFE, 200, 100, 50});
  f.push_back(0xC0);  // run of 1
  End(f);
  WriteBytes(dir.file("c3.qoi"), f);
  auto img = readQoi(dir.file("c3.qoi"));
  ASSERT_TRUE(img);
  EXPECT_FALSE(img.details.hasAlpha);
  EXPECT_EQ(test::PixelAt(*img, 0, 0), 0x00C86432u);
  EXPECT_EQ(test::PixelAt(*img, 1, 0), 0x00C86432u);
}

TEST(Qoi, SingleColourIsOnePixelChunkAndRunsOfAtMost62) {
  std::vector<uint8_t> rgba(200 * 4);
  for (size_t i = 0; i < 200; ++i) std::memcpy(&rgba[i * 4], "\x05\x06\x07\xFF", 4);
  auto enc = QoiEncode(rgba.data(), {200, 1, 4, 0});
  ASSERT_TRUE(enc);
  const std::vector<uint8_t> body(enc->begin() + 14, enc->end() - 8);
  size_t runs = 0, pixels = 0;
  for (size_t i = 0; i < body.size(); ++i) {
    if ((body[i] & 0xC0) == 0xC0 && body[i] < 0xFE) {
      ++runs;
      pixels += (body[i] & 0x3F) + 1u;
    }
  }
  EXPECT_EQ(pixels, 199u);
  EXPECT_EQ(runs, 4u);  // 62 + 62 + 62 + 13
  // The starting pixel itself needs no pixel chunk at all.
  std::vector<uint8_t> black(130 * 4);
  for (size_t i = 0; i < 130; ++i) black[i * 4 + 3] = 255;
  auto enc2 = QoiEncode(black.data(), {130, 1, 4, 0});
  ASSERT_TRUE(enc2);
  EXPECT_EQ(std::vector<uint8_t>(enc2->begin() + 14, enc2->end() - 8),
            (std::vector<uint8_t>{0xC0 | 61, 0xC0 | 61, 0xC0 | 5}));
}

TEST(Qoi, LimitsAndMalformedHeaders) {
  std::vector<uint8_t> px(16);
  EXPECT_FALSE(QoiEncode(px.data(), {20000, 20000, 4, 0}));
  EXPECT_FALSE(QoiEncode(px.data(), {2, 2, 5, 0}));
  EXPECT_FALSE(QoiEncode(px.data(), {2, 2, 4, 2}));
  EXPECT_FALSE(QoiEncode(px.data(), {0, 2, 4, 0}));
  auto file = [](std::vector<uint8_t> h) {
    End(h);
    return h;
  };
  QoiDescription d;
  const std::vector<std::vector<uint8_t>> bad = {
      file(Header(20000, 20000, 4, 0)), file(Header(0, 5, 4, 0)), file(Header(5, 0, 4, 0)),
      file(Header(1, 1, 2, 0)),         file(Header(1, 1, 4, 2)),
      {'q', 'o', 'i', 'f', 0, 0, 0, 1}, file({'q', 'o', 'i', 'x', 0, 0, 0, 1, 0, 0, 0, 1, 4, 0}),
      file(Header(0xFFFFFFFF, 0xFFFFFFFF, 4, 0)),
  };
  for (const auto& b : bad) EXPECT_FALSE(QoiDecode(b, d, 0));
  // Chunks cut short: the rest repeats the last pixel.
  std::vector<uint8_t> shortFile = Header(3, 1, 4, 0);
  shortFile.insert(shortFile.end(), {0xFE, 9, 9, 9});
  End(shortFile);
  auto out = QoiDecode(shortFile, d, 4);
  ASSERT_TRUE(out);
  EXPECT_EQ((*out)[8], 9);
  EXPECT_EQ((*out)[11], 255);
  // A chunk that claims bytes past the data reads zeros, never beyond it.
  std::vector<uint8_t> cut = Header(2, 1, 4, 0);
  cut.push_back(0xFF);
  End(cut);
  EXPECT_TRUE(QoiDecode(cut, d, 0));
}

// Within the format's 400,000,000 pixels but above what the program ever allocates: the file
// is refused from its header, before 1 GiB of output is reserved and filled.
TEST(Qoi, HeadersAboveThePictureLimitAreRefusedByTheReader) {
  TempDir dir;
  std::vector<uint8_t> f = Header(16385, 16385, 4, 0);
  f.insert(f.end(), {0xFE, 1, 2, 3});
  End(f);
  WriteBytes(dir.file("huge.qoi"), f);
  EXPECT_FALSE(readQoi(dir.file("huge.qoi")));
  std::vector<uint8_t> wide = Header(2000000, 1, 4, 0);
  End(wide);
  WriteBytes(dir.file("wide.qoi"), wide);
  EXPECT_FALSE(readQoi(dir.file("wide.qoi")));
}

// Pictures whose alpha carries nothing (a decoded JPEG's zeros, or all opaque) are written
// with three channels, which every reader shows opaque; real alpha is kept in four. Reading
// back, only a file with real transparency reports it.
TEST(Qoi, ChannelsFollowMeaningfulAlpha) {
  TempDir dir;
  struct Case {
    const char* what;
    uint32_t first, rest;
    uint8_t channels;
  };
  for (const Case& c : {Case{"alpha all 0", 0x00102030u, 0x00405060u, 3},
                        Case{"alpha all 255", 0xFF102030u, 0xFF405060u, 3},
                        Case{"one transparent pixel", 0x00102030u, 0xFF405060u, 4},
                        Case{"soft alpha", 0x80102030u, 0x80405060u, 4}}) {
    SCOPED_TRACE(c.what);
    ImageBuffer img = test::MakePicture(3, 2, [&](int x, int y) { return x + y == 0 ? c.first : c.rest; });
    const std::string path = dir.file("c.qoi");
    ASSERT_EQ(writeQoi(img.data(), 3, 2, path.c_str()), nullptr);
    const auto bytes = test::ReadBytes(path);
    ASSERT_GT(bytes.size(), 14u);
    EXPECT_EQ(bytes[12], c.channels);
    QoiDescription desc;
    auto rgba = QoiDecode(bytes, desc, 4);
    ASSERT_TRUE(rgba);
    const uint8_t firstAlpha = (*rgba)[3];
    EXPECT_EQ(firstAlpha, c.channels == 3 ? 255 : c.first >> 24);
    auto back = readQoi(path);
    ASSERT_TRUE(back);
    EXPECT_EQ(back.details.hasAlpha, c.channels == 4);
    EXPECT_EQ(test::PixelAt(*back, 2, 1) & 0xFFFFFFu, c.rest & 0xFFFFFFu);
  }
}

}  // namespace
}  // namespace qp
