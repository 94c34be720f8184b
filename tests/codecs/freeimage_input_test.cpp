// The routes and rewrites of files for the external library, on bytes alone.
#include "codecs/freeimage_input.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace qp {
namespace {

using test::PutU16le;
using test::PutU32le;

constexpr int32_t kBmp = 0, kTga = 17;

// "BM", sizes, an info header of `headerSize` bytes with `masks` inside (or after a 40-byte
// one), a 4-byte palette entry, then 4 pixel bytes.
std::vector<uint8_t> Bmp(uint32_t headerSize, uint16_t bits, uint32_t compression,
                         std::vector<uint32_t> masks = {}) {
  std::vector<uint8_t> f = {'B', 'M'};
  const uint32_t after = headerSize == 40 && compression == 3 ? 12 : 0;
  PutU32le(f, 14 + headerSize + after + 8);
  PutU32le(f, 0);
  PutU32le(f, 14 + headerSize + after + 4);
  PutU32le(f, headerSize);
  PutU32le(f, 1);  // width
  PutU32le(f, 1);  // height
  PutU16le(f, 1);
  PutU16le(f, bits);
  PutU32le(f, compression);
  f.resize(14 + 40, 0);
  masks.resize(4, 0);
  if (headerSize > 40) {
    for (uint32_t m : masks) PutU32le(f, m);
    f.resize(14 + headerSize, 0x5A);  // colour-space data
  } else if (after != 0) {
    for (int i = 0; i < 3; ++i) PutU32le(f, masks[i]);
  }
  f.insert(f.end(), {1, 2, 3, 0, 9, 8, 7, 6});
  return f;
}

TEST(LibraryInput, BitmapRoutes) {
  using R = LibraryRoute;
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    LibraryRoute route;
  };
  const std::vector<Case> cases = {
      {"24-bit", Bmp(40, 24, 0), R::AsFile},
      {"core header", Bmp(12, 24, 0), R::AsFile},
      {"RLE8", Bmp(40, 8, 1), R::AsFile},
      {"565", Bmp(40, 16, 3, {0xF800, 0x07E0, 0x1F}), R::AsFile},
      {"555", Bmp(40, 16, 3, {0x7C00, 0x03E0, 0x1F}), R::AsFile},
      {"32-bit BGR", Bmp(40, 32, 3, {0xFF0000, 0xFF00, 0xFF}), R::AsFile},
      {"32-bit RGB", Bmp(40, 32, 3, {0xFF, 0xFF00, 0xFF0000}), R::NotForLibrary},
      {"444", Bmp(40, 16, 3, {0x0F00, 0x00F0, 0x0F}), R::NotForLibrary},
      {"10-10-10", Bmp(40, 32, 3, {0x3FF00000, 0xFFC00, 0x3FF}), R::NotForLibrary},
      {"V2 565", Bmp(52, 16, 3, {0xF800, 0x07E0, 0x1F}), R::Rewrite},
      {"V3 555", Bmp(56, 16, 3, {0x7C00, 0x03E0, 0x1F}), R::Rewrite},
      {"V3 1555", Bmp(56, 16, 3, {0x7C00, 0x03E0, 0x1F, 0x8000}), R::NotForLibrary},
      {"V4 24-bit", Bmp(108, 24, 0), R::Rewrite},
      {"V5 ARGB", Bmp(124, 32, 3, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}), R::Rewrite},
      {"V5 RGBA", Bmp(124, 32, 3, {0xFF000000, 0xFF0000, 0xFF00, 0xFF}), R::NotForLibrary},
      {"V5 RLE4", Bmp(124, 4, 2), R::Rewrite},
      {"V5 embedded PNG", Bmp(124, 0, 5), R::NotForLibrary},
      {"OS/2 2", Bmp(64, 24, 0), R::AsFile},
  };
  for (const Case& c : cases) EXPECT_EQ(RouteForLibrary(c.bytes, kBmp), c.route) << c.name;
  // Only the format the library was asked for counts.
  EXPECT_EQ(RouteForLibrary(Bmp(40, 16, 3, {0x0F00, 0xF0, 0xF}), kTga), R::AsFile);
}

