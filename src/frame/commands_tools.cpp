// External applications, the sibling programs and the about box.
#include <cstdio>

#include "frame/commands.h"

namespace qp {
namespace {

// The slot number (1 to 19) of an External command, or 0.
int32_t ExternalSlot(uint16_t id) {
  if (id >= 4061 && id <= 4069) return id - 4060;
  if (id >= 4080 && id <= 4089) return id - 4070;
  return 0;
}

std::string SlotKey(const char* family, int32_t slot) {
  char buf[32];
  std::snprintf(buf, sizeof buf, family, slot);
  return buf;
}

class ToolCommands final : public CommandGroup {
 public:
  explicit ToolCommands(FrameContext& ctx) : ctx_(ctx) {}

  bool Handles(uint16_t id) const override {
    return ExternalSlot(id) != 0 || id == 4090 || id == 4150 || id == kCmdAbout;
  }

  void Execute(uint16_t id, intptr_t /*argument*/) override {
    if (id == kCmdAbout) {
      const bool full = ctx_.state.fullScreen != 0;
      if (full) ctx_.state.ToggleFullScreenWithFit();
      ctx_.ports.messages.Show(AboutText(), MessageIcon::Information);
      if (full) ctx_.state.ToggleFullScreenWithFit();
    }
    // The external slots and the sibling programs are started by their own change.
  }

  std::optional<CommandState> Query(uint16_t id) override {
    const int32_t slot = ExternalSlot(id);
    if (slot == 0) return std::nullopt;
    CommandState s;
    s.enabled = !ctx_.settings.ReadText(SlotKey("External%d", slot)).empty();
    std::string title = ctx_.settings.ReadText(SlotKey("ExternalTitle%d", slot));
    if (!title.empty()) {
      if (slot <= 9) title += "\tCtrl " + std::to_string(slot);
      s.text = std::move(title);
    }
    return s;
  }

  static std::string AboutText() {
    return "Quill Pix " QP_VERSION "\n\n"
           "*** DISCLAIMER ***\n"
           "This software is provided \"as is\", without warranty of any kind, express or implied. "
           "In no event shall the authors be liable for any claim, damages or other liability "
           "arising from its use.\n\n"
           "*** COMMAND LINE OPTIONS ***\n"
           "-autorotate (rotate jpeg image based on EXIF orientation value)\n"
           "-landscape (rotate jpeg image 90 degrees if height > width)\n"
           "-convert filename outname (converts images between supported formats)\n"
           "-lossless (used with -convert, specifies lossless mode is preferred)\n"
           "-drawlines x1 y2 .. xn yn (loads an image and draws a series of lines)\n\n"
           "*** THIRD PARTY CREDITS ***\n"
           "libwebp, libjpeg-turbo, libpng, zlib, librsvg, FFmpeg, zbar, SDL, Qt";
  }

 private:
  FrameContext& ctx_;
};

}  // namespace

std::unique_ptr<CommandGroup> MakeToolCommands(FrameContext& ctx) {
  return std::make_unique<ToolCommands>(ctx);
}

}  // namespace qp
