// The real window on the offscreen platform: menus from the table, keys, panes, painting and the
// bar settings written at close.
#include "qt/main_window.h"
#include "qt/quick_start.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QFontInfo>
#include <QFontMetrics>
#include <QSet>
#include <QStatusTipEvent>
#include <QMimeData>
#include <QDropEvent>
#include <QUrl>
#include <QStatusBar>
#include <QStyleOption>
#include <QTest>

#include <gtest/gtest.h>

#include "codecs/png.h"
#include "frame/animation_clock.h"
#include "frame/file_list.h"
#include "frame/main_frame.h"
#include "frame/settings_store.h"
#include "qt/qsettings_backend.h"
#include "qt/qt_ports.h"
#include "support/test_support.h"

namespace qp {
namespace {

// One application object for the whole test program, made before the first window test and
// ended before the program's static objects go.
class QtEnvironment final : public ::testing::Environment {
 public:
  void SetUp() override {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    app_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[12] = "qp_qt_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};
[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);  // gtest owns it

// The program's parts wired the way the application wires them.
struct Session {
  explicit Session(const std::string& ini)
      : backend("Settings", ini), settings(backend), files(state, ".png"), listForView(files),
        window(settings) {
    qtPorts.Bind(&window, window.viewWidget().viewport(), &window);
    view = std::make_unique<CImgViewerView>(
        ViewContext{state, settings, qtPorts.ports, window, listForView, nullptr});
    router = MakeCommandRouter(FrameContext{state, settings, qtPorts.ports, *view, files, window});
    window.Attach(*router, *view);
    window.resize(800, 600);
    window.show();
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
  }
  void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(&window, static_cast<Qt::Key>(key), mods);
    QApplication::processEvents();
  }
  std::string Pane(uint32_t id) const { return window.PaneText(id).toStdString(); }

  ViewerState state;
  QSettingsBackend backend;
  SettingsStore settings;
  FileList files;
  FileListForView listForView;
  QtPorts qtPorts;
  MainWindow window;
  std::unique_ptr<CImgViewerView> view;
  std::unique_ptr<CommandRouter> router;
};

class Window : public ::testing::Test {
 protected:
  std::string Png(const std::string& name, int32_t w, int32_t h, uint32_t argb) {
    const std::string path = dir.file(name);
    const ImageBuffer img = test::SolidPicture(w, h, argb);
    EXPECT_EQ(SavePng(img.data(), w, h, 100, path.c_str()), nullptr);
    return path;
  }
  std::string Ini() const { return dir.file("Quill Pix.conf"); }
  test::TempDir dir;
};

TEST_F(Window, MenusCarryTheTableTextsAndKeys) {
  Session s(Ini());
  QStringList titles;
  for (QAction* a : s.window.menuBar()->actions()) titles << a->text();
  EXPECT_EQ(titles, (QStringList{"&File", "&Edit", "&View", "&Image", "&Draw", "&Jpeg Transform",
                                 "E&xternal", "&Options", "&Help"}));
  // Each menu has a letter of its own for Alt, and no command's key is Alt with a letter.
  QSet<int> letters;
  for (QAction* a : s.window.menuBar()->actions()) {
    const QKeySequence m = QKeySequence::mnemonic(a->text());
    ASSERT_FALSE(m.isEmpty()) << a->text().toStdString();
    EXPECT_FALSE(letters.contains(m[0].toCombined())) << a->text().toStdString();
    letters.insert(m[0].toCombined());
  }
  for (const auto& [id, a] : s.window.actions()->actions())
    for (const QKeySequence& k : a->shortcuts())
      EXPECT_FALSE(letters.contains(k[0].toCombined())) << id << " " << k.toString().toStdString();
  QAction* zoomIn = s.window.actions()->action(4031);
  ASSERT_NE(zoomIn, nullptr);
  EXPECT_EQ(zoomIn->text(), QStringLiteral("Zoom In\t+"));
  EXPECT_EQ(zoomIn->shortcuts().size(), 3);
  QAction* rotate = s.window.actions()->action(4050);
  EXPECT_EQ(rotate->text(), QString::fromUtf8("&Rotate 90\u00b0\tF9"));
  // Every key in the table is understood by the toolkit.
  for (const CommandRow& row : CommandTable()) {
    for (const QKeySequence& k : KeySequences(row.keys)) EXPECT_FALSE(k.isEmpty()) << row.id << " " << row.keys;
  }
  // The transparency submenu sits in the Image menu.
  QMenu* image = s.window.menuBar()->actions()[3]->menu();
  QStringList subs;
  for (QAction* a : image->actions())
    if (a->menu() != nullptr) subs << a->text();
  EXPECT_EQ(subs, (QStringList{"&Join...", "&Dither...", "&Transparency"}));
  const QList<QAction*> buttons = s.window.toolBar()->actions();
  ASSERT_EQ(buttons.size(), 13);
  EXPECT_TRUE(buttons[1]->isSeparator());
  EXPECT_EQ(buttons[2]->text(), QStringLiteral("Cut"));
  EXPECT_EQ(buttons[8]->text(), QStringLiteral("Next File"));
  EXPECT_FALSE(s.window.toolBar()->isVisible());  // hidden until the settings say otherwise
  // The buttons follow their rules from the moment the bar is shown.
  s.window.SetToolbarVisible(true);
  EXPECT_FALSE(buttons[2]->isEnabled());
  EXPECT_TRUE(buttons[0]->isEnabled());
}

// Standard icons read when first drawn look exactly as those read at once, in either
// direction of writing, and survive a copy made before they were read.
TEST(DeferredIcons, DrawTheBaseStylesIcons) {
  DeferredIconStyle style;
  QStyleOption rightToLeft;
  rightToLeft.direction = Qt::RightToLeft;
  for (const QStyle::StandardPixmap which :
       {QStyle::SP_ToolBarHorizontalExtensionButton, QStyle::SP_ArrowBack, QStyle::SP_DirIcon}) {
    for (const QStyleOption* option : {static_cast<const QStyleOption*>(nullptr),
                                       static_cast<const QStyleOption*>(&rightToLeft)}) {
      SCOPED_TRACE(std::to_string(which) + (option != nullptr ? " right to left" : ""));
      const QIcon base = style.baseStyle()->standardIcon(which, option);
      const QIcon deferred = style.standardIcon(which, option);
      const QIcon copy = deferred;  // copied before anything was read
      EXPECT_EQ(deferred.isNull(), base.isNull());
      EXPECT_EQ(deferred.availableSizes(), base.availableSizes());
      EXPECT_EQ(deferred.actualSize(QSize(32, 32)), base.actualSize(QSize(32, 32)));
      EXPECT_EQ(copy.pixmap(16).toImage(), base.pixmap(16).toImage());
      EXPECT_EQ(deferred.pixmap(24, QIcon::Disabled).toImage(),
                base.pixmap(24, QIcon::Disabled).toImage());
    }
  }
}

TEST_F(Window, AltOpensTheMenusAndEveryItemPromptsInTheStatusBar) {
  Session s(Ini());
  s.Key(Qt::Key_F, Qt::AltModifier);
  QWidget* popup = QApplication::activePopupWidget();
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(popup, s.window.menuBar()->actions()[0]->menu());
  popup->close();
  QApplication::processEvents();

  // The prompts the tools have, and a prompt for every other item and button.
  const std::pair<uint16_t, const char*> given[] = {
      {4179, "OCR any text in the image"},
      {4122, "Read any barcode or QR code in the image"},
      {4072, "Export the current image into the Riot plugin"},
  };
  for (const auto& [id, text] : given) EXPECT_EQ(s.window.actions()->action(id)->statusTip(), text) << id;
  for (QMenu* m : s.window.menuBar()->findChildren<QMenu*>()) {
    for (QAction* a : m->actions()) {
      if (!a->isSeparator() && a->menu() == nullptr) {
        EXPECT_FALSE(a->statusTip().isEmpty()) << a->text().toStdString();
      }
    }
  }
  for (QAction* b : s.window.toolBar()->actions()) {
    if (!b->isSeparator()) {
      EXPECT_FALSE(b->statusTip().isEmpty()) << b->text().toStdString();
    }
  }
  // Resting on an item shows its prompt; leaving it shows "Ready" again.
  s.window.actions()->action(4179)->showStatusText(&s.window);
  EXPECT_EQ(s.window.statusBar()->currentMessage(), QStringLiteral("OCR any text in the image"));
  QStatusTipEvent leave{QString()};
  QApplication::sendEvent(&s.window, &leave);
  EXPECT_EQ(s.window.statusBar()->currentMessage(), QStringLiteral("Ready"));
}

TEST_F(Window, TitleNamesTheDocument) {
  Session s(Ini());
  EXPECT_EQ(s.window.windowTitle(), QStringLiteral("Quill Pix"));
  s.view->OpenDocument(Png("a.png", 8, 8, 0xFF00FF00));
  EXPECT_EQ(s.window.windowTitle(), QStringLiteral("a.png - Quill Pix"));
}

TEST_F(Window, FitToImageAddsTheMarginsInWindowUnits) {
  // A 2x screen: 200 x 100 device pixels are 100 x 50 window units, then the bars' margins.
  EXPECT_EQ(FrameSizeFor(200, 100, 40, 90, 2.0), QSize(140, 140));
  EXPECT_EQ(FrameSizeFor(201, 100, 40, 90, 2.0), QSize(141, 140));  // no device pixel cut off
  EXPECT_EQ(FrameSizeFor(201, 100, 40, 90, 1.0), QSize(241, 190));
  Session s(Ini());
  s.window.resize(500, 400);
  s.router->Execute(4155);  // nothing shown: the size stays
  EXPECT_EQ(s.window.size(), QSize(500, 400));
}

TEST_F(Window, OverlayFontHasA28PixelLineBox) {
  Session s(Ini());
  const QFont& font = OverlayFont();
  EXPECT_EQ(QFontInfo(font).family(), QStringLiteral("Liberation Mono"));
  EXPECT_TRUE(QFontInfo(font).bold());
  const QFontMetrics m(font);
  EXPECT_LE(m.height(), kOverlayLineBox);
  QFont larger = font;
  larger.setPixelSize(font.pixelSize() + 1);
  EXPECT_GT(QFontMetrics(larger).height(), kOverlayLineBox);
  EXPECT_GE(m.height(), kOverlayLineBox - 2);
}

TEST_F(Window, UpdateRulesRunWhenAMenuOpens) {
  Session s(Ini());
  QMenu* edit = s.window.menuBar()->actions()[1]->menu();
  emit edit->aboutToShow();
  EXPECT_FALSE(s.window.actions()->action(57635)->isEnabled());  // Cut: never
  EXPECT_FALSE(s.window.actions()->action(57634)->isEnabled());  // Copy: no file
  emit edit->aboutToHide();
  s.view->OpenDocument(Png("a.png", 8, 8, 0xFF00FF00));
  emit edit->aboutToShow();
  EXPECT_TRUE(s.window.actions()->action(57634)->isEnabled());
  EXPECT_FALSE(s.window.actions()->action(57635)->isEnabled());
  QMenu* view = s.window.menuBar()->actions()[2]->menu();
  s.router->Execute(kCmdLockZoom);
  emit view->aboutToShow();
  EXPECT_TRUE(s.window.actions()->action(kCmdLockZoom)->isChecked());
}

TEST_F(Window, BrowserAndMediaKeysStepThroughTheFolder) {
  const std::string a = Png("a.png", 8, 8, 0xFFFF0000), b = Png("b.png", 8, 8, 0xFF0000FF);
  Session s(Ini());
  s.router->navigation().OpenChosenFile(a);
  // These keys have no text, so they are sent as plain key events.
  const auto press = [](QWidget* target, Qt::Key key) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
    QApplication::processEvents();
  };
  // The view takes the keys when it has the focus; the window's own handling steps in when
  // something else has it.
  for (QWidget* target : {static_cast<QWidget*>(&s.window.viewWidget()),
                          static_cast<QWidget*>(&s.window)}) {
    struct Case {
      Qt::Key key;
      const std::string& path;
    } cases[] = {{Qt::Key_MediaNext, b}, {Qt::Key_MediaPrevious, a}, {Qt::Key_Forward, b},
                 {Qt::Key_Back, a}};
    for (const Case& c : cases) {
      press(target, c.key);
      EXPECT_EQ(s.state.currentPath, c.path) << (target == &s.window) << " " << c.key;
    }
    // Refresh keeps the file; play/pause on a still picture changes nothing.
    press(target, Qt::Key_Refresh);
    press(target, Qt::Key_MediaTogglePlayPause);
    EXPECT_EQ(s.state.currentPath, a);
    EXPECT_EQ(s.Pane(kPaneDimensions), "8 x 8");
  }
}

TEST_F(Window, KeysStepZoomFitAndGoFullscreen) {
  const std::string a = Png("a.png", 64, 48, 0xFFFF0000), b = Png("b.png", 32, 16, 0xFF0000FF);
  Session s(Ini());
  s.router->navigation().OpenChosenFile(a);
  EXPECT_EQ(s.Pane(kPaneDimensions), "64 x 48");

  // The picture is painted at one device pixel per image pixel.
  QImage shot = s.window.viewWidget().viewport()->grab().toImage();
  EXPECT_EQ(shot.pixelColor(0, 0), QColor(255, 0, 0));
  EXPECT_EQ(shot.pixelColor(63, 47), QColor(255, 0, 0));
  EXPECT_EQ(shot.pixelColor(64, 10), QColor(0, 0, 0));

  s.Key(Qt::Key_Space);
  EXPECT_EQ(s.state.currentPath, b);
  EXPECT_EQ(s.Pane(kPanePosition), "2/2");
  EXPECT_EQ(s.Pane(kPaneDimensions), "32 x 16");
  s.Key(Qt::Key_Backspace);
  EXPECT_EQ(s.state.currentPath, a);
  s.Key(Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(s.state.currentPath, b);
  s.Key(Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(s.state.currentPath, a);

  s.Key(Qt::Key_Equal);
  EXPECT_EQ(s.Pane(kPaneZoom), "Z:112%");
  s.Key(Qt::Key_Minus);
  EXPECT_EQ(s.Pane(kPaneZoom), "Z:100%");
  s.Key(Qt::Key_Plus, Qt::KeypadModifier);
  EXPECT_EQ(s.Pane(kPaneZoom), "Z:112%");
  s.Key(Qt::Key_0, Qt::ControlModifier);
  EXPECT_EQ(s.Pane(kPaneZoom), "Z:100%");
  s.Key(Qt::Key_W, Qt::ControlModifier);
  EXPECT_GT(s.state.zoom, 1.5f);
  s.Key(Qt::Key_I);
  EXPECT_EQ(s.state.overlayMode, 1);

  s.Key(Qt::Key_Return);
  EXPECT_EQ(s.state.fullScreen, 1);
  EXPECT_TRUE(s.window.isFullScreen());
  EXPECT_FALSE(s.window.menuBar()->isVisible());
  s.Key(Qt::Key_Escape);
  EXPECT_EQ(s.state.fullScreen, 0);
  EXPECT_TRUE(s.window.isVisible());
  s.Key(Qt::Key_Escape);
  EXPECT_FALSE(s.window.isVisible());
}

TEST_F(Window, BarVisibilityIsStoredAtCloseAndUsedAtTheNextStart) {
  {
    Session s(Ini());
    EXPECT_FALSE(s.window.toolBar()->isVisible());
    EXPECT_TRUE(s.window.statusBar()->isVisible());
    s.router->Execute(kCmdViewToolbar);
    s.router->Execute(kCmdViewStatusBar);
    s.window.close();
  }
  std::ifstream in(Ini());
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("ToolbarVisible=true"), std::string::npos) << text.str();
  EXPECT_NE(text.str().find("StatusVisible=false"), std::string::npos) << text.str();
  Session next(Ini());
  EXPECT_TRUE(next.window.toolBar()->isVisible());
  EXPECT_FALSE(next.window.statusBar()->isVisible());
}

TEST_F(Window, ADroppedFileOpens) {
  const std::string a = Png("a.png", 8, 8, 0xFF00FF00);
  Session s(Ini());
  QMimeData mime;
  mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(a))});
  // A drag enters the window before it drops.
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&s.window, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&s.window, &drop);
  EXPECT_EQ(s.state.currentPath, a);
  EXPECT_EQ(s.Pane(kPaneDimensions), "8 x 8");
}

