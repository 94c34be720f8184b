#include "qt/qt_ports.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QImage>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QScreen>
#include <QUrl>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#ifdef QP_HAVE_XCB
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <QGuiApplication>
#endif

#include "frame/dialog_filters.h"

namespace qp {

QEvent::Type PostedCommandEvent::EventType() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

MessageAnswer QtMessageBox::Show(const std::string& text, MessageIcon icon,
                                 MessageButtons buttons) {
  QMessageBox box(parent);
  box.setWindowTitle(QStringLiteral("Quill Pix"));
  box.setText(QString::fromStdString(text));
  switch (icon) {
    case MessageIcon::None:
      box.setIcon(QMessageBox::NoIcon);
      break;
    case MessageIcon::Error:
      box.setIcon(QMessageBox::Critical);
      break;
    case MessageIcon::Warning:
      box.setIcon(QMessageBox::Warning);
      break;
    case MessageIcon::Information:
      box.setIcon(QMessageBox::Information);
      break;
    case MessageIcon::Question:
      box.setIcon(QMessageBox::Question);
      break;
  }
  switch (buttons) {
    case MessageButtons::Ok:
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case MessageButtons::YesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      break;
    case MessageButtons::YesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      break;
    case MessageButtons::OkCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Yes:
      return MessageAnswer::Yes;
    case QMessageBox::No:
      return MessageAnswer::No;
    case QMessageBox::Cancel:
      return MessageAnswer::Cancel;
    default:
      return buttons == MessageButtons::OkCancel || buttons == MessageButtons::Ok
                 ? MessageAnswer::Ok
                 : MessageAnswer::Cancel;
  }
}

QStringList QtNameFilters(const std::string& filter) {
  QStringList out;
  for (const std::string& f : ToNameFilters(filter)) out << QString::fromStdString(f);
  return out;
}

static std::optional<FileDialogResult> RunDialog(QWidget* parent, const FileDialogRequest& r,
                                                 bool save) {
  QFileDialog dialog(parent, QString::fromStdString(r.title), QString::fromStdString(r.folder));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  // The commands ask "Overwrite existing file?" themselves, after the extension rules.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog.setFileMode(save              ? QFileDialog::AnyFile
                     : r.allowMultiple ? QFileDialog::ExistingFiles
                                       : QFileDialog::ExistingFile);
  const QStringList filters = QtNameFilters(r.filter);
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    if (r.filterIndex >= 1 && r.filterIndex <= filters.size())
      dialog.selectNameFilter(filters[r.filterIndex - 1]);
  }
  if (!r.fileName.empty()) dialog.selectFile(QString::fromStdString(r.fileName));
  if (!r.defaultExtension.empty())
    dialog.setDefaultSuffix(QString::fromStdString(r.defaultExtension));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  FileDialogResult out;
  for (const QString& f : dialog.selectedFiles()) out.paths.push_back(f.toStdString());
  if (out.paths.empty()) return std::nullopt;
  out.filterIndex = static_cast<int32_t>(filters.indexOf(dialog.selectedNameFilter())) + 1;
  if (out.filterIndex < 1) out.filterIndex = 1;
  return out;
}

std::optional<FileDialogResult> QtFileDialogs::Open(const FileDialogRequest& r) {
  return RunDialog(parent, r, false);
}
std::optional<FileDialogResult> QtFileDialogs::Save(const FileDialogRequest& r) {
  return RunDialog(parent, r, true);
}

std::optional<std::string> QtFileDialogs::ChooseFolder(const std::string& title,
                                                       const std::string& start) {
  const QString dir = QFileDialog::getExistingDirectory(parent, QString::fromStdString(title),
                                                        QString::fromStdString(start));
  if (dir.isEmpty()) return std::nullopt;
  return dir.toStdString();
}

bool QtClipboard::SetImage(const ImageBuffer& picture) {
  if (picture.empty()) return false;
  // BGRA in memory is Qt's ARGB32 on a little-endian machine; copy() detaches from our block.
  const QImage image(picture.data(), picture.width(), picture.height(),
                     static_cast<qsizetype>(picture.stride()), QImage::Format_ARGB32);
  QApplication::clipboard()->setImage(image.copy());
  return true;
}

std::optional<ImageBuffer> QtClipboard::GetImage() {
  const QImage image = QApplication::clipboard()->image().convertToFormat(QImage::Format_ARGB32);
  if (image.isNull()) return std::nullopt;
  auto out = ImageBuffer::Allocate(image.width(), image.height());
  if (!out) return std::nullopt;
  for (int y = 0; y < image.height(); ++y)
    std::memcpy(out->row(y), image.constScanLine(y), out->stride());
  return out;
}

bool QtClipboard::HasImage() {
  const QMimeData* mime = QApplication::clipboard()->mimeData();
  return mime != nullptr && mime->hasImage();
}

bool QtClipboard::SetText(const std::string& text) {
  QApplication::clipboard()->setText(QString::fromStdString(text));
  return true;
}

