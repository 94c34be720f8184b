#include "codecs/load_dispatch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>

#include "codecs/jpeg.h"
#include "codecs/png.h"
#include "codecs/qoi.h"
#include "core/file_io.h"
#include "codecs/webp.h"

#include <turbojpeg.h>
#include <webp/encode.h>
#include <webp/mux.h>
#include "support/jpeg_builder.h"
#include "support/test_support.h"

namespace qp {
namespace {

using test::SolidPicture;
using test::TempDir;
using test::WriteBytes;

// Records which paths reached the last fall-back and answers with a 3 x 2 picture.
class FakeSystemDecoder : public SystemImageDecoder {
 public:
  std::optional<ImageBuffer> Decode(const std::string& path) override {
    asked.push_back(path);
    return SolidPicture(3, 2, 0xFF445566);
  }
  std::vector<std::string> asked;
};

class LoadDispatch : public ::testing::Test {
 protected:
  void WriteWebp(const std::string& name) {
    ImageBuffer img = SolidPicture(5, 4, 0xFF102030);
    ASSERT_EQ(EncodeWebP(img.data(), 5, 4, 100, dir.file(name).c_str(), false), nullptr);
  }
  TempDir dir;
  ViewerState state;
  FakeSystemDecoder system;
  LoadContext ctx{state, nullptr, &system};
};

TEST_F(LoadDispatch, ContentWinsOverTheExtension) {
  WriteWebp("really-webp.png");
  auto img = LoadPictureFile(dir.file("really-webp.png"), ctx);
  ASSERT_TRUE(img);
  EXPECT_EQ(img->width(), 5);
  DisplayLoad d = LoadFileForDisplay(dir.file("really-webp.png"), ctx);
  EXPECT_EQ(d.sniffCode, -1);
  EXPECT_TRUE(d.picture);
  EXPECT_FALSE(d.fromSystem);
  EXPECT_TRUE(system.asked.empty());
}

TEST_F(LoadDispatch, ShortFileGoesByExtensionThenFallsBack) {
  WriteBytes(dir.file("a.webp"), {'R', 'I', 'F', 'F', 0});  // 5 bytes: sniffs as 0
  DisplayLoad d = LoadFileForDisplay(dir.file("a.webp"), ctx);
  EXPECT_EQ(d.sniffCode, 0);
  EXPECT_EQ(d.fileSize, 5);
  ASSERT_TRUE(d.picture);
  EXPECT_TRUE(d.fromSystem);
  EXPECT_EQ(system.asked, std::vector<std::string>{dir.file("a.webp")});
}

// QOI never touches the alpha flag, so a flag left by the previous file would make its
// opaque-black alpha bytes count as transparency.
TEST_F(LoadDispatch, DetailsOfThePreviousFileAreClearedBeforeDecoding) {
  ImageBuffer img = SolidPicture(3, 3, 0x00405060);
  ASSERT_EQ(writeQoi(img.data(), 3, 3, dir.file("a.qoi").c_str()), nullptr);
  state.detailsValid = state.hasAlpha = state.vectorSource = 1;
  DisplayLoad d = LoadFileForDisplay(dir.file("a.qoi"), ctx);
  ASSERT_TRUE(d.picture);
  EXPECT_EQ(state.hasAlpha, 0);
  EXPECT_EQ(state.detailsValid, 0);
  EXPECT_EQ(state.vectorSource, 0);
}

// What the decoder learned reaches the state through the load, for the view and for the
// secondary loader alike: a QOI with a transparent pixel sets the alpha flag, the next file
// (an opaque WebP) clears it and records its own details.
TEST_F(LoadDispatch, TheLoadStoresWhatTheDecoderLearned) {
  ImageBuffer img = SolidPicture(3, 3, 0xFF405060);
  img.data()[3] = 0;
  ASSERT_EQ(writeQoi(img.data(), 3, 3, dir.file("t.qoi").c_str()), nullptr);
  WriteWebp("o.webp");
  for (bool display : {true, false}) {
    SCOPED_TRACE(display);
    auto load = [&](const std::string& name) {
      if (display) return static_cast<bool>(LoadFileForDisplay(dir.file(name), ctx).picture);
      DecodeDetails details;
      const bool ok = LoadPictureFile(dir.file(name), ctx, &details).has_value();
      EXPECT_EQ(details.hasAlpha, state.hasAlpha != 0);
      return ok;
    };
    ASSERT_TRUE(load("t.qoi"));
    EXPECT_EQ(state.hasAlpha, 1);
    ASSERT_TRUE(load("o.webp"));
    EXPECT_EQ(state.hasAlpha, 0);
    EXPECT_EQ(state.detailsValid, 1);
    EXPECT_EQ(state.webpLossless, 1);
  }
}

TEST_F(LoadDispatch, EmptyAndMissingFilesSkipEveryDecoder) {
  WriteBytes(dir.file("empty.webp"), {});
  DisplayLoad d = LoadFileForDisplay(dir.file("empty.webp"), ctx);
  EXPECT_EQ(d.sniffCode, 8);
  EXPECT_FALSE(d.picture);
  EXPECT_FALSE(LoadPictureFile(dir.file("empty.webp"), ctx));
  EXPECT_EQ(LoadFileForDisplay(dir.file("missing.webp"), ctx).sniffCode, 7);
  EXPECT_FALSE(LoadPictureFile(dir.file("missing.webp"), ctx));
  EXPECT_TRUE(system.asked.empty());
}

// A FIFO or a folder under a picture's name gives nothing at once; no reader may block on it
// (a hang here ends in the test's time-out).
TEST_F(LoadDispatch, PipesAndFoldersNeverBlockTheReaders) {
  TempDir d;
  ASSERT_EQ(::mkfifo(d.file("pipe.jpg").c_str(), 0600), 0);
  ASSERT_EQ(::mkdir(d.file("folder.png").c_str(), 0700), 0);
  for (const char* name : {"pipe.jpg", "folder.png"}) {
    const std::string path = d.file(name);
    EXPECT_FALSE(LoadJpeg(path)) << name;
    EXPECT_FALSE(LoadPng(path)) << name;
    EXPECT_FALSE(ReadWholeFile(path)) << name;
  }
}

TEST_F(LoadDispatch, UnknownExtensionReachesTheSystemDecoderLast) {
  WriteBytes(dir.file("a.xyz"), std::vector<uint8_t>(32, 7));
  auto img = LoadPictureFile(dir.file("a.xyz"), ctx);
  ASSERT_TRUE(img);
  EXPECT_EQ(img->width(), 3);
  // Without an extension only the external library is asked, never the system decoder.
  WriteBytes(dir.file("README"), std::vector<uint8_t>(32, 7));
  EXPECT_FALSE(LoadPictureFile(dir.file("README"), ctx));
  EXPECT_EQ(system.asked.size(), 1u);
}

TEST_F(LoadDispatch, AnimatedFilesGiveTheConverterAnOwnedFirstFrame) {
  // A two-frame animation assembled with the encoder's animation API.
  WebPAnimEncoderOptions opts;
  ASSERT_TRUE(WebPAnimEncoderOptionsInit(&opts));
  WebPAnimEncoder* enc = WebPAnimEncoderNew(4, 4, &opts);
  WebPConfig config;
  WebPConfigInit(&config);
  config.lossless = 1;
  for (int i = 0; i < 2; ++i) {
    ImageBuffer frame = SolidPicture(4, 4, i == 0 ? 0xFFFF0000 : 0xFF0000FF);
    WebPPicture pic;
    WebPPictureInit(&pic);
    pic.width = pic.height = 4;
    pic.use_argb = 1;
    WebPPictureImportBGRA(&pic, frame.data(), 16);
    ASSERT_TRUE(WebPAnimEncoderAdd(enc, &pic, i * 100, &config));
    WebPPictureFree(&pic);
  }
  WebPAnimEncoderAdd(enc, nullptr, 200, nullptr);
  WebPData data;
  WebPDataInit(&data);
  ASSERT_TRUE(WebPAnimEncoderAssemble(enc, &data));
  WriteBytes(dir.file("anim.webp"), std::vector<uint8_t>(data.bytes, data.bytes + data.size));
  WebPDataClear(&data);
  WebPAnimEncoderDelete(enc);

  auto img = LoadPictureFile(dir.file("anim.webp"), ctx);
  ASSERT_TRUE(img);
  EXPECT_EQ(test::PixelAt(*img, 0, 0), 0xFFFF0000u);
  EXPECT_EQ(state.animating, 0);
  DisplayLoad d = LoadFileForDisplay(dir.file("anim.webp"), ctx);
  EXPECT_TRUE(d.picture.isCanvas());
  EXPECT_EQ(state.frameCount, 2);
}

}  // namespace
}  // namespace qp

