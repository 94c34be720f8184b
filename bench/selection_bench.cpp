// Selection work a user waits for on a 6000 x 4000 picture: trimming a wide uniform border,
// cropping, and classifying a gesture stroke on release.
#include <benchmark/benchmark.h>

#include "input/gesture.h"
#include "view/selection.h"

namespace {

// A white picture with a textured 2000 x 1000 block in the middle.
const qp::ImageBuffer& Framed() {
  static qp::ImageBuffer img = [] {
    auto p = qp::ImageBuffer::Allocate(6000, 4000);
    for (int32_t y = 0; y < 4000; ++y)
      for (int32_t x = 0; x < 6000; ++x) {
        const bool inside = x >= 2000 && x < 4000 && y >= 1500 && y < 2500;
        qp::StorePixel(p->pixel(x, y), inside ? 0xFF000000u | (x * 31 + y * 17) : 0xFFFFFFFFu);
      }
    return std::move(*p);
  }();
  return img;
}

void BM_TrimBorders(benchmark::State& s) {
  const auto& img = Framed();
  for (auto _ : s) {
    qp::Selection sel;
    benchmark::DoNotOptimize(sel.TrimBorders(img, 1.0f));
  }
}
BENCHMARK(BM_TrimBorders)->Unit(benchmark::kMillisecond);

void BM_CropRegion(benchmark::State& s) {
  const auto& img = Framed();
  for (auto _ : s) benchmark::DoNotOptimize(qp::CopyRegion(img, {500, 500, 5500, 3500}));
}
BENCHMARK(BM_CropRegion)->Unit(benchmark::kMillisecond);

void BM_RecognizeStroke(benchmark::State& s) {
  qp::GestureRecognizer g;
  for (auto _ : s) {
    g.beginStroke();
    for (int32_t i = 0; i < 200; ++i) g.addPoint(100 + i * 3, 100 + (i % 7));
    benchmark::DoNotOptimize(g.recognize());
  }
}
BENCHMARK(BM_RecognizeStroke)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
