// Lossless rotation of a 6000 x 4000 JPEG (compare with `jpegtran -rotate 90 -trim -copy all
// -outfile /dev/null` on the same file) and the metadata scan of a camera-like file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_pictures.h"
#include "codecs/jpeg.h"
#include "core/file_io.h"
#include "jpegxform/lossless.h"
#include "metadata/exif.h"

static std::string BenchFile() {
  static const std::string path = qp::bench::PhotoSizedJpeg("/tmp/qp_bench_xform_6000x4000.jpg");
  return path;
}

static void BM_LosslessRotate90_6000x4000(benchmark::State& st) {
  const std::string in = BenchFile();
  const std::string out = "/tmp/qp_bench_xform_out.jpg";
  for (auto _ : st) {
    std::remove(out.c_str());
    benchmark::DoNotOptimize(qp::losslessTransform(in, out, qp::TransformArguments(90)));
  }
  std::remove(out.c_str());
}
BENCHMARK(BM_LosslessRotate90_6000x4000)->Unit(benchmark::kMillisecond)->Iterations(5);

// The metadata scan stops at the first scan, so only the segments in front of it count.
static void BM_ParseJpegMetadata(benchmark::State& st) {
  const auto bytes = qp::ReadWholeFile(BenchFile());
  for (auto _ : st) {
    qp::ExifInfo info;
    benchmark::DoNotOptimize(qp::ParseJpegMetadata(*bytes, info));
  }
}
BENCHMARK(BM_ParseJpegMetadata);

BENCHMARK_MAIN();
