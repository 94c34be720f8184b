// The desktop files pass the freedesktop and AppStream validators, the manual page renders, and
// an install into a temporary prefix gives programs that run and find their plug-ins.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "codecs/png.h"
#include "core/paths.h"
#include "support/test_support.h"

namespace qp {
namespace {

namespace fs = std::filesystem;
using test::ShellQuote;

const std::string kPackaging = std::string(QP_SOURCE_DIR) + "/packaging";

std::string Slurp(const std::string& path) {
  std::ifstream in(path);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Runs a command with its output into a file; the exit status and the output.
int Capture(const std::string& command, std::string& out) {
  test::TempDir dir;
  const std::string log = dir.file("log");
  const int status = test::RunShell(command + " > " + ShellQuote(log) + " 2>&1");
  out = Slurp(log);
  return status;
}

TEST(Packaging, DesktopEntryIsValidAndNamesEveryFormat) {
  if (!test::HaveTool("desktop-file-validate")) GTEST_SKIP() << "desktop-file-utils missing";
  const std::string desktop = kPackaging + "/org.quillpix.Quillpix.desktop";
  std::string out;
  EXPECT_EQ(Capture("desktop-file-validate " + ShellQuote(desktop), out), 0) << out;
  EXPECT_EQ(out, "") << out;  // not even a hint
  const std::string text = Slurp(desktop);
  EXPECT_NE(text.find("\nExec=quillpix %F\n"), std::string::npos);
  for (const char* type : {"image/webp", "image/jpeg", "image/png", "image/gif", "image/bmp",
                           "image/tiff", "image/vnd.microsoft.icon", "image/svg+xml",
                           "image/svg+xml-compressed", "image/qoi", "image/avif", "image/heic",
                           "image/heif", "image/jxl", "image/x-tga", "video/mp4", "video/webm"})
    EXPECT_NE(text.find(std::string(type) + ";"), std::string::npos) << type;
}

TEST(Packaging, AppStreamMetadataIsValid) {
  if (!test::HaveTool("appstreamcli")) GTEST_SKIP() << "appstream missing";
  std::string out;
  EXPECT_EQ(Capture("appstreamcli validate --no-net " +
                        ShellQuote(kPackaging + "/org.quillpix.Quillpix.metainfo.xml"),
                    out),
            0)
      << out;
  EXPECT_NE(out.find("Validation was successful"), std::string::npos) << out;
}

// Every program has a page that renders without a warning and says what it must.
TEST(Packaging, ManualPagesRender) {
  if (!test::HaveTool("man")) GTEST_SKIP() << "man-db missing";
  std::map<std::string, std::string> pages;
  for (const char* name : {"quillpix", "QuillpixBatch", "QuillpixSettings"}) {
    std::string& out = pages[name];
    ASSERT_EQ(Capture("MANWIDTH=80 man --warnings -l " + ShellQuote(kPackaging + "/" + name + ".1"),
                      out),
              0)
        << name;
    EXPECT_EQ(out.find("warning"), std::string::npos) << out;
    std::string title(name);
    for (char& c : title) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_NE(out.find(title + "(1)"), std::string::npos) << out;
    // One blank between words, whatever the justification and the line breaks.
    std::string words;
    for (char c : out)
      if (!std::isspace(static_cast<unsigned char>(c)) || (!words.empty() && words.back() != ' '))
        words += std::isspace(static_cast<unsigned char>(c)) ? ' ' : c;
    out = words;
  }
  EXPECT_NE(pages["quillpix"].find("-convert filename outname"), std::string::npos);
  // Settings read at start-up do not take effect at once; the page must not say they all do.
  EXPECT_EQ(pages["quillpix"].find("effect at once"), std::string::npos) << pages["quillpix"];
  EXPECT_NE(pages["quillpix"].find("read when the program starts"), std::string::npos);
  EXPECT_NE(pages["QuillpixBatch"].find("-existing rule"), std::string::npos);
  EXPECT_NE(pages["QuillpixSettings"].find("DisableNumericSort"), std::string::npos);
}

TEST(Packaging, InstallIntoAPrefixGivesWorkingPrograms) {
  const std::string build = FolderOf(test::BinDir());
  if (!test::HaveTool("cmake") || ::access((test::BinDir() + "/QuillpixBatch").c_str(), X_OK) != 0)
    GTEST_SKIP() << "cmake or the programs are missing";
  test::TempDir dir;
  const std::string prefix = dir.file("prefix");
  std::string out;
  ASSERT_EQ(
      Capture("cmake --install " + ShellQuote(build) + " --prefix " + ShellQuote(prefix), out), 0)
      << out;
  for (const char* file :
       {"bin/quillpix", "bin/QuillpixBatch", "bin/QuillpixSettings",
        "share/applications/org.quillpix.Quillpix.desktop",
        "share/metainfo/org.quillpix.Quillpix.metainfo.xml",
        "share/icons/hicolor/scalable/apps/org.quillpix.Quillpix.svg", "share/man/man1/quillpix.1",
        "share/man/man1/QuillpixBatch.1", "share/man/man1/QuillpixSettings.1"})
    EXPECT_TRUE(fs::exists(prefix + "/" + file)) << file;

  const std::string env = "XDG_CONFIG_HOME=" + ShellQuote(dir.file("config")) + " ";
  ASSERT_EQ(Capture(env + ShellQuote(prefix + "/bin/quillpix") + " --version", out), 0) << out;
  EXPECT_NE(out.find(QP_VERSION), std::string::npos) << out;

  // The installed programs find the plug-ins installed beside them (JPEG XL, when built).
  const ImageBuffer img = test::RandomPicture(40, 30, 7);
  const std::string png = dir.file("in.png");
  ASSERT_EQ(SavePng(img.data(), img.width(), img.height(), 100, png.c_str()), nullptr);
  const bool jxl = fs::exists(test::BinDir() + "/plugins/jxl.so");
  const std::string ext = jxl ? "jxl" : "webp";
  ASSERT_EQ(Capture(env + ShellQuote(prefix + "/bin/quillpix") + " -convert " + ShellQuote(png) +
                        " " + ShellQuote(dir.file("one." + ext)),
                    out),
            0)
      << out;
  EXPECT_TRUE(fs::exists(dir.file("one." + ext)));
  ASSERT_EQ(Capture(env + ShellQuote(prefix + "/bin/QuillpixBatch") + " -to " + ext + " -out " +
                        ShellQuote(dir.file("batch")) + " " + ShellQuote(png),
                    out),
            0)
      << out;
  EXPECT_EQ(out, "Converted 1, skipped 0, failed 0\n");
  EXPECT_TRUE(fs::exists(dir.file("batch/in." + ext)));
}

}  // namespace
}  // namespace qp
