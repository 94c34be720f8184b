// Lossless rotation of a 6000 x 4000 JPEG (compare with `jpegtran -rotate 90 -trim -copy all
// -outfile /dev/null` on the same file) and the metadata scan of a camera-like file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "codecs/jpeg.h"
#include "core/file_io.h"
#include "jpegxform/lossless.h"
#include "metadata/exif.h"

static std::string BenchFile() {
  static const std::string path = [] {
    const std::string p = "/tmp/qp_bench_xform_6000x4000.jpg";
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
