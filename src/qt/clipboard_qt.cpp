#include "qt/clipboard_qt.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <cstring>

namespace qp {

QImage PictureToQImage(const ImageBuffer& picture) {
  if (picture.empty()) return {};
  QImage image(picture.width(), picture.height(), QImage::Format_ARGB32);
  if (image.isNull()) return {};
  for (int32_t y = 0; y < picture.height(); ++y) {
    std::memcpy(image.scanLine(y), picture.row(y), picture.stride());
  }
  return image;
}

std::optional<ImageBuffer> PictureFromQImage(const QImage& source) {
  if (source.isNull()) return std::nullopt;
  const QImage image = source.convertToFormat(QImage::Format_ARGB32);
  auto out = ImageBuffer::Allocate(image.width(), image.height());
  if (!out) return std::nullopt;
  for (int32_t y = 0; y < out->height(); ++y) {
    std::memcpy(out->row(y), image.constScanLine(y), out->stride());
  }
  return out;
}

bool QtClipboard::SetImage(const ImageBuffer& picture) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  const QImage image = PictureToQImage(picture);
  if (clipboard == nullptr || image.isNull()) return false;
  clipboard->setImage(image);
  return true;
}

std::optional<ImageBuffer> QtClipboard::GetImage() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) return std::nullopt;
  return PictureFromQImage(clipboard->image());
}

bool QtClipboard::HasImage() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  const QMimeData* data = clipboard != nullptr ? clipboard->mimeData() : nullptr;
  return data != nullptr && data->hasImage();
}

bool QtClipboard::SetText(const std::string& text) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard == nullptr) return false;
  clipboard->setText(QString::fromStdString(text));
  return true;
}

std::optional<std::string> QtClipboard::GetText() {
  QClipboard* clipboard = QGuiApplication::clipboard();
  const QMimeData* data = clipboard != nullptr ? clipboard->mimeData() : nullptr;
  if (data == nullptr || !data->hasText()) return std::nullopt;
  return data->text().toStdString();
}

}  // namespace qp
