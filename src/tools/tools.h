// The external-tool commands: OCR through the tesseract program, barcode reading through
// libBarcode.so and the export to libRiot.so. Each runs on the user-interface thread, blocks it
// while the external part works and reports every outcome itself; none changes the picture.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "codecs/runtime_library.h"
#include "tools/tool_context.h"

namespace qp {

inline constexpr const char* kMsgTesseractNotFound = "The tesseract was not found";
inline constexpr const char* kMsgTesseractImage = "Could not create temporary image";
inline constexpr const char* kMsgTesseractFailed = "Error running tesseract";
inline constexpr const char* kMsgBarcodeMissing = "The libBarcode.so is not installed correctly";
inline constexpr const char* kMsgBarcodeVersion = "Unsupported version of libBarcode.so";
inline constexpr const char* kMsgNoBarcodes = "No barcodes found";
inline constexpr const char* kMsgRiotMissing = "The libRiot.so is not installed correctly";
inline constexpr const char* kMsgRiotVersion = "Unsupported version of libRiot.so";

// "Perform OCR...": the selection, or the whole picture, through tesseract; the text in the
// OCR dialog.
void PerformOcr(ToolContext& ctx);
// "Read Barcode / QR-code...": a black-and-white copy of the selection or picture through
// "ReadBarcode", again inverted when nothing was found; the result in the barcode dialog.
void ReadBarcodeCommand(ToolContext& ctx);
// "Export to RIOT...": the picture as a 32-bit bottom-up bitmap to "RIOT_LoadFromDIB".
void ExportToRiot(ToolContext& ctx);

// Helpers the commands share, open for tests.

// Opens a component: a bare name beside the executable, then by the loader; a path as given.
RuntimeLibrary OpenToolLibrary(const std::string& name);

// A copy of the selection clipped to the picture, or of the whole picture without a selection
// (or when the selection lies outside it); nothing when memory is short.
std::optional<ImageBuffer> CopyRegion(const ImageBuffer& img, std::optional<PixelRect> selection);
// A malloc'ed block with its size, as handed to the components.
struct ByteBlock {
  PixelBlock bytes;
  size_t size = 0;
  uint8_t* data() { return bytes.get(); }
  const uint8_t* data() const { return bytes.get(); }
};
// One grey byte per pixel of `img` made black and white with the automatic threshold (255
// white, 0 black), after inverting its colours when `invert` is set (which changes `img`).
// Nothing when memory is short.
std::optional<ByteBlock> BlackWhiteGreyPlane(ImageBuffer& img, bool invert);
// The bitmap handed to RIOT: a 40-byte header (positive height, so rows run bottom-up, 1
// plane, 32 bits) and the rows with the top row last, alpha 255. Nothing when memory is short.
std::optional<ByteBlock> BuildRiotBitmap(const ImageBuffer& img);

}  // namespace qp
