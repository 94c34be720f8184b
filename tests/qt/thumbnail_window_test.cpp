// The thumbnail grid in the real window, offscreen: G shows it with the current file
// selected, keys and the mouse move and open, Esc goes back, the status bar follows the
// selection, and Delete asks about the selected file.
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWheelEvent>
#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include "qt/window_fixture.h"
#include "core/md5.h"
#include "support/scoped_env.h"
#include "view/thumbnail_cache.h"

namespace qp {
namespace {

struct GridWindow {
  test::TempDir cacheHome;
  test::ScopedEnv env{"XDG_CACHE_HOME", cacheHome.path()};
  test::WindowFixture f;
  std::vector<std::string> paths;

  explicit GridWindow(int count) {
    f.window.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&f.window));
    for (int i = 0; i < count; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "pic%02d.png", i);
      paths.push_back(f.WritePng(name, test::SolidPicture(60 + i, 40, 0xFF000000u | (i * 0x0A0B0C))));
    }
  }
  ThumbnailMode& mode() { return *f.window.thumbnails(); }
  ThumbnailWidget& grid() { return f.window.thumbnailWidget(); }
  void Key(QWidget* to, Qt::Key key) {
    QTest::keyClick(to, key);
    QCoreApplication::processEvents();
  }
  std::string Pane(uint32_t pane) { return f.window.PaneText(pane).toStdString(); }
  // Lets the workers finish and their results arrive.
  void Settle() {
    for (int i = 0; i < 400 && !mode().WorkersIdle(); ++i) QTest::qWait(10);
    QTest::qWait(20);
    QCoreApplication::processEvents();
  }
};

TEST(ThumbnailWindow, KeysMoveOpenAndLeave) {
  GridWindow w(30);
  w.f.Open(w.paths[3]);
  w.Key(&w.f.window, Qt::Key_G);
  ASSERT_TRUE(w.mode().active());
  EXPECT_TRUE(w.grid().isVisible());
  EXPECT_FALSE(w.f.window.viewWidget().isVisible());
  EXPECT_TRUE(w.grid().hasFocus());
  EXPECT_EQ(w.mode().grid().count(), 30);
  EXPECT_EQ(w.mode().grid().selected(), 3);
  EXPECT_EQ(w.Pane(kPanePosition), "4/30");
  EXPECT_EQ(w.Pane(kPanePath), "pic03.png");
  EXPECT_NE(w.Pane(kPaneSize), "");

  // The thumbnails arrive from the workers and are in the shared cache afterwards.
  w.Settle();
  const ThumbnailGrid& g = w.mode().grid();
  ASSERT_TRUE(g.cell(0).pixels);
  EXPECT_EQ(g.cell(0).pixels->width(), 60);
  EXPECT_TRUE(std::filesystem::exists(w.cacheHome.path() + "/thumbnails/normal/" +
                                      Md5Hex(FileUri(w.paths[0])) + ".png"));

  const int cols = g.columns();
  ASSERT_GT(cols, 1);
  w.Key(&w.grid(), Qt::Key_Right);
  w.Key(&w.grid(), Qt::Key_Down);
  EXPECT_EQ(g.selected(), 4 + cols);
  // Keys sent to the window itself reach the grid through the menu's scroll commands.
  w.Key(&w.f.window, Qt::Key_Left);
  EXPECT_EQ(g.selected(), 3 + cols);
  w.Key(&w.grid(), Qt::Key_End);
  EXPECT_EQ(g.selected(), 29);
  EXPECT_EQ(w.Pane(kPanePosition), "30/30");
  w.Key(&w.grid(), Qt::Key_Home);
  w.Key(&w.grid(), Qt::Key_Right);
  // Enter opens the selected picture as a step would.
  w.Key(&w.grid(), Qt::Key_Return);
  EXPECT_FALSE(w.mode().active());
  EXPECT_TRUE(w.f.window.viewWidget().isVisible());
  EXPECT_EQ(w.f.state.currentPath, w.paths[1]);
  EXPECT_EQ(w.f.view.pictureWidth(), 61);
  EXPECT_EQ(w.f.state.fullScreen, 0);  // Enter in the grid is not the fullscreen key
  EXPECT_EQ(w.Pane(kPanePosition), "2/30");

  // Esc leaves without opening and without ending the program; G from the grid opens.
  w.Key(&w.f.window, Qt::Key_G);
  w.Key(&w.grid(), Qt::Key_Right);
  w.Key(&w.grid(), Qt::Key_Escape);
  EXPECT_FALSE(w.mode().active());
  EXPECT_TRUE(w.f.window.isVisible());
  EXPECT_EQ(w.f.state.currentPath, w.paths[1]);
  EXPECT_EQ(w.Pane(kPanePath), w.paths[1]);
  w.Key(&w.f.window, Qt::Key_G);
  EXPECT_EQ(g.selected(), 1);
  w.Key(&w.grid(), Qt::Key_Right);
  w.Key(&w.f.window, Qt::Key_G);
  EXPECT_FALSE(w.mode().active());
  EXPECT_EQ(w.f.state.currentPath, w.paths[2]);
}

