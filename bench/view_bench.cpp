// What a step to the next picture costs in the view: decoding a 6000 x 4000 JPEG and laying it
// out at original size or fitted to a 1920 x 1080 screen, and a zoom step that only lays out the
// picture already decoded.
#include <benchmark/benchmark.h>

#include "bench_pictures.h"
#include "frame/settings_store.h"
#include "view/view.h"

namespace {

using namespace qp;

// The window and the desktop as a 1920 x 1080 screen that shows nothing.
struct Quiet final : ViewHost, ViewFileList, MessageBoxPort, FileDialogPort, ClipboardPort,
                     DesktopPort, TrashPort, ScreenPort, CursorPort, PostPort {
  void SetPaneText(uint32_t, const std::string&) override {}
  void SetWindowTitle(const std::string&) override {}
  void SetScrollExtent(int32_t, int32_t) override {}
  ScrollPoint ScrollPosition() override { return {}; }
  void ScrollTo(int32_t, int32_t) override {}
  bool HasHorizontalScrollBar() override { return false; }
  bool HasVerticalScrollBar() override { return false; }
  int32_t ViewportHeight() override { return 1000; }
  void Repaint() override {}
  void ShowFullScreen(bool) override {}
  void ResizeFrame(int32_t, int32_t, int32_t, int32_t) override {}
  void SetCurrent(const std::string&) override {}
  void LoadListFile(const std::string&) override {}
  int32_t Position() const override { return 0; }
  int32_t Count() const override { return 0; }
  bool SpansSeveralFolders() const override { return false; }
  MessageAnswer Show(const std::string&, MessageIcon, MessageButtons) override { return MessageAnswer::Ok; }
  std::optional<FileDialogResult> Open(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<FileDialogResult> Save(const FileDialogRequest&) override { return std::nullopt; }
  std::optional<std::string> ChooseFolder(const std::string&, const std::string&) override { return std::nullopt; }
  bool SetImage(const ImageBuffer&) override { return false; }
  std::optional<ImageBuffer> GetImage() override { return std::nullopt; }
  bool SetText(const std::string&) override { return false; }
  std::optional<std::string> GetText() override { return std::nullopt; }
  bool OpenUrl(const std::string&) override { return false; }
  bool StartDetached(const std::string&, const std::vector<std::string>&) override { return false; }
  bool MoveToTrash(const std::string&) override { return false; }
  ScreenRect AvailableGeometry() override { return {0, 0, 1920, 1040}; }
  ScreenRect FullGeometry() override { return {0, 0, 1920, 1080}; }
  void SetWaitCursor(bool) override {}
  void ShowCursor(bool) override {}
  void Post(uint16_t, intptr_t) override {}
};

struct Bench {
  Bench() : settings(backend), view(ViewContext{state, settings, ports, quiet, quiet, nullptr}) {}
  Quiet quiet;
  Ports ports{quiet, quiet, quiet, quiet, quiet, quiet, quiet, quiet};
  ViewerState state;
  MemorySettingsBackend backend;
  SettingsStore settings;
  CImgViewerView view;
};

std::string Photo() {
  static const std::string path = bench::PhotoSizedJpeg("/tmp/qp_bench_6000x4000.jpg");
  return path;
}

void OpenPhoto(benchmark::State& st, bool fit) {
  Bench b;
  const std::string path = Photo();
  if (fit) {
    b.view.ToggleLockZoom();
    b.view.SetFit(kFitScreen);
  }
  for (auto _ : st) {
    b.view.OpenDocument("");  // a new path each time: the file is decoded again
    b.view.OpenDocument(path);
    benchmark::DoNotOptimize(b.view.displayBitmap());
  }
}

void BM_ViewOpenPhotoOriginalSize(benchmark::State& st) { OpenPhoto(st, false); }
void BM_ViewOpenPhotoFittedToScreen(benchmark::State& st) { OpenPhoto(st, true); }

void BM_ViewZoomStepOnPhoto(benchmark::State& st) {
  Bench b;
  b.view.OpenDocument(Photo());
  b.view.SetFit(kFitScreen);
  bool in = true;
  for (auto _ : st) {
    b.view.Hook(kViewCommandMarker, in ? kCmdZoomIn : kCmdZoomOut, 0);
    in = !in;
  }
}

}  // namespace

BENCHMARK(BM_ViewOpenPhotoOriginalSize)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ViewOpenPhotoFittedToScreen)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ViewZoomStepOnPhoto)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK_MAIN();
