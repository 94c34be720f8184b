#include "core/viewer_state.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace qp {
namespace {

class FakePlayback : public Playback {
 public:
  explicit FakePlayback(int* destroyed) : destroyed_(destroyed) {}
  ~FakePlayback() override { ++*destroyed_; }
  PlaybackKind kind() const override { return PlaybackKind::Webp; }
  bool Step(ViewerState& s) override {
    s.frameIndex = (s.frameIndex + 1) % s.frameCount;
    return true;
  }
  uint16_t FrameDelay(int32_t index) const override { return static_cast<uint16_t>(10 * index); }
  int32_t LoopLimit() const override { return 4; }

 private:
  int* destroyed_;
};

TEST(ViewerState, NothingPlayingDefaults) {
  ViewerState s;
  EXPECT_EQ(s.FrameDelay(0), 100);
  EXPECT_EQ(s.LoopLimit(), 0);
  EXPECT_EQ(s.animationGeneration, 1);
  EXPECT_EQ(s.showProgress, 1);
  EXPECT_EQ(s.numericSort, 1);
  EXPECT_FALSE(s.IsAnimationCanvas(nullptr));
  s.StopPlayback();  // nothing playing: no new generation
  EXPECT_EQ(s.animationGeneration, 1);
}

TEST(ViewerState, PlaybackLifecycle) {
  ViewerState s;
  int destroyed = 0;
  s.StartPlayback(std::make_unique<FakePlayback>(&destroyed), test::SolidPicture(2, 2, 0), 3);
  EXPECT_EQ(s.animating, 1);
  EXPECT_EQ(s.webpAnimated, 1);
  EXPECT_TRUE(s.IsAnimationCanvas(s.animationCanvas.data()));
  EXPECT_EQ(s.FrameDelay(2), 20);
  EXPECT_EQ(s.LoopLimit(), 4);
  auto frame = s.StepPlayback();
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->pixels, s.animationCanvas.data());
  EXPECT_EQ(s.frameIndex, 1);

  s.loopsDone = 2;
  s.paused = 1;
  s.StopPlayback();
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(s.animationGeneration, 2);
  EXPECT_EQ(s.animating, 0);
  EXPECT_EQ(s.paused, 0);
  EXPECT_EQ(s.loopsDone, 0);
  EXPECT_EQ(s.frameCount, 0);
  EXPECT_EQ(s.webpAnimated, 0);
  EXPECT_TRUE(s.animationCanvas.empty());
  EXPECT_FALSE(s.StepPlayback());
}

TEST(ViewerState, ViewCommandsNeedAView) {
  ViewerState s;
  std::vector<uint16_t> seen;
  s.hooks.viewCommand = [&](uint16_t c, intptr_t) {
    seen.push_back(c);
    return 7;
  };
  EXPECT_EQ(s.SendViewCommand(4020, 0), 0);  // no view registered yet
  s.hasView = true;
  EXPECT_EQ(s.SendViewCommand(4020, 0), 7);
  s.ToggleFullScreenWithFit();
  EXPECT_EQ(s.zoom, -1.0f);
  EXPECT_EQ(seen, (std::vector<uint16_t>{4020, 4022, 4020}));
}

TEST(ViewerState, MetadataIsClearedBeforeEachRead) {
  ViewerState s;
  s.exif.isExif = 1;
  s.jpegColourSpace = 3;
  int calls = 0;
  s.SetMetadataReader([&](const std::string&, ExifInfo& e) {
    EXPECT_EQ(e.isExif, 0);
    ++calls;
  });
  s.ReadMetadata("x.jpg");
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(s.jpegColourSpace, 0);
}

}  // namespace
}  // namespace qp