TEST(ThumbnailWindow, MouseSelectsScrollsAndOpens) {
  GridWindow w(60);
  w.f.Open(w.paths[0]);
  w.Key(&w.f.window, Qt::Key_G);
  ASSERT_TRUE(w.mode().active());
  const ThumbnailGrid& g = w.mode().grid();
  QWidget* vp = w.grid().viewport();
  const CellBox b = g.BoxOf(2);
  QTest::mouseClick(vp, Qt::LeftButton, {}, QPoint(b.x + 20, b.y + 20));
  EXPECT_EQ(g.selected(), 2);
  EXPECT_EQ(w.Pane(kPanePath), "pic02.png");

  // The wheel scrolls a row per notch and leaves the selection.
  QWheelEvent wheel(QPointF(50, 50), vp->mapToGlobal(QPointF(50, 50)), QPoint(), QPoint(0, -240),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(vp, &wheel);
  EXPECT_EQ(g.scroll(), std::min(2 * g.cellHeight(), g.maxScroll()));
  EXPECT_EQ(w.grid().verticalScrollBar()->value(), g.scroll());
  EXPECT_EQ(g.selected(), 2);
  // The scroll bar moves the grid too.
  w.grid().verticalScrollBar()->setValue(0);
  EXPECT_EQ(g.scroll(), 0);

  const CellBox c = g.BoxOf(g.columns() + 1);
  QTest::mouseDClick(vp, Qt::LeftButton, {}, QPoint(c.x + 20, c.y + 20));
  EXPECT_FALSE(w.mode().active());
  EXPECT_EQ(w.f.state.currentPath, w.paths[static_cast<size_t>(g.columns() + 1)]);
}

TEST(ThumbnailWindow, DeleteAsksAboutTheSelectedFileAndFullscreenKeepsTheGrid) {
  GridWindow w(5);
  w.f.Open(w.paths[0]);
  w.Key(&w.f.window, Qt::Key_G);
  w.Key(&w.grid(), Qt::Key_Right);
  w.Key(&w.grid(), Qt::Key_Right);
  std::string asked;
  QTimer answer;
  QObject::connect(&answer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      asked = box->text().toStdString();
      box->button(QMessageBox::Yes)->click();
    }
  });
  answer.start(10);
  w.f.router->Execute(4041);
  answer.stop();
  EXPECT_EQ(asked, "Are you sure you want to delete 'pic02.png'?");
  EXPECT_FALSE(std::filesystem::exists(w.paths[2]));
  // The cell is gone; the selection stays at its place, the grid stays.
  EXPECT_TRUE(w.mode().active());
  EXPECT_EQ(w.mode().grid().count(), 4);
  EXPECT_EQ(*w.mode().grid().selectedPath(), w.paths[3]);
  EXPECT_EQ(w.Pane(kPanePath), "pic03.png");

  // Fullscreen shows the grid over the whole screen.
  w.f.router->Execute(kCmdToggleFullScreen);
  QCoreApplication::processEvents();
  EXPECT_TRUE(w.f.window.isFullScreen());
  EXPECT_TRUE(w.mode().active());
  EXPECT_TRUE(w.grid().isVisible());
  w.Key(&w.grid(), Qt::Key_Escape);
  EXPECT_TRUE(w.f.window.viewWidget().isVisible());
  EXPECT_TRUE(w.f.window.isFullScreen());
}

