// Zoom, fit, fullscreen, the overlay, the input toggles, the bars and Exit.
#include "frame/commands.h"

namespace qp {
namespace {

class ViewCommands final : public CommandGroup {
 public:
  explicit ViewCommands(FrameContext& ctx) : ctx_(ctx) {}

  bool Handles(uint16_t id) const override {
    switch (id) {
      case kCmdFitToScreen: case kCmdFitToWidth: case kCmdFitToHeight: case kCmdOriginalSize:
      case kCmdLockZoom: case kCmdToggleFullScreen: case kCmdInformation: case kCmdUseJoystick:
      case kCmdUseGestures: case kCmdExit: case kCmdViewToolbar: case kCmdViewStatusBar:
      case kCmdAppExit:
        return true;
      default:
        return false;
    }
  }

  void Execute(uint16_t id, intptr_t /*argument*/) override {
    ViewerState& s = ctx_.state;
    CImgViewerView& view = ctx_.view;
    switch (id) {
      case kCmdFitToScreen: view.SetFit(kFitScreen); break;
      case kCmdFitToWidth: view.SetFit(kFitWidth); break;
      case kCmdFitToHeight: view.SetFit(kFitHeight); break;
      case kCmdOriginalSize: view.OriginalSize(); break;
      case kCmdLockZoom: view.ToggleLockZoom(); break;
      case kCmdToggleFullScreen: s.ToggleFullScreenWithFit(); break;
      case kCmdInformation: view.CycleOverlay(); break;
      case kCmdUseJoystick:
        s.useJoystick = s.useJoystick ? 0 : 1;
        ctx_.settings.WriteText("UseJoystick", s.useJoystick ? "true" : "false");
        break;
      case kCmdUseGestures:
        s.useGestures = s.useGestures ? 0 : 1;
        ctx_.settings.WriteText("UseGestures", s.useGestures ? "true" : "false");
        break;
      case kCmdExit:
        // In fullscreen Exit only goes back to the window.
        if (s.fullScreen) s.ToggleFullScreenWithFit();
        else ctx_.frame.Close();
        break;
      case kCmdAppExit: ctx_.frame.Close(); break;
      case kCmdViewToolbar: ctx_.frame.SetToolbarVisible(!ctx_.frame.ToolbarVisible()); break;
      case kCmdViewStatusBar: ctx_.frame.SetStatusVisible(!ctx_.frame.StatusVisible()); break;
      default: break;
    }
  }

  std::optional<CommandState> Query(uint16_t id) override {
    if (id == kCmdViewToolbar) return CommandState{true, ctx_.frame.ToolbarVisible(), std::nullopt};
    if (id == kCmdViewStatusBar) return CommandState{true, ctx_.frame.StatusVisible(), std::nullopt};
    return std::nullopt;
  }

 private:
  FrameContext& ctx_;
};

}  // namespace

std::unique_ptr<CommandGroup> MakeViewCommands(FrameContext& ctx) {
  return std::make_unique<ViewCommands>(ctx);
}

}  // namespace qp
