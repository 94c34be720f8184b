#include "core/orientation.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace qp {
namespace {

// The picture as a string of one letter per pixel, rows separated by "/".
std::string Letters(const ImageBuffer& img) {
  std::string out;
  for (int32_t y = 0; y < img.height(); ++y) {
    if (y > 0) out += '/';
    for (int32_t x = 0; x < img.width(); ++x)
      out += static_cast<char>(test::PixelAt(img, x, y) & 0xFF);
  }
  return out;
}

TEST(Orientation, EachValueTurnsTheStoredPixelsUpright) {
  // Stored:  a b c
  //          d e f
  const ImageBuffer stored =
      test::MakePicture(3, 2, [](int32_t x, int32_t y) { return uint32_t('a' + y * 3 + x); });
  const struct {
    int32_t orientation;
    const char* upright;
  } cases[] = {
      {1, "abc/def"},         // as stored
      {2, "cba/fed"},         // mirrored left to right
      {3, "fed/cba"},         // half turn
      {4, "def/abc"},         // mirrored top to bottom
      {5, "ad/be/cf"},        // transposed
      {6, "da/eb/fc"},        // stored row 0 is the right-hand side: a quarter turn clockwise
      {7, "fc/eb/da"},        // transversed
      {8, "cf/be/ad"},        // stored row 0 is the left-hand side: counter-clockwise
      {0, "abc/def"},         // not an orientation: as stored
      {9, "abc/def"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.orientation);
    const auto upright = TurnUpright(stored, c.orientation);
    ASSERT_TRUE(upright);
    EXPECT_EQ(Letters(*upright), c.upright);
    ImageBuffer copy = std::move(*stored.Clone());
    ASSERT_TRUE(TurnUprightInPlace(copy, c.orientation));
    EXPECT_EQ(Letters(copy), c.upright);
  }
}

TEST(Orientation, LargePicturesCrossTileEdgesIntact) {
  // Sides that are not multiples of the tile or block sizes, an odd height (the middle row of
  // a picture turned within itself), one row, one column: every pixel lands exactly once, in a
  // new picture and in place.
  const struct {
    int32_t w, h;
  } sizes[] = {{131, 70}, {130, 71}, {1031, 6}, {1, 1}, {9, 1}, {1, 7}, {4, 4}};
  for (const auto& size : sizes) {
    const ImageBuffer stored = test::RandomPicture(size.w, size.h, 11);
    for (int32_t o = 1; o <= 8; ++o) {
      SCOPED_TRACE(testing::Message() << size.w << "x" << size.h << " orientation " << o);
      const auto upright = TurnUpright(stored, o);
      ASSERT_TRUE(upright);
      ImageBuffer inPlace = std::move(*stored.Clone());
      ASSERT_TRUE(TurnUprightInPlace(inPlace, o));
      ASSERT_EQ(upright->width(), OrientationSwapsSides(o) ? size.h : size.w);
      ASSERT_EQ(inPlace.width(), upright->width());
      ASSERT_EQ(inPlace.height(), upright->height());
      for (int32_t y = 0; y < stored.height(); ++y) {
        for (int32_t x = 0; x < stored.width(); ++x) {
          const OrientedRect shown = StoredToShown({x, y, x + 1, y + 1}, o, size.w, size.h);
          ASSERT_EQ(test::PixelAt(*upright, shown.left, shown.top), test::PixelAt(stored, x, y));
          ASSERT_EQ(test::PixelAt(inPlace, shown.left, shown.top), test::PixelAt(stored, x, y));
        }
      }
    }
  }
}

TEST(Orientation, SelectionOnTheShownPictureMapsToTheStoredPixels) {
  // Stored 6 x 5; the shown selection is column 0, rows 1 and 2.
  constexpr int32_t kW = 6, kH = 5;
  const OrientedRect shown{0, 1, 1, 3};
  const struct {
    int32_t orientation;
    OrientedRect stored;
  } cases[] = {
      {1, {0, 1, 1, 3}}, {2, {5, 1, 6, 3}}, {3, {5, 2, 6, 4}}, {4, {0, 2, 1, 4}},
      {5, {1, 0, 3, 1}}, {6, {1, 4, 3, 5}}, {7, {3, 4, 5, 5}}, {8, {3, 0, 5, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.orientation);
    EXPECT_EQ(ShownToStored(shown, c.orientation, kW, kH), c.stored);
    EXPECT_EQ(StoredToShown(c.stored, c.orientation, kW, kH), shown);
    // The whole shown picture is the whole stored one.
    const bool swap = OrientationSwapsSides(c.orientation);
    const OrientedRect all{0, 0, swap ? kH : kW, swap ? kW : kH};
    EXPECT_EQ(ShownToStored(all, c.orientation, kW, kH), (OrientedRect{0, 0, kW, kH}));
  }
}

}  // namespace
}  // namespace qp
