#include "codecs/webp.h"

#include <gtest/gtest.h>
#include <webp/decode.h>
#include <webp/encode.h>
#include <webp/mux.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "support/test_support.h"

namespace qp {
namespace {

using test::MakePicture;
using test::PixelAt;
using test::ReadBytes;
using test::SolidPicture;
using test::TempDir;
using test::WriteBytes;

std::vector<uint8_t> EncodeLossless(const ImageBuffer& img) {
  uint8_t* out = nullptr;
  const size_t size =
      WebPEncodeLosslessBGRA(img.data(), img.width(), img.height(), img.width() * 4, &out);
  std::vector<uint8_t> bytes(out, out + size);
  WebPFree(out);
  return bytes;
}

struct FrameSpec {
  ImageBuffer picture;
  int x = 0, y = 0;
  int duration = 100;
  WebPMuxAnimDispose dispose = WEBP_MUX_DISPOSE_NONE;
  WebPMuxAnimBlend blend = WEBP_MUX_BLEND;
};

// Assembles an animated file frame by frame, so every offset, dispose and blend method is
// exactly what the test says.
std::vector<uint8_t> BuildAnimation(int canvasW, int canvasH, uint32_t background, int loops,
                                    std::vector<FrameSpec>& frames) {
  WebPMux* mux = WebPMuxNew();
  std::vector<std::vector<uint8_t>> encoded;
  for (FrameSpec& f : frames) {
    encoded.push_back(EncodeLossless(f.picture));
    WebPMuxFrameInfo info{};
    info.bitstream = {encoded.back().data(), encoded.back().size()};
    info.x_offset = f.x;
    info.y_offset = f.y;
    info.duration = f.duration;
    info.id = WEBP_CHUNK_ANMF;
    info.dispose_method = f.dispose;
    info.blend_method = f.blend;
    EXPECT_EQ(WebPMuxPushFrame(mux, &info, 1), WEBP_MUX_OK);
  }
  WebPMuxAnimParams params{background, loops};
  EXPECT_EQ(WebPMuxSetAnimationParams(mux, &params), WEBP_MUX_OK);
  EXPECT_EQ(WebPMuxSetCanvasSize(mux, canvasW, canvasH), WEBP_MUX_OK);
  WebPData assembled;
  WebPDataInit(&assembled);
  EXPECT_EQ(WebPMuxAssemble(mux, &assembled), WEBP_MUX_OK);
  std::vector<uint8_t> bytes(assembled.bytes, assembled.bytes + assembled.size);
  WebPDataClear(&assembled);
  WebPMuxDelete(mux);
  return bytes;
}

TEST(WebpStill, LosslessWithAlphaAndLossyWithoutSetTheFlags) {
  TempDir dir;
  ImageBuffer alpha = MakePicture(8, 8, [](int x, int) { return x < 4 ? 0x80FF0000u : 0xFF00FF00u; });
  ASSERT_EQ(EncodeWebP(alpha.data(), 8, 8, 100, dir.file("a.webp").c_str(), true), nullptr);
  ViewerState s;
  DecodeResult r = LoadWebP(dir.file("a.webp"), s, true);
  ASSERT_TRUE(r.isOwned());
  EXPECT_EQ(r.details.webpLossless, 1);
  EXPECT_EQ(r.details.webpHasAlpha, 1);
  EXPECT_TRUE(r.details.hasAlpha);
  EXPECT_TRUE(r.details.detailsValid);
  EXPECT_EQ(s.animating, 0);
  ImageBuffer back = r.takeOwned();
  EXPECT_EQ(std::vector<uint8_t>(back.bytes().begin(), back.bytes().end()),
            std::vector<uint8_t>(alpha.bytes().begin(), alpha.bytes().end()));

  ImageBuffer opaque = test::RandomPicture(16, 9, 7);
  ASSERT_EQ(EncodeWebP(opaque.data(), 16, 9, 0, dir.file("b.webp").c_str(), false), nullptr);
  r = LoadWebP(dir.file("b.webp"), s, false);
  ASSERT_TRUE(r);
  EXPECT_EQ(r.width(), 16);
  EXPECT_EQ(r.height(), 9);
  EXPECT_EQ(r.details.webpLossless, 0);
  EXPECT_EQ(r.details.webpHasAlpha, 0);
  EXPECT_FALSE(r.details.hasAlpha);
  EXPECT_TRUE(r.details.detailsValid);
}

TEST(WebpEncode, QualityRulesAndAlpha) {
  TempDir dir;
  // Every alpha at least 1: the encoder may drop the colour of fully transparent pixels.
  ImageBuffer img = test::RandomPicture(33, 17, 3, /*withAlpha=*/true);
  for (size_t i = 0; i < img.pixelCount(); ++i) img.data()[i * 4 + 3] |= 1;
  auto features = [&](const char* name) {
    const auto bytes = ReadBytes(dir.file(name));
    WebPBitstreamFeatures f;
    EXPECT_EQ(WebPGetFeatures(bytes.data(), bytes.size(), &f), VP8_STATUS_OK);
    return f;
  };
  // Quality 100: lossless, exact round trip including alpha.
  ASSERT_EQ(EncodeWebP(img.data(), 33, 17, 100, dir.file("l.webp").c_str(), true), nullptr);
  EXPECT_EQ(features("l.webp").format, 2);
  ViewerState s;
  ImageBuffer back = LoadWebP(dir.file("l.webp"), s, false).takeOwned();
  ASSERT_FALSE(back.empty());
  EXPECT_EQ(0, std::memcmp(back.data(), img.data(), img.byteSize()));
  // Quality 0 keeps the lossy default.
  ASSERT_EQ(EncodeWebP(img.data(), 33, 17, 0, dir.file("z.webp").c_str(), true), nullptr);
  EXPECT_EQ(features("z.webp").format, 1);
  // Without hasAlpha the file carries no alpha, lossless or lossy.
  ASSERT_EQ(EncodeWebP(img.data(), 33, 17, 100, dir.file("n.webp").c_str(), false), nullptr);
  EXPECT_FALSE(features("n.webp").has_alpha);
  ASSERT_EQ(EncodeWebP(img.data(), 33, 17, 60, dir.file("m.webp").c_str(), false), nullptr);
  EXPECT_FALSE(features("m.webp").has_alpha);
  // No path: encodes, writes nothing.
  EXPECT_EQ(EncodeWebP(img.data(), 33, 17, 80, nullptr, true), nullptr);
}

bool DevFullRefusesWrites() {
  std::FILE* f = std::fopen("/dev/full", "wb");
  if (f == nullptr) return false;
  const char byte = 0;
  const bool failed = std::fwrite(&byte, 1, 1, f) != 1 || std::fflush(f) != 0;
  std::fclose(f);
  return failed;
}

TEST(WebpEncode, FailuresAreReportedWithTheirTexts) {
  TempDir dir;
  ImageBuffer img = SolidPicture(4, 4, 0xFF000000);
  EXPECT_STREQ(EncodeWebP(img.data(), 4, 4, 80, (dir.path() + "/no/such/x.webp").c_str(), false),
               "Could not write file");
  EXPECT_STREQ(EncodeWebP(img.data(), 4, 4, 101, dir.file("x.webp").c_str(), false),
               "Invalid config");
  EXPECT_STREQ(EncodeWebP(nullptr, 4, 4, 80, dir.file("x.webp").c_str(), true),
               "Could not read RGBA");
  EXPECT_STREQ(EncodeWebP(img.data(), 0, 4, 80, dir.file("x.webp").c_str(), false),
               "Could not read RGB");
  EXPECT_STREQ(EncodeWebP(img.data(), 4, 0, 80, dir.file("x.webp").c_str(), true),
               "Could not read RGBA");
  // A full disk shows up as a failed encode, never as success, and the device stays. Only
  // checked where /dev/full is the real device that refuses every write.
  struct stat before {};
  if (::stat("/dev/full", &before) == 0 && S_ISCHR(before.st_mode) && DevFullRefusesWrites()) {
    ImageBuffer big = test::RandomPicture(64, 64, 1);
    EXPECT_NE(EncodeWebP(big.data(), 64, 64, 100, "/dev/full", false), nullptr);
    struct stat after {};
    ASSERT_EQ(::stat("/dev/full", &after), 0);
    EXPECT_TRUE(S_ISCHR(after.st_mode));
  }
}

class WebpAnimation : public ::testing::Test {
 protected:
  // Canvas 100 x 100 with a non-white background; frame 1 red over all, frame 2 green at
  // (10, 20) 30 x 40 disposed to the background, frame 3 a blue 2 x 2 at (90, 90).
  void SetUp() override {
    std::vector<FrameSpec> frames;
    frames.push_back({SolidPicture(100, 100, 0xFFFF0000), 0, 0, 0});
    frames.push_back({SolidPicture(30, 40, 0xFF00FF00), 10, 20, 50, WEBP_MUX_DISPOSE_BACKGROUND});
    frames.push_back({SolidPicture(2, 2, 0xFF0000FF), 90, 90, 200});
    WriteBytes(path(), BuildAnimation(100, 100, kBackground, 3, frames));
  }
  std::string path() const { return dir.file("anim.webp"); }
  static constexpr uint32_t kBackground = 0x80123456;
  TempDir dir;
  ViewerState s;
};

TEST_F(WebpAnimation, DelaysLoopLimitAndTotal) {
  DecodeResult r = LoadWebP(path(), s, true);
  ASSERT_TRUE(r.isCanvas());
  EXPECT_EQ(r.pixels(), s.animationCanvas.data());
  EXPECT_EQ(s.animating, 1);
  EXPECT_EQ(s.webpAnimated, 1);
  EXPECT_EQ(s.frameCount, 3);
  EXPECT_EQ(s.frameIndex, 0);
  EXPECT_EQ(WebpFrameDelay(s, 0), 100);  // stored 0 plays as 100 ms
  EXPECT_EQ(WebpFrameDelay(s, 1), 50);
  EXPECT_EQ(WebpFrameDelay(s, 2), 200);
  EXPECT_EQ(WebpFrameDelay(s, 3), 100);
  EXPECT_EQ(s.FrameDelay(1), 50);
  EXPECT_EQ(WebpTotalDuration(s), 350u);
  EXPECT_EQ(WebpLoopCount(s), 3);
  EXPECT_EQ(s.LoopLimit(), 4);
  s.StopPlayback();
  EXPECT_EQ(s.webpAnimated, 0);
  EXPECT_EQ(WebpTotalDuration(s), 0u);
}

TEST_F(WebpAnimation, DisposeToBackgroundClearsExactlyTheFrameRectangle) {
  ASSERT_TRUE(LoadWebP(path(), s, true));
  EXPECT_EQ(PixelAt(s.animationCanvas, 50, 50), 0xFFFF0000u);
  ASSERT_TRUE(LoadWebP(path(), s, true).isCanvas());  // frame 2
  EXPECT_EQ(s.frameIndex, 1);
  EXPECT_EQ(PixelAt(s.animationCanvas, 10, 20), 0xFF00FF00u);
  ASSERT_TRUE(LoadWebP(path(), s, true));  // frame 3
  const ImageBuffer& c = s.animationCanvas;
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 100; ++x) {
      uint32_t want = 0xFFFF0000u;
      if (x >= 10 && x <= 39 && y >= 20 && y <= 59) want = kBackground;
      if (x >= 90 && x <= 91 && y >= 90 && y <= 91) want = 0xFF0000FFu;
      ASSERT_EQ(PixelAt(c, x, y), want) << x << "," << y;
    }
  }
  // The step after the last frame shows frame 1 again, composed over what is there.
  ASSERT_TRUE(LoadWebP("ignored while playing", s, true));
  EXPECT_EQ(s.frameIndex, 0);
  EXPECT_EQ(PixelAt(c, 91, 91), 0xFFFF0000u);
}

