#include "view/clipboard.h"

#include <gtest/gtest.h>

#include "edit_fixture.h"

namespace qp {
namespace {

using test::EditFixture;
using test::PixelAt;
using test::RandomPicture;

TEST(Clipboard, PseudoDocumentNames) {
  EXPECT_EQ(ClipboardName(false, 12), "Clipboard12");
  EXPECT_EQ(ClipboardName(true, 4000000000u), "ClipboardWithTransparency4000000000");
}

TEST(Clipboard, CopyPlacesTheSelectionOrThePictureOpaqueAtFullSize) {
  EditFixture f(RandomPicture(101, 50, 3, true));
  f.state.zoom = 0.25f;
  f.Run(cmd::kCopy);
  ASSERT_TRUE(f.fakes.clipboard.image);
  EXPECT_EQ(f.fakes.clipboard.image->width(), 101);
  EXPECT_EQ(PixelAt(*f.fakes.clipboard.image, 7, 9), PixelAt(f.view.picture, 7, 9) | 0xFF000000);

  f.selection.SetImageRect({10, 5, 30, 25}, 0.25f, true);
  f.Run(cmd::kCopy);
  ASSERT_EQ(f.fakes.clipboard.image->width(), 20);
  EXPECT_EQ(PixelAt(*f.fakes.clipboard.image, 0, 0), PixelAt(f.view.picture, 10, 5) | 0xFF000000);

  // Copy Frame takes the display copy with its padded width.
  f.view.displayWidth = 104;
  f.view.displayHeight = 2;
  f.view.display.assign(104 * 3 * 2, 0);
  f.view.display[3 * 103] = 0x7F;  // blue of the last padding column, first row
  f.Run(cmd::kCopyFrame);
  ASSERT_EQ(f.fakes.clipboard.image->width(), 104);
  EXPECT_EQ(PixelAt(*f.fakes.clipboard.image, 103, 0), 0xFF00007Fu);
}

TEST(Clipboard, PastesAreNumberedAndRefreshGoesBack) {
  EditFixture f;
  auto r = f.Run(cmd::kPaste);
  EXPECT_EQ(r.after, AfterCommand::Refresh);
  EXPECT_EQ(f.view.documentPath, "Clipboard1");
  EXPECT_EQ(f.state.lastFilePath, "/pics/a.png");
  f.Run(cmd::kPasteWithTransparency);
  EXPECT_EQ(f.view.documentPath, "ClipboardWithTransparency2");
  EXPECT_EQ(f.state.lastFilePath, "/pics/a.png");  // a pseudo-document is never remembered
  EXPECT_EQ(f.settings.ReadNumber("ClipboardCounter"), 2);

  // The stored count carries over to the next run (a new view starts its own count at 0).
  EditFixture next;
  next.backend.setNumber("ClipboardCounter", 41);
  next.Run(cmd::kPaste);
  EXPECT_EQ(next.view.documentPath, "Clipboard42");
}

}  // namespace
}  // namespace qp
