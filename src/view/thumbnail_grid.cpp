#include "view/thumbnail_grid.h"

#include <algorithm>
#include <unordered_map>

#include "core/paths.h"

namespace qp {

void ThumbnailGrid::SetFiles(const std::vector<std::string>& paths, int32_t selected) {
  std::unordered_map<std::string, Cell*> old;
  for (Cell& c : cells_) old.emplace(c.path, &c);
  std::vector<Cell> next;
  next.reserve(paths.size());
  for (const std::string& p : paths) {
    auto it = old.find(p);
    if (it != old.end()) {
      next.push_back(std::move(*it->second));
    } else {
      Cell c;
      c.path = p;
      c.name = FileNameOf(p);
      next.push_back(std::move(c));
    }
  }
  cells_ = std::move(next);
  selected_ = cells_.empty() ? -1 : std::clamp(selected, 0, count() - 1);
  scroll_ = std::clamp(scroll_, 0, maxScroll());
  if (selected_ >= 0) ScrollIntoView(selected_);
}

void ThumbnailGrid::SetViewport(int32_t width, int32_t height) {
  width_ = std::max(width, 0);
  height_ = std::max(height, 0);
  scroll_ = std::clamp(scroll_, 0, maxScroll());
  if (selected_ >= 0) ScrollIntoView(selected_);
}

int32_t ThumbnailGrid::columns() const { return std::max(1, width_ / cellWidth()); }

int32_t ThumbnailGrid::rows() const { return (count() + columns() - 1) / columns(); }

int32_t ThumbnailGrid::maxScroll() const { return std::max(0, contentHeight() - height_); }

int32_t ThumbnailGrid::rowsPerPage() const { return std::max(1, height_ / cellHeight()); }

const std::string* ThumbnailGrid::selectedPath() const {
  return selected_ >= 0 ? &cells_[static_cast<size_t>(selected_)].path : nullptr;
}

void ThumbnailGrid::ScrollIntoView(int32_t index) {
  const int32_t top = index / columns() * cellHeight();
  if (top < scroll_) scroll_ = top;
  else if (top + cellHeight() > scroll_ + height_) scroll_ = top + cellHeight() - height_;
  scroll_ = std::clamp(scroll_, 0, maxScroll());
}

bool ThumbnailGrid::Select(int32_t index) {
  if (cells_.empty()) return false;
  index = std::clamp(index, 0, count() - 1);
  const bool changed = index != selected_;
  selected_ = index;
  ScrollIntoView(index);
  return changed;
}

bool ThumbnailGrid::MoveSelection(Move move) {
  if (cells_.empty()) return false;
  const int32_t cols = columns();
  const int32_t page = rowsPerPage() * cols;
  int32_t s = std::max(selected_, 0);
  switch (move) {
    case Move::Left: s -= 1; break;
    case Move::Right: s += 1; break;
    // Up and down stay in the column; past the ends nothing moves.
    case Move::Up: if (s - cols >= 0) s -= cols; break;
    case Move::Down: if (s + cols < count()) s += cols; break;
    case Move::PageUp: s = s - page >= 0 ? s - page : s % cols; break;
    case Move::PageDown: s = std::min(s + page, count() - 1); break;
    case Move::Home: s = 0; break;
    case Move::End: s = count() - 1; break;
  }
  return Select(s);
}

bool ThumbnailGrid::ScrollTo(int32_t y) {
  const int32_t clamped = std::clamp(y, 0, maxScroll());
  const bool changed = clamped != scroll_;
  scroll_ = clamped;
  return changed;
}

int32_t ThumbnailGrid::HitTest(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= columns() * cellWidth()) return -1;
  const int32_t index = (y + scroll_) / cellHeight() * columns() + x / cellWidth();
  return index < count() ? index : -1;
}

CellBox ThumbnailGrid::BoxOf(int32_t index) const {
  const int32_t cols = columns();
  return CellBox{index % cols * cellWidth(), index / cols * cellHeight() - scroll_, cellWidth(),
                 cellHeight()};
}

CellRange ThumbnailGrid::Visible() const {
  const int32_t cols = columns();
  const int32_t firstRow = scroll_ / cellHeight();
  const int32_t lastRow = (scroll_ + std::max(height_, 1) + cellHeight() - 1) / cellHeight();
  return CellRange{std::min(firstRow * cols, count()), std::min(lastRow * cols, count())};
}

CellRange ThumbnailGrid::Kept() const {
  const CellRange v = Visible();
  const int32_t extra = kScreensKept * (rowsPerPage() + 1) * columns();
  return CellRange{std::max(0, v.first - extra), std::min(count(), v.last + extra)};
}

int32_t ThumbnailGrid::IndexOf(const std::string& path) const {
  for (int32_t i = 0; i < count(); ++i)
    if (cells_[static_cast<size_t>(i)].path == path) return i;
  return -1;
}

bool ThumbnailGrid::Accept(ThumbnailResult result) {
  // The result is usually near the screen: look there first.
  const CellRange kept = Kept();
  int32_t index = -1;
  for (int32_t i = kept.first; i < kept.last && index < 0; ++i)
    if (cells_[static_cast<size_t>(i)].path == result.path) index = i;
  if (index < 0) index = IndexOf(result.path);
  if (index < 0) return false;
  Cell& c = cells_[static_cast<size_t>(index)];
  if (result.state == ThumbnailState::Ready && !kept.contains(index)) {
    // Scrolled away meanwhile: the thumbnail is in the cache for later.
    c.state = ThumbnailState::OnDisk;
    c.pixels.reset();
    return true;
  }
  c.state = result.state;
  c.pixels = std::move(result.pixels);
  return true;
}

void ThumbnailGrid::DropFarPixels() {
  const CellRange kept = Kept();
  for (int32_t i = 0; i < count(); ++i) {
    Cell& c = cells_[static_cast<size_t>(i)];
    if (c.state == ThumbnailState::Ready && !kept.contains(i)) {
      c.pixels.reset();
      c.state = ThumbnailState::OnDisk;
    }
  }
}

int32_t ThumbnailGrid::HeldCount() const {
  int32_t n = 0;
  for (const Cell& c : cells_) n += c.pixels.has_value() ? 1 : 0;
  return n;
}

std::vector<ThumbnailJob> ThumbnailGrid::Jobs() const {
  std::vector<ThumbnailJob> jobs;
  if (cells_.empty()) return jobs;
  const CellRange visible = Visible();
  const CellRange kept = Kept();
  const int32_t page = std::max(1, rowsPerPage()) * columns();
  std::vector<bool> queued(cells_.size(), false);
  auto add = [&](int32_t from, int32_t to, bool wantPixels) {
    from = std::max(from, 0);
    to = std::min(to, count());
    for (int32_t i = from; i < to; ++i) {
      const Cell& c = cells_[static_cast<size_t>(i)];
      if (queued[static_cast<size_t>(i)]) continue;
      const bool needed = wantPixels ? (c.state == ThumbnailState::Unknown ||
                                        c.state == ThumbnailState::OnDisk)
                                     : c.state == ThumbnailState::Unknown;
      if (!needed) continue;
      queued[static_cast<size_t>(i)] = true;
      jobs.push_back(ThumbnailJob{c.path, wantPixels});
    }
  };
  add(visible.first, visible.last, true);
  add(visible.last, visible.last + page, true);
  add(visible.first - page, visible.first, true);
  add(visible.last, kept.last, true);
  add(kept.first, visible.first, true);
  add(kept.last, count(), false);
  add(0, kept.first, false);
  return jobs;
}

}  // namespace qp
