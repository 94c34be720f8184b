// Files read through FreeImage: headers that claim huge pictures, and the bitmap variants
// other programs write (bit-field masks, the longer info headers, top-down rows, the four
// TGA origins, colour maps that start past entry 0).
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "codecs/freeimage.h"
#include "codecs/load_dispatch.h"
#include "support/test_support.h"

namespace qp {
namespace {

using test::PixelAt;
using test::PutU16le;
using test::PutU32le;

class FreeImageFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!FreeImageAvailable()) GTEST_SKIP() << "libfreeimage.so.3 not installed";
  }
  test::TempDir dir_;
};

// A bitmap file: file header, an info header of `headerSize` bytes (12 for the old core
// header), `extra` bytes (palette or masks after a 40-byte header), then `pixels`.
// Bit-field masks as they follow a 40-byte header.
std::vector<uint8_t> Masks(const std::vector<uint32_t>& masks) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < 3; ++i) PutU32le(out, masks[i]);
  return out;
}

std::vector<uint8_t> Bitmap(uint32_t headerSize, int32_t w, int32_t h, uint16_t bits,
                            uint32_t compression, const std::vector<uint32_t>& masks,
                            const std::vector<uint8_t>& extra, const std::vector<uint8_t>& pixels) {
  std::vector<uint8_t> info;
  PutU32le(info, headerSize);
  if (headerSize == 12) {
    PutU16le(info, static_cast<uint16_t>(w));
    PutU16le(info, static_cast<uint16_t>(h));
    PutU16le(info, 1);
    PutU16le(info, bits);
  } else {
    PutU32le(info, static_cast<uint32_t>(w));
    PutU32le(info, static_cast<uint32_t>(h));
    PutU16le(info, 1);     // planes
    PutU16le(info, bits);  // bits per pixel
    PutU32le(info, compression);
    PutU32le(info, static_cast<uint32_t>(pixels.size()));
    PutU32le(info, 2835);  // 72 dpi
    PutU32le(info, 2835);
    PutU32le(info, 0);  // colours used: all
    PutU32le(info, 0);  // important colours
    // Red, green, blue and alpha masks live inside the longer headers.
    for (size_t i = 0; i < 4 && info.size() < headerSize; ++i)
      PutU32le(info, i < masks.size() ? masks[i] : 0);
    if (headerSize >= 108 && info.size() < headerSize) PutU32le(info, 0x73524742);  // "sRGB"
    info.resize(headerSize, 0);
  }
  std::vector<uint8_t> f = {'B', 'M'};
  const uint32_t offset = 14 + headerSize + static_cast<uint32_t>(extra.size());
  PutU32le(f, offset + static_cast<uint32_t>(pixels.size()));
  PutU32le(f, 0);
  PutU32le(f, offset);
  f.insert(f.end(), info.begin(), info.end());
  f.insert(f.end(), extra.begin(), extra.end());
  f.insert(f.end(), pixels.begin(), pixels.end());
  return f;
}

// The test picture, 3 x 2, top row first: red, green, blue / yellow, cyan, white (0xAARRGGBB).
constexpr uint32_t kColours[2][3] = {{0xFFFF0000, 0xFF00FF00, 0xFF0000FF},
                                     {0xFFFFFF00, 0xFF00FFFF, 0xFFFFFFFF}};

// Scales an 8-bit channel to a field of `mask` and puts it there.
uint32_t Field(uint32_t value8, uint32_t mask) {
  if (mask == 0) return 0;
  const int shift = __builtin_ctz(mask);
  const uint32_t max = mask >> shift;
  return ((value8 * max + 127) / 255) << shift;
}

// Rows of the test picture, bottom row first unless `topDown`, each padded to 4 bytes, every
// pixel packed by `pack` into `bytesPerPixel` little-endian bytes.
template <typename Pack>
std::vector<uint8_t> Rows(int bytesPerPixel, bool topDown, Pack pack) {
  std::vector<uint8_t> out;
  for (int i = 0; i < 2; ++i) {
    const int y = topDown ? i : 1 - i;
    for (int x = 0; x < 3; ++x) {
      const uint32_t v = pack(kColours[y][x]);
      for (int b = 0; b < bytesPerPixel; ++b) out.push_back(static_cast<uint8_t>(v >> (8 * b)));
    }
    while (out.size() % 4 != 0) out.push_back(0);
  }
  return out;
}

