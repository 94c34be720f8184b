#include "qt/system_decoder_qt.h"

#include <QImage>
#include <QImageReader>
#include <QString>

#include <cstring>

namespace qp {

namespace {

// Qt's own allocation limit in MiB, set to the program's picture limit in 32-bit pixels, so a
// plug-in whose header gives no size up front still refuses a larger picture before allocating.
constexpr int kAllocationLimitMiB = static_cast<int>(kMaxPixels * 4 / (1024 * 1024));

}  // namespace

int QtSystemImageDecoder::AllocationLimitMiB() { return kAllocationLimitMiB; }

std::optional<ImageBuffer> QtSystemImageDecoder::Decode(const std::string& path) {
  QImageReader::setAllocationLimit(kAllocationLimitMiB);
  QImageReader reader(QString::fromStdString(path));
  // Refuse pictures beyond the project-wide limit before any pixel is decoded.
  const QSize size = reader.size();
  if (size.isValid() && !PictureBytes(size.width(), size.height())) return std::nullopt;
  QImage image = reader.read();
  if (image.isNull()) return std::nullopt;
  // The engine's picture is drawn over the window colour (white): the result is opaque, as
  // the loader reports it (no alpha), and transparent areas show white rather than whatever
  // colour the file keeps under them.
  const bool translucent = image.hasAlphaChannel();
  // ARGB32 is the word 0xAARRGGBB: blue, green, red, alpha in memory on little-endian.
  image = image.convertToFormat(QImage::Format_ARGB32);
  if (image.isNull()) return std::nullopt;
  auto out = ImageBuffer::Allocate(image.width(), image.height());
  if (!out) return std::nullopt;
  for (int32_t y = 0; y < out->height(); ++y) {
    uint8_t* row = out->row(y);
    std::memcpy(row, image.constScanLine(y), out->stride());
    for (int32_t x = 0; x < out->width(); ++x) {
      uint8_t* p = row + size_t(x) * 4;
      const uint32_t a = translucent ? p[3] : 255;
      for (int c = 0; c < 3; ++c)
        p[c] = static_cast<uint8_t>((p[c] * a + 255 * (255 - a) + 127) / 255);
      p[3] = 255;
    }
  }
  return out;
}

}  // namespace qp
