// The main frame window: menus, tool bar and status panes built from the command table, the view
// widget in the middle, the deferred-command queue, dropped files and the close step. Each slot
// is one call into the engine.
#pragma once

#include <map>
#include <memory>

#include <QLabel>
#include <QMainWindow>
#include <QStackedWidget>
#include <QTimer>
#include <QToolBar>

#include "frame/commands.h"
#include "frame/thumbnail_mode.h"
#include "qt/action_factory.h"
#include "qt/thumbnail_widget.h"
#include "qt/view_widget.h"
#include "view/view_host.h"

namespace qp {

// The frame size, in window units, for a picture of width x height device pixels at `dpr`
// device pixels per unit plus the extra units of the bars and borders.
QSize FrameSizeFor(int32_t width, int32_t height, int32_t extraWidth, int32_t extraHeight, qreal dpr);

class MainWindow final : public QMainWindow, public FrameHost, public ViewHost, public GridHost {
 public:
  explicit MainWindow(SettingsAccess& settings);
  ~MainWindow() override;

  ViewWidget& viewWidget() { return *viewWidget_; }
  ThumbnailWidget& thumbnailWidget() { return *thumbnailWidget_; }
  // The thumbnail mode of the router, or null.
  ThumbnailMode* thumbnails() const { return thumbnails_; }
  // Builds menus, tool bar and panes once the router exists; bars as the settings say.
  void Attach(CommandRouter& router, CImgViewerView& view);
  ActionFactory* actions() { return factory_.get(); }
  // The texts of the status panes, for tests.
  QString PaneText(uint32_t pane) const;
  QToolBar* toolBar() const { return toolBar_; }

  // FrameHost
  void Close() override;
  void Flash() override;
  void SetPaneText(uint32_t pane, const std::string& text) override;
  void SetWindowTitle(const std::string& title) override;
  bool ToolbarVisible() override { return toolbarWanted_; }
  bool StatusVisible() override { return statusWanted_; }
  void SetToolbarVisible(bool on) override;
  void SetStatusVisible(bool on) override;

  // ViewHost
  void SetScrollExtent(int32_t width, int32_t height) override;
  ScrollPoint ScrollPosition() override;
  void ScrollTo(int32_t x, int32_t y) override;
  bool HasHorizontalScrollBar() override;
  bool HasVerticalScrollBar() override;
  int32_t ViewportHeight() override;
  void Repaint() override;
  void ShowFullScreen(bool on) override;
  void ResizeFrame(int32_t width, int32_t height, int32_t extraWidth, int32_t extraHeight) override;

  // GridHost
  void ShowGrid(bool on) override;
  void GridChanged() override;
  double DevicePixelRatio() override { return devicePixelRatioF(); }
  void GridGone() override;

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  SettingsAccess& settings_;
  CommandRouter* router_ = nullptr;
  CImgViewerView* view_ = nullptr;
  ViewWidget* viewWidget_ = nullptr;
  QStackedWidget* stack_ = nullptr;
  ThumbnailWidget* thumbnailWidget_ = nullptr;
  ThumbnailMode* thumbnails_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  std::unique_ptr<ActionFactory> factory_;
  std::map<uint32_t, QLabel*> panes_;
  QTimer idle_;
  bool toolbarWanted_ = false;
  bool statusWanted_ = true;
  bool fullScreen_ = false;
  bool wasMaximized_ = false;
};

}  // namespace qp
