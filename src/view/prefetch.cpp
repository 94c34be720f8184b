#include "view/prefetch.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <climits>

#include "codecs/orientation.h"
#include "codecs/picture_size.h"
#include "codecs/scaled_decode.h"
#include "codecs/sniff.h"
#include "core/debug.h"
#include "core/file_io.h"
#include "ops/display_scale.h"
#include "ops/resample.h"

namespace qp {

namespace {

int64_t MillisecondsSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t)
      .count();
}

// A display bitmap made for another plan than `plan`: made again before the picture is shown.
// At a fixed zoom the area and the scroll position do not change the bitmap.
bool NeedsRedisplay(const PrefetchedPicture& p, const DisplayPlan& plan) {
  if (!p.display) return p.displayGiven;
  const DisplayPlan& made = p.displayPlan;
  if (made.zoom > 0 && made.zoom == plan.zoom)
    return made.autoOrient != plan.autoOrient || made.manageColour != plan.manageColour ||
           made.screen != plan.screen;
  return !SamePlan(made, plan);
}

// The work on a wish is done when it is met or its file declined.
bool Met(const PrefetchWish& w, const PrefetchedPicture* ready) {
  if (ready == nullptr) return false;
  return w.preview || !ready->preview;
}

}  // namespace

bool SamePlan(const DisplayPlan& a, const DisplayPlan& b) {
  return a.zoom == b.zoom && a.fullScreen == b.fullScreen && a.areaWidth == b.areaWidth &&
         a.areaHeight == b.areaHeight && a.factors.width == b.factors.width &&
         a.factors.height == b.factors.height && a.autoOrient == b.autoOrient &&
         a.manageColour == b.manageColour && a.screen == b.screen &&
         // The scroll position tells the part on screen at original size only.
         (a.zoom != 1.0f || (a.scrollX == b.scrollX && a.scrollY == b.scrollY));
}

ColourProfilePtr ScreenProfileOf(const std::vector<uint8_t>& icc) {
  ColourProfilePtr p = icc.empty() ? nullptr : ColourProfile::FromIcc(icc);
  // A grey screen profile cannot show colour: the screen counts as sRGB.
  if (p && p->grey()) p.reset();
  return p;
}

namespace {

// The part of a picture of w x h that a layout at original size shows: the plan's area from
// its scroll position, which the view keeps within the picture.
OrientedRect VisiblePart(const DisplayPlan& plan, int32_t w, int32_t h) {
  OrientedRect r;
  r.left = std::clamp(plan.scrollX, 0, std::max(0, w - plan.areaWidth));
  r.top = std::clamp(plan.scrollY, 0, std::max(0, h - plan.areaHeight));
  r.right = std::min(w, r.left + plan.areaWidth);
  r.bottom = std::min(h, r.top + plan.areaHeight);
  return r;
}

// The part on screen of an upright picture of w x h, when decoding it alone pays.
std::optional<OrientedRect> PartWorthDecoding(const DisplayPlan& plan, int32_t w, int32_t h) {
  if (plan.areaWidth <= 0 || plan.areaHeight <= 0) return std::nullopt;
  const OrientedRect r = VisiblePart(plan, w, h);
  // With more than half of the picture on screen the whole decode is hardly slower.
  if (int64_t{r.right - r.left} * (r.bottom - r.top) * 2 > int64_t{w} * h) return std::nullopt;
  return r;
}

bool SameScreen(const ColourProfilePtr& a, const ColourProfilePtr& b) {
  return a == b || (a && b && a->id() == b->id());
}

// The preview `out` completed with its bitmap, in the screen's colours, and what the decode
// learnt; nothing when the file was written to while it was read (the exact picture tells).
std::optional<PreviewPicture> FinishPreview(PreviewPicture out, DisplayBitmap display,
                                            const ScaledPicture& decoded, const FileStamp& before,
                                            const std::string& path, const DisplayPlan& plan) {
  if (plan.manageColour) ToScreenColours(display, decoded.details.colour.get(), plan.screen.get());
  if (StampOf(path) != before) return std::nullopt;
  out.display = std::move(display);
  out.fullWidth = decoded.fullWidth;
  out.fullHeight = decoded.fullHeight;
  out.details = decoded.details;
  out.stamp = before;
  out.plan = plan;
  return out;
}

// At original size only the part of the picture on screen is decoded first.
std::optional<PreviewPicture> DecodeVisiblePart(const std::string& path, const DisplayPlan& plan) {
  const std::optional<FileStamp> before = StampOf(path);
  if (!before) return std::nullopt;
  const RegionTarget visible = [&plan](int32_t w, int32_t h) {
    return PartWorthDecoding(plan, w, h);
  };
  PreviewPicture out;
  std::optional<ScaledPicture> part =
      LoadFileRegionOffUiThread(path, visible, out.sniffCode, out.fileSize, plan.autoOrient);
  if (!part) return std::nullopt;
  const ImageBuffer& pixels = part->picture;
  std::optional<DisplayBitmap> display =
      MakeDisplayBitmap(pixels.data(), pixels.width(), pixels.height());
  if (!display) return std::nullopt;
  out.region = part->region;
  out.partial = true;
  out.zoom = 1.0f;
  return FinishPreview(std::move(out), std::move(*display), *part, *before, path, plan);
}

}  // namespace