TEST(LibraryInput, LongBitmapHeadersBecomeFortyBytes) {
  const auto v5 = Bmp(124, 32, 3, {0xFF0000, 0xFF00, 0xFF, 0xFF000000});
  const auto out = RewriteForLibrary(v5, kBmp);
  ASSERT_TRUE(out);
  const auto want = Bmp(40, 32, 3, {0xFF0000, 0xFF00, 0xFF});
  EXPECT_EQ(*out, want);
  // Without bit fields no masks follow the header; the palette and pixels move up.
  const auto plain = RewriteForLibrary(Bmp(108, 8, 0), kBmp);
  ASSERT_TRUE(plain);
  EXPECT_EQ(*plain, Bmp(40, 8, 0));
}

// A colour-mapped TGA: 3 map entries from entry `first`, 2 pixels.
std::vector<uint8_t> Tga(uint16_t first, uint8_t idLength = 0, uint8_t type = 1) {
  std::vector<uint8_t> f = {idLength, 1, type};
  PutU16le(f, first);
  PutU16le(f, 3);
  f.push_back(24);
  f.insert(f.end(), {0, 0, 0, 0, 2, 0, 1, 0, 8, 0x20});
  f.insert(f.end(), idLength, 'i');
  f.insert(f.end(), {10, 11, 12, 20, 21, 22, 30, 31, 32});
  f.push_back(static_cast<uint8_t>(first));
  f.push_back(static_cast<uint8_t>(first + 2));
  return f;
}

TEST(LibraryInput, TargaColourMapsStartAtZero) {
  EXPECT_EQ(RouteForLibrary(Tga(0), kTga), LibraryRoute::AsFile);
  EXPECT_EQ(RouteForLibrary(Tga(5), kTga), LibraryRoute::Rewrite);
  EXPECT_EQ(RouteForLibrary(Tga(5, 0, 2), kTga), LibraryRoute::AsFile);  // true colour
  EXPECT_EQ(RouteForLibrary(Tga(5, 0, 9), kTga), LibraryRoute::Rewrite);  // RLE colour map
  EXPECT_EQ(RouteForLibrary(Tga(5), kBmp), LibraryRoute::AsFile);

  const auto out = RewriteForLibrary(Tga(2, 4), kTga);
  ASSERT_TRUE(out);
  std::vector<uint8_t> want = {4, 1, 1, 0, 0, 5, 0, 24, 0, 0, 0, 0, 2, 0, 1, 0, 8, 0x20,
                               'i', 'i', 'i', 'i', 0, 0, 0, 0, 0, 0,
                               10, 11, 12, 20, 21, 22, 30, 31, 32, 2, 4};
  EXPECT_EQ(*out, want);
  // A map that would need more than 65535 entries cannot be rewritten.
  EXPECT_FALSE(RewriteForLibrary(Tga(65534), kTga));
}

