// A view over fake ports, host and file list, with a real settings store in memory and a
// counting stand-in for the system image decoder; for engine tests of the view and the frame.
#pragma once

#include <gtest/gtest.h>

#include "codecs/png.h"
#include "frame/settings_store.h"
#include "support/fake_ports.h"
#include "support/fake_view_host.h"
#include "support/test_support.h"
#include "view/view.h"

namespace qp::test {

// Reads any ".xyz" file as a 3 x 2 picture and counts the calls.
struct CountingSystemDecoder final : SystemImageDecoder {
  int calls = 0;
  std::optional<ImageBuffer> Decode(const std::string& path) override {
    ++calls;
    if (path.size() < 4 || path.compare(path.size() - 4, 4, ".xyz") != 0) return std::nullopt;
    return SolidPicture(3, 2, 0xFF102030);
  }
};

// Steps through `frames` frames, writing the frame number into the canvas's first byte.
struct CountingPlayback final : Playback {
  int steps = 0;
  PlaybackKind kind() const override { return PlaybackKind::Gif; }
  bool Step(ViewerState& s) override {
    ++steps;
    s.frameIndex = (s.frameIndex + 1) % s.frameCount;
    s.animationCanvas.data()[0] = static_cast<uint8_t>(s.frameIndex);
    return true;
  }
  uint16_t FrameDelay(int32_t) const override { return 10; }
  int32_t LoopLimit() const override { return 0; }
};

class ViewFixture : public ::testing::Test {
 protected:
  ViewFixture() : settings(backend), view(ViewContext{state, settings, ports.ports, host, files, &system}) {}

  std::string WritePng(const std::string& name, int32_t w, int32_t h, uint32_t argb = 0xFF336699) {
    const std::string path = dir.file(name);
    const ImageBuffer img = SolidPicture(w, h, argb);
    EXPECT_EQ(SavePng(img.data(), w, h, 100, path.c_str()), nullptr);
    return path;
  }
  // Starts a playback the way an animated decoder does and shows its first frame.
  CountingPlayback* StartPlayback(int32_t frames) {
    auto p = std::make_unique<CountingPlayback>();
    CountingPlayback* raw = p.get();
    state.StartPlayback(std::move(p), SolidPicture(4, 4, 0xFF000000), frames);
    return raw;
  }

  TempDir dir;
  ViewerState state;
  MemorySettingsBackend backend;
  SettingsStore settings;
  FakePorts ports;
  FakeViewHost host;
  FakeFileList files;
  CountingSystemDecoder system;
  CImgViewerView view;
};

}  // namespace qp::test
