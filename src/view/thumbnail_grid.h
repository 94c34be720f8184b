// The thumbnail grid's model: the files of the list as cells in rows, the selected cell, the
// scroll position, which cells are visible, and the thumbnails held for the cells on and near
// the screen. Sizes are logical pixels; the window multiplies by its device pixel ratio.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/image_buffer.h"
#include "view/thumbnail_pool.h"

namespace qp {

// A range of cell indexes, first included, last excluded.
struct CellRange {
  int32_t first = 0;
  int32_t last = 0;
  bool contains(int32_t i) const { return i >= first && i < last; }
};

// A cell's place in the viewport (logical pixels; y may be negative when partly scrolled out).
struct CellBox {
  int32_t x = 0, y = 0, width = 0, height = 0;
};

class ThumbnailGrid {
 public:
  // A square picture area, the file name's line under it and the gap around each cell.
  static constexpr int32_t kThumbSide = 128;
  static constexpr int32_t kLabelHeight = 20;
  static constexpr int32_t kGap = 8;
  // Thumbnails are held for the visible rows and this many screens above and below.
  static constexpr int32_t kScreensKept = 2;

  enum class Move { Left, Right, Up, Down, PageUp, PageDown, Home, End };

  struct Cell {
    std::string path;
    std::string name;
    ThumbnailState state = ThumbnailState::Unknown;
    std::optional<ImageBuffer> pixels;
  };

  // Replaces the files; thumbnails already held for paths that stay are kept. The selected
  // cell is scrolled into view.
  void SetFiles(const std::vector<std::string>& paths, int32_t selected);
  void SetViewport(int32_t width, int32_t height);

  int32_t count() const { return static_cast<int32_t>(cells_.size()); }
  int32_t columns() const;
  int32_t rows() const;
  int32_t cellWidth() const { return kThumbSide + 2 * kGap; }
  int32_t cellHeight() const { return kThumbSide + kLabelHeight + 2 * kGap; }
  int32_t contentHeight() const { return rows() * cellHeight(); }
  int32_t maxScroll() const;
  int32_t scroll() const { return scroll_; }
  int32_t viewportHeight() const { return height_; }
  // Rows that fit on the screen whole (at least one).
  int32_t rowsPerPage() const;

  int32_t selected() const { return selected_; }
  const std::string* selectedPath() const;
  // Selects a cell (clamped) and scrolls it into view; true when the selection changed.
  bool Select(int32_t index);
  bool MoveSelection(Move move);
  // Scrolls without moving the selection; true when the position changed.
  bool ScrollTo(int32_t y);
  bool ScrollBy(int32_t dy) { return ScrollTo(scroll_ + dy); }

  // The cell under a viewport point, or -1.
  int32_t HitTest(int32_t x, int32_t y) const;
  CellBox BoxOf(int32_t index) const;
  // The cells at least partly on the screen.
  CellRange Visible() const;
  // The visible cells and kScreensKept screens of rows on each side.
  CellRange Kept() const;

  const Cell& cell(int32_t index) const { return cells_[static_cast<size_t>(index)]; }
  int32_t IndexOf(const std::string& path) const;
  // Takes a worker's result; false when the path is no longer a cell.
  bool Accept(ThumbnailResult result);
  // Frees the pixels of cells outside Kept(); they stay known to be in the cache.
  void DropFarPixels();
  // The jobs for the workers, most urgent first: cells of the screen, the next screen, the
  // screen before, the rest of the kept cells (pixels wanted), then every other cell not
  // yet known, onwards from the screen and then back (made and stored only).
  std::vector<ThumbnailJob> Jobs() const;
  // Cells whose pixels are held (for the memory bound).
  int32_t HeldCount() const;

 private:
  void ScrollIntoView(int32_t index);
  std::vector<Cell> cells_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t scroll_ = 0;
  int32_t selected_ = -1;
};

}  // namespace qp
