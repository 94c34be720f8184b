// Drives the built QuillpixBatch program from the command line on a folder of mixed pictures.
// Every run gets its own configuration folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>
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
  // `prefix` runs it through another program (another user, say).
  int Run(const std::string& args, std::string& out, bool withErrors = true,
          const std::string& prefix = "") {
    const std::string log = dir_.file("out.txt");
    const int status = test::RunShell(prefix + "env XDG_CONFIG_HOME=" +
                                      ShellQuote(dir_.file("config")) + " " + ShellQuote(program_) +
                                      " " + args + " > " + ShellQuote(log) +
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

// The folder: a.png and a different a.webp. Neither -existing overwrite nor a second
// run in place may lose a picture or add a file.
TEST_F(BatchCli, OverwriteKeepsEverySourceAndASecondRunConvertsNothing) {
  const std::string in = dir_.file("in");
  fs::create_directories(in);
  const ImageBuffer a = test::RandomPicture(30, 20, 1), b = test::RandomPicture(11, 7, 2);
  ASSERT_EQ(SavePng(a.data(), 30, 20, 100, (in + "/a.png").c_str()), nullptr);
  ASSERT_EQ(EncodeWebP(b.data(), 11, 7, 90, (in + "/a.webp").c_str(), false), nullptr);
  const std::vector<uint8_t> oldWebp = test::ReadBytes(in + "/a.webp");
  std::string out;
  EXPECT_EQ(Run("-to webp -existing overwrite -threads 2 " + ShellQuote(in), out), 0) << out;
  EXPECT_EQ(out, "Converted 1, skipped 1, failed 0\nrenamed: " + in + "/a.png: written as " + in +
                     "/a (2).webp because " + in + "/a.webp is a source of this run\nskipped: " +
                     in + "/a.webp: already WEBP\n");
  EXPECT_EQ(test::ReadBytes(in + "/a.webp"), oldWebp);
  ViewerState state;
  EXPECT_EQ(LoadWebP(in + "/a (2).webp", state, false).width(), 30);

  // The default rule, twice: the second run writes nothing.
  const std::string again = dir_.file("again");
  fs::create_directories(again);
  fs::copy_file(in + "/a.png", again + "/a.png");
  EXPECT_EQ(Run("-to webp " + ShellQuote(again), out), 0) << out;
  EXPECT_EQ(out.substr(0, 33), "Converted 1, skipped 0, failed 0\n") << out;
  EXPECT_EQ(Run("-to webp " + ShellQuote(again), out), 0) << out;
  EXPECT_EQ(out, "Converted 0, skipped 2, failed 0\nskipped: " + again +
                     "/a.png: a file of that name exists\nskipped: " + again +
                     "/a.webp: already WEBP\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(again), fs::directory_iterator()), 2);
}

// Root reads every folder, so the converter runs as an unprivileged user here.
TEST_F(BatchCli, UnreadableFoldersAndFilesAreReportedAndFail) {
  if (::geteuid() != 0 || !test::HaveTool("setpriv")) GTEST_SKIP() << "needs root and setpriv";
  const std::string in = dir_.file("in");
  fs::create_directories(in + "/locked");
  fs::create_directories(in + "/open");
  const ImageBuffer img = test::RandomPicture(16, 12, 3);
  for (const char* name : {"open/ok.png", "locked/hidden.png", "secret.png"})
    ASSERT_EQ(SavePng(img.data(), 16, 12, 100, (in + "/" + name).c_str()), nullptr);
  ::chmod(dir_.path().c_str(), 0777);
  ::chmod(in.c_str(), 0777);
  ::chmod((in + "/open").c_str(), 0777);
  ::chmod((in + "/open/ok.png").c_str(), 0644);
  ::chmod((in + "/locked").c_str(), 0700);
  ::chmod((in + "/secret.png").c_str(), 0600);
  std::string out;
  const int status = Run("-to qoi -recursive -out " + ShellQuote(dir_.file("out")) + " " +
                             ShellQuote(in),
                         out, true, "setpriv --reuid=65534 --regid=65534 --clear-groups ");
  EXPECT_EQ(status, 1) << out;
  EXPECT_EQ(out.substr(0, 33), "Converted 1, skipped 0, failed 2\n") << out;
  EXPECT_NE(out.find("failed: " + in + "/locked: cannot read the folder: Permission denied\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("failed: " + in + "/secret.png: cannot open the file: Permission denied\n"),
            std::string::npos)
      << out;
}

// A batch started the way a terminal starts it: in a process group of its own, to which the
// test sends what the terminal would (Ctrl+C to the whole group, a hang-up). The AVIF decoder
// is a stand-in script that takes its time, so that signals arrive while it works.
class BatchSignals : public BatchCli {
 protected:
  void SetUp() override {
    BatchCli::SetUp();
    if (IsSkipped()) return;
    fs::create_directories(dir_.file("bin"));
    fs::create_directories(dir_.file("in"));
    fs::create_directories(dir_.file("tmp"));
    const ImageBuffer img = test::RandomPicture(20, 10, 4);
    ASSERT_EQ(SavePng(img.data(), 20, 10, 100, dir_.file("decoded.png").c_str()), nullptr);
    for (int i = 0; i < 3; ++i) test::WriteBytes(dir_.file("in/p" + std::to_string(i) + ".avif"), {0});
    // Says it started (its process id), sleeps, then "decodes" by copying a PNG.
    std::ofstream script(dir_.file("bin/avifdec"));
    script << "#!/bin/sh\necho $$ >> " << ShellQuote(dir_.file("started")) << "\nsleep \"$QP_SLEEP\"\n"
           << "cp " << ShellQuote(dir_.file("decoded.png")) << " \"$2\"\n";
    script.close();
    ::chmod(dir_.file("bin/avifdec").c_str(), 0755);
  }

  // Starts the converter in a new process group; its process id.
  pid_t Start(const char* sleepSeconds) {
    const std::string log = dir_.file("log.txt");
    const char* inherited = std::getenv("PATH");
    const std::string path = dir_.file("bin") + ":" + (inherited ? inherited : "/usr/bin:/bin");
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::setpgid(0, 0);
      ::setenv("PATH", path.c_str(), 1);
      ::setenv("QP_SLEEP", sleepSeconds, 1);
      ::setenv("TMPDIR", dir_.file("tmp").c_str(), 1);
      ::setenv("XDG_CONFIG_HOME", dir_.file("config").c_str(), 1);
      if (!std::freopen(log.c_str(), "w", stdout) || !std::freopen(log.c_str(), "a", stderr))
        ::_exit(126);
      ::execl(program_.c_str(), program_.c_str(), "-to", "png", "-threads", "1", "-out",
              dir_.file("out").c_str(), dir_.file("in").c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::setpgid(pid, pid);
    return pid;
  }
  // Waits (bounded) until the stand-in decoder has started `n` times.
  bool HelperStarted(size_t n = 1) {
    for (int i = 0; i < 400; ++i) {
      std::ifstream in(dir_.file("started"));
      size_t lines = 0;
      for (std::string line; std::getline(in, line);) ++lines;
      if (lines >= n) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  // The exit status (128 + signal for an end by a signal), or -1 when it did not end in time.
  int Wait(pid_t pid, int seconds) {
    for (int i = 0; i < seconds * 20; ++i) {
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid)
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::kill(-pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return -1;
  }
  std::string Log() {
    std::ifstream in(dir_.file("log.txt"));
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  // Temporary files left anywhere: the decoder's in TMPDIR, hidden ones in the target folder.
  std::vector<std::string> Leftovers() {
    std::vector<std::string> found;
    for (const std::string& folder : {dir_.file("tmp"), dir_.file("out")}) {
      if (!fs::exists(folder)) continue;
      for (const auto& e : fs::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (folder.ends_with("tmp") || name[0] == '.') found.push_back(name);
      }
    }
    return found;
  }
};

// The first Ctrl+C finishes the picture in progress (its helper is not interrupted) and
// cancels the rest; so do a termination request and a hang-up.
TEST_F(BatchSignals, FirstSignalFinishesThePictureInProgress) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    fs::remove_all(dir_.file("out"));
    fs::remove(dir_.file("started"));
    const pid_t pid = Start("1");
    ASSERT_TRUE(HelperStarted()) << Log();
    ::kill(-pid, signal);
    EXPECT_EQ(Wait(pid, 60), 1) << signal << Log();
    const std::string log = Log();
    EXPECT_NE(log.find("Converted 1, skipped 0, failed 0, cancelled 2\n"), std::string::npos)
        << signal << ": " << log;
    EXPECT_TRUE(fs::exists(dir_.file("out/p0.png"))) << signal;
    EXPECT_EQ(Leftovers(), std::vector<std::string>{}) << signal;
  }
}

// A second Ctrl+C ends the program at once, also while a helper is still at work: the helper is
// killed and every temporary file removed.
TEST_F(BatchSignals, SecondCtrlCEndsAtOnceAndLeavesNothingBehind) {
  const pid_t pid = Start("60");
  ASSERT_TRUE(HelperStarted()) << Log();
  ::kill(-pid, SIGINT);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ::kill(-pid, SIGINT);
  EXPECT_EQ(Wait(pid, 20), 128 + SIGINT) << Log();
  EXPECT_EQ(Leftovers(), std::vector<std::string>{});
  // The helper is gone (or a zombie waiting for its new parent to reap it).
  std::ifstream in(dir_.file("started"));
  pid_t helper = 0;
  in >> helper;
  ASSERT_GT(helper, 0);
  bool gone = false;
  for (int i = 0; i < 100 && !gone; ++i) {
    std::ifstream stat("/proc/" + std::to_string(helper) + "/stat");
    std::string pidText, name, state;
    gone = !(stat >> pidText >> name >> state) || state == "Z";
    if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(gone);
}

TEST_F(BatchCli, WrongCommandLinesAreRefused) {
  std::string out;
  EXPECT_EQ(Run("-to webp", out), 2);
  EXPECT_NE(out.find("name the files or folders to convert"), std::string::npos) << out;
  EXPECT_EQ(Run("-to webp -existing maybe x.png", out), 2);
  EXPECT_EQ(Run("-quality 0 -to jpg x.png", out), 2);
  EXPECT_NE(out.find("the quality of JPG pictures is a number from 1 to 100, not 0"),
            std::string::npos)
      << out;
  EXPECT_EQ(Run("-memory 4000000000 -to jpg x.png", out), 2);
  EXPECT_EQ(Run("--help", out), 0);
  EXPECT_NE(out.find("-existing RULE"), std::string::npos);
}

}  // namespace
}  // namespace qp