std::vector<uint8_t> MaskedRows(int bytesPerPixel, const std::vector<uint32_t>& m, bool topDown) {
  return Rows(bytesPerPixel, topDown, [&](uint32_t c) {
    return Field(c >> 16 & 0xFF, m[0]) | Field(c >> 8 & 0xFF, m[1]) | Field(c & 0xFF, m[2]) |
           (m.size() > 3 ? Field(c >> 24, m[3]) : 0);
  });
}

// The test picture's colours as a palette of 4-byte entries, and its rows of indices.
std::vector<uint8_t> Palette() {
  std::vector<uint8_t> p;
  for (const auto& row : kColours)
    for (uint32_t c : row) p.insert(p.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 0});
  return p;
}
std::vector<uint8_t> IndexRows(bool topDown) {
  return Rows(1, topDown, [](uint32_t c) {
    for (uint32_t i = 0; i < 6; ++i)
      if (kColours[i / 3][i % 3] == c) return i;
    return 0u;
  });
}

void ExpectTestPicture(const std::optional<ImageBuffer>& img, const std::string& name) {
  ASSERT_TRUE(img) << name;
  ASSERT_EQ(img->width(), 3) << name;
  ASSERT_EQ(img->height(), 2) << name;
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x)
      EXPECT_EQ(PixelAt(*img, x, y) & 0xFFFFFF, kColours[y][x] & 0xFFFFFF)
          << name << " at " << x << "," << y;
}

const std::vector<uint32_t> k565 = {0xF800, 0x07E0, 0x001F};
const std::vector<uint32_t> k555 = {0x7C00, 0x03E0, 0x001F};
const std::vector<uint32_t> k888 = {0xFF0000, 0xFF00, 0xFF};
const std::vector<uint32_t> kArgb = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};

// Bitmaps as other programs write them, read right: bit fields, the longer info headers (the
// library reads them with a 40-byte header handed over), top-down rows.
TEST_F(FreeImageFiles, BitmapVariantsReadRight) {
  const auto rgb24 = [](bool topDown) {
    return Rows(3, topDown, [](uint32_t c) { return c & 0xFFFFFF; });
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  const std::vector<Case> cases = {
      {"565 bit fields", Bitmap(40, 3, 2, 16, 3, {}, Masks(k565), MaskedRows(2, k565, false))},
      {"555 bit fields", Bitmap(40, 3, 2, 16, 3, {}, Masks(k555), MaskedRows(2, k555, false))},
      {"555 plain", Bitmap(40, 3, 2, 16, 0, {}, {}, MaskedRows(2, k555, false))},
      {"565 top-down", Bitmap(40, 3, -2, 16, 3, {}, Masks(k565), MaskedRows(2, k565, true))},
      {"32-bit bit fields", Bitmap(40, 3, 2, 32, 3, {}, Masks(k888), MaskedRows(4, k888, false))},
      {"24-bit top-down", Bitmap(40, 3, -2, 24, 0, {}, {}, rgb24(true))},
      {"8-bit top-down", Bitmap(40, 3, -2, 8, 0, {}, Palette(), IndexRows(true))},
      {"V2 header, 565", Bitmap(52, 3, 2, 16, 3, k565, {}, MaskedRows(2, k565, false))},
      {"V3 header, 565", Bitmap(56, 3, 2, 16, 3, k565, {}, MaskedRows(2, k565, false))},
      {"V4 header, 555", Bitmap(108, 3, 2, 16, 3, k555, {}, MaskedRows(2, k555, false))},
      {"V5 header, ARGB", Bitmap(124, 3, 2, 32, 3, kArgb, {}, MaskedRows(4, kArgb, false))},
      {"V5 header, top-down", Bitmap(124, 3, -2, 32, 3, kArgb, {}, MaskedRows(4, kArgb, true))},
      {"V5 header, 24-bit", Bitmap(124, 3, 2, 24, 0, {}, {}, rgb24(false))},
      {"V5 header, palette", Bitmap(124, 3, 2, 8, 0, {}, Palette(), IndexRows(false))},
      {"core header", Bitmap(12, 3, 2, 24, 0, {}, {}, rgb24(false))},
  };
  for (const Case& c : cases) {
    const std::string path = dir_.file("v.bmp");
    test::WriteBytes(path, c.bytes);
    ExpectTestPicture(loadWithLibrary(path, kFreeImageBmp), c.name);
    ExpectTestPicture(loadAnyWithLibrary(path), c.name);
  }
  // The alpha of 32-bit pixels is kept.
  const std::string path = dir_.file("alpha.bmp");
  auto rows = MaskedRows(4, kArgb, false);
  rows[3] = 0x40;  // bottom-left pixel
  test::WriteBytes(path, Bitmap(124, 3, 2, 32, 3, kArgb, {}, rows));
  auto img = loadWithLibrary(path, kFreeImageBmp);
  ASSERT_TRUE(img);
  EXPECT_EQ(PixelAt(*img, 0, 1) >> 24, 0x40u);
}

// A bitmap's alpha counts when it varies: converting it keeps its transparency. Alpha bytes
// that are all 0 (the reserved byte of plain 32-bit bitmaps) or all 255 do not.
TEST_F(FreeImageFiles, BitmapAlphaCountsWhenItVaries) {
  auto withAlpha = MaskedRows(4, kArgb, false);
  withAlpha[3] = 0x40;
  auto zeroAlpha = MaskedRows(4, k888, false);
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    bool hasAlpha;
  };
  const std::vector<Case> cases = {
      {"V5 with alpha", Bitmap(124, 3, 2, 32, 3, kArgb, {}, withAlpha), true},
      {"plain 32-bit with alpha", Bitmap(40, 3, 2, 32, 0, {}, {}, withAlpha), true},
      {"plain 32-bit, reserved bytes 0", Bitmap(40, 3, 2, 32, 0, {}, {}, zeroAlpha), false},
      {"24-bit", Bitmap(40, 3, 2, 24, 0, {}, {}, Rows(3, false, [](uint32_t c) { return c; })),
       false},
  };
  for (const Case& c : cases) {
    const std::string path = dir_.file("a.bmp");
    test::WriteBytes(path, c.bytes);
    ViewerState state;
    LoadContext ctx{state};
    DecodeDetails details;
    ASSERT_TRUE(LoadPictureFile(path, ctx, &details)) << c.name;
    EXPECT_EQ(details.hasAlpha, c.hasAlpha) << c.name;
    EXPECT_EQ(state.hasAlpha != 0, c.hasAlpha) << c.name;
  }
}

