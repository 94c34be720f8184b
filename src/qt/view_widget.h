// The scrolling surface of the view: paints the engine's display bitmap (one image pixel per
// device pixel at zoom 1), the black margins and the information overlay, and keeps the scroll
// bars in step with the extent the view asks for. All decisions are the engine view's.
#pragma once

#include <QAbstractScrollArea>
#include <QFont>
#include <memory>
#include <optional>

#include "input/view_gestures.h"
#include "view/mouse.h"
#include "view/view.h"

namespace qp {

// The overlay's font: bold "Courier New" (a metric twin where it is missing) sized so that a
// line's box, ascent plus descent, is kOverlayLineBox pixels high.
inline constexpr int kOverlayLineBox = 28;
const QFont& OverlayFont();

// The application command of a browser or media key of the keyboard; nothing for other keys.
std::optional<AppCommand> AppCommandOfKey(int key);

class ViewWidget final : public QAbstractScrollArea, private MouseHost {
 public:
  explicit ViewWidget(QWidget* parent = nullptr);
  void SetView(CImgViewerView* view, SettingsAccess* settings);

  // The extent and position in device pixels.
  void SetExtent(int32_t width, int32_t height);
  ScrollPoint Position() const;
  void ScrollToDevice(int32_t x, int32_t y);
  // The visible size in device pixels.
  QSize DeviceViewportSize() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void keyPressEvent(QKeyEvent* event) override;
  bool event(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void UpdateBars();
  // A preview of only the part of the picture that was on screen gives way to the exact
  // picture once the view shows more (scrolled, or made larger).
  void NeedWholePictureIfUncovered();
  // The view as the mouse logic needs it at the moment of an event.
  MouseViewState MouseView() const;
  // A position in the viewport, in device pixels.
  QPoint DevicePoint(const QPointF& logical) const;
  // The dotted selection outline and its resize handles, in content coordinates.
  void DrawSelection(QPainter& p, int32_t ox, int32_t oy);
  // MouseHost
  void ScrollBy(int32_t dx, int32_t dy) override;
  void SetPointerShape(CursorShape shape) override;
  void ShowPointer(bool visible) override;
  void Repaint() override;
  CImgViewerView* view_ = nullptr;
  SettingsAccess* settings_ = nullptr;
  int32_t extentW_ = 0;
  int32_t extentH_ = 0;
  ViewGestures gestures_;
  std::unique_ptr<MouseController> mouse_;
};

}  // namespace qp