bool PreviewServes(const PreviewPicture& preview, const DisplayPlan& plan) {
  if (SamePlan(preview.plan, plan)) return true;
  if (!preview.partial) return false;
  const DisplayPlan& made = preview.plan;
  if (plan.zoom != 1.0f || made.autoOrient != plan.autoOrient ||
      made.manageColour != plan.manageColour ||
      (plan.manageColour && !SameScreen(made.screen, plan.screen)))
    return false;
  const OrientedRect need = VisiblePart(plan, preview.fullWidth, preview.fullHeight);
  const OrientedRect& have = preview.region;
  return need.left >= have.left && need.top >= have.top && need.right <= have.right &&
         need.bottom <= have.bottom;
}

bool VisiblePartComesFirst(const std::string& path, const DisplayPlan& plan) {
  if (plan.zoom != 1.0f) return false;
  std::array<uint8_t, 3> magic{};
  const UniqueFile f = OpenRegularFile(path);
  if (!f || !ReadFileAt(f.get(), 0, magic.data(), magic.size()) || magic[0] != 0xFF ||
      magic[1] != 0xD8 || magic[2] != 0xFF)
    return false;  // only JPEGs decode a part alone
  const std::optional<PictureSize> size = ReadPictureSize(path);
  if (!size || size->width > INT32_MAX || size->height > INT32_MAX) return false;
  auto w = static_cast<int32_t>(size->width), h = static_cast<int32_t>(size->height);
  if (plan.autoOrient && ReadFileOrientation(path) >= 5) std::swap(w, h);
  return PartWorthDecoding(plan, w, h).has_value();
}

std::optional<PreviewPicture> DecodePreview(const std::string& path, const DisplayPlan& plan) {
  if (plan.zoom == 1.0f) return DecodeVisiblePart(path, plan);
  // Larger than original size the full picture is needed at once.
  if (plan.zoom >= 0.999f) return std::nullopt;
  const std::optional<FileStamp> before = StampOf(path);
  if (!before) return std::nullopt;
  float zoom = 0.0f;
  Size target;
  bool worth = false;
  const ScaledTarget wanted = [&](int32_t w, int32_t h) -> std::pair<int32_t, int32_t> {
    zoom = plan.zoom;
    if (zoom < 0)
      zoom = FitZoom(zoom, w, h, plan.fullScreen, plan.areaWidth, plan.areaHeight, plan.factors);
    // A decode at more than half the size saves too little to be worth a second paint.
    worth = zoom > 0 && zoom <= 0.5f;
    if (!worth) return {0, 0};
    target = ScaledSize(w, h, zoom);
    return {target.width, target.height};
  };
  PreviewPicture out;
  std::optional<ScaledPicture> scaled =
      LoadFileScaledOffUiThread(path, wanted, out.sniffCode, out.fileSize, plan.autoOrient);
  if (!scaled || !worth || target.width <= 0 || target.height <= 0) return std::nullopt;
  const ImageBuffer& small = scaled->picture;
  std::optional<DisplayBitmap> display;
  if (small.width() == target.width && small.height() == target.height) {
    display = MakeDisplayBitmap(small.data(), small.width(), small.height());
  } else {
    std::optional<ImageBuffer> fitted =
        DisplayScale(small.data(), small.width(), small.height(), target.width, target.height);
    if (fitted) display = MakeDisplayBitmap(fitted->data(), fitted->width(), fitted->height());
  }
  if (!display) return std::nullopt;
  out.region = OrientedRect{0, 0, display->scaledWidth, display->height};
  out.zoom = zoom;
  return FinishPreview(std::move(out), std::move(*display), *scaled, *before, path, plan);
}