TEST(LibraryInput, ClaimedSizesOfFormatsWithoutAHeaderOnlyMode) {
  struct Case {
    const char* name;
    int32_t format;
    std::vector<uint8_t> head;
    int64_t width, height;  // -1: no size
  };
  std::vector<uint8_t> pict(512, 0);
  pict.insert(pict.end(), {0, 0, 0, 10, 0, 20, 0, 110, 0, 220});  // size, frame 10,20-110,220
  std::vector<uint8_t> jp2 = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 13, 10, 0x87, 10,
                              0, 0, 0, 20, 'f', 't', 'y', 'p', 'j', 'p', '2', ' ', 0, 0, 0, 0,
                              'j', 'p', '2', ' ',
                              0, 0, 0, 45, 'j', 'p', '2', 'h', 0, 0, 0, 22, 'i', 'h', 'd', 'r',
                              0, 0, 1, 0, 0, 0, 2, 0};
  const std::vector<Case> cases = {
      {"SGI", 28, {0x01, 0xDA, 0, 1, 0, 3, 0x01, 0x00, 0x00, 0x80, 0, 3}, 256, 128},
      {"SGI, wrong magic", 28, {0x01, 0xDB, 0, 1, 0, 3, 0x01, 0x00, 0x00, 0x80, 0, 3}, -1, -1},
      {"DDS", 24, {'D', 'D', 'S', ' ', 124, 0, 0, 0, 7, 0, 0, 0, 64, 0, 0, 0, 32, 0, 0, 0}, 32, 64},
      {"WBMP", 19, {0, 0, 0x81, 0x00, 0x05}, 128, 5},
      {"WBMP, endless integer", 19, {0, 0, 0x81, 0x81, 0x81, 0x81, 0x81, 0x81, 0x01, 1}, -1, -1},
      {"PICT", 33, pict, 200, 100},
      {"IFF", 5, {'F', 'O', 'R', 'M', 0, 0, 0, 40, 'I', 'L', 'B', 'M', 'A', 'N', 'N', 'O',
                  0, 0, 0, 3, 'x', 'y', 'z', 0, 'B', 'M', 'H', 'D', 0, 0, 0, 20, 1, 64, 0, 200},
       320, 200},
      {"J2K", 30, {0xFF, 0x4F, 0xFF, 0x51, 0, 41, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0x90,
                   0, 0, 0, 0x10, 0, 0, 0, 0x10}, 240, 128},
      {"JP2", 31, jp2, 512, 256},
      {"cut short", 30, {0xFF, 0x4F, 0xFF, 0x51, 0, 41, 0, 0, 0, 0}, -1, -1},
      {"a format with a header-only mode", 0, {'B', 'M'}, -1, -1},
  };
  for (const Case& c : cases) {
    const auto size = ClaimedPictureSize(c.head, c.format);
    if (c.width < 0) {
      EXPECT_FALSE(size) << c.name;
      continue;
    }
    ASSERT_TRUE(size) << c.name;
    EXPECT_EQ(size->width, c.width) << c.name;
    EXPECT_EQ(size->height, c.height) << c.name;
  }
  // Every cut-off of each start reads inside its bytes.
  for (const Case& c : cases)
    for (size_t n = 0; n < c.head.size(); ++n)
      ClaimedPictureSize(std::span<const uint8_t>(c.head).first(n), c.format);
}

// Cut-off and corrupted starts never read past their end and give no rewrite that would.
TEST(LibraryInputMalformed, TruncatedAndCorruptedHeaders) {
  const std::vector<std::pair<std::vector<uint8_t>, int32_t>> goods = {
      {Bmp(124, 32, 3, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}), kBmp},
      {Bmp(56, 16, 3, {0xF800, 0x07E0, 0x1F}), kBmp},
      {Tga(7, 2), kTga},
  };
  for (const auto& [good, format] : goods) {
    for (size_t n = 0; n <= good.size(); ++n) {
      const std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n));
      RouteForLibrary(cut, format);
      const auto out = RewriteForLibrary(cut, format);
      // A rewritten bitmap's pixel offset stays inside it.
      if (out && format == kBmp) {
        const uint32_t at = (*out)[10] | (*out)[11] << 8 | (*out)[12] << 16 | uint32_t{(*out)[13]} << 24;
        EXPECT_LE(at, out->size()) << n;
      }
    }
    for (size_t at = 0; at < good.size(); ++at) {
      for (uint8_t v : {uint8_t{0}, uint8_t{0xFF}, uint8_t{0x80}}) {
        std::vector<uint8_t> bad = good;
        bad[at] = v;
        RouteForLibrary(bad, format);
        RewriteForLibrary(bad, format);
      }
    }
  }
  // A pixel offset inside the header, or past the end, cannot be rewritten.
  auto inside = Bmp(108, 24, 0);
  inside[10] = 20;
  EXPECT_FALSE(RewriteForLibrary(inside, kBmp));
  auto past = Bmp(108, 24, 0);
  past[13] = 0x7F;
  EXPECT_FALSE(RewriteForLibrary(past, kBmp));
  // A TGA whose map runs past the end of the file.
  auto shortMap = Tga(3);
  shortMap.resize(18 + 4);
  EXPECT_FALSE(RewriteForLibrary(shortMap, kTga));
}

}  // namespace
}  // namespace qp
