// The view's external-tool commands: OCR (4179), barcode reading (4122) and the export to
// RIOT (4072), on the current picture and selection.
#include "tools/tools.h"
#include "view/view.h"

namespace qp {

void CImgViewerView::RunTool(uint16_t command) {
  if (ctx_.toolDialogs == nullptr) return;
  ToolContext tool{ctx_.state, ctx_.ports, *ctx_.toolDialogs, ctx_.settings,
                   [this] { return currentImage(); },
                   [this] { return selectedRegion(); }};
  switch (command) {
    case 4179:
      PerformOcr(tool);
      break;
    case 4122:
      ReadBarcodeCommand(tool);
      break;
    case 4072:
      ExportToRiot(tool);
      break;
    default:
      break;
  }
}

}  // namespace qp
