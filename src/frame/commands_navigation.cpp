// Stepping through the file list, the bookmark, reloading, and opening a chosen file: the
// handlers of frame/navigation.
#include "frame/commands.h"
#include "frame/navigation.h"

namespace qp {

bool NavigationCommands::Handles(uint16_t id) const {
  switch (id) {
    case kCmdFirstFile: case kCmdNextFileOrFrame: case kCmdPreviousFile: case kCmdPaddleNext:
    case kCmdPaddlePrevious: case kCmdLastFile: case kCmdNextFile: case kCmdRandom:
    case kCmdPreviousRandom: case kCmdRefreshFile: case kCmdRefreshFileList:
    case kCmdBookmarkFile: case kCmdOpenLastBookmark: case kCmdClearBookmark: case kCmdFileOpen:
      return true;
    default:
      return false;
  }
}

void NavigationCommands::OpenFile(const std::optional<std::string>& path) {
  qp::OpenFile(*ctx_.fileOps, path);
}

void NavigationCommands::AfterStep() { qp::AfterStep(*ctx_.fileOps); }

void NavigationCommands::OpenChosenFile(const std::string& path) {
  ctx_.files.markStale();
  qp::OpenFile(*ctx_.fileOps, path);
}

void NavigationCommands::DropFiles(const std::vector<std::string>& paths) {
  qp::DropFiles(*ctx_.fileOps, paths);
}

void NavigationCommands::Execute(uint16_t id, intptr_t /*argument*/) {
  ExecuteNavigation(*ctx_.fileOps, id);
}

}  // namespace qp
