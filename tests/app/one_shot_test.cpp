#include "app/one_shot.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "app/application.h"
#include "codecs/png.h"
#include "frame/settings_store.h"
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

TEST(AutoRotateJpeg, ReportsWhatItCouldNotDo) {
  TempDir dir;
  EXPECT_TRUE(AutoRotateJpegFile(dir.file("missing.jpg")).error);
  const std::string png = dir.file("p.jpg");
  ASSERT_EQ(SavePng(test::SolidPicture(4, 4, 0xFF00FF00).data(), 4, 4, 100, png.c_str()), nullptr);
  const auto r = AutoRotateJpegFile(png);
  ASSERT_TRUE(r.error);
  EXPECT_NE(r.error->find("not a JPEG"), std::string::npos);

  // Without EXIF data, and with orientation 1, nothing is to be done.
  const std::string plain = dir.file("plain.jpg");
  ASSERT_TRUE(test::WriteJpeg(plain, test::RandomPicture(32, 16, 1)));
  const auto before = test::ReadBytes(plain);
  EXPECT_EQ(AutoRotateJpeg(plain), 0);
  const std::string upright = dir.file("upright.jpg");
  ASSERT_TRUE(test::WriteJpeg(upright, test::RandomPicture(32, 16, 1), 1));
  EXPECT_EQ(AutoRotateJpeg(upright), 0);
  EXPECT_EQ(test::ReadBytes(plain), before);
}

TEST(AutoRotateJpeg, AnglesByOrientation) {
  TempDir dir;
  const std::pair<uint16_t, int> cases[] = {{3, 180}, {6, 90}, {8, 270}, {2, 0}, {5, 0}};
  for (auto [orientation, angle] : cases) {
    const std::string f = dir.file("o" + std::to_string(orientation) + ".jpg");
    ASSERT_TRUE(test::WriteJpeg(f, test::RandomPicture(32, 16, orientation), orientation, true));
    EXPECT_EQ(AutoRotateJpeg(f), angle) << orientation;
    ExifInfo info{};
    ASSERT_TRUE(ReadJpegMetadata(f, info));
    const bool quarterTurn = angle == 90 || angle == 270;
    EXPECT_EQ(info.width, quarterTurn ? 16 : 32) << orientation;
    EXPECT_EQ(info.orientation, orientation) << "the tag is copied unchanged";
  }
}

TEST(MakeLandscape, RotatesPortraitOnlyAndResetsIntelOrientation) {
  TempDir dir;
  const std::string portrait = dir.file("portrait.jpg");
  ASSERT_TRUE(test::WriteJpeg(portrait, test::RandomPicture(16, 32, 3), 6));
  EXPECT_EQ(MakeLandscape(portrait), 1);
  ExifInfo info{};
  ASSERT_TRUE(ReadJpegMetadata(portrait, info));
  EXPECT_EQ(info.width, 32);
  EXPECT_EQ(info.height, 16);
  EXPECT_EQ(info.orientation, 1);

  // Motorola order keeps its tag.
  const std::string motorola = dir.file("motorola.jpg");
  ASSERT_TRUE(test::WriteJpeg(motorola, test::RandomPicture(16, 32, 3), 8, true));
  EXPECT_EQ(MakeLandscape(motorola), 1);
  ASSERT_TRUE(ReadJpegMetadata(motorola, info));
  EXPECT_EQ(info.width, 32);
  EXPECT_EQ(info.orientation, 8);

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

struct Harness {
  MemorySettingsBackend backend;
  SettingsStore settings{backend};
  AppPorts ports{settings, nullptr};
  AppOutcome Run(std::initializer_list<const char*> tokens) {
    std::vector<std::string> args(tokens.begin(), tokens.end());
    return RunCommandLine(ParseCommandLine(args), ports);
  }
};

TEST(RunCommandLine, HelpVersionAndAbout) {
  Harness h;
  const AppOutcome help = h.Run({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("*** COMMAND LINE OPTIONS ***\n"
                          "-autorotate (rotate jpeg image based on EXIF orientation value)\n"
                          "-landscape (rotate jpeg image 90 degrees if height > width)\n"
                          "-convert filename outname (converts images between supported formats)\n"
                          "-lossless (used with -convert, specifies lossless mode is preferred)\n"
                          "-drawlines x1 y2 .. xn yn (loads an image and draws a series of lines)\n"),
            std::string::npos);
  EXPECT_EQ(h.Run({"--version"}).out, "quillpix " QP_VERSION "\n");
  const std::string about = AboutText();
  const size_t a = about.find("*** DISCLAIMER ***");
  const size_t b = about.find("*** COMMAND LINE OPTIONS ***");
  const size_t c = about.find("*** THIRD PARTY CREDITS ***");
  EXPECT_TRUE(a < b && b < c && c != std::string::npos);
}

TEST(RunCommandLine, FailuresGiveOneLineAndStatusOne) {
  Harness h;
  TempDir dir;
  for (const AppOutcome& o : {h.Run({"-autorotate"}), h.Run({"-landscape"}), h.Run({"--properties"}),
                              h.Run({"--properties", dir.file("none.png").c_str()}),
                              h.Run({"-convert", dir.file("none.png").c_str(), dir.file("o.png").c_str()})}) {
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_EQ(o.err.rfind("quillpix: ", 0), 0u) << o.err;
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
    EXPECT_EQ(o.err.back(), '\n');
    EXPECT_TRUE(o.out.empty());
  }
}

TEST(RunCommandLine, ConvertWithoutTargetIsANormalStart) {
  Harness h;
  TempDir dir;
  const std::string f = dir.file("a.png");
  ASSERT_EQ(SavePng(test::SolidPicture(2, 2, 0xFF112233).data(), 2, 2, 100, f.c_str()), nullptr);
  EXPECT_EQ(h.Run({"-convert", f.c_str()}).exitCode, 0);
  SetMtime(f, 3600);
  const AppOutcome o = h.Run({"-convert", f.c_str()});
  EXPECT_EQ(o.exitCode, 1);
  EXPECT_NE(o.err.find("Invalid file timestamp"), std::string::npos);
}

TEST(RunCommandLine, PropertiesOfAPng) {
  Harness h;
  TempDir dir;
  const std::string f = dir.file("two colours.png");
  const ImageBuffer pic = test::MakePicture(3, 2, [](int32_t x, int32_t) {
    return x == 0 ? 0xFF0000FFu : 0xFFFF0000u;
  });
  ASSERT_EQ(SavePng(pic.data(), 3, 2, 100, f.c_str()), nullptr);
  const AppOutcome o = h.Run({"--properties", f.c_str()});
  ASSERT_EQ(o.exitCode, 0) << o.err;
  EXPECT_EQ(o.out.find('\r'), std::string::npos);
  EXPECT_EQ(o.out.rfind("Width: 3\nHeight: 2\nUnique Colours: 2\nIs File: True\n", 0), 0u) << o.out;
  EXPECT_NE(o.out.find("File Type: PNG\n"), std::string::npos);
  EXPECT_NE(o.out.find("Colour Space: RGB\nBit Depth: 8\nHas Alpha: No\n"), std::string::npos)
      << o.out;
}

}  // namespace
}  // namespace qp
