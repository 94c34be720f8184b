// Decoding and composing all frames of a 300-frame 640 x 480 GIF; compare with
// `convert /tmp/qp_bench_300.gif -coalesce null:` on the file this writes.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

#include "codecs/gif.h"

namespace {

void Put16(std::vector<uint8_t>& g, uint16_t v) {
  g.push_back(static_cast<uint8_t>(v));
  g.push_back(static_cast<uint8_t>(v >> 8));
}

// LZW with 8-bit literal codes and a clear code every 250 codes, so the width stays 9.
void Lzw(std::vector<uint8_t>& g, const std::vector<uint8_t>& idx) {
  std::vector<uint8_t> bytes;
  uint32_t acc = 0;
  int bits = 0;
  auto put = [&](uint32_t code) {
    acc |= code << bits;
    bits += 9;
    while (bits >= 8) {
      bytes.push_back(static_cast<uint8_t>(acc));
      acc >>= 8;
      bits -= 8;
    }
  };
  for (size_t i = 0; i < idx.size(); ++i) {
    if (i % 250 == 0) put(256);
    put(idx[i]);
  }
  put(257);
  if (bits) bytes.push_back(static_cast<uint8_t>(acc));
  g.push_back(8);
  for (size_t i = 0; i < bytes.size(); i += 255) {
    const size_t n = std::min<size_t>(255, bytes.size() - i);
    g.push_back(static_cast<uint8_t>(n));
    g.insert(g.end(), bytes.begin() + static_cast<long>(i), bytes.begin() + static_cast<long>(i + n));
  }
  g.push_back(0);
}

const std::string& BenchFile() {
  static const std::string path = [] {
    const std::string p = "/tmp/qp_bench_300.gif";
    std::vector<uint8_t> g{'G', 'I', 'F', '8', '9', 'a'};
    Put16(g, 640);
    Put16(g, 480);
    g.insert(g.end(), {0xF7, 0, 0});
    for (int i = 0; i < 256; ++i) g.insert(g.end(), {uint8_t(i), uint8_t(255 - i), uint8_t(i * 3)});
    g.insert(g.end(), {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0});
    std::vector<uint8_t> idx(640 * 480);
    for (int f = 0; f < 300; ++f) {
      g.insert(g.end(), {0x21, 0xF9, 4, uint8_t(f % 3 == 0 ? 0x09 : 0x04), 4, 0, 7, 0});
      for (size_t i = 0; i < idx.size(); ++i) idx[i] = static_cast<uint8_t>((i % 640 + i / 640 + f) & 255);
      g.push_back(0x2C);
      Put16(g, 0), Put16(g, 0), Put16(g, 640), Put16(g, 480);
      g.push_back(0);
      Lzw(g, idx);
    }
    g.push_back(0x3B);
    std::FILE* out = std::fopen(p.c_str(), "wb");
    std::fwrite(g.data(), 1, g.size(), out);
    std::fclose(out);
    return p;
  }();
  return path;
}

}  // namespace

static void BM_Gif300Frames(benchmark::State& st) {
  for (auto _ : st) {
    qp::ViewerState s;
    qp::DecodeResult r = qp::loadGif(BenchFile(), s, true);
    for (int i = 1; i < s.frameCount; ++i) r = qp::loadGif(BenchFile(), s, true);
    benchmark::DoNotOptimize(r.pixels());
    s.StopPlayback();
  }
}
BENCHMARK(BM_Gif300Frames)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_MAIN();
