#include "view/view.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "support/view_fixture.h"

namespace qp {
namespace {

using test::CountingPlayback;
using test::ViewFixture;
using View = ViewFixture;

TEST_F(View, HookAnswersOnlyTheMarker) {
  EXPECT_EQ(view.Hook(1234, kCmdZoomIn, 0), 0);
  EXPECT_EQ(state.zoom, 1.0f);
  EXPECT_EQ(view.Hook(kViewCommandMarker, 4074, 0), 1);  // accepted, nothing happens
  EXPECT_EQ(view.Hook(kViewCommandMarker, 4040, 0), 0);  // a frame command
  EXPECT_EQ(state.SendViewCommand(kCmdHasSelection, 0), 0);
}

TEST_F(View, OpeningAFileFillsThePanesAtOriginalSize) {
  const std::string path = WritePng("a.png", 640, 400);
  state.zoom = 0.5f;
  view.OpenDocument(path);
  EXPECT_EQ(state.currentPath, path);
  EXPECT_EQ(view.displayWidth(), 640);
  EXPECT_EQ(view.displayHeight(), 400);
  EXPECT_EQ(host.panes[kPanePath], path);
  EXPECT_EQ(host.panes[kPaneDimensions], "640 x 400");
  EXPECT_EQ(host.panes[kPaneZoom], "Z:100%");
  EXPECT_EQ(host.panes[kPaneSize], SizePaneText(view.fileSize()));
  EXPECT_EQ(files.current, std::vector<std::string>{path});
  EXPECT_EQ(host.extentW, 640);
  EXPECT_EQ(ports.cursor.waitShown, 1);
  EXPECT_EQ(ports.cursor.waitDepth, 0);
  // The display bitmap holds the picture's colour.
  const DisplayBitmap* bmp = view.displayBitmap();
  ASSERT_NE(bmp, nullptr);
  EXPECT_EQ(bmp->bits[0], 0x99);
  EXPECT_EQ(bmp->bits[2], 0x33);
}

TEST_F(View, BrokenEmptyAndMissingFilesShowThePlaceholder) {
  const std::string broken = dir.file("broken.png"), empty = dir.file("empty.jpg");
  test::WriteBytes(broken, {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'});
  test::WriteBytes(empty, {});
  for (const std::string& path : {broken, empty, dir.file("missing.jpg")}) {
    view.OpenDocument(path);
    EXPECT_TRUE(view.isPlaceholder()) << path;
    EXPECT_FALSE(view.holdsImage()) << path;
    EXPECT_EQ(host.panes[kPaneDimensions], "1 x 1") << path;
    EXPECT_EQ(host.panes[kPanePath], path);
  }
  EXPECT_EQ(host.panes[kPaneSize], "0 B");
}

TEST_F(View, AFifoNamedLikeAPictureDoesNotBlock) {
  const std::string fifo = dir.file("pipe.png");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  view.OpenDocument(fifo);
  EXPECT_TRUE(view.isPlaceholder());
}

TEST_F(View, ClipboardDocumentsShowThePastedPicture) {
  view.OpenDocument(WritePng("a.png", 40, 30));
  ports.clipboard.image = test::SolidPicture(5, 3, 0x10203040);
  view.OpenDocument("Clipboard1");
  EXPECT_EQ(host.panes[kPaneDimensions], "5 x 3");
  EXPECT_EQ(host.panes[kPaneSize], "0 B");
  EXPECT_EQ(test::PixelAt(view.picture(), 0, 0), 0xFF203040u);  // made opaque
  EXPECT_EQ(files.current.size(), 1u);  // not a file of the list
  view.OpenDocument("ClipboardWithTransparency2");
  EXPECT_EQ(test::PixelAt(view.picture(), 0, 0), 0x10203040u);
  ports.clipboard.image.reset();
  view.OpenDocument("Clipboard3");
  EXPECT_EQ(view.displayBitmap(), nullptr);
  EXPECT_EQ(host.panes[kPaneDimensions], "");
}

TEST_F(View, EmptyDocumentEmptiesThePanes) {
  view.OpenDocument(WritePng("a.png", 4, 4));
  view.OpenDocument("");
  for (uint32_t pane : {kPanePath, kPaneDimensions, kPaneSize, kPaneZoom}) EXPECT_EQ(host.panes[pane], "");
  EXPECT_EQ(view.displayBitmap(), nullptr);
}

TEST_F(View, ListFilesAreHandedToTheFileList) {
  const std::string list = dir.file("set.LST");
  test::WriteBytes(list, {'a', '\n'});
  view.OpenDocument(list);
  EXPECT_EQ(files.listFiles, std::vector<std::string>{list});
  ASSERT_EQ(ports.post.queue.size(), 1u);
  EXPECT_EQ(ports.post.queue.front().first, 4000);
  EXPECT_EQ(view.displayBitmap(), nullptr);
}

TEST_F(View, RedisplayDecodesOnceAndTheSystemShortcutClearsMetadata) {
  const std::string path = dir.file("a.xyz");
  test::WriteBytes(path, {1, 2, 3, 4, 5, 6, 7, 8, 9});
  state.exif.isExif = 1;  // left over from a previous JPEG
  view.OpenDocument(path);
  EXPECT_EQ(system.calls, 1);
  EXPECT_EQ(state.exif.isExif, 0);
  EXPECT_EQ(host.panes[kPaneDimensions], "3 x 2");
  EXPECT_EQ(view.displayWidth(), 4);  // 3 rounded up to 4
  view.Refresh();
  view.Hook(kViewCommandMarker, kCmdZoomIn, 0);
  EXPECT_EQ(system.calls, 1);
  view.Hook(kViewCommandMarker, kCmdReload, 0);
  EXPECT_EQ(system.calls, 2);
}

TEST_F(View, ZoomCommands) {
  view.OpenDocument(WritePng("a.png", 100, 50));
  for (int i = 0; i < 6; ++i) view.Hook(kViewCommandMarker, kCmdZoomIn, 0);
  EXPECT_EQ(state.zoom, 2.0f);
  EXPECT_EQ(state.lockedZoom, 2.0f);
  EXPECT_EQ(view.displayWidth(), 200);
  EXPECT_EQ(host.panes[kPaneZoom], "Z:200%");
  view.Hook(kViewCommandMarker, kCmdHalveZoom, 0);
  EXPECT_EQ(view.displayWidth(), 100);
  const int repaints = host.repaints;
  view.OriginalSize();  // already 1: nothing
  EXPECT_EQ(host.repaints, repaints);
  view.Hook(kViewCommandMarker, kCmdZoomOut, 0);
  EXPECT_EQ(view.displayHeight(), 45);
  view.OriginalSize();
  EXPECT_EQ(view.displayHeight(), 50);
}

TEST_F(View, ZoomingFarInShowsThePictureUnscaledWhenTooLarge) {
  view.OpenDocument(WritePng("a.png", 64, 32));
  for (int i = 0; i < 200; ++i) view.Hook(kViewCommandMarker, kCmdZoomIn, 0);
  EXPECT_GT(state.zoom, 1e9f);
  EXPECT_EQ(view.displayWidth(), 64);
  EXPECT_EQ(view.displayHeight(), 32);
}

TEST_F(View, FitsUseTheAvailableAreaAndLockZoomCarriesThem) {
  ports.screen.available = {0, 0, 1000, 1000};
  const std::string a = WritePng("a.png", 500, 250), b = WritePng("b.png", 100, 100);
  view.OpenDocument(a);
  view.SetFit(kFitScreen);
  EXPECT_FLOAT_EQ(state.zoom, 1.94f);  // 2 x 0.97 is smaller than 4 x 0.9
  EXPECT_EQ(view.displayWidth(), 972);  // 970 rounded up to a multiple of 4
  view.OpenDocument(b);  // a new file in a window starts at 1
  EXPECT_EQ(state.zoom, 1.0f);
  view.ToggleLockZoom();
  view.SetFit(kFitHeight);
  view.OpenDocument(a);
  EXPECT_FLOAT_EQ(state.zoom, 3.6f);  // fitted to height again
  EXPECT_EQ(view.displayHeight(), 900);
}

TEST_F(View, FullscreenFitsTheWholeScreenAndHidesTheCursor) {
  ports.screen.full = {0, 0, 1920, 1050};
  view.OpenDocument(WritePng("a.png", 100, 100));
  state.ToggleFullScreenWithFit();
  EXPECT_TRUE(host.fullScreen);
  EXPECT_FLOAT_EQ(state.zoom, 10.5f);
  EXPECT_EQ(view.displayWidth(), 1052);
  EXPECT_EQ(host.extentW, 1920);  // fits: the extent is the screen, no scrolling
  EXPECT_FALSE(ports.cursor.visible);
  const PaintLayout layout = view.Paint(1920, 1050);
  EXPECT_EQ(layout.ox, (1920 - 1052) / 2);
  EXPECT_EQ(layout.oy, 0);
  EXPECT_EQ(state.backgroundDirty, 0);
  state.ToggleFullScreenWithFit();
  EXPECT_FALSE(host.fullScreen);
  EXPECT_TRUE(ports.cursor.visible);
}

TEST_F(View, ScrollCommandsNeedTheirBar) {
  host.viewW = 200;
  host.viewH = 100;
  ports.screen.available = {0, 0, 1600, 1200};
  view.OpenDocument(WritePng("a.png", 150, 1000));  // only a vertical bar
  view.Hook(kViewCommandMarker, kCmdScrollDown, 0);
  EXPECT_EQ(host.pos.y, 100);  // 1200 / 12
  view.Hook(kViewCommandMarker, kCmdScrollRight, 0);
  EXPECT_EQ(host.pos.x, 0);
  view.Hook(kViewCommandMarker, kCmdScrollUp, 0);
  view.Hook(kViewCommandMarker, kCmdScrollUp, 0);
  EXPECT_EQ(host.pos.y, 0);
  view.Hook(kViewCommandMarker, kCmdScrollBottomLeft, 0);
  EXPECT_EQ(host.pos.y, 900);
  view.Hook(kViewCommandMarker, kCmdPageUp, 0);
  EXPECT_EQ(host.pos.y, 800);
  view.Hook(kViewCommandMarker, kCmdScrollHome, 0);
  EXPECT_EQ(host.pos.y, 0);
}

TEST_F(View, LineListIsDrawnIntoTheFirstPictureOnly) {
  struct Case {
    std::vector<int32_t> list;
    int32_t redPixels;
  };
  const Case cases[] = {
      {{0, 0, 9, 0, 9, 5}, 10 + 5},  // two segments share (9, 0)
      {{0, 1, 9, 1, 4}, 10},          // the odd value is ignored
      {{0, 0, 5}, 0},                 // too short: nothing, still used up
  };
  int n = 0;
  for (const Case& c : cases) {
    state.drawLines = c.list;
    view.OpenDocument(WritePng("l" + std::to_string(n++) + ".png", 10, 6, 0xFF000000));
    EXPECT_FALSE(state.drawLines.has_value());
    int red = 0;
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 10; ++x) red += (test::PixelAt(view.picture(), x, y) & 0xFFFFFF) == 0xFF0000;
    EXPECT_EQ(red, c.redPixels);
  }
}

TEST_F(View, AnimationTicksOfAnOldPlaybackAreDropped) {
  view.OpenDocument(WritePng("a.png", 4, 4));
  StartPlayback(3);
  const int32_t old = state.animationGeneration;
  state.StopPlayback();
  CountingPlayback* p = StartPlayback(12);
  const int32_t generation = state.animationGeneration;
  ASSERT_NE(old, generation);
  view.Hook(kViewCommandMarker, kCmdAnimationTick, old);
  EXPECT_EQ(p->steps, 0);
  view.Hook(kViewCommandMarker, kCmdAnimationTick, generation);
  EXPECT_EQ(p->steps, 1);
  view.Hook(kViewCommandMarker, kCmdAnimationTick, 0);  // stepping by hand
  EXPECT_EQ(p->steps, 2);
  EXPECT_EQ(view.pixels(), state.animationCanvas.data());
  // More than 8 frames: the last row carries the progress bar (frame 2 of 12: 1 dark pixel).
  EXPECT_EQ(test::PixelAt(state.animationCanvas, 0, 3), 0x333333u);
  EXPECT_EQ(test::PixelAt(state.animationCanvas, 1, 3), 0xCFCFCFu);

  // Pause toggles; restart makes the decoder start over.
  view.Hook(kViewCommandMarker, kCmdPauseAnimation, 0);
  EXPECT_EQ(state.paused, 1);
  view.Hook(kViewCommandMarker, kCmdRestartAnimation, 0);
  EXPECT_EQ(p->steps, 3);

  // Another file stops the playback; its ticks are stale from then on.
  view.OpenDocument(WritePng("b.png", 4, 4));
  EXPECT_EQ(state.animating, 0);
  view.Hook(kViewCommandMarker, kCmdAnimationTick, generation);
  EXPECT_EQ(view.displayWidth(), 4);
  EXPECT_NE(view.pixels(), nullptr);
}

TEST_F(View, RestartAndPauseWithoutAnimationDoNothing) {
  view.OpenDocument(WritePng("a.png", 4, 4));
  const int repaints = host.repaints;
  view.Hook(kViewCommandMarker, kCmdRestartAnimation, 0);
  view.Hook(kViewCommandMarker, kCmdPauseAnimation, 0);
  EXPECT_EQ(host.repaints, repaints);
  EXPECT_EQ(state.paused, 0);
}

TEST_F(View, OverlayCyclesAndReadsTheNameLine) {
  view.OpenDocument(WritePng("a.png", 40, 30));
  view.CycleOverlay();
  EXPECT_EQ(state.overlayMode, 1);
  auto lines = view.OverlayLines(view.Paint(800, 600));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].text, "a.png");
  view.CycleOverlay();
  lines = view.OverlayLines(view.Paint(800, 600));
  ASSERT_EQ(lines.size(), 6u);  // name, W, H, S, R and the colour profile
  EXPECT_EQ(lines[5].text, "P: sRGB");
  view.CycleOverlay();
  EXPECT_TRUE(view.OverlayLines(view.Paint(800, 600)).empty());
}

TEST_F(View, TheDisplayBitmapIsInTheScreensColours) {
  const std::string path = WritePng("a.png", 40, 30, 0xFF336699);
  const ColourProfilePtr wide = ColourProfile::FromCicp({9, 13, 0, true});
  ASSERT_NE(wide, nullptr);
  ports.screen.icc = wide->icc();
  view.OpenDocument(path);
  ASSERT_NE(view.displayBitmap(), nullptr);
  // sRGB shown on a wider screen: every channel moves towards the middle of the wider space.
  std::vector<uint8_t> expected = {0x99, 0x66, 0x33};
  ConvertBgr(expected.data(), 1, nullptr, wide.get());
  EXPECT_NE(expected, (std::vector<uint8_t>{0x99, 0x66, 0x33}));
  EXPECT_EQ(std::vector<uint8_t>(view.displayBitmap()->bits.begin(), view.displayBitmap()->bits.begin() + 3),
            expected);
  EXPECT_EQ(view.picture().data()[0], 0x99);  // the picture keeps its numbers

  // The window moves to an sRGB screen.
  ports.screen.icc.clear();
  view.ScreenChanged();
  EXPECT_EQ(view.displayBitmap()->bits[0], 0x99);
  EXPECT_EQ(view.displayBitmap()->bits[2], 0x33);

  // Colour management off: the stored numbers go to the screen, and no profile is named.
  ports.screen.icc = wide->icc();
  view.ScreenChanged();
  settings.WriteText("ColourManagement", "false");
  view.Hook(kViewCommandMarker, kCmdReload, 0);
  EXPECT_EQ(view.displayBitmap()->bits[0], 0x99);
  state.overlayMode = 2;
  for (const OverlayLine& line : view.OverlayLines(view.Paint(800, 600)))
    EXPECT_FALSE(line.text.starts_with("P: "));
}

TEST_F(View, FitToImageSizesTheFrameAroundThePicture) {
  view.OpenDocument(WritePng("a.png", 101, 50));
  view.Hook(kViewCommandMarker, kCmdFitToImage, 0);
  EXPECT_EQ(host.resizedW, 104 + 40);
  EXPECT_EQ(host.resizedH, 50 + 90);
}

}  // namespace
}  // namespace qp
