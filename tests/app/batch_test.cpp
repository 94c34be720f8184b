#include "app/batch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "codecs/file_filters.h"
#include "codecs/png.h"
#include "codecs/qoi.h"
#include "codecs/webp.h"
#include "frame/settings_store.h"
#include "metadata/exif.h"
#include "support/jpeg_builder.h"
#include "support/test_support.h"

namespace qp {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

constexpr const char* kPatterns = "*.webp;*.png;*.jpg;*.jpeg;*.qoi;*.gif";

void WritePng(const std::string& path, const ImageBuffer& img) {
  ASSERT_EQ(SavePng(img.data(), img.width(), img.height(), 100, path.c_str()), nullptr);
}

// Every file below `dir` (names relative to it), sorted.
std::vector<std::string> FilesBelow(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) out.push_back(fs::relative(e.path(), dir).generic_string());
  std::sort(out.begin(), out.end());
  return out;
}

struct WebpSize {
  int32_t width = 0, height = 0;
};
std::optional<WebpSize> ReadWebp(const std::string& path) {
  ViewerState state;
  DecodeResult r = LoadWebP(path, state, false);
  if (!r) return std::nullopt;
  return WebpSize{r.width(), r.height()};
}

class Batch : public ::testing::Test {
 protected:
  MemorySettingsBackend backend_;
  SettingsStore store_{backend_};
  SharedSettings shared_{store_};
  BatchContext context_{shared_, nullptr};
  std::atomic<bool> cancel_{false};
  TempDir dir_;

  BatchReport Run(const std::vector<std::string>& inputs, const BatchOptions& o,
                  const BatchProgress& progress = {}) {
    return RunBatch(PlanBatch(inputs, o, kPatterns), o, context_, cancel_, progress);
  }
};

TEST_F(Batch, PlanKeepsTheFolderShapeInTheTargetAndNeverPlansOneNameTwice) {
  const std::string in = dir_.file("in");
  fs::create_directories(in + "/sub/deeper");
  fs::create_directories(in + "/.hidden");
  for (const char* name : {"p10.png", "p9.png", "p9.jpg", "notes.txt", ".secret.png", "sub/s.png",
                           "sub/deeper/d.qoi", ".hidden/h.png"})
    test::WriteBytes(in + "/" + name, {1});

  BatchOptions o;
  o.targetFolder = dir_.file("out");
  std::vector<BatchItem> flat = PlanBatch({in}, o, kPatterns).items;
  ASSERT_EQ(flat.size(), 3u);
  // Natural order; the second "p9" gets a number instead of colliding with the first.
  EXPECT_EQ(flat[0].source, in + "/p9.jpg");
  EXPECT_EQ(flat[0].target, o.targetFolder + "/p9.webp");
  EXPECT_EQ(flat[1].target, o.targetFolder + "/p9 (2).webp");
  EXPECT_EQ(flat[2].target, o.targetFolder + "/p10.webp");

  o.recursive = true;
  o.extension = "png";
  std::vector<BatchItem> deep = PlanBatch({in, in + "/p10.png"}, o, kPatterns).items;
  ASSERT_EQ(deep.size(), 6u);
  EXPECT_EQ(deep[3].target, o.targetFolder + "/sub/s.png");
  EXPECT_EQ(deep[4].target, o.targetFolder + "/sub/deeper/d.png");
  // A file named on its own goes straight into the target folder.
  EXPECT_EQ(deep[5].target, o.targetFolder + "/p10 (2).png");

  o.targetFolder.clear();
  EXPECT_EQ(PlanBatch({in + "/sub/s.png"}, o, kPatterns).items[0].target, in + "/sub/s.png");
}

