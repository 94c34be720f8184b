// The thumbnail grid as a mode of the window: G shows the files of the list as thumbnails,
// the current file selected; the keys and the mouse move the selection; Enter, a double click
// or G open the selected file as an ordinary step; Esc goes back to the picture. The file
// commands (delete, rename, copy, move, the external programs) work on the selected file.
// Thumbnails come from the shared cache or are made by a pool of worker threads; only those
// on and near the screen are held in memory.
#pragma once

#include <memory>
#include <string>

#include "frame/commands.h"
#include "view/thumbnail_cache.h"
#include "view/thumbnail_grid.h"
#include "view/thumbnail_pool.h"

namespace qp {

// The window's side of the grid.
class GridHost {
 public:
  virtual ~GridHost() = default;
  // Shows the grid instead of the picture, or the picture again.
  virtual void ShowGrid(bool on) = 0;
  // The cells, the selection or the scroll position changed: paint again.
  virtual void GridChanged() = 0;
  // Device pixels per logical pixel of the window's screen.
  virtual double DevicePixelRatio() = 0;
  // The mode is being destroyed: the host must not reach it any more.
  virtual void GridGone() {}
};

class ThumbnailMode final : public CommandGroup, public CommandRouter::Observer {
 public:
  ThumbnailMode(FrameContext& ctx, std::string cacheRoot, unsigned threads = 0);
  ~ThumbnailMode() override;

  void SetHost(GridHost* host) { host_ = host; }
  bool active() const { return active_; }
  ThumbnailGrid& grid() { return grid_; }
  const ThumbnailCache& cache() const { return cache_; }
  // The cache folder the thumbnails come from, by the cells' size in device pixels.
  ThumbnailSize size() const;

  void Enter();
  // Back to the picture shown before, without opening the selection.
  void Leave();
  void OpenSelected();
  void Move(ThumbnailGrid::Move move);
  void Click(int32_t x, int32_t y);
  void DoubleClick(int32_t x, int32_t y);
  // Wheel notches, positive downwards: one row each.
  void Wheel(int32_t notches);
  void ScrollTo(int32_t y);
  void Resize(int32_t width, int32_t height);
  // Takes the workers' finished thumbnails.
  void TakeResults();
  // True when the workers have nothing left to do (tests, benchmarks).
  bool WorkersIdle();

  // CommandGroup
  bool Handles(uint16_t id) const override;
  void Execute(uint16_t id, intptr_t argument) override;
  std::optional<CommandState> Query(uint16_t id) override;
  // Observer
  void BeforeCommand(uint16_t id) override;
  void AfterCommand(uint16_t id) override;

 private:
  void Changed(bool selectionMoved);
  void Reschedule();
  void ShowStatus();
  void RestoreStatus();

  FrameContext& ctx_;
  ThumbnailCache cache_;
  unsigned threads_;
  std::unique_ptr<ThumbnailPool> pool_;
  ThumbnailGrid grid_;
  GridHost* host_ = nullptr;
  bool active_ = false;
  // The selected file a file command started with.
  std::string commandPath_;
  bool inFileCommand_ = false;
};

std::unique_ptr<CommandGroup> MakeThumbnailMode(FrameContext& ctx, CommandRouter& router);

}  // namespace qp
