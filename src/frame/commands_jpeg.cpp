// The frame's lossless JPEG commands (rotations, flips, EXIF strip, automatic rotation): the
// handlers of frame/jpeg_commands.
#include "frame/commands.h"
#include "frame/jpeg_commands.h"

namespace qp {
namespace {

class JpegCommands final : public CommandGroup {
 public:
  explicit JpegCommands(FrameContext& ctx) : ctx_(ctx) {}

  bool Handles(uint16_t id) const override {
    return TransformCodeOf(id).has_value() || id == kCmdJpegRotateAuto;
  }

  void Execute(uint16_t id, intptr_t /*argument*/) override {
    ExecuteJpegTransform(*ctx_.fileOps, id);
  }

 private:
  FrameContext& ctx_;
};

}  // namespace

std::unique_ptr<CommandGroup> MakeJpegCommands(FrameContext& ctx) {
  return std::make_unique<JpegCommands>(ctx);
}

}  // namespace qp
