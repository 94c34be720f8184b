// Barcode reading through libBarcode.so and its "ReadBarcode" export.
#include "codecs/runtime_library.h"
#include "tools/tools.h"

namespace qp {

namespace {

// int ReadBarcode(width, height, grey pixels top row first, capacity, result)
//   > 0 a symbol was decoded into result, 0 nothing found, < 0 an error.
using ReadBarcodeFn = int32_t (*)(int32_t, int32_t, const uint8_t*, int32_t, char*);

constexpr int32_t kResultCapacity = 1023;

// One attempt on a fresh copy of the region; nothing when memory is short.
std::optional<int32_t> Attempt(ReadBarcodeFn read, const ImageBuffer& picture,
                               std::optional<PixelRect> selection, bool invert, char* result) {
  std::optional<ImageBuffer> region = CopyRegion(picture, selection);
  if (!region) return std::nullopt;
  std::optional<ByteBlock> grey = BlackWhiteGreyPlane(*region, invert);
  if (!grey) return std::nullopt;
  return read(region->width(), region->height(), grey->data(), kResultCapacity, result);
}

}  // namespace

void ReadBarcodeCommand(ToolContext& ctx) {
  if (ctx.state.fullScreen) ctx.state.ToggleFullScreenWithFit();
  RuntimeLibrary library = OpenToolLibrary(ctx.components.barcodeLibrary);
  if (!library) {
    ctx.ports.messages.Show(kMsgBarcodeMissing, MessageIcon::Error);
    return;
  }
  const auto read = library.Symbol<ReadBarcodeFn>("ReadBarcode");
  if (read == nullptr) {
    ctx.ports.messages.Show(kMsgBarcodeVersion, MessageIcon::Error);
    return;
  }
  const ImageBuffer* picture = ctx.image ? ctx.image() : nullptr;
  if (picture == nullptr || picture->empty()) return;
  const std::optional<PixelRect> selection = ctx.selection ? ctx.selection() : std::nullopt;

  char result[kResultCapacity + 1] = {};
  const std::optional<int32_t> first = Attempt(read, *picture, selection, false, result);
  if (!first) return;  // out of memory: nothing to say
  int32_t found = *first;
  // Light codes on a dark ground read once the colours are turned round; running out of
  // memory there counts as nothing found.
  if (found == 0) found = Attempt(read, *picture, selection, true, result).value_or(0);
  result[kResultCapacity] = '\0';
  if (found <= 0) {
    ctx.ports.messages.Show(kMsgNoBarcodes, MessageIcon::None);
    return;
  }
  CBarcodeDlg dialog(result, ctx.ports.clipboard, ctx.ports.desktop);
  ctx.dialogs.ShowBarcodeResult(dialog);
}

}  // namespace qp
