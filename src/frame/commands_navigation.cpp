// Stepping through the file list, the bookmark, reloading, and opening a chosen file: the
// handlers of frame/navigation.
#include "frame/commands.h"
#include "frame/navigation.h"
#include "frame/prefetch_neighbours.h"

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
  // After a step through the list its neighbours are decoded ahead, in the direction of travel
  // first.
  switch (id) {
    case kCmdFirstFile: case kCmdNextFile: case kCmdNextFileOrFrame: case kCmdPaddleNext:
      PrefetchNeighbours(ctx_, 1);
      break;
    case kCmdLastFile: case kCmdPreviousFile: case kCmdPaddlePrevious:
      PrefetchNeighbours(ctx_, -1);
      break;
    default: break;
  }
}

}  // namespace qp
