#include "qt/clipboard_qt.h"

#include <gtest/gtest.h>

#include "qt_app.h"
#include "support/test_support.h"
#include "view/clipboard.h"

namespace qp {
namespace {

using test::PixelAt;

TEST(QtClipboard, PictureAndTextRoundTripKeepThePixels) {
  test::QtApp();
  QtClipboard clipboard;
  const ImageBuffer picture = test::RandomPicture(37, 21, 5, true);
  ASSERT_TRUE(clipboard.SetImage(picture));
  EXPECT_TRUE(clipboard.HasImage());
  auto back = clipboard.GetImage();
  ASSERT_TRUE(back);
  ASSERT_EQ(back->width(), 37);
  ASSERT_EQ(back->height(), 21);
  EXPECT_TRUE(std::equal(back->bytes().begin(), back->bytes().end(), picture.bytes().begin()));

  // A paste keeps the alpha with transparency and drops it without.
  ViewerState state;
  UndoSnapshot undo;
  auto kept = LoadClipboardPicture(clipboard, kClipboardWithAlpha, undo, state);
  auto opaque = LoadClipboardPicture(clipboard, kClipboardOpaque, undo, state);
  ASSERT_TRUE(kept && opaque);
  EXPECT_EQ(PixelAt(*kept, 36, 20), PixelAt(picture, 36, 20));
  EXPECT_EQ(PixelAt(*opaque, 36, 20), PixelAt(picture, 36, 20) | 0xFF000000u);

  ASSERT_TRUE(clipboard.SetText("/pics/ä b.png"));
  EXPECT_EQ(clipboard.GetText(), "/pics/ä b.png");
  EXPECT_FALSE(clipboard.HasImage());
}

}  // namespace
}  // namespace qp