TEST_F(Batch, MixedFolderToWebpReportsEachFailureAndLeavesNoPartialFiles) {
  const std::string in = dir_.file("in");
  fs::create_directories(in);
  size_t good = 0;
  for (int i = 0; i < 12; ++i) {
    const ImageBuffer img = test::RandomPicture(20 + i, 10 + i, i, i % 3 == 0);
    const std::string base = in + "/pic" + std::to_string(i);
    switch (i % 3) {
      case 0:
        WritePng(base + ".png", img);
        break;
      case 1:
        ASSERT_TRUE(test::WriteJpeg(base + ".jpg", img));
        break;
      case 2:
        ASSERT_EQ(writeQoi(img.data(), img.width(), img.height(), (base + ".qoi").c_str()),
                  nullptr);
        break;
    }
    ++good;
  }
  // Broken files: an empty PNG, a PNG cut in the middle, text named as a JPEG.
  test::WriteBytes(in + "/broken_empty.png", {});
  std::vector<uint8_t> cut = test::ReadBytes(in + "/pic0.png");
  cut.resize(cut.size() / 2);
  test::WriteBytes(in + "/broken_cut.png", cut);
  test::WriteBytes(in + "/broken_text.jpg", {'h', 'e', 'l', 'l', 'o'});

  BatchOptions o;
  o.targetFolder = dir_.file("out");
  o.threads = 3;
  size_t calls = 0;
  const BatchReport r = Run({in}, o, [&](size_t done, size_t total, const ItemResult&) {
    ++calls;
    EXPECT_EQ(done, calls);
    EXPECT_EQ(total, good + 3);
  });
  EXPECT_EQ(calls, good + 3);
  EXPECT_EQ(r.converted, good);
  EXPECT_EQ(r.failed, 3u);
  EXPECT_EQ(r.skipped, 0u);
  for (const ItemResult& item : r.items) {
    const bool broken = item.source.find("broken") != std::string::npos;
    EXPECT_EQ(item.status, broken ? ItemStatus::Failed : ItemStatus::Converted) << item.source;
    if (broken) {
      EXPECT_NE(item.reason.find("can be read"), std::string::npos) << item.reason;
      EXPECT_NE(FormatReport(r).find("failed: " + item.source + ": "), std::string::npos);
    } else {
      EXPECT_TRUE(ReadWebp(item.target)) << item.target;
    }
  }
  // Only the finished pictures, under their own names: no temporary files.
  const std::vector<std::string> written = FilesBelow(o.targetFolder);
  EXPECT_EQ(written.size(), good);
  for (const std::string& name : written) EXPECT_NE(name[0], '.') << name;
  EXPECT_EQ(FormatReport(r).substr(0, 32), "Converted 12, skipped 0, failed ");
}

TEST_F(Batch, ExistingFilesFollowTheRule) {
  const std::string in = dir_.file("a.png");
  WritePng(in, test::SolidPicture(8, 6, 0xFF102030));
  const std::string target = dir_.file("a.webp");
  const std::vector<uint8_t> old{'o', 'l', 'd'};
  const struct {
    ExistingRule rule;
    ItemStatus status;
    const char* writtenAs;  // "" when the old file must stay
  } cases[] = {
      {ExistingRule::Skip, ItemStatus::Skipped, ""},
      {ExistingRule::Rename, ItemStatus::Converted, "a (2).webp"},
      {ExistingRule::Overwrite, ItemStatus::Converted, "a.webp"},
  };
  for (const auto& c : cases) {
    fs::remove(dir_.file("a (2).webp"));
    test::WriteBytes(target, old);
    BatchOptions o;
    o.existing = c.rule;
    const BatchReport r = Run({in}, o);
    ASSERT_EQ(r.items.size(), 1u);
    EXPECT_EQ(r.items[0].status, c.status);
    const bool overwrite = c.rule == ExistingRule::Overwrite;
    EXPECT_EQ(test::ReadBytes(target) == old, !overwrite);
    if (*c.writtenAs) {
      EXPECT_EQ(r.items[0].target, dir_.file(c.writtenAs));
      EXPECT_TRUE(ReadWebp(dir_.file(c.writtenAs)));
    } else {
      EXPECT_EQ(r.items[0].reason, "a file of that name exists");
    }
  }
  // A rename never takes a name that is already there either.
  test::WriteBytes(dir_.file("a (2).webp"), old);
  BatchOptions o;
  o.existing = ExistingRule::Rename;
  EXPECT_EQ(Run({in}, o).items[0].target, dir_.file("a (3).webp"));
  EXPECT_EQ(test::ReadBytes(dir_.file("a (2).webp")), old);
}

