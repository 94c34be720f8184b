// The single-level undo snapshot: one copy of the picture as it was before the last edit
// that took one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/image_buffer.h"
#include "core/viewer_state.h"

namespace qp {

class UndoSnapshot {
 public:
  // Copies the picture, reusing the block when it is large enough. On allocation failure the
  // snapshot is left empty.
  void TakeCopy(const ImageBuffer& img);
  // Adopts the old block of an operation that built a new one (no copy).
  void HandOver(ImageBuffer&& old);
  void Free();
  bool exists() const { return block_ != nullptr; }
  // A new copy of the snapshot, or nothing when empty or memory is short.
  std::optional<ImageBuffer> Restore() const;
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  size_t capacity() const { return capacity_; }
  const uint8_t* data() const { return block_.get(); }

 private:
  PixelBlock block_;
  int32_t width_ = 0, height_ = 0;
  size_t capacity_ = 0;
};

// Undo: replaces the picture by a copy of the snapshot; false (nothing done) without one.
// The caller clears the selection and refreshes on true.
bool Undo(ImageBuffer& img, const UndoSnapshot& undo, ViewerState& state);

}  // namespace qp
