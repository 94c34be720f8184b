// The thumbnail grid's surface: paints the cells of the engine's grid model (thumbnail,
// file name, selection) and hands keys, clicks, double clicks, the wheel, the scroll bar and
// its size to the thumbnail mode. All decisions are the engine's.
#pragma once

#include <QAbstractScrollArea>

namespace qp {

class ThumbnailMode;

class ThumbnailWidget final : public QAbstractScrollArea {
 public:
  explicit ThumbnailWidget(QWidget* parent = nullptr);
  void SetMode(ThumbnailMode* mode);
  // The model changed: scroll bar and paint follow.
  void Sync();

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  ThumbnailMode* mode_ = nullptr;
  bool syncing_ = false;
  int wheelRest_ = 0;
};

}  // namespace qp
