#include "app/one_shot.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "codecs/load_dispatch.h"
#include "core/orientation.h"
#include "metadata/exif.h"
#include "support/jpeg_builder.h"
#include "support/test_support.h"

namespace qp {
namespace {

using test::TempDir;

void SetMtime(const std::string& path, time_t seconds) {
  struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(FileTimestampValid, FirstDayOf1970IsInvalid) {
  TempDir dir;
  const std::string f = dir.file("a.png");
  test::WriteBytes(f, {1, 2, 3});
  SetMtime(f, 0);
  EXPECT_FALSE(FileTimestampValid(f));
  SetMtime(f, 86399);  // 1 January 1970, 23:59:59
  EXPECT_FALSE(FileTimestampValid(f));
  SetMtime(f, 86400);  // 2 January 1970, 00:00
  EXPECT_TRUE(FileTimestampValid(f));
  SetMtime(f, -86400 * 365);
  EXPECT_FALSE(FileTimestampValid(f));
  // A file that cannot be opened is left to fail elsewhere.
  EXPECT_TRUE(FileTimestampValid(dir.file("missing.png")));
  // A FIFO without a writer must not block the check.
  const std::string fifo = dir.file("pipe.png");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_TRUE(FileTimestampValid(fifo));
}

TEST(ReadJpegFrameSize, ScansMarkersToTheFrameHeader) {
  // SOI, fill bytes, APP0 (length 4) followed by padding zeros, RST0, SOF2 with 300 x 200.
  const std::vector<uint8_t> bytes{0xFF, 0xD8, 0xFF, 0xFF, 0xE0, 0x00, 0x04, 0xAA, 0xBB,
                                   0x00, 0x00, 0xFF, 0xD0, 0xFF, 0xC2, 0x00, 0x11, 0x08,
                                   0x00, 0xC8, 0x01, 0x2C, 0x03};
  const auto size = ReadJpegFrameSize(bytes);
  ASSERT_TRUE(size);
  EXPECT_EQ(size->width, 300);
  EXPECT_EQ(size->height, 200);
}

TEST(ReadJpegFrameSize, RefusesBrokenStreams) {
  const std::vector<std::vector<uint8_t>> cases{
      {},
      {0xFF, 0xD8},
      {0x89, 'P', 'N', 'G'},
      {0xFF, 0xD8, 0x00},                                // no marker after SOI
      {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01},              // length below 2
      {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 0x00},        // segment beyond the end
      {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x02, 0x12},        // no 0xFF after the segment
      {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x11, 0x08, 0x00},  // frame header cut short
      {0xFF, 0xD8, 0xFF, 0xC3, 0x00, 0x02, 0xFF, 0xD9},  // only a lossless frame, then EOI
  };
  for (size_t i = 0; i < cases.size(); ++i)
    EXPECT_FALSE(ReadJpegFrameSize(cases[i])) << "case " << i;
}

TEST(AutoRotateJpegFile, UprightFilesAreLeftAlone) {
  TempDir dir;
  // Without EXIF data, and with orientation 1, nothing is to be done.
  const std::string plain = dir.file("plain.jpg");
  ASSERT_TRUE(test::WriteJpeg(plain, test::RandomPicture(32, 16, 1)));
  const auto before = test::ReadBytes(plain);
  EXPECT_EQ(AutoRotateJpegFile(plain).angle, 0);
  const std::string upright = dir.file("upright.jpg");
  ASSERT_TRUE(test::WriteJpeg(upright, test::RandomPicture(32, 16, 1), 1));
  EXPECT_EQ(AutoRotateJpegFile(upright).angle, 0);
  EXPECT_EQ(test::ReadBytes(plain), before);
}

TEST(AutoRotateJpegFile, AnglesByOrientation) {
  TempDir dir;
  const std::pair<uint16_t, int> cases[] = {{3, 180}, {6, 90}, {8, 270}, {2, 0}, {5, 0}};
  for (auto [orientation, angle] : cases) {
    const std::string f = dir.file("o" + std::to_string(orientation) + ".jpg");
    ASSERT_TRUE(test::WriteJpeg(f, test::RandomPicture(32, 16, orientation), orientation, true));
    EXPECT_EQ(AutoRotateJpegFile(f).angle, angle) << orientation;
    ExifInfo info{};
    ASSERT_TRUE(ReadJpegMetadata(f, info));
    const bool quarterTurn = angle == 90 || angle == 270;
    EXPECT_EQ(info.width, quarterTurn ? 16 : 32) << orientation;
    // A turned picture is upright: its tag (here in Motorola order) says so.
    EXPECT_EQ(info.orientation, angle == 0 ? orientation : 1) << orientation;
  }
}

TEST(MakeLandscape, RotatesPortraitOnlyAndResetsOrientationInBothByteOrders) {
  TempDir dir;
  const std::string portrait = dir.file("portrait.jpg");
  ASSERT_TRUE(test::WriteJpeg(portrait, test::RandomPicture(16, 32, 3), 6));
  EXPECT_EQ(MakeLandscape(portrait), 1);
  ExifInfo info{};
  ASSERT_TRUE(ReadJpegMetadata(portrait, info));
  EXPECT_EQ(info.width, 32);
  EXPECT_EQ(info.height, 16);
  EXPECT_EQ(info.orientation, 1);

  const std::string motorola = dir.file("motorola.jpg");
  ASSERT_TRUE(test::WriteJpeg(motorola, test::RandomPicture(16, 32, 3), 8, true));
  EXPECT_EQ(MakeLandscape(motorola), 1);
  ASSERT_TRUE(ReadJpegMetadata(motorola, info));
  EXPECT_EQ(info.width, 32);
  EXPECT_EQ(info.orientation, 1);

  // A comment ahead of the EXIF block holding the bytes of an orientation entry is text: only
  // the entry the parser found changes.
  const std::string tricky = dir.file("tricky.jpg");
  ASSERT_TRUE(test::WriteJpeg(tricky, test::RandomPicture(16, 32, 3), 6));
  std::vector<uint8_t> bytes = test::ReadBytes(tricky);
  const std::vector<uint8_t> lookalike = {0xFF, 0xFE, 0x00, 0x0D, 0x12, 0x01, 0x03, 0x00,
                                          0x01, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00};
  bytes.insert(bytes.begin() + 2, lookalike.begin(), lookalike.end());
  test::WriteBytes(tricky, bytes);
  EXPECT_EQ(MakeLandscape(tricky), 1);
  ASSERT_TRUE(ReadJpegMetadata(tricky, info));
  EXPECT_EQ(info.orientation, 1);
  const std::vector<uint8_t> after = test::ReadBytes(tricky);
  EXPECT_NE(std::search(after.begin(), after.end(), lookalike.begin(), lookalike.end()),
            after.end());

  for (auto [w, h] : {std::pair{32, 16}, std::pair{16, 16}}) {
    const std::string f = dir.file("l" + std::to_string(w) + ".jpg");
    ASSERT_TRUE(test::WriteJpeg(f, test::RandomPicture(w, h, 4), 6));
    const auto before = test::ReadBytes(f);
    const auto r = MakeLandscapeFile(f);
    EXPECT_FALSE(r.rotated);
    EXPECT_FALSE(r.error);
    EXPECT_EQ(test::ReadBytes(f), before);
  }
  EXPECT_TRUE(MakeLandscapeFile(dir.file("missing.jpg")).error);
}

// The picture as the viewer shows it (upright by its orientation).
ImageBuffer Shown(const std::string& path) {
  ViewerState state;
  LoadContext ctx{state};
  auto picture = LoadPictureFile(path, ctx);
  return picture ? std::move(*picture) : ImageBuffer();
}

int ColourDistance(const ImageBuffer& a, const ImageBuffer& b) {
  if (a.empty() || a.width() != b.width() || a.height() != b.height()) return -1;
  int worst = 0;
  for (size_t i = 0; i < a.byteSize(); ++i)
    if (i % 4 != 3) worst = std::max(worst, std::abs(a.data()[i] - b.data()[i]));
  return worst;
}

TEST(MakeLandscape, AsShownTestsTheUprightPictureAndTurnsItOnceMore) {
  TempDir dir;
  for (uint16_t orientation = 1; orientation <= 8; ++orientation) {
    for (auto [w, h] : {std::pair{32, 16}, std::pair{16, 32}}) {
      SCOPED_TRACE(std::to_string(orientation) + " " + std::to_string(w));
      const std::string f = dir.file("p.jpg");
      ASSERT_TRUE(test::WriteJpeg(f, test::RandomPicture(w, h, orientation), orientation));
      const ImageBuffer before = Shown(f);
      const auto bytes = test::ReadBytes(f);
      const LandscapeResult r = MakeLandscapeFile(f, true);
      EXPECT_FALSE(r.error);
      ExifInfo info{};
      ASSERT_TRUE(ReadJpegMetadata(f, info));
      if (before.height() <= before.width()) {
        // Landscape as shown: the file stays as it was, whatever its stored size.
        EXPECT_FALSE(r.rotated);
        EXPECT_EQ(test::ReadBytes(f), bytes);
        continue;
      }
      // Portrait as shown: now shown turned a quarter clockwise, with orientation 1.
      EXPECT_TRUE(r.rotated);
      EXPECT_EQ(info.orientation, 1);
      const auto expected = TurnUpright(before, 6);
      ASSERT_TRUE(expected);
      // Transformed coefficients decode within rounding of the turned pixels.
      EXPECT_LE(ColourDistance(Shown(f), *expected), 4);
      EXPECT_GE(ColourDistance(Shown(f), *expected), 0);
    }
  }
}

TEST(AboutText, SectionsInOrderAndHelpListsTheOptions) {
  const std::string about = AboutText();
  const size_t a = about.find("*** DISCLAIMER ***");
  const size_t b = about.find("*** COMMAND LINE OPTIONS ***\n-autorotate (");
  const size_t c = about.find("*** THIRD PARTY CREDITS ***");
  EXPECT_TRUE(a < b && b < c && c != std::string::npos);
  const std::string options = about.substr(b, c - b);
  EXPECT_NE(HelpText().find(options.substr(0, options.size() - 1)), std::string::npos);
}

}  // namespace
}  // namespace qp
