// Sorting 10,000 names in both orders and scanning a folder of 10,000 files.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/viewer_state.h"
#include "frame/file_list.h"
#include "frame/natural_sort.h"

namespace {

std::vector<std::string> Names() {
  std::vector<std::string> names;
  for (int i = 0; i < 10000; ++i)
    names.push_back("/home/user/Pictures/holiday/IMG_" + std::to_string((i * 7919) % 10000) +
                    (i % 3 ? ".jpg" : ".webp"));
  return names;
}

void BM_SortNames(benchmark::State& st) {
  const auto names = Names();
  const bool natural = st.range(0) != 0;
  for (auto _ : st) {
    auto v = names;
    std::stable_sort(v.begin(), v.end(), [&](const std::string& a, const std::string& b) {
      return (natural ? qp::naturalCompare(a, b) : qp::plainCompare(a, b)) < 0;
    });
    benchmark::DoNotOptimize(v.data());
  }
}
BENCHMARK(BM_SortNames)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_LoadFolder(benchmark::State& st) {
  const auto dir = std::filesystem::temp_directory_path() / "qp-bench-folder";
  std::filesystem::create_directories(dir);
  for (int i = 0; i < 10000; ++i) {
    const auto p = dir / ("img" + std::to_string(i) + ".webp");
    if (!std::filesystem::exists(p)) std::fclose(std::fopen(p.c_str(), "wb"));
  }
  qp::ViewerState state;
  qp::CDirManager list(state, "*.webp;*.jpg;*.png;*.lst", 1u);
  for (auto _ : st) {
    list.loadFolder(dir.string());
    benchmark::DoNotOptimize(list.count());
  }
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_LoadFolder)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
