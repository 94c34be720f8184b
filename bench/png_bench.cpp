// Decoding a 4000 x 3000 RGBA PNG through LoadPng beside a plain libpng read of the same file.
#include <benchmark/benchmark.h>
#include <png.h>

#include <cstdio>
#include <vector>

#include "codecs/png.h"

static const std::string& BenchFile() {
  static const std::string path = [] {
    const std::string p = "/tmp/qp_bench_4000x3000.png";
    qp::ImageBuffer img = *qp::ImageBuffer::Allocate(4000, 3000);
    for (int y = 0; y < 3000; ++y)
      for (int x = 0; x < 4000; ++x) {
        uint8_t* px = img.pixel(x, y);
        px[0] = static_cast<uint8_t>(x + y);
        px[1] = static_cast<uint8_t>(x * y >> 8);
        px[2] = static_cast<uint8_t>(y);
        px[3] = static_cast<uint8_t>(x < 2000 ? 255 : x);
      }
    qp::SavePng(img.data(), 4000, 3000, 100, p.c_str());
    return p;
  }();
  return path;
}

static void BM_LoadPng(benchmark::State& st) {
  for (auto _ : st) {
    auto img = qp::LoadPng(BenchFile());
    benchmark::DoNotOptimize(img);
  }
}
BENCHMARK(BM_LoadPng)->Unit(benchmark::kMillisecond)->Iterations(5)->MeasureProcessCPUTime();

// A plain libpng read: 8-bit RGBA rows, no conversion to the picture layout. With `warm` the
// destination is allocated and touched once outside the timing, leaving only the library's
// decoding: the floor no loader that must hand back a fresh picture can go below.
static void PlainLibpng(benchmark::State& st, bool warm) {
  std::vector<uint8_t> data;
  if (warm) data.assign(size_t{4000} * 3000 * 4, 0);
  for (auto _ : st) {
    if (!warm) data = {};
    std::FILE* f = std::fopen(BenchFile().c_str(), "rb");
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_read_info(png, info);
    const png_uint_32 h = png_get_image_height(png, info);
    png_read_update_info(png, info);
    data.resize(png_get_rowbytes(png, info) * h);
    std::vector<png_bytep> rows(h);
    for (png_uint_32 y = 0; y < h; ++y) rows[y] = data.data() + y * png_get_rowbytes(png, info);
    png_read_image(png, rows.data());
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    benchmark::DoNotOptimize(data);
  }
}
static void BM_PlainLibpng(benchmark::State& st) {
  PlainLibpng(st, false);
}
static void BM_PlainLibpngWarmBuffer(benchmark::State& st) {
  PlainLibpng(st, true);
}
BENCHMARK(BM_PlainLibpng)->Unit(benchmark::kMillisecond)->Iterations(5)->MeasureProcessCPUTime();
BENCHMARK(BM_PlainLibpngWarmBuffer)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->MeasureProcessCPUTime();
BENCHMARK_MAIN();
