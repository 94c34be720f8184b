#include "codecs/ico.h"

#include <gtest/gtest.h>

#include "codecs/png.h"

#include <algorithm>

#include "support/test_support.h"

namespace qp {
namespace {

using test::PutU16le;
using test::PutU32le;
using test::TempDir;

// A 24-bit icon image: bitmap header, bottom-up colour rows of one colour, then mask rows.
std::vector<uint8_t> Image24(int w, int h, uint32_t colour, uint8_t maskByte = 0) {
  std::vector<uint8_t> d;
  PutU32le(d, 40);                  // header size
  PutU32le(d, w);                   // width
  PutU32le(d, 2 * h);               // height of both masks
  PutU16le(d, 1);                   // planes
  PutU16le(d, 24);                  // bit count
  PutU32le(d, 0);                   // compression
  d.resize(40, 0);                  // image size, resolutions, colours used, important
  const size_t row = (w * 24 + 31) / 32 * 4, mrow = (w + 31) / 32 * 4;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) d.insert(d.end(), {uint8_t(colour), uint8_t(colour >> 8), uint8_t(colour >> 16)});
    d.resize(d.size() + row - w * 3, 0);
  }
  d.resize(d.size() + mrow * h, maskByte);
  return d;
}

// Header and directory for the given images, their data following in order.
std::vector<uint8_t> Icon(const std::vector<std::pair<int, std::vector<uint8_t>>>& images) {
  std::vector<uint8_t> f;
  PutU16le(f, 0);                   // reserved
  PutU16le(f, 1);                   // type: icon
  PutU16le(f, static_cast<uint16_t>(images.size()));
  uint32_t offset = 6 + 16 * static_cast<uint32_t>(images.size());
  for (const auto& [side, data] : images) {
    f.push_back(static_cast<uint8_t>(side));  // width (0 = 256)
    f.push_back(static_cast<uint8_t>(side));  // height
    f.insert(f.end(), {0, 0});                // colour count, reserved
    PutU16le(f, 1);                           // planes
    PutU16le(f, 24);                          // bit count
    PutU32le(f, static_cast<uint32_t>(data.size()));
    PutU32le(f, offset);
    offset += static_cast<uint32_t>(data.size());
  }
  for (const auto& img : images) f.insert(f.end(), img.second.begin(), img.second.end());
  return f;
}

TEST(IconRead, FirstEntryZeroMeans256AndTheMaskGivesAlpha) {
  TempDir dir;
  test::WriteBytes(dir.file("two.ico"), Icon({{16, Image24(16, 16, 0x112233)}, {48, Image24(48, 48, 0x445566)}}));
  auto img = readIcon(dir.file("two.ico"));
  ASSERT_TRUE(img);
  EXPECT_EQ(img->width(), 16);
  EXPECT_EQ(test::PixelAt(*img, 3, 3), 0xFF112233u);
  EXPECT_FALSE(img.details.hasAlpha);  // no mask bit set
  auto info = readIconInfo(dir.file("two.ico"));
  ASSERT_TRUE(info);
  EXPECT_EQ(info->count, 2);
  EXPECT_EQ(info->planes, 1);
  EXPECT_EQ(info->bitCount, 24);

  test::WriteBytes(dir.file("big.ico"), Icon({{0, Image24(256, 256, 0x010203, 0xFF)}}));
  img = readIcon(dir.file("big.ico"));
  ASSERT_TRUE(img);
  EXPECT_EQ(img->width(), 256);
  EXPECT_EQ(img->height(), 256);
  EXPECT_EQ(test::PixelAt(*img, 255, 255), 0x00010203u);  // mask bit set: transparent
}

// A 32-bit entry whose alpha bytes are not all zero carries its own alpha channel; with all
// of them zero (as older writers leave them) the AND mask decides. Either way the picture
// reports its transparency.
TEST(IconRead, ThirtyTwoBitEntriesUseTheirAlphaUnlessItIsAllZero) {
  TempDir dir;
  struct Case {
    uint8_t alpha;
    uint32_t bottomLeft, bottomRight, top;
  };
  for (Case c : {Case{128, 0x801E140Au, 0x801E140Au, 0x801E140Au},
                 Case{0, 0xFF1E140Au, 0x001E140Au, 0xFF1E140Au}}) {
    SCOPED_TRACE(int{c.alpha});
    std::vector<uint8_t> d;
    PutU32le(d, 40);
    PutU32le(d, 2);
    PutU32le(d, 4);
    PutU16le(d, 1);
    PutU16le(d, 32);
    d.resize(40, 0);
    for (int i = 0; i < 4; ++i) d.insert(d.end(), {10, 20, 30, c.alpha});
    d.insert(d.end(), {0x40, 0, 0, 0, 0x00, 0, 0, 0});  // bottom row: 2nd pixel masked
    test::WriteBytes(dir.file("a.ico"), Icon({{2, d}}));
    auto img = readIcon(dir.file("a.ico"));
    ASSERT_TRUE(img);
    EXPECT_EQ(test::PixelAt(*img, 0, 1), c.bottomLeft);
    EXPECT_EQ(test::PixelAt(*img, 1, 1), c.bottomRight);
    EXPECT_EQ(test::PixelAt(*img, 0, 0), c.top);
    EXPECT_TRUE(img.details.hasAlpha);
  }
}