TEST_F(Batch, CancelStopsTheRestAndFinishesWhatIsRunning) {
  for (int i = 0; i < 8; ++i)
    WritePng(dir_.file("p" + std::to_string(i) + ".png"), test::RandomPicture(40, 30, i));
  BatchOptions o;
  o.targetFolder = dir_.file("out");
  o.threads = 1;
  const BatchReport r = Run({dir_.path()}, o, [&](size_t done, size_t, const ItemResult&) {
    if (done == 2) cancel_ = true;
  });
  EXPECT_EQ(r.converted, 2u);
  EXPECT_EQ(r.cancelled, 6u);
  EXPECT_EQ(FilesBelow(o.targetFolder).size(), 2u);
  EXPECT_NE(FormatReport(r).find(", cancelled 6\n"), std::string::npos);
}

TEST_F(Batch, ResizeAutoRotationAndEncoderFailures) {
  // 400 x 100 shrinks to 100 x 25 with the longest side limited to 100; 50 x 20 stays.
  WritePng(dir_.file("wide.png"), test::RandomPicture(400, 100, 1));
  WritePng(dir_.file("small.png"), test::RandomPicture(50, 20, 2));
  // Orientation 6: the stored 64 x 32 picture is shown 32 x 64.
  ASSERT_TRUE(test::WriteJpeg(dir_.file("turned.jpg"), test::RandomPicture(64, 32, 3), 6));
  BatchOptions o;
  o.targetFolder = dir_.file("out");
  o.longestSide = 100;
  o.autoRotate = true;
  const BatchReport r = Run({dir_.path()}, o);
  ASSERT_EQ(r.converted, 3u) << FormatReport(r);
  auto size = [&](const char* name) { return ReadWebp(o.targetFolder + "/" + name).value(); };
  EXPECT_EQ(size("wide.webp").width, 100);
  EXPECT_EQ(size("wide.webp").height, 25);
  EXPECT_EQ(size("small.webp").width, 50);
  EXPECT_EQ(size("turned.webp").width, 32);
  EXPECT_EQ(size("turned.webp").height, 64);

  // JPEG to JPEG without resizing is the lossless rotation itself.
  o.extension = "jpg";
  o.longestSide = 0;
  EXPECT_EQ(RunBatch({{dir_.file("turned.jpg"), dir_.file("out/turned.jpg")}}, o, context_, cancel_)
                .converted,
            1u);
  const DecodeResult rotated = LoadJpeg(dir_.file("out/turned.jpg"));
  ASSERT_TRUE(rotated);
  EXPECT_EQ(rotated.width(), 32);
  // The turned file says it is upright, in either byte order of its EXIF data, also when
  // another segment comes first.
  for (int variant = 0; variant < 3; ++variant) {
    const std::string src = dir_.file("o" + std::to_string(variant) + ".jpg");
    ASSERT_TRUE(test::WriteJpeg(src, test::RandomPicture(64, 32, 3), 8, variant == 1));
    if (variant == 2) {
      // Move the EXIF segment behind a comment segment.
      std::vector<uint8_t> bytes = test::ReadBytes(src);
      const std::vector<uint8_t> comment{0xFF, 0xFE, 0x00, 0x05, 'h', 'i', '!'};
      bytes.insert(bytes.begin() + 2, comment.begin(), comment.end());
      test::WriteBytes(src, bytes);
    }
    const std::string out = dir_.file("out/u" + std::to_string(variant) + ".jpg");
    ASSERT_EQ(RunBatch({{src, out}}, o, context_, cancel_).converted, 1u);
    ExifInfo info{};
    ASSERT_TRUE(ReadJpegMetadata(out, info));
    EXPECT_EQ(info.orientation, 1) << variant;
    EXPECT_EQ(LoadJpeg(out).height(), 64);
  }

  // An icon larger than 255 x 255 cannot be written: the item fails, nothing is left over.
  o.extension = "ico";
  const BatchReport ico =
      RunBatch({{dir_.file("wide.png"), dir_.file("ico/wide.ico")}}, o, context_, cancel_);
  EXPECT_EQ(ico.failed, 1u);
  EXPECT_EQ(ico.items[0].reason, "an icon is at most 255 x 255 pixels");
  EXPECT_TRUE(FilesBelow(dir_.file("ico")).empty());
}

