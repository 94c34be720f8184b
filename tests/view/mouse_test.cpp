#include "view/mouse.h"

#include <gtest/gtest.h>

#include <deque>

#include "support/fake_ports.h"

namespace qp {
namespace {

struct FakeHost final : MouseHost {
  std::vector<std::pair<int32_t, int32_t>> scrolls;
  CursorShape shape = CursorShape::Default;
  std::vector<bool> pointer;
  int repaints = 0;
  void ScrollBy(int32_t dx, int32_t dy) override { scrolls.emplace_back(dx, dy); }
  void SetPointerShape(CursorShape s) override { shape = s; }
  void ShowPointer(bool v) override { pointer.push_back(v); }
  void Repaint() override { ++repaints; }
};

struct FakeStrokes final : StrokeRecognizer {
  std::vector<std::pair<int32_t, int32_t>> points;
  int32_t answer = -1;
  int begun = 0;
  void BeginStroke() override {
    ++begun;
    points.clear();
  }
  void AddPoint(int32_t x, int32_t y) override { points.emplace_back(x, y); }
  int32_t Recognize() override { return answer; }
};

struct MouseFixture : ::testing::Test {
  ViewerState state;
  Selection selection;
  test::FakePost post;
  FakeHost host;
  FakeStrokes strokes;
  MouseController mouse{state, selection, post, host, &strokes};
  std::vector<uint16_t> viewCommands;
  MouseViewState fits{false, false, 0, 0, true, 400, 300};
  MouseViewState larger{true, true, 0, 0, true, 4000, 3000};

