// Drives the built QuillpixBatch program from the command line on a folder of mixed pictures.
// Every run gets its own configuration folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "codecs/bgra.h"
#include "codecs/ico.h"
#include "codecs/png.h"
#include "codecs/qoi.h"
#include "codecs/webp.h"
#include "core/viewer_state.h"
#include "support/jpeg_builder.h"
#include "support/test_support.h"

namespace qp {
namespace {

namespace fs = std::filesystem;
using test::ShellQuote;

class BatchCli : public ::testing::Test {
 protected:
  void SetUp() override {
    program_ = test::BinDir() + "/QuillpixBatch";
    if (::access(program_.c_str(), X_OK) != 0) GTEST_SKIP() << "QuillpixBatch is not built";
  }
  // Runs the program; its exit status, and what it printed on standard output (or on both).
  int Run(const std::string& args, std::string& out, bool withErrors = true) {
    const std::string log = dir_.file("out.txt");
    const int status = test::RunShell("XDG_CONFIG_HOME=" + ShellQuote(dir_.file("config")) + " " +
                                      ShellQuote(program_) + " " + args + " > " + ShellQuote(log) +
                                      (withErrors ? " 2>&1" : " 2>/dev/null"));
    std::ifstream in(log);
    std::stringstream ss;
    ss << in.rdbuf();
    out = ss.str();
    return status;
  }

  std::string program_;
  test::TempDir dir_;
};

// 200 pictures in seven formats, one in ten of them broken in one of three ways.
TEST_F(BatchCli, TwoHundredMixedFilesToWebp) {
  const std::string in = dir_.file("in");
  fs::create_directories(in + "/more");
  size_t good = 0, broken = 0;
  for (int i = 0; i < 200; ++i) {
    const ImageBuffer img = test::RandomPicture(96 + i % 7, 64 + i % 5, i, i % 4 == 0);
    const std::string base = (i % 2 ? in + "/more/f" : in + "/f") + std::to_string(i);
    std::string written;
    switch (i % 6) {
      case 0:
        written = base + ".png";
        SavePng(img.data(), img.width(), img.height(), 100, written.c_str());
        break;
      case 1:
        written = base + ".jpg";
        test::WriteJpeg(written, img);
        break;
      case 2:
        written = base + ".qoi";
        writeQoi(img.data(), img.width(), img.height(), written.c_str());
        break;
      case 3:
        written = base + ".webp";
        EncodeWebP(img.data(), img.width(), img.height(), 90, written.c_str(), true);
        break;
      case 4:
        written = base + ".ico";
        writeIcon(img.data(), img.width(), img.height(), written.c_str());
        break;
      case 5:
        written = base + ".bgra";
        writeRawBgra(img.data(), img.width(), img.height(), written.c_str());
        break;
    }
    ASSERT_TRUE(fs::exists(written)) << written;
    if (i % 10 == 7) {
      std::vector<uint8_t> bytes = test::ReadBytes(written);
      switch (i % 3) {
        case 0:
          bytes.clear();
          break;  // empty
        case 1:
          bytes.resize(std::min<size_t>(bytes.size(), 40));
          break;  // cut short
        case 2:
          std::fill(bytes.begin(), bytes.end(), 0x5A);
          break;  // garbage
      }
      test::WriteBytes(written, bytes);
      ++broken;
    } else {
      ++good;
    }
  }
  ASSERT_EQ(good + broken, 200u);

  const std::string outDir = dir_.file("out");
  std::string out;
  const int status =
      Run("-to webp -recursive -out " + ShellQuote(outDir) + " " + ShellQuote(in), out, false);
  EXPECT_NE(status, 0);  // some files failed
  const std::string head =
      "Converted " + std::to_string(good) + ", skipped 0, failed " + std::to_string(broken) + "\n";
  EXPECT_EQ(out.substr(0, head.size()), head) << out;
  // One line per broken file, with its reason.
  size_t failedLines = 0;
  for (size_t at = out.find("\nfailed: "); at != std::string::npos;
       at = out.find("\nfailed: ", at + 1)) {
    ++failedLines;
    const std::string line = out.substr(at + 1, out.find('\n', at + 1) - at - 1);
    EXPECT_NE(line.find("/f"), std::string::npos) << line;
    EXPECT_NE(line.find(": not a picture that can be read"), std::string::npos) << line;
  }
  EXPECT_EQ(failedLines, broken);

  // Exactly the good pictures, each a complete WebP file, and nothing else (no temporary files).
  size_t files = 0;
  for (const auto& e : fs::recursive_directory_iterator(outDir)) {
    if (!e.is_regular_file()) continue;
    ++files;
    const std::string name = e.path().filename().string();
    EXPECT_NE(name[0], '.') << name;
    EXPECT_EQ(e.path().extension(), ".webp") << name;
    ViewerState state;
    EXPECT_TRUE(LoadWebP(e.path().string(), state, false)) << name;
  }
  EXPECT_EQ(files, good);
  EXPECT_TRUE(fs::exists(outDir + "/more/f1.webp"));

  // A second run skips every existing file and writes nothing.
  ASSERT_EQ(
      Run("-to webp -recursive -out " + ShellQuote(outDir) + " " + ShellQuote(in + "/f0.png"), out),
      0);
  EXPECT_EQ(out, "Converted 0, skipped 1, failed 0\nskipped: " + in +
                     "/f0.png: a file of that name exists\n");
}

TEST_F(BatchCli, WrongCommandLinesAreRefused) {
  std::string out;
  EXPECT_EQ(Run("-to webp", out), 2);
  EXPECT_NE(out.find("name the files or folders to convert"), std::string::npos) << out;
  EXPECT_EQ(Run("-to webp -existing maybe x.png", out), 2);
  EXPECT_EQ(Run("--help", out), 0);
  EXPECT_NE(out.find("-existing RULE"), std::string::npos);
}

}  // namespace
}  // namespace qp
