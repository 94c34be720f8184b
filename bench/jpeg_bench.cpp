// Decoding a 6000 x 4000 JPEG through LoadJpeg beside what `djpeg -outfile /dev/null` does on
// the same file: the same library decoding RGB rows one at a time into a single row buffer
// (bench/compare.sh times the djpeg program itself).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "bench_pictures.h"
#include "codecs/jpeg.h"

static std::string BenchFile() {
  static const std::string path = qp::bench::PhotoSizedJpeg("/tmp/qp_bench_6000x4000.jpg");
  return path;
}

static void BM_LoadJpeg6000x4000(benchmark::State& st) {
  const std::string path = BenchFile();
  for (auto _ : st) {
    auto img = qp::LoadJpeg(path);
    benchmark::DoNotOptimize(img);
  }
}
BENCHMARK(BM_LoadJpeg6000x4000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->MeasureProcessCPUTime();

// djpeg's work without the output file: stdio source, default (accurate) DCT, RGB rows
// decoded into one reused row, nothing kept. The floor LoadJpeg is held against.
static void BM_PlainLibjpegRows(benchmark::State& st) {
  const std::string path = BenchFile();
  for (auto _ : st) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, f);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    std::vector<JSAMPLE> row(static_cast<size_t>(cinfo.output_width) * cinfo.output_components);
    JSAMPROW rows[1] = {row.data()};
    while (cinfo.output_scanline < cinfo.output_height) jpeg_read_scanlines(&cinfo, rows, 1);
    benchmark::DoNotOptimize(row.data());
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(f);
  }
}
BENCHMARK(BM_PlainLibjpegRows)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->MeasureProcessCPUTime();
BENCHMARK_MAIN();