TEST_F(WebpAnimation, ASecondaryReadGetsItsOwnFrameAndLeavesThePlaybackAlone) {
  ASSERT_TRUE(LoadWebP(path(), s, true));
  ASSERT_TRUE(LoadWebP(path(), s, true));
  const uint8_t* canvas = s.animationCanvas.data();
  DecodeResult copy = LoadWebP(path(), s, false);
  ASSERT_TRUE(copy.isOwned());
  EXPECT_NE(copy.pixels(), canvas);
  EXPECT_EQ(s.frameIndex, 1);
  EXPECT_EQ(s.animationCanvas.data(), canvas);
  ImageBuffer first = copy.takeOwned();
  EXPECT_EQ(PixelAt(first, 15, 25), 0xFFFF0000u);  // frame 1, not the playing frame 2
  EXPECT_EQ(PixelAt(s.animationCanvas, 15, 25), 0xFF00FF00u);
}

TEST(WebpAnimationBackground, WhiteOfAnyAlphaFillsOpaqueWhite) {
  TempDir dir;
  for (uint32_t background : {0x00FFFFFFu, 0x7FFFFFFFu, 0x00000000u, 0x40302010u}) {
    std::vector<FrameSpec> frames;
    frames.push_back({SolidPicture(4, 4, 0x00000000), 0, 0, 10});  // fully transparent
    frames.push_back({SolidPicture(2, 2, 0xFF000000), 0, 0, 10});
    WriteBytes(dir.file("bg.webp"), BuildAnimation(6, 6, background, 0, frames));
    ViewerState s;
    ImageBuffer first = LoadWebP(dir.file("bg.webp"), s, false).takeOwned();
    ASSERT_FALSE(first.empty());
    const uint32_t want = (background & 0xFFFFFF) == 0xFFFFFF ? 0xFFFFFFFFu : background;
    EXPECT_EQ(PixelAt(first, 5, 5), want) << std::hex << background;
    EXPECT_EQ(PixelAt(first, 1, 1), want) << std::hex << background;
    EXPECT_EQ(s.animating, 0);
  }
}