std::optional<std::string> QtClipboard::GetText() {
  const QString t = QApplication::clipboard()->text();
  if (t.isNull()) return std::nullopt;
  return t.toStdString();
}

bool QtDesktop::OpenUrl(const std::string& url) {
  // A web link, or a local document by its path.
  return QDesktopServices::openUrl(QUrl::fromUserInput(QString::fromStdString(url)));
}

bool QtDesktop::StartDetached(const std::string& program,
                              const std::vector<std::string>& arguments) {
  QStringList args;
  for (const auto& a : arguments) args << QString::fromStdString(a);
  return QProcess::startDetached(QString::fromStdString(program), args);
}

static ScreenRect DeviceRect(const QRect& r, qreal dpr) {
  return ScreenRect{static_cast<int32_t>(r.left() * dpr), static_cast<int32_t>(r.top() * dpr),
                    static_cast<int32_t>((r.left() + r.width()) * dpr),
                    static_cast<int32_t>((r.top() + r.height()) * dpr)};
}

static QScreen* ScreenOf(QWidget* w) {
  if (w != nullptr && w->screen() != nullptr) return w->screen();
  return QGuiApplication::primaryScreen();
}

ScreenRect QtScreen::AvailableGeometry() {
  QScreen* s = ScreenOf(window);
  if (s == nullptr) return {};
  return DeviceRect(s->availableGeometry(), s->devicePixelRatio());
}

#ifdef QP_HAVE_XCB
namespace {

// The root window's property `name` (a screen's colour profile), or nothing.
std::vector<uint8_t> IccProperty(xcb_connection_t* c, const std::string& name) {
  const xcb_intern_atom_cookie_t ac =
      xcb_intern_atom(c, 1, static_cast<uint16_t>(name.size()), name.c_str());
  std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
      xcb_intern_atom_reply(c, ac, nullptr), &std::free);
  if (!atom || atom->atom == XCB_ATOM_NONE) return {};
  const xcb_screen_t* root = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  if (root == nullptr) return {};
  // Profiles are far below 16 MiB; the length is counted in 32-bit units.
  const xcb_get_property_cookie_t pc =
      xcb_get_property(c, 0, root->root, atom->atom, XCB_GET_PROPERTY_TYPE_ANY, 0, 4 * 1024 * 1024);
  std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
      xcb_get_property_reply(c, pc, nullptr), &std::free);
  if (!reply || reply->format != 8) return {};
  const auto* bytes = static_cast<const uint8_t*>(xcb_get_property_value(reply.get()));
  const int length = xcb_get_property_value_length(reply.get());
  if (bytes == nullptr || length <= 0) return {};
  return std::vector<uint8_t>(bytes, bytes + length);
}

}  // namespace
#endif

std::vector<uint8_t> QtScreen::IccProfile() {
#ifdef QP_HAVE_XCB
  auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
  xcb_connection_t* c = x11 ? x11->connection() : nullptr;
  if (c == nullptr) return {};
  const QList<QScreen*> screens = QGuiApplication::screens();
  const qsizetype index = screens.indexOf(ScreenOf(window));
  return IccProperty(
      c, index > 0 ? "_ICC_PROFILE_" + std::to_string(index) : std::string("_ICC_PROFILE"));
#else
  return {};
#endif
}

std::optional<EarlyScreen> ReadEarlyScreen() {
#ifdef QP_HAVE_XCB
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') return std::nullopt;
  // Qt would take a Wayland display first when there is one; this reading is for X alone.
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform != nullptr && *platform != '\0' && std::strncmp(platform, "xcb", 3) != 0)
    return std::nullopt;
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if ((platform == nullptr || *platform == '\0') && wayland != nullptr && *wayland != '\0')
    return std::nullopt;
  std::shared_ptr<xcb_connection_t> c(xcb_connect(nullptr, nullptr), &xcb_disconnect);
  if (!c || xcb_connection_has_error(c.get()) != 0) return std::nullopt;
  const xcb_screen_t* root = xcb_setup_roots_iterator(xcb_get_setup(c.get())).data;
  if (root == nullptr) return std::nullopt;
  EarlyScreen out;
  out.width = root->width_in_pixels;
  out.height = root->height_in_pixels;
  out.icc = IccProperty(c.get(), "_ICC_PROFILE");
  out.connection = std::move(c);
  return out;
#else
  return std::nullopt;
#endif
}

ScreenRect QtScreen::FullGeometry() {
  QScreen* s = ScreenOf(window);
  if (s == nullptr) return {};
  return DeviceRect(s->geometry(), s->devicePixelRatio());
}

void QtCursor::SetWaitCursor(bool on) {
  if (on)
    QApplication::setOverrideCursor(Qt::BusyCursor);
  else
    QApplication::restoreOverrideCursor();
}

void QtCursor::ShowCursor(bool visible) {
  if (view) view->setCursor(visible ? Qt::ArrowCursor : Qt::BlankCursor);
}

void QtPost::Post(uint16_t command, intptr_t argument) {
  if (receiver) QCoreApplication::postEvent(receiver, new PostedCommandEvent(command, argument));
}

}  // namespace qp
