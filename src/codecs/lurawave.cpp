#include "codecs/lurawave.h"

#include <dlfcn.h>
#include <malloc.h>

#include <cstring>

#include "core/byte_reader.h"
#include "core/paths.h"

namespace qp {

namespace {

using ReadFn = void* (*)(const char*, int, void*, void*, int*, int*);

constexpr uint64_t kHeader = 40;
constexpr uint64_t kPalette = 256 * 4;

ReadFn LoadReader() {
  static const ReadFn fn = []() -> ReadFn {
    const char* kName = "libLwf.so";
    void* lib = nullptr;
    const std::string folder = ExecutableFolder();
    if (!folder.empty()) lib = dlopen(JoinPath(folder, kName).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) lib = dlopen(kName, RTLD_NOW | RTLD_LOCAL);
    if (!lib) return nullptr;
    return reinterpret_cast<ReadFn>(dlsym(lib, "ReadLuRaWave"));
  }();
  return fn;
}

uint64_t Padded(uint64_t bytes) { return (bytes + 3) & ~uint64_t{3}; }

}  // namespace

std::optional<ImageBuffer> ConvertLuraWaveBlock(std::span<const uint8_t> block, int32_t width,
                                                int32_t height) {
  if (!PictureBytes(width, height)) return std::nullopt;
  const uint64_t w = static_cast<uint64_t>(width), h = static_cast<uint64_t>(height);
  ByteReader r(block);
  // The header's bit count says which layout follows; a header that names neither layout
  // leaves the choice to the block's size. Either way the padded rows must fit.
  r.seek(14);
  const uint16_t bits = r.u16le();
  const uint64_t stride24 = Padded(w * 3), stride8 = Padded(w);
  const bool fits24 = RangeFits(kHeader, stride24 * h, block.size());
  const bool fits8 = RangeFits(kHeader + kPalette, stride8 * h, block.size());
  bool use24;
  if (r.ok() && bits == 24) use24 = true;
  else if (r.ok() && bits == 8) use24 = false;
  else use24 = block.size() >= w * h * 3 + kHeader;
  if (use24 ? !fits24 : !fits8) return std::nullopt;

  auto img = ImageBuffer::Allocate(width, height);
  if (!img) return std::nullopt;
  const uint8_t* palette = block.data() + kHeader;
  for (uint64_t y = 0; y < h; ++y) {
    uint8_t* out = img->row(static_cast<int32_t>(y));
    const uint64_t srcRow = h - 1 - y;  // rows are stored bottom-up
    if (use24) {
      const uint8_t* in = block.data() + kHeader + srcRow * stride24;
      for (uint64_t x = 0; x < w; ++x, in += 3, out += 4) {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
        out[3] = 0;
      }
    } else {
      const uint8_t* in = block.data() + kHeader + kPalette + srcRow * stride8;
      for (uint64_t x = 0; x < w; ++x, out += 4) std::memcpy(out, palette + in[x] * 4, 4);
    }
  }
  return img;
}

std::optional<ImageBuffer> loadLuraWave(const std::string& path, ViewerState&) {
  ReadFn read = LoadReader();
  if (!read) return std::nullopt;
  uint8_t a[256] = {}, b[256] = {};
  int width = 0, height = 0;
  struct Freer {
    void operator()(void* p) const { std::free(p); }
  };
  std::unique_ptr<void, Freer> block(read(path.c_str(), 0, a, b, &width, &height));
  if (!block) return std::nullopt;
  const size_t size = malloc_usable_size(block.get());
  return ConvertLuraWaveBlock({static_cast<const uint8_t*>(block.get()), size}, width, height);
}

}  // namespace qp