// Masks the library would apply as if they were the common ones: it must not get the file
// (the next decoder in the fallback order reads it).
TEST_F(FreeImageFiles, BitmapsWithOtherMasksAreLeftToTheNextDecoder) {
  const std::vector<uint32_t> k4444 = {0x0F00, 0x00F0, 0x000F, 0xF000};
  const std::vector<uint32_t> kRgbx = {0xFF000000, 0xFF0000, 0xFF00};
  const std::vector<uint32_t> k1555 = {0x7C00, 0x03E0, 0x001F, 0x8000};
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  const std::vector<Case> cases = {
      {"32-bit R-G-B-X", Bitmap(40, 3, 2, 32, 3, {}, Masks(kRgbx), MaskedRows(4, kRgbx, false))},
      {"16-bit 4-4-4", Bitmap(40, 3, 2, 16, 3, {}, Masks(k4444), MaskedRows(2, k4444, false))},
      {"16-bit 5-6-5 reversed",
       Bitmap(40, 3, 2, 16, 3, {}, Masks({0x001F, 0x07E0, 0xF800}),
              MaskedRows(2, {0x001F, 0x07E0, 0xF800}, false))},
      {"V5 4-4-4-4", Bitmap(124, 3, 2, 16, 3, k4444, {}, MaskedRows(2, k4444, false))},
      {"V4 1-5-5-5", Bitmap(108, 3, 2, 16, 3, k1555, {}, MaskedRows(2, k1555, false))},
  };
  for (const Case& c : cases) {
    const std::string path = dir_.file("m.bmp");
    test::WriteBytes(path, c.bytes);
    EXPECT_FALSE(loadWithLibrary(path, kFreeImageBmp)) << c.name;
    EXPECT_FALSE(loadAnyWithLibrary(path)) << c.name;
  }
}

// A TGA: 18-byte header, `id` bytes of image ID, the colour map, then `pixels`.
std::vector<uint8_t> Targa(uint8_t type, uint8_t bits, uint8_t descriptor,
                           const std::vector<uint8_t>& pixels, uint16_t mapFirst = 0,
                           const std::vector<uint8_t>& map = {}, uint8_t id = 0) {
  std::vector<uint8_t> f = {id, static_cast<uint8_t>(map.empty() ? 0 : 1), type};
  PutU16le(f, mapFirst);
  PutU16le(f, static_cast<uint16_t>(map.size() / 3));
  f.push_back(map.empty() ? 0 : 24);
  PutU16le(f, 0);  // x origin
  PutU16le(f, 0);  // y origin
  PutU16le(f, 3);
  PutU16le(f, 2);
  f.push_back(bits);
  f.push_back(descriptor);
  f.insert(f.end(), id, 'i');
  f.insert(f.end(), map.begin(), map.end());
  f.insert(f.end(), pixels.begin(), pixels.end());
  return f;
}

