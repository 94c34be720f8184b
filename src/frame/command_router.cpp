#include "core/paths.h"
#include "codecs/sniff.h"
#include "frame/commands.h"
#include "frame/file_context.h"
#include "frame/frame_file_host.h"
#include "frame/thumbnail_mode.h"

namespace qp {

// A recent list in memory and the frame's own host: stepping, opening and the file operations
// work; the dialogs do not show.
struct CommandRouter::OwnFileParts {
  OwnFileParts(FrameContext& c)
      : host(c.frame, c.view),
        file{c.state, c.settings, c.ports, host, c.files, recent, ExecutableFolder(), {}} {}
  MemorySettingsBackend recentBackend{std::string(kRecentFileGroup)};
  RecentFileList recent{recentBackend};
  FrameFileHost host;
  FileContext file;
};

CommandRouter::CommandRouter(FrameContext ctx) : ctx_(ctx) {
  if (ctx_.fileOps == nullptr) {
    ownFileParts_ = std::make_unique<OwnFileParts>(ctx_);
    ctx_.fileOps = &ownFileParts_->file;
  }
  auto nav = std::make_unique<NavigationCommands>(ctx_);
  navigation_ = nav.get();
  groups_.push_back(std::move(nav));
}

CommandRouter::~CommandRouter() = default;

void CommandRouter::Add(std::unique_ptr<CommandGroup> group) { groups_.push_back(std::move(group)); }

CommandGroup* CommandRouter::HandlerOf(uint16_t id) const {
  for (const auto& g : groups_)
    if (g->Handles(id)) return g.get();
  return nullptr;
}

bool CommandRouter::Execute(uint16_t id, intptr_t argument) {
  if (observer_ == nullptr || depth_ > 0) return Run(id, argument);
  ++depth_;
  observer_->BeforeCommand(id);
  const bool done = Run(id, argument);
  observer_->AfterCommand(id);
  --depth_;
  return done;
}

bool CommandRouter::Run(uint16_t id, intptr_t argument) {
  const CommandRow* row = FindCommand(id);
  // Every command but stepping works on the exact picture, never on a preview on show.
  if (HandlerOf(id) != navigation_ && id != kCmdExit) ctx_.view.EnsureExact();
  if (row != nullptr) {
    switch (row->route) {
      case Route::None: return false;
      case Route::View:
      case Route::FrameToView:
      case Route::AppToView:
        // The file commands among these work on the file, not the picture: a group carries
        // them out. For the rest the view hook is the only taker.
        if (CommandGroup* g = HandlerOf(id)) {
          g->Execute(id, argument);
          return true;
        }
        return ctx_.state.SendViewCommand(id, argument) != 0;
      case Route::Frame:
      case Route::App:
      case Route::Framework: break;
    }
  }
  if (CommandGroup* g = HandlerOf(id)) {
    g->Execute(id, argument);
    return true;
  }
  return false;
}

CommandState CommandRouter::Query(uint16_t id) {
  const CommandRow* row = FindCommand(id);
  if (CommandGroup* g = HandlerOf(id)) {
    if (auto s = g->Query(id)) return *s;
  }
  if (row == nullptr) return CommandState{HandlerOf(id) != nullptr, false, std::nullopt};
  if (row->route == Route::None) return CommandState{};
  return EvaluateRule(row->rule, ctx_);
}

void CommandRouter::Dispatch(uint16_t command, intptr_t argument) {
  switch (command) {
    case 0:
    case 5000: return;
    case kCmdFirstFile: case kCmdNextFileOrFrame: case kCmdPreviousFile: case kCmdPaddleNext:
    case kCmdPaddlePrevious: case kCmdNextFile: case kCmdExit: case kCmdRandom:
    case kCmdPreviousRandom:
    case 4050: case 4051: case 4052: case 4053: case 4055: case 4057: case 4058:
      Execute(command, 0);
      return;
    case kCmdToggleFullScreen:
      ctx_.state.ToggleFullScreenWithFit();
      return;
    case kCmdThumbnailsReady:
      Execute(command, argument);
      return;
    case kCmdZoomIn: case kCmdZoomOut: case kCmdDoubleZoom: case kCmdHalveZoom:
      ctx_.state.SendViewCommand(command, 0);
      return;
    default:
      // A posted file command (a gesture's Save as, say) runs like the menu's.
      if (const CommandRow* row = FindCommand(command);
          row != nullptr && row->route == Route::FrameToView && HandlerOf(command) != nullptr) {
        Execute(command, argument);
        return;
      }
      // Animation ticks carry their generation, the game pad's scroll commands nothing.
      ctx_.state.SendViewCommand(command, argument);
      return;
  }
}

namespace {

bool IsVideoPath(const std::string& path) {
  return HasExtension(path, ".mp4") || HasExtension(path, ".webm");
}
bool IsJpegPath(const std::string& path) {
  return HasExtension(path, ".jpg") || HasExtension(path, ".jpeg");
}

}  // namespace

CommandState EvaluateRule(UpdateRule rule, FrameContext& ctx) {
  ViewerState& s = ctx.state;
  const std::string& path = s.currentPath;
  const bool file = !path.empty();
  const bool clipboard = ClipboardKind(path) != 0;
  CommandState out;
  switch (rule) {
    case UpdateRule::Always: out.enabled = true; break;
    case UpdateRule::Never: case UpdateRule::Internal: break;
    case UpdateRule::File: out.enabled = file; break;
    case UpdateRule::FileOrBookmark:
      out.enabled = file || !ctx.settings.ReadText("LastBookmark").empty();
      break;
    case UpdateRule::Bookmark: out.enabled = !ctx.settings.ReadText("LastBookmark").empty(); break;
    case UpdateRule::RealFile: out.enabled = file && !clipboard && !IsVideoPath(path); break;
    case UpdateRule::FileNotClipboard: out.enabled = file && !clipboard; break;
    case UpdateRule::ImageNotVideo: out.enabled = ctx.view.holdsImage() && !IsVideoPath(path); break;
    case UpdateRule::EditableImage: out.enabled = ctx.view.holdsImage() && !s.animating; break;
    case UpdateRule::Animation: out.enabled = ctx.view.holdsImage() && s.animating; break;
    case UpdateRule::Selection: out.enabled = s.SendViewCommand(kCmdHasSelection, 0) != 0; break;
    case UpdateRule::Jpeg: out.enabled = IsJpegPath(path); break;
    case UpdateRule::JpegAndSelection:
      out.enabled = IsJpegPath(path) && s.SendViewCommand(kCmdHasSelection, 0) != 0;
      break;
    case UpdateRule::ClipboardBitmap: out.enabled = ctx.ports.clipboard.HasImage(); break;
    case UpdateRule::Undo:
      out.enabled = (!s.animating || s.paused) && ctx.view.undo().exists();
      break;
    case UpdateRule::Gps:
      out.enabled = s.exif.isExif && s.exif.latitudeRef[0] != 0 && s.exif.longitudeRef[0] != 0;
      break;
    case UpdateRule::FileMarkedLocked:
      out.enabled = file;
      out.checked = s.zoomLocked != 0;
      break;
    case UpdateRule::AlwaysMarkedJoystick:
      out.enabled = true;
      out.checked = s.useJoystick != 0;
      break;
    case UpdateRule::AlwaysMarkedGestures:
      out.enabled = true;
      out.checked = s.useGestures != 0;
      break;
    case UpdateRule::ExternalSet: break;  // the tool group answers
  }
  return out;
}

std::unique_ptr<CommandRouter> MakeCommandRouter(FrameContext ctx) {
  auto router = std::make_unique<CommandRouter>(ctx);
  FrameContext& c = router->context();
  router->Add(MakeViewCommands(c));
  router->Add(MakeFileCommands(c));
  router->Add(MakeJpegCommands(c));
  router->Add(MakeToolCommands(c));
  router->Add(MakeThumbnailMode(c, *router));
  return router;
}

}  // namespace qp
