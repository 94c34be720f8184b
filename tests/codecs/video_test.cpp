#include "codecs/video.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "codecs/load_dispatch.h"
#include "support/test_support.h"

namespace qp {
namespace {

std::array<uint8_t, kVideoRecordBytes> Record(int32_t audio, int32_t w, int32_t h, int32_t ms,
                                              int32_t rate) {
  std::array<uint8_t, kVideoRecordBytes> r{};
  std::memset(r.data(), 0xEE, 32);  // the component's private bytes are never read
  const int32_t fields[] = {audio, w, h, ms, rate};
  std::memcpy(r.data() + 32, fields, sizeof fields);
  return r;
}

TEST(VideoRecord, FrameCountDelayAndLimits) {
  auto r = ParseVideoRecord(Record(-1, 320, 240, 10000, 2500));
  ASSERT_TRUE(r);
  EXPECT_EQ(r->frameCount, 250);
  EXPECT_EQ(r->audioStream, -1);
  EXPECT_EQ(VideoDelayForRate(2500), 40);
  EXPECT_EQ(VideoDelayForRate(2997), 33);
  EXPECT_EQ(VideoDelayForRate(0), 100);
  EXPECT_EQ(VideoDelayForRate(-5), 100);
  EXPECT_EQ(VideoDelayForRate(1), 65535);  // 1000 s per frame does not fit 16 bits

  // 29.97 fps for 1 s: 999 / 1000 of 30 frames, rounded down.
  EXPECT_EQ(ParseVideoRecord(Record(1, 2, 2, 1000, 2997))->frameCount, 29);
  // Two hours at 60 fps overflows 32 bits in the product but not in the count.
  EXPECT_EQ(ParseVideoRecord(Record(1, 2, 2, 7200000, 6000))->frameCount, 432000);
  EXPECT_EQ(ParseVideoRecord(Record(1, 2, 2, INT32_MAX, INT32_MAX))->frameCount, INT32_MAX);
  EXPECT_EQ(ParseVideoRecord(Record(1, 2, 2, -40, 2500))->frameCount, 0);
  EXPECT_EQ(ParseVideoRecord(Record(-7, 2, 2, 0, 0))->audioStream, -1);

  // Sizes the program cannot hold are refused before anything is allocated.
  EXPECT_FALSE(ParseVideoRecord(Record(-1, 0, 240, 1000, 2500)));
  EXPECT_FALSE(ParseVideoRecord(Record(-1, 320, -1, 1000, 2500)));
  EXPECT_FALSE(ParseVideoRecord(Record(-1, 1 << 16, 1 << 16, 1000, 2500)));
}

// Real files made with the ffmpeg tool, played through the built component.
class VideoPlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg not installed";
    SetVideoLibraryForTesting(test::BinDir() + "/libFFmpegDLL.so");
    if (!videoLibraryAvailable()) GTEST_SKIP() << "video component not built";
  }
  void TearDown() override {
    state_.StopPlayback();
    SetVideoLibraryForTesting("");
  }

  // A 10 s, 25 fps, 32 x 24 clip of one colour; true when ffmpeg made it.
  bool MakeClip(const std::string& path, const std::string& codec, bool withAudio) {
    std::string cmd = "ffmpeg -v error -y -f lavfi -i color=c=0xFF0000:size=32x24:rate=25:d=10";
    if (withAudio) cmd += " -f lavfi -i sine=frequency=440:duration=10 -c:a aac";
    cmd += " -c:v " + codec + " -pix_fmt yuv420p " + test::ShellQuote(path) + " </dev/null";
    return test::RunShell(cmd) == 0;
  }

