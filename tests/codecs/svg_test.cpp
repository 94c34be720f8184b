#include "codecs/svg.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "codecs/freeimage.h"
#include "codecs/png.h"
#include "support/test_support.h"

namespace qp {
namespace {

using test::PixelAt;
using test::TempDir;

void WriteText(const std::string& path, const std::string& text) {
  test::WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::vector<uint8_t> Gzip(const std::string& text) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::vector<uint8_t> out(deflateBound(&z, text.size()) + 32);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// A red square in the top-left quarter of a w x h document, transparent elsewhere.
std::string QuarterSvg(const std::string& w, const std::string& h) {
  return "<svg xmlns='http://www.w3.org/2000/svg' width='" + w + "' height='" + h +
         "'><rect width='50%' height='50%' fill='#ff0000'/></svg>";
}

TEST(SvgSizeRules, TruncationWantedSizesAndSubPixelDocuments) {
  EXPECT_EQ(SvgTargetSize(100.7, 50.2, 0, 0), std::make_pair(100, 50));
  EXPECT_EQ(SvgTargetSize(100, 50, 300, 0), std::make_pair(300, 150));
  EXPECT_EQ(SvgTargetSize(100, 50, 300, 300), std::make_pair(300, 300));
  EXPECT_EQ(SvgTargetSize(100, 50, 0, 80), std::make_pair(100, 80));
  EXPECT_EQ(SvgTargetSize(100, 50, -5, -5), std::make_pair(100, 50));
  // Less than a pixel, or a wanted width whose proportional height comes out at 0.
  EXPECT_FALSE(SvgTargetSize(0.5, 50, 0, 0));
  EXPECT_FALSE(SvgTargetSize(100, 0.9, 200, 0));
  EXPECT_FALSE(SvgTargetSize(1000, 1, 10, 0));
  EXPECT_FALSE(SvgTargetSize(1e12, 10, 0, 0));
}

TEST(SvgRender, NaturalSizeWantedWidthAndExtendedHeight) {
  TempDir dir;
  const std::string path = dir.file("a.svg");
  WriteText(path, QuarterSvg("100.7", "50.2"));
  auto img = renderSvg(path, 0, 0);
  ASSERT_TRUE(img);
  EXPECT_EQ(img->width(), 100);
  EXPECT_EQ(img->height(), 50);
  EXPECT_TRUE(img.details.vectorSource);
  EXPECT_EQ(PixelAt(*img, 10, 10), 0xFFFF0000u);
  // The transparent remainder is opaque white.
  EXPECT_EQ(PixelAt(*img, 90, 40), 0xFFFFFFFFu);
  for (size_t i = 3; i < img->byteSize(); i += 4) ASSERT_EQ(img->data()[i], 255);

  WriteText(dir.file("b.svg"), QuarterSvg("100", "50"));
  auto wide = renderSvg(dir.file("b.svg"), 300, 0);
  ASSERT_TRUE(wide);
  EXPECT_EQ(wide->width(), 300);
  EXPECT_EQ(wide->height(), 150);
  EXPECT_EQ(PixelAt(*wide, 140, 70), 0xFFFF0000u);
  EXPECT_EQ(PixelAt(*wide, 160, 70), 0xFFFFFFFFu);

  // A mismatched height does not stretch: the lower half is white.
  auto square = renderSvg(dir.file("b.svg"), 300, 300);
  ASSERT_TRUE(square);
  EXPECT_EQ(square->height(), 300);
  EXPECT_EQ(PixelAt(*square, 10, 70), 0xFFFF0000u);
  for (int y = 150; y < 300; y += 7)
    for (int x = 0; x < 300; x += 13) ASSERT_EQ(PixelAt(*square, x, y), 0xFFFFFFFFu) << x << "," << y;
}

TEST(SvgRender, ViewBoxOnlyAndBrokenDocuments) {
  TempDir dir;
  WriteText(dir.file("v.svg"), "<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 40 20'/>");
  auto img = renderSvg(dir.file("v.svg"), 0, 0);
  ASSERT_TRUE(img);
  EXPECT_EQ(img->width(), 40);
  EXPECT_EQ(img->height(), 20);
  WriteText(dir.file("tiny.svg"), QuarterSvg("0.5", "0.5"));
  EXPECT_FALSE(renderSvg(dir.file("tiny.svg"), 0, 0));
  WriteText(dir.file("bad.svg"), "<svg xmlns='http://www.w3.org/2000/svg' width='10'");
  const DecodeResult bad = renderSvg(dir.file("bad.svg"), 0, 0);
  EXPECT_FALSE(bad);
  EXPECT_FALSE(bad.details.vectorSource);
  EXPECT_FALSE(renderSvg(dir.file("missing.svg"), 0, 0));
}

TEST(SvgRender, SamePathParsesOnceAndAChangedFileAgain) {
  TempDir dir;
  const std::string path = dir.file("p.svg");
  WriteText(path, QuarterSvg("64", "32"));
  const uint64_t before = SvgParseCount();
  ASSERT_TRUE(renderSvg(path, 0, 0));
  ASSERT_TRUE(renderSvg(path, 128, 0));
  ASSERT_TRUE(renderSvg(path, 32, 32));
  EXPECT_EQ(SvgParseCount() - before, 1u);
  // Another path (even one differing only in case) is another document.
  const std::string upper = dir.file("P.svg");
  WriteText(upper, QuarterSvg("10", "10"));
  auto other = renderSvg(upper, 0, 0);
  ASSERT_TRUE(other);
  EXPECT_EQ(other->width(), 10);
  EXPECT_EQ(SvgParseCount() - before, 2u);
  // A file replaced on disk is read again.
  ASSERT_TRUE(renderSvg(path, 0, 0));
  WriteText(path, QuarterSvg("20", "20") + "   ");
  auto changed = renderSvg(path, 0, 0);
  ASSERT_TRUE(changed);
  EXPECT_EQ(changed->width(), 20);
}

TEST(Svgz, InflatesCompleteStreamsWithinTheLimit) {
  TempDir dir;
  const std::string path = dir.file("z.svgz");
  test::WriteBytes(path, Gzip(QuarterSvg("30", "20")));
  auto img = renderSvgz(path, 0, 0);
  ASSERT_TRUE(img);
  EXPECT_EQ(img->width(), 30);
  EXPECT_EQ(img->height(), 20);
  EXPECT_EQ(PixelAt(*img, 2, 2), 0xFFFF0000u);

  // Truncated: the stream never reaches its end.
  auto gz = Gzip(QuarterSvg("30", "20"));
  std::vector<uint8_t> cut(gz.begin(), gz.end() - 12);
  cut.insert(cut.end(), gz.end() - 4, gz.end());
  EXPECT_FALSE(InflateSvgz(cut));
  test::WriteBytes(dir.file("empty.svgz"), {});
  EXPECT_FALSE(renderSvgz(dir.file("empty.svgz"), 0, 0));
  EXPECT_FALSE(InflateSvgz(std::vector<uint8_t>{1, 2, 3}));
}

TEST(Svgz, BombsAreRefusedWhetherTheTrailerTellsTheTruthOrNot) {
  // About 1 KB of gzip that inflates to 40 MiB.
  const std::string big(40u << 20, ' ');
  std::vector<uint8_t> bomb = Gzip("<svg xmlns='http://www.w3.org/2000/svg'>" + big);
  ASSERT_LT(bomb.size(), 64u * 1024);
  EXPECT_FALSE(InflateSvgz(bomb));  // honest trailer above the limit
  // A trailer that lies low (1000 bytes) must not let the stream run on.
  bomb[bomb.size() - 4] = 0xE8;
  bomb[bomb.size() - 3] = 0x03;
  bomb[bomb.size() - 2] = 0;
  bomb[bomb.size() - 1] = 0;
  EXPECT_FALSE(InflateSvgz(bomb));
  // A small file that claims more than the limit.
  std::vector<uint8_t> claim = Gzip("<svg/>");
  claim[claim.size() - 1] = 0x02;
  EXPECT_FALSE(InflateSvgz(claim));
}

TEST(SvgRender, MatchesRsvgConvertOverWhite) {
  if (!test::HaveTool("rsvg-convert")) GTEST_SKIP() << "rsvg-convert not installed";
  TempDir dir;
  const std::vector<std::string> docs = {
      QuarterSvg("40", "30"),
      "<svg xmlns='http://www.w3.org/2000/svg' width='64' height='48'>"
      "<circle cx='32' cy='24' r='20' fill='blue' fill-opacity='0.5' stroke='green'/></svg>",
      "<svg xmlns='http://www.w3.org/2000/svg' width='50' height='50' viewBox='0 0 10 10'>"
      "<defs><linearGradient id='g'><stop offset='0' stop-color='yellow'/>"
      "<stop offset='1' stop-color='purple' stop-opacity='0'/></linearGradient></defs>"
      "<path d='M1 1 L9 2 L5 9 Z' fill='url(#g)'/></svg>"};
  for (size_t i = 0; i < docs.size(); ++i) {
    const std::string svg = dir.file("d" + std::to_string(i) + ".svg");
    const std::string png = dir.file("d" + std::to_string(i) + ".png");
    WriteText(svg, docs[i]);
    ASSERT_EQ(test::RunShell("rsvg-convert -b white -o " + test::ShellQuote(png) + " " +
                             test::ShellQuote(svg)),
              0);
    auto ours = renderSvg(svg, 0, 0);
    std::optional<ImageBuffer> ref = LoadPng(png).toOwned();
    if (!ref) ref = loadAnyWithLibrary(png);
    ASSERT_TRUE(ours);
    if (!ref) GTEST_SKIP() << "no PNG reader for the reference";
    ASSERT_EQ(ours->width(), ref->width());
    ASSERT_EQ(ours->height(), ref->height());
    int worst = 0;
    for (size_t b = 0; b < ours->byteSize(); b += 4)
      for (int c = 0; c < 3; ++c)
        worst = std::max(worst, std::abs(ours->data()[b + c] - ref->data()[b + c]));
    EXPECT_LE(worst, 2) << "document " << i;
  }
}

}  // namespace
}  // namespace qp
