// The thumbnail grid in the real window, offscreen: G shows it with the current file
// selected, keys and the mouse move and open, Esc goes back, the status bar follows the
// selection, and Delete asks about the selected file.
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QWheelEvent>
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

}  // namespace
}  // namespace qp
