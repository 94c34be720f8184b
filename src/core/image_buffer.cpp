#include "core/image_buffer.h"

#include <bit>
#include <cstring>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace qp {

namespace {

// Asks the kernel to back a large fresh block with 2 MiB pages. Every 4 KiB page of a new
// block costs a fault on first touch; for photo-sized pictures (a 6000 x 4000 block is 24000
// pages) those faults cost as much as decoding the picture. Only whole 2 MiB ranges inside the
// block are advised, so the allocator's own bookkeeping around it is untouched. A hint only:
// failure changes nothing.
void AdviseLargePages([[maybe_unused]] uint8_t* block, [[maybe_unused]] size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr uintptr_t kLargePage = uintptr_t{2} << 20;
  if (block == nullptr || bytes < 2 * kLargePage) return;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(block) + kLargePage - 1) & ~(kLargePage - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(kLargePage - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#endif
}

}  // namespace

std::optional<size_t> PictureBytes(int64_t width, int64_t height) {
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide) return std::nullopt;
  const int64_t pixels = width * height;  // both <= 2^20, so no overflow
  if (pixels > kMaxPixels) return std::nullopt;
  return static_cast<size_t>(pixels) * 4;
}

PixelBlock AllocatePixels(int64_t width, int64_t height) {
  const auto bytes = PictureBytes(width, height);
  if (!bytes) return nullptr;
  PixelBlock block(static_cast<uint8_t*>(std::malloc(*bytes)));
  AdviseLargePages(block.get(), *bytes);
  return block;
}

std::optional<ImageBuffer> ImageBuffer::Allocate(int64_t width, int64_t height) {
  PixelBlock block = AllocatePixels(width, height);
  if (!block) return std::nullopt;
  return ImageBuffer(std::move(block), static_cast<int32_t>(width), static_cast<int32_t>(height));
}

std::optional<ImageBuffer> ImageBuffer::Filled(int64_t width, int64_t height, uint8_t fill) {
  auto img = Allocate(width, height);
  if (img) std::memset(img->data(), fill, img->byteSize());
  return img;
}

std::optional<ImageBuffer> ImageBuffer::Clone() const {
  if (empty()) return ImageBuffer();
  auto copy = Allocate(width_, height_);
  if (copy) std::memcpy(copy->data(), data(), byteSize());
  return copy;
}

const uint8_t* PlaceholderPixel() {
  static const uint8_t pixel[4] = {0, 0, 0, 0};
  return pixel;
}

bool HasMeaningfulAlpha(const uint8_t* pixels, int32_t width, int32_t height) {
  if (pixels == nullptr || width <= 0 || height <= 0) return false;
  const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
  const uint8_t first = pixels[3];
  if (first != 0 && first != 255) return true;
  for (size_t i = 1; i < n; ++i) {
    if (pixels[i * 4 + 3] != first) return true;
  }
  return false;
}

void WhitenTransparent(uint8_t* pixels, int32_t width, int32_t height) {
  if (!HasMeaningfulAlpha(pixels, width, height)) return;
  const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
  for (size_t i = 0; i < n; ++i) {
    uint8_t* p = pixels + i * 4;
    if (p[3] == 0) p[0] = p[1] = p[2] = 255;
  }
}

int32_t CountUniqueColours(const uint8_t* pixels, int32_t width, int32_t height) {
  if (pixels == nullptr || width <= 0 || height <= 0) return 0;
  // One bit per 24-bit colour: 2^24 bits = 2 MiB.
  std::unique_ptr<uint64_t, FreeDeleter> bits(
      static_cast<uint64_t*>(std::calloc((size_t{1} << 24) / 64, sizeof(uint64_t))));
  if (!bits) return -1;
  uint64_t* set = bits.get();
  const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
  for (size_t i = 0; i < n; ++i) {
    const uint32_t c = LoadPixel(pixels + i * 4) & 0xFFFFFFu;
    set[c >> 6] |= uint64_t{1} << (c & 63);
  }
  int32_t count = 0;
  for (size_t w = 0; w < (size_t{1} << 24) / 64; ++w) count += std::popcount(set[w]);
  return count;
}

}  // namespace qp