// A PNG-stored entry (directory size 0 for its 256 pixels) goes through the PNG decoder;
// the properties see its real bit depth rather than the bytes of "IHDR".
TEST(IconRead, PngEntriesDecodeThroughThePngReader) {
  TempDir dir;
  struct Case {
    bool alpha;
    int32_t bitCount;
  };
  for (Case c : {Case{true, 32}, Case{false, 24}}) {
    SCOPED_TRACE(c.alpha);
    ImageBuffer pic = test::MakePicture(256, 3, [&](int x, int y) {
      if (c.alpha && x == 1 && y == 2) return 0x00000000u;
      return 0xFF000000u | uint32_t(x) << 8 | uint32_t(y);
    });
    ASSERT_EQ(SavePng(pic.data(), 256, 3, 100, dir.file("e.png").c_str()), nullptr);
    test::WriteBytes(dir.file("p.ico"), Icon({{0, test::ReadBytes(dir.file("e.png"))}}));
    auto img = readIcon(dir.file("p.ico"));
    ASSERT_TRUE(img);
    EXPECT_EQ(img->width(), 256);
    EXPECT_EQ(img->height(), 3);
    EXPECT_EQ(test::PixelAt(*img, 200, 1) & 0xFFFFFFu, 0x00C801u);
    EXPECT_EQ(img.details.hasAlpha, c.alpha);
    if (c.alpha) {
      EXPECT_EQ(test::PixelAt(*img, 1, 2), 0x00FFFFFFu);  // transparent, whitened
    }
    auto info = readIconInfo(dir.file("p.ico"));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->count, 1);
    EXPECT_EQ(info->planes, 1);
    EXPECT_EQ(info->bitCount, c.bitCount);
  }
}

TEST(IconRead, MalformedFilesFailCleanly) {
  TempDir dir;
  const std::vector<uint8_t> good = Icon({{4, Image24(4, 4, 0x102030)}});
  std::vector<std::vector<uint8_t>> bad;
  for (size_t len : {size_t{0}, size_t{5}, size_t{6}, size_t{21}, size_t{22}, size_t{40}, size_t{61}, good.size() - 1}) bad.emplace_back(good.begin(), good.begin() + len);
  auto with = [&](size_t at, uint8_t v) {
    auto b = good;
    b[at] = v;
    return b;
  };
  bad.push_back(with(2, 2));      // cursor type
  bad.push_back(with(0, 1));      // reserved not 0
  bad.push_back(with(4, 0));      // no images
  bad.push_back(with(18, 0xF0));  // offset far past the end
  bad.push_back(with(17, 0x7F));  // size far past the end
  bad.push_back(with(22, 41));    // header size not 40
  bad.push_back(with(36, 16));    // bit count 16
  bad.push_back(with(38, 1));     // compressed
  bad.push_back(with(6, 0));      // claims 256 x 256 with 4 x 4 data
  // PNG-stored entries: cut, with a damaged header chunk, or only the signature.
  ImageBuffer pic = test::MakePicture(5, 4, [](int x, int y) { return 0xFF000000u | uint32_t(x * y); });
  ASSERT_EQ(SavePng(pic.data(), 5, 4, 100, dir.file("e.png").c_str()), nullptr);
  const auto png = test::ReadBytes(dir.file("e.png"));
  for (size_t len : {size_t{8}, size_t{20}, size_t{33}, png.size() / 2}) {
    bad.push_back(Icon({{5, std::vector<uint8_t>(png.begin(), png.begin() + static_cast<long>(len))}}));
  }
  auto damaged = png;
  damaged[12] = 'X';  // "IHDR" no more
  bad.push_back(Icon({{5, damaged}}));
  for (size_t i = 0; i < bad.size(); ++i) {
    test::WriteBytes(dir.file("bad.ico"), bad[i]);
    EXPECT_FALSE(readIcon(dir.file("bad.ico"))) << i;
  }
}

