#include "view/view_geometry.h"

#include <gtest/gtest.h>

#include "view/overlay.h"

namespace qp {
namespace {

TEST(FitZoom, WindowAndFullscreenFits) {
  const FitFactors window{0.97, 0.9};
  struct Case {
    float code;
    int32_t w, h;
    bool full;
    int32_t aw, ah;
    float expected;
  };
  const Case cases[] = {
      // A picture the size of the area, fitted in a window, takes the smaller share.
      {kFitScreen, 1920, 1040, false, 1920, 1040, 0.9f},
      // A small picture is magnified in fullscreen.
      {kFitScreen, 100, 100, true, 1920, 1050, 10.5f},
      // Fit to height in fullscreen shrinks landscape pictures a little more, not portrait ones.
      {kFitHeight, 4000, 3000, true, 1920, 1080, static_cast<float>(1080.0 / 3000) * 0.97f},
      {kFitHeight, 3000, 4000, true, 1920, 1080, static_cast<float>(1080.0 / 4000)},
      {kFitHeight, 1000, 1000, true, 1920, 1080, 1.08f},
      {kFitWidth, 3000, 4000, true, 1920, 1080, static_cast<float>(1920.0 / 3000) * 0.97f},
      {kFitWidth, 1000, 500, false, 1000, 800, static_cast<float>(static_cast<float>(1.0) * 0.97)},
      // Positive zooms are left alone.
      {1.5f, 10, 10, false, 100, 100, 1.5f},
  };
  for (const Case& c : cases) {
    EXPECT_FLOAT_EQ(FitZoom(c.code, c.w, c.h, c.full, c.aw, c.ah, window), c.expected)
        << c.code << " " << c.w << "x" << c.h << (c.full ? " full" : " window");
  }
}

TEST(FitZoom, FactorsOutsideTheRangeFallBack) {
  EXPECT_DOUBLE_EQ(FitQuotient(970, 0.97), 0.97);
  EXPECT_DOUBLE_EQ(FitQuotient(100, 0.97), 0.1);
  EXPECT_DOUBLE_EQ(FitQuotient(10000, 0.9), 10.0);
  EXPECT_DOUBLE_EQ(FitQuotient(50, 0.97), 0.97);
  EXPECT_DOUBLE_EQ(FitQuotient(20000, 0.97), 0.97);
  EXPECT_DOUBLE_EQ(FitQuotient(-5, 0.9), 0.9);  // read unsigned: huge
}

TEST(Zoom, SixStepsDoubleAndTheUnscaledBand) {
  float z = 1.0f;
  for (int i = 0; i < 6; ++i) z = static_cast<float>(static_cast<double>(z) * kZoomStep);
  EXPECT_EQ(z, 2.0f);
  EXPECT_FALSE(NeedsScaling(1.0005f));
  EXPECT_FALSE(NeedsScaling(0.999f));
  EXPECT_TRUE(NeedsScaling(0.9989f));
  EXPECT_TRUE(NeedsScaling(1.0011f));
  EXPECT_EQ(ScaledSize(2000, 1500, 0.5f).width, 1000);
  EXPECT_EQ(ScaledSize(3, 3, 0.5f).width, 2);  // 1.5 rounds up
  // Endless zooming saturates instead of overflowing.
  EXPECT_EQ(ScaledSize(4000, 3000, 1e9f).width, INT32_MAX);
}

TEST(Zoom, ClampKeepsTheScaledPictureBetweenOnePixelAndThePixelLimit) {
  EXPECT_EQ(ClampZoom(0.5f, 4000, 2000), 0.5f);  // in range: unchanged
  // Far out: the shorter side is one pixel.
  EXPECT_NEAR(ClampZoom(1e-9f, 4000, 2000), 1.0 / 2000, 1e-9);
  EXPECT_EQ(ScaledSize(4000, 2000, ClampZoom(1e-9f, 4000, 2000)).height, 1);
  EXPECT_EQ(ClampZoom(1e-3f, 1, 1), 1.0f);
  // Far in: the largest zoom whose padded copy the limits allow, and not a step more.
  struct Case {
    int32_t w, h;
  } cases[] = {{64, 32}, {4000, 3000}, {1, 1}, {1, 100000}, {3, 7}};
  for (const Case& c : cases) {
    const float z = ClampZoom(3e38f, c.w, c.h);
    const Size s = ScaledSize(c.w, c.h, z);
    EXPECT_TRUE(PictureBytes((int64_t{s.width} + 3) / 4 * 4, s.height)) << c.w << "x" << c.h;
    const Size more = ScaledSize(c.w, c.h, z * 1.001f);
    EXPECT_FALSE(PictureBytes((int64_t{more.width} + 3) / 4 * 4, more.height)) << c.w << "x" << c.h;
    EXPECT_EQ(ClampZoom(z, c.w, c.h), z);
  }
}

TEST(DisplayBitmap, RowsArePaddedWithTheLastPixel) {
  std::vector<uint8_t> bgra(101 * 2 * 4);
  for (size_t i = 0; i < bgra.size(); ++i) bgra[i] = static_cast<uint8_t>(i * 7);
  auto bmp = MakeDisplayBitmap(bgra.data(), 101, 2);
  ASSERT_TRUE(bmp);
  EXPECT_EQ(bmp->width, 104);
  EXPECT_EQ(bmp->scaledWidth, 101);
  EXPECT_EQ(bmp->height, 2);
  for (int y = 0; y < 2; ++y) {
    const uint8_t* row = bmp->bits.data() + y * bmp->stride();
    const uint8_t* last = bgra.data() + (y * 101 + 100) * 4;
    for (int x = 0; x < 104; ++x) {
      const uint8_t* src = x < 101 ? bgra.data() + (y * 101 + x) * 4 : last;
      ASSERT_EQ(row[x * 3 + 0], src[0]) << x;
      ASSERT_EQ(row[x * 3 + 1], src[1]) << x;
      ASSERT_EQ(row[x * 3 + 2], src[2]) << x;
    }
  }
  EXPECT_FALSE(MakeDisplayBitmap(bgra.data(), 0, 2));
}

TEST(StatusPanes, Texts) {
  EXPECT_EQ(SizePaneText(0), "0 B");
  EXPECT_EQ(SizePaneText(1024), "1024 B");
  EXPECT_EQ(SizePaneText(1025), "1.00 K");
  EXPECT_EQ(SizePaneText(1048576), "1024.00 K");
  EXPECT_EQ(SizePaneText(1048577), "1.00 M");
  // Files above 4 GiB do not wrap around.
  EXPECT_EQ(SizePaneText(int64_t{5} << 30), "5120.00 M");
  EXPECT_EQ(ZoomPaneText(1.0f), "Z:100%");
  EXPECT_EQ(ZoomPaneText(1.122462f), "Z:112%");
  EXPECT_EQ(ZoomPaneText(3e38f), "Z:4294967295%");  // no undefined conversion
  EXPECT_EQ(WindowTitle("/pics/a.jpg"), "a.jpg - Quill Pix");
  EXPECT_EQ(WindowTitle("Clipboard12"), "Clipboard12 - Quill Pix");
  EXPECT_EQ(WindowTitle(""), "Quill Pix");
  EXPECT_EQ(DimensionsText(640, 400), "640 x 400");
  EXPECT_EQ(PositionText(2, 7), "2/7");
}

TEST(PaintLayout, FullscreenCentresAndFillsTheMargins) {
  PaintLayout w = LayOutPaint(100, 50, false, 800, 600, true);
  EXPECT_EQ(w.ox, 0);
  EXPECT_EQ(w.oy, 0);
  EXPECT_TRUE(w.blackStrips.empty());

  PaintLayout f = LayOutPaint(101, 50, true, 800, 600, true);
  EXPECT_EQ(f.ox, 349);
  EXPECT_EQ(f.oy, 275);
  const std::vector<PaintRect> strips = {
      {0, 0, 800, 275}, {0, 325, 800, 600}, {0, 275, 349, 325}, {450, 275, 800, 325}};
  EXPECT_EQ(f.blackStrips, strips);
  // A picture larger than the screen has no margins; during animation nothing is filled.
  EXPECT_TRUE(LayOutPaint(900, 700, true, 800, 600, true).blackStrips.empty());
  EXPECT_TRUE(LayOutPaint(100, 50, true, 800, 600, false).blackStrips.empty());
}

TEST(ProgressBar, DarkPartFollowsTheFrameIndex) {
  std::vector<uint8_t> px(100 * 2 * 4, 0xAB);
  DrawProgressBar(px.data(), 100, 2, 0, 9);
  int dark = 0;
  for (int x = 0; x < 100; ++x) {
    const uint32_t v = LoadPixel(px.data() + (100 + x) * 4);
    if (v == 0x333333u) ++dark;
    else EXPECT_EQ(v, 0xCFCFCFu);
  }
  EXPECT_EQ(dark, 11);
  EXPECT_EQ(px[0], 0xAB);  // only the last row changes
  DrawProgressBar(px.data(), 100, 2, 8, 9);
  EXPECT_EQ(LoadPixel(px.data() + (100 + 99) * 4), 0x333333u);
}

}  // namespace
}  // namespace qp
