// What the view does with the mouse: the left button selects (or pans a picture larger than
// the view), the wheel zooms, a double click toggles fullscreen, the right button draws a
// gesture stroke, and the extra buttons and media keys step through the files.
//
// The widget forwards its events here with client coordinates and a snapshot of the view;
// the controller answers through the MouseHost (scrolling, pointer shape, repaint), the
// ViewerState (view commands, fullscreen) and the post port (deferred frame commands).
#pragma once

#include <cstdint>

#include "core/viewer_state.h"
#include "platform/ports.h"
#include "view/command_ids.h"
#include "view/selection.h"

namespace qp {

// Records a right-button stroke and classifies it; implemented over the gesture network.
class StrokeRecognizer {
 public:
  virtual ~StrokeRecognizer() = default;
  virtual void BeginStroke() = 0;
  virtual void AddPoint(int32_t x, int32_t y) = 0;
  // The gesture class, or -1 when the stroke is too short or not recognised.
  virtual int32_t Recognize() = 0;
};

// The view at the time of an event.
struct MouseViewState {
  bool horizontalBar = false;  // the view shows a horizontal scroll bar
  bool verticalBar = false;
  int32_t scrollX = 0;  // content offset of the client area's top-left corner
  int32_t scrollY = 0;
  bool fileShown = false;  // a picture of a file (or the clipboard) is shown
  int32_t imageWidth = 0;
  int32_t imageHeight = 0;
  bool scrollBars() const { return horizontalBar || verticalBar; }
};

// What the controller asks of the widget.
class MouseHost {
 public:
  virtual ~MouseHost() = default;
  virtual void ScrollBy(int32_t dx, int32_t dy) = 0;
  virtual void SetPointerShape(CursorShape shape) = 0;
  // Shows or hides the pointer over the view, keeping the view's cursor-visible flag.
  virtual void ShowPointer(bool visible) = 0;
  virtual void Repaint() = 0;
};

// Application-command codes of the extra mouse buttons and the keyboard's browser and media
// keys.
enum class AppCommand : int32_t {
  BrowserBack = 1,
  BrowserForward = 2,
  BrowserRefresh = 3,
  NextTrack = 11,
  PreviousTrack = 12,
  PlayPause = 14,
};

// One wheel notch: angle deltas are counted in eighths of a degree, 120 per notch.
inline constexpr int32_t kWheelNotch = 120;

class MouseController {
 public:
  MouseController(ViewerState& state, Selection& selection, PostPort& post, MouseHost& host,
                  StrokeRecognizer* gestures)
      : state_(state), selection_(selection), post_(post), host_(host), gestures_(gestures) {}

  void LeftDown(int32_t x, int32_t y, const MouseViewState& view);
  void LeftUp(int32_t x, int32_t y, const MouseViewState& view);
  // A move; `left` and `right` tell which buttons are held.
  void Move(int32_t x, int32_t y, bool left, bool right, const MouseViewState& view);
  void RightDown(const MouseViewState& view);
  void RightUp(const MouseViewState& view);
  void DoubleClick(const MouseViewState& view);
  // Escape while a selection is being tracked; true when it was consumed.
  bool Escape(const MouseViewState& view);
  // A wheel event with its angle delta. True when the view zoomed (or is collecting a partial
  // notch towards a zoom); false: the widget scrolls as usual.
  bool Wheel(int32_t angleDelta, bool ctrl, const MouseViewState& view);
  // True when the code is one the view handles.
  bool Command(AppCommand code);
  // The pointer shape over a client point.
  CursorShape PointerAt(int32_t x, int32_t y, const MouseViewState& view) const;

  bool panning() const { return panning_; }
  bool stroking() const { return stroking_; }

  // What a recognised gesture class does.
  void RunGesture(int32_t gestureClass, const MouseViewState& view);

 private:
  ViewerState& state_;
  Selection& selection_;
  PostPort& post_;
  MouseHost& host_;
  StrokeRecognizer* gestures_;
  bool panning_ = false;
  bool stroking_ = false;
  int32_t panX_ = 0, panY_ = 0;
  int32_t wheelRest_ = 0;  // delta collected towards the next notch
};

}  // namespace qp