namespace qp {
namespace {

// The mean of one channel over a picture, to compare pictures of different sizes.
double MeanOf(const ImageBuffer& img, int channel) {
  double sum = 0;
  for (int32_t y = 0; y < img.height(); ++y)
    for (int32_t x = 0; x < img.width(); ++x) sum += img.pixel(x, y)[channel];
  return sum / (double{1} * img.width() * img.height());
}

TEST(ScaledDecode, JpegAndWebPDecodeAtTheLeastSizeTheTargetNeeds) {
  TempDir dir;
  // Left half blue-ish, right half red-ish, with a vertical ramp in green.
  const ImageBuffer full = test::MakePicture(800, 600, [](int32_t x, int32_t y) {
    return 0xFF000000u | (x < 400 ? 0x200000u : 0xE00000u) | (static_cast<uint32_t>(y * 255 / 599) << 8) |
           (x < 400 ? 0xE0u : 0x20u);
  });
  const std::string jpeg = dir.file("photo.jpg"), webp = dir.file("photo.webp"),
                    named = dir.file("jpeg.png"), png = dir.file("plain.png");
  ASSERT_EQ(SaveJpeg(full.data(), 800, 600, 95, jpeg.c_str()), nullptr);
  ASSERT_EQ(SaveJpeg(full.data(), 800, 600, 95, named.c_str()), nullptr);
  ASSERT_EQ(EncodeWebP(full.data(), 800, 600, 90, webp.c_str(), false), nullptr);
  ASSERT_EQ(SavePng(full.data(), 800, 600, 100, png.c_str()), nullptr);
  struct Case {
    std::string path;
    std::pair<int32_t, int32_t> target;
    int32_t width, height;  // what comes out
  };
  const std::vector<Case> cases = {
      {jpeg, {100, 75}, 100, 75},    // 1/8
      {jpeg, {101, 75}, 200, 150},   // one pixel more: 2/8
      {jpeg, {300, 10}, 300, 225},   // the larger need decides: 3/8
      {jpeg, {0, 0}, 800, 600},      // no target: full size
      {jpeg, {5000, 5000}, 800, 600},
      {named, {100, 75}, 100, 75},   // by content, whatever the name
      {webp, {160, 120}, 160, 120},  // WebP scales to the target itself
      {webp, {0, 0}, 800, 600},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + " " + std::to_string(c.target.first));
    int32_t sniff = 0;
    int64_t size = 0;
    std::optional<ScaledPicture> p = LoadFileScaledOffUiThread(
        c.path, [&](int32_t w, int32_t h) {
          EXPECT_EQ(w, 800);
          EXPECT_EQ(h, 600);
          return c.target;
        },
        sniff, size);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->picture.width(), c.width);
    EXPECT_EQ(p->picture.height(), c.height);
    EXPECT_EQ(p->fullWidth, 800);
    EXPECT_EQ(p->fullHeight, 600);
    EXPECT_TRUE(p->details.detailsValid);
    EXPECT_GT(size, 0);
    // The same picture, smaller: both halves keep their colours; alpha as the full decoder
    // gives it (JPEG's filler cleared, an opaque WebP's 255).
    for (int ch : {0, 1, 2}) EXPECT_NEAR(MeanOf(p->picture, ch), MeanOf(full, ch), 4.0) << ch;
    EXPECT_NEAR(p->picture.pixel(c.width / 4, c.height / 2)[0], 0xE0, 12);
    EXPECT_NEAR(p->picture.pixel(c.width * 3 / 4, c.height / 2)[2], 0xE0, 12);
    EXPECT_EQ(p->picture.pixel(0, 0)[3], c.path == webp ? 255 : 0);
  }
  // A decode for the worker stops when it is cancelled (a step made it stale).
  std::atomic<bool> cancel{true};
  EXPECT_FALSE(LoadFileOffUiThread(jpeg, true, &cancel));
  cancel = false;
  const std::optional<DisplayLoad> whole = LoadFileOffUiThread(jpeg, true, &cancel);
  ASSERT_TRUE(whole && whole->picture.owned());
  EXPECT_EQ(whole->picture.owned()->width(), 800);
  // Formats without a reduced decode, and broken files, give nothing.
  const ScaledTarget any = [](int32_t, int32_t) { return std::pair<int32_t, int32_t>{10, 10}; };
  int32_t sniff = 0;
  int64_t size = 0;
  EXPECT_FALSE(LoadFileScaledOffUiThread(png, any, sniff, size));
  EXPECT_FALSE(LoadFileScaledOffUiThread(dir.file("missing.jpg"), any, sniff, size));
  WriteBytes(dir.file("broken.jpg"), {0xFF, 0xD8, 0xFF, 0xE0, 0, 0, 0, 0});
  EXPECT_FALSE(LoadFileScaledOffUiThread(dir.file("broken.jpg"), any, sniff, size));
}