TEST(WebpAnimationBackground, NoBlendFrameClearsItsRectangleFirst) {
  TempDir dir;
  std::vector<FrameSpec> frames;
  frames.push_back({SolidPicture(8, 8, 0xFFFF0000), 0, 0, 10});
  // Half transparent frame at (2, 2) that does not blend: its transparent half shows the
  // background, not the red below.
  frames.push_back({MakePicture(4, 4, [](int x, int) { return x < 2 ? 0u : 0xFF00FF00u; }), 2, 2,
                    10, WEBP_MUX_DISPOSE_NONE, WEBP_MUX_NO_BLEND});
  WriteBytes(dir.file("nb.webp"), BuildAnimation(8, 8, 0xFF000000, 0, frames));
  ViewerState s;
  ASSERT_TRUE(LoadWebP(dir.file("nb.webp"), s, true));
  EXPECT_EQ(s.LoopLimit(), 0);  // loop count 0: endless
  ASSERT_TRUE(LoadWebP(dir.file("nb.webp"), s, true));
  EXPECT_EQ(PixelAt(s.animationCanvas, 2, 2), 0xFF000000u);
  EXPECT_EQ(PixelAt(s.animationCanvas, 4, 2), 0xFF00FF00u);
  EXPECT_EQ(PixelAt(s.animationCanvas, 1, 1), 0xFFFF0000u);
}

