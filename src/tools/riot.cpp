// Export to RIOT: the picture as a 32-bit device-independent bitmap to libRiot.so.
#include <cstring>

#include "tools/tools.h"

namespace qp {

namespace {

// RIOT_LoadFromDIB(bitmap, 0, path of the file, "", 0, ""); the result is not used.
using RiotLoadFn = int32_t (*)(void*, int32_t, const char*, const char*, int32_t, const char*);

constexpr size_t kBitmapHeaderBytes = 40;

void PutU32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace

std::optional<ByteBlock> BuildRiotBitmap(const ImageBuffer& img) {
  if (img.empty()) return std::nullopt;
  const size_t size = kBitmapHeaderBytes + img.byteSize();
  ByteBlock bitmap{PixelBlock(static_cast<uint8_t*>(std::malloc(size))), size};
  if (!bitmap.bytes) return std::nullopt;
  uint8_t* h = bitmap.data();
  std::memset(h, 0, kBitmapHeaderBytes);
  PutU32(h, 40);  // header size
  PutU32(h + 4, static_cast<uint32_t>(img.width()));
  PutU32(h + 8, static_cast<uint32_t>(img.height()));  // positive: bottom-up rows
  h[12] = 1;                                           // planes
  h[14] = 32;                                          // bits per pixel; compression and the rest 0
  for (int32_t r = 0; r < img.height(); ++r) {
    const uint8_t* src = img.row(r);
    uint8_t* dst =
        h + kBitmapHeaderBytes + static_cast<size_t>(img.height() - 1 - r) * img.stride();
    for (int32_t x = 0; x < img.width(); ++x, src += 4, dst += 4) {
      dst[0] = src[0];
      dst[1] = src[1];
      dst[2] = src[2];
      dst[3] = 255;
    }
  }
  return bitmap;
}

void ExportToRiot(ToolContext& ctx) {
  RuntimeLibrary library = OpenToolLibrary(ctx.components.riotLibrary);
  if (!library) {
    ctx.ports.messages.Show(kMsgRiotMissing, MessageIcon::Error);
    return;
  }
  const auto load = library.Symbol<RiotLoadFn>("RIOT_LoadFromDIB");
  if (load == nullptr) {
    ctx.ports.messages.Show(kMsgRiotVersion, MessageIcon::Error);
    return;
  }
  const ImageBuffer* picture = ctx.image ? ctx.image() : nullptr;
  if (picture == nullptr || picture->empty()) return;
  std::optional<ByteBlock> bitmap = BuildRiotBitmap(*picture);
  if (!bitmap) return;  // nothing is called without the bitmap
  load(bitmap->data(), 0, ctx.state.currentPath.c_str(), "", 0, "");
}

}  // namespace qp
