// Fakes of the window around the view and of the frame: they record panes, extents, scroll
// positions, repaints and frame requests.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "frame/commands.h"
#include "view/view_host.h"

namespace qp::test {

struct FakeViewHost final : ViewHost, FrameHost {
  std::map<uint32_t, std::string> panes;
  int32_t extentW = 0, extentH = 0;
  int32_t viewW = 800, viewH = 600;  // the visible part
  ScrollPoint pos;
  int repaints = 0;
  bool fullScreen = false;
  int resizedW = 0, resizedH = 0;
  int closes = 0, flashes = 0;
  bool toolbar = false, status = true;

  void SetPaneText(uint32_t pane, const std::string& text) override { panes[pane] = text; }
  std::string title;
  void SetWindowTitle(const std::string& t) override { title = t; }
  std::vector<std::pair<int32_t, int32_t>> extents;  // every extent set, in order
  void SetScrollExtent(int32_t w, int32_t h) override {
    extents.emplace_back(w, h);
    extentW = w;
    extentH = h;
    ScrollTo(pos.x, pos.y);
  }
  ScrollPoint ScrollPosition() override { return pos; }
  // Clamped the way a scroll area clamps: to the extent minus the visible size.
  void ScrollTo(int32_t x, int32_t y) override {
    pos.x = std::max(0, std::min(x, std::max(0, extentW - viewW)));
    pos.y = std::max(0, std::min(y, std::max(0, extentH - viewH)));
  }
  bool HasHorizontalScrollBar() override { return extentW > viewW; }
  bool HasVerticalScrollBar() override { return extentH > viewH; }
  int32_t ViewportHeight() override { return viewH; }
  void Repaint() override { ++repaints; }
  void ShowFullScreen(bool on) override { fullScreen = on; }
  int resizes = 0;
  int extraW = 0, extraH = 0;  // window units added to the picture's device pixels
  void ResizeFrame(int32_t w, int32_t h, int32_t ew, int32_t eh) override {
    ++resizes;
    resizedW = w;
    resizedH = h;
    extraW = ew;
    extraH = eh;
  }
  void Close() override { ++closes; }
  void Flash() override { ++flashes; }
  bool ToolbarVisible() override { return toolbar; }
  bool StatusVisible() override { return status; }
  void SetToolbarVisible(bool on) override { toolbar = on; }
  void SetStatusVisible(bool on) override { status = on; }
};

// Records what the view tells the list; answers from its fields, or from `forward` (a real
// list) when set.
struct FakeFileList final : ViewFileList {
  std::vector<std::string> current;
  std::vector<std::string> listFiles;
  int32_t position = 0, count = 0;
  bool several = false;
  ViewFileList* forward = nullptr;
  void SetCurrent(const std::string& path) override {
    current.push_back(path);
    if (forward) forward->SetCurrent(path);
  }
  void LoadListFile(const std::string& path) override {
    listFiles.push_back(path);
    if (forward) forward->LoadListFile(path);
  }
  int32_t Position() const override { return forward ? forward->Position() : position; }
  int32_t Count() const override { return forward ? forward->Count() : count; }
  bool SpansSeveralFolders() const override { return forward ? forward->SpansSeveralFolders() : several; }
};

}  // namespace qp::test
