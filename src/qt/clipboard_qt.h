// The system clipboard through QClipboard: pictures as QImage (alpha kept), text as plain text.
#pragma once

#include "platform/ports.h"

class QImage;

namespace qp {

class QtClipboard final : public ClipboardPort {
 public:
  bool SetImage(const ImageBuffer& picture) override;
  std::optional<ImageBuffer> GetImage() override;
  bool HasImage() override;
  bool SetText(const std::string& text) override;
  std::optional<std::string> GetText() override;
};

// BGRA pixels and a 32-bit QImage with straight alpha share one memory layout on every
// little-endian machine; these copy between them.
QImage PictureToQImage(const ImageBuffer& picture);
std::optional<ImageBuffer> PictureFromQImage(const QImage& image);

}  // namespace qp
