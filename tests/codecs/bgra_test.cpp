#include "codecs/bgra.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace qp {
namespace {

using test::TempDir;

TEST(RawBgra, RoundTripAndTheAlphaRule) {
  TempDir dir;
  struct Case {
    uint32_t first, rest;
    int32_t hasAlpha;
  };
  for (Case c : {Case{0xFF112233, 0xFF445566, 0}, Case{0x00112233, 0x00445566, 0},
                 Case{0x80112233, 0x80445566, 1}, Case{0xFF112233, 0x00445566, 1}}) {
    ImageBuffer img = test::MakePicture(3, 2, [&](int x, int y) { return x + y == 0 ? c.first : c.rest; });
    ASSERT_EQ(writeRawBgra(img.data(), 3, 2, dir.file("a.bgra").c_str()), nullptr);
    const auto bytes = test::ReadBytes(dir.file("a.bgra"));
    ASSERT_EQ(bytes.size(), 4u + 24u);
    EXPECT_EQ(bytes[0], 3);
    EXPECT_EQ(bytes[2], 2);
    auto back = readRawBgra(dir.file("a.bgra"));
    ASSERT_TRUE(back);
    EXPECT_EQ(test::PixelAt(*back, 0, 0), c.first);
    EXPECT_EQ(test::PixelAt(*back, 2, 1), c.rest);
    EXPECT_EQ(back.details.hasAlpha, c.hasAlpha != 0) << std::hex << c.first;
  }
}

TEST(RawBgra, ZeroSidesShortFilesAndOversizePictures) {
  TempDir dir;
  test::WriteBytes(dir.file("z.bgra"), {0, 0, 5, 0, 1, 2, 3, 4});
  EXPECT_FALSE(readRawBgra(dir.file("z.bgra")));
  test::WriteBytes(dir.file("z2.bgra"), {5, 0, 0, 0});
  EXPECT_FALSE(readRawBgra(dir.file("z2.bgra")));
  test::WriteBytes(dir.file("h.bgra"), {2, 0});
  EXPECT_FALSE(readRawBgra(dir.file("h.bgra")));
  // Two of four pixels present: still a picture, the rest blank, alpha not examined.
  test::WriteBytes(dir.file("s.bgra"), {2, 0, 2, 0, 1, 2, 3, 128, 4, 5, 6, 7});
  auto img = readRawBgra(dir.file("s.bgra"));
  ASSERT_TRUE(img);
  EXPECT_EQ(test::PixelAt(*img, 0, 0), 0x80030201u);
  EXPECT_EQ(test::PixelAt(*img, 1, 1), 0u);
  EXPECT_FALSE(img.details.hasAlpha);

  std::vector<uint8_t> row(65536 * 4);
  EXPECT_STREQ(writeRawBgra(row.data(), 65536, 1, dir.file("w.bgra").c_str()), "Could not encode");
  EXPECT_TRUE(test::ReadBytes(dir.file("w.bgra")).empty());  // nothing written
  EXPECT_STREQ(writeRawBgra(row.data(), 1, 1, (dir.path() + "/no/x.bgra").c_str()),
               "Could not write file");
}

}  // namespace
}  // namespace qp
