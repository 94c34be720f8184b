// Drives the built quillpix program through its one-shot modes. Every run gets its own
// configuration folder, so the user's settings are never read or written.
#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "codecs/freeimage.h"
#include "codecs/jpeg.h"
#include "codecs/png.h"
#include "codecs/webp.h"
#include "core/viewer_state.h"
#include "metadata/exif.h"
#include "support/jpeg_builder.h"
#include "support/test_support.h"

namespace qp {
namespace {

using test::ShellQuote;
using test::TempDir;

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = test::BinDir() + "/quillpix";
    if (::access(program_.c_str(), X_OK) != 0) GTEST_SKIP() << "quillpix is not built";
  }

  std::string file(const std::string& name) const { return dir_.file(name); }

  // Writes the user's settings file in this test's configuration folder.
  void WriteSettings(const std::string& lines) const {
    const std::string folder = dir_.file("config/Quillpix");
    ASSERT_EQ(test::RunShell("mkdir -p " + ShellQuote(folder)), 0);
    std::ofstream(folder + "/Quill Pix.conf") << "[Settings]\n" << lines;
  }

  RunResult Quillpix(const std::vector<std::string>& args) const {
    // No display: a normal start then says so instead of opening a window.
    std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME=" +
                      ShellQuote(dir_.file("config")) + " " + ShellQuote(program_);
    for (const auto& a : args) cmd += " " + ShellQuote(a);
    const std::string out = dir_.file(".stdout"), err = dir_.file(".stderr");
    cmd += " >" + ShellQuote(out) + " 2>" + ShellQuote(err);
    RunResult r;
    r.status = test::RunShell(cmd);
    r.out = Slurp(out);
    r.err = Slurp(err);
    return r;
  }

