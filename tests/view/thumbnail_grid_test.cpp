// The grid model: moving the selection, scrolling, hit tests, what is held in memory and the
// order in which the workers are asked for thumbnails.
#include <gtest/gtest.h>

#include "view/thumbnail_grid.h"

namespace qp {
namespace {

using M = ThumbnailGrid::Move;

std::vector<std::string> Names(int n) {
  std::vector<std::string> out;
  for (int i = 0; i < n; ++i) out.push_back("/p/f" + std::to_string(i) + ".jpg");
  return out;
}

// 5 columns of 144 x 164 cells, 3 whole rows on the screen.
ThumbnailGrid Grid(int n, int selected = 0) {
  ThumbnailGrid g;
  g.SetViewport(5 * 144 + 30, 3 * 164 + 20);
  g.SetFiles(Names(n), selected);
  return g;
}

TEST(ThumbnailGrid, KeysMoveTheSelectionAndKeepItInView) {
  struct Case {
    int count, from;
    M move;
    int to;
  };
  const Case cases[] = {
      {23, 0, M::Right, 1},     {23, 0, M::Left, 0},      {23, 5, M::Left, 4},
      {23, 22, M::Right, 22},   {23, 1, M::Down, 6},      {23, 18, M::Down, 18},  // no cell below
      {23, 17, M::Down, 22},    {23, 3, M::Up, 3},        {23, 8, M::Up, 3},
      {100, 2, M::PageDown, 17}, {100, 97, M::PageDown, 99}, {100, 40, M::PageUp, 25},
      {100, 12, M::PageUp, 2},  {100, 50, M::Home, 0},    {100, 50, M::End, 99},
      {1, 0, M::Down, 0},
  };
  for (const Case& c : cases) {
    ThumbnailGrid g = Grid(c.count, c.from);
    EXPECT_EQ(g.columns(), 5);
    g.MoveSelection(c.move);
    EXPECT_EQ(g.selected(), c.to) << c.from << " move " << static_cast<int>(c.move);
    const CellBox b = g.BoxOf(g.selected());
    EXPECT_GE(b.y, 0);
    EXPECT_LE(b.y + b.height, g.viewportHeight());
  }
  ThumbnailGrid empty = Grid(0);
  EXPECT_FALSE(empty.MoveSelection(M::End));
  EXPECT_EQ(empty.selected(), -1);
  EXPECT_EQ(empty.selectedPath(), nullptr);
}

TEST(ThumbnailGrid, ScrollHitTestAndNewFiles) {
  ThumbnailGrid g = Grid(100, 0);
  EXPECT_EQ(g.rows(), 20);
  EXPECT_EQ(g.maxScroll(), 20 * 164 - g.viewportHeight());
  EXPECT_EQ(g.HitTest(10, 10), 0);
  EXPECT_EQ(g.HitTest(144 * 2 + 5, 164 + 5), 7);
  EXPECT_EQ(g.HitTest(5 * 144 + 5, 5), -1);  // beside the last column
  EXPECT_TRUE(g.ScrollBy(164));
  EXPECT_EQ(g.HitTest(10, 10), 5);
  EXPECT_EQ(g.selected(), 0);  // scrolling leaves the selection
  EXPECT_FALSE(g.ScrollTo(-50) && g.scroll() != 0);
  EXPECT_EQ(g.scroll(), 0);
  g.ScrollTo(1 << 30);
  EXPECT_EQ(g.scroll(), g.maxScroll());
  EXPECT_EQ(g.HitTest(10, g.viewportHeight() - 1), 95);  // the last row at the bottom

  // A new list keeps the selected index in range and scrolls it into view.
  g.SetFiles(Names(7), 50);
  EXPECT_EQ(g.selected(), 6);
  EXPECT_EQ(g.scroll(), 0);
  EXPECT_EQ(*g.selectedPath(), "/p/f6.jpg");
  EXPECT_EQ(g.cell(6).name, "f6.jpg");
  // A narrow window still has one column.
  g.SetViewport(50, 500);
  EXPECT_EQ(g.columns(), 1);
}

TEST(ThumbnailGrid, HoldsOnlyTheCellsNearTheScreenAndAsksForTheVisibleFirst) {
  ThumbnailGrid g = Grid(10000, 5000);
  const CellRange v = g.Visible();
  EXPECT_TRUE(v.contains(5000));
  EXPECT_LE(v.last - v.first, 5 * 5);
  const CellRange kept = g.Kept();
  EXPECT_LE(kept.last - kept.first, (5 + 2 * 2 * 4) * 5);

  std::vector<ThumbnailJob> jobs = g.Jobs();
  ASSERT_EQ(jobs.size(), 10000u);
  // The visible cells first, in order, with their pixels wanted; far cells only made.
  for (int i = 0; i < v.last - v.first; ++i) {
    EXPECT_EQ(jobs[static_cast<size_t>(i)].path, "/p/f" + std::to_string(v.first + i) + ".jpg");
    EXPECT_TRUE(jobs[static_cast<size_t>(i)].wantPixels);
  }
  EXPECT_EQ(jobs[static_cast<size_t>(v.last - v.first)].path,
            "/p/f" + std::to_string(v.last) + ".jpg");  // then the next screen
  EXPECT_FALSE(jobs.back().wantPixels);

  // Every cell gets its pixels; scrolling far away frees all but those near the screen.
  for (int i = 0; i < 10000; ++i) {
    ThumbnailResult r;
    r.path = "/p/f" + std::to_string(i) + ".jpg";
    r.state = ThumbnailState::Ready;
    r.pixels = ImageBuffer::Allocate(4, 4);
    ASSERT_TRUE(g.Accept(std::move(r)));
  }
  EXPECT_EQ(g.HeldCount(), kept.last - kept.first);  // results far away are not held
  g.Select(9999);
  g.DropFarPixels();
  EXPECT_EQ(g.HeldCount(), 0);
  EXPECT_EQ(g.cell(5000).state, ThumbnailState::OnDisk);
  // Known cells near the screen are asked for again, the rest are not.
  jobs = g.Jobs();
  EXPECT_EQ(static_cast<int>(jobs.size()), g.Kept().last - g.Kept().first);
  ThumbnailResult gone;
  gone.path = "/elsewhere.jpg";
  EXPECT_FALSE(g.Accept(std::move(gone)));
}

}  // namespace
}  // namespace qp
