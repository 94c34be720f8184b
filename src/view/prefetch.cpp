#include "view/prefetch.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>

#include "codecs/sniff.h"
#include "core/debug.h"
#include "ops/display_scale.h"
#include "ops/resample.h"

namespace qp {

namespace {

int64_t MillisecondsSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t)
      .count();
}

bool SamePlan(const DisplayPlan& a, const DisplayPlan& b) {
  return a.zoom == b.zoom && a.fullScreen == b.fullScreen && a.areaWidth == b.areaWidth &&
         a.areaHeight == b.areaHeight && a.factors.width == b.factors.width &&
         a.factors.height == b.factors.height;
}

// A display bitmap made for another plan than `plan`: made again before the picture is shown.
bool NeedsRedisplay(const PrefetchedPicture& p, const DisplayPlan& plan) {
  return p.display && !SamePlan(p.displayPlan, plan);
}

}  // namespace

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
         (display ? display->bits.size() : 0);
}

std::optional<DisplayBitmap> PlannedDisplay(const ImageBuffer& picture, const DisplayPlan& plan,
                                            float& zoom) {
  const int32_t w = picture.width(), h = picture.height();
  zoom = plan.zoom;
  if (zoom < 0) zoom = FitZoom(zoom, w, h, plan.fullScreen, plan.areaWidth, plan.areaHeight, plan.factors);
  std::optional<ImageBuffer> scaled;
  if (NeedsScaling(zoom)) {
    const Size t = ScaledSize(w, h, zoom);
    if (t.width > 0 && t.height > 0)
      scaled = zoom < 2 ? DisplayScale(picture.data(), w, h, t.width, t.height)
                        : ResizeNearest(picture, t.width, t.height);
  }
  // Without a scaled copy the layout shows the picture unscaled.
  return scaled ? MakeDisplayBitmap(scaled->data(), scaled->width(), scaled->height())
                : MakeDisplayBitmap(picture.data(), w, h);
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
  return std::find(wanted_.begin(), wanted_.end(), path) != wanted_.end();
}

int64_t PrefetchLoader::ReadyBytes() const {
  int64_t sum = 0;
  for (const PrefetchedPicture& p : ready_) sum += static_cast<int64_t>(p.bytes());
  return sum;
}

void PrefetchLoader::Want(std::vector<std::string> paths, int64_t budgetBytes,
                          const DisplayPlan& plan, std::string keep) {
  std::vector<PrefetchedPicture> released;  // freed after the lock is let go
  {
    std::lock_guard guard(mutex_);
    budget_ = std::max<int64_t>(budgetBytes, 0);
    plan_ = plan;
    wanted_.clear();
    if (budget_ > 0) {
      for (std::string& p : paths)
        if (!p.empty() && !IsWanted(p)) wanted_.push_back(std::move(p));
    }
    keep_ = budget_ > 0 ? std::move(keep) : std::string();
    // Pictures of files no longer wanted go; when the budget shrank, the least wanted go too
    // (the kept one first).
    std::vector<PrefetchedPicture> kept;
    std::vector<std::string> order = wanted_;
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
    std::erase_if(declined_, [&](const std::string& p) { return !IsWanted(p); });
    if (!wanted_.empty() && !worker_.joinable()) worker_ = std::thread([this] { Run(); });
  }
  wake_.notify_all();
}