TEST(WebpMalformed, TruncatedAndCorruptedFilesYieldNothing) {
  TempDir dir;
  ImageBuffer img = test::RandomPicture(40, 30, 9, true);
  ASSERT_EQ(EncodeWebP(img.data(), 40, 30, 70, dir.file("s.webp").c_str(), true), nullptr);
  std::vector<FrameSpec> frames;
  frames.push_back({SolidPicture(10, 10, 0xFFFF0000), 0, 0, 10});
  frames.push_back({SolidPicture(4, 4, 0xFF00FF00), 2, 2, 10});
  const std::vector<std::vector<uint8_t>> files = {ReadBytes(dir.file("s.webp")),
                                                   BuildAnimation(10, 10, 0, 0, frames)};
  for (const auto& whole : files) {
    for (size_t len = 0; len < whole.size(); len += 1 + len / 8) {
      std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(len));
      ViewerState s;
      EXPECT_FALSE(LoadWebPFromMemory(cut, s, true)) << "length " << len;
      EXPECT_EQ(s.animating, 0);
    }
    // Corrupted header fields: sizes, chunk tags, canvas size. Must not crash; whatever
    // decodes must have sane dimensions.
    for (size_t at : {4u, 5u, 12u, 13u, 16u, 20u, 24u, 26u, 28u, 30u, 34u}) {
      for (uint8_t v : {uint8_t{0x00}, uint8_t{0xFF}, uint8_t{0x7F}}) {
        std::vector<uint8_t> bad = whole;
        if (at >= bad.size()) continue;
        bad[at] = v;
        ViewerState s;
        DecodeResult r = LoadWebPFromMemory(bad, s, true);
        if (r) {
          EXPECT_TRUE(PictureBytes(r.width(), r.height()));
        }
        s.StopPlayback();
      }
    }
  }
  ViewerState s;
  EXPECT_FALSE(LoadWebP(dir.file("missing.webp"), s, true));
}

