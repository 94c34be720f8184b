// The view's side of decoding ahead: adopting a prefetched picture as a load of its file would
// have produced it, the display bitmap made with it, and what the next layout will be.
#include "view/prefetch.h"
#include "view/show_trace.h"
#include "view/view.h"

namespace qp {

DisplayPlan CImgViewerView::PlanNextLayout() {
  const ViewerState& s = ctx_.state;
  DisplayPlan plan;
  // A new file starts at original size in a window and fitted in fullscreen (a step fits it
  // there); a locked zoom carries over, a locked fit as its fit code.
  if (s.zoomLocked) plan.zoom = s.lockedZoom < 0 ? s.lockedZoom : s.zoom;
  else plan.zoom = s.fullScreen ? kFitScreen : 1.0f;
  plan.fullScreen = s.fullScreen != 0;
  const auto [aw, ah] = AvailableArea();
  plan.areaWidth = aw;
  plan.areaHeight = ah;
  plan.factors = ReadFitFactors(ctx_.settings);
  plan.manageColour = ColourManaged(&ctx_.settings);
  plan.screen = ScreenProfile();
  plan.autoOrient = ctx_.settings.ReadFlag("AutoOrient");
  return plan;
}

bool CImgViewerView::AdoptPrefetched(const std::string& path) {
  ViewerState& s = ctx_.state;
  // The command line's line list is drawn into the first picture by the load itself.
  if (ctx_.prefetch == nullptr || s.drawLines) return false;
  // Turned off since the pictures were decoded: they go unused.
  const int64_t budget = PrefetchBudgetBytes(ctx_.settings.ReadNumber("PrefetchMemoryMB"));
  if (budget <= 0) {
    ctx_.prefetch->Want(std::vector<std::string>{}, 0);
    return false;
  }
  std::optional<PrefetchedPicture> p = ctx_.prefetch->Take(path);
  if (!p) return false;
  // Decoded ahead before the orientation setting changed: loaded again.
  if (p->autoOrient != ctx_.settings.ReadFlag("AutoOrient")) {
    ctx_.prefetch->Forget(path);
    return false;
  }
  // What the load of a file does, in its order, with what the worker read.
  undo_.Free();
  StoreDetails(p->load.picture.details, s);
  if (!ColourManaged(&ctx_.settings)) s.colourProfile.reset();
  fileSize_ = p->load.fileSize;
  sniffCode_ = p->load.sniffCode;
  picture_ = p->load.picture.takeOwned();
  if (!holdsPicture()) placeholder_ = true;
  if (p->jpegMetadata) {
    // As the load: the camera data read, the colour space the decoder recorded kept.
    const int32_t colourSpace = s.jpegColourSpace;
    s.ClearMetadata();
    s.exif = p->exif;
    s.jpegColourSpace = colourSpace;
  } else {
    s.ClearMetadata();
  }
  if (p->display)
    prepared_ = PreparedDisplay{picture_.data(), p->displayZoom, std::move(*p->display),
                                p->displayPlan.manageColour, p->displayPlan.screen.get()};
  return true;
}

bool CImgViewerView::UsePreparedDisplay(float z) {
  if (!prepared_ || showsCanvas_ || placeholder_ || ctx_.state.vectorSource) return false;
  if (prepared_->source != picture_.data() || prepared_->zoom != z) return false;
  // Made for other colours: the setting or the screen changed since.
  const bool managed = ColourManaged(&ctx_.settings);
  if (prepared_->managed != managed || (managed && prepared_->screen != ScreenProfile().get()))
    return false;
  // Lent, not copied: a picture at original size makes a bitmap of many megabytes.
  if (prepared_->lent) return false;  // lent to a display since released
  display_ = std::move(prepared_->bitmap);
  prepared_->lent = true;
  return true;
}

void CImgViewerView::ReleaseDisplay() {
  // A lent bitmap goes back, for another layout before the paint.
  if (prepared_ && prepared_->lent && display_) {
    prepared_->bitmap = std::move(*display_);
    prepared_->lent = false;
  }
  if (previewLent_ && preview_ && display_) preview_->display = std::move(*display_);
  previewLent_ = false;
  if (display_) KeepUntilPainted(Released{ImageBuffer(), std::move(display_), nullptr});
  display_.reset();
}

void CImgViewerView::KeepUntilPainted(Released released) {
  // With prefetch turned off memory comes first: freed at once.
  if (ctx_.prefetch == nullptr ||
      PrefetchBudgetBytes(ctx_.settings.ReadNumber("PrefetchMemoryMB")) <= 0)
    return;
  // Without paints (a hidden window) what waits stays below a step's worth of a large photo:
  // the oldest goes first.
  constexpr size_t kMostBytes = size_t{256} << 20;
  const auto bytes = [](const Released& r) {
    return (r.picture.empty() ? 0 : r.picture.byteSize()) +
           (r.display ? r.display->bits.size() : 0) + (r.preview ? r.preview->bytes() : 0);
  };
  size_t total = bytes(released);
  if (total == 0) return;
  for (const Released& r : released_) total += bytes(r);
  released_.push_back(std::move(released));
  while (total > kMostBytes && released_.size() > 1) {
    total -= bytes(released_.front());
    released_.erase(released_.begin());
  }
}

void CImgViewerView::Painted() {
  if (prepared_ && !prepared_->lent)
    KeepUntilPainted(Released{ImageBuffer(), std::move(prepared_->bitmap), nullptr});
  prepared_.reset();
  if (ctx_.trace != nullptr) ctx_.trace->Painted();
  // After the paint has reached the screen.
  if (!released_.empty()) ctx_.ports.post.Post(kCmdFreeReleased, 0);
  // The preview is on screen: the exact picture follows when the worker has it.
  if (preview_) ctx_.ports.post.Post(kCmdExactPicture, 0);
  // Calls given meanwhile wait for the paint after this one.
  std::vector<std::function<void()>> then;
  then.swap(afterPaint_);
  for (std::function<void()>& call : then) call();
}

}  // namespace qp
