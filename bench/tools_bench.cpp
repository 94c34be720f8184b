// Costs of the game-pad poll step (run every 60 ms on its thread) and of the barcode path: the
// black-and-white grey plane and the component's read of a QR code on a photo-sized picture.
#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>

#include "codecs/png.h"
#include "codecs/runtime_library.h"
#include "core/paths.h"
#include "frame/settings_store.h"
#include "input/sdl_controller.h"
#include "tools/tools.h"

namespace qp {
namespace {

struct CountingPost final : PostPort {
  int64_t posts = 0;
  void Post(uint16_t, intptr_t) override { ++posts; }
};

// A photo-sized grey picture with the QR code of `text` in its middle, or nothing without
// qrencode.
std::optional<ImageBuffer> QrOnPhoto(const std::string& text) {
  const std::string png = JoinPath(TempFolder(), "qp-bench-qr.png");
  const std::string cmd = "qrencode -s 6 -m 4 -o '" + png + "' '" + text + "' 2>/dev/null";
  if (std::system(cmd.c_str()) != 0) return std::nullopt;
  auto qr = LoadPng(png).toOwned();
  std::remove(png.c_str());
  if (!qr) return std::nullopt;
  auto photo = ImageBuffer::Filled(1920, 1080, 0xC0);
  const int32_t ox = (1920 - qr->width()) / 2, oy = (1080 - qr->height()) / 2;
  for (int32_t y = 0; y < qr->height(); ++y)
    std::memcpy(photo->pixel(ox, oy + y), qr->row(y), qr->stride());
  return photo;
}

void BM_PadPollStep(benchmark::State& st) {
  SdlControllerSource source(0);
  SDL_VirtualJoystickDesc d{};
  d.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  d.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
  d.naxes = SDL_CONTROLLER_AXIS_MAX;
  d.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
  d.name = "bench pad";
  const int index = SDL_JoystickAttachVirtualEx(&d);
  MemorySettingsBackend backend;
  SettingsStore settings(backend);
  ViewerState state;
  state.useJoystick = 1;
  CountingPost post;
  GamePadPoller poller(ReadGamePadConfig(settings), state, post);
  for (auto _ : st) benchmark::DoNotOptimize(poller.Step(source));
  if (index >= 0) SDL_JoystickDetachVirtual(index);
}
BENCHMARK(BM_PadPollStep);

void BM_BarcodeGreyPlane(benchmark::State& st) {
  auto photo = ImageBuffer::Filled(1920, 1080, 0x80);
  for (auto _ : st) {
    auto region = CopyRegion(*photo, std::nullopt);
    benchmark::DoNotOptimize(BlackWhiteGreyPlane(*region, true));
  }
}
BENCHMARK(BM_BarcodeGreyPlane)->Unit(benchmark::kMillisecond);

void BM_ReadQrCode(benchmark::State& st) {
  RuntimeLibrary lib(JoinPath(ExecutableFolder(), "../bin/libBarcode.so"));
  auto read =
      lib.Symbol<int32_t (*)(int32_t, int32_t, const uint8_t*, int32_t, char*)>("ReadBarcode");
  auto photo = QrOnPhoto("https://example.org/bench");
  if (!read || !photo) {
    st.SkipWithError("libBarcode.so or qrencode missing");
    return;
  }
  auto grey = BlackWhiteGreyPlane(*photo, false);
  char result[1024];
  for (auto _ : st) {
    result[0] = 0;
    benchmark::DoNotOptimize(read(photo->width(), photo->height(), grey->data(), 1023, result));
  }
}
BENCHMARK(BM_ReadQrCode)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace qp

BENCHMARK_MAIN();