TEST(IconWrite, DepthFollowsTheColourCount) {
  TempDir dir;
  struct Case {
    int colours, width, bits;
  };
  for (Case c : {Case{2, 7, 1}, Case{16, 5, 4}, Case{17, 9, 8}, Case{256, 16, 8}, Case{257, 17, 24}}) {
    ImageBuffer img = test::MakePicture(c.width, 20, [&](int x, int y) {
      return 0xFF000000u | (uint32_t((y * c.width + x) % c.colours) * 0x010305u + 0x202020u);
    });
    const std::string path = dir.file("w.ico");
    ASSERT_EQ(writeIcon(img.data(), c.width, 20, path.c_str()), nullptr);
    const auto f = test::ReadBytes(path);
    EXPECT_EQ(f[12], c.bits) << c.colours;
    EXPECT_EQ(f[8], c.bits == 4 ? 16 : 0);
    const size_t palette = c.bits <= 8 ? (size_t{1} << c.bits) * 4 : 0;
    const size_t row = (size_t(c.width) * c.bits + 31) / 32 * 4, mask = (size_t(c.width) + 31) / 32 * 4;
    EXPECT_EQ(f.size(), 62 + palette + (row + mask) * 20) << c.colours;
    auto back = readIcon(path);
    ASSERT_TRUE(back);
    for (int y = 0; y < 20; ++y)
      for (int x = 0; x < c.width; ++x) ASSERT_EQ(test::PixelAt(*back, x, y), test::PixelAt(img, x, y));
  }
}

TEST(IconWrite, TwoColoursAreSortedAndTheMaskFollowsMeaningfulAlpha) {
  TempDir dir;
  ImageBuffer img = test::MakePicture(3, 2, [](int x, int) { return x == 0 ? 0xFF80FF00u : 0xFF2040A0u; });
  ASSERT_EQ(writeIcon(img.data(), 3, 2, dir.file("t.ico").c_str()), nullptr);
  auto f = test::ReadBytes(dir.file("t.ico"));
  ASSERT_EQ(f[12], 1);
  // Palette at 62: 0x2040A0 before 0x80FF00, each blue, green, red, 0.
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + 62, f.begin() + 70),
            (std::vector<uint8_t>{0xA0, 0x40, 0x20, 0, 0x00, 0xFF, 0x80, 0}));
  EXPECT_EQ(f[70], 0x80);  // first pixel is index 1, most significant bit first
  // All alpha 255 or all 0: an empty mask.
  for (uint32_t alpha : {0xFF000000u, 0u}) {
    ImageBuffer a = test::SolidPicture(5, 3, alpha | 0x123456);
    ASSERT_EQ(writeIcon(a.data(), 5, 3, dir.file("m.ico").c_str()), nullptr);
    f = test::ReadBytes(dir.file("m.ico"));
    EXPECT_TRUE(std::all_of(f.end() - 12, f.end(), [](uint8_t b) { return b == 0; }));
  }
  EXPECT_STREQ(writeIcon(img.data(), 3, 2, (dir.path() + "/no/t.ico").c_str()), "Could not write file");
}

TEST(IconWrite, ImageMagickReadsOurIconsWithTheSamePixels) {
  if (!test::HaveTool("convert")) GTEST_SKIP() << "ImageMagick not installed";
  TempDir dir;
  for (int colours : {2, 12, 100, 1000}) {
    ImageBuffer img = test::MakePicture(13, 11, [&](int x, int y) {
      return ((x + y) % 5 == 0 ? 0u : 0xFF000000u) | (uint32_t((y * 13 + x) % colours) * 0x0A0B07u);
    });
    ASSERT_EQ(writeIcon(img.data(), 13, 11, dir.file("im.ico").c_str()), nullptr);
    ASSERT_EQ(test::RunShell("convert " + dir.file("im.ico") + " -depth 8 rgba:" + dir.file("im.rgba") + " 2>/dev/null"), 0);
    const auto rgba = test::ReadBytes(dir.file("im.rgba"));
    ASSERT_EQ(rgba.size(), 13u * 11 * 4);
    for (size_t i = 0; i < 13 * 11; ++i) {
      const uint8_t* p = img.data() + i * 4;
      const uint8_t* q = rgba.data() + i * 4;
      ASSERT_EQ(q[3], p[3] == 0 ? 0 : 255) << colours << " pixel " << i;
      if (q[3] != 0) {
        ASSERT_TRUE(q[0] == p[2] && q[1] == p[1] && q[2] == p[0]) << colours << " pixel " << i;
      }
    }
  }
}

}  // namespace
}  // namespace qp
