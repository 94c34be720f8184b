#include "codecs/save_dispatch.h"

#include <gtest/gtest.h>

#include "codecs/ico.h"
#include "codecs/qoi.h"
#include "codecs/webp.h"
#include "core/file_io.h"
#include "frame/settings_store.h"
#include "support/test_support.h"

namespace qp {
namespace {

using test::TempDir;

class Convert : public ::testing::Test {
 protected:
  void SetUp() override {
    ImageBuffer img = test::MakePicture(50, 50, [](int x, int y) {
      return 0xFF000000u | uint32_t(x) << 16 | uint32_t(y);
    });
    ASSERT_EQ(writeQoi(img.data(), 50, 50, src().c_str()), nullptr);
  }
  std::string src() const { return dir.file("src.qoi"); }
  ConvertOutcome Run(const std::string& target, int x1 = -1, int y1 = -1, int x2 = -1,
                     int y2 = -1, int overwrite = 0) {
    ConvertRequest r;
    r.source = src();
    r.target = target;
    r.x1 = x1, r.y1 = y1, r.x2 = x2, r.y2 = y2;
    r.overwrite = overwrite;
    return ConvertFile(r, ctx, store);
  }
  std::optional<ImageBuffer> Read(const std::string& path) { return readQoi(path).toOwned(); }

  TempDir dir;
  ViewerState state;
  LoadContext ctx{state, nullptr, nullptr};
  MemorySettingsBackend backend;
  SettingsStore store{backend};
};

TEST_F(Convert, CropRules) {
  ASSERT_EQ(Run(dir.file("c1.qoi"), 10, 10, 5, 20), ConvertOutcome::Written);  // x2 <= x1
  EXPECT_EQ(Read(dir.file("c1.qoi"))->width(), 50);
  ASSERT_EQ(Run(dir.file("c2.qoi"), 0, 0, 99, 49), ConvertOutcome::Written);  // x2 clamped
  auto c2 = Read(dir.file("c2.qoi"));
  EXPECT_EQ(c2->width(), 50);
  EXPECT_EQ(c2->height(), 50);
  ASSERT_EQ(Run(dir.file("c3.qoi"), 60, 0, 70, 10), ConvertOutcome::Written);  // outside
  EXPECT_EQ(Read(dir.file("c3.qoi"))->width(), 50);
  ASSERT_EQ(Run(dir.file("c4.qoi"), 10, 20, 19, 24), ConvertOutcome::Written);
  auto c4 = Read(dir.file("c4.qoi"));
  ASSERT_EQ(c4->width(), 10);
  ASSERT_EQ(c4->height(), 5);
  // An opaque picture is written with three channels and reads back with alpha 0.
  EXPECT_EQ(test::PixelAt(*c4, 0, 0), 0x000A0014u);
  EXPECT_EQ(test::PixelAt(*c4, 9, 4), 0x00130018u);
}

TEST_F(Convert, NeverOverwritesWithoutBeingAsked) {
  test::WriteBytes(dir.file("t.qoi"), {1, 2, 3});
  EXPECT_EQ(Run(dir.file("t.qoi")), ConvertOutcome::TargetExists);
  EXPECT_EQ(test::ReadBytes(dir.file("t.qoi")), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(Run(dir.file("t.qoi"), -1, -1, -1, -1, 1), ConvertOutcome::Written);
  EXPECT_TRUE(Read(dir.file("t.qoi")));
}

TEST_F(Convert, IconsAbove255AreSilentlySkippedAndUnknownTargetsWriteNothing) {
  ImageBuffer wide = test::SolidPicture(256, 10, 0xFF000000);
  ASSERT_EQ(writeQoi(wide.data(), 256, 10, src().c_str()), nullptr);
  EXPECT_EQ(Run(dir.file("w.ico")), ConvertOutcome::NotWritten);
  EXPECT_FALSE(CanOpenForRead(dir.file("w.ico")));
  EXPECT_EQ(Run(dir.file("w.xyz")), ConvertOutcome::NotWritten);
  EXPECT_FALSE(CanOpenForRead(dir.file("w.xyz")));
  ConvertRequest missing;
  missing.source = dir.file("missing.png");
  missing.target = dir.file("m.qoi");
  EXPECT_EQ(ConvertFile(missing, ctx, store), ConvertOutcome::SourceUnreadable);
}

TEST_F(Convert, WebpTargetsUseTheQualityRules) {
  ASSERT_EQ(Run(dir.file("noext")), ConvertOutcome::Written);  // no extension: WebP
  const auto bytes = test::ReadBytes(dir.file("noext"));
  ASSERT_GT(bytes.size(), 12u);
  EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 12), "WEBP");
  ConvertRequest r;
  r.source = src();
  r.target = dir.file("l.webp");
  r.lossless = 1;
  ASSERT_EQ(ConvertFile(r, ctx, store), ConvertOutcome::Written);
  auto back = LoadPictureFile(dir.file("l.webp"), ctx);
  ASSERT_TRUE(back);
  EXPECT_EQ(state.webpLossless, 1);
  EXPECT_EQ(test::PixelAt(*back, 7, 9), 0xFF070009u);
}

TEST(SaveTable, ExtensionsAndTheirLibraryFormats) {
  EXPECT_EQ(LibraryFormatFor("a.BMP")->format, 0);
  EXPECT_EQ(LibraryFormatFor("a.jp2")->format, 31);
  EXPECT_EQ(LibraryFormatFor("a.j2k")->format, 30);
  EXPECT_EQ(LibraryFormatFor("a.targa")->format, 17);
  EXPECT_EQ(LibraryFormatFor("a.tif")->format, 18);
  EXPECT_FALSE(LibraryFormatFor("a.png"));
  ImageBuffer big = test::SolidPicture(256, 10, 0xFF000000);
  EXPECT_EQ(SaveByExtension(big, false, "/tmp/x.ico", 80, 75, PluginOrder::AfterQoi, nullptr).status,
            SaveStatus::IconTooLarge);
  EXPECT_EQ(SaveByExtension(big, false, "/tmp/x.zzz", 80, 75, PluginOrder::AfterQoi, nullptr).status,
            SaveStatus::UnknownExtension);
  test::TempDir dir;
  // A WebP failure before the file is opened leaves the existing file alone.
  test::WriteBytes(dir.file("x.webp"), {1, 2, 3});
  const SaveResult r = SaveByExtension(big, false, dir.file("x.webp"), 101, 75,
                                       PluginOrder::AfterQoi, nullptr);
  EXPECT_EQ(r.status, SaveStatus::Failed);
  EXPECT_STREQ(r.message, "Invalid config");
  EXPECT_EQ(test::ReadBytes(dir.file("x.webp")), (std::vector<uint8_t>{1, 2, 3}));
}

TEST(CropPicture, CopiesTheInclusiveRectangle) {
  ImageBuffer img = test::MakePicture(4, 3, [](int x, int y) { return uint32_t(y * 4 + x); });
  ImageBuffer c = CropPicture(std::move(img), 1, 1, 2, 2);
  ASSERT_EQ(c.width(), 2);
  ASSERT_EQ(c.height(), 2);
  EXPECT_EQ(test::PixelAt(c, 0, 0), 5u);
  EXPECT_EQ(test::PixelAt(c, 1, 1), 10u);
  ImageBuffer same = CropPicture(std::move(c), 2, 0, 3, 1);
  EXPECT_EQ(same.width(), 2);  // x1 outside: unchanged
}

}  // namespace
}  // namespace qp