std::optional<FileStamp> StampOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  FileStamp s;
  s.size = static_cast<int64_t>(st.st_size);
  s.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  s.inode = static_cast<uint64_t>(st.st_ino);
  s.device = static_cast<uint64_t>(st.st_dev);
  return s;
}

size_t PrefetchedPicture::bytes() const {
  const ImageBuffer* owned = load.picture.owned();
  return (owned != nullptr ? owned->byteSize() : 0) + (spare ? spare->byteSize() : 0) +
         (display ? display->bits.size() : 0) + (preview ? preview->bytes() : 0);
}

std::optional<DisplayBitmap> PlannedDisplay(const ImageBuffer& picture, const DisplayPlan& plan,
                                            float& zoom, const ColourProfile* colour) {
  const int32_t w = picture.width(), h = picture.height();
  zoom = plan.zoom;
  if (zoom < 0)
    zoom = FitZoom(zoom, w, h, plan.fullScreen, plan.areaWidth, plan.areaHeight, plan.factors);
  std::optional<ImageBuffer> scaled;
  if (NeedsScaling(zoom)) {
    const Size t = ScaledSize(w, h, zoom);
    if (t.width > 0 && t.height > 0)
      scaled = zoom < 2 ? DisplayScale(picture.data(), w, h, t.width, t.height)
                        : ResizeNearest(picture, t.width, t.height);
  }
  // Without a scaled copy the layout shows the picture unscaled.
  auto display = scaled ? MakeDisplayBitmap(scaled->data(), scaled->width(), scaled->height())
                        : MakeDisplayBitmap(picture.data(), w, h);
  if (display && plan.manageColour) ToScreenColours(*display, colour, plan.screen.get());
  return display;
}

PrefetchLoader::PrefetchLoader(ViewerState::MetadataReader reader) : reader_(std::move(reader)) {}

