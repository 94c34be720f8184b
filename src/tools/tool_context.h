// What the external-tool commands need from the window: the state, the ports, the settings,
// the current picture and selection, and where the external components are.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "core/image_buffer.h"
#include "core/settings_access.h"
#include "core/viewer_state.h"
#include "ops/pixel_rect.h"
#include "platform/ports.h"
#include "tools/result_dialogs.h"

namespace qp {

// The files the commands look for. A bare library name is looked for beside the executable,
// then by the dynamic loader; a name with a "/" is opened as given.
struct ToolComponents {
  std::string barcodeLibrary = "libBarcode.so";
  std::string riotLibrary = "libRiot.so";
  // The OCR program when "TesseractPath" is empty.
  std::string defaultTesseract = "/usr/bin/tesseract";
};

struct ToolContext {
  ViewerState& state;
  Ports& ports;
  ToolDialogPort& dialogs;
  SettingsAccess& settings;
  // The view's current picture (null or empty when there is none). Asked after a fullscreen
  // toggle, which may lay the picture out again.
  std::function<const ImageBuffer*()> image;
  // The selection in image pixels, nothing when there is none.
  std::function<std::optional<PixelRect>()> selection;
  ToolComponents components{};
};

}  // namespace qp
