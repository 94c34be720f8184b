#include "qt/system_decoder_qt.h"

#include <QImage>
#include <QImageReader>
#include <QString>

#include <cstring>

namespace qp {

std::optional<ImageBuffer> QtSystemImageDecoder::Decode(const std::string& path) {
  QImageReader reader(QString::fromStdString(path));
  // Refuse pictures beyond the project-wide limit before any pixel is decoded.
  const QSize size = reader.size();
  if (size.isValid() && !PictureBytes(size.width(), size.height())) return std::nullopt;
  QImage image = reader.read();
  if (image.isNull()) return std::nullopt;
  // ARGB32 is the word 0xAARRGGBB: blue, green, red, alpha in memory on little-endian.
  image = image.convertToFormat(QImage::Format_ARGB32);
  if (image.isNull()) return std::nullopt;
  auto out = ImageBuffer::Allocate(image.width(), image.height());
  if (!out) return std::nullopt;
  for (int32_t y = 0; y < out->height(); ++y)
    std::memcpy(out->row(y), image.constScanLine(y), out->stride());
  return out;
}

}  // namespace qp