  void ExpectPlaysWholeClip(const std::string& path) {
    DecodeResult first = loadVideo(path, state_, /*animate=*/true);
    ASSERT_TRUE(first);
    ASSERT_TRUE(first.isCanvas());
    EXPECT_EQ(first.pixels(), state_.animationCanvas.data());
    EXPECT_EQ(first.width(), 32);
    EXPECT_EQ(first.height(), 24);
    EXPECT_EQ(state_.videoActive, 1);
    EXPECT_EQ(state_.animating, 1);
    EXPECT_TRUE(first.details.detailsValid);
    EXPECT_FALSE(first.details.hasAlpha);
    EXPECT_EQ(state_.frameCount, 250);
    EXPECT_EQ(first.details.videoFrameRate, 2500);
    audioStream_ = first.details.videoAudioStream;
    EXPECT_EQ(state_.FrameDelay(0), 40);
    EXPECT_EQ(videoFrameDelay(state_), 40);
    EXPECT_EQ(state_.LoopLimit(), 0);
    EXPECT_EQ(videoDuration(state_), 10000);
    // Pure red, allowing for the round trip through 4:2:0 YUV.
    const uint8_t* p = first.pixels() + (12 * 32 + 16) * 4;
    EXPECT_LE(p[0], 8);
    EXPECT_LE(p[1], 8);
    EXPECT_GE(p[2], 245);
    EXPECT_EQ(p[3], 255);

    // Later calls step the running playback whatever path they name.
    for (int i = 1; i < 250; ++i) {
      ASSERT_TRUE(loadVideo("ignored.mp4", state_, true)) << "frame " << i;
      ASSERT_EQ(state_.frameIndex, i);
    }
    // After the last frame the video starts again from the first.
    ASSERT_TRUE(loadVideo(path, state_, true));
    EXPECT_EQ(state_.frameIndex, 0);
    ASSERT_TRUE(state_.StepPlayback());
    EXPECT_EQ(state_.frameIndex, 1);

    closeVideo(state_);
    EXPECT_EQ(state_.videoActive, 0);
    EXPECT_EQ(state_.animating, 0);
    EXPECT_TRUE(state_.animationCanvas.empty());
    EXPECT_EQ(videoFrameDelay(state_), 100);
    EXPECT_EQ(videoDuration(state_), 0);
  }

  test::TempDir dir_;
  ViewerState state_;
  int32_t audioStream_ = 0;
};

TEST_F(VideoPlaybackTest, Mp4PlaysAndRestarts) {
  const std::string path = dir_.file("clip.mp4");
  ASSERT_TRUE(MakeClip(path, "mpeg4", false));
  ExpectPlaysWholeClip(path);
  EXPECT_EQ(audioStream_, -1);
}

TEST_F(VideoPlaybackTest, WebmPlaysAndRestarts) {
  const std::string path = dir_.file("clip.webm");
  if (!MakeClip(path, "libvpx", false)) GTEST_SKIP() << "no VP8 encoder";
  ExpectPlaysWholeClip(path);
}

TEST_F(VideoPlaybackTest, AudioStreamAndStillFrame) {
  const std::string path = dir_.file("with audio.mp4");
  ASSERT_TRUE(MakeClip(path, "mpeg4", true));
  DecodeResult still = loadVideo(path, state_, /*animate=*/false);
  ASSERT_TRUE(still);
  EXPECT_TRUE(still.isOwned());  // a copy of the first frame, no playback
  EXPECT_EQ(state_.animating, 0);
  EXPECT_EQ(state_.videoActive, 0);
  EXPECT_GE(still.details.videoAudioStream, 0);
  EXPECT_EQ(still.width(), 32);

  // The dispatch sends an ISO media file to the video loader by its content.
  LoadContext ctx{state_};
  auto picture = LoadPictureFile(path, ctx);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->height(), 24);
}

TEST_F(VideoPlaybackTest, UnreadableFilesYieldNothing) {
  const std::string junk = dir_.file("junk.webm");
  test::WriteBytes(junk, {0x1A, 0x45, 0xDF, 0xA3, 1, 2, 3});
  const DecodeResult junkResult = loadVideo(junk, state_, true);
  EXPECT_FALSE(junkResult);
  EXPECT_FALSE(junkResult.details.detailsValid);
  EXPECT_FALSE(loadVideo(dir_.file("missing.mp4"), state_, true));
  EXPECT_EQ(state_.animating, 0);
}

TEST(VideoLibrary, MissingOrIncompleteComponentIsUnavailable) {
  test::TempDir dir;
  SetVideoLibraryForTesting(dir.file("libFFmpegDLL.so"));
  EXPECT_FALSE(videoLibraryAvailable());
  ViewerState s;
  EXPECT_FALSE(loadVideo(dir.file("a.mp4"), s, true));
  // A library that loads but lacks the exports counts as absent.
  SetVideoLibraryForTesting("libz.so.1");
  EXPECT_FALSE(videoLibraryAvailable());
  SetVideoLibraryForTesting("");
}

}  // namespace
}  // namespace qp