TEST_F(Window, AnimationsPlayWithTheClockAndRestOnTheLastFrameAtTheLoopLimit) {
  if (!test::HaveTool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
  const std::string gif = dir.file("anim.gif");
  ASSERT_EQ(test::RunShell("convert -delay 2 -size 16x8 xc:red xc:lime xc:blue -loop 2 " +
                           test::ShellQuote(gif)),
            0);
  Session s(Ini());
  AnimationClock clock(s.state, [&s](uintptr_t command, intptr_t argument) {
    s.qtPorts.post.Post(static_cast<uint16_t>(command), argument);
  });
  clock.start();
  s.view->OpenDocument(gif);
  EXPECT_EQ(s.state.animating, 1);
  // Two passes of three frames, then it pauses on the last one.
  QTRY_VERIFY_WITH_TIMEOUT(s.state.paused == 1 && s.state.frameIndex == 2, 10000);
  clock.stop();
  QApplication::processEvents();
  const QImage shot = s.window.viewWidget().viewport()->grab().toImage();
  EXPECT_EQ(shot.pixelColor(0, 0), QColor(0, 0, 255));
  // Next File or Frame steps a paused animation by hand.
  s.router->Execute(kCmdNextFileOrFrame);
  QApplication::processEvents();
  EXPECT_EQ(s.state.frameIndex, 0);
  EXPECT_EQ(s.window.viewWidget().viewport()->grab().toImage().pixelColor(0, 0), QColor(255, 0, 0));
}

TEST_F(Window, PostedCommandsRunOnTheWindowsQueue) {
  Session s(Ini());
  s.view->OpenDocument(Png("a.png", 8, 8, 0xFF00FF00));
  s.qtPorts.post.Post(kCmdZoomIn, 0);
  EXPECT_EQ(s.state.zoom, 1.0f);  // not yet: it waits in the queue
  QApplication::processEvents();
  EXPECT_FLOAT_EQ(s.state.zoom, kZoomStep);
}

}  // namespace
}  // namespace qp
