// SVG: parsing and drawing a document, versus drawing the remembered one at a new size.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "codecs/svg.h"

namespace {

std::string MakeDocument(const std::string& path) {
  std::string svg = "<svg xmlns='http://www.w3.org/2000/svg' width='800' height='600'>";
  for (int i = 0; i < 400; ++i) {
    char buf[200];
    std::snprintf(buf, sizeof buf,
                  "<circle cx='%d' cy='%d' r='%d' fill='#%06x' fill-opacity='0.6'/>",
                  (i * 37) % 800, (i * 53) % 600, 5 + i % 40, (i * 2654435761u) & 0xFFFFFF);
    svg += buf;
  }
  svg += "</svg>";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(svg.data(), 1, svg.size(), f);
  std::fclose(f);
  return path;
}

void BM_SvgParseAndRender(benchmark::State& st) {
  const std::string a = MakeDocument("/tmp/qp_bench_a.svg");
  const std::string b = MakeDocument("/tmp/qp_bench_b.svg");
  bool flip = false;
  for (auto _ : st) {
    flip = !flip;  // alternating paths forces a parse every time
    benchmark::DoNotOptimize(qp::renderSvg(flip ? a : b, 0, 0));
  }
}
BENCHMARK(BM_SvgParseAndRender)->Unit(benchmark::kMillisecond);

void BM_SvgRerenderNewSize(benchmark::State& st) {
  const std::string a = MakeDocument("/tmp/qp_bench_a.svg");
  int w = 800;
  for (auto _ : st) {
    w = w == 800 ? 801 : 800;
    benchmark::DoNotOptimize(qp::renderSvg(a, w, 0));
  }
}
BENCHMARK(BM_SvgRerenderNewSize)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
