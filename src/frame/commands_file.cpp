// File commands handled by the frame and the application (delete, rename, properties, the map
// link, the file name on the clipboard, the recent-file list) and the file commands routed to
// the view that work on the file rather than the picture (saving, copies, the JPEG grey and
// crop): the handlers of frame/file_operations, save_as, jpeg_commands and properties_dialog.
#include "frame/commands.h"
#include "frame/file_operations.h"
#include "frame/jpeg_commands.h"
#include "frame/navigation.h"
#include "frame/properties_dialog.h"
#include "frame/save_as.h"

namespace qp {
namespace {

class FileCommands final : public CommandGroup {
 public:
  explicit FileCommands(FrameContext& ctx) : ctx_(ctx) {}

  bool Handles(uint16_t id) const override {
    if (id >= kCmdRecentFirst && id < kCmdRecentFirst + kRecentFileCount) return true;
    switch (id) {
      case 4041:   // Delete File
      case 4073:   // Rename File
      case kCmdProperties:
      case kCmdCopyFilename:
      case kCmdClearRecentFiles:
      case kCmdGoogleMaps:
      case kCmdSaveSourceFolder:
      case kCmdSaveAs:
      case 4125:   // Copy File
      case 4126:   // Move File
      case kCmdJpegGrayscale:
      case kCmdJpegLosslessCrop:
        return true;
      default:
        return false;
    }
  }

  void Execute(uint16_t id, intptr_t /*argument*/) override {
    FileContext& f = *ctx_.fileOps;
    CImgViewerView& view = ctx_.view;
    switch (id) {
      case 4041: DeleteFileCommand(f); return;
      case 4073: RenameFileCommand(f); return;
      case 4125: CopyOrMoveFileCommand(f, false); return;
      case 4126: CopyOrMoveFileCommand(f, true); return;
      case kCmdProperties:
        PropertiesCommand(f, view.holdsImage() ? view.pixels() : nullptr, view.pictureWidth(),
                          view.pictureHeight());
        return;
      case kCmdCopyFilename: CopyFilenameCommand(f); return;
      case kCmdGoogleMaps: GoogleMapsCommand(f); return;
      case kCmdSaveSourceFolder:
      case kCmdSaveAs: {
        if (!view.holdsImage()) return;
        // The owned picture, or the frame the running playback shows.
        const ImageBuffer& shown =
            view.picture().empty() ? ctx_.state.animationCanvas : view.picture();
        SaveAsCommand(f, shown, ctx_.state.hasAlpha != 0, id == kCmdSaveSourceFolder);
        return;
      }
      case kCmdJpegGrayscale: JpegGrayscaleCommand(f); return;
      case kCmdJpegLosslessCrop: {
        std::optional<ImageRect> selected;
        if (const auto r = view.selectedRegion()) {
          selected = ImageRect{r->left, r->top, r->right, r->bottom};
        }
        JpegLosslessCropCommand(f, selected, view.pictureWidth(), view.pictureHeight());
        return;
      }
      default: ExecuteNavigation(f, id); return;  // Clear Recent Files and the recent files
    }
  }

 private:
  FrameContext& ctx_;
};

}  // namespace

std::unique_ptr<CommandGroup> MakeFileCommands(FrameContext& ctx) {
  return std::make_unique<FileCommands>(ctx);
}

}  // namespace qp
