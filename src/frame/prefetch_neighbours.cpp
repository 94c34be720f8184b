#include "frame/prefetch_neighbours.h"

#include "view/prefetch.h"
#include "view/view_geometry.h"

namespace qp {

void PrefetchNeighbours(FrameContext& ctx, int direction) {
  PrefetchLoader* loader = ctx.view.context().prefetch;
  if (loader == nullptr) return;
  const int64_t budget = PrefetchBudgetBytes(ctx.settings.ReadNumber("PrefetchMemoryMB"));
  std::vector<std::string> paths;
  if (budget > 0) {
    for (int d : {direction, -direction}) {
      auto p = ctx.files.peek(d);
      if (p && *p != ctx.state.currentPath) paths.push_back(std::move(*p));
    }
  }
  // The picture shown stays ready for a step back, when the worker made a copy of it.
  loader->Want(std::move(paths), budget, ctx.view.PlanNextLayout(), ctx.state.currentPath);
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