  // The run failed with status 1 and one line on stderr that contains `text`.
  void ExpectFailure(const RunResult& r, const std::string& text) const {
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(r.err.rfind("quillpix: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(text), std::string::npos) << r.err;
  }

  std::string program_;
  TempDir dir_;
};

ImageBuffer LoadPngFile(const std::string& path) {
  auto img = LoadPng(path);
  return img ? std::move(*img) : ImageBuffer();
}

std::vector<uint8_t> Bytes(const ImageBuffer& img) {
  return std::vector<uint8_t>(img.data(), img.data() + size_t(img.stride()) * img.height());
}

void WritePng(const std::string& path, const ImageBuffer& img) {
  ASSERT_EQ(SavePng(img.data(), img.width(), img.height(), 100, path.c_str()), nullptr);
}

// A picture of four solid quadrants (block-aligned, so JPEG keeps them clean).
ImageBuffer Quadrants(int32_t w, int32_t h) {
  return test::MakePicture(w, h, [w, h](int32_t x, int32_t y) {
    const bool right = x >= w / 2, bottom = y >= h / 2;
    if (!right && !bottom) return 0xFFFF0000u;  // red
    if (right && !bottom) return 0xFF00FF00u;   // green
    if (!right) return 0xFF0000FFu;             // blue
    return 0xFFFFFFFFu;                         // white
  });
}

// The dominant channel of a pixel: 'r', 'g', 'b' or 'w'.
char ColourAt(const ImageBuffer& img, int32_t x, int32_t y) {
  const uint8_t* p = img.pixel(x, y);
  if (p[0] > 200 && p[1] > 200 && p[2] > 200) return 'w';
  if (p[2] > 200) return 'r';
  if (p[1] > 200) return 'g';
  if (p[0] > 200) return 'b';
  return '?';
}

TEST_F(Cli, QuotedSourceWithABlankConvertsToWebpAtTheGivenQuality) {
  const std::string src = file("my photo.png");
  WritePng(src, test::RandomPicture(40, 30, 7));
  const RunResult r = Quillpix({"-convert", src, file("out.webp"), "/quality", "90"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.out.empty()) << "no window, no chatter: " << r.out;

  // The same pixels encoded at 90 give the same bytes; at the default 80 they differ.
  const ImageBuffer pixels = LoadPngFile(src);
  const std::string q90 = file("q90.webp"), q80 = file("q80.webp");
  ASSERT_EQ(EncodeWebP(pixels.data(), 40, 30, 90, q90.c_str(), false), nullptr);
  ASSERT_EQ(EncodeWebP(pixels.data(), 40, 30, 80, q80.c_str(), false), nullptr);
  EXPECT_EQ(test::ReadBytes(file("out.webp")), test::ReadBytes(q90));
  EXPECT_NE(test::ReadBytes(file("out.webp")), test::ReadBytes(q80));
}

TEST_F(Cli, CropByWidthAndHeight) {
  const ImageBuffer pic = test::RandomPicture(200, 100, 3);
  WritePng(file("in.png"), pic);
  const RunResult r = Quillpix({"-convert", file("in.png"), file("out.png"), "/x1", "10", "/y1", "20",
                          "/w", "100", "/h", "50"});
  ASSERT_EQ(r.status, 0) << r.err;
  const ImageBuffer out = LoadPngFile(file("out.png"));
  ASSERT_EQ(out.width(), 100);
  ASSERT_EQ(out.height(), 50);
  const ImageBuffer in = LoadPngFile(file("in.png"));
  for (int32_t y = 0; y < 50; ++y)
    ASSERT_TRUE(std::equal(out.row(y), out.row(y) + 400, in.pixel(10, 20 + y))) << "row " << y;
}

TEST_F(Cli, JpegTargetTakesTheStoredQualityNotTheSwitch) {
  WritePng(file("in.png"), test::RandomPicture(48, 32, 11));
  const ImageBuffer pixels = LoadPngFile(file("in.png"));
  auto encoded = [&](int quality) {
    const std::string p = file("ref" + std::to_string(quality) + ".jpg");
    EXPECT_EQ(SaveJpeg(pixels.data(), 48, 32, quality, p.c_str()), nullptr);
    return test::ReadBytes(p);
  };

  // No settings file: the default of 75.
  RunResult r = Quillpix({"-convert", file("in.png"), file("default.jpg"), "/quality", "90"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test::ReadBytes(file("default.jpg")), encoded(75));

  WriteSettings("JpegQuality=40\nWebpQuality=30\n");
  r = Quillpix({"-convert", file("in.png"), file("out.jpg"), "/quality", "90"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test::ReadBytes(file("out.jpg")), encoded(40));
  EXPECT_NE(test::ReadBytes(file("out.jpg")), encoded(90));

  // WebP without a valid quality switch falls back to the stored "WebpQuality".
  r = Quillpix({"-convert", file("in.png"), file("out.webp"), "-quality", "101"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string ref = file("ref30.webp");
  ASSERT_EQ(EncodeWebP(pixels.data(), 48, 32, 30, ref.c_str(), false), nullptr);
  EXPECT_EQ(test::ReadBytes(file("out.webp")), test::ReadBytes(ref));
}

TEST_F(Cli, ExistingTargetIsKeptUnlessOverwrite) {
  WritePng(file("in.png"), test::RandomPicture(8, 8, 1));
  test::WriteBytes(file("out.png"), {'k', 'e', 'e', 'p'});
  ExpectFailure(Quillpix({"-convert", file("in.png"), file("out.png")}), "-overwrite");
  EXPECT_EQ(test::ReadBytes(file("out.png")), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));

  const RunResult r = Quillpix({"-convert", file("in.png"), file("out.png"), "-overwrite"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(LoadPngFile(file("out.png")).width(), 8);
}

TEST_F(Cli, LandscapeRotatesPortraitAndResetsOrientation) {
  const std::string portrait = file("portrait.jpg"), landscape = file("landscape.jpg");
  ASSERT_TRUE(test::WriteJpeg(portrait, Quadrants(32, 64), 6));
  ASSERT_TRUE(test::WriteJpeg(landscape, Quadrants(64, 32), 6));
  const auto landscapeBefore = test::ReadBytes(landscape);
  const auto portraitBefore = test::ReadBytes(portrait);

  // Shown upright (the default), the stored-portrait file is landscape and stays as it is;
  // the stored-landscape one is portrait as shown and is turned: upright (a quarter turn
  // clockwise) and once more, which is a half turn of the stored pixels, with the tag at 1.
  RunResult r = Quillpix({"-landscape", portrait});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test::ReadBytes(portrait), portraitBefore);
  r = Quillpix({"-landscape", landscape});
  ASSERT_EQ(r.status, 0) << r.err;
  {
    const auto turned = LoadJpeg(landscape);
    ASSERT_TRUE(turned);
    EXPECT_EQ(turned->width(), 64);
    EXPECT_EQ(ColourAt(*turned, 8, 8), 'w');
    EXPECT_EQ(ColourAt(*turned, 56, 8), 'b');
    ExifInfo turnedInfo{};
    ASSERT_TRUE(ReadJpegMetadata(landscape, turnedInfo));
    EXPECT_EQ(turnedInfo.orientation, 1);
  }
  ASSERT_TRUE(test::WriteJpeg(landscape, Quadrants(64, 32), 6));

  // With AutoOrient off the stored frame size decides.
  WriteSettings("AutoOrient=false\n");
  r = Quillpix({"-landscape", portrait});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto img = LoadJpeg(portrait);
  ASSERT_TRUE(img);
  EXPECT_EQ(img->width(), 64);
  EXPECT_EQ(img->height(), 32);
  // Rotated clockwise: the bottom-left (blue) quadrant is now top left.
  EXPECT_EQ(ColourAt(*img, 8, 8), 'b');
  EXPECT_EQ(ColourAt(*img, 56, 8), 'r');
  ExifInfo info{};
  ASSERT_TRUE(ReadJpegMetadata(portrait, info));
  EXPECT_EQ(info.orientation, 1);

  r = Quillpix({"/landscape", landscape});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test::ReadBytes(landscape), landscapeBefore);
}

TEST_F(Cli, AutorotateTurnsOrientationSixAndMarksItUpright) {
  const std::string f = file("six.jpg");
  ASSERT_TRUE(test::WriteJpeg(f, Quadrants(64, 32), 6));
  const RunResult r = Quillpix({"-autorotate", f});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto img = LoadJpeg(f);
  ASSERT_TRUE(img);
  EXPECT_EQ(img->width(), 32);
  EXPECT_EQ(img->height(), 64);
  EXPECT_EQ(ColourAt(*img, 8, 8), 'b');
  EXPECT_EQ(ColourAt(*img, 24, 8), 'r');
  EXPECT_EQ(ColourAt(*img, 24, 56), 'g');
  // Upright now, and the tag says so: a second run leaves the file alone.
  ExifInfo info{};
  ASSERT_TRUE(ReadJpegMetadata(f, info));
  EXPECT_EQ(info.orientation, 1);
  const auto before = test::ReadBytes(f);
  ASSERT_EQ(Quillpix({"-autorotate", f}).status, 0);
  EXPECT_EQ(test::ReadBytes(f), before);
}

TEST_F(Cli, FileTimestampOfTheFirstDayIsRefused) {
  const std::string f = file("old.png");
  WritePng(f, test::RandomPicture(4, 4, 2));
  auto setTime = [&](time_t t) {
    struct timespec ts[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, f.c_str(), ts, 0), 0);
  };
  setTime(12 * 3600);  // 1 January 1970, noon
  ExpectFailure(Quillpix({f}), "Invalid file timestamp");
  // -convert without a target is a normal start and checks the timestamp too.
  ExpectFailure(Quillpix({"-convert", f}), "Invalid file timestamp");
  setTime(86400 + 12 * 3600);  // 2 January 1970
  // Accepted: the start goes on to the window, which needs a display.
  ExpectFailure(Quillpix({f}), "xvfb-run");
}

TEST_F(Cli, FailuresExitNonZeroWithOneLine) {
  WritePng(file("pic.png"), test::RandomPicture(4, 4, 2));
  ExpectFailure(Quillpix({"-convert", file("missing.png"), file("o.png")}), "cannot read");
  ExpectFailure(Quillpix({"-convert", file("pic.png"), file("o.unknownext")}), "cannot write");
  ExpectFailure(Quillpix({"-autorotate", file("pic.png")}), "not a JPEG");
  ExpectFailure(Quillpix({"-autorotate", file("missing.jpg")}), "cannot open");
  ExpectFailure(Quillpix({"-landscape", file("pic.png")}), "not a JPEG");
  ExpectFailure(Quillpix({"--properties", file("missing.png")}), "cannot open");
  ExpectFailure(Quillpix({"-convert", file("pic.png"), file("/no/such/folder/o.png")}),
                "could not write");
}

TEST_F(Cli, HelpVersionPropertiesAndNormalStart) {
  RunResult r = Quillpix({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("-autorotate (rotate jpeg image based on EXIF orientation value)\n"),
            std::string::npos);
  r = Quillpix({"--version"});
  EXPECT_EQ(r.out, "quillpix " QP_VERSION "\n");

  const std::string f = file("q.jpg");
  ASSERT_TRUE(test::WriteJpeg(f, Quadrants(16, 16), 8));
  r = Quillpix({"--properties", f});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("Width: 16\nHeight: 16\n", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("File Type: JPG\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Orientation: Rotate 270 C\n"), std::string::npos) << r.out;

  // Without a display the window cannot open; the one line says how to get one.
  r = Quillpix({});
  ExpectFailure(r, "no display");
}

TEST_F(Cli, PropertiesOfAnAnimatedGifDescribeThePlayback) {
  if (!test::HaveTool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
  const std::string gif = file("anim.gif");
  ASSERT_EQ(test::RunShell("convert -delay 10 -size 8x6 xc:red xc:blue xc:lime -loop 0 " +
                           ShellQuote(gif)),
            0);
  const RunResult r = Quillpix({"--properties", gif});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind("Width: 8\nHeight: 6\nIs File: True\n", 0), 0u) << r.out;
  EXPECT_EQ(r.out.find("Unique Colours"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Compression Ratio"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Animated: Yes\nFrames: 3\nDuration: 0.3 s\n"), std::string::npos) << r.out;
}

// The load dispatch end to end: content beats a wrong extension, unknown extensions reach the
// general decoders, and an empty file is refused.
TEST_F(Cli, LoadDispatchThroughConvert) {
  const ImageBuffer pic = test::RandomPicture(24, 16, 5);
  WritePng(file("photo.jpg"), pic);
  RunResult r = Quillpix({"-convert", file("photo.jpg"), file("from_png.png")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Bytes(LoadPngFile(file("from_png.png"))), Bytes(LoadPngFile(file("photo.jpg"))));

  ASSERT_TRUE(test::WriteJpeg(file("x.png"), pic));
  r = Quillpix({"-convert", file("x.png"), file("from_jpeg.png")});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto jpeg = DecodeJpeg(test::ReadBytes(file("x.png")));
  ASSERT_TRUE(jpeg);
  EXPECT_EQ(Bytes(LoadPngFile(file("from_jpeg.png"))), Bytes(*jpeg));

  test::WriteBytes(file("empty.png"), {});
  ExpectFailure(Quillpix({"-convert", file("empty.png"), file("e.png")}), "cannot read");
  test::WriteBytes(file("junk.xyz"), {'n', 'o', 't', ' ', 'a', 'n', ' ', 'i', 'm', 'a', 'g', 'e'});
  ExpectFailure(Quillpix({"-convert", file("junk.xyz"), file("j.png")}), "cannot read");

  if (!test::HaveTool("convert")) GTEST_SKIP() << "ImageMagick is not installed";
  WritePng(file("ref.png"), pic);
  const ImageBuffer ref = LoadPngFile(file("ref.png"));
  auto magick = [&](const std::string& target) {
    return test::RunShell("convert " + ShellQuote(file("ref.png")) + " " + ShellQuote(target)) ==
           0;
  };
  // A TIFF under an extension nobody claims goes to the fall-backs (FreeImage, then Qt).
  ASSERT_TRUE(magick("tiff:" + file("a.xyz")));
  r = Quillpix({"-convert", file("a.xyz"), file("from_xyz.png")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Bytes(LoadPngFile(file("from_xyz.png"))), Bytes(ref));

  ASSERT_TRUE(magick(file("a.tif")));
  r = Quillpix({"-convert", file("a.tif"), file("from_tif.png")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Bytes(LoadPngFile(file("from_tif.png"))), Bytes(ref));

  if (!FreeImageAvailable()) GTEST_SKIP() << "libfreeimage3 is not installed";
  ASSERT_TRUE(magick("bmp3:" + file("a.bmp")));
  r = Quillpix({"-convert", file("a.bmp"), file("from_bmp.png")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Bytes(LoadPngFile(file("from_bmp.png"))), Bytes(ref));
}

// A still AVIF goes through avifdec; a lossless file converts back to the very pixels.
TEST_F(Cli, AvifConvertsThroughAvifdec) {
  if (!test::HaveTool("avifenc") || !test::HaveTool("avifdec")) GTEST_SKIP() << "no avif tools";
  const ImageBuffer pic = test::RandomPicture(24, 16, 9);
  WritePng(file("src.png"), pic);
  ASSERT_EQ(test::RunShell("avifenc -l " + ShellQuote(file("src.png")) + " " +
                           ShellQuote(file("a.avif")) + " >/dev/null 2>&1"),
            0);
  const RunResult r = Quillpix({"-convert", file("a.avif"), file("from_avif.png")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Bytes(LoadPngFile(file("from_avif.png"))), Bytes(LoadPngFile(file("src.png"))));
}

TEST_F(Cli, JpegXlPluginRoundTripIsLossless) {
  if (::access((test::BinDir() + "/plugins/jxl.so").c_str(), R_OK) != 0)
    GTEST_SKIP() << "the JPEG XL plug-in is not built";
  // The third run carries a colour profile through the JPEG XL file and back.
  const std::vector<uint8_t> adobe =
      test::ReadBytes("/usr/share/color/icc/colord/AdobeRGB1998.icc");
  for (int run = 0; run < 3; ++run) {
    const bool alpha = run == 1;
    const std::span<const uint8_t> icc = run == 2 ? std::span<const uint8_t>(adobe)
                                                  : std::span<const uint8_t>();
    SCOPED_TRACE(run);
    if (run == 2 && adobe.empty()) continue;  // colord-data is not installed
    const ImageBuffer picture = test::RandomPicture(37, 23, 9, alpha);
    ASSERT_EQ(SavePng(picture.data(), 37, 23, 100, file("x.png").c_str(), icc), nullptr);
    RunResult r = Quillpix({"-convert", file("x.png"), file("x.jxl"), "-lossless", "-overwrite"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = Quillpix({"-convert", file("x.jxl"), file("y.png"), "-overwrite"});
    ASSERT_EQ(r.status, 0) << r.err;
    const DecodeResult in = LoadPng(file("x.png")), out = LoadPng(file("y.png"));
    ASSERT_TRUE(in && out);
    EXPECT_EQ(Bytes(*out), Bytes(*in));
    ASSERT_EQ(out.details.colour == nullptr, icc.empty());
    if (!icc.empty()) {
      EXPECT_EQ(out.details.colour->id(), in.details.colour->id());
    }
  }
}

}  // namespace
}  // namespace qp
