// The selection rectangle in image pixels, shared by the operations that work inside it.
#pragma once

#include <cstdint>

namespace qp {

// A rectangle in image pixels, right and bottom exclusive (the selection's image rectangle).
struct PixelRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool empty() const { return right <= left || bottom <= top; }
};

}  // namespace qp
