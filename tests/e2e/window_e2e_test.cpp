// The real program in a real window: started on a private virtual display, driven with keys,
// its pixels read back from pictures of the screen.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "codecs/png.h"
#include "support/test_support.h"

namespace qp {
namespace {

class WindowE2e : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = test::BinDir() + "/quillpix";
    if (::access(program_.c_str(), X_OK) != 0) GTEST_SKIP() << "quillpix is not built";
    for (const char* tool : {"xvfb-run", "Xvfb", "xdotool", "import"})
      if (!test::HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
  }

  std::string Png(const std::string& name, int32_t w, int32_t h, uint32_t argb) {
    const std::string path = dir_.file(name);
    const ImageBuffer img = test::SolidPicture(w, h, argb);
    EXPECT_EQ(SavePng(img.data(), w, h, 100, path.c_str()), nullptr);
    return path;
  }

  // Runs the program on `args` with the steps of scripts/window-shot on a screen of `screen`
  // (width x height x depth); its exit status.
  int Drive(const std::string& steps, const std::vector<std::string>& args,
            const std::string& screen = "1024x768x24") {
    const std::string suppressions = std::string(QP_SOURCE_DIR) + "/tests/e2e/lsan_system_libraries.supp";
    std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM QP_SHOT_SCREEN=" +
                      test::ShellQuote(screen) + " XDG_CONFIG_HOME=" +
                      test::ShellQuote(dir_.file("config")) + " XDG_CACHE_HOME=" +
                      test::ShellQuote(dir_.file("cache")) + " LSAN_OPTIONS=" +
                      test::ShellQuote("suppressions=" + suppressions) + " " +
                      test::ShellQuote(std::string(QP_SOURCE_DIR) + "/scripts/window-shot") + " " +
                      test::ShellQuote(program_) + " " + test::ShellQuote(dir_.file("shot")) + " " +
                      test::ShellQuote(steps);
    for (const auto& a : args) cmd += " " + test::ShellQuote(a);
    return test::RunShell(cmd + " >/dev/null 2>&1");
  }

  ImageBuffer Shot(int n) {
    auto img = LoadPng(dir_.file("shot-" + std::to_string(n) + ".png"));
    EXPECT_TRUE(img) << "screen picture " << n;
    return img ? std::move(*img) : ImageBuffer();
  }

  // The text tesseract reads in the part (x, y, w, h) of screen picture `n`, made black on
  // white from one colour channel (0 red, 1 green, 2 blue; light text is turned dark) and
  // enlarged.
  std::string Read(int n, int x, int y, int w, int h, int channel, bool lightText) {
    const std::string shot = dir_.file("shot-" + std::to_string(n) + ".png");
    const std::string part = dir_.file("read-" + std::to_string(n) + ".png");
    const std::string geometry = std::to_string(w) + "x" + std::to_string(h) + "+" + std::to_string(x) + "+" +
                                 std::to_string(y);
    const char* channels[] = {"R", "G", "B"};
    const std::string text = dir_.file("read-" + std::to_string(n));
    const int status = test::RunShell(
        "convert " + test::ShellQuote(shot) + " -crop " + geometry + " +repage -channel " + channels[channel] +
        " -separate +channel " + (lightText ? "-negate " : "") + "-threshold 50% -scale 200% " +
        test::ShellQuote(part) + " && tesseract " +
        test::ShellQuote(part) + " " + test::ShellQuote(text) + " --psm 6 >/dev/null 2>&1");
    EXPECT_EQ(status, 0);
    std::ifstream in(text + ".txt");
    std::stringstream out;
    out << in.rdbuf();
    return out.str();
  }