namespace qp {
namespace {

TEST_F(Convert, JpegTakesTheStoredQualityNotTheArgument) {
  ImageBuffer img = test::RandomPicture(64, 64, 5);
  ASSERT_EQ(writeQoi(img.data(), 64, 64, src().c_str()), nullptr);
  auto size = [&](int32_t stored, int32_t argument) {
    store.WriteNumber("JpegQuality", stored);
    ConvertRequest r;
    r.source = src();
    r.target = dir.file("q.jpg");
    r.quality = argument;
    r.overwrite = 1;
    EXPECT_EQ(ConvertFile(r, ctx, store), ConvertOutcome::Written);
    return test::ReadBytes(dir.file("q.jpg")).size();
  };
  const size_t low = size(10, 95);
  EXPECT_EQ(size(10, 5), low);  // the argument changes nothing
  EXPECT_GT(size(95, 5), low);  // the stored quality does
}

}  // namespace
}  // namespace qp

namespace qp {
namespace {

// Sources whose decoded picture has transparency keep it when converted to WebP: a QOI with a
// transparent pixel, an icon with a masked pixel, a PNG whose palette carries a transparency
// chunk; an opaque source converts to an opaque WebP.
TEST_F(Convert, TransparencySurvivesConversionToWebp) {
  struct Case {
    const char* what;
    std::string source;
    bool alpha;
  };
  std::vector<Case> cases;
  ImageBuffer holey = test::MakePicture(4, 4, [](int x, int y) {
    return x == 1 && y == 2 ? 0x00FFFFFFu : 0xFF204060u;
  });
  ASSERT_EQ(writeQoi(holey.data(), 4, 4, dir.file("holey.qoi").c_str()), nullptr);
  cases.push_back({"QOI", dir.file("holey.qoi"), true});
  ASSERT_EQ(writeIcon(holey.data(), 4, 4, dir.file("holey.ico").c_str()), nullptr);
  cases.push_back({"icon", dir.file("holey.ico"), true});
  ImageBuffer solid = test::SolidPicture(4, 4, 0xFF204060u);
  ASSERT_EQ(writeQoi(solid.data(), 4, 4, dir.file("solid.qoi").c_str()), nullptr);
  cases.push_back({"opaque QOI", dir.file("solid.qoi"), false});
  const std::string palette = test::TestDataDir() + "/pngsuite/tbbn3p08.png";
  if (CanOpenForRead(palette)) cases.push_back({"palette PNG", palette, true});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ConvertRequest r;
    r.source = c.source;
    r.target = dir.file("out.webp");
    r.lossless = 1;
    r.overwrite = 1;
    ASSERT_EQ(ConvertFile(r, ctx, store), ConvertOutcome::Written);
    ViewerState view;
    DecodeResult back = LoadWebP(dir.file("out.webp"), view, false);
    ASSERT_TRUE(back);
    EXPECT_EQ(back.details.webpHasAlpha, c.alpha ? 1 : 0);
    if (c.alpha && c.source.ends_with(".qoi")) {
      EXPECT_EQ(test::PixelAt(*back, 1, 2) >> 24, 0u);
    }
  }
}

}  // namespace
}  // namespace qp
