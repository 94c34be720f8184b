// The selection, mouse, clipboard and edit commands in the real window (offscreen).
#include <gtest/gtest.h>

#include <QClipboard>
#include <QWheelEvent>

#include "ops/ops.h"
#include "window_fixture.h"

namespace qp {
namespace {

using test::PixelAt;
using test::RandomPicture;
using test::WindowFixture;

bool SamePixels(const ImageBuffer& a, const ImageBuffer& b) {
  return a.width() == b.width() && a.height() == b.height() &&
         std::equal(a.bytes().begin(), a.bytes().end(), b.bytes().begin());
}

void Drag(QWidget* w, QPoint from, QPoint via, QPoint to, Qt::MouseButton button = Qt::LeftButton) {
  QTest::mousePress(w, button, {}, from);
  QTest::mouseMove(w, via);
  QTest::mouseMove(w, to);
  QTest::mouseRelease(w, button, {}, to);
}

TEST(ViewEditWindow, DraggedSelectionIsReadInImagePixelsAtEachZoom) {
  WindowFixture f;
  f.Open(f.WritePng("a.png", RandomPicture(200, 150, 1)));
  struct {
    float zoom;
    PixelRect image;
  } cases[] = {{0.5f, {20, 20, 200, 120}}, {1.0f, {10, 10, 110, 60}}, {3.0f, {3, 3, 37, 20}}};
  for (const auto& c : cases) {
    f.SetZoom(c.zoom);
    ASSERT_EQ(f.window.viewWidget().horizontalScrollBar()->maximum(), 0) << c.zoom;
    Drag(f.viewport(), {10, 10}, {50, 30}, {110, 60});
    ASSERT_TRUE(f.view.hasSelection()) << c.zoom;
    const PixelRect r = f.view.selection().imageRect;
    EXPECT_EQ(r.left, c.image.left) << c.zoom;
    EXPECT_EQ(r.top, c.image.top) << c.zoom;
    EXPECT_EQ(r.right, c.image.right) << c.zoom;
    EXPECT_EQ(r.bottom, c.image.bottom) << c.zoom;
    EXPECT_EQ(f.state.SendViewCommand(4039, 0), 1);
  }
  // The selection is drawn: the outline's white under-line shows at its top-left corner.
  f.SetZoom(1.0f);
  Drag(f.viewport(), {20, 20}, {40, 40}, {80, 70});
  const QImage shot = f.viewport()->grab().toImage();
  const QRgb corner = shot.pixel(20, 20);
  EXPECT_TRUE(corner == qRgb(255, 255, 255) || corner == qRgb(0, 0, 0));
  // A zoom clears it.
  f.router->Execute(4031);
  EXPECT_FALSE(f.view.hasSelection());
}

TEST(ViewEditWindow, ALargerPictureIsPannedAndTheWheelZoomsPerNotch) {
  WindowFixture f;
  f.Open(f.WritePng("big.png", RandomPicture(1600, 1200, 2)));
  QScrollBar* h = f.window.viewWidget().horizontalScrollBar();
  QScrollBar* v = f.window.viewWidget().verticalScrollBar();
  ASSERT_GT(h->maximum(), 0);
  h->setValue(100);
  v->setValue(100);
  Drag(f.viewport(), {300, 300}, {280, 290}, {250, 280});
  EXPECT_EQ(h->value(), 150);
  EXPECT_EQ(v->value(), 120);
  EXPECT_FALSE(f.view.hasSelection());

  // Without Ctrl the wheel scrolls; with Ctrl, eight touchpad steps of 15 zoom in once.
  const float before = f.state.zoom;
  auto wheel = [&](int delta, Qt::KeyboardModifiers mods) {
    QWheelEvent e(QPointF(100, 100), f.viewport()->mapToGlobal(QPointF(100, 100)), QPoint(),
                  QPoint(0, delta), Qt::NoButton, mods, Qt::NoScrollPhase, false);
    QApplication::sendEvent(f.viewport(), &e);
  };
  wheel(-120, Qt::NoModifier);
  EXPECT_EQ(f.state.zoom, before);
  for (int i = 0; i < 8; ++i) wheel(15, Qt::ControlModifier);
  EXPECT_FLOAT_EQ(f.state.zoom, static_cast<float>(before * 1.122462));
}

TEST(ViewEditWindow, CopyPasteRoundTripThroughTheClipboardAndBack) {
  WindowFixture f;
  const ImageBuffer original = RandomPicture(64, 48, 3);
  const std::string path = f.WritePng("c.png", original);
  f.Open(path);
  f.view.selection().SetImageRect({8, 4, 40, 36}, 1.0f, true);
  ASSERT_TRUE(f.router->Execute(57634));  // Copy
  EXPECT_TRUE(f.qtPorts.clipboard.HasImage());
  ASSERT_TRUE(f.router->Execute(57637));  // Paste
  EXPECT_EQ(f.view.documentPath(), "Clipboard1");
  EXPECT_EQ(f.window.PaneText(kPanePath).toStdString(), "Clipboard1");
  ASSERT_EQ(f.view.pictureWidth(), 32);
  for (int32_t y = 0; y < 32; y += 7)
    for (int32_t x = 0; x < 32; x += 5)
      EXPECT_EQ(PixelAt(f.Picture(), x, y), PixelAt(original, 8 + x, 4 + y) | 0xFF000000u);
  // The reload goes back to the file shown before the paste.
  f.state.SendViewCommand(4025, 0);
  EXPECT_EQ(f.view.documentPath(), path);
  EXPECT_EQ(f.view.pictureWidth(), 64);
}

TEST(ViewEditWindow, EditCommandsThroughTheRouterMatchTheirOperations) {
  WindowFixture f;
  const ImageBuffer original = RandomPicture(30, 20, 4);
  f.Open(f.WritePng("e.png", original));
  struct Row {
    uint16_t id;
    std::function<void(ImageBuffer&, UndoSnapshot&, ViewerState&)> op;
    bool refreshes;
  } rows[] = {
      {4100, [](auto& i, auto&, auto& s) { RotateClockwise(i, s); }, true},
      {4099, [](auto& i, auto&, auto& s) { RotateCounterClockwise(i, s); }, true},
      {4101, [](auto& i, auto&, auto& s) { FlipVertical(i, s); }, true},
      {4102, [](auto& i, auto&, auto& s) { FlipHorizontal(i, s); }, true},
      {4103, [](auto& i, auto&, auto& s) { UpsideDown(i, s); }, true},
      {4133, [](auto& i, auto&, auto& s) { LeftRightSwap(i, s); }, true},
      {4106, [](auto& i, auto& u, auto& s) { ApplyFilter(FilterKind::Sharpen, i, u, s); }, true},
      {4107, [](auto& i, auto& u, auto& s) { ApplyFilter(FilterKind::Soften, i, u, s); }, true},
      {4108, [](auto& i, auto& u, auto& s) { ApplyFilter(FilterKind::Blur, i, u, s); }, true},
      {4115, [](auto& i, auto& u, auto& s) { ApplyFilter(FilterKind::SharpenMore, i, u, s); }, true},
      {4109, [](auto&, auto&, auto&) {}, true},  // Pixelate without a selection
      {4120, [](auto& i, auto& u, auto& s) { Negative(i, u, s); }, true},
      {4121, [](auto& i, auto& u, auto& s) { Grayscale(i, u, s); }, true},
      {4175, [](auto& i, auto& u, auto& s) { BlackAndWhite(i, u, s); }, true},
      {4119, [](auto&, auto&, auto&) {}, false},  // no meaningful alpha: nothing to toggle
      {4140, [](auto& i, auto& u, auto& s) { SetToBackground(i, u, s); }, false},
      {4141, [](auto& i, auto& u, auto& s) { FillFromBackground(i, u, s); }, false},
      {4136, [](auto& i, auto& u, auto& s) { RemoveTransparency(i, u, s); }, false},
      {4124, [](auto& i, auto&, auto& s) { Outline(i, s); }, true},
      {4142, [](auto& i, auto& u, auto& s) { RoundedCorners(i, u, s); }, true},
      {4146, [](auto& i, auto& u, auto& s) { ViewTransparencyOnly(i, u, s); }, true},
      {4128, [](auto& i, auto& u, auto& s) { ApplyDither(0, i, u, s); }, true},
      {4129, [](auto& i, auto& u, auto& s) { ApplyDither(1, i, u, s); }, true},
      {4130, [](auto& i, auto& u, auto& s) { ApplyDither(2, i, u, s); }, true},
      {4131, [](auto& i, auto& u, auto& s) { ApplyDither(3, i, u, s); }, true},
      {4132, [](auto& i, auto& u, auto& s) { ApplyDither(4, i, u, s); }, true},
  };
  for (const Row& row : rows) {
    ImageBuffer expected = f.Picture();
    ViewerState st;
    UndoSnapshot u;
    row.op(expected, u, st);
    const int32_t displayBefore = f.view.displayWidth();
    const uint8_t firstBefore = f.view.displayBitmap()->bits[0];
    ASSERT_TRUE(f.router->Execute(row.id)) << row.id;
    EXPECT_TRUE(SamePixels(f.Picture(), expected)) << row.id;
    if (row.refreshes) {
      // The display follows the picture: its first pixel and its width.
      EXPECT_EQ(f.view.displayBitmap()->bits[0], expected.data()[0]) << row.id;
      EXPECT_EQ(f.view.displayWidth(), (expected.width() + 3) / 4 * 4) << row.id;
    } else {
      EXPECT_EQ(f.view.displayWidth(), displayBefore);
      EXPECT_EQ(f.view.displayBitmap()->bits[0], firstBefore);
    }
  }
  // Undo restores the picture before the last operation that kept a snapshot.
  ImageBuffer beforeNegative = f.Picture();
  f.router->Execute(4120);
  EXPECT_TRUE(f.router->Query(57643).enabled);
  f.router->Execute(57643);
  EXPECT_TRUE(SamePixels(f.Picture(), beforeNegative));

  // Crop through the router, and the selection commands' update rule.
  EXPECT_FALSE(f.router->Query(4104).enabled);
  f.router->Execute(57642);  // Select All
  EXPECT_TRUE(f.router->Query(4104).enabled);
  // 4:3 on the 30 x 20 picture: 7 units reach one row past it; the crop clamps.
  f.router->Execute(4113);
  EXPECT_EQ(f.view.selection().imageRect.right, 28);
  EXPECT_EQ(f.view.selection().imageRect.bottom, 21);
  f.router->Execute(4104);
  EXPECT_EQ(f.view.pictureWidth(), 28);
  EXPECT_EQ(f.view.pictureHeight(), 20);
  EXPECT_FALSE(f.view.hasSelection());
}

TEST(ViewEditWindow, TrimSelectsTheContentAndADoubleClickTogglesFullscreen) {
  WindowFixture f;
  f.Open(f.WritePng("t.png", test::MakePicture(80, 60, [](int x, int y) {
    return x >= 30 && x < 50 && y >= 10 && y < 40 ? 0xFF000000u : 0xFFFFFFFFu;
  })));
  ASSERT_TRUE(f.router->Execute(4134));  // Trim Borders
  const PixelRect r = f.view.selection().imageRect;
  EXPECT_EQ(r.left, 30);
  EXPECT_EQ(r.top, 10);
  EXPECT_EQ(r.right, 50);
  EXPECT_EQ(r.bottom, 40);
  EXPECT_TRUE(f.view.hasSelection());
  QTest::mouseDClick(f.viewport(), Qt::LeftButton, {}, {40, 20});
  EXPECT_EQ(f.state.fullScreen, 1);
  EXPECT_FALSE(f.view.hasSelection());
  // No selection is made in fullscreen.
  Drag(f.viewport(), {10, 10}, {40, 30}, {60, 50});
  EXPECT_FALSE(f.view.hasSelection());
  QTest::mouseDClick(f.viewport(), Qt::LeftButton, {}, {40, 20});
  EXPECT_EQ(f.state.fullScreen, 0);
}

TEST(ViewEditWindow, RightButtonStrokeRunsItsCommand) {
  WindowFixture f;
  const std::string a = f.WritePng("a.png", RandomPicture(40, 30, 5));
  const std::string b = f.WritePng("b.png", RandomPicture(40, 30, 6));
  f.state.useGestures = 1;
  f.Open(a);
  QTest::mousePress(f.viewport(), Qt::RightButton, {}, {100, 200});
  for (int i = 1; i <= 20; ++i) QTest::mouseMove(f.viewport(), {100 + i * 15, 200});
  QTest::mouseRelease(f.viewport(), Qt::RightButton, {}, {400, 200});
  QCoreApplication::processEvents();  // the posted Next File
  EXPECT_EQ(f.view.documentPath(), b);
}

TEST(ViewEditWindow, LineListIsDrawnIntoTheFirstPicture) {
  WindowFixture f;
  f.settings.WriteText("LineColour", "#FF0000");
  f.state.drawLines = std::vector<int32_t>{0, 0, 100, 100};
  f.Open(f.WritePng("w.png", test::SolidPicture(200, 150, 0xFFFFFFFF)));
  // An opaque PNG reads with alpha 0, which the line keeps.
  EXPECT_EQ(PixelAt(f.Picture(), 50, 50), 0x00FF0000u);
  EXPECT_EQ(PixelAt(f.Picture(), 60, 50), 0x00FFFFFFu);
  const QImage shot = f.viewport()->grab().toImage();
  EXPECT_EQ(shot.pixel(50, 50), qRgb(255, 0, 0));
  EXPECT_EQ(shot.pixel(100, 100), qRgb(255, 0, 0));
  EXPECT_EQ(shot.pixel(101, 100), qRgb(255, 255, 255));
  EXPECT_FALSE(f.state.drawLines);
}

}  // namespace
}  // namespace qp
