// What the view needs from the window around it and from the frame's file list. The Qt widget
// and main window implement these; engine tests use small fakes.
#pragma once

#include <cstdint>
#include <string>

namespace qp {

// Status-bar panes, by the ids the frame gives them.
enum PaneId : uint32_t {
  kPanePosition = 59140,
  kPanePath = 59141,
  kPaneDimensions = 59143,
  kPaneZoom = 59144,
  kPaneSize = 59145,
};

struct ScrollPoint {
  int32_t x = 0;
  int32_t y = 0;
};

// The scrolling surface the view draws on, and the frame window it sits in.
class ViewHost {
 public:
  virtual ~ViewHost() = default;
  virtual void SetPaneText(uint32_t pane, const std::string& text) = 0;
  // The frame window's title.
  virtual void SetWindowTitle(const std::string& title) = 0;
  // The scrollable size in device pixels; the host clamps positions to it.
  virtual void SetScrollExtent(int32_t width, int32_t height) = 0;
  virtual ScrollPoint ScrollPosition() = 0;
  virtual void ScrollTo(int32_t x, int32_t y) = 0;
  virtual bool HasHorizontalScrollBar() = 0;
  virtual bool HasVerticalScrollBar() = 0;
  // Height of the visible part of the view, the page step.
  virtual int32_t ViewportHeight() = 0;
  // Repaints the whole view now.
  virtual void Repaint() = 0;
  // Makes the view a frameless window covering its screen, or puts it back into the frame.
  virtual void ShowFullScreen(bool on) = 0;
  // Resizes the frame window (keeping its top-left corner) to a picture of width x height
  // device pixels plus extraWidth x extraHeight window units for the bars and borders, and lays
  // out its bars again.
  virtual void ResizeFrame(int32_t width, int32_t height, int32_t extraWidth, int32_t extraHeight) = 0;
};

// The frame's file list as the view sees it.
class ViewFileList {
 public:
  virtual ~ViewFileList() = default;
  virtual void SetCurrent(const std::string& path) = 0;
  virtual void LoadListFile(const std::string& path) = 0;
  virtual int32_t Position() const = 0;
  virtual int32_t Count() const = 0;
  virtual bool SpansSeveralFolders() const = 0;
};

}  // namespace qp