std::optional<PrefetchedPicture> PrefetchLoader::Take(const std::string& path) {
  std::optional<PrefetchedPicture> found;
  {
    std::unique_lock lock(mutex_);
    const auto asked = std::chrono::steady_clock::now();
    done_.wait(lock, [&] { return inFlight_ != path; });
    DebugLog("prefetch: take %s, waited %lld ms, %s", path.c_str(),
             static_cast<long long>(MillisecondsSince(asked)),
             FindReady(path) == ready_.end() ? "not ready" : "ready");
    // Shown now, by this picture or by the caller's own load; what stays of it is kept.
    std::erase(wanted_, path);
    keep_ = path;
    auto it = FindReady(path);
    if (it == ready_.end()) return std::nullopt;
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
      found->display = it->display;
      found->displayZoom = it->displayZoom;
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

void PrefetchLoader::Replan(const DisplayPlan& plan) {
  {
    std::lock_guard guard(mutex_);
    plan_ = plan;
  }
  wake_.notify_all();
}

void PrefetchLoader::Forget(const std::string& path) {
  std::optional<PrefetchedPicture> released;
  std::lock_guard guard(mutex_);
  std::erase(wanted_, path);
  if (keep_ == path) keep_.clear();
  auto it = FindReady(path);
  if (it != ready_.end()) {
    released = std::move(*it);
    ready_.erase(it);
    ++counters_.dropped;
  }
}

std::optional<PrefetchLoader::Work> PrefetchLoader::NextWork() const {
  // In the order of the wish: a file neither ready nor declined is decoded; the most wanted
  // one also gets a copy to hand out, so that it stays ready after it was shown.
  for (size_t i = 0; i < wanted_.size(); ++i) {
    const std::string& p = wanted_[i];
    if (std::find(declined_.begin(), declined_.end(), p) != declined_.end()) continue;
    auto it = std::find_if(ready_.begin(), ready_.end(),
                           [&](const PrefetchedPicture& r) { return r.path == p; });
    if (it == ready_.end()) {
      // A decode starts only while the budget has room left.
      if (ReadyBytes() >= budget_) return std::nullopt;
      return Work{p, false};
    }
    if (NeedsRedisplay(*it, plan_)) return Work{p, false, true};
    if (i == 0 && !it->spare && !it->spareRefused) return Work{p, true};
  }
  return std::nullopt;
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
  std::optional<DisplayLoad> load = LoadFileOffUiThread(path);
  if (!load) return std::nullopt;
  PrefetchedPicture p;
  p.path = path;
  p.load = std::move(*load);
  p.stamp = *before;
  // The load reads the metadata of a file whose content is JPEG, whatever its name.
  if (p.load.sniffCode == kSniffJpeg || p.load.sniffCode == -kSniffJpeg) {
    p.jpegMetadata = true;
    if (reader_) reader_(path, p.exif);
  }
  // A vector picture is drawn again at the zoom by the layout; every other one is scaled.
  if (!p.load.picture.details.vectorSource) {
    if (const ImageBuffer* owned = p.load.picture.owned())
      p.display = PlannedDisplay(*owned, plan, p.displayZoom);
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
    const auto started = std::chrono::steady_clock::now();
    std::optional<PrefetchedPicture> picture;
    if (work->redisplay) {
      // Out of the list while its bitmap is made, as for a copy.
      auto it = FindReady(work->path);
      picture = std::move(*it);
      ready_.erase(it);
      const DisplayPlan plan = plan_;
      lock.unlock();
      if (const ImageBuffer* owned = picture->load.picture.owned()) {
        picture->display = PlannedDisplay(*owned, plan, picture->displayZoom);
        picture->displayPlan = plan;
      } else {
        picture->display.reset();
      }
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
      lock.unlock();
      picture = DecodeOne(work->path, plan);
      lock.lock();
      if (picture) ++counters_.decoded;
    }
    inFlight_.reset();
    DebugLog("prefetch: %s %s in %lld ms",
             work->redisplay ? "redisplayed" : work->copy ? "copied" : "decoded", work->path.c_str(),
             static_cast<long long>(MillisecondsSince(started)));
    if (!IsWanted(work->path)) {
      // Stepped past, or taken by the UI thread's own load meanwhile.
      if (picture) ++counters_.dropped;
    } else if (!picture || ReadyBytes() + static_cast<int64_t>(picture->bytes()) > budget_) {
      ++counters_.declined;
      declined_.push_back(work->path);
    } else {
      ready_.push_back(std::move(*picture));
      picture.reset();
    }
    done_.notify_all();
    if (picture) {
      // A large picture is freed without holding up the UI thread's Take.
      lock.unlock();
      picture.reset();
      lock.lock();
    }
  }
}

}  // namespace qp