// The test picture's rows in the order of a TGA origin: bit 4 of the descriptor puts the first
// pixel of a row on the right, bit 5 the first row at the top.
template <typename Pack>
std::vector<uint8_t> TargaRows(uint8_t descriptor, int bytesPerPixel, Pack pack) {
  std::vector<uint8_t> out;
  for (int i = 0; i < 2; ++i) {
    const int y = (descriptor & 0x20) ? i : 1 - i;
    for (int j = 0; j < 3; ++j) {
      const int x = (descriptor & 0x10) ? 2 - j : j;
      const uint32_t v = pack(kColours[y][x], y * 3 + x);
      for (int b = 0; b < bytesPerPixel; ++b) out.push_back(static_cast<uint8_t>(v >> (8 * b)));
    }
  }
  return out;
}

TEST_F(FreeImageFiles, TargaOriginsAndColourMapsReadRight) {
  std::vector<uint8_t> map;
  for (const auto& row : kColours)
    for (uint32_t c : row) map.insert(map.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16)});
  const std::vector<uint8_t> footer = [] {
    std::vector<uint8_t> f(8, 0);
    const char* sig = "TRUEVISION-XFILE.";
    f.insert(f.end(), sig, sig + 18);
    return f;
  }();
  struct Case {
    std::string name;
    std::vector<uint8_t> bytes;
  };
  std::vector<Case> cases;
  for (uint8_t origin : {0x00, 0x10, 0x20, 0x30}) {
    const std::string o = std::to_string(origin);
    cases.push_back({"24-bit, origin " + o,
                     Targa(2, 24, origin, TargaRows(origin, 3, [](uint32_t c, int) { return c; }))});
    cases.push_back({"32-bit, origin " + o,
                     Targa(2, 32, origin | 8, TargaRows(origin, 4, [](uint32_t c, int) { return c; }))});
  }
  for (uint16_t first : {0, 1, 10, 200}) {
    for (uint8_t origin : {0x00, 0x20}) {
      const auto indices = TargaRows(origin, 1, [&](uint32_t, int i) { return first + i; });
      if (first + 5 > 255) continue;
      auto bytes = Targa(1, 8, origin, indices, first, map, 3);
      cases.push_back({"colour map from " + std::to_string(first), bytes});
      bytes.insert(bytes.end(), footer.begin(), footer.end());
      cases.push_back({"colour map from " + std::to_string(first) + ", with footer", bytes});
    }
  }
  for (const Case& c : cases) {
    const std::string path = dir_.file("t.tga");
    test::WriteBytes(path, c.bytes);
    ExpectTestPicture(loadWithLibrary(path, kFreeImageTarga), c.name);
    ExpectTestPicture(loadAnyWithLibrary(path), c.name);
  }
}

// Headers whose pictures lie beyond the program's limit are refused from the header alone:
// the library never gets to allocate (and clear) the claimed pixels.
TEST_F(FreeImageFiles, HugeHeadersAreRefused) {
  const std::vector<uint8_t> twoColours = {0, 0, 0, 0, 255, 255, 255, 0};
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  std::vector<Case> cases = {
      // 6 x 2147483647 at 8 bits: 13 GB the library would clear before reading a row.
      {"tall.bmp", Bitmap(40, 6, INT32_MAX, 8, 0, {}, twoColours, std::vector<uint8_t>(40, 1))},
      {"wide.bmp", Bitmap(40, INT32_MAX, 2, 1, 0, {}, twoColours, std::vector<uint8_t>(40, 1))},
      // 2^20 x 2^20: each side within reach, the product far beyond.
      {"square.bmp", Bitmap(40, 1 << 20, 1 << 20, 24, 0, {}, {}, std::vector<uint8_t>(64, 7))},
      {"topdown.bmp", Bitmap(40, 30000, -30000, 8, 0, {}, twoColours, std::vector<uint8_t>(64))},
  };
  // TGA, 65535 x 65535 true colour, two pixels of data.
  std::vector<uint8_t> tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  PutU16le(tga, 65535);
  PutU16le(tga, 65535);
  tga.insert(tga.end(), {24, 0x20, 1, 2, 3, 4, 5, 6});
  cases.push_back({"huge.tga", tga});
  for (const auto& c : cases) {
    const std::string path = dir_.file(c.name);
    test::WriteBytes(path, c.bytes);
    EXPECT_FALSE(loadAnyWithLibrary(path)) << c.name;
  }
}

