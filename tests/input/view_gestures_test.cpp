#include "input/view_gestures.h"

#include <gtest/gtest.h>

#include "support/fake_ports.h"

namespace qp {
namespace {

struct NullHost final : MouseHost {
  void ScrollBy(int32_t, int32_t) override {}
  void SetPointerShape(CursorShape) override {}
  void ShowPointer(bool) override {}
  void Repaint() override {}
};

// Right-button strokes through the trained network reach the frame as commands.
TEST(ViewGestures, StrokesThroughTheNetworkBecomeCommands) {
  ViewerState state;
  state.useGestures = 1;
  std::vector<uint16_t> sent;
  state.hasView = true;
  state.hooks.viewCommand = [&](uint16_t c, intptr_t) {
    sent.push_back(c);
    return 1;
  };
  Selection selection;
  test::FakePost post;
  NullHost host;
  ViewGestures gestures;
  MouseController mouse(state, selection, post, host, &gestures);
  const MouseViewState view{false, false, 0, 0, true, 100, 100};
  auto stroke = [&](std::initializer_list<std::pair<int, int>> legs) {
    mouse.RightDown(view);
    int x = 400, y = 400;
    for (auto [dx, dy] : legs) {
      for (int i = 1; i <= 12; ++i) mouse.Move(x + dx * i / 12, y + dy * i / 12, false, true, view);
      x += dx;
      y += dy;
    }
    mouse.RightUp(view);
  };
  stroke({{300, 0}});  // right
  stroke({{-300, 0}});  // left
  stroke({{0, 200}, {200, 0}});  // down, then right
  stroke({{-150, 150}});  // diagonal down and to the left
  std::vector<uint16_t> posted;
  for (auto& [id, arg] : post.queue) posted.push_back(id);
  EXPECT_EQ(posted, (std::vector<uint16_t>{cmd::kNextFile, cmd::kPreviousFile, cmd::kExit,
                                           cmd::kHalveZoom}));
  stroke({{0, 200}, {-200, 0}});  // down, then left: rotate right
  EXPECT_EQ(sent, (std::vector<uint16_t>{cmd::kRotateRight}));
}

}  // namespace
}  // namespace qp