// The whole run is planned before anything is written: a source is never replaced by another
// source's picture, whatever the rule and however many workers run.
TEST_F(Batch, ASourceIsNeverATargetThatIsReplacedBeforeItIsRead) {
  const std::string in = dir_.file("in");
  const std::string other = dir_.file("other");
  fs::create_directories(in);
  fs::create_directories(other);
  WritePng(in + "/a.png", test::RandomPicture(30, 20, 1));
  ASSERT_EQ(EncodeWebP(test::RandomPicture(11, 7, 2).data(), 11, 7, 90,
                       (in + "/a.webp").c_str(), true),
            nullptr);
  // The same when the target folder holds a source named by another input.
  WritePng(other + "/b.png", test::RandomPicture(13, 9, 3));
  fs::copy_file(in + "/a.webp", in + "/b.webp");
  const std::vector<uint8_t> oldA = test::ReadBytes(in + "/a.webp");

  BatchOptions o;
  o.existing = ExistingRule::Overwrite;
  o.threads = 4;
  const BatchPlan plan = PlanBatch({in, other}, o, kPatterns);
  o.targetFolder = in;
  const BatchPlan intoIn = PlanBatch({other}, o, kPatterns);
  ASSERT_EQ(intoIn.items.size(), 1u);
  EXPECT_FALSE(intoIn.items[0].targetIsSource);  // b.webp is not a source of that run
  const BatchReport r = Run({in, other + "/b.png"}, o);
  // a.png, a.webp and b.webp in the folder, b.png named alone.
  ASSERT_EQ(r.items.size(), 4u) << FormatReport(r);
  EXPECT_EQ(r.converted, 2u) << FormatReport(r);
  EXPECT_EQ(r.skipped, 2u);
  EXPECT_EQ(test::ReadBytes(in + "/a.webp"), oldA);
  EXPECT_EQ(ReadWebp(in + "/a (2).webp")->width, 30);
  EXPECT_EQ(ReadWebp(in + "/b (2).webp")->width, 13);
  EXPECT_EQ(ReadWebp(in + "/b.webp")->width, 11);
  const std::string report = FormatReport(r);
  EXPECT_NE(report.find("renamed: " + in + "/a.png: written as " + in + "/a (2).webp because " +
                        in + "/a.webp is a source of this run\n"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("skipped: " + in + "/a.webp: already WEBP\n"), std::string::npos);
  (void)plan;
}

// A second run of the same command converts nothing: a source already in the target format
// beside itself is its own target.
TEST_F(Batch, ASecondRunInPlaceConvertsNothing) {
  WritePng(dir_.file("a.png"), test::RandomPicture(30, 20, 1));
  ASSERT_TRUE(test::WriteJpeg(dir_.file("b.jpg"), test::RandomPicture(24, 16, 2)));
  ASSERT_EQ(EncodeWebP(test::RandomPicture(40, 10, 3).data(), 40, 10, 90,
                       dir_.file("C.WEBP").c_str(), true),
            nullptr);
  BatchOptions o;
  BatchReport r = Run({dir_.path()}, o);
  EXPECT_EQ(r.converted, 2u) << FormatReport(r);
  EXPECT_EQ(r.skipped, 1u);
  const std::vector<std::string> afterFirst = FilesBelow(dir_.path());
  EXPECT_EQ(afterFirst, (std::vector<std::string>{"C.WEBP", "a.png", "a.webp", "b.jpg", "b.webp"}));
  r = Run({dir_.path()}, o);
  EXPECT_EQ(r.converted, 0u) << FormatReport(r);
  EXPECT_EQ(FilesBelow(dir_.path()), afterFirst);
  EXPECT_NE(FormatReport(r).find("skipped: " + dir_.file("a.webp") + ": already WEBP\n"),
            std::string::npos)
      << FormatReport(r);
  // Asked to shrink and allowed to overwrite, a picture is changed in place, once.
  o.existing = ExistingRule::Overwrite;
  o.longestSide = 20;
  r = Run({dir_.file("C.WEBP")}, o);
  EXPECT_EQ(r.converted, 1u) << FormatReport(r);
  EXPECT_EQ(ReadWebp(dir_.file("C.WEBP"))->width, 20);
  r = Run({dir_.file("C.WEBP")}, o);
  EXPECT_EQ(r.skipped, 1u) << FormatReport(r);
  EXPECT_EQ(r.items[0].reason, "already WEBP");
}

// What cannot be read is reported, never left out in silence.
TEST_F(Batch, UnreadableInputsAndPicturesAreReported) {
  const std::string in = dir_.file("in");
  fs::create_directories(in);
  WritePng(in + "/ok.png", test::RandomPicture(8, 8, 1));
  fs::create_symlink(in + "/missing.png", in + "/gone.png");
  fs::create_symlink(in + "/missing.txt", in + "/notes.txt");  // not a picture: not listed
  BatchOptions o;
  o.targetFolder = dir_.file("out");
  const BatchReport r = Run({in, dir_.file("vanished")}, o);
  EXPECT_EQ(r.converted, 1u);
  EXPECT_EQ(r.failed, 2u);
  const std::string report = FormatReport(r);
  EXPECT_NE(report.find("failed: " + in + "/gone.png: cannot read the file: "), std::string::npos)
      << report;
  EXPECT_NE(report.find("failed: " + dir_.file("vanished") + ": cannot read: No such file"),
            std::string::npos)
      << report;
  EXPECT_EQ(report.find("notes.txt"), std::string::npos);
}

// A request waits while it does not fit; one larger than the whole budget waits until nothing
// else is in use, and while it runs nothing else is let in.
TEST(BatchMemory, RequestsWaitForRoomAndLargeOnesRunAlone) {
  MemoryBudget budget(100);
  std::atomic<bool> cancel{false};
  ASSERT_TRUE(budget.Acquire(60, cancel));
  std::atomic<bool> bigIn{false}, smallIn{false};
  std::jthread big([&] { bigIn = budget.Acquire(500, cancel); });
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_FALSE(bigIn.load());
  budget.Release(60);
  big.join();
  ASSERT_TRUE(bigIn.load());
  std::jthread small([&] { smallIn = budget.Acquire(1, cancel); });
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_FALSE(smallIn.load());
  budget.Release(500);
  small.join();
  ASSERT_TRUE(smallIn.load());
  // A wait ends, without taking anything, when the run is cancelled.
  ASSERT_TRUE(budget.Acquire(99, cancel));
  std::jthread waiting([&] { EXPECT_FALSE(budget.Acquire(50, cancel)); });
  cancel = true;
  waiting.join();
  budget.Release(100);
  cancel = false;
  EXPECT_TRUE(budget.Acquire(100, cancel));
}

TEST_F(Batch, PicturesLargerThanTheBudgetAreConvertedOneAtATime) {
  for (int i = 0; i < 6; ++i)
    WritePng(dir_.file("p" + std::to_string(i) + ".png"), test::RandomPicture(400, 300, i));
  BatchOptions o;
  o.targetFolder = dir_.file("out");
  o.threads = 4;
  o.memoryMB = 1;  // less than one picture needs
  const BatchReport r = Run({dir_.path()}, o);
  EXPECT_EQ(r.converted, 6u) << FormatReport(r);
  EXPECT_EQ(r.mostAtOnce, 1u);
}

TEST(BatchCommandLine, SwitchesAndErrors) {
  const auto parsed = ParseBatchCommandLine(
      {"-to", ".WEBP", "--out", "/o", "-recursive", "-quality", "90", "-lossless", "-longest",
       "800", "-autorotate", "-existing", "rename", "-threads", "2", "a.png", "dir"});
  const auto* cmd = std::get_if<BatchCommand>(&parsed);
  ASSERT_NE(cmd, nullptr);
  EXPECT_TRUE(cmd->convertNow);
  EXPECT_EQ(cmd->options.extension, "webp");
  EXPECT_EQ(cmd->options.targetFolder, "/o");
  EXPECT_TRUE(cmd->options.recursive && cmd->options.lossless && cmd->options.autoRotate);
  EXPECT_EQ(cmd->options.quality, 90);
  EXPECT_EQ(cmd->options.longestSide, 800);
  EXPECT_EQ(cmd->options.threads, 2);
  EXPECT_EQ(cmd->options.existing, ExistingRule::Rename);
  EXPECT_EQ(cmd->inputs, (std::vector<std::string>{"a.png", "dir"}));

  // The viewer passes the current file alone: open the window with it.
  const auto window = ParseBatchCommandLine({"\"/pics/a b.png\""});
  ASSERT_TRUE(std::holds_alternative<BatchCommand>(window));
  EXPECT_FALSE(std::get<BatchCommand>(window).convertNow);
  // Quotes meant for a shell are not part of the name.
  EXPECT_EQ(std::get<BatchCommand>(window).inputs[0], "/pics/a b.png");

  EXPECT_EQ(std::get<BatchCommand>(ParseBatchCommandLine({"-memory", "512", "x"})).options.memoryMB,
            512);
  // Quality within the target format's range, whichever switch comes first.
  const auto zeroJpeg = ParseBatchCommandLine({"-quality", "0", "-to", "jpg", "x"});
  ASSERT_TRUE(std::holds_alternative<BatchUsageError>(zeroJpeg));
  EXPECT_EQ(std::get<BatchUsageError>(zeroJpeg).message,
            "the quality of JPG pictures is a number from 1 to 100, not 0");
  EXPECT_TRUE(std::holds_alternative<BatchCommand>(
      ParseBatchCommandLine({"-quality", "0", "-to", "webp", "x"})));
  EXPECT_TRUE(std::holds_alternative<BatchCommand>(
      ParseBatchCommandLine({"-to", "jpeg", "-quality", "1", "x"})));

  EXPECT_TRUE(std::holds_alternative<BatchHelp>(ParseBatchCommandLine({"--help"})));
  for (const std::vector<std::string>& bad : {std::vector<std::string>{"-to", "webp"},
                                              {"-to"},
                                              {"-quality", "101", "-to", "png", "x"},
                                              {"-longest", "0", "x"},
                                              {"-existing", "ask", "x"},
                                              {"-memory", "0", "x"},
                                              {"-frobnicate", "x"}})
    EXPECT_TRUE(std::holds_alternative<BatchUsageError>(ParseBatchCommandLine(bad))) << bad[0];
}

TEST(BatchFormats, EveryExtensionOnceAndJpegAlways) {
  const auto formats = SaveFormatsIn(
      "Google Webp (*.webp)|*.webp|Google Lossless Webp (*.webp)|*.webp|Quite OK (*.qoi)|*.qoi|"
      "JPEG XL Image (*.jxl)|*.jxl||");
  ASSERT_EQ(formats.size(), 4u);
  EXPECT_EQ(formats[0].extension, "webp");
  EXPECT_EQ(formats[0].description, "Google Webp (*.webp)");
  EXPECT_EQ(formats[1].extension, "qoi");
  EXPECT_EQ(formats[2].extension, "jxl");
  EXPECT_EQ(formats[3].extension, "jpg");
}

}  // namespace
}  // namespace qp