PrefetchLoader::~PrefetchLoader() {
  {
    std::lock_guard guard(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (worker_.joinable()) worker_.join();
}

bool PrefetchLoader::IsWanted(const std::string& path) const {
  return std::any_of(wanted_.begin(), wanted_.end(),
                     [&](const PrefetchWish& w) { return w.path == path; });
}

bool PrefetchLoader::IsWantedExact(const std::string& path) const {
  return std::any_of(wanted_.begin(), wanted_.end(),
                     [&](const PrefetchWish& w) { return w.path == path && !w.preview; });
}

bool PrefetchLoader::IsDeclined(const std::string& path) const {
  return std::find(declined_.begin(), declined_.end(), path) != declined_.end();
}

int64_t PrefetchLoader::ReadyBytes() const {
  int64_t sum = 0;
  for (const PrefetchedPicture& p : ready_) sum += static_cast<int64_t>(p.bytes());
  return sum;
}

void PrefetchLoader::Want(std::vector<std::string> paths, int64_t budgetBytes,
                          const DisplayPlan& plan, std::string keep) {
  std::vector<PrefetchWish> wishes;
  for (std::string& p : paths) wishes.push_back(PrefetchWish{std::move(p), false});
  Want(std::move(wishes), budgetBytes, plan, std::move(keep));
}

void PrefetchLoader::OnExactSettled(std::function<void()> callback) {
  // Waits for a call in progress, so the callback's target may go once this returns.
  std::lock_guard guard(callbackMutex_);
  exactSettled_ = std::move(callback);
}

void PrefetchLoader::Want(std::vector<PrefetchWish> wishes, int64_t budgetBytes,
                          const DisplayPlan& plan, std::string keep) {
  std::vector<PrefetchedPicture> released;  // freed after the lock is let go
  {
    std::lock_guard guard(mutex_);
    // Files declined for want of room are tried again under a new budget.
    if (std::max<int64_t>(budgetBytes, 0) != budget_) declined_.clear();
    budget_ = std::max<int64_t>(budgetBytes, 0);
    if (!SamePlan(plan_, plan)) noPreview_.clear();
    plan_ = plan;
    wanted_.clear();
    if (budget_ > 0) {
      for (PrefetchWish& w : wishes) {
        const bool twice = std::any_of(wanted_.begin(), wanted_.end(), [&](const PrefetchWish& o) {
          return o.path == w.path && o.preview == w.preview;
        });
        if (!w.path.empty() && !twice) wanted_.push_back(std::move(w));
      }
    }
    keep_ = budget_ > 0 ? std::move(keep) : std::string();
    // Pictures of files no longer wanted go, and previews made for another layout; when the
    // budget shrank, the least wanted go too (the kept one first).
    std::erase_if(ready_, [&](PrefetchedPicture& r) {
      if (!r.preview || SamePlan(r.preview->plan, plan_)) return false;
      released.push_back(std::move(r));
      return true;
    });
    std::vector<PrefetchedPicture> kept;
    std::vector<std::string> order;
    for (const PrefetchWish& w : wanted_)
      if (std::find(order.begin(), order.end(), w.path) == order.end()) order.push_back(w.path);
    if (!keep_.empty() && !IsWanted(keep_)) order.push_back(keep_);
    for (const std::string& p : order) {
      auto it = std::find_if(ready_.begin(), ready_.end(),
                             [&](const PrefetchedPicture& r) { return r.path == p; });
      if (it == ready_.end()) continue;
      kept.push_back(std::move(*it));
      ready_.erase(it);
    }
    for (PrefetchedPicture& r : ready_) released.push_back(std::move(r));
    ready_ = std::move(kept);
    while (!ready_.empty() && ReadyBytes() > budget_) {
      released.push_back(std::move(ready_.back()));
      ready_.pop_back();
    }
    counters_.dropped += static_cast<int32_t>(released.size());
    // Giving back large blocks takes time; the worker does it rather than the caller.
    if (worker_.joinable()) {
      for (PrefetchedPicture& r : released) trash_.push_back(std::move(r));
      released.clear();
    }
    std::erase_if(declined_, [&](const std::string& p) { return !IsWantedExact(p); });
    CancelStaleDecode();
    if (!wanted_.empty() && !worker_.joinable()) worker_ = std::thread([this] { Run(); });
  }
  wake_.notify_all();
}

std::optional<PrefetchedPicture> PrefetchLoader::Take(const std::string& path) {
  std::optional<PrefetchedPicture> found;
  {
    std::unique_lock lock(mutex_);
    const auto asked = std::chrono::steady_clock::now();
    done_.wait(lock, [&] { return inFlight_ != path || inFlightPreview_; });
    auto it = FindReady(path);
    const bool exact = it != ready_.end() && !it->preview;
    DebugLog("prefetch: take %s, waited %lld ms, %s", path.c_str(),
             static_cast<long long>(MillisecondsSince(asked)), exact ? "ready" : "not ready");
    // Shown now, by this picture or by the caller's own load; what stays of it is kept.
    std::erase_if(wanted_, [&](const PrefetchWish& w) { return w.path == path; });
    keep_ = path;
    if (!exact) return std::nullopt;
    if (it->spare) {
      // The copy goes; the picture stays, ready behind once the user steps on.
      found = PrefetchedPicture{};
      found->path = it->path;
      found->load.picture = DecodeResult(std::move(*it->spare)).with(it->load.picture.details);
      found->load.sniffCode = it->load.sniffCode;
      found->load.fileSize = it->load.fileSize;
      found->jpegMetadata = it->jpegMetadata;
      found->exif = it->exif;
      found->stamp = it->stamp;
      found->autoOrient = it->autoOrient;
      // The bitmap goes along, not a copy of it: at original size it is as large as the
      // picture. It is made again if the picture is wanted again.
      found->display = std::move(it->display);
      found->displayZoom = it->displayZoom;
      it->display.reset();
      it->displayGiven = found->display.has_value();
      it->spare.reset();
    } else {
      found = std::move(*it);
      ready_.erase(it);
    }
  }
  // A file rewritten or replaced since it was decoded is read again by the caller.
  if (StampOf(path) != found->stamp) {
    Forget(path);
    std::lock_guard guard(mutex_);
    ++counters_.changed;
    return std::nullopt;
  }
  std::lock_guard guard(mutex_);
  ++counters_.adopted;
  return found;
}

bool PrefetchLoader::ExactReady(const std::string& path) const {
  std::lock_guard guard(mutex_);
  // Out of the list meanwhile; Take waits for it.
  if (inFlight_ == path && inFlightDecoded_) return true;
  const auto it = std::find_if(ready_.begin(), ready_.end(),
                               [&](const PrefetchedPicture& r) { return r.path == path; });
  return it != ready_.end() && !it->preview;
}

bool PrefetchLoader::ExactPending(const std::string& path) const {
  std::lock_guard guard(mutex_);
  if (inFlight_ == path && !inFlightPreview_) return true;
  if (!IsWantedExact(path) || IsDeclined(path)) return false;
  const auto it = std::find_if(ready_.begin(), ready_.end(),
                               [&](const PrefetchedPicture& r) { return r.path == path; });
  if (it != ready_.end() && !it->preview) return false;
  return ReadyBytes() < budget_;
}

std::optional<PreviewPicture> PrefetchLoader::TakePreview(const std::string& path,
                                                          const DisplayPlan& plan) {
  std::unique_lock lock(mutex_);
  done_.wait(lock, [&] { return inFlight_ != path || !inFlightPreview_; });
  auto it = FindReady(path);
  if (it == ready_.end() || !it->preview || it->preview->display.bits.empty() ||
      !PreviewServes(*it->preview, plan))
    return std::nullopt;
  // The picture on show is handed over without a copy; its entry stays, emptied, so that the
  // wish for its preview counts as met until its exact picture replaces it.
  if (path != keep_) return *it->preview;
  DisplayBitmap pixels = std::move(it->preview->display);
  PreviewPicture out = *it->preview;
  out.display = std::move(pixels);
  return out;
}

void PrefetchLoader::Replan(const DisplayPlan& plan) {
  {
    std::lock_guard guard(mutex_);
    // A file without a preview under the old layout may have one under the new.
    if (!SamePlan(plan_, plan)) noPreview_.clear();
    plan_ = plan;
  }
  wake_.notify_all();
}

void PrefetchLoader::Forget(const std::string& path) {
  std::optional<PrefetchedPicture> released;
  std::lock_guard guard(mutex_);
  std::erase_if(wanted_, [&](const PrefetchWish& w) { return w.path == path; });
  if (keep_ == path) keep_.clear();
  auto it = FindReady(path);
  if (it != ready_.end()) {
    released = std::move(*it);
    ready_.erase(it);
    ++counters_.dropped;
  }
}

std::optional<PrefetchLoader::Work> PrefetchLoader::NextWork() const {
  // In the order of the wish: a file neither ready nor declined is decoded (its preview, for a
  // preview wish); the most wanted exact picture also gets a copy to hand out, so that it
  // stays ready after it was shown.
  bool firstExact = true;
  for (const PrefetchWish& w : wanted_) {
    const std::string& p = w.path;
    if (!w.preview && IsDeclined(p)) continue;
    auto it = std::find_if(ready_.begin(), ready_.end(),
                           [&](const PrefetchedPicture& r) { return r.path == p; });
    const PrefetchedPicture* ready = it == ready_.end() ? nullptr : &*it;
    if (w.preview) {
      if (Met(w, ready) || std::find(noPreview_.begin(), noPreview_.end(), p) != noPreview_.end())
        continue;
      if (ReadyBytes() >= budget_) return std::nullopt;
      return Work{p, false, false, true};
    }
    if (!Met(w, ready)) {
      // A decode starts only while the budget has room left.
      if (ReadyBytes() >= budget_) return std::nullopt;
      return Work{p, false};
    }
    if (NeedsRedisplay(*ready, plan_)) return Work{p, false, true};
    // Not for the picture on show, which the view takes as it is.
    if (p == keep_) continue;
    if (firstExact && !ready->spare && !ready->spareRefused) return Work{p, true};
    firstExact = false;
  }
  return std::nullopt;
}

void PrefetchLoader::StopDecodeUnlessFor(const std::string& path) {
  std::lock_guard guard(mutex_);
  if (inFlight_ && !inFlightPreview_ && *inFlight_ != path) cancel_ = true;
}

void PrefetchLoader::CancelStaleDecode() {
  // The picture on show is wanted soon whatever comes first: its decode goes on.
  if (!inFlight_ || inFlightPreview_ || *inFlight_ == keep_) return;
  const std::optional<Work> next = NextWork();
  if (!next || next->path != *inFlight_ || next->preview) cancel_ = true;
}

std::vector<PrefetchedPicture>::iterator PrefetchLoader::FindReady(const std::string& path) {
  return std::find_if(ready_.begin(), ready_.end(),
                      [&](const PrefetchedPicture& r) { return r.path == path; });
}

void PrefetchLoader::WaitIdle() {
  std::unique_lock lock(mutex_);
  done_.wait(lock, [&] { return !inFlight_ && (!worker_.joinable() || !NextWork()); });
}

PrefetchLoader::Counters PrefetchLoader::counters() const {
  std::lock_guard guard(mutex_);
  return counters_;
}

bool PrefetchLoader::workerStarted() const {
  std::lock_guard guard(mutex_);
  return worker_.joinable();
}

std::optional<PrefetchedPicture> PrefetchLoader::DecodeOne(const std::string& path,
                                                           const DisplayPlan& plan) const {
  const std::optional<FileStamp> before = StampOf(path);
  if (!before) return std::nullopt;
  std::optional<DisplayLoad> load = LoadFileOffUiThread(path, plan.autoOrient, &cancel_);
  if (!load) return std::nullopt;
  PrefetchedPicture p;
  p.path = path;
  p.autoOrient = plan.autoOrient;
  p.load = std::move(*load);
  p.stamp = *before;
  // The load reads the metadata of a file whose content is JPEG, whatever its name.
  if (p.load.sniffCode == kSniffJpeg || p.load.sniffCode == -kSniffJpeg) {
    p.jpegMetadata = true;
    if (reader_) reader_(path, p.exif);
  }
  // Asked to stop once the picture was decoded: it is kept, and its display bitmap, the
  // scaling of many megabytes, is made when the picture is wanted again.
  if (cancel_.load(std::memory_order_relaxed)) {
    p.displayGiven = !p.load.picture.details.vectorSource;
  } else if (!p.load.picture.details.vectorSource) {
    // A vector picture is drawn again at the zoom by the layout; every other one is scaled.
    if (const ImageBuffer* owned = p.load.picture.owned())
      p.display = PlannedDisplay(*owned, plan, p.displayZoom, p.load.picture.details.colour.get());
    p.displayPlan = plan;
  }
  // Written to while it was read: what was decoded may mix two versions.
  if (StampOf(path) != before) return std::nullopt;
  return p;
}

void PrefetchLoader::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (!trash_.empty()) {
      std::vector<PrefetchedPicture> release = std::move(trash_);
      trash_.clear();
      lock.unlock();
      release.clear();
      lock.lock();
      continue;
    }
    const std::optional<Work> work = NextWork();
    if (stop_) return;
    if (!work) {
      done_.notify_all();
      wake_.wait(lock);
      continue;
    }
    inFlight_ = work->path;
    inFlightPreview_ = work->preview;
    inFlightDecoded_ = work->copy || work->redisplay;
    const auto started = std::chrono::steady_clock::now();
    std::optional<PrefetchedPicture> picture;
    if (work->preview) {
      const DisplayPlan plan = plan_;
      lock.unlock();
      std::optional<PreviewPicture> preview = DecodePreview(work->path, plan);
      lock.lock();
      inFlight_.reset();
      inFlightPreview_ = false;
      DebugLog("prefetch: preview of %s %s in %lld ms", work->path.c_str(),
               preview ? "made" : "not made", static_cast<long long>(MillisecondsSince(started)));
      // Still wished, not met meanwhile, and for the layout now planned.
      if (!preview || !SamePlan(preview->plan, plan_)) {
        if (!preview && SamePlan(plan, plan_)) noPreview_.push_back(work->path);
      } else if (IsWanted(work->path) && FindReady(work->path) == ready_.end() &&
                 ReadyBytes() + static_cast<int64_t>(preview->bytes()) <= budget_) {
        PrefetchedPicture entry;
        entry.path = work->path;
        entry.stamp = preview->stamp;
        entry.preview = std::move(preview);
        ready_.push_back(std::move(entry));
        ++counters_.previews;
      }
      done_.notify_all();
      continue;
    }
    if (work->redisplay) {
      // Out of the list while its bitmap is made, as for a copy.
      auto it = FindReady(work->path);
      picture = std::move(*it);
      ready_.erase(it);
      const DisplayPlan plan = plan_;
      lock.unlock();
      if (const ImageBuffer* owned = picture->load.picture.owned()) {
        picture->display = PlannedDisplay(*owned, plan, picture->displayZoom,
                                          picture->load.picture.details.colour.get());
        picture->displayPlan = plan;
      } else {
        picture->display.reset();
      }
      picture->displayGiven = false;
      lock.lock();
    } else if (work->copy) {
      // Out of the list while it is copied, so that no wish can free it meanwhile.
      auto it = FindReady(work->path);
      picture = std::move(*it);
      ready_.erase(it);
      const int64_t room = budget_ - ReadyBytes() - static_cast<int64_t>(picture->bytes());
      const ImageBuffer* owned = picture->load.picture.owned();
      if (owned == nullptr || static_cast<int64_t>(owned->byteSize()) > room) {
        picture->spareRefused = true;
      } else {
        lock.unlock();
        picture->spare = owned->Clone();
        if (!picture->spare) picture->spareRefused = true;
        lock.lock();
      }
    } else {
      const DisplayPlan plan = plan_;
      cancel_ = false;
      lock.unlock();
      picture = DecodeOne(work->path, plan);
      lock.lock();
      if (picture) ++counters_.decoded;
      const bool stopped = cancel_ && !picture;
      cancel_ = false;
      if (stopped) {
        // Stopped for more urgent work: decoded again when its turn comes.
        ++counters_.cancelled;
        inFlight_.reset();
        DebugLog("prefetch: decode of %s stopped after %lld ms", work->path.c_str(),
                 static_cast<long long>(MillisecondsSince(started)));
        done_.notify_all();
        continue;
      }
    }
    inFlight_.reset();
    DebugLog("prefetch: %s %s in %lld ms",
             work->redisplay ? "redisplayed"
             : work->copy    ? "copied"
                             : "decoded",
             work->path.c_str(), static_cast<long long>(MillisecondsSince(started)));
    const bool decode = !work->redisplay && !work->copy;
    // The exact picture replaces the preview of its file, when it is taken.
    auto preview = FindReady(work->path);
    if (!decode || preview == ready_.end() || !preview->preview) preview = ready_.end();
    const int64_t others =
        ReadyBytes() - (preview != ready_.end() ? static_cast<int64_t>(preview->bytes()) : 0);
    if (!IsWanted(work->path)) {
      // Stepped past, or taken by the UI thread's own load meanwhile.
      if (picture) ++counters_.dropped;
    } else if (!picture || others + static_cast<int64_t>(picture->bytes()) > budget_) {
      ++counters_.declined;
      declined_.push_back(work->path);
    } else {
      if (preview != ready_.end()) {
        trash_.push_back(std::move(*preview));
        ready_.erase(preview);
      }
      ready_.push_back(std::move(*picture));
      picture.reset();
    }
    done_.notify_all();
    if (decode) {
      lock.unlock();
      {
        std::lock_guard callback(callbackMutex_);
        if (exactSettled_) exactSettled_();
      }
      lock.lock();
    }
    if (picture) {
      // A large picture is freed without holding up the UI thread's Take.
      lock.unlock();
      picture.reset();
      lock.lock();
    }
  }
}

}  // namespace qp
