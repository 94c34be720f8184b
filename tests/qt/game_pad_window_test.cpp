// A virtual game pad drives the real window offscreen: its buttons step through a folder and
// zoom, its stick scrolls, all through the commands the poller posts to the window's queue.
// The poll step is driven by hand; one check runs the real polling thread.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <QApplication>

#include "codecs/file_filters.h"
#include "codecs/png.h"
#include "core/paths.h"
#include "frame/commands.h"
#include "frame/main_frame.h"
#include "frame/settings_store.h"
#include "input/game_controller.h"
#include "input/sdl_controller.h"
#include "qt/main_window.h"
#include "qt/qt_ports.h"
#include "qt/qt_test_app.h"
#include "qt/tool_dialogs.h"
#include "support/test_support.h"
#include "support/virtual_pad.h"
#include "view/view.h"

namespace qp {
namespace {

using test::App;

// The window as the program assembles it, over a folder of three large pictures.
struct PadWindow {
  test::TempDir dir;
  MemorySettingsBackend backend;
  SettingsStore settings{backend};
  ViewerState state;
  QtPorts qtPorts;
  std::unique_ptr<FileList> files;
  std::unique_ptr<FileListForView> listForView;
  std::unique_ptr<MainWindow> window;
  std::unique_ptr<QtToolDialogs> dialogs;
  std::unique_ptr<CImgViewerView> view;
  std::unique_ptr<CommandRouter> router;

  PadWindow() {
    App();
    for (const char* name : {"a.png", "b.png", "c.png"}) {
      const ImageBuffer pic = test::SolidPicture(900, 700, 0xFF000000u | name[0] * 0x010203u);
      SavePng(pic.data(), pic.width(), pic.height(), 100, dir.file(name).c_str());
    }
    ReadStartupFlags(state, settings);
    files = std::make_unique<FileList>(state, patternList(&settings));
    listForView = std::make_unique<FileListForView>(*files);
    window = std::make_unique<MainWindow>(settings);
    qtPorts.Bind(window.get(), window->viewWidget().viewport(), window.get());
    dialogs = std::make_unique<QtToolDialogs>(window.get());
    view = std::make_unique<CImgViewerView>(
        ViewContext{state, settings, qtPorts.ports, *window, *listForView, nullptr, dialogs.get()});
    router =
        MakeCommandRouter(FrameContext{state, settings, qtPorts.ports, *view, *files, *window});
    window->Attach(*router, *view);
    window->resize(640, 480);
    window->show();
    view->OpenDocument(dir.file("b.png"));
    QCoreApplication::processEvents();
  }
  ~PadWindow() {
    // Drop what is still queued for the window before it goes.
    QCoreApplication::removePostedEvents(window.get());
  }
  std::string Shown() const { return FileNameOf(view->documentPath()); }
};

using test::VirtualPad;

TEST(GamePadWindow, ButtonsStepAndZoomAndTheStickScrolls) {
  PadWindow w;
  ASSERT_EQ(w.Shown(), "b.png");
  ASSERT_EQ(w.state.useJoystick.load(), 1);  // "UseJoystick" is "true" by default
  VirtualPad pad;
  ASSERT_TRUE(pad.ok()) << SDL_GetError();
  SdlControllerSource source(0);
  GamePadPoller poller(ReadGamePadConfig(w.settings), w.state, w.qtPorts.post);
  // One poll, then the window works off what it was sent.
  auto poll = [&] {
    const int32_t wait = poller.Step(source);
    QCoreApplication::processEvents();
    return wait;
  };
  auto press = [&](SDL_GameControllerButton b) {
    pad.Button(b, true);
    EXPECT_EQ(poll(), kPadPollMs);
    pad.Button(b, false);
    poll();
  };
  poll();

  press(SDL_CONTROLLER_BUTTON_B);  // Next File
  EXPECT_EQ(w.Shown(), "c.png");
  press(SDL_CONTROLLER_BUTTON_A);  // Previous File
  EXPECT_EQ(w.Shown(), "b.png");
  press(SDL_CONTROLLER_BUTTON_RIGHTSHOULDER);  // Paddle Next
  EXPECT_EQ(w.Shown(), "c.png");
  press(SDL_CONTROLLER_BUTTON_LEFTSHOULDER);  // Paddle Previous
  EXPECT_EQ(w.Shown(), "b.png");

  // X zooms in, Y zooms out.
  const float before = w.state.zoom;
  ASSERT_GT(before, 0.0f);
  press(SDL_CONTROLLER_BUTTON_X);
  EXPECT_GT(w.state.zoom, before);
  press(SDL_CONTROLLER_BUTTON_Y);
  EXPECT_FLOAT_EQ(w.state.zoom, before);

  // The stick scrolls on every poll it is held beyond the dead zone, and not at the zone.
  w.view->OriginalSize();
  QCoreApplication::processEvents();
  w.window->ScrollTo(0, 0);
  pad.Axis(SDL_CONTROLLER_AXIS_LEFTX, 6400);
  poll();
  EXPECT_EQ(w.window->ScrollPosition().x, 0);
  pad.Axis(SDL_CONTROLLER_AXIS_LEFTX, 6401);
  poll();
  const int32_t once = w.window->ScrollPosition().x;
  EXPECT_GT(once, 0);
  poll();
  EXPECT_GT(w.window->ScrollPosition().x, once);
  pad.Axis(SDL_CONTROLLER_AXIS_LEFTX, 0);
  pad.Axis(SDL_CONTROLLER_AXIS_LEFTY, 32767);  // down on the stick
  poll();
  EXPECT_GT(w.window->ScrollPosition().y, 0);
  pad.Axis(SDL_CONTROLLER_AXIS_LEFTY, 0);
  EXPECT_EQ(w.Shown(), "b.png");
}

TEST(GamePadWindow, ThePollingThreadStepsTheWindow) {
  PadWindow w;
  VirtualPad pad;
  ASSERT_TRUE(pad.ok()) << SDL_GetError();
  GamePadThread thread(ReadGamePadConfig(w.settings), w.state, w.qtPorts.post,
                       MakeSdlControllerSource);
  pad.Button(SDL_CONTROLLER_BUTTON_B, true);
  // Waits for the thread's post; the bound only turns a broken thread into a failure.
  for (int i = 0; i < 3000 && w.Shown() == "b.png"; ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    SDL_Delay(10);
  }
  EXPECT_EQ(w.Shown(), "c.png");
}

}  // namespace
}  // namespace qp
