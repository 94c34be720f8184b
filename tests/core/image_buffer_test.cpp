#include "core/image_buffer.h"

#include <gtest/gtest.h>

#include "core/colour.h"
#include "support/test_support.h"

namespace qp {
namespace {

using test::MakePicture;
using test::PixelAt;
using test::SolidPicture;

TEST(ImageBuffer, LayoutIsTopFirstWithoutPadding) {
  auto img = ImageBuffer::Allocate(3, 2);
  ASSERT_TRUE(img);
  EXPECT_EQ(img->byteSize(), 24u);
  EXPECT_EQ(img->pixel(2, 1) - img->data(), (1 * 3 + 2) * 4);
  auto one = ImageBuffer::Allocate(1, 1);
  ASSERT_TRUE(one);
  EXPECT_EQ(one->byteSize(), 4u);
}

TEST(ImageBuffer, RefusesSizesBeyondTheLimits) {
  EXPECT_FALSE(PictureBytes(0, 10));
  EXPECT_FALSE(PictureBytes(10, -1));
  EXPECT_FALSE(PictureBytes(kMaxSide + 1, 1));
  EXPECT_FALSE(PictureBytes(1 << 15, 1 << 14));  // 2^29 pixels
  EXPECT_EQ(PictureBytes(1 << 14, 1 << 14), size_t{1} << 30);
  EXPECT_FALSE(ImageBuffer::Allocate(int64_t{1} << 40, 1));
}

TEST(ImageBuffer, CloneIsDeepAndReleaseHandsOverTheBlock) {
  ImageBuffer a = SolidPicture(2, 2, 0xFF102030);
  auto b = a.Clone();
  ASSERT_TRUE(b);
  StorePixel(a.pixel(0, 0), 0);
  EXPECT_EQ(PixelAt(*b, 0, 0), 0xFF102030u);
  uint8_t* raw = a.release();
  EXPECT_TRUE(a.empty());
  std::free(raw);
}

TEST(ImageBuffer, PlaceholderIsOneStaticZeroPixel) {
  const uint8_t* p = PlaceholderPixel();
  EXPECT_EQ(p, PlaceholderPixel());
  EXPECT_EQ(LoadPixel(p), 0u);
  EXPECT_TRUE(IsPlaceholder(p));
}

TEST(AlphaHelpers, MeaningfulAlpha) {
  EXPECT_FALSE(HasMeaningfulAlpha(SolidPicture(4, 4, 0xFF000000)));
  EXPECT_FALSE(HasMeaningfulAlpha(SolidPicture(4, 4, 0x00FFFFFF)));
  EXPECT_TRUE(HasMeaningfulAlpha(SolidPicture(1, 1, 0x80000000)));
  // First pixel alpha 0, a later one 255.
  EXPECT_TRUE(HasMeaningfulAlpha(
      MakePicture(3, 1, [](int x, int) { return x == 2 ? 0xFF000000u : 0u; })));
  EXPECT_FALSE(HasMeaningfulAlpha(nullptr, 0, 0));
}

TEST(AlphaHelpers, WhitenTransparentReachesTheLastPixel) {
  ImageBuffer img = MakePicture(3, 2, [](int x, int y) {
    return (x == 2 && y == 1) || (x == 0 && y == 0) ? 0x00123456u : 0xFF010203u;
  });
  WhitenTransparent(img);
  EXPECT_EQ(PixelAt(img, 0, 0), 0x00FFFFFFu);
  EXPECT_EQ(PixelAt(img, 2, 1), 0x00FFFFFFu);
  EXPECT_EQ(PixelAt(img, 1, 0), 0xFF010203u);

  ImageBuffer opaque = SolidPicture(2, 2, 0x00123456);  // all alpha 0: not meaningful
  WhitenTransparent(opaque);
  EXPECT_EQ(PixelAt(opaque, 1, 1), 0x00123456u);
}

TEST(AlphaHelpers, CountUniqueColoursIgnoresAlpha) {
  ImageBuffer img = MakePicture(4, 1, [](int x, int) {
    const uint32_t colours[] = {0xFF112233, 0x00112233, 0xFFFFFFFF, 0x80000000};
    return colours[x];
  });
  EXPECT_EQ(CountUniqueColours(img.data(), 4, 1), 3);
  EXPECT_EQ(CountUniqueColours(nullptr, 0, 0), 0);
}

TEST(Colour, ParseAndFormat) {
  EXPECT_EQ(ParseColour("#FF8000"), 0xFF8000u);
  EXPECT_EQ(ParseColour("#ff8000"), 0xFF8000u);
  EXPECT_EQ(ParseColour("#40"), 0x404040u);
  EXPECT_EQ(ParseColour("#4080"), 0x408000u);
  EXPECT_EQ(ParseColour("255"), 255u);
  EXPECT_EQ(ParseColour("12abc"), 12u);
  EXPECT_EQ(ParseColour("#"), 0u);
  EXPECT_EQ(ParseColour(""), 0u);
  EXPECT_EQ(FormatColour(0xFF8000), "#FF8000");
  EXPECT_EQ(FormatColour(0x12ABCDEF), "#ABCDEF");
  EXPECT_EQ(ParseColour(FormatColour(0x0A0B0C)), 0x0A0B0Cu);
}

}  // namespace
}  // namespace qp
