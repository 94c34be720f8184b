#include "qt/view_widget.h"

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QRegion>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>

namespace qp {

const QFont& OverlayFont() {
  // The overlay's lines are 20 pixels apart and its characters 14 wide: laid out for a bold
  // monospaced face whose character cell, ascent plus descent, is 28 pixels high. A font's
  // pixel size is its em, smaller than the cell, so the largest em whose cell fits is taken.
  static const QFont font = [] {
    QFont f(QStringLiteral("Courier New"));
    f.setStyleHint(QFont::Monospace);
    f.setBold(true);
    for (int px = kOverlayLineBox; px > 8; --px) {
      f.setPixelSize(px);
      if (QFontMetrics(f).height() <= kOverlayLineBox) break;
    }
    return f;
  }();
  return font;
}

ViewWidget::ViewWidget(QWidget* parent) : QAbstractScrollArea(parent) {
  setFrameShape(QFrame::NoFrame);
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setAutoFillBackground(false);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  // Moves without a button pressed set the pointer over the selection's handles.
  viewport()->setMouseTracking(true);
}

void ViewWidget::SetView(CImgViewerView* view, SettingsAccess* settings) {
  view_ = view;
  settings_ = settings;
  mouse_.reset();
  if (view_ != nullptr) {
    ViewContext& c = view_->context();
    mouse_ = std::make_unique<MouseController>(c.state, view_->selection(), c.ports.post,
                                               static_cast<MouseHost&>(*this), &gestures_);
  }
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
  NeedWholePictureIfUncovered();
}

void ViewWidget::scrollContentsBy(int, int) {
  NeedWholePictureIfUncovered();
  viewport()->update();
}

void ViewWidget::NeedWholePictureIfUncovered() {
  if (view_ == nullptr || !view_->showsPreview()) return;
  const QSize vp = DeviceViewportSize();
  const ScrollPoint at = Position();
  if (!view_->PreviewCovers(at.x, at.y, vp.width(), vp.height())) view_->EnsureExact();
}

std::optional<AppCommand> AppCommandOfKey(int key) {
  switch (key) {
    case Qt::Key_Back: return AppCommand::BrowserBack;
    case Qt::Key_Forward: return AppCommand::BrowserForward;
    case Qt::Key_Refresh: return AppCommand::BrowserRefresh;
    case Qt::Key_MediaNext: return AppCommand::NextTrack;
    case Qt::Key_MediaPrevious: return AppCommand::PreviousTrack;
    case Qt::Key_MediaPlay:
    case Qt::Key_MediaTogglePlayPause:
    case Qt::Key_MediaPause: return AppCommand::PlayPause;
    default: return std::nullopt;
  }
}

// Other keys reach the frame's shortcuts; the scroll area's own arrow and page handling would
// step the bars by its defaults instead of the view's steps.
void ViewWidget::keyPressEvent(QKeyEvent* event) {
  if (mouse_ && event->key() == Qt::Key_Escape && mouse_->Escape(MouseView())) {
    event->accept();
    return;
  }
  if (const auto code = AppCommandOfKey(event->key()); code && mouse_ && mouse_->Command(*code)) {
    event->accept();
    return;
  }
  event->ignore();
}

bool ViewWidget::event(QEvent* event) {
  // Escape while a selection is dragged ends the drag instead of running Exit.
  if (event->type() == QEvent::ShortcutOverride && mouse_ &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
      view_->selection().tracking() != Selection::Tracking::None) {
    event->accept();
    return true;
  }
  return QAbstractScrollArea::event(event);
}

QPoint ViewWidget::DevicePoint(const QPointF& logical) const {
  const qreal dpr = devicePixelRatioF();
  return QPoint(static_cast<int>(logical.x() * dpr), static_cast<int>(logical.y() * dpr));
}

MouseViewState ViewWidget::MouseView() const {
  MouseViewState v;
  v.horizontalBar = horizontalScrollBar()->maximum() > 0;
  v.verticalBar = verticalScrollBar()->maximum() > 0;
  v.scrollX = horizontalScrollBar()->value();
  v.scrollY = verticalScrollBar()->value();
  if (view_ != nullptr) {
    v.fileShown = view_->holdsImage();
    v.imageWidth = view_->pictureWidth();
    v.imageHeight = view_->pictureHeight();
  }
  return v;
}

void ViewWidget::mousePressEvent(QMouseEvent* event) {
  if (!mouse_) return;
  const QPoint p = DevicePoint(event->position());
  switch (event->button()) {
    case Qt::LeftButton: mouse_->LeftDown(p.x(), p.y(), MouseView()); break;
    case Qt::RightButton: mouse_->RightDown(MouseView()); break;
    case Qt::BackButton: mouse_->Command(AppCommand::BrowserBack); break;
    case Qt::ForwardButton: mouse_->Command(AppCommand::BrowserForward); break;
    default: break;
  }
  event->accept();
}

void ViewWidget::mouseMoveEvent(QMouseEvent* event) {
  if (!mouse_) return;
  const QPoint p = DevicePoint(event->position());
  const bool left = event->buttons() & Qt::LeftButton;
  const bool right = event->buttons() & Qt::RightButton;
  const MouseViewState v = MouseView();
  mouse_->Move(p.x(), p.y(), left, right, v);
  if (!left && !right) SetPointerShape(mouse_->PointerAt(p.x(), p.y(), v));
}

void ViewWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (!mouse_) return;
  const QPoint p = DevicePoint(event->position());
  if (event->button() == Qt::LeftButton) mouse_->LeftUp(p.x(), p.y(), MouseView());
  if (event->button() == Qt::RightButton) mouse_->RightUp(MouseView());
  SetPointerShape(mouse_->PointerAt(p.x(), p.y(), MouseView()));
}

void ViewWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  if (mouse_ && event->button() == Qt::LeftButton) mouse_->DoubleClick(MouseView());
}

void ViewWidget::wheelEvent(QWheelEvent* event) {
  const bool ctrl = event->modifiers() & Qt::ControlModifier;
  if (mouse_ && mouse_->Wheel(event->angleDelta().y(), ctrl, MouseView())) {
    event->accept();
    return;
  }
  QAbstractScrollArea::wheelEvent(event);
}

void ViewWidget::ScrollBy(int32_t dx, int32_t dy) {
  if (view_ != nullptr) view_->ScrollBy(dx, dy);
}

void ViewWidget::SetPointerShape(CursorShape shape) {
  Qt::CursorShape q = Qt::ArrowCursor;
  switch (shape) {
    case CursorShape::Default: q = Qt::ArrowCursor; break;
    case CursorShape::SizeNwSe: q = Qt::SizeFDiagCursor; break;
    case CursorShape::SizeNeSw: q = Qt::SizeBDiagCursor; break;
    case CursorShape::SizeNs: q = Qt::SizeVerCursor; break;
    case CursorShape::SizeWe: q = Qt::SizeHorCursor; break;
    case CursorShape::SizeAll: q = Qt::SizeAllCursor; break;
  }
  // A hidden pointer (fullscreen) stays hidden.
  if (viewport()->cursor().shape() != Qt::BlankCursor) viewport()->setCursor(q);
}

void ViewWidget::ShowPointer(bool visible) {
  if (view_ != nullptr) view_->ShowPointer(visible);
}

void ViewWidget::Repaint() { viewport()->update(); }

void ViewWidget::DrawSelection(QPainter& p, int32_t ox, int32_t oy) {
  if (view_ == nullptr) return;
  const Selection& sel = view_->selection();
  const auto r = sel.Live();
  if (!r || r->empty()) return;
  const QRect box(ox + r->left, oy + r->top, r->right - r->left - 1, r->bottom - r->top - 1);
  // A dotted line that shows on light and dark pictures alike: white under black dots.
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(Qt::white, 0));
  p.drawRect(box);
  p.setPen(QPen(Qt::black, 0, Qt::DotLine));
  p.drawRect(box);
  if (sel.tracking() == Selection::Tracking::RubberBand) return;
  for (int32_t h = 0; h < 8; ++h) {
    const PixelRect hr = HandleRect(*r, static_cast<HitCode>(h));
    if (!hr.empty()) p.fillRect(QRect(ox + hr.left, oy + hr.top, hr.right - hr.left, hr.bottom - hr.top), Qt::black);
  }
}

void ViewWidget::paintEvent(QPaintEvent*) {
  // Tells the view that the paint has ended, after the painter below has finished.
  struct EndOfPaint {
    CImgViewerView* view;
    ~EndOfPaint() {
      if (view != nullptr) view->Painted();
    }
  } endOfPaint{view_};
  QPainter p(viewport());
  const DisplayBitmap* bitmap = view_ != nullptr ? view_->displayBitmap() : nullptr;
  if (bitmap == nullptr) {
    p.fillRect(viewport()->rect(), Qt::black);
    return;
  }
  const qreal dpr = devicePixelRatioF();
  const QSize vp = DeviceViewportSize();
  const PaintLayout layout = view_->Paint(vp.width(), vp.height());

  // Everything below is in device pixels, moved by the scroll position.
  p.save();
  p.scale(1.0 / dpr, 1.0 / dpr);
  const QPoint scroll(horizontalScrollBar()->value(), verticalScrollBar()->value());
  p.translate(-scroll);
  // The bitmap is wrapped, not copied; its padding columns are not part of the picture.
  const QImage image(bitmap->bits.data(), bitmap->scaledWidth, bitmap->height,
                     static_cast<qsizetype>(bitmap->stride()), QImage::Format_BGR888);
  const QPoint at(layout.ox + layout.bitmapX, layout.oy + layout.bitmapY);
  // Black around the picture, not under it: the opaque picture covers the rest.
  // One device pixel more: a fractional scale rounds the viewport's device size down.
  const QRegion around =
      QRegion(QRect(scroll, vp).adjusted(0, 0, 1, 1)) - QRegion(QRect(at, image.size()));
  for (const QRect& r : around) p.fillRect(r, Qt::black);
  for (const PaintRect& r : layout.blackStrips)
    p.fillRect(QRect(r.left, r.top, r.right - r.left, r.bottom - r.top), Qt::black);
  p.drawImage(at, image);
  DrawSelection(p, layout.ox, layout.oy);

  const std::vector<OverlayLine> lines = view_->OverlayLines(layout);
  if (!lines.empty()) {
    p.setFont(OverlayFont());
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
