#include "frame/animation_clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "codecs/gif.h"
#include "core/viewer_state.h"
#include "support/test_support.h"

namespace qp {
namespace {

class FakePlayback : public Playback {
 public:
  FakePlayback(std::vector<uint16_t> delays, int32_t loops) : delays_(std::move(delays)), loops_(loops) {}
  PlaybackKind kind() const override { return PlaybackKind::Gif; }
  bool Step(ViewerState& s) override {
    s.frameIndex = (s.frameIndex + 1) % s.frameCount;
    return true;
  }
  uint16_t FrameDelay(int32_t index) const override {
    return index >= 0 && index < static_cast<int32_t>(delays_.size()) ? delays_[index] : 100;
  }
  int32_t LoopLimit() const override { return loops_; }

 private:
  std::vector<uint16_t> delays_;
  int32_t loops_;
};

void Play(ViewerState& s, std::vector<uint16_t> delays, int32_t loops) {
  const auto frames = static_cast<int32_t>(delays.size());
  s.StartPlayback(std::make_unique<FakePlayback>(std::move(delays), loops),
                  test::SolidPicture(1, 1, 0), frames);
}

// Runs the clock on the test thread against a virtual clock. The fake frame queues the ticks
// it receives and, like the user-interface thread, handles them while the clock sleeps: a tick
// of the current generation steps the playback.
struct VirtualRun {
  struct Tick {
    int64_t time;
    intptr_t generation;
    int32_t shownFrame;  // frame index after handling, -1 when dropped
  };
  ViewerState state;
  int64_t now = 0;
  int64_t limit = 10000;
  std::vector<Tick> ticks;
  std::vector<intptr_t> pending;
  std::multimap<int64_t, std::function<void()>> events;
  std::unique_ptr<AnimationClock> clock;
  // What a tick of the current generation does; steps the playback when not set.
  std::function<void()> show;

