#include "frame/navigation.h"

#include <climits>

#include "codecs/file_filters.h"
#include "core/file_io.h"
#include "core/paths.h"
#include "view/view.h"

namespace qp {

bool OpenDocument(FileContext& ctx, const std::string& path) {
  if (!ctx.host.OpenDocument(path)) return false;
  RememberOpened(ctx, path);
  return true;
}

void RememberOpened(FileContext& ctx, const std::string& path) {
  ctx.recent.Add(path);
  ctx.host.RecentFilesChanged();
}

void OpenFile(FileContext& ctx, const std::optional<std::string>& path) {
  if (!path) return;
  if (HasExtension(*path, ".lst")) {
    ctx.files.loadListFile(*path);
    OpenFile(ctx, ctx.files.first());
    AfterStep(ctx);
    return;
  }
  if (!FileTimestampValid(*path))
    ctx.ports.messages.Show(kInvalidTimestamp, MessageIcon::Error);
  else
    OpenDocument(ctx, *path);
  ctx.host.SetPositionText(std::to_string(ctx.files.position()) + "/" +
                           std::to_string(ctx.files.count()));
}

void AfterStep(FileContext& ctx) {
  if (ctx.state.fullScreen == 0) return;
  if (ctx.state.zoomLocked == 0) ctx.state.zoom = -1.0f;
  ctx.state.Refresh();
}

void FirstFile(FileContext& ctx) {
  const auto path = ctx.files.first();
  if (!path) ctx.ports.messages.Show(kNoImageToShow, MessageIcon::Error);
  OpenFile(ctx, path);
  AfterStep(ctx);
}

void LastFile(FileContext& ctx) {
  OpenFile(ctx, ctx.files.last());
  AfterStep(ctx);
}

namespace {

void Step(FileContext& ctx, bool forward) {
  // In fullscreen the step shows the picture fitted: laying it out first at the zoom of the
  // picture before would only cost time and, from a small picture to a large one, memory.
  if (ctx.state.fullScreen != 0 && ctx.state.zoomLocked == 0) ctx.state.zoom = -1.0f;
  bool wrapped = false;
  const auto path = forward ? ctx.files.next(&wrapped) : ctx.files.previous(&wrapped);
  OpenFile(ctx, path);
  AfterStep(ctx);
  if (wrapped) ctx.host.FlashWindow();
}

void RandomStep(FileContext& ctx, bool forward) {
  if (ctx.state.currentPath.empty()) {
    OpenLastBookmark(ctx);
    return;
  }
  OpenFile(ctx, forward ? ctx.files.randomNext() : ctx.files.randomPrevious());
  AfterStep(ctx);
}

}  // namespace

void NextFile(FileContext& ctx) { Step(ctx, true); }
void PreviousFile(FileContext& ctx) { Step(ctx, false); }

void NextFileOrFrame(FileContext& ctx) {
  if (ctx.state.currentPath.empty()) {
    OpenLastBookmark(ctx);
  } else if (ctx.state.animating != 0 && ctx.state.paused != 0) {
    // Argument 0: the view steps whatever the playback's generation.
    ctx.ports.post.Post(kCmdAnimationTick, 0);
  } else {
    NextFile(ctx);
  }
}

void PaddleNext(FileContext& ctx) {
  NextFileOrFrame(ctx);
  ctx.state.SendViewCommand(kCmdScrollTopRight, 0);
}

void PaddlePrevious(FileContext& ctx) {
  PreviousFile(ctx);
  ctx.state.SendViewCommand(kCmdScrollTopRight, 0);
}

void RandomFile(FileContext& ctx) { RandomStep(ctx, true); }
void PreviousRandomFile(FileContext& ctx) { RandomStep(ctx, false); }

void RefreshFile(FileContext& ctx) {
  if (ctx.state.currentPath.empty()) return;
  if (ctx.state.fullScreen != 0 && ctx.state.zoomLocked == 0) ctx.state.zoom = -1.0f;
  ctx.state.paused = 0;
  ctx.state.SendViewCommand(kCmdReload, 0);
}

void RefreshFileList(FileContext& ctx) {
  if (!ctx.state.currentPath.empty()) ctx.files.markStale();
}

void BookmarkFile(FileContext& ctx) { ctx.settings.WriteText("LastBookmark", ctx.state.currentPath); }

void OpenLastBookmark(FileContext& ctx) {
  const std::string bookmark = ctx.settings.ReadText("LastBookmark");
  if (bookmark.empty()) return;
  if (isOpenable(bookmark)) {
    // The bookmark may lie in another folder: the next step lists the bookmark's folder.
    ctx.files.markStale();
    OpenFile(ctx, bookmark);
    AfterStep(ctx);
  } else if (ctx.ports.messages.Show(kBookmarkMissing, MessageIcon::Question,
                                     MessageButtons::YesNo) == MessageAnswer::Yes) {
    ctx.settings.WriteText("LastBookmark", "");
  }
}

void ClearBookmark(FileContext& ctx) { ctx.settings.WriteText("LastBookmark", ""); }

void OpenWithDialog(FileContext& ctx) {
  ctx.LeaveFullScreen();
  FileDialogRequest request;
  request.title = "Open";
  request.filter = openFilter(&ctx.settings);
  request.filterIndex = 1;
  request.folder = ctx.state.currentPath.empty() ? std::string() : FolderOf(ctx.state.currentPath);
  auto chosen = ctx.ports.fileDialogs.Open(request);
  if (!chosen || chosen->paths.empty()) return;
  ctx.files.markStale();
  OpenFile(ctx, chosen->paths.front());
}

void DropFiles(FileContext& ctx, const std::vector<std::string>& names) {
  ctx.host.ActivateWindow();
  for (const std::string& name : names) {
    if (name.empty() || name.size() >= PATH_MAX) continue;
    if (!isSupportedFile(name, &ctx.settings)) continue;
    if (!HasExtension(name, ".lst")) {
      ctx.files.markStale();
      OpenDocument(ctx, name);
      return;
    }
    ctx.files.loadListFile(name);
    const auto first = ctx.files.first();
    if (!first)
      ctx.ports.messages.Show(kNoImageToShow, MessageIcon::Error);
    else
      OpenDocument(ctx, *first);
    return;
  }
}

void OpenRecentFile(FileContext& ctx, int index) {
  const auto& entries = ctx.recent.entries();
  if (index < 0 || index >= static_cast<int>(entries.size())) return;
  const std::string path = entries[static_cast<size_t>(index)];
  // Like File Open: the next step lists the folder of the file opened, not the old one (a
  // list file opened as a document replaces the list and clears the mark again).
  ctx.files.markStale();
  if (!OpenDocument(ctx, path)) {
    ctx.recent.Remove(index);
    ctx.host.RecentFilesChanged();
  }
}

bool MediaKey(FileContext& ctx, int code) {
  switch (code) {
    case 1:   // browser backward
    case 12:  // previous track
      PreviousFile(ctx);
      return true;
    case 2:   // browser forward
    case 11:  // next track
      NextFileOrFrame(ctx);
      return true;
    case 3:  // browser refresh
      RefreshFile(ctx);
      return true;
    case 14:  // play/pause
      ctx.state.SendViewCommand(kCmdPauseAnimation, 0);
      return true;
    default: return false;
  }
}

bool ExecuteNavigation(FileContext& ctx, uint16_t id) {
  switch (id) {
    case kCmdFirstFile: FirstFile(ctx); return true;
    case kCmdNextFileOrFrame: NextFileOrFrame(ctx); return true;
    case kCmdPreviousFile: PreviousFile(ctx); return true;
    case kCmdPaddleNext: PaddleNext(ctx); return true;
    case kCmdPaddlePrevious: PaddlePrevious(ctx); return true;
    case kCmdLastFile: LastFile(ctx); return true;
    case kCmdNextFile: NextFile(ctx); return true;
    case kCmdRefreshFile: RefreshFile(ctx); return true;
    case kCmdRefreshFileList: RefreshFileList(ctx); return true;
    case kCmdBookmarkFile: BookmarkFile(ctx); return true;
    case kCmdOpenLastBookmark: OpenLastBookmark(ctx); return true;
    case kCmdClearBookmark: ClearBookmark(ctx); return true;
    case kCmdRandom: RandomFile(ctx); return true;
    case kCmdPreviousRandom: PreviousRandomFile(ctx); return true;
    case kCmdFileOpen: OpenWithDialog(ctx); return true;
    case kCmdClearRecentFiles:
      ClearRecentFiles(ctx.recent, ctx.ports.messages);
      ctx.host.RecentFilesChanged();
      return true;
    default: break;
  }
  if (id >= kCmdRecentFirst && id < kCmdRecentFirst + kRecentFileCount) {
    OpenRecentFile(ctx, id - kCmdRecentFirst);
    return true;
  }
  return false;
}

}  // namespace qp
