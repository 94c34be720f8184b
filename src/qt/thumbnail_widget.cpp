#include "qt/thumbnail_widget.h"

#include <algorithm>

#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include "frame/thumbnail_mode.h"

namespace qp {
namespace {

// The grid's own keys: they must reach the grid even where a menu command has the same key.
std::optional<int> GridKey(const QKeyEvent* e) {
  const auto mods = e->modifiers() & ~Qt::KeypadModifier;
  if (mods != Qt::NoModifier) return std::nullopt;
  switch (e->key()) {
    case Qt::Key_Left: case Qt::Key_Right: case Qt::Key_Up: case Qt::Key_Down:
    case Qt::Key_PageUp: case Qt::Key_PageDown: case Qt::Key_Home: case Qt::Key_End:
    case Qt::Key_Return: case Qt::Key_Enter: case Qt::Key_Escape:
      return e->key();
    default: return std::nullopt;
  }
}

}  // namespace

ThumbnailWidget::ThumbnailWidget(QWidget* parent) : QAbstractScrollArea(parent) {
  setFrameShape(QFrame::NoFrame);
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
}

void ThumbnailWidget::SetMode(ThumbnailMode* mode) { mode_ = mode; }

void ThumbnailWidget::Sync() {
  if (mode_ == nullptr) return;
  const ThumbnailGrid& g = mode_->grid();
  syncing_ = true;
  QScrollBar* bar = verticalScrollBar();
  bar->setRange(0, g.maxScroll());
  bar->setPageStep(std::max(1, g.viewportHeight()));
  bar->setSingleStep(g.cellHeight());
  bar->setValue(g.scroll());
  syncing_ = false;
  viewport()->update();
}

bool ThumbnailWidget::event(QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride && GridKey(static_cast<QKeyEvent*>(event))) {
    event->accept();
    return true;
  }
  return QAbstractScrollArea::event(event);
}

void ThumbnailWidget::keyPressEvent(QKeyEvent* event) {
  const auto key = GridKey(event);
  if (mode_ == nullptr || !key) {
    QAbstractScrollArea::keyPressEvent(event);
    return;
  }
  using M = ThumbnailGrid::Move;
  switch (*key) {
    case Qt::Key_Left: mode_->Move(M::Left); break;
    case Qt::Key_Right: mode_->Move(M::Right); break;
    case Qt::Key_Up: mode_->Move(M::Up); break;
    case Qt::Key_Down: mode_->Move(M::Down); break;
    case Qt::Key_PageUp: mode_->Move(M::PageUp); break;
    case Qt::Key_PageDown: mode_->Move(M::PageDown); break;
    case Qt::Key_Home: mode_->Move(M::Home); break;
    case Qt::Key_End: mode_->Move(M::End); break;
    case Qt::Key_Return: case Qt::Key_Enter: mode_->OpenSelected(); break;
    case Qt::Key_Escape: mode_->Leave(); break;
    default: break;
  }
  event->accept();
}

void ThumbnailWidget::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  if (mode_ != nullptr) mode_->Resize(viewport()->width(), viewport()->height());
}

void ThumbnailWidget::scrollContentsBy(int /*dx*/, int /*dy*/) {
  if (!syncing_ && mode_ != nullptr) mode_->ScrollTo(verticalScrollBar()->value());
}

void ThumbnailWidget::mousePressEvent(QMouseEvent* event) {
  if (mode_ != nullptr && event->button() == Qt::LeftButton) {
    const QPoint p = event->position().toPoint();
    mode_->Click(p.x(), p.y());
  }
  event->accept();
}

void ThumbnailWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  if (mode_ != nullptr && event->button() == Qt::LeftButton) {
    const QPoint p = event->position().toPoint();
    mode_->DoubleClick(p.x(), p.y());
  }
  event->accept();
}

void ThumbnailWidget::wheelEvent(QWheelEvent* event) {
  if (mode_ == nullptr) return;
  // One row per notch (120 units); touchpads send smaller steps that add up.
  wheelRest_ += event->angleDelta().y();
  const int notches = wheelRest_ / 120;
  wheelRest_ -= notches * 120;
  if (notches != 0) mode_->Wheel(-notches);
  event->accept();
}

void ThumbnailWidget::paintEvent(QPaintEvent* /*event*/) {
  QPainter p(viewport());
  const QPalette& pal = palette();
  p.fillRect(viewport()->rect(), pal.color(QPalette::Base));
  if (mode_ == nullptr) return;
  const ThumbnailGrid& g = mode_->grid();
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  const QFontMetrics fm(font());
  const CellRange visible = g.Visible();
  constexpr int side = ThumbnailGrid::kThumbSide;
  constexpr int gap = ThumbnailGrid::kGap;
  for (int32_t i = visible.first; i < visible.last; ++i) {
    const ThumbnailGrid::Cell& c = g.cell(i);
    const CellBox b = g.BoxOf(i);
    const QRect cellRect(b.x, b.y, b.width, b.height);
    const bool selected = i == g.selected();
    if (selected) p.fillRect(cellRect.adjusted(2, 2, -2, -2), pal.color(QPalette::Highlight));
    const QRect square(b.x + gap, b.y + gap, side, side);
    if (c.pixels) {
      const ImageBuffer& img = *c.pixels;
      // BGRA bytes are ARGB32 words on a little-endian machine; wrapped, not copied.
      const QImage image(img.data(), img.width(), img.height(), static_cast<qsizetype>(img.stride()),
                         QImage::Format_ARGB32);
      // One image pixel per device pixel, made smaller only where it does not fit the square
      // (a thumbnail of a larger size made by another program); never enlarged.
      const double scale = std::min({static_cast<double>(side) / img.width(),
                                     static_cast<double>(side) / img.height(),
                                     1.0 / devicePixelRatioF()});
      const double w = img.width() * scale, h = img.height() * scale;
      const QRectF target(square.x() + (side - w) / 2, square.y() + (side - h) / 2, w, h);
      p.drawImage(target, image);
    } else if (c.state == ThumbnailState::Plain) {
      p.fillRect(square.adjusted(16, 16, -16, -16), pal.color(QPalette::Mid));
    } else {
      p.setPen(pal.color(QPalette::Midlight));
      p.drawRect(square.adjusted(16, 16, -17, -17));
    }
    p.setPen(pal.color(selected ? QPalette::HighlightedText : QPalette::Text));
    const QRect label(b.x + 2, b.y + gap + side, b.width - 4, ThumbnailGrid::kLabelHeight);
    p.drawText(label, Qt::AlignHCenter | Qt::AlignVCenter,
               fm.elidedText(QString::fromStdString(c.name), Qt::ElideMiddle, label.width()));
  }
}

}  // namespace qp
