// Picture operations on a 6000 x 4000 photo-sized input.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <random>

#include "colour/colour_profile.h"
#include "core/orientation.h"
#include "ops/ops.h"
#include "view/view_geometry.h"

namespace {

const qp::ImageBuffer& Photo() {
  static qp::ImageBuffer img = [] {
    auto p = qp::ImageBuffer::Allocate(6000, 4000);
    std::mt19937 rng(1);
    uint8_t* d = p->data();
    for (int y = 0; y < 4000; ++y)
      for (int x = 0; x < 6000; ++x, d += 4) {
        d[0] = static_cast<uint8_t>(x / 24 + (rng() & 15));
        d[1] = static_cast<uint8_t>(y / 16 + (rng() & 15));
        d[2] = static_cast<uint8_t>((x + y) / 40);
        d[3] = 255;
      }
    return std::move(*p);
  }();
  return img;
}

void BM_MemcpySource(benchmark::State& s) {
  const auto& src = Photo();
  std::vector<uint8_t> dst(src.byteSize());
  for (auto _ : s) {
    std::memcpy(dst.data(), src.data(), src.byteSize());
    benchmark::DoNotOptimize(dst.data());
  }
}
// The memcpy above is the display scaler's floor; `vips resize` and ImageMagick, timed as whole
// processes by compare.sh, are the resampler's references. The *Plain variants run the same
// code without the vector unit.
void BM_Lanczos3To1920(benchmark::State& s) {
  qp::SetVectorScaling(s.range(0) != 0);
  for (auto _ : s) benchmark::DoNotOptimize(qp::Resample(Photo(), 1920, 1280));
  qp::SetVectorScaling(true);
}
void BM_DisplayScaleFit1920x1080(benchmark::State& s) {
  qp::SetVectorScaling(s.range(0) != 0);
  for (auto _ : s) benchmark::DoNotOptimize(qp::DisplayScale(Photo().data(), 6000, 4000, 1620, 1080));
  qp::SetVectorScaling(true);
}
void BM_DisplayScaleHalve(benchmark::State& s) {
  for (auto _ : s) benchmark::DoNotOptimize(qp::DisplayScale(Photo().data(), 6000, 4000, 3000, 2000));
}
void BM_Filter(benchmark::State& s) {
  const auto kind = static_cast<qp::FilterKind>(s.range(0));
  for (auto _ : s) benchmark::DoNotOptimize(qp::Convolve(qp::KernelOf(kind), Photo()));
}
void BM_Dither(benchmark::State& s) {
  for (auto _ : s) benchmark::DoNotOptimize(qp::DitherImage(Photo(), static_cast<int32_t>(s.range(0))));
}

}  // namespace

// Turning a photo upright: orientation 1 is a plain copy into a new picture (the reference),
// 2 to 4 copy rows whole or reversed, 5 to 8 read across the stored rows.
void BM_TurnUpright(benchmark::State& s) {
  const auto& src = Photo();
  for (auto _ : s) {
    auto upright = qp::TurnUpright(src, static_cast<int32_t>(s.range(0)));
    benchmark::DoNotOptimize(upright->data());
  }
}
// What a load does: 2 to 4 exchange rows within the picture, 5 to 8 make a new one.
void BM_TurnUprightInPlace(benchmark::State& s) {
  auto picture = Photo().Clone();
  for (auto _ : s) {
    qp::TurnUprightInPlace(*picture, static_cast<int32_t>(s.range(0)));
    benchmark::DoNotOptimize(picture->data());
  }
}
// The display bitmap of a tagged photo converted to an sRGB screen, as the view does it (on two
// threads: the process's CPU time is the figure): a screen-sized bitmap and a whole 6000 x 4000
// photo, from Adobe RGB, ProPhoto and Display P3 (made from code points), through the
// program's own tables and (tables:0) through lcms.
qp::ColourProfilePtr BenchProfile(int64_t which) {
  if (which == 2) return qp::ColourProfile::FromCicp(qp::Cicp{12, 13, 0, true});
  const char* path = which == 0 ? "/usr/share/color/icc/colord/AdobeRGB1998.icc"
                                : "/usr/share/color/icc/colord/ProPhotoRGB.icc";
  std::vector<uint8_t> icc;
  if (std::FILE* f = std::fopen(path, "rb")) {
    uint8_t buf[65536];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) icc.insert(icc.end(), buf, buf + n);
    std::fclose(f);
  }
  return qp::ColourProfile::FromIcc(icc);
}
void BM_ToScreenColours(benchmark::State& s) {
  const qp::ColourProfilePtr profile = BenchProfile(s.range(0));
  if (!profile) {
    s.SkipWithError("profile not installed (colord-data)");
    return;
  }
  const bool screenSized = s.range(1) == 0;
  const auto& photo = Photo();
  auto bitmap = qp::MakeDisplayBitmap(photo.data(), screenSized ? 1920 : 6000, screenSized ? 1080 : 4000);
  qp::SetShaperConversions(s.range(2) != 0);
  qp::ToScreenColours(*bitmap, profile.get(), nullptr);  // the conversion is made once, not timed
  for (auto _ : s) {
    qp::ToScreenColours(*bitmap, profile.get(), nullptr);
    benchmark::DoNotOptimize(bitmap->bits.data());
  }
  qp::SetShaperConversions(true);
  s.SetLabel(profile->description() + (screenSized ? ", 1920x1080" : ", 6000x4000"));
}
BENCHMARK(BM_ToScreenColours)->ArgNames({"profile", "size", "tables"})->ArgsProduct({{0, 1, 2}, {0, 1}, {1, 0}})->Unit(benchmark::kMillisecond)->Iterations(5)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_TurnUpright)->ArgName("orientation")->DenseRange(1, 8)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_TurnUprightInPlace)->ArgName("orientation")->Arg(3)->Arg(2)->Arg(6)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_MemcpySource)->Unit(benchmark::kMillisecond)->Iterations(5)->MeasureProcessCPUTime();
BENCHMARK(BM_Lanczos3To1920)->ArgName("vector")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(3)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_DisplayScaleFit1920x1080)->ArgName("vector")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(5)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_DisplayScaleHalve)->Unit(benchmark::kMillisecond)->Iterations(5)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_Filter)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_Dither)->DenseRange(0, 4)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_MAIN();
