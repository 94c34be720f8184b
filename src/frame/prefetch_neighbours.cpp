#include "frame/prefetch_neighbours.h"

#include <algorithm>

#include "view/prefetch.h"
#include "view/view_geometry.h"

namespace qp {

void PrefetchNeighbours(FrameContext& ctx, int direction) {
  PrefetchLoader* loader = ctx.view.context().prefetch;
  if (loader == nullptr) return;
  const int64_t budget = PrefetchBudgetBytes(ctx.settings.ReadNumber("PrefetchMemoryMB"));
  const DisplayPlan plan = ctx.view.PlanNextLayout();
  std::vector<std::string> around;  // the next in the direction of travel, then the one behind
  if (budget > 0) {
    for (int d : {direction, -direction}) {
      auto p = ctx.files.peek(d);
      if (p && *p != ctx.state.currentPath &&
          std::find(around.begin(), around.end(), *p) == around.end())
        around.push_back(std::move(*p));
    }
  }
  // When the next layout shows pictures smaller than their size, screen-size previews come
  // first, so a held key never waits for a full decode; at original size, the part on screen
  // of a larger JPEG. Then the exact picture of a preview on show; the neighbours' exact
  // pictures follow when the stepping pauses.
  std::vector<PrefetchWish> wishes;
  const bool previews = plan.zoom < 0.999f || plan.zoom == 1.0f;
  if (previews && !around.empty()) wishes.push_back({around[0], true});
  // A preview on show means the steps come faster than exact pictures: the picture after the
  // next gets its preview before the exact one of the picture shown, so the worker keeps a
  // step ahead of a held key however long a single decode takes.
  if (previews && ctx.view.showsPreview() && !around.empty()) {
    auto after = ctx.files.peek(direction, 2);
    if (after && *after != ctx.state.currentPath &&
        std::find(around.begin(), around.end(), *after) == around.end())
      wishes.push_back({std::move(*after), true});
  }
  if (ctx.view.showsPreview()) wishes.push_back({ctx.state.currentPath, false});
  if (previews && around.size() > 1) wishes.push_back({around[1], true});
  for (const std::string& p : around) wishes.push_back({p, false});
  // The picture shown stays ready for a step back, when the worker made a copy of it.
  loader->Want(std::move(wishes), budget, plan, ctx.state.currentPath);
}

void ScanFolderAfterFirstPicture(FrameContext& ctx, const std::vector<std::string>& namedFiles) {
  if (ctx.state.currentPath.empty()) return;
  if (namedFiles.size() >= 2) {
    ctx.files.loadPaths(namedFiles);
    ctx.files.seek(ctx.state.currentPath);
  }
  ctx.files.refreshIfStale();
  ctx.frame.SetPaneText(kPanePosition, PositionText(ctx.files.position(), ctx.files.count()));
  PrefetchNeighbours(ctx, 1);
}

}  // namespace qp
