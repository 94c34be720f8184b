#include "qt/main_window.h"

#include <cmath>

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QScrollBar>
#include <QStatusBar>
#include <QUrl>

#include "frame/main_frame.h"
#include "frame/navigation.h"
#include "qt/qt_ports.h"
#include "view/view_geometry.h"

namespace qp {

MainWindow::MainWindow(SettingsAccess& settings) : settings_(settings) {
  setWindowTitle(QString::fromLatin1(kProgramTitle));
  // The picture and the thumbnail grid share the middle of the window, one at a time.
  stack_ = new QStackedWidget(this);
  viewWidget_ = new ViewWidget(stack_);
  thumbnailWidget_ = new ThumbnailWidget(stack_);
  stack_->addWidget(viewWidget_);
  stack_->addWidget(thumbnailWidget_);
  setCentralWidget(stack_);
  setAcceptDrops(true);
}

MainWindow::~MainWindow() {
  if (thumbnails_ != nullptr) thumbnails_->SetHost(nullptr);
}

void MainWindow::GridGone() {
  thumbnails_ = nullptr;
  thumbnailWidget_->SetMode(nullptr);
}

void MainWindow::Attach(CommandRouter& router, CImgViewerView& view) {
  router_ = &router;
  view_ = &view;
  viewWidget_->SetView(&view, &settings_);
  thumbnails_ = dynamic_cast<ThumbnailMode*>(router.HandlerOf(kCmdThumbnails));
  if (thumbnails_ != nullptr) {
    thumbnails_->SetHost(this);
    thumbnailWidget_->SetMode(thumbnails_);
  }
  factory_ = std::make_unique<ActionFactory>(router, *this);
  factory_->CreateActions();
  factory_->BuildMenus(*menuBar());

  // Step 1: the tool bar, hidden unless "ToolbarVisible" is "true".
  const BarVisibility bars = ReadBarVisibility(settings_);
  toolBar_ = addToolBar(QStringLiteral("Toolbar"));
  toolBar_->setObjectName(QStringLiteral("Toolbar"));
  factory_->BuildToolBar(*toolBar_);
  SetToolbarVisible(bars.toolbar);

  // Step 2: the status bar with its message pane and five sized panes.
  struct Pane {
    uint32_t id;
    const char* widthTemplate;
  };
  static constexpr Pane kPanes[] = {
      {kPanePosition, "10240/10240"},
      {kPanePath, "1234567890123456789012345678901234567890"},
      {kPaneDimensions, "10240 x 10240"},
      {kPaneZoom, "Z:100% "},
      {kPaneSize, "(xxx.xx M)"},
  };
  for (const Pane& p : kPanes) {
    auto* label = new QLabel(this);
    label->setMinimumWidth(label->fontMetrics().horizontalAdvance(QString::fromLatin1(p.widthTemplate)) + 8);
    label->setFrameShape(QFrame::Panel);
    label->setFrameShadow(QFrame::Sunken);
    statusBar()->addPermanentWidget(label);
    panes_[p.id] = label;
  }
  // The message pane says "Ready" whenever no prompt is shown.
  statusBar()->showMessage(QStringLiteral("Ready"));
  connect(statusBar(), &QStatusBar::messageChanged, this, [this](const QString& message) {
    if (message.isEmpty()) statusBar()->showMessage(QStringLiteral("Ready"));
  });
  SetStatusVisible(bars.status);

  // The tool bar's buttons follow their update rules while the program idles and the bar is
  // wanted. A hidden bar is not brought up to date: its Paste rule asks the clipboard, which
  // costs a trip to its owner and loads every image plug-in.
  idle_.setInterval(200);
  connect(&idle_, &QTimer::timeout, this, [this] {
    if (toolbarWanted_) factory_->UpdateToolBar();
  });
  idle_.start();
}

QString MainWindow::PaneText(uint32_t pane) const {
  auto it = panes_.find(pane);
  return it == panes_.end() ? QString() : it->second->text();
}

void MainWindow::Close() { close(); }

void MainWindow::Flash() { QApplication::alert(this); }

void MainWindow::SetPaneText(uint32_t pane, const std::string& text) {
  auto it = panes_.find(pane);
  if (it == panes_.end()) return;
  it->second->setText(QString::fromStdString(text));
  // "path ..." is shown while the file loads, before the event loop runs again.
  if (pane == kPanePath && it->second->isVisible()) it->second->repaint();
}

void MainWindow::SetWindowTitle(const std::string& title) {
  const QString text = QString::fromStdString(title);
  if (text != windowTitle()) setWindowTitle(text);
}

void MainWindow::SetToolbarVisible(bool on) {
  const bool shown = on && !toolbarWanted_;
  toolbarWanted_ = on;
  if (toolBar_ == nullptr) return;
  if (shown && factory_) factory_->UpdateToolBar();
  toolBar_->setVisible(on && !fullScreen_);
}

void MainWindow::SetStatusVisible(bool on) {
  statusWanted_ = on;
  statusBar()->setVisible(on && !fullScreen_);
}

void MainWindow::SetScrollExtent(int32_t width, int32_t height) { viewWidget_->SetExtent(width, height); }
ScrollPoint MainWindow::ScrollPosition() { return viewWidget_->Position(); }
void MainWindow::ScrollTo(int32_t x, int32_t y) { viewWidget_->ScrollToDevice(x, y); }
bool MainWindow::HasHorizontalScrollBar() { return viewWidget_->horizontalScrollBar()->maximum() > 0; }
bool MainWindow::HasVerticalScrollBar() { return viewWidget_->verticalScrollBar()->maximum() > 0; }
int32_t MainWindow::ViewportHeight() { return viewWidget_->DeviceViewportSize().height(); }
void MainWindow::Repaint() { viewWidget_->viewport()->update(); }

void MainWindow::ShowFullScreen(bool on) {
  // Fullscreen is this window without frame, bars or menus, covering its screen.
  fullScreen_ = on;
  menuBar()->setVisible(!on);
  if (toolBar_ != nullptr) toolBar_->setVisible(toolbarWanted_ && !on);
  statusBar()->setVisible(statusWanted_ && !on);
  if (on) {
    wasMaximized_ = isMaximized();
    showFullScreen();
  } else if (wasMaximized_) {
    showMaximized();
  } else {
    showNormal();
  }
}

void MainWindow::ShowGrid(bool on) {
  QWidget* shown = on ? static_cast<QWidget*>(thumbnailWidget_) : static_cast<QWidget*>(viewWidget_);
  stack_->setCurrentWidget(shown);
  shown->setFocus();
  if (on && thumbnails_ != nullptr) {
    const QSize vp = thumbnailWidget_->viewport()->size();
    thumbnails_->Resize(vp.width(), vp.height());
  }
}

void MainWindow::GridChanged() { thumbnailWidget_->Sync(); }

void MainWindow::ResizeFrame(int32_t width, int32_t height, int32_t extraWidth, int32_t extraHeight) {
  if (isMaximized()) showNormal();
  resize(FrameSizeFor(width, height, extraWidth, extraHeight, devicePixelRatioF()));
  raise();
}

QSize FrameSizeFor(int32_t width, int32_t height, int32_t extraWidth, int32_t extraHeight, qreal dpr) {
  // Rounded up, so that no device pixel of the picture is cut off.
  const auto units = [dpr](int32_t device) { return static_cast<int>(std::ceil(device / dpr)); };
  return QSize(units(width) + extraWidth, units(height) + extraHeight);
}

bool MainWindow::event(QEvent* event) {
  if (event->type() == PostedCommandEvent::EventType()) {
    auto* posted = static_cast<PostedCommandEvent*>(event);
    if (router_ != nullptr) router_->Dispatch(posted->command, posted->argument);
    return true;
  }
  // On another screen the picture is shown in that screen's colours.
  if (event->type() == QEvent::ScreenChangeInternal && view_ != nullptr) view_->ScreenChanged();
  return QMainWindow::event(event);
}

// The view takes the browser and media keys while it has the focus; the ones that reach the
// window otherwise step through the files here.
void MainWindow::keyPressEvent(QKeyEvent* event) {
  const auto code = AppCommandOfKey(event->key());
  if (code && router_ != nullptr && router_->context().fileOps != nullptr &&
      MediaKey(*router_->context().fileOps, static_cast<int>(*code))) {
    event->accept();
    return;
  }
  QMainWindow::keyPressEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  SaveBarVisibility(settings_, BarVisibility{toolbarWanted_, statusWanted_});
  event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  if (paths.empty()) return;
  event->acceptProposedAction();
  if (router_ != nullptr) router_->navigation().DropFiles(paths);
}

}  // namespace qp
