// The in-memory picture every decoder, encoder, operation and drawing routine works on.
//
// Layout: 4 bytes per pixel in memory order blue, green, red, alpha (a little-endian word
// 0xAARRGGBB), rows top first, stride exactly width * 4. Alpha is straight, not premultiplied,
// and meaningful only while ViewerState::hasAlpha is set. Blocks are malloc'ed because plug-ins
// and components hand such blocks across a C boundary; ownership is always RAII.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <span>

namespace qp {

struct FreeDeleter {
  void operator()(void* p) const noexcept { std::free(p); }
};

// A malloc'ed pixel block owned by whoever holds it.
using PixelBlock = std::unique_ptr<uint8_t, FreeDeleter>;

// Largest picture the program allocates: 2^28 pixels (1 GiB of BGRA). Every decoder checks
// its header against it before allocating, so a hostile size cannot exhaust memory.
inline constexpr int64_t kMaxPixels = int64_t{1} << 28;
// Largest side length accepted by any decoder.
inline constexpr int64_t kMaxSide = 1 << 20;

// Byte size of a width x height BGRA picture, or nothing when either side is not positive,
// a side exceeds kMaxSide, or the picture exceeds kMaxPixels. Computed in 64 bits.
std::optional<size_t> PictureBytes(int64_t width, int64_t height);

// Allocates an uninitialised block for a width x height picture; null when refused or out of
// memory.
PixelBlock AllocatePixels(int64_t width, int64_t height);

// An owned picture: a malloc'ed block with its size. Moves, never copies implicitly.
class ImageBuffer {
 public:
  ImageBuffer() = default;
  ImageBuffer(PixelBlock block, int32_t width, int32_t height)
      : block_(std::move(block)), width_(width), height_(height) {}

  // A new uninitialised picture, or nothing when the size is refused or memory is short.
  static std::optional<ImageBuffer> Allocate(int64_t width, int64_t height);
  // A new picture with every byte set to `fill`.
  static std::optional<ImageBuffer> Filled(int64_t width, int64_t height, uint8_t fill);
  // Takes ownership of a malloc'ed block (from a C library or component).
  static ImageBuffer Adopt(uint8_t* malloced, int32_t width, int32_t height) {
    return ImageBuffer(PixelBlock(malloced), width, height);
  }

  ImageBuffer(ImageBuffer&&) noexcept = default;
  ImageBuffer& operator=(ImageBuffer&&) noexcept = default;
  ImageBuffer(const ImageBuffer&) = delete;
  ImageBuffer& operator=(const ImageBuffer&) = delete;

  // A deep copy; nothing when memory is short.
  std::optional<ImageBuffer> Clone() const;

  bool empty() const { return block_ == nullptr; }
  explicit operator bool() const { return block_ != nullptr; }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  size_t stride() const { return static_cast<size_t>(width_) * 4; }
  size_t byteSize() const { return stride() * static_cast<size_t>(height_); }
  size_t pixelCount() const { return static_cast<size_t>(width_) * static_cast<size_t>(height_); }

  uint8_t* data() { return block_.get(); }
  const uint8_t* data() const { return block_.get(); }
  std::span<uint8_t> bytes() { return {block_.get(), empty() ? 0 : byteSize()}; }
  std::span<const uint8_t> bytes() const { return {block_.get(), empty() ? 0 : byteSize()}; }
  uint8_t* row(int32_t y) { return block_.get() + static_cast<size_t>(y) * stride(); }
  const uint8_t* row(int32_t y) const { return block_.get() + static_cast<size_t>(y) * stride(); }
  uint8_t* pixel(int32_t x, int32_t y) { return row(y) + static_cast<size_t>(x) * 4; }
  const uint8_t* pixel(int32_t x, int32_t y) const { return row(y) + static_cast<size_t>(x) * 4; }

  // Releases ownership of the malloc'ed block (to hand it across a C boundary).
  uint8_t* release() {
    width_ = height_ = 0;
    return block_.release();
  }
  void reset() {
    block_.reset();
    width_ = height_ = 0;
  }

 private:
  PixelBlock block_;
  int32_t width_ = 0;
  int32_t height_ = 0;
};

// A borrowed, non-owning view of pixels (for example the running playback's canvas).
struct PixelView {
  const uint8_t* pixels = nullptr;
  int32_t width = 0;
  int32_t height = 0;
};

// Reads and writes one BGRA pixel as the word 0xAARRGGBB.
inline uint32_t LoadPixel(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
inline void StorePixel(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// The 1 x 1 placeholder shown when no decoder could read a file: a single static pixel of four
// zero bytes. It is never freed; a picture is "real" when it is neither null nor this pixel.
const uint8_t* PlaceholderPixel();
inline bool IsPlaceholder(const uint8_t* p) { return p == PlaceholderPixel(); }

// True when the alpha bytes carry information: the first alpha is neither 0 nor 255, or some
// alpha differs from the first. False for an empty picture.
bool HasMeaningfulAlpha(const uint8_t* pixels, int32_t width, int32_t height);
inline bool HasMeaningfulAlpha(const ImageBuffer& img) {
  return HasMeaningfulAlpha(img.data(), img.width(), img.height());
}

// When HasMeaningfulAlpha holds, every pixel with alpha 0 becomes white (alpha stays 0).
void WhitenTransparent(uint8_t* pixels, int32_t width, int32_t height);
inline void WhitenTransparent(ImageBuffer& img) {
  WhitenTransparent(img.data(), img.width(), img.height());
}

// Number of distinct 24-bit colours (alpha ignored); 0 for an empty picture, -1 when the 2 MiB
// bit set cannot be allocated.
int32_t CountUniqueColours(const uint8_t* pixels, int32_t width, int32_t height);

}  // namespace qp
