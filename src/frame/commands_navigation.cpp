// Stepping through the file list, the bookmark, reloading, and opening a chosen file.
#include "codecs/file_filters.h"
#include "core/file_io.h"
#include "core/paths.h"
#include "frame/commands.h"
#include "view/view_geometry.h"

namespace qp {

bool NavigationCommands::Handles(uint16_t id) const {
  switch (id) {
    case kCmdFirstFile: case kCmdNextFileOrFrame: case kCmdPreviousFile: case kCmdPaddleNext:
    case kCmdPaddlePrevious: case kCmdLastFile: case kCmdNextFile: case kCmdRandom:
    case kCmdPreviousRandom: case kCmdRefreshFile: case kCmdRefreshFileList:
    case 4156: case 4157: case 4158: case kCmdFileOpen:
      return true;
    default:
      return false;
  }
}

void NavigationCommands::OpenFile(const std::optional<std::string>& path) {
  if (!path) return;
  if (HasExtension(*path, ".lst")) {
    ctx_.files.loadListFile(*path);
    OpenFile(ctx_.files.first());
    AfterStep();
    return;
  }
  if (!FileTimestampValid(*path)) ctx_.ports.messages.Show("Invalid file timestamp", MessageIcon::Error);
  else ctx_.view.OpenDocument(*path);
  ctx_.frame.SetPaneText(kPanePosition, PositionText(ctx_.files.position(), ctx_.files.count()));
}

void NavigationCommands::AfterStep() {
  ViewerState& s = ctx_.state;
  if (!s.fullScreen) return;
  if (!s.zoomLocked) s.zoom = kFitScreen;
  s.Refresh();
}

void NavigationCommands::OpenChosenFile(const std::string& path) {
  ctx_.files.markStale();
  OpenFile(path);
}

void NavigationCommands::Step(std::optional<std::string> path, bool wrapped) {
  OpenFile(path);
  AfterStep();
  if (wrapped) ctx_.frame.Flash();
}

void NavigationCommands::OpenLastBookmark() {
  const std::string mark = ctx_.settings.ReadText("LastBookmark");
  if (mark.empty()) return;
  if (isOpenable(mark)) {
    OpenFile(mark);
    AfterStep();
    return;
  }
  if (ctx_.ports.messages.Show("Bookmark was not found, clear the bookmark?", MessageIcon::Question,
                               MessageButtons::YesNo) == MessageAnswer::Yes)
    ctx_.settings.WriteText("LastBookmark", "");
}

void NavigationCommands::Execute(uint16_t id, intptr_t /*argument*/) {
  ViewerState& s = ctx_.state;
  FileList& files = ctx_.files;
  const bool haveFile = !s.currentPath.empty();
  bool wrapped = false;
  switch (id) {
    case kCmdFirstFile: {
      auto path = files.first();
      if (!path) ctx_.ports.messages.Show("No image to show", MessageIcon::Error);
      OpenFile(path);
      AfterStep();
      break;
    }
    case kCmdLastFile:
      OpenFile(files.last());
      AfterStep();
      break;
    case kCmdNextFile: {
      auto path = files.next(&wrapped);
      Step(std::move(path), wrapped);
      break;
    }
    case kCmdPreviousFile: {
      auto path = files.previous(&wrapped);
      Step(std::move(path), wrapped);
      break;
    }
    case kCmdNextFileOrFrame:
      if (!haveFile) OpenLastBookmark();
      else if (s.animating && s.paused) ctx_.ports.post.Post(kCmdAnimationTick, 0);
      else Execute(kCmdNextFile, 0);
      break;
    case kCmdPaddleNext:
      Execute(kCmdNextFileOrFrame, 0);
      s.SendViewCommand(kCmdScrollTopRight, 0);
      break;
    case kCmdPaddlePrevious:
      Execute(kCmdPreviousFile, 0);
      s.SendViewCommand(kCmdScrollTopRight, 0);
      break;
    case kCmdRandom:
    case kCmdPreviousRandom:
      if (!haveFile) {
        OpenLastBookmark();
        break;
      }
      OpenFile(id == kCmdRandom ? files.randomNext() : files.randomPrevious());
      AfterStep();
      break;
    case kCmdRefreshFile:
      if (!haveFile) break;
      if (s.fullScreen && !s.zoomLocked) s.zoom = kFitScreen;
      s.paused = 0;
      s.SendViewCommand(kCmdReload, 0);
      break;
    case kCmdRefreshFileList:
      if (haveFile) files.markStale();
      break;
    case 4156:  // Bookmark File
      ctx_.settings.WriteText("LastBookmark", s.currentPath);
      break;
    case 4157:  // Open Last Bookmark
      OpenLastBookmark();
      break;
    case 4158:  // Clear Bookmark
      ctx_.settings.WriteText("LastBookmark", "");
      break;
    case kCmdFileOpen: {
      if (s.fullScreen) s.ToggleFullScreenWithFit();
      FileDialogRequest request;
      request.filter = openFilter(&ctx_.settings);
      if (auto chosen = ctx_.ports.fileDialogs.Open(request); chosen && !chosen->paths.empty())
        OpenChosenFile(chosen->paths.front());
      break;
    }
    default: break;
  }
}

}  // namespace qp
