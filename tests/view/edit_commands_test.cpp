#include "view/edit_commands.h"

#include <gtest/gtest.h>

#include <functional>

#include "edit_fixture.h"
#include "ops/ops.h"

namespace qp {
namespace {

using test::EditFixture;
using test::MakePicture;
using test::PixelAt;
using test::RandomPicture;

bool SamePixels(const ImageBuffer& a, const ImageBuffer& b) {
  return a.width() == b.width() && a.height() == b.height() &&
         std::equal(a.bytes().begin(), a.bytes().end(), b.bytes().begin());
}

TEST(EditCommands, AlphaToolsRedrawOnlyWhatTheDisplayShows) {
  EditFixture withAlpha(RandomPicture(8, 8, 1, true));
  EXPECT_EQ(withAlpha.Run(cmd::kToggleTransparency).after, AfterCommand::Refresh);
  EXPECT_EQ(withAlpha.Run(cmd::kSetToBackground).after, AfterCommand::Nothing);
  EXPECT_TRUE(withAlpha.undo.exists());
  EditFixture opaque(RandomPicture(8, 8, 1, false));
  EXPECT_EQ(opaque.Run(cmd::kToggleTransparency).after, AfterCommand::Nothing);
  EditFixture none(ImageBuffer{});
  EXPECT_EQ(none.Run(cmd::kNegative).after, AfterCommand::Nothing);  // no picture: nothing runs
}

TEST(EditCommands, SelectionCommandsWorkInTheRegionAndClearIt) {
  struct Row {
    uint16_t id;
    std::function<void(ImageBuffer&, std::optional<PixelRect>, UndoSnapshot&, ViewerState&)> op;
  } rows[] = {
      {cmd::kPixelate, [](auto& i, auto r, auto& u, auto& s) { Pixelate(i, r, u, s); }},
      {cmd::kEllipse,
       [](auto& i, auto r, auto& u, auto& s) { DrawEllipse(i, r, 0x00FF00, u, s); }},
      {cmd::kRectangle,
       [](auto& i, auto r, auto& u, auto& s) { DrawRectangle(i, r, 0xFF0000, u, s); }},
      {cmd::kBox, [](auto& i, auto r, auto& u, auto& s) { DrawBox(i, r, 0, u, s); }},
  };
  for (const auto& row : rows) {
    for (bool selected : {true, false}) {
      EditFixture f(RandomPicture(60, 40, 5));
      f.settings.WriteText("EllipseColour", "#00FF00");
      if (selected) f.selection.SetImageRect({5, 6, 40, 30}, 1.0f, true);
      ImageBuffer expected = *f.view.picture.Clone();
      ViewerState st;
      UndoSnapshot u;
      row.op(expected, selected ? std::optional<PixelRect>(PixelRect{5, 6, 40, 30}) : std::nullopt,
             u, st);
      EXPECT_EQ(f.Run(row.id).after, AfterCommand::Refresh) << row.id;
      EXPECT_TRUE(SamePixels(f.view.picture, expected)) << row.id << selected;
      EXPECT_FALSE(f.selection.Exists());
      EXPECT_EQ(f.undo.exists(), selected) << row.id;
    }
  }
}

TEST(EditCommands, CropOfAPausedPlaybackFrameStopsThePlayback) {
  EditFixture f(ImageBuffer{});
  f.state.animationCanvas = RandomPicture(30, 20, 2);
  f.state.animating = 1;
  f.state.paused = 1;
  f.view.canvasShown = true;
  const uint32_t corner = PixelAt(f.state.animationCanvas, 3, 4);
  f.selection.SetImageRect({3, 4, 13, 14}, 1.0f, true);
  EXPECT_EQ(f.Run(cmd::kNegative).after, AfterCommand::Nothing);  // not while it plays
  EXPECT_EQ(f.Run(cmd::kCrop).after, AfterCommand::Refresh);
  EXPECT_EQ(f.state.animating.load(), 0);
  EXPECT_FALSE(f.view.canvasShown);
  EXPECT_EQ(PixelAt(f.view.picture, 0, 0), corner);
}

TEST(EditCommands, ResampleDialogFieldsSettingsAndFullscreen) {
  EditFixture f(RandomPicture(100, 50, 4));
  f.state.fullScreen = 1;
  EXPECT_EQ(f.Run(cmd::kResample).after, AfterCommand::Nothing);  // cancelled
  EXPECT_EQ(f.state.fullScreen, 0);                                 // left before the dialog
  f.dialogs.resample = [](ResampleDialog& d) {
    EXPECT_EQ(d.widthText, "100");
    EXPECT_EQ(d.heightText, "50");
    EXPECT_TRUE(d.keepAspect && d.sharpen && !d.useResize && d.pixelOptionsEnabled);
    EXPECT_EQ(d.WidthEdited("40"), "20");
    d.sharpen = false;
    d.useResize = true;
  };
  ImageBuffer expected = *ResizeNearest(f.view.picture, 40, 20);
  EXPECT_EQ(f.Run(cmd::kResample).after, AfterCommand::Refresh);
  EXPECT_TRUE(SamePixels(f.view.picture, expected));
  EXPECT_EQ(f.undo.width(), 100);
  EXPECT_EQ(f.settings.ReadNumber("SharpenAfterResample"), 0);
  EXPECT_EQ(f.settings.ReadNumber("UseResize"), 1);
  EXPECT_EQ(f.settings.ReadNumber("KeepAspectRatio"), 1);
  EXPECT_EQ(f.fakes.cursor.waitShown, 1);

  // A vector picture disables the pixel options but keeps their state.
  f.state.vectorSource = 1;
  f.dialogs.resample = [](ResampleDialog& d) {
    EXPECT_FALSE(d.pixelOptionsEnabled);
    EXPECT_TRUE(d.useResize);
    d.widthText = "0";  // a form would refuse this; the command ignores it too
  };
  EXPECT_EQ(f.Run(cmd::kResample).after, AfterCommand::Nothing);
}

TEST(EditCommands, AddBordersCustomSelectionAndColour) {
  EditFixture f(MakePicture(100, 50, [](int x, int y) { return 0xFF102030u + x + y; }));
  f.dialogs.addBorders = [](AddBordersDialog& d) {
    EXPECT_EQ(d.colourText, "#102030");
    EXPECT_EQ(d.topText, "0");
    d.topText = "10";
  };
  EXPECT_EQ(f.Run(cmd::kAddBorders).after, AfterCommand::Refresh);
  EXPECT_EQ(f.view.picture.height(), 60);
  EXPECT_EQ(PixelAt(f.view.picture, 0, 10), 0xFF102030u);
  EXPECT_EQ(PixelAt(f.view.picture, 0, 9), 0x00102030u);

  f.dialogs.customSelection = [](CustomSelectionDialog& d) {
    EXPECT_EQ(d.widthText, "100");
    EXPECT_EQ(d.heightText, "60");
    d.widthText = d.heightText = "10";
  };
  EXPECT_EQ(f.Run(cmd::kCustomSelection).after, AfterCommand::Repaint);
  EXPECT_EQ(f.selection.imageRect.right, 10);
  EXPECT_EQ(f.selection.imageRect.bottom, 10);
  f.Run(cmd::kShowSelectedColour);
  ASSERT_EQ(f.dialogs.colours.size(), 1u);
  EXPECT_EQ(f.dialogs.colours[0], "16,32,48 #102030");  // (5, 5) is border colour

  EXPECT_EQ(f.Run(cmd::kSelectAll).after, AfterCommand::Repaint);
  EXPECT_EQ(f.selection.imageRect.bottom, 60);
  EXPECT_EQ(f.Run(cmd::kAspect16x9).after, AfterCommand::Repaint);
  EXPECT_EQ(f.selection.imageRect.right, 96);
  EXPECT_EQ(f.Run(cmd::kTrimBorders).after, AfterCommand::Repaint);
  EXPECT_EQ(f.Run(cmd::kClearSelection).after, AfterCommand::Repaint);
  EXPECT_FALSE(f.selection.Exists());
}

TEST(EditCommands, JoinSeriesStopsAtTheFirstFileThatCannotBeLoaded) {
  EditFixture f(test::SolidPicture(100, 150, 0xFFFFFFFF));
  f.view.files["/pics/b.png"] = [] { return test::SolidPicture(200, 100, 0xFF0000FF); };
  f.view.files["/pics/c.png"] = [] { return test::SolidPicture(10, 10, 0xFF00FF00); };
  f.fakes.fileDialogs.answers.push_back(
      FileDialogResult{{"/pics/b.png", "/pics/missing.png", "/pics/c.png"}, 1});
  EXPECT_EQ(f.Run(cmd::kJoinRight).after, AfterCommand::Refresh);
  ASSERT_EQ(f.fakes.fileDialogs.requests.size(), 1u);
  EXPECT_TRUE(f.fakes.fileDialogs.requests[0].allowMultiple);
  EXPECT_EQ(f.fakes.fileDialogs.requests[0].folder, "/pics");
  EXPECT_EQ(f.view.picture.width(), 300);  // b joined, c never reached
  ASSERT_EQ(f.fakes.messages.shown.size(), 1u);
  EXPECT_EQ(f.fakes.messages.shown[0].text, "Could not load image");
  EXPECT_EQ(f.fakes.messages.shown[0].icon, MessageIcon::Error);
  EXPECT_EQ(f.Run(cmd::kJoinBelow).after, AfterCommand::Nothing);  // cancelled
}

TEST(EditCommands, LoadFromImageTakesAlphaFromAMaskOfTheSameSize) {
  EditFixture f(test::SolidPicture(4, 3, 0xFF808080));
  f.view.files["/m/mask.png"] = [] {
    return MakePicture(4, 3, [](int x, int) { return uint32_t(x * 60); });
  };
  f.view.files["/m/small.png"] = [] { return test::SolidPicture(4, 2, 0); };
  f.fakes.fileDialogs.answers.push_back(FileDialogResult{{"/m/small.png"}, 1});
  f.fakes.fileDialogs.answers.push_back(FileDialogResult{{"/m/none.png"}, 1});
  f.fakes.fileDialogs.answers.push_back(FileDialogResult{{"/m/mask.png"}, 1});
  f.Run(cmd::kLoadFromImage);
  f.Run(cmd::kLoadFromImage);
  EXPECT_EQ(f.Run(cmd::kLoadFromImage).after, AfterCommand::Nothing);
  ASSERT_EQ(f.fakes.messages.shown.size(), 2u);
  EXPECT_EQ(f.fakes.messages.shown[0].text, "Image dimensions do not match");
  EXPECT_EQ(f.fakes.messages.shown[1].text, "Could not load image");
  EXPECT_EQ(PixelAt(f.view.picture, 3, 1), 0xB4808080u);
}

TEST(EditCommands, DialogFieldsAreValidatedWithClearMessages) {
  struct {
    std::string text;
    std::optional<std::string> message;
  } widths[] = {
      {"640", std::nullopt},
      {" 640 ", std::nullopt},
      {"", "Please enter a number for the width."},
      {"abc", "The width must be a whole number."},
      {"12px", "The width must be a whole number."},
      {"-5", "The width cannot be negative."},
      {"0", "The width must be at least 1."},
      {"65537", "The width must not be more than 65536."},
      {"99999999999999999999999", "The width must not be more than 65536."},
  };
  for (const auto& c : widths) {
    ResampleDialog d(10, 10, false);
    d.widthText = c.text;
    EXPECT_EQ(d.Validate(), c.message) << c.text;
  }
  ResampleDialog big(10, 10, false);
  big.widthText = big.heightText = "65536";
  EXPECT_EQ(big.Validate(), "A picture of 65536 x 65536 pixels is too large.");

  AddBordersDialog borders(100, 50, 0);
  EXPECT_EQ(borders.Validate(), std::nullopt);
  borders.leftText = "-1";
  EXPECT_EQ(borders.Validate(), "The left border cannot be negative.");
  borders.leftText = "0";
  borders.colourText = "red";
  EXPECT_EQ(borders.Validate(), "The colour must be written as #RRGGBB.");

  CustomSelectionDialog custom(10, 10);
  EXPECT_EQ(custom.Validate(), std::nullopt);
  custom.topText = "0";
  EXPECT_EQ(custom.Validate(), "The top must be at least 1.");
  custom.topText = "1";
  custom.widthText = "3000000000";
  EXPECT_EQ(custom.Validate(), "The width must not be more than 2147483647.");
}

}  // namespace
}  // namespace qp
