#include "qt/view_widget.h"

#include <QFont>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

namespace qp {

ViewWidget::ViewWidget(QWidget* parent) : QAbstractScrollArea(parent) {
  setFrameShape(QFrame::NoFrame);
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setAutoFillBackground(false);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize ViewWidget::DeviceViewportSize() const {
  const qreal dpr = devicePixelRatioF();
  return QSize(static_cast<int>(viewport()->width() * dpr), static_cast<int>(viewport()->height() * dpr));
}

void ViewWidget::SetExtent(int32_t width, int32_t height) {
  extentW_ = width;
  extentH_ = height;
  UpdateBars();
}

void ViewWidget::UpdateBars() {
  // An extent that fits the whole area needs no bars, whatever bars show at the moment (a bar
  // that shrinks the view would otherwise call for the other one).
  const qreal dpr = devicePixelRatioF();
  const QSize whole(static_cast<int>(width() * dpr), static_cast<int>(height() * dpr));
  if (extentW_ <= whole.width() && extentH_ <= whole.height()) {
    horizontalScrollBar()->setRange(0, 0);
    verticalScrollBar()->setRange(0, 0);
    return;
  }
  const QSize vp = DeviceViewportSize();
  horizontalScrollBar()->setRange(0, std::max(0, extentW_ - vp.width()));
  verticalScrollBar()->setRange(0, std::max(0, extentH_ - vp.height()));
  horizontalScrollBar()->setPageStep(vp.width());
  verticalScrollBar()->setPageStep(vp.height());
  horizontalScrollBar()->setSingleStep(std::max(1, vp.width() / 10));
  verticalScrollBar()->setSingleStep(std::max(1, vp.height() / 10));
}

ScrollPoint ViewWidget::Position() const {
  return ScrollPoint{horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

void ViewWidget::ScrollToDevice(int32_t x, int32_t y) {
  horizontalScrollBar()->setValue(x);
  verticalScrollBar()->setValue(y);
}

void ViewWidget::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateBars();
}

void ViewWidget::scrollContentsBy(int, int) { viewport()->update(); }

// Keys reach the frame's shortcuts; the scroll area's own arrow and page handling would step
// the bars by its defaults instead of the view's steps.
void ViewWidget::keyPressEvent(QKeyEvent* event) { event->ignore(); }

void ViewWidget::paintEvent(QPaintEvent*) {
  QPainter p(viewport());
  p.fillRect(viewport()->rect(), Qt::black);
  if (view_ == nullptr) return;
  const DisplayBitmap* bitmap = view_->displayBitmap();
  if (bitmap == nullptr) return;
  const qreal dpr = devicePixelRatioF();
  const QSize vp = DeviceViewportSize();
  const PaintLayout layout = view_->Paint(vp.width(), vp.height());

  // Everything below is in device pixels, moved by the scroll position.
  p.save();
  p.scale(1.0 / dpr, 1.0 / dpr);
  p.translate(-horizontalScrollBar()->value(), -verticalScrollBar()->value());
  for (const PaintRect& r : layout.blackStrips)
    p.fillRect(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top), Qt::black);
  // The bitmap is wrapped, not copied.
  const QImage image(bitmap->bits.data(), bitmap->width, bitmap->height,
                     static_cast<qsizetype>(bitmap->stride()), QImage::Format_BGR888);
  p.drawImage(QPoint(layout.ox, layout.oy), image);

  const std::vector<OverlayLine> lines = view_->OverlayLines(layout);
  if (!lines.empty()) {
    QFont font(QStringLiteral("Courier New"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(28);
    font.setBold(true);
    p.setFont(font);
    const uint32_t c = settings_ != nullptr ? OverlayColour(*settings_) : 0x00FF00;
    const QColor colour((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
    for (const OverlayLine& line : lines) {
      const QString text = QString::fromStdString(line.text);
      const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip;
      p.setPen(Qt::black);
      p.drawText(QRect(line.x + 1, line.y + 1, 10000, 40), flags, text);
      p.setPen(colour);
      p.drawText(QRect(line.x, line.y, 10000, 40), flags, text);
    }
  }
  p.restore();
}

}  // namespace qp
