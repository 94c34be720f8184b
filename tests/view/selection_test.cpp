#include "view/selection.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace qp {
namespace {

using test::MakePicture;
using test::SolidPicture;

bool Same(const PixelRect& a, const PixelRect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}
#define EXPECT_RECT(r, l, t, rr, b) EXPECT_TRUE(Same((r), PixelRect{l, t, rr, b}))

void DragBand(Selection& s, int x0, int y0, int x1, int y1, int w, int h, float z) {
  s.Press(x0, y0, w, h, z);
  s.Drag(x1, y1);
  s.Finish(w, h, z);
}

TEST(Selection, RubberBandAtEachZoomIsKeptInImagePixels) {
  struct Case {
    float zoom;
    PixelRect band;  // drag from (left, top) to (right, bottom), display pixels
    PixelRect image;
    PixelRect view;
  } cases[] = {
      {0.5f, {10, 10, 110, 60}, {20, 20, 220, 120}, {10, 10, 110, 60}},
      {1.0f, {10, 10, 110, 60}, {10, 10, 110, 60}, {10, 10, 110, 60}},
      {3.0f, {10, 10, 110, 60}, {3, 3, 37, 20}, {9, 9, 111, 60}},
      // Dragged up and to the left: the band is normalised.
      {1.0f, {110, 60, 10, 10}, {10, 10, 110, 60}, {10, 10, 110, 60}},
      // Beyond the 400 x 300 picture: clamped in image pixels.
      {0.5f, {150, 100, 900, 900}, {300, 200, 400, 300}, {150, 100, 200, 150}},
  };
  for (const Case& c : cases) {
    Selection s;
    DragBand(s, c.band.left, c.band.top, c.band.right, c.band.bottom, 400, 300, c.zoom);
    ASSERT_TRUE(s.Exists()) << c.zoom;
    EXPECT_RECT(s.imageRect, c.image.left, c.image.top, c.image.right, c.image.bottom);
    EXPECT_RECT(*s.Tracked(), c.view.left, c.view.top, c.view.right, c.view.bottom);
  }
}

TEST(Selection, ClickWithoutDragOrOutsideThePictureSelectsNothing) {
  Selection s;
  DragBand(s, 10, 10, 10, 10, 400, 300, 1.0f);
  EXPECT_FALSE(s.Exists());
  DragBand(s, 500, 10, 600, 50, 400, 300, 1.0f);  // wholly right of the picture
  EXPECT_FALSE(s.Exists());
  EXPECT_FALSE(s.Region(400, 300, 1.0f));
}

TEST(Selection, MoveKeepsTheSizeAndResizeFollowsTheHandle) {
  Selection s;
  DragBand(s, 10, 10, 110, 60, 400, 300, 0.5f);  // image (20, 20)-(220, 120)
  EXPECT_EQ(s.HitTest(50, 30), HitCode::Middle);
  s.Press(50, 30, 400, 300, 0.5f);
  EXPECT_EQ(s.tracking(), Selection::Tracking::Move);
  s.Drag(60, 35);
  s.Finish(400, 300, 0.5f);
  EXPECT_RECT(s.imageRect, 40, 30, 240, 130);
  EXPECT_RECT(*s.Tracked(), 20, 15, 120, 65);

  // The bottom-right handle lies just outside the corner.
  EXPECT_EQ(s.HitTest(121, 66), HitCode::BottomRight);
  s.Press(121, 66, 400, 300, 0.5f);
  s.Drag(141, 76);
  s.Finish(400, 300, 0.5f);
  EXPECT_RECT(s.imageRect, 40, 30, 280, 150);

  // Moved past the picture's edge: the stored rectangle keeps its size, the region clamps.
  s.Press(60, 40, 400, 300, 0.5f);
  s.Drag(160, 40);
  s.Cancel(400, 300, 0.5f);  // Escape keeps the position reached
  EXPECT_RECT(s.imageRect, 240, 30, 480, 150);
  EXPECT_RECT(*s.Region(400, 300, 0.5f), 240, 30, 400, 150);
  EXPECT_FALSE(s.Region(400, 300, 0.0f));
}

TEST(Selection, HitCodesAndCursors) {
  Selection s;
  s.SetImageRect({100, 100, 200, 160}, 1.0f, true);
  struct {
    int x, y;
    HitCode hit;
    CursorShape cursor;
  } cases[] = {
      {97, 97, HitCode::TopLeft, CursorShape::SizeNwSe},
      {202, 97, HitCode::TopRight, CursorShape::SizeNeSw},
      {202, 162, HitCode::BottomRight, CursorShape::SizeNwSe},
      {97, 162, HitCode::BottomLeft, CursorShape::SizeNeSw},
      {150, 97, HitCode::Top, CursorShape::SizeNs},
      {150, 162, HitCode::Bottom, CursorShape::SizeNs},
      {97, 130, HitCode::Left, CursorShape::SizeWe},
      {202, 130, HitCode::Right, CursorShape::SizeWe},
      {150, 130, HitCode::Middle, CursorShape::SizeAll},
      {300, 300, HitCode::Nothing, CursorShape::Default},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(s.HitTest(c.x, c.y), c.hit) << c.x << "," << c.y;
    EXPECT_EQ(CursorForHit(s.HitTest(c.x, c.y)), c.cursor);
  }
  s.Clear();
  EXPECT_EQ(s.HitTest(150, 130), HitCode::Nothing);
}

TEST(Selection, AspectOnLandscapeAndPortrait) {
  struct Case {
    int32_t w, h, c, b;
    int32_t right, bottom;  // from a Select All at (0, 0)
  } cases[] = {
      {400, 300, 1, 1, 300, 300},  {400, 300, 4, 3, 400, 300},   {400, 300, 10, 8, 380, 304},
      {400, 300, 15, 10, 405, 270}, {400, 300, 16, 9, 400, 225},  {300, 400, 1, 1, 300, 300},
      {300, 400, 4, 3, 300, 225},  {300, 400, 10, 8, 300, 240},  {300, 400, 15, 10, 300, 200},
      // 300 / 16 = 18.75 rounds up to 19 units: one unit past the picture's width.
      {300, 400, 16, 9, 304, 171},
  };
  for (const Case& k : cases) {
    Selection s;
    ASSERT_TRUE(s.SelectAll(k.w, k.h, 1.0f));
    ASSERT_TRUE(s.Aspect(k.c, k.b, k.w, k.h, 1.0f));
    EXPECT_RECT(s.imageRect, 0, 0, k.right, k.bottom) << k.w << "x" << k.h << " " << k.c;
    EXPECT_TRUE(s.Exists());
  }
  // 1000 x 1000 at 16:9 gives 1008 x 567; a cleared selection changes but stays hidden.
  Selection s;
  s.SetImageRect({0, 0, 1000, 1000}, 1.0f, false);
  ASSERT_TRUE(s.Aspect(16, 9, 2000, 2000, 1.0f));
  EXPECT_RECT(s.imageRect, 0, 0, 1008, 567);
  EXPECT_FALSE(s.Exists());
  s.SetImageRect({0, 0, 10, 4}, 1.0f, true);
  EXPECT_FALSE(s.Aspect(16, 9, 100, 100, 1.0f));  // less than half a unit high
}

TEST(Selection, SelectByNumbersLimitsToThePicture) {
  Selection s;
  EXPECT_TRUE(s.SelectByNumbers(1, 1, 10, 10, 100, 80, 1.0f));
  EXPECT_RECT(s.imageRect, 0, 0, 10, 10);
  EXPECT_TRUE(s.SelectByNumbers(-5, 0, 1000000000000LL, 500, 100, 80, 2.0f));
  EXPECT_RECT(s.imageRect, 0, 0, 100, 80);
  EXPECT_RECT(*s.Tracked(), 0, 0, 200, 160);
  EXPECT_FALSE(s.SelectByNumbers(5, 5, 5, 20, 100, 80, 1.0f));  // one column wide
  EXPECT_TRUE(s.Exists());                                        // unchanged
  EXPECT_FALSE(s.SelectAll(1, 1, 1.0f));
}

TEST(Selection, TrimBordersFindsTheContent) {
  const uint32_t white = 0xFFFFFFFF, black = 0xFF000000;
  auto square = [&](int l, int t, int r, int b) {
    return MakePicture(60, 40, [=](int x, int y) {
      return x >= l && x < r && y >= t && y < b ? black : white;
    });
  };
  struct Case {
    PixelRect content;
  } cases[] = {{{20, 10, 30, 25}}, {{0, 0, 5, 5}},
               // Content touching the right and bottom edges keeps their last column and row.
               {{50, 30, 60, 40}},
               // Content only in the first row.
               {{10, 0, 20, 1}}};
  for (const Case& c : cases) {
    ImageBuffer img = square(c.content.left, c.content.top, c.content.right, c.content.bottom);
    Selection s;
    // A corner may be content; the other three still agree on the border colour.
    ASSERT_TRUE(s.TrimBorders(img, 1.0f));
    EXPECT_RECT(s.imageRect, c.content.left, c.content.top, c.content.right, c.content.bottom);
    EXPECT_TRUE(s.Exists());
  }
  // No three corners alike: nothing changes (but the whole picture is selected).
  ImageBuffer three = MakePicture(10, 10, [](int x, int y) -> uint32_t {
    return x == 0 && y == 0 ? 0xFF0000u : (x == 9 && y == 9 ? 0x00FF00u : 0x0000FFu + y);
  });
  Selection s;
  EXPECT_FALSE(s.TrimBorders(three, 1.0f));
  EXPECT_RECT(s.imageRect, 0, 0, 10, 10);
  ImageBuffer plain = SolidPicture(10, 10, white);
  EXPECT_FALSE(s.TrimBorders(plain, 1.0f));
}

TEST(Selection, ConversionsRoundHalfUp) {
  EXPECT_EQ(ViewToImage(5, 2.0f), 3);    // 2.5 rounds up
  EXPECT_EQ(ViewToImage(-3, 1.0f), -2);  // truncated toward zero after adding 0.5
  EXPECT_EQ(ImageToView(3, 0.5f), 2);
  EXPECT_EQ(CentrePixel(MakePicture(5, 5, [](int x, int y) { return uint32_t(x * 10 + y); }),
                        {0, 0, 5, 4}),
            22u);
}

}  // namespace
}  // namespace qp
