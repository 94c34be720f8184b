// Decoding a 6000 x 4000 JPEG; compare with `djpeg -outfile /dev/null` on the same file.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "codecs/jpeg.h"

static std::string BenchFile() {
  static const std::string path = [] {
    const std::string p = "/tmp/qp_bench_6000x4000.jpg";
    if (std::FILE* f = std::fopen(p.c_str(), "rb")) {
      std::fclose(f);
      return p;
    }
    qp::ImageBuffer img = *qp::ImageBuffer::Allocate(6000, 4000);
    for (int y = 0; y < 4000; ++y)
      for (int x = 0; x < 6000; ++x) {
        uint8_t* px = img.pixel(x, y);
        px[0] = static_cast<uint8_t>(x * 7 + y);
        px[1] = static_cast<uint8_t>((x ^ y) + (x * y >> 9));
        px[2] = static_cast<uint8_t>(y * 3 - x);
        px[3] = 255;
      }
    qp::SaveJpeg(img.data(), 6000, 4000, 90, p.c_str());
    return p;
  }();
  return path;
}

static void BM_LoadJpeg6000x4000(benchmark::State& st) {
  const std::string path = BenchFile();
  for (auto _ : st) {
    qp::ViewerState s;
    auto img = qp::LoadJpeg(path, s);
    benchmark::DoNotOptimize(img);
  }
}
BENCHMARK(BM_LoadJpeg6000x4000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_MAIN();
