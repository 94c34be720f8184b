// Loading a 6000 x 4000 lossy WebP, the size of a 24-megapixel photo. The file is made once in
// the temporary folder (QP_BENCH_WEBP names another file to time instead); compare with
//   time dwebp -ppm <file> -o /dev/null
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "codecs/webp.h"
#include "core/file_io.h"
#include "core/paths.h"

namespace {

std::string BenchFile() {
  if (const char* p = std::getenv("QP_BENCH_WEBP")) return p;
  const std::string path = qp::TempFolder() + "/qp-bench-6000x4000.webp";
  if (qp::CanOpenForRead(path)) return path;
  auto img = qp::ImageBuffer::Allocate(6000, 4000);
  // Smooth gradients with fine texture, roughly what a photograph costs the decoder.
  uint32_t seed = 1;
  for (int y = 0; y < 4000; ++y) {
    for (int x = 0; x < 6000; ++x) {
      seed = seed * 1103515245u + 12345u;
      const uint32_t noise = (seed >> 16) & 15;
      uint8_t* p = img->pixel(x, y);
      p[0] = static_cast<uint8_t>((x / 24 + noise) & 255);
      p[1] = static_cast<uint8_t>((y / 16 + noise) & 255);
      p[2] = static_cast<uint8_t>(((x + y) / 40 + noise) & 255);
      p[3] = 255;
    }
  }
  qp::EncodeWebP(img->data(), 6000, 4000, 80, path.c_str(), false);
  return path;
}

void BM_LoadWebP6000x4000(benchmark::State& st) {
  const std::string path = BenchFile();
  for (auto _ : st) {
    qp::ViewerState s;
    qp::DecodeResult r = qp::LoadWebP(path, s, false);
    if (!r) st.SkipWithError("decode failed");
    benchmark::DoNotOptimize(r.pixels());
  }
}
BENCHMARK(BM_LoadWebP6000x4000)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
