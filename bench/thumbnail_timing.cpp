// Timings of the thumbnail grid's engine: the worker pool making new thumbnails, reading
// cached ones, and the first screen of a large folder, with the peak resident memory.
//
//   qp_thumbnail_timing make-mixed DIR N [W H]   N photo-like pictures, PNG and WebP in turn
//   qp_thumbnail_timing make-small DIR N [W H]   N small photo-like JPEGs (default 640 x 480)
//   qp_thumbnail_timing new DIR CACHE [SIZE]     make the thumbnails of every file of DIR
//                                                (SIZE: normal, the default, or large)
//   qp_thumbnail_timing cached DIR CACHE         read them back (pixels wanted)
//   qp_thumbnail_timing screen DIR CACHE [W H]   from the folder scan to a full first screen
//                                                of a W x H grid (default 1920 x 1000), then
//                                                to the last screen (End)
// CACHE is the thumbnails folder. Each line of output is "name value unit".
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "codecs/file_filters.h"
#include "codecs/png.h"
#include "codecs/jpeg.h"
#include "codecs/webp.h"
#include "core/viewer_state.h"
#include "frame/file_list.h"
#include "view/thumbnail_grid.h"
#include "view/thumbnail_pool.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void PrintPeak() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  std::printf("peak_rss %.1f MiB\n", u.ru_maxrss / 1024.0);
}

struct NoPost final : qp::PostPort {
  void Post(uint16_t, intptr_t) override {}
};

// A smooth picture with hills and grain, shifted by `n`, so it compresses like a photo.
qp::ImageBuffer Photo(int w, int h, int n) {
  auto img = qp::ImageBuffer::Allocate(w, h);
  uint32_t grain = 977u + static_cast<uint32_t>(n) * 7919u;
  const double phase = n * 0.7;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double fx = static_cast<double>(x) / w, fy = static_cast<double>(y) / h;
      const double hill = 0.55 + 0.08 * std::sin(fx * 9.0 + phase);
      grain = grain * 1664525u + 1013904223u;
      const int g = static_cast<int>((grain >> 27) & 15) - 8;
      const bool sky = fy < hill;
      const double t = std::sin(fx * 200.0 + fy * 50.0) * 12;
      const int r = sky ? static_cast<int>(90 + 80 * fy) : static_cast<int>(70 + 60 * fx + t);
      const int gr = sky ? static_cast<int>(140 + 60 * fy) : static_cast<int>(120 + 40 * (1 - fy) + t);
      const int b = sky ? static_cast<int>(230 - 40 * fy) : static_cast<int>(40 + 20 * fx);
      uint8_t* px = img->pixel(x, y);
      px[0] = static_cast<uint8_t>(std::clamp(b + g, 0, 255));
      px[1] = static_cast<uint8_t>(std::clamp(gr + g, 0, 255));
      px[2] = static_cast<uint8_t>(std::clamp(r + g, 0, 255));
      px[3] = 255;
    }
  return std::move(*img);
}

std::vector<std::string> FilesOf(qp::ViewerState& state, const std::string& dir) {
  qp::FileList files(state, qp::patternList(nullptr));
  files.loadFolder(dir);
  return files.paths();
}

// Runs the pool over every file until it is idle; the number of results.
size_t RunAll(const qp::ThumbnailCache& cache, const std::vector<std::string>& paths, bool pixels,
              qp::ThumbnailSize size) {
  NoPost post;
  qp::ThumbnailPool pool(cache, post, 4201);
  std::vector<qp::ThumbnailJob> jobs;
  for (const auto& p : paths) jobs.push_back({p, pixels});
  pool.Schedule(std::move(jobs), size);
  size_t done = 0;
  while (done < paths.size()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    done += pool.TakeResults().size();
  }
  return done;
}

