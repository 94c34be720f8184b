#include <cstring>

#include "ops/undo.h"

namespace qp {

void UndoSnapshot::TakeCopy(const ImageBuffer& img) {
  width_ = img.width();
  height_ = img.height();
  const size_t bytes = img.empty() ? 0 : img.byteSize();
  if (bytes == 0) {
    Free();
    return;
  }
  if (!block_ || capacity_ < bytes) {
    // Release the old block first so a large copy does not need room for both.
    block_.reset();
    block_.reset(static_cast<uint8_t*>(std::malloc(bytes)));
    capacity_ = bytes;  // recorded even when the allocation failed
    if (!block_) return;
  }
  std::memcpy(block_.get(), img.data(), bytes);
}

void UndoSnapshot::HandOver(ImageBuffer&& old) {
  width_ = old.width();
  height_ = old.height();
  capacity_ = old.empty() ? 0 : old.byteSize();
  block_.reset(old.release());
}

void UndoSnapshot::Free() {
  block_.reset();
  capacity_ = 0;
}

std::optional<ImageBuffer> UndoSnapshot::Restore() const {
  if (!block_) return std::nullopt;
  auto copy = ImageBuffer::Allocate(width_, height_);
  if (!copy) return std::nullopt;
  std::memcpy(copy->data(), block_.get(), copy->byteSize());
  return copy;
}

bool Undo(ImageBuffer& img, const UndoSnapshot& undo, ViewerState& state) {
  auto copy = undo.Restore();
  if (!copy) return false;
  img = std::move(*copy);
  state.vectorSource = 0;
  return true;
}

}  // namespace qp
