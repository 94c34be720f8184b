// The scrolling surface of the view: paints the engine's display bitmap (one image pixel per
// device pixel at zoom 1), the black margins and the information overlay, and keeps the scroll
// bars in step with the extent the view asks for. All decisions are the engine view's.
#pragma once

#include <QAbstractScrollArea>

#include "view/view.h"

namespace qp {

class ViewWidget final : public QAbstractScrollArea {
 public:
  explicit ViewWidget(QWidget* parent = nullptr);
  void SetView(CImgViewerView* view, SettingsAccess* settings) {
    view_ = view;
    settings_ = settings;
  }

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

 private:
  void UpdateBars();
  CImgViewerView* view_ = nullptr;
  SettingsAccess* settings_ = nullptr;
  int32_t extentW_ = 0;
  int32_t extentH_ = 0;
};

}  // namespace qp