int Screen(const std::string& dir, const qp::ThumbnailCache& cache, int w, int h) {
  const auto start = Clock::now();
  qp::ViewerState state;
  const std::vector<std::string> paths = FilesOf(state, dir);
  const double scanned = Seconds(start);
  NoPost post;
  qp::ThumbnailPool pool(cache, post, 4201);
  qp::ThumbnailGrid grid;
  grid.SetViewport(w, h);
  grid.SetFiles(paths, 0);
  // Waits until every visible cell has its thumbnail (or is plain), scheduling as the window
  // does after each batch of results.
  auto fill = [&] {
    pool.Schedule(grid.Jobs(), qp::ThumbnailSize::Normal);
    for (;;) {
      const qp::CellRange v = grid.Visible();
      bool full = true;
      for (int32_t i = v.first; i < v.last && full; ++i)
        full = grid.cell(i).state == qp::ThumbnailState::Ready ||
               grid.cell(i).state == qp::ThumbnailState::Plain;
      if (full) return static_cast<int>(v.last - v.first);
      std::this_thread::sleep_for(std::chrono::microseconds(500));
      for (auto& r : pool.TakeResults()) grid.Accept(std::move(r));
    }
  };
  const int cells = fill();
  std::printf("files %zu\nfolder_scan %.1f ms\nfirst_screen %.1f ms (%d cells)\n", paths.size(),
              scanned * 1000, Seconds(start) * 1000, cells);
  const auto end = Clock::now();
  grid.MoveSelection(qp::ThumbnailGrid::Move::End);
  grid.DropFarPixels();
  fill();
  std::printf("last_screen %.1f ms\nheld_thumbnails %d\n", Seconds(end) * 1000, grid.HeldCount());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> a(argv + 1, argv + argc);
  if ((a.size() == 3 || a.size() == 5) && (a[0] == "make-mixed" || a[0] == "make-small")) {
    const bool mixed = a[0] == "make-mixed";
    const int n = std::stoi(a[2]);
    const int w = a.size() == 5 ? std::stoi(a[3]) : (mixed ? 1600 : 640);
    const int h = a.size() == 5 ? std::stoi(a[4]) : (mixed ? 1200 : 480);
    // Photo-like content is slow to make: a few pictures, shifted per file by a flip of rows.
    std::vector<qp::ImageBuffer> bases;
    for (int i = 0; i < std::min(n, 8); ++i) bases.push_back(Photo(w, h, i));
    for (int i = 0; i < n; ++i) {
      const qp::ImageBuffer& img = bases[static_cast<size_t>(i) % bases.size()];
      char name[64];
      const bool png = mixed && i % 2 == 0;
      std::snprintf(name, sizeof name, "/pic-%05d.%s", i, mixed ? (png ? "png" : "webp") : "jpg");
      const std::string path = a[1] + name;
      const char* err = !mixed ? qp::SaveJpeg(img.data(), w, h, 85, path.c_str())
                        : png  ? qp::SavePng(img.data(), w, h, 6, path.c_str())
                               : qp::EncodeWebP(img.data(), w, h, 80, path.c_str(), false);
      if (err != nullptr) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), err);
        return 1;
      }
    }
    return 0;
  }
  if ((a.size() == 3 || a.size() == 4) && (a[0] == "new" || a[0] == "cached")) {
    const qp::ThumbnailSize size =
        a.size() == 4 && a[3] == "large" ? qp::ThumbnailSize::Large : qp::ThumbnailSize::Normal;
    const qp::ThumbnailCache cache(a[2]);
    qp::ViewerState state;
    const auto paths = FilesOf(state, a[1]);
    const double cpu0 = CpuSeconds();
    const auto start = Clock::now();
    const size_t n = RunAll(cache, paths, a[0] == "cached", size);
    const double s = Seconds(start);
    const double cpu = CpuSeconds() - cpu0;
    std::printf("%s_thumbnails %zu\nseconds %.3f\nper_second %.1f\ncpu_seconds %.2f\n"
                "cpu_ms_each %.1f\nthreads %u\n",
                a[0].c_str(), n, s, n / s, cpu, n > 0 ? cpu * 1000 / n : 0.0,
                std::max(1u, std::thread::hardware_concurrency()));
    PrintPeak();
    return 0;
  }
  if ((a.size() == 3 || a.size() == 5) && a[0] == "screen") {
    const qp::ThumbnailCache cache(a[2]);
    const int rc = Screen(a[1], cache, a.size() == 5 ? std::stoi(a[3]) : 1920,
                          a.size() == 5 ? std::stoi(a[4]) : 1000);
    PrintPeak();
    return rc;
  }
  std::fputs("usage: qp_thumbnail_timing make-mixed DIR N [W H] | make-small DIR N [W H] |\n"
             "       new DIR CACHE [SIZE] | cached DIR CACHE [SIZE] | screen DIR CACHE [W H]\n",
             stderr);
  return 2;
}
