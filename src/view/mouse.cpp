#include "view/mouse.h"

#include <cstdlib>

namespace qp {

void MouseController::LeftDown(int32_t x, int32_t y, const MouseViewState& view) {
  if (view.scrollBars()) {
    // A picture larger than the view is dragged, not selected.
    panning_ = true;
    panX_ = x;
    panY_ = y;
    host_.SetPointerShape(CursorShape::SizeAll);
    return;
  }
  const bool playing = state_.animating.load() != 0 && state_.paused.load() == 0;
  if (!view.fileShown || state_.fullScreen != 0 || playing) return;
  selection_.Press(x + view.scrollX, y + view.scrollY, view.imageWidth, view.imageHeight,
                   state_.zoom);
  host_.Repaint();
}

void MouseController::LeftUp(int32_t x, int32_t y, const MouseViewState& view) {
  panning_ = false;
  if (selection_.tracking() == Selection::Tracking::None) return;
  selection_.Drag(x + view.scrollX, y + view.scrollY);
  selection_.Finish(view.imageWidth, view.imageHeight, state_.zoom);
  host_.Repaint();
}

void MouseController::Move(int32_t x, int32_t y, bool left, bool right,
                           const MouseViewState& view) {
  if (right && stroking_) {
    if (gestures_ != nullptr && state_.useGestures != 0) gestures_->AddPoint(x, y);
    return;
  }
  if (!left) return;
  if (selection_.tracking() != Selection::Tracking::None) {
    selection_.Drag(x + view.scrollX, y + view.scrollY);
    host_.Repaint();
    return;
  }
  if (!panning_ || !view.scrollBars()) return;
  host_.SetPointerShape(CursorShape::SizeAll);
  // The picture follows the pointer: scroll by the distance moved, against its direction.
  const int32_t dx = view.horizontalBar ? panX_ - x : 0;
  const int32_t dy = view.verticalBar ? panY_ - y : 0;
  if (dx != 0 || dy != 0) host_.ScrollBy(dx, dy);
  panX_ = x;
  panY_ = y;
}

void MouseController::RightDown(const MouseViewState& view) {
  if (selection_.tracking() != Selection::Tracking::None) {
    // A right press ends a move where it is (and drops a band or a resize).
    selection_.Cancel(view.imageWidth, view.imageHeight, state_.zoom);
    host_.Repaint();
    return;
  }
  if (gestures_ == nullptr || state_.useGestures == 0) return;
  if (state_.fullScreen != 0) host_.ShowPointer(true);
  gestures_->BeginStroke();
  stroking_ = true;
}

void MouseController::RightUp(const MouseViewState& view) {
  if (!stroking_) return;
  stroking_ = false;
  if (gestures_ == nullptr || state_.useGestures == 0) return;
  if (state_.fullScreen != 0) host_.ShowPointer(false);
  RunGesture(gestures_->Recognize(), view);
}

void MouseController::RunGesture(int32_t gestureClass, const MouseViewState& view) {
  switch (gestureClass) {
    case 0:  // up
      if (view.fileShown) state_.ToggleFullScreenWithFit();
      break;
    case 2:  // up, then down
      state_.SendViewCommand(cmd::kReload, 0);
      break;
    case 4: post_.Post(cmd::kNextFile, 0); break;      // right
    case 5: post_.Post(cmd::kPreviousFile, 0); break;  // left
    case 8: post_.Post(cmd::kExit, 0); break;          // down, then right
    case 10:                                         // down, then left
      if (state_.animating.load() == 0) state_.SendViewCommand(cmd::kRotateRight, 0);
      break;
    case 13: post_.Post(cmd::kHalveZoom, 0); break;   // diagonal down-left
    case 14: post_.Post(cmd::kDoubleZoom, 0); break;  // diagonal up-right
    default: break;
  }
}

void MouseController::DoubleClick(const MouseViewState& view) {
  if (selection_.tracking() != Selection::Tracking::None) {
    selection_.Cancel(view.imageWidth, view.imageHeight, state_.zoom);
  }
  panning_ = false;
  if (view.fileShown) state_.ToggleFullScreenWithFit();
}

bool MouseController::Escape(const MouseViewState& view) {
  if (selection_.tracking() == Selection::Tracking::None) return false;
  selection_.Cancel(view.imageWidth, view.imageHeight, state_.zoom);
  host_.Repaint();
  return true;
}

bool MouseController::Wheel(int32_t angleDelta, bool ctrl, const MouseViewState& view) {
  if (angleDelta == 0 || (view.scrollBars() && !ctrl)) {
    wheelRest_ = 0;
    return false;
  }
  // Touchpads send many small deltas: zoom once per full notch, in the notch's direction.
  if ((wheelRest_ > 0 && angleDelta < 0) || (wheelRest_ < 0 && angleDelta > 0)) wheelRest_ = 0;
  wheelRest_ += angleDelta;
  while (std::abs(wheelRest_) >= kWheelNotch) {
    const bool in = wheelRest_ > 0;
    wheelRest_ += in ? -kWheelNotch : kWheelNotch;
    state_.SendViewCommand(in ? cmd::kZoomIn : cmd::kZoomOut, 0);
  }
  return true;
}

bool MouseController::Command(AppCommand code) {
  switch (code) {
    case AppCommand::BrowserBack:
    case AppCommand::PreviousTrack: post_.Post(cmd::kPreviousFile, 0); return true;
    case AppCommand::BrowserForward:
    case AppCommand::NextTrack: post_.Post(cmd::kNextFile, 0); return true;
    case AppCommand::BrowserRefresh: state_.SendViewCommand(cmd::kReload, 0); return true;
    case AppCommand::PlayPause: state_.SendViewCommand(cmd::kPauseAnimation, 0); return true;
  }
  return false;
}

CursorShape MouseController::PointerAt(int32_t x, int32_t y, const MouseViewState& view) const {
  if (panning_) return CursorShape::SizeAll;
  return CursorForHit(selection_.HitTest(x + view.scrollX, y + view.scrollY));
}

}  // namespace qp
