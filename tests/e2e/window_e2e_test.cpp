// Starts the real program on a virtual X display and reads its window back from the screen.
#include <unistd.h>

#include <gtest/gtest.h>

#include "codecs/png.h"
#include "core/viewer_state.h"
#include "support/test_support.h"

namespace qp {
namespace {

using test::ShellQuote;

// The red pixels of a screenshot lie on one diagonal of 101 pixels: the line from (0, 0) to
// (100, 100) drawn into the picture and shown at its original size.
bool ShowsTheLine(const std::string& shot) {
  ViewerState state;
  auto img = LoadPng(shot, state);
  if (!img) return false;
  int32_t count = 0, offset = -1;
  for (int32_t y = 0; y < img->height(); ++y)
    for (int32_t x = 0; x < img->width(); ++x) {
      const uint8_t* p = img->pixel(x, y);
      if (!(p[2] > 200 && p[1] < 60 && p[0] < 60)) continue;
      if (offset < 0) offset = y - x;
      if (y - x != offset) return false;
      ++count;
    }
  return count == 101;
}

TEST(Window, CommandLineLinesAreShownOnTheFirstPicture) {
  const std::string program = test::BinDir() + "/quillpix";
  if (::access(program.c_str(), X_OK) != 0) GTEST_SKIP() << "quillpix is not built";
  if (!test::HaveTool("xvfb-run") || !test::HaveTool("import") || !test::HaveTool("convert")) {
    GTEST_SKIP() << "xvfb-run or ImageMagick is not installed";
  }
  test::TempDir dir;
  const std::string picture = dir.file("white.png");
  const ImageBuffer white = test::SolidPicture(300, 200, 0xFFFFFFFF);
  ASSERT_EQ(SavePng(white.data(), 300, 200, 1, picture.c_str()), nullptr);
  const std::string shot = dir.file("shot.png");
  // The file comes first: every token after the switch belongs to the line list. Screenshots
  // are taken until one shows red (10 seconds at most), then once more after the paint.
  const std::string q = ShellQuote(shot);
  const std::string script =
      "XDG_CONFIG_HOME=" + ShellQuote(dir.file("config")) + " " + ShellQuote(program) + " " +
      ShellQuote(picture) + " -drawlines 0 0 100 100 & p=$!; "
      "for i in $(seq 1 40); do sleep 0.25; import -window root " + q + " 2>/dev/null || continue; "
      "r=$(convert " + q + " -fill black +opaque red -format '%[fx:maxima]' info: 2>/dev/null); "
      "[ \"$r\" != 0 ] && [ -n \"$r\" ] && break; done; "
      "sleep 0.5; import -window root " + q + "; kill $p";
  ASSERT_EQ(test::RunShell("xvfb-run -a -s '-screen 0 640x480x24' sh -c " + ShellQuote(script) +
                           " >/dev/null 2>&1"),
            0);
  EXPECT_TRUE(ShowsTheLine(shot));
}

}  // namespace
}  // namespace qp