TEST(ScaledDecode, APartAtFullSizeHoldsExactlyThosePixelsOfTheFullDecodeUpright) {
  TempDir dir;
  // A busy picture of odd size, so that chroma upsampling at the edges of a crop or a skip
  // would show; stored with all chroma and with halved chroma in both directions.
  const ImageBuffer stored = test::MakePicture(517, 389, [](int32_t x, int32_t y) {
    const uint32_t v = static_cast<uint32_t>(x * 7919 + y * 104729);
    return 0xFF000000u | ((v >> 3) & 0xFFu) << 16 | ((x * 3 + y) & 0xFFu) << 8 | ((v >> 11) & 0xFFu);
  });
  std::vector<std::pair<std::string, std::vector<uint8_t>>> files;
  for (int sampling : {TJSAMP_444, TJSAMP_420}) {
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    ASSERT_EQ(tjCompress2(tj, stored.data(), 517, 0, 389, TJPF_BGRX, &out, &size, sampling, 90, 0), 0);
    files.emplace_back(sampling == TJSAMP_444 ? "444" : "420", std::vector<uint8_t>(out, out + size));
    tjFree(out);
    tjDestroy(tj);
  }
  // Within the picture, at its corners and edges, and reaching past it (clamped).
  const std::vector<OrientedRect> parts = {
      {37, 53, 338, 230}, {0, 0, 64, 64}, {300, 200, 517, 389}, {100, 0, 389, 517}, {-20, 370, 90, 600}};
  for (const auto& [name, bytes] : files) {
    for (int orientation : {1, 3, 6, 7}) {
      const std::string path = dir.file(name + "-" + std::to_string(orientation) + ".jpg");
      std::vector<uint8_t> tagged = bytes;
      const std::vector<uint8_t> seg = test::OrientationSegment(static_cast<uint16_t>(orientation), false);
      tagged.insert(tagged.begin() + 2, seg.begin(), seg.end());
      WriteBytes(path, tagged);
      const std::optional<DisplayLoad> whole = LoadFileOffUiThread(path, true);
      ASSERT_TRUE(whole && whole->picture.owned());
      const ImageBuffer& full = *whole->picture.owned();
      for (const OrientedRect& want : parts) {
        SCOPED_TRACE(path + " " + std::to_string(want.left) + "," + std::to_string(want.top));
        int32_t sniff = 0;
        int64_t size = 0;
        std::optional<ScaledPicture> part = LoadFileRegionOffUiThread(
            path, [&](int32_t w, int32_t h) -> std::optional<OrientedRect> {
              EXPECT_EQ(w, full.width());  // the upright size
              EXPECT_EQ(h, full.height());
              return want;
            },
            sniff, size);
        const OrientedRect r{std::max(want.left, 0), std::max(want.top, 0),
                             std::min(want.right, full.width()), std::min(want.bottom, full.height())};
        if (r.right <= r.left || r.bottom <= r.top) {
          EXPECT_FALSE(part);
          continue;
        }
        ASSERT_TRUE(part);
        EXPECT_EQ(part->region, r);
        EXPECT_EQ(part->fullWidth, full.width());
        EXPECT_EQ(part->fullHeight, full.height());
        ASSERT_EQ(part->picture.width(), r.right - r.left);
        ASSERT_EQ(part->picture.height(), r.bottom - r.top);
        int32_t wrong = 0;
        for (int32_t y = r.top; y < r.bottom; ++y)
          wrong += std::memcmp(part->picture.row(y - r.top), full.row(y) + size_t(r.left) * 4,
                               size_t(r.right - r.left) * 4) != 0;
        EXPECT_EQ(wrong, 0);
      }
    }
  }
  // Nothing asked, another format, a broken file: no picture.
  int32_t sniff = 0;
  int64_t size = 0;
  const RegionTarget none = [](int32_t, int32_t) { return std::optional<OrientedRect>{}; };
  EXPECT_FALSE(LoadFileRegionOffUiThread(dir.file("444-1.jpg"), none, sniff, size));
  const RegionTarget any = [](int32_t, int32_t) { return std::optional<OrientedRect>{{0, 0, 8, 8}}; };
  ASSERT_EQ(SavePng(stored.data(), 517, 389, 100, dir.file("plain.png").c_str()), nullptr);
  EXPECT_FALSE(LoadFileRegionOffUiThread(dir.file("plain.png"), any, sniff, size));
  WriteBytes(dir.file("broken.jpg"), {0xFF, 0xD8, 0xFF, 0xE0, 0, 0, 0, 0});
  EXPECT_FALSE(LoadFileRegionOffUiThread(dir.file("broken.jpg"), any, sniff, size));
}

}  // namespace
}  // namespace qp