// Big-endian helpers for the headers of the formats below.
void PutU16be(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}
void PutU32be(std::vector<uint8_t>& out, uint32_t v) {
  PutU16be(out, static_cast<uint16_t>(v >> 16));
  PutU16be(out, static_cast<uint16_t>(v));
}

// An SGI file: magic, verbatim storage, 1 byte per channel, 3 dimensions, x, y, channels.
std::vector<uint8_t> Sgi(uint16_t x, uint16_t y, uint16_t channels) {
  std::vector<uint8_t> f;
  PutU16be(f, 474);
  f.push_back(0);
  f.push_back(1);
  PutU16be(f, 3);
  PutU16be(f, x);
  PutU16be(f, y);
  PutU16be(f, channels);
  f.resize(512, 0);
  f.resize(2048, 0x55);
  return f;
}

// Files of a few kilobytes whose headers claim pictures over the limit, in formats the library
// reads without a header-only mode: the size is read from the header here instead.
TEST_F(FreeImageFiles, HugeHeadersWithoutAHeaderOnlyModeAreRefused) {
  struct Case {
    const char* name;
    int32_t format;
    std::vector<uint8_t> bytes;
  };
  std::vector<Case> cases = {{"huge.sgi", 28, Sgi(65535, 65535, 4)}};
  std::vector<uint8_t> dds = {'D', 'D', 'S', ' '};
  for (uint32_t v : {124u, 0x1007u, 300000u, 300000u}) PutU32le(dds, v);
  dds.resize(2048, 0);
  cases.push_back({"huge.dds", 24, dds});
  std::vector<uint8_t> pict(512, 0);
  for (uint16_t v : {0, 0, 0, 32000, 32000}) PutU16be(pict, v);  // size, frame
  pict.resize(2048, 0);
  cases.push_back({"huge.pict", 33, pict});
  std::vector<uint8_t> iff = {'F', 'O', 'R', 'M', 0, 0, 8, 0, 'I', 'L', 'B', 'M',
                              'B', 'M', 'H', 'D', 0, 0, 0, 20};
  for (uint16_t v : {65535, 65535, 0, 0}) PutU16be(iff, v);
  iff.resize(2048, 0);
  cases.push_back({"huge.iff", 5, iff});
  cases.push_back({"huge.wbmp", 19, {0, 0, 0x81, 0x80, 0x80, 0x00, 0x81, 0x80, 0x80, 0x00}});
  std::vector<uint8_t> j2k = {0xFF, 0x4F, 0xFF, 0x51, 0, 41, 0, 0};
  for (uint32_t v : {100000u, 100000u, 0u, 0u}) PutU32be(j2k, v);
  j2k.resize(2048, 0);
  cases.push_back({"huge.j2k", 30, j2k});
  for (const Case& c : cases) {
    const std::string path = dir_.file(c.name);
    test::WriteBytes(path, c.bytes);
    EXPECT_FALSE(loadWithLibrary(path, c.format)) << c.name;
  }
}

// Peak resident memory in KiB.
long PeakKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

// Small files claiming 20000 x 20000 pixels are refused before the library sets aside the
// 400 MB of their pixels. Each runs in a child process, whose peak memory says whether it did.
TEST_F(FreeImageFiles, HugeHeaderCostsNoMemory) {
  const std::vector<uint8_t> twoColours = {0, 0, 0, 0, 255, 255, 255, 0};
  const std::pair<const char*, std::vector<uint8_t>> files[] = {
      {"big.bmp", Bitmap(40, 20000, 20000, 8, 0, {}, twoColours, std::vector<uint8_t>(128, 1))},
      {"big.sgi", Sgi(20000, 20000, 1)},
  };
  for (const auto& [name, bytes] : files) {
    const std::string path = dir_.file(name);
    test::WriteBytes(path, bytes);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const long before = PeakKiB();
      const bool loaded = loadAnyWithLibrary(path).has_value();
      const long grown = PeakKiB() - before;
      _exit(loaded ? 2 : grown > 100 * 1024 ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << name << " (1: the library allocated the pixels; 2: it loaded them)";
  }
}

}  // namespace
}  // namespace qp
