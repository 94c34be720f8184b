// The frame's lossless JPEG commands (rotations, flips, EXIF strip).
#include "frame/commands.h"

namespace qp {
namespace {

class JpegCommands final : public CommandGroup {
 public:
  explicit JpegCommands(FrameContext& ctx) : ctx_(ctx) {}

  bool Handles(uint16_t id) const override {
    switch (id) {
      case 4050: case 4051: case 4052: case 4053: case 4055: case 4057: case 4058:
        return true;
      default:
        return false;
    }
  }

  void Execute(uint16_t /*id*/, intptr_t /*argument*/) override {
    // The lossless transforms of the current file are wired with the file operations.
    (void)ctx_;
  }

 private:
  FrameContext& ctx_;
};

}  // namespace

std::unique_ptr<CommandGroup> MakeJpegCommands(FrameContext& ctx) {
  return std::make_unique<JpegCommands>(ctx);
}

}  // namespace qp
