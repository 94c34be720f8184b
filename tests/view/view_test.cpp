#include "view/view.h"

#include <sys/stat.h>

#include <array>

#include <gtest/gtest.h>

#include "support/jpeg_builder.h"
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
  EXPECT_EQ(host.title, "a.png - Quill Pix");
  // Camera data of the file before: a pasted picture has none.
  state.exif.isExif = 1;
  state.exif.latitudeRef[0] = 'N';
  ports.clipboard.image = test::SolidPicture(5, 3, 0x10203040);
  view.OpenDocument("Clipboard1");
  EXPECT_EQ(host.title, "Clipboard1 - Quill Pix");
  EXPECT_EQ(state.exif.isExif, 0);
  EXPECT_EQ(state.exif.latitudeRef[0], '\0');
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
  EXPECT_EQ(host.title, "Quill Pix");
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

TEST_F(View, ZoomStopsAtOnePixelAndAtThePixelLimit) {
  // Far out, the shorter side stays one pixel and the pane tells the zoom that is shown.
  view.OpenDocument(WritePng("a.png", 64, 32));
  for (int i = 0; i < 80; ++i) view.Hook(kViewCommandMarker, kCmdZoomOut, 0);
  EXPECT_EQ(view.displayHeight(), 1);
  EXPECT_EQ(view.shownWidth(), 2);
  EXPECT_FLOAT_EQ(state.zoom, 1.0f / 32);
  EXPECT_EQ(host.panes[kPaneZoom], "Z:3%");
  view.Hook(kViewCommandMarker, kCmdZoomIn, 0);
  EXPECT_FLOAT_EQ(state.zoom, kZoomStep / 32);
  // A locked zoom too small for a tiny picture keeps its value for the pictures after it.
  view.ToggleLockZoom();
  state.zoom = 0.05f;
  view.OpenDocument(WritePng("tiny.png", 4, 4));
  EXPECT_EQ(view.shownWidth(), 1);
  EXPECT_EQ(state.zoom, 0.05f);
  view.ToggleLockZoom();
  // Far in, the factor is bounded before it becomes a float (no picture to limit it here).
  view.OpenDocument("Clipboard9");  // the clipboard holds no picture
  ASSERT_FALSE(view.holdsPicture());
  state.zoom = 3e38f;
  view.Hook(kViewCommandMarker, kCmdZoomIn, 0);
  EXPECT_EQ(state.zoom, static_cast<float>(kMaxZoom));
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
  EXPECT_EQ(layout.ox, (1920 - 1050) / 2);  // centred on the 1050 columns shown
  EXPECT_EQ(layout.oy, 0);
  EXPECT_EQ(state.backgroundDirty, 0);
  state.ToggleFullScreenWithFit();
  EXPECT_FALSE(host.fullScreen);
  EXPECT_TRUE(ports.cursor.visible);

  // A 1366-pixel screen: the fitted width is 1366, its bitmap rows 1368. The picture still
  // fits: no scrolling, no cursor, no offset, and the name is centred on the 1366 columns.
  ports.screen.full = {0, 0, 1366, 768};
  view.OpenDocument(WritePng("wide.png", 2000, 1000));
  state.ToggleFullScreenWithFit();
  EXPECT_EQ(view.displayWidth(), 1368);
  EXPECT_EQ(view.shownWidth(), 1366);
  EXPECT_EQ(host.extentW, 1366);
  EXPECT_EQ(host.extentH, 768);
  EXPECT_FALSE(ports.cursor.visible);
  const PaintLayout wide = view.Paint(1366, 768);
  EXPECT_EQ(wide.ox, 0);
  EXPECT_EQ(wide.oy, (768 - 683) / 2);
  state.overlayMode = 1;
  EXPECT_EQ(view.OverlayLines(wide).at(0).x, (1366 - 14 * 8) / 2);
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
  // Nothing shown: the window keeps its size.
  view.Hook(kViewCommandMarker, kCmdFitToImage, 0);
  EXPECT_EQ(host.resizes, 0);
  // The picture's device pixels (its shown width, not the padded rows) and the margins in
  // window units, which the window adds after converting the picture's size.
  view.OpenDocument(WritePng("a.png", 101, 50));
  view.Hook(kViewCommandMarker, kCmdFitToImage, 0);
  EXPECT_EQ(host.resizes, 1);
  EXPECT_EQ(host.resizedW, 101);
  EXPECT_EQ(host.resizedH, 50);
  EXPECT_EQ(host.extraW, 40);
  EXPECT_EQ(host.extraH, 90);
}