  std::string Settings() {
    std::ifstream in(dir_.file("config/Quillpix/Quill Pix.conf"));
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  std::string program_;
  test::TempDir dir_;
};

uint32_t Rgb(const ImageBuffer& img, int32_t x, int32_t y) { return test::PixelAt(img, x, y) & 0xFFFFFF; }

// The first row of column `x` that has colour `rgb`, or -1.
int32_t FirstRow(const ImageBuffer& img, int32_t x, uint32_t rgb) {
  for (int32_t y = 0; y < img.height(); ++y)
    if (Rgb(img, x, y) == rgb) return y;
  return -1;
}

TEST_F(WindowE2e, ShowsStepsFullscreensAndQuits) {
  const std::string a = Png("a.png", 200, 100, 0xFFFF0000);
  Png("b.png", 100, 200, 0xFF0000FF);
  const int status = Drive("shot space shot Return shot Escape shot Escape", {a});
  ASSERT_EQ(status, 0) << "the program did not end by itself";

  // 1: the first picture at original size at the top left of the view, black around it.
  const ImageBuffer one = Shot(1);
  ASSERT_FALSE(one.empty());
  const int32_t top = FirstRow(one, 0, 0xFF0000);
  ASSERT_GT(top, 0) << "no red picture in the window";
  EXPECT_EQ(Rgb(one, 199, top), 0xFF0000u);
  EXPECT_EQ(Rgb(one, 200, top + 50), 0x000000u);
  EXPECT_EQ(Rgb(one, 0, top + 99), 0xFF0000u);
  EXPECT_EQ(Rgb(one, 0, top + 100), 0x000000u);

  // 2: Space stepped to the next file of the folder.
  const ImageBuffer two = Shot(2);
  EXPECT_EQ(Rgb(two, 99, top + 199), 0x0000FFu);
  EXPECT_EQ(Rgb(two, 100, top), 0x000000u);

  // 3: Enter: fullscreen, fitted (100 x 200 on 1024 x 768 is 384 x 768) and centred on black.
  const ImageBuffer three = Shot(3);
  EXPECT_EQ(Rgb(three, 0, 0), 0x000000u);
  EXPECT_EQ(Rgb(three, 319, 384), 0x000000u);
  EXPECT_EQ(Rgb(three, 320, 0), 0x0000FFu);
  EXPECT_EQ(Rgb(three, 703, 767), 0x0000FFu);
  EXPECT_EQ(Rgb(three, 704, 384), 0x000000u);

  // 4: Escape leaves fullscreen (the window and its menu bar are back); the second one quits.
  const ImageBuffer four = Shot(4);
  EXPECT_NE(Rgb(four, 5, 5), 0x000000u);
  const std::string settings = Settings();
  EXPECT_NE(settings.find("ToolbarVisible=false"), std::string::npos) << settings;
  EXPECT_NE(settings.find("StatusVisible=true"), std::string::npos) << settings;
}

// The position of the first pixel of colour `rgb`, row by row; (-1, -1) when none.
std::pair<int32_t, int32_t> Find(const ImageBuffer& img, uint32_t rgb) {
  for (int32_t y = 0; y < img.height(); ++y)
    for (int32_t x = 0; x < img.width(); ++x)
      if (Rgb(img, x, y) == rgb) return {x, y};
  return {-1, -1};
}

TEST_F(WindowE2e, ThumbnailGridMovesAndOpens) {
  const std::string a = Png("a.png", 60, 60, 0xFFFF0000);
  Png("b.png", 60, 60, 0xFF00FF00);
  Png("c.png", 60, 60, 0xFF0000FF);
  ASSERT_EQ(Drive("g shot Right Right shot Return shot Escape", {a}), 0);

  // 1: the three thumbnails side by side in one row, the first one selected.
  const ImageBuffer one = Shot(1);
  ASSERT_FALSE(one.empty());
  const auto red = Find(one, 0xFF0000), green = Find(one, 0x00FF00), blue = Find(one, 0x0000FF);
  ASSERT_GE(red.first, 0) << "no thumbnail of a.png";
  ASSERT_GE(blue.first, 0) << "no thumbnail of c.png";
  EXPECT_EQ(red.second, green.second);
  EXPECT_EQ(red.second, blue.second);
  EXPECT_LT(red.first, green.first);
  EXPECT_LT(green.first, blue.first);
  EXPECT_EQ(Rgb(one, red.first + 59, red.second + 59), 0xFF0000u);
  // The selection's background shows beside the selected thumbnail only.
  auto beside = [](const ImageBuffer& img, std::pair<int32_t, int32_t> at) {
    return Rgb(img, at.first - 10, at.second + 30);
  };
  EXPECT_NE(beside(one, red), beside(one, blue));

  // 2: two steps right: c.png is selected.
  const ImageBuffer two = Shot(2);
  EXPECT_EQ(beside(two, blue), beside(one, red));
  EXPECT_EQ(beside(two, red), beside(one, blue));

  // 3: Enter opened c.png at original size; the grid is gone.
  const ImageBuffer three = Shot(3);
  const int32_t top = FirstRow(three, 0, 0x0000FF);
  ASSERT_GT(top, 0) << "c.png is not shown";
  EXPECT_EQ(Rgb(three, 59, top + 59), 0x0000FFu);
  EXPECT_EQ(Rgb(three, 60, top), 0x000000u);
  EXPECT_EQ(Find(three, 0xFF0000).first, -1);
}

// A laptop screen 1366 pixels wide, not a multiple of 4: the fitted picture fills the width
// without a scroll bar and is centred; the overlay is legible; the title names the file; Alt
// opens a menu whose first item's prompt shows in the status bar.
TEST_F(WindowE2e, FullscreenOnA1366ScreenOverlayTitleAndMenus) {
  const std::string big = Png("big.png", 4000, 2000, 0xFF200020);
  const int status =
      Drive("title Return shot i i shot Escape title alt+f shot Escape Escape Escape", {big}, "1366x768x24");
  ASSERT_EQ(status, 0) << "the program did not end by itself";

  // 1: 1366 x 683 at rows 42 to 724, black above and below: no scroll bar over the margin.
  const ImageBuffer one = Shot(1);
  ASSERT_EQ(one.width(), 1366);
  EXPECT_EQ(Rgb(one, 0, 41), 0x000000u);
  EXPECT_EQ(Rgb(one, 0, 42), 0x200020u);
  EXPECT_EQ(Rgb(one, 1365, 42), 0x200020u);
  EXPECT_EQ(Rgb(one, 1365, 724), 0x200020u);
  for (int32_t x : {0, 683, 1365}) {
    EXPECT_EQ(Rgb(one, x, 725), 0x000000u) << x;
    EXPECT_EQ(Rgb(one, x, 767), 0x000000u) << x;
  }

  // The title, in fullscreen and back in the window.
  std::ifstream titles(dir_.file("shot-titles.txt"));
  std::string first, second;
  std::getline(titles, first);
  std::getline(titles, second);
  EXPECT_EQ(first, "big.png - Quill Pix");
  EXPECT_EQ(second, "big.png - Quill Pix");

  if (!test::HaveTool("tesseract")) GTEST_SKIP() << "tesseract is not installed: no text read back";
  // 2: the overlay's details at the top left and the name under the picture, read back.
  const std::string details = Read(2, 0, 30, 400, 160, 1, true);
  EXPECT_NE(details.find("W: 4000"), std::string::npos) << details;
  EXPECT_NE(details.find("H: 2000"), std::string::npos) << details;
  EXPECT_NE(details.find(" KB"), std::string::npos) << details;
  const std::string name = Read(2, 400, 715, 566, 40, 1, true);
  EXPECT_NE(name.find("big.png"), std::string::npos) << name;

  // 3: Alt+F opened the File menu with its first item active, whose prompt shows. (Escape
  // closes the menu, the next one leaves the menu bar, the last one quits.)
  const std::string menu = Read(3, 0, 0, 500, 700, 0, false);
  EXPECT_NE(menu.find("Open..."), std::string::npos) << menu;
  EXPECT_NE(menu.find("Refresh File List"), std::string::npos) << menu;
  const std::string prompt = Read(3, 0, 700, 700, 68, 0, false);
  EXPECT_NE(prompt.find("Open a picture file"), std::string::npos) << prompt;
}

// The command line's line from (0, 0) to (100, 100) is drawn into the first picture: the red
// pixels of the screen are the 101 of one diagonal. The file comes first, as every token after
// the switch belongs to the line list.
TEST_F(WindowE2e, CommandLineLinesAreShownOnTheFirstPicture) {
  const std::string white = Png("white.png", 300, 200, 0xFFFFFFFF);
  ASSERT_EQ(Drive("shot Escape", {white, "-drawlines", "0", "0", "100", "100"}), 0);
  const ImageBuffer shot = Shot(1);
  ASSERT_FALSE(shot.empty());
  int32_t count = 0, offset = -1;
  bool diagonal = true;
  for (int32_t y = 0; y < shot.height(); ++y)
    for (int32_t x = 0; x < shot.width(); ++x) {
      if (Rgb(shot, x, y) != 0xFF0000u) continue;
      if (offset < 0) offset = y - x;
      diagonal = diagonal && y - x == offset;
      ++count;
    }
  EXPECT_TRUE(diagonal);
  EXPECT_EQ(count, 101);
  EXPECT_EQ(Rgb(shot, 0, offset), 0xFF0000u);
}

TEST_F(WindowE2e, AFifoNamedLikeAPictureNeitherHangsNorCrashes) {
  const std::string fifo = dir_.file("pipe.jpg");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(Drive("shot Escape", {fifo}), 0);
  EXPECT_FALSE(Shot(1).empty());
}

}  // namespace
}  // namespace qp