// On a screen scaled twice the grid's 128-pixel cells are 256 device pixels: the thumbnails
// come from the large folder and are drawn one image pixel per device pixel. The scale is
// fixed when the application starts, so in a program that already runs at scale 1 the test
// runs itself again in a new process.
TEST(ThumbnailWindow, ScaledScreenTakesLargeThumbnailsAndDrawsThemSharp) {
  const char* self = "ThumbnailWindow.ScaledScreenTakesLargeThumbnailsAndDrawsThemSharp";
  if (QCoreApplication::instance() != nullptr && qApp->devicePixelRatio() != 2.0) {
    const std::string program = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string cmd = "QT_SCALE_FACTOR=2 QT_QPA_PLATFORM=offscreen " +
                            test::ShellQuote(program) + " --gtest_filter=" + self +
                            " >/dev/null 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << "run alone: " << self;
    return;
  }
  qputenv("QT_SCALE_FACTOR", "2");
  test::TempDir cacheHome;
  test::ScopedEnv env{"XDG_CACHE_HOME", cacheHome.path()};
  test::WindowFixture f;
  ASSERT_EQ(f.window.devicePixelRatioF(), 2.0);
  // Columns of one, two and three pixels in turn: any resampling on the way blurs them.
  const std::string photo = f.WritePng("stripes.png", test::MakePicture(600, 400, [](int32_t x, int32_t y) {
    return (x / 3 + y / 50) % 3 == 0 ? 0xFF202020u : (x / 3) % 2 ? 0xFFE0C040u : 0xFF3060D0u;
  }));
  f.Open(photo);
  QTest::keyClick(&f.window, Qt::Key_G);
  ThumbnailMode& mode = *f.window.thumbnails();
  ASSERT_TRUE(mode.active());
  for (int i = 0; i < 400 && !mode.WorkersIdle(); ++i) QTest::qWait(10);
  QTest::qWait(20);
  QCoreApplication::processEvents();
  const ThumbnailGrid& g = mode.grid();
  ASSERT_TRUE(g.cell(0).pixels);
  const ImageBuffer& thumb = *g.cell(0).pixels;
  EXPECT_EQ(thumb.width(), 256);
  EXPECT_EQ(thumb.height(), 171);
  EXPECT_TRUE(std::filesystem::exists(cacheHome.path() + "/thumbnails/large/" +
                                      Md5Hex(FileUri(photo)) + ".png"));

  // Found in the screen's device pixels: the thumbnail's rows, unchanged.
  const QImage shot = f.window.thumbnailWidget().viewport()->grab().toImage().convertToFormat(
      QImage::Format_ARGB32);
  const CellBox b = g.BoxOf(0);
  const int x0 = (b.x + ThumbnailGrid::kGap) * 2;
  int differing = 0, found = -1;
  for (int y0 = (b.y + ThumbnailGrid::kGap) * 2; y0 < (b.y + ThumbnailGrid::kGap + 128) * 2 - 171 && found < 0; ++y0) {
    differing = 0;
    for (int y = 0; y < thumb.height(); ++y)
      for (int x = 0; x < thumb.width(); ++x) {
        const uint32_t want = test::PixelAt(thumb, x, y), got = shot.pixel(x0 + x, y0 + y);
        for (int c = 0; c < 24; c += 8)
          differing += std::abs(static_cast<int>((want >> c) & 0xFF) - static_cast<int>((got >> c) & 0xFF)) > 2;
      }
    if (differing == 0) found = y0;
  }
  EXPECT_GE(found, 0) << "the thumbnail is not drawn pixel for pixel";
}

}  // namespace
}  // namespace qp