// Parses a binary PAM (P7, RGB_ALPHA) as written by dwebp -pam.
bool ReadPam(const std::string& path, int& w, int& h, std::vector<uint8_t>& rgba) {
  std::ifstream in(path, std::ios::binary);
  std::string line;
  w = h = 0;
  while (std::getline(in, line) && line != "ENDHDR") {
    std::istringstream ls(line);
    std::string key;
    ls >> key;
    if (key == "WIDTH") ls >> w;
    if (key == "HEIGHT") ls >> h;
  }
  rgba.resize(static_cast<size_t>(w) * h * 4);
  in.read(reinterpret_cast<char*>(rgba.data()), static_cast<std::streamsize>(rgba.size()));
  return w > 0 && h > 0 && in.gcount() == static_cast<std::streamsize>(rgba.size());
}

TEST(WebpReference, DecodeMatchesDwebpPixelForPixel) {
  if (!test::HaveTool("dwebp")) GTEST_SKIP() << "dwebp not installed";
  TempDir dir;
  ImageBuffer img = MakePicture(97, 61, [](int x, int y) {
    return 0xFF000000u | uint32_t((x * 7 + y * 3) & 255) << 16 | uint32_t((x * y) & 255) << 8 |
           uint32_t((255 - x * 2) & 255);
  });
  for (bool alpha : {false, true}) {
    if (alpha) StorePixel(img.pixel(3, 3), 0x40FFFFFF);
    ASSERT_EQ(EncodeWebP(img.data(), 97, 61, 75, dir.file("r.webp").c_str(), alpha), nullptr);
    ASSERT_EQ(test::RunShell("dwebp -quiet -pam " + dir.file("r.webp") + " -o " + dir.file("r.pam")),
              0);
    int w, h;
    std::vector<uint8_t> rgba;
    ASSERT_TRUE(ReadPam(dir.file("r.pam"), w, h, rgba));
    ViewerState s;
    ImageBuffer ours = LoadWebP(dir.file("r.webp"), s, false).takeOwned();
    ASSERT_EQ(ours.width(), w);
    ASSERT_EQ(ours.height(), h);
    for (size_t i = 0; i < ours.pixelCount(); ++i) {
      const uint8_t* p = ours.data() + i * 4;
      const uint8_t* q = rgba.data() + i * 4;
      ASSERT_TRUE(p[0] == q[2] && p[1] == q[1] && p[2] == q[0] && p[3] == q[3]) << "pixel " << i;
    }
  }
}

}  // namespace
}  // namespace qp
