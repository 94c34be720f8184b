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

// Peak resident memory in KiB.
long PeakKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

// A 20000 x 20000 8-bit bitmap of 200 bytes is refused before the library sets aside the
// 400 MB of its pixels. Run in a child process, whose peak memory says whether it did.
TEST_F(FreeImageFiles, HugeHeaderCostsNoMemory) {
  const std::vector<uint8_t> twoColours = {0, 0, 0, 0, 255, 255, 255, 0};
  const std::string path = dir_.file("big.bmp");
  test::WriteBytes(path, Bitmap(40, 20000, 20000, 8, 0, {}, twoColours, std::vector<uint8_t>(128, 1)));
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
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the library allocated the pixels; 2: it loaded them";
}

}  // namespace
}  // namespace qp