  void SetUp() override {
    state.hasView = true;
    state.useGestures = 1;
    state.hooks.viewCommand = [this](uint16_t c, intptr_t) {
      viewCommands.push_back(c);
      return 1;
    };
  }
};

TEST_F(MouseFixture, NoSelectionInFullscreenWhilePlayingOrWithoutAFile) {
  struct {
    int32_t fullScreen, animating, paused;
    bool fileShown;
    bool selects;
  } cases[] = {{0, 0, 0, true, true},  {1, 0, 0, true, false}, {0, 1, 0, true, false},
               {0, 1, 1, true, true}, {0, 0, 0, false, false}};
  for (const auto& c : cases) {
    Selection fresh;
    MouseController m{state, fresh, post, host, &strokes};
    state.fullScreen = c.fullScreen;
    state.animating = c.animating;
    state.paused = c.paused;
    MouseViewState v = fits;
    v.fileShown = c.fileShown;
    m.LeftDown(10, 10, v);
    m.LeftUp(50, 50, v);
    EXPECT_EQ(fresh.Exists(), c.selects) << c.fullScreen << c.animating << c.paused;
  }
}

TEST_F(MouseFixture, WheelZoomsOncePerNotch) {
  struct {
    std::vector<int32_t> deltas;
    bool ctrl;
    MouseViewState view;
    std::vector<uint16_t> zooms;
    bool handled;
  } cases[] = {
      {{120}, false, fits, {cmd::kZoomIn}, true},
      {{-120}, false, fits, {cmd::kZoomOut}, true},
      {{240}, false, fits, {cmd::kZoomIn, cmd::kZoomIn}, true},
      // A touchpad's small steps: eight of 15 make one notch.
      {{15, 15, 15, 15, 15, 15, 15, 15, 15}, false, fits, {cmd::kZoomIn}, true},
      // Turning back drops the partial notch.
      {{100, -100, -20}, false, fits, {cmd::kZoomOut}, true},
      {{120}, false, larger, {}, false},
      {{120}, true, larger, {cmd::kZoomIn}, true},
      {{0}, false, fits, {}, false},
  };
  for (const auto& c : cases) {
    MouseController m{state, selection, post, host, &strokes};
    viewCommands.clear();
    bool handled = false;
    for (int32_t d : c.deltas) handled = m.Wheel(d, c.ctrl, c.view);
    EXPECT_EQ(viewCommands, c.zooms);
    EXPECT_EQ(handled, c.handled);
  }
}

TEST_F(MouseFixture, GestureStrokesRunTheirCommands) {
  struct {
    int32_t gestureClass;
    std::vector<uint16_t> posted;
    std::vector<uint16_t> sent;
  } cases[] = {
      {0, {}, {kCmdToggleFullScreen, kCmdRefresh}},
      {2, {}, {cmd::kReload}},
      {4, {cmd::kNextFile}, {}},
      {5, {cmd::kPreviousFile}, {}},
      {8, {cmd::kExit}, {}},
      {10, {}, {cmd::kRotateRight}},
      {13, {cmd::kHalveZoom}, {}},
      {14, {cmd::kDoubleZoom}, {}},
      {1, {}, {}},
      {-1, {}, {}},
  };
  for (const auto& c : cases) {
    post.queue.clear();
    viewCommands.clear();
    strokes.answer = c.gestureClass;
    mouse.RightDown(fits);
    mouse.Move(5, 5, false, true, fits);
    mouse.Move(9, 5, false, true, fits);
    mouse.RightUp(fits);
    std::vector<uint16_t> posted;
    for (auto& [id, arg] : post.queue) posted.push_back(id);
    EXPECT_EQ(posted, c.posted) << c.gestureClass;
    EXPECT_EQ(viewCommands, c.sent) << c.gestureClass;
  }
  EXPECT_EQ(strokes.points.size(), 2u);

  // Rotating by gesture waits while an animation plays.
  state.animating = 1;
  viewCommands.clear();
  mouse.RunGesture(10, fits);
  EXPECT_TRUE(viewCommands.empty());
  state.animating = 0;

  // With gestures off the right button records nothing and runs nothing.
  state.useGestures = 0;
  strokes.answer = 4;
  post.queue.clear();
  const int begun = strokes.begun;
  mouse.RightDown(fits);
  mouse.Move(1, 1, false, true, fits);
  mouse.RightUp(fits);
  EXPECT_EQ(strokes.begun, begun);
  EXPECT_TRUE(post.queue.empty());

  // In fullscreen the pointer shows for the stroke and hides again.
  state.useGestures = 1;
  state.fullScreen = 1;
  strokes.answer = -1;
  mouse.RightDown(fits);
  mouse.RightUp(fits);
  EXPECT_EQ(host.pointer, (std::vector<bool>{true, false}));
}

TEST_F(MouseFixture, ExtraButtonsAndDoubleClick) {
  EXPECT_TRUE(mouse.Command(AppCommand::BrowserBack));
  EXPECT_TRUE(mouse.Command(AppCommand::NextTrack));
  EXPECT_TRUE(mouse.Command(AppCommand::BrowserRefresh));
  EXPECT_TRUE(mouse.Command(AppCommand::PlayPause));
  EXPECT_FALSE(mouse.Command(static_cast<AppCommand>(7)));
  ASSERT_EQ(post.queue.size(), 2u);
  EXPECT_EQ(post.queue[0].first, cmd::kPreviousFile);
  EXPECT_EQ(post.queue[1].first, cmd::kNextFile);
  EXPECT_EQ(viewCommands, (std::vector<uint16_t>{cmd::kReload, cmd::kPauseAnimation}));

  viewCommands.clear();
  mouse.DoubleClick(fits);
  EXPECT_EQ(viewCommands, (std::vector<uint16_t>{kCmdToggleFullScreen, kCmdRefresh}));
  MouseViewState none = fits;
  none.fileShown = false;
  viewCommands.clear();
  mouse.DoubleClick(none);
  EXPECT_TRUE(viewCommands.empty());
}

TEST_F(MouseFixture, EscapeAndRightPressEndAMoveWhereItIs) {
  state.zoom = 1.0f;
  selection.SetImageRect({10, 10, 50, 50}, 1.0f, true);
  mouse.LeftDown(20, 20, fits);
  mouse.Move(30, 25, true, false, fits);
  EXPECT_TRUE(mouse.Escape(fits));
  EXPECT_EQ(selection.imageRect.left, 20);
  mouse.LeftDown(30, 30, fits);
  mouse.Move(40, 30, true, false, fits);
  mouse.RightDown(fits);  // ends the move, starts no stroke
  EXPECT_EQ(selection.imageRect.left, 30);
  EXPECT_FALSE(mouse.stroking());
  EXPECT_FALSE(mouse.Escape(fits));
  EXPECT_EQ(mouse.PointerAt(35, 35, fits), CursorShape::SizeAll);
}

}  // namespace
}  // namespace qp