// A rectangle as its four numbers, for comparing; all -1 for none.
std::array<int32_t, 4> Corners(const std::optional<PixelRect>& r) {
  if (!r) return {-1, -1, -1, -1};
  return {r->left, r->top, r->right, r->bottom};
}

TEST_F(View, TheDrawnSelectionFollowsEveryLayout) {
  const std::string path = WritePng("a.png", 200, 100);
  view.OpenDocument(path);
  view.Hook(kViewCommandMarker, kCmdHalveZoom, 0);
  ASSERT_EQ(state.zoom, 0.5f);
  view.selection().SelectByNumbers(11, 21, 120, 60, 200, 100, state.zoom);
  using C = std::array<int32_t, 4>;
  ASSERT_EQ(Corners(view.selection().Tracked()), (C{10, 5, 60, 30}));
  // A reload in a window starts at original size again: the drawn rectangle is the region.
  view.Hook(kViewCommandMarker, kCmdReload, 0);
  ASSERT_EQ(state.zoom, 1.0f);
  EXPECT_EQ(Corners(view.selection().Tracked()), (C{20, 10, 120, 60}));
  EXPECT_EQ(Corners(view.selectedRegion()), (C{20, 10, 120, 60}));
  // Selected in fullscreen, then the window's fit on leaving it.
  ports.screen.full = {0, 0, 800, 600};
  ports.screen.available = {0, 0, 1000, 1000};
  state.ToggleFullScreenWithFit();
  view.selection().SelectByNumbers(1, 1, 100, 50, 200, 100, state.zoom);
  state.ToggleFullScreenWithFit();
  ASSERT_FLOAT_EQ(state.zoom, 4.85f);  // 1000 / 200 x 0.97
  EXPECT_EQ(Corners(view.selection().Tracked()), Corners(ImageToView(PixelRect{0, 0, 100, 50}, state.zoom)));
}

TEST_F(View, TheInformationCommandKeepsTheJpegColourSpace) {
  const std::string path = dir.file("a.jpg");
  ASSERT_TRUE(test::WriteJpeg(path, test::SolidPicture(16, 8, 0xFF808080)));
  view.OpenDocument(path);
  ASSERT_EQ(state.jpegColourSpace, 3);  // YCbCr, recorded by the decoder
  view.CycleOverlay();
  view.CycleOverlay();  // details: the camera data is read again
  EXPECT_EQ(state.overlayMode, 2);
  EXPECT_EQ(state.jpegColourSpace, 3);
}

TEST_F(View, TheFirstFrameOfALongAnimationCarriesTheProgressBar) {
  if (!test::HaveTool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
  const std::string gif = dir.file("nine.gif");
  std::string frames;
  for (int i = 0; i < 9; ++i) frames += " xc:white";
  ASSERT_EQ(test::RunShell("convert -delay 2 -size 18x4" + frames + " " + test::ShellQuote(gif)), 0);
  view.OpenDocument(gif);
  ASSERT_EQ(state.animating, 1);
  ASSERT_EQ(state.frameIndex, 0);
  // Frame 1 of 9 on 18 columns: 2 dark pixels, the rest light, in the last row.
  EXPECT_EQ(test::PixelAt(state.animationCanvas, 1, 3) & 0xFFFFFF, 0x333333u);
  EXPECT_EQ(test::PixelAt(state.animationCanvas, 2, 3) & 0xFFFFFF, 0xCFCFCFu);
  EXPECT_EQ(test::PixelAt(state.animationCanvas, 2, 2) & 0xFFFFFF, 0xFFFFFFu);
  state.StopPlayback();
}

}  // namespace
}  // namespace qp
