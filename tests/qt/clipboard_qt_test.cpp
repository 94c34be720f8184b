#include <gtest/gtest.h>

#include "qt/qt_ports.h"
#include "qt_app.h"
#include "support/test_support.h"

namespace qp {
namespace {

// Through the real clipboard a picture keeps every byte, alpha included; text replaces it.
TEST(QtClipboardPort, PictureAndTextRoundTrip) {
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
  ASSERT_TRUE(clipboard.SetText("/pics/ä b.png"));
  EXPECT_EQ(clipboard.GetText(), "/pics/ä b.png");
  EXPECT_FALSE(clipboard.HasImage());
}

}  // namespace
}  // namespace qp
