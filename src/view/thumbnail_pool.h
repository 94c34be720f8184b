// The worker threads that make and read thumbnails. The user-interface thread hands over the
// whole list of wanted files, most urgent first (the visible cells, then the next screen, then
// the rest of the folder), and replaces it whenever the view moves; the workers always take
// the first file not yet started. Each finished file is put into a result list, and the first
// result after the list was emptied posts one command to the user-interface thread, which
// then takes them all.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "platform/ports.h"
#include "view/thumbnail_cache.h"

namespace qp {

struct ThumbnailJob {
  std::string path;
  // The pixels are wanted now (the cell is on or near the screen); otherwise the thumbnail
  // is only made and stored for later.
  bool wantPixels = false;
};

enum class ThumbnailState : uint8_t {
  Unknown,  // nothing known yet
  OnDisk,   // a current thumbnail is in the cache; its pixels are not held
  Ready,    // the pixels are held
  Plain,    // no thumbnail: a folder, an unreadable file or one no worker can decode
};

struct ThumbnailResult {
  std::string path;
  ThumbnailState state = ThumbnailState::Plain;
  std::optional<ImageBuffer> pixels;
};

class ThumbnailPool {
 public:
  // `threads` 0 means one per processor core.
  ThumbnailPool(const ThumbnailCache& cache, PostPort& post, uint16_t readyCommand,
                unsigned threads = 0);
  ~ThumbnailPool();
  ThumbnailPool(const ThumbnailPool&) = delete;
  ThumbnailPool& operator=(const ThumbnailPool&) = delete;

  // Replaces the wanted files; files being worked on now are not started again.
  void Schedule(std::vector<ThumbnailJob> jobs, ThumbnailSize size);
  // The finished files since the last call.
  std::vector<ThumbnailResult> TakeResults();
  // True when nothing is queued or being worked on.
  bool Idle();
  unsigned threadCount() const { return static_cast<unsigned>(workers_.size()); }

 private:
  void Run();
  ThumbnailResult Work(const ThumbnailJob& job, ThumbnailSize size);

  const ThumbnailCache& cache_;
  PostPort& post_;
  const uint16_t readyCommand_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<ThumbnailJob> queue_;
  std::unordered_set<std::string> inFlight_;
  std::vector<ThumbnailResult> results_;
  ThumbnailSize size_ = ThumbnailSize::Normal;
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace qp
