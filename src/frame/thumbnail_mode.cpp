#include "frame/thumbnail_mode.h"

#include <algorithm>
#include <cmath>

#include "codecs/sniff.h"
#include "core/paths.h"
#include "frame/file_context.h"
#include "frame/file_operations.h"
#include "frame/prefetch_neighbours.h"
#include "view/view_geometry.h"
#include "view/view_host.h"

namespace qp {
namespace {

constexpr uint16_t kCmdDeleteFile = 4041;
constexpr uint16_t kCmdRenameFile = 4073;
constexpr uint16_t kCmdCopyFile = 4125;
constexpr uint16_t kCmdMoveFile = 4126;

// The commands that act on a file and so take the grid's selected one.
bool IsFileCommand(uint16_t id) {
  return id == kCmdDeleteFile || id == kCmdRenameFile || id == kCmdCopyFile ||
         id == kCmdMoveFile || (id >= 4061 && id <= 4069) || (id >= 4080 && id <= 4089);
}

// The view's scrolling keys, which move the selection while the grid is shown.
std::optional<ThumbnailGrid::Move> MoveOfScrollCommand(uint16_t id) {
  switch (id) {
    case 4010: return ThumbnailGrid::Move::Home;
    case 4011: return ThumbnailGrid::Move::Down;
    case 4012: return ThumbnailGrid::Move::Up;
    case 4013: return ThumbnailGrid::Move::Left;
    case 4014: return ThumbnailGrid::Move::Right;
    case 4015: return ThumbnailGrid::Move::PageDown;
    case 4016: case 4017: return ThumbnailGrid::Move::PageUp;
    case 4019: return ThumbnailGrid::Move::End;
    default: return std::nullopt;
  }
}

}  // namespace

ThumbnailMode::ThumbnailMode(FrameContext& ctx, std::string cacheRoot, unsigned threads)
    : ctx_(ctx), cache_(std::move(cacheRoot)), threads_(threads) {}

ThumbnailMode::~ThumbnailMode() {
  // The window may outlive the router that owns this mode.
  if (host_ != nullptr) host_->GridGone();
}

ThumbnailSize ThumbnailMode::size() const {
  const double dpr = host_ != nullptr ? host_->DevicePixelRatio() : 1.0;
  return ThumbnailSizeFor(static_cast<int32_t>(std::lround(ThumbnailGrid::kThumbSide * dpr)));
}

bool ThumbnailMode::Handles(uint16_t id) const {
  if (id == kCmdThumbnails || id == kCmdThumbnailsReady) return true;
  return active_ && MoveOfScrollCommand(id).has_value();
}

void ThumbnailMode::Execute(uint16_t id, intptr_t /*argument*/) {
  if (id == kCmdThumbnailsReady) {
    TakeResults();
  } else if (id == kCmdThumbnails) {
    if (active_) OpenSelected();
    else Enter();
  } else if (auto move = MoveOfScrollCommand(id); move && active_) {
    Move(*move);
  }
}

std::optional<CommandState> ThumbnailMode::Query(uint16_t id) {
  if (id != kCmdThumbnails) return std::nullopt;
  CommandState s;
  s.enabled = active_ || !ctx_.state.currentPath.empty();
  s.checked = active_;
  return s;
}

void ThumbnailMode::Enter() {
  if (active_) return;
  ctx_.files.refreshIfStale();
  std::vector<std::string> paths = ctx_.files.paths();
  int32_t selected = ctx_.files.position() - 1;
  // A file outside the list (a single file shown before its folder was read) is still shown.
  if (paths.empty() && !ctx_.state.currentPath.empty() &&
      ClipboardKind(ctx_.state.currentPath) == 0) {
    paths.push_back(ctx_.state.currentPath);
    selected = 0;
  }
  if (const auto it = std::find(paths.begin(), paths.end(), ctx_.state.currentPath);
      it != paths.end())
    selected = static_cast<int32_t>(it - paths.begin());
  if (!pool_) pool_ = std::make_unique<ThumbnailPool>(cache_, ctx_.ports.post, kCmdThumbnailsReady, threads_);
  active_ = true;
  grid_.SetFiles(paths, selected);
  if (host_ != nullptr) host_->ShowGrid(true);
  Changed(true);
}

void ThumbnailMode::Leave() {
  if (!active_) return;
  active_ = false;
  if (pool_) pool_->Schedule({}, size());
  if (host_ != nullptr) host_->ShowGrid(false);
  RestoreStatus();
}

void ThumbnailMode::OpenSelected() {
  if (!active_) return;
  const std::string* selected = grid_.selectedPath();
  const std::string path = selected != nullptr ? *selected : std::string();
  Leave();
  if (path.empty() || path == ctx_.state.currentPath) return;
  // An ordinary step to that file: the list's position, the fit in fullscreen and the files
  // around it decoded ahead.
  ctx_.files.seek(path);
  NavigationCommands nav(ctx_);
  nav.OpenFile(path);
  nav.AfterStep();
  PrefetchNeighbours(ctx_, 1);
}

void ThumbnailMode::Move(ThumbnailGrid::Move move) {
  if (grid_.MoveSelection(move)) Changed(true);
  else if (host_ != nullptr) host_->GridChanged();
}

void ThumbnailMode::Click(int32_t x, int32_t y) {
  const int32_t hit = grid_.HitTest(x, y);
  if (hit >= 0 && grid_.Select(hit)) Changed(true);
}

void ThumbnailMode::DoubleClick(int32_t x, int32_t y) {
  const int32_t hit = grid_.HitTest(x, y);
  if (hit < 0) return;
  grid_.Select(hit);
  OpenSelected();
}

void ThumbnailMode::Wheel(int32_t notches) {
  if (grid_.ScrollBy(notches * grid_.cellHeight())) Changed(false);
}

void ThumbnailMode::ScrollTo(int32_t y) {
  if (grid_.ScrollTo(y)) Changed(false);
}

void ThumbnailMode::Resize(int32_t width, int32_t height) {
  grid_.SetViewport(width, height);
  if (active_) Changed(false);
}

void ThumbnailMode::Changed(bool selectionMoved) {
  grid_.DropFarPixels();
  Reschedule();
  if (selectionMoved) ShowStatus();
  if (host_ != nullptr) host_->GridChanged();
}

void ThumbnailMode::Reschedule() {
  if (pool_ && active_) pool_->Schedule(grid_.Jobs(), size());
}

void ThumbnailMode::TakeResults() {
  if (!pool_) return;
  bool any = false;
  for (ThumbnailResult& r : pool_->TakeResults()) any = grid_.Accept(std::move(r)) || any;
  if (any && active_ && host_ != nullptr) host_->GridChanged();
}

bool ThumbnailMode::WorkersIdle() { return !pool_ || pool_->Idle(); }

void ThumbnailMode::ShowStatus() {
  const std::string* path = grid_.selectedPath();
  FrameHost& f = ctx_.frame;
  if (path == nullptr) {
    for (uint32_t pane : {kPanePosition, kPanePath, kPaneDimensions, kPaneZoom, kPaneSize})
      f.SetPaneText(pane, "");
    return;
  }
  f.SetPaneText(kPanePosition,
                std::to_string(grid_.selected() + 1) + "/" + std::to_string(grid_.count()));
  f.SetPaneText(kPanePath, FileNameOf(*path));
  f.SetPaneText(kPaneDimensions, "");
  f.SetPaneText(kPaneZoom, "");
  const auto source = DescribeSource(*path);
  f.SetPaneText(kPaneSize, source && !source->directory ? SizePaneText(source->size) : "");
}

void ThumbnailMode::RestoreStatus() {
  FrameHost& f = ctx_.frame;
  const std::string& path = ctx_.state.currentPath;
  f.SetPaneText(kPanePosition,
                std::to_string(ctx_.files.position()) + "/" + std::to_string(ctx_.files.count()));
  f.SetPaneText(kPanePath, path);
  const bool picture = ctx_.view.holdsPicture();
  f.SetPaneText(kPaneDimensions,
                picture ? DimensionsText(ctx_.view.pictureWidth(), ctx_.view.pictureHeight()) : "");
  f.SetPaneText(kPaneZoom, ZoomPaneText(ctx_.state.zoom));
  const auto source = picture ? DescribeSource(path) : std::nullopt;
  f.SetPaneText(kPaneSize, source ? SizePaneText(source->size) : "");
}

void ThumbnailMode::BeforeCommand(uint16_t id) {
  inFileCommand_ = false;
  if (!active_ || !IsFileCommand(id)) return;
  const std::string* selected = grid_.selectedPath();
  if (selected == nullptr) return;
  inFileCommand_ = true;
  commandPath_ = *selected;
  // The command works on the file shown: show the selected one (hidden behind the grid), as
  // a step to it would.
  if (commandPath_ != ctx_.state.currentPath) {
    ctx_.files.seek(commandPath_);
    NavigationCommands(ctx_).OpenFile(commandPath_);
  }
}

void ThumbnailMode::AfterCommand(uint16_t id) {
  if (!inFileCommand_ || !IsFileCommand(id)) return;
  inFileCommand_ = false;
  if (!active_) return;
  // A deleted or moved file leaves the grid; a renamed one keeps its cell under the new name.
  if (PathExists(commandPath_)) {
    ShowStatus();
    return;
  }
  std::vector<std::string> paths;
  paths.reserve(static_cast<size_t>(grid_.count()));
  const std::string& now = ctx_.state.currentPath;
  const bool renamed = now != commandPath_ && PathExists(now) && grid_.IndexOf(now) < 0;
  for (int32_t i = 0; i < grid_.count(); ++i) {
    const std::string& p = grid_.cell(i).path;
    if (p != commandPath_) paths.push_back(p);
    else if (renamed) paths.push_back(now);
  }
  const int32_t at = grid_.selected();
  grid_.SetFiles(paths, at);
  Changed(true);
}

std::unique_ptr<CommandGroup> MakeThumbnailMode(FrameContext& ctx, CommandRouter& router) {
  auto mode = std::make_unique<ThumbnailMode>(ctx, ThumbnailCache::DefaultRoot());
  router.SetObserver(mode.get());
  return mode;
}

}  // namespace qp
