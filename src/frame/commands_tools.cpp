// External applications, the sibling programs and the about box: the handlers of
// frame/external_apps and properties_dialog.
#include "frame/commands.h"
#include "frame/external_apps.h"
#include "frame/properties_dialog.h"

namespace qp {
namespace {

class ToolCommands final : public CommandGroup {
 public:
  explicit ToolCommands(FrameContext& ctx) : ctx_(ctx) {}

  bool Handles(uint16_t id) const override {
    return ExternalSlotOf(id).has_value() || id == kCmdOptions || id == kCmdBatchConversions ||
           id == kCmdAbout;
  }

  void Execute(uint16_t id, intptr_t /*argument*/) override {
    FileContext& f = *ctx_.fileOps;
    if (auto slot = ExternalSlotOf(id)) RunExternal(f, *slot);
    else if (id == kCmdOptions) StartSettingsProgram(f);
    else if (id == kCmdBatchConversions) StartBatchProgram(f);
    else if (id == kCmdAbout) AboutCommand(f);
  }

  std::optional<CommandState> Query(uint16_t id) override {
    const auto slot = ExternalSlotOf(id);
    if (!slot) return std::nullopt;
    const SlotState s = QueryExternalSlot(*ctx_.fileOps, *slot);
    return CommandState{s.enabled, false, s.text};
  }

 private:
  FrameContext& ctx_;
};

}  // namespace

std::unique_ptr<CommandGroup> MakeToolCommands(FrameContext& ctx) {
  return std::make_unique<ToolCommands>(ctx);
}

}  // namespace qp
