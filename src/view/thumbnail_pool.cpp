#include "view/thumbnail_pool.h"

#include "view/thumbnail_maker.h"

namespace qp {

ThumbnailPool::ThumbnailPool(const ThumbnailCache& cache, PostPort& post, uint16_t readyCommand,
                             unsigned threads)
    : cache_(cache), post_(post), readyCommand_(readyCommand) {
  if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
  for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { Run(); });
}

ThumbnailPool::~ThumbnailPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    queue_.clear();
  }
  wake_.notify_all();
  for (std::thread& t : workers_) t.join();
}

void ThumbnailPool::Schedule(std::vector<ThumbnailJob> jobs, ThumbnailSize size) {
  {
    std::lock_guard lock(mutex_);
    queue_.clear();
    size_ = size;
    for (ThumbnailJob& j : jobs)
      if (!inFlight_.contains(j.path)) queue_.push_back(std::move(j));
  }
  wake_.notify_all();
}

std::vector<ThumbnailResult> ThumbnailPool::TakeResults() {
  std::lock_guard lock(mutex_);
  return std::exchange(results_, {});
}

bool ThumbnailPool::Idle() {
  std::lock_guard lock(mutex_);
  return queue_.empty() && inFlight_.empty();
}

void ThumbnailPool::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    ThumbnailJob job = std::move(queue_.front());
    queue_.pop_front();
    const ThumbnailSize size = size_;
    inFlight_.insert(job.path);
    lock.unlock();
    ThumbnailResult result = Work(job, size);
    lock.lock();
    inFlight_.erase(job.path);
    const bool first = results_.empty();
    results_.push_back(std::move(result));
    if (first && !stopping_) {
      // Posting takes the window's queue lock only; our own lock is not held meanwhile.
      lock.unlock();
      post_.Post(readyCommand_, 0);
      lock.lock();
    }
  }
}

ThumbnailResult ThumbnailPool::Work(const ThumbnailJob& job, ThumbnailSize size) {
  ThumbnailResult out;
  out.path = job.path;
  const auto source = DescribeSource(job.path);
  if (!source || source->directory) return out;  // plain
  if (job.wantPixels) {
    if (auto cached = cache_.Load(*source, size)) {
      out.state = ThumbnailState::Ready;
      out.pixels = std::move(*cached);
      return out;
    }
  } else if (cache_.Has(*source, size)) {
    out.state = ThumbnailState::OnDisk;
    return out;
  }
  if (cache_.HasFailure(*source)) return out;
  MadeThumbnail made = MakeThumbnail(job.path, ThumbnailPixels(size));
  switch (made.outcome) {
    case ThumbnailOutcome::Made:
      cache_.Store(*source, size, made.pixels,
                   ThumbnailFacts{made.mime, made.sourceWidth, made.sourceHeight});
      if (job.wantPixels) {
        out.state = ThumbnailState::Ready;
        out.pixels = std::move(made.pixels);
      } else {
        out.state = ThumbnailState::OnDisk;
      }
      return out;
    case ThumbnailOutcome::Unreadable:
      cache_.StoreFailure(*source);
      return out;
    case ThumbnailOutcome::Unsupported:
      return out;
  }
  return out;
}

}  // namespace qp