  VirtualRun() {
    clock = std::make_unique<AnimationClock>(
        state, [this](uintptr_t command, intptr_t arg) {
          EXPECT_EQ(command, kCmdAnimationTick);
          pending.push_back(arg);
        },
        [this](int32_t ms) { sleep(ms); });
  }
  void handlePending() {
    for (const intptr_t g : pending) {
      int32_t shown = -1;
      if (state.animating && (g == 0 || g == state.animationGeneration)) {
        if (show)
          show();
        else
          state.StepPlayback();
        shown = state.frameIndex;
      }
      ticks.push_back({now, g, shown});
    }
    pending.clear();
  }
  void sleep(int32_t ms) {
    handlePending();
    const int64_t until = now + ms;
    while (!events.empty() && events.begin()->first <= until) {
      now = std::max(now, events.begin()->first);
      auto f = std::move(events.begin()->second);
      events.erase(events.begin());
      f();
    }
    now = until;
    if (now >= limit || ticks.size() > 200) clock->requestStop();
  }
  void run() {
    clock->run();
    handlePending();
  }
  std::vector<int32_t> shownFrames() const {
    std::vector<int32_t> out;
    for (const auto& t : ticks) out.push_back(t.shownFrame);
    return out;
  }
};

TEST(AnimationClock, PlaysToTheLoopLimitAndRestsPaused) {
  VirtualRun r;
  Play(r.state, {100, 200, 300}, 2);
  r.run();
  // The first frame is on screen at the start; five ticks show 2, 3, 1, 2, 3.
  EXPECT_EQ(r.shownFrames(), (std::vector<int32_t>{1, 2, 0, 1, 2}));
  ASSERT_EQ(r.ticks.size(), 5u);
  // Each tick comes when the frame before it has had its delay.
  EXPECT_EQ(r.ticks[0].time, 100);
  EXPECT_EQ(r.ticks[1].time, 300);
  EXPECT_EQ(r.ticks[2].time, 600);
  EXPECT_EQ(r.ticks[3].time, 700);
  EXPECT_EQ(r.ticks[4].time, 900);
  for (const auto& t : r.ticks) EXPECT_EQ(t.generation, r.state.animationGeneration);
  EXPECT_EQ(r.state.paused, 1);
  EXPECT_EQ(r.state.loopsDone, 0);
  EXPECT_EQ(r.state.frameIndex, 2);
}

TEST(AnimationClock, PlaybackStartingBeforeTheFirstFrameTicksSixTimes) {
  VirtualRun r;
  Play(r.state, {100, 200, 300}, 2);
  r.state.frameIndex = -1;
  r.run();
  EXPECT_EQ(r.shownFrames(), (std::vector<int32_t>{0, 1, 2, 0, 1, 2}));
  EXPECT_EQ(r.state.paused, 1);
}

TEST(AnimationClock, ZeroDelayAndEndlessLoops) {
  VirtualRun r;
  r.limit = 1000;
  Play(r.state, {0, 0}, 0);
  r.run();
  // No delay: each tick follows as soon as the previous frame is shown (the 64/96 ms waits
  // are not needed because the fake frame shows it at once).
  ASSERT_GT(r.ticks.size(), 100u);
  EXPECT_EQ(r.ticks.front().time, 0);
  EXPECT_EQ(r.state.paused, 0);
}

TEST(AnimationClock, NewFileMakesPendingDelayStaleWithinOneSlice) {
  VirtualRun r;
  Play(r.state, {10000, 10000}, 0);
  const int32_t oldGeneration = r.state.animationGeneration;
  r.events.emplace(500, [&] {
    r.state.StopPlayback();
    Play(r.state, {100, 100}, 0);
  });
  r.limit = 1000;
  r.run();
  ASSERT_FALSE(r.ticks.empty());
  for (const auto& t : r.ticks) EXPECT_NE(t.generation, oldGeneration);
  // Noticed at the next 60 ms slice, then the new first frame's 100 ms.
  EXPECT_LE(r.ticks.front().time, 500 + 60 + 100);
  EXPECT_EQ(r.ticks.front().shownFrame, 1);
}

TEST(AnimationClock, NewFileDuringTheDelayAfterTheFirstTickRestartsAtOnce) {
  VirtualRun r;
  Play(r.state, {100, 10000}, 0);
  const int32_t oldGeneration = r.state.animationGeneration;
  // The tick at 100 shows the second frame; its long delay is under way when the new file
  // comes, and the clock goes straight to the new file's first delay (no wait for a frame of
  // the old file to be shown).
  r.events.emplace(500, [&] {
    r.state.StopPlayback();
    Play(r.state, {100, 100}, 0);
  });
  r.limit = 700;
  r.run();
  ASSERT_GE(r.ticks.size(), 2u);
  EXPECT_EQ(r.ticks[0].generation, oldGeneration);
  EXPECT_EQ(r.ticks[0].time, 100);
  EXPECT_NE(r.ticks[1].generation, oldGeneration);
  // Noticed at the slice ending at 520, then the new first frame's 100 ms.
  EXPECT_EQ(r.ticks[1].time, 620);
}

TEST(AnimationClock, PauseStopsTicksAndResumeContinues) {
  VirtualRun r;
  Play(r.state, {100, 100, 100, 100}, 0);
  r.events.emplace(250, [&] { r.state.paused = 1; });
  r.events.emplace(1000, [&] { r.state.paused = 0; });
  r.limit = 1150;
  r.run();
  std::vector<int64_t> times;
  for (const auto& t : r.ticks) times.push_back(t.time);
  // Ticks at 100 and 200; the delay being waited for at the pause runs out without a tick;
  // after resuming the next frame comes within one slice.
  ASSERT_GE(times.size(), 3u);
  EXPECT_EQ(times[0], 100);
  EXPECT_EQ(times[1], 200);
  EXPECT_GE(times[2], 1000);
  EXPECT_LE(times[2], 1060);
  EXPECT_EQ(r.ticks[2].shownFrame, 3);
}

TEST(AnimationClock, RealThreadTicksAndStops) {
  ViewerState state;
  std::mutex m;
  std::vector<intptr_t> seen;
  state.hooks.postToFrame = [&](uintptr_t command, intptr_t g) {
    std::lock_guard guard(m);
    if (command == kCmdAnimationTick) seen.push_back(g);
  };
  Play(state, {10, 10}, 0);
  const auto started = std::chrono::steady_clock::now();
  {
    AnimationClock clock(state);
    clock.start();
    for (int i = 0; i < 200; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      std::lock_guard guard(m);
      if (!seen.empty()) break;
    }
  }  // the destructor stops and joins
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  std::lock_guard guard(m);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front(), state.animationGeneration);
}

// A 1 x 1 GIF89a of three frames (red, green, blue) with delays of 10, 20 and 30 hundredths
// and an application extension asking for one repeat, so the file plays twice.
std::vector<uint8_t> ThreeFrameGif() {
  std::vector<uint8_t> g{'G', 'I', 'F', '8', '9', 'a'};
  test::PutU16le(g, 1);
  test::PutU16le(g, 1);
  g.insert(g.end(), {0x91, 0, 0});  // global table of 4 entries
  for (uint8_t c : {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255}) g.push_back(c);
  g.insert(g.end(), {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0',
                     3, 1, 1, 0, 0});
  const uint8_t colour[3] = {1, 2, 3};
  const uint16_t delay[3] = {10, 20, 30};
  for (int i = 0; i < 3; ++i) {
    g.insert(g.end(), {0x21, 0xF9, 4, 0});
    test::PutU16le(g, delay[i]);
    g.insert(g.end(), {0, 0});
    g.push_back(0x2C);
    for (int k = 0; k < 4; ++k) test::PutU16le(g, k < 2 ? 0 : 1);
    g.push_back(0);
    // Minimum code size 2, 3-bit codes: clear (4), the literal, end (5).
    g.insert(g.end(), {2, 2, static_cast<uint8_t>(4 | colour[i] << 3 | (5 & 3) << 6), 1, 0});
  }
  g.push_back(0x3B);
  return g;
}

// The file decoded by the real GIF decoder and driven by the clock: each tick of the current
// generation reloads the file for display, which steps the playback as the view does.
TEST(AnimationClock, RealGifPlaysTwiceAndRestsOnItsLastFrame) {
  test::TempDir dir;
  const std::string path = dir.file("three.gif");
  test::WriteBytes(path, ThreeFrameGif());
  VirtualRun r;
  std::vector<uint32_t> colours;
  auto load = [&] {
    DecodeResult d = loadGif(path, r.state, true);
    ASSERT_TRUE(d.isCanvas());
    colours.push_back(LoadPixel(d.pixels()) & 0xFFFFFF);
  };
  load();
  ASSERT_EQ(r.state.frameCount, 3);
  ASSERT_EQ(r.state.frameIndex, 0);
  EXPECT_EQ(r.state.LoopLimit(), 2);
  EXPECT_EQ(r.state.FrameDelay(0), 100);
  EXPECT_EQ(r.state.FrameDelay(1), 200);
  EXPECT_EQ(r.state.FrameDelay(2), 300);
  r.show = load;
  // Resuming after the rest starts the next round with the first frame.
  r.events.emplace(3000, [&] { r.state.paused = 0; });
  r.limit = 3050;
  r.run();

  ASSERT_EQ(r.ticks.size(), 6u);
  // Five ticks show frames 2, 3, 1, 2, 3 after the load showed frame 1; then nothing until
  // the pause is lifted.
  EXPECT_EQ(r.shownFrames(), (std::vector<int32_t>{1, 2, 0, 1, 2, 0}));
  EXPECT_EQ(colours, (std::vector<uint32_t>{0xFF0000, 0x00FF00, 0x0000FF, 0xFF0000, 0x00FF00,
                                            0x0000FF, 0xFF0000}));
  const int64_t times[6] = {100, 300, 600, 700, 900, 3000};
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(r.ticks[i].time, times[i]) << i;
    EXPECT_EQ(r.ticks[i].generation, r.state.animationGeneration) << i;
  }
  EXPECT_EQ(r.state.paused, 0);
  EXPECT_EQ(r.state.loopsDone, 0);
  r.state.StopPlayback();
}

}  // namespace
}  // namespace qp
