#include "qt/qt_ports.h"

#include <cstring>

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

#include "frame/dialog_filters.h"

namespace qp {

QEvent::Type PostedCommandEvent::EventType() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

MessageAnswer QtMessageBox::Show(const std::string& text, MessageIcon icon, MessageButtons buttons) {
  QMessageBox box(parent);
  box.setWindowTitle(QStringLiteral("Quill Pix"));
  box.setText(QString::fromStdString(text));
  switch (icon) {
    case MessageIcon::None: box.setIcon(QMessageBox::NoIcon); break;
    case MessageIcon::Error: box.setIcon(QMessageBox::Critical); break;
    case MessageIcon::Warning: box.setIcon(QMessageBox::Warning); break;
    case MessageIcon::Information: box.setIcon(QMessageBox::Information); break;
    case MessageIcon::Question: box.setIcon(QMessageBox::Question); break;
  }
  switch (buttons) {
    case MessageButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
    case MessageButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
    case MessageButtons::YesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      break;
    case MessageButtons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
  }
  switch (box.exec()) {
    case QMessageBox::Yes: return MessageAnswer::Yes;
    case QMessageBox::No: return MessageAnswer::No;
    case QMessageBox::Cancel: return MessageAnswer::Cancel;
    default: return buttons == MessageButtons::OkCancel || buttons == MessageButtons::Ok
                        ? MessageAnswer::Ok
                        : MessageAnswer::Cancel;
  }
}

QStringList QtNameFilters(const std::string& filter) {
  QStringList out;
  for (const std::string& f : ToNameFilters(filter)) out << QString::fromStdString(f);
  return out;
}

static std::optional<FileDialogResult> RunDialog(QWidget* parent, const FileDialogRequest& r, bool save) {
  QFileDialog dialog(parent, QString::fromStdString(r.title), QString::fromStdString(r.folder));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  // The commands ask "Overwrite existing file?" themselves, after the extension rules.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  dialog.setFileMode(save ? QFileDialog::AnyFile
                          : r.allowMultiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  const QStringList filters = QtNameFilters(r.filter);
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    if (r.filterIndex >= 1 && r.filterIndex <= filters.size()) dialog.selectNameFilter(filters[r.filterIndex - 1]);
  }
  if (!r.fileName.empty()) dialog.selectFile(QString::fromStdString(r.fileName));
  if (!r.defaultExtension.empty()) dialog.setDefaultSuffix(QString::fromStdString(r.defaultExtension));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  FileDialogResult out;
  for (const QString& f : dialog.selectedFiles()) out.paths.push_back(f.toStdString());
  if (out.paths.empty()) return std::nullopt;
  out.filterIndex = static_cast<int32_t>(filters.indexOf(dialog.selectedNameFilter())) + 1;
  if (out.filterIndex < 1) out.filterIndex = 1;
  return out;
}

std::optional<FileDialogResult> QtFileDialogs::Open(const FileDialogRequest& r) { return RunDialog(parent, r, false); }
std::optional<FileDialogResult> QtFileDialogs::Save(const FileDialogRequest& r) { return RunDialog(parent, r, true); }

std::optional<std::string> QtFileDialogs::ChooseFolder(const std::string& title, const std::string& start) {
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

bool QtDesktop::StartDetached(const std::string& program, const std::vector<std::string>& arguments) {
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

ScreenRect QtScreen::FullGeometry() {
  QScreen* s = ScreenOf(window);
  if (s == nullptr) return {};
  return DeviceRect(s->geometry(), s->devicePixelRatio());
}

void QtCursor::SetWaitCursor(bool on) {
  if (on) QApplication::setOverrideCursor(Qt::BusyCursor);
  else QApplication::restoreOverrideCursor();
}

void QtCursor::ShowCursor(bool visible) {
  if (view) view->setCursor(visible ? Qt::ArrowCursor : Qt::BlankCursor);
}

void QtPost::Post(uint16_t command, intptr_t argument) {
  if (receiver) QCoreApplication::postEvent(receiver, new PostedCommandEvent(command, argument));
}

}  // namespace qp
