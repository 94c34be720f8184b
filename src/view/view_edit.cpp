// The view's editing, selection and clipboard commands run through EditCommands, the tools
// through RunTool; the save, file-copy and lossless commands are accepted here and filled in by
// their own changes.
#include "codecs/file_filters.h"
#include "codecs/svg.h"
#include "core/paths.h"
#include "view/view.h"

namespace qp {

namespace {

// A dialog port that answers every dialog with Cancel.
class NoDialogs final : public EditDialogPort {
 public:
  bool Resample(ResampleDialog&) override { return false; }
  bool AddBorders(AddBordersDialog&) override { return false; }
  bool CustomSelection(CustomSelectionDialog&) override { return false; }
  void ShowColour(const SelectColourDialog&) override {}
};

}  // namespace

void CImgViewerView::MakeEditCommands() {
  static NoDialogs noDialogs;
  EditDialogPort& dialogs = ctx_.editDialogs != nullptr ? *ctx_.editDialogs : noDialogs;
  edits_ = std::make_unique<EditCommands>(ctx_.state, ctx_.settings, ctx_.ports, dialogs, undo_,
                                          selection_, static_cast<EditView&>(*this));
}

int32_t CImgViewerView::EditHook(uint16_t command, intptr_t argument) {
  (void)argument;
  // Edits, tools and saving work on the exact picture, never on a preview.
  EnsureExact();
  if (EditCommands::Handles(command)) {
    const CommandOutcome out = edits_->Execute(command);
    if (out.after == AfterCommand::Refresh) Refresh();
    else if (out.after == AfterCommand::Repaint) ctx_.host.Repaint();
    return out.result;
  }
  switch (command) {
    // Tools.
    case 4072: case 4122: case 4179:
      RunTool(command);
      return 1;
    // Save and file copies.
    case 4097: case 57604: case 4125: case 4126:
    // Lossless crop and the lossless grey conversion.
    case 4105: case 4182:
      return 1;
    default:
      return 0;
  }
}

ImageBuffer* CImgViewerView::OwnedPicture() {
  EnsureExact();
  if (showsCanvas_ || placeholder_ || picture_.empty()) return nullptr;
  return &picture_;
}

std::optional<PixelRect> CImgViewerView::selectedRegion() const { return edits_->Region(); }

const ImageBuffer* CImgViewerView::ShownPicture() {
  EnsureExact();
  if (placeholder_) return nullptr;
  if (showsCanvas_) return ctx_.state.animationCanvas.empty() ? nullptr : &ctx_.state.animationCanvas;
  return picture_.empty() ? nullptr : &picture_;
}

void CImgViewerView::AdoptPicture(ImageBuffer picture) {
  picture_ = std::move(picture);
  showsCanvas_ = false;
  placeholder_ = false;
}

std::optional<DisplayPixels> CImgViewerView::Display() {
  EnsureExact();
  if (!display_) return std::nullopt;
  return DisplayPixels{display_->bits.data(), display_->width, display_->height, display_->stride()};
}

std::optional<ImageBuffer> CImgViewerView::LoadPicture(const std::string& path) {
  LoadContext lc{ctx_.state, &ctx_.settings, ctx_.systemDecoder};
  return LoadPictureFile(path, lc);
}

std::optional<ImageBuffer> CImgViewerView::RenderVector(int32_t width, int32_t height) {
  const std::string& path = ctx_.state.currentPath;
  DecodeResult svg = HasExtension(path, ".svgz") ? renderSvgz(path, width, height)
                                                 : renderSvg(path, width, height);
  return svg.toOwned();
}

std::string CImgViewerView::OpenFilter() { return openFilter(&ctx_.settings); }

void CImgViewerView::ShowPointer(bool visible) {
  if (visible == cursorVisible_) return;
  ctx_.ports.cursor.ShowCursor(visible);
  cursorVisible_ = visible;
}

}  // namespace qp
