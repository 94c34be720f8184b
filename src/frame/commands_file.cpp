// File commands handled by the frame and the application: delete, rename, properties, the map
// link, the file name on the clipboard and the recent-file list.
#include "codecs/sniff.h"
#include "frame/commands.h"
#include "metadata/properties.h"

namespace qp {
namespace {

class FileCommands final : public CommandGroup {
 public:
  explicit FileCommands(FrameContext& ctx) : ctx_(ctx) {}

  bool Handles(uint16_t id) const override {
    switch (id) {
      case 4041:   // Delete File
      case 4073:   // Rename File
      case 4118:   // Properties
      case 4123:   // Copy Filename
      case 4135:   // Clear Recent Files
      case 4159:   // Google Maps
      case 57616:  // the recent files
        return true;
      default:
        return false;
    }
  }

  void Execute(uint16_t id, intptr_t /*argument*/) override {
    switch (id) {
      case 4123:
        if (!ctx_.state.currentPath.empty()) ctx_.ports.clipboard.SetText(ctx_.state.currentPath);
        break;
      case 4159:
        // The position of the shown picture on a web map.
        if (ctx_.state.exif.isExif) {
          if (auto link = MapLink(ctx_.state.exif)) {
            // The report's line end is not part of the address.
            while (!link->empty() && (link->back() == '\n' || link->back() == '\r')) link->pop_back();
            ctx_.ports.desktop.OpenUrl(*link);
          }
        }
        break;
      default:
        // Delete, rename, properties and the recent files come with the file operations.
        break;
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
