// The lossless transform driver: byte-for-byte agreement with jpegtran, the result codes, and
// the in-place replacement that must never lose the original.
#include "jpegxform/lossless.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "metadata/exif.h"
#include "metadata/exif_builder.h"
#include "support/test_support.h"

namespace qp {
namespace {

using test::ReadBytes;
using test::ShellQuote;
using test::TempDir;
using test::WriteBytes;

// A JPEG of a pseudo-random picture, with an EXIF block (orientation `orientation`), a comment
// and an ICC-profile-like APP2 segment behind the JFIF header.
std::vector<uint8_t> MakeJpeg(int width, int height, int subsamp, uint16_t orientation = 6,
                              bool progressive = false) {
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  uint32_t seed = 12345;
  for (size_t i = 0; i < rgb.size(); ++i) {
    seed = seed * 1103515245u + 12345u;
    // Smooth gradients with some noise, so the coefficients are not all trivial.
    const size_t px = i / 3;
    rgb[i] = static_cast<uint8_t>((px % width) * 5 + (px / width) * 3 + (seed >> 28) + i % 3 * 40);
  }
  tjhandle h = tjInitCompress();
  unsigned char* out = nullptr;
  unsigned long size = 0;
  const int flags = progressive ? TJFLAG_PROGRESSIVE : 0;
  const int rc =
      tjCompress2(h, rgb.data(), width, 0, height, TJPF_RGB, &out, &size, subsamp, 85, flags);
  std::vector<uint8_t> jpeg;
  if (rc == 0) jpeg.assign(out, out + size);
  tjFree(out);
  tjDestroy(h);
  if (jpeg.size() < 20) return jpeg;

  test::Tiff tiff;
  tiff.Dir({tiff.Ascii(0x010F, "Test"), tiff.Short(0x0112, orientation)});
  std::vector<uint8_t> extra = test::ExifSegment(tiff.bytes);
  const auto com = test::Segment(0xFE, {'h', 'e', 'l', 'l', 'o'});
  const auto app2 = test::Segment(
      0xE2, {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, 1, 1, 'x', 'y', 'z'});
  extra.insert(extra.end(), com.begin(), com.end());
  extra.insert(extra.end(), app2.begin(), app2.end());
  // Behind SOI and the JFIF APP0 segment.
  const size_t at = 2 + 2 + (size_t{jpeg[4]} << 8 | jpeg[5]);
  jpeg.insert(jpeg.begin() + static_cast<std::ptrdiff_t>(at), extra.begin(), extra.end());
  return jpeg;
}

bool HaveJpegtran() {
  return test::HaveTool("jpegtran");
}

std::vector<uint8_t> Jpegtran(const std::string& options, const std::string& in,
                              const std::string& out) {
  const std::string cmd = "jpegtran " + options + " -outfile " + ShellQuote(out) + " " +
                          ShellQuote(in) + " 2>/dev/null";
  if (test::RunShell(cmd) != 0) return {};
  return ReadBytes(out);
}

struct Dimensions {
  int width = 0, height = 0;
};
Dimensions SizeOf(const std::vector<uint8_t>& jpeg) {
  ExifInfo info;
  ParseJpegMetadata(jpeg, info);
  return {info.width, info.height};
}

TEST(LosslessTransform, MatchesJpegtranByteForByte) {
  if (!HaveJpegtran()) GTEST_SKIP() << "jpegtran not installed";
  TempDir dir;
  struct Case {
    std::vector<std::string> arguments;
    std::string options;
  };
  const std::vector<Case> cases = {
      {{"-rotate", "90"}, "-rotate 90 -trim -copy all"},
      {{"-rotate", "180"}, "-rotate 180 -trim -copy all"},
      {{"-rotate", "270"}, "-rotate 270 -trim -copy all"},
      {{"-flip", "horizontal"}, "-flip horizontal -trim -copy all"},
      {{"-flip", "vertical"}, "-flip vertical -trim -copy all"},
      {{"-transpose"}, "-transpose -trim -copy all"},
      {{"-transverse"}, "-transverse -trim -copy all"},
      {{"-copy", "none"}, "-copy none -trim"},
      {{"-copy", "comments"}, "-copy comments -trim"},
      {{"-rotate", "90", "-copy", "none"}, "-rotate 90 -copy none -trim"},
      {{"-grayscale"}, "-grayscale -trim -copy all"},
      {{"-crop", "20x17+5+3"}, "-crop 20x17+5+3 -trim -copy all"},
      {{"-crop", "16x8+16+16"}, "-crop 16x8+16+16 -trim -copy all"},
      {{"-rotate", "90", "-crop", "12x10+7+9"}, "-rotate 90 -crop 12x10+7+9 -trim -copy all"},
      {{"-grayscale", "-crop", "9x9+3+3"}, "-grayscale -crop 9x9+3+3 -trim -copy all"},
      // Abbreviated option names, and only the first transform counts.
      {{"-rot", "180", "-flip", "vertical"}, "-rotate 180 -trim -copy all"},
      {{"-f", "h", "-co", "n"}, "-flip horizontal -copy none -trim"},
  };
  struct Source {
    int width, height, subsamp;
    bool progressive;
  };
  const std::vector<Source> sources = {{37, 29, TJSAMP_420, false},  {64, 48, TJSAMP_420, false},
                                       {37, 29, TJSAMP_444, false},  {45, 33, TJSAMP_422, false},
                                       {37, 29, TJSAMP_GRAY, false}, {37, 29, TJSAMP_420, true}};
  for (const Source& s : sources) {
    const std::string in = dir.file("in.jpg");
    WriteBytes(in, MakeJpeg(s.width, s.height, s.subsamp, 6, s.progressive));
    for (const Case& c : cases) {
      SCOPED_TRACE(std::to_string(s.width) + "x" + std::to_string(s.height) + " sampling " +
                   std::to_string(s.subsamp) + (s.progressive ? " progressive: " : ": ") +
                   c.options);
      const std::string ours = dir.file("ours.jpg");
      std::remove(ours.c_str());
      ASSERT_EQ(losslessTransform(in, ours, c.arguments), kTransformOk);
      const auto expected = Jpegtran(c.options, in, dir.file("theirs.jpg"));
      ASSERT_FALSE(expected.empty());
      EXPECT_TRUE(ReadBytes(ours) == expected);
    }
  }
}

TEST(LosslessTransform, TrimsPartialBlocksAndAlignsCrops) {
  TempDir dir;
  const std::string in = dir.file("odd.jpg");
  WriteBytes(in, MakeJpeg(37, 29, TJSAMP_420));
  const std::string out = dir.file("out.jpg");
  // 4:2:0 blocks are 16 x 16: a quarter turn brings the partial bottom row of blocks to the
  // left edge, where it cannot stay, so 29 rows become 16 columns.
  ASSERT_EQ(losslessTransform(in, out, TransformArguments(90)), kTransformOk);
  Dimensions d = SizeOf(ReadBytes(out));
  EXPECT_EQ(d.width, 16);
  EXPECT_EQ(d.height, 37);
  // A crop at (5, 5) moves its corner to (0, 0) and grows by the same amount.
  std::remove(out.c_str());
  ASSERT_EQ(losslessTransform(in, out, CropArguments(20, 10, 5, 5)), kTransformOk);
  d = SizeOf(ReadBytes(out));
  EXPECT_EQ(d.width, 25);
  EXPECT_EQ(d.height, 15);
  // "360" keeps the picture and drops the EXIF block, the comment and the profile.
  std::remove(out.c_str());
  ASSERT_EQ(losslessTransform(in, out, TransformArguments(360)), kTransformOk);
  const auto stripped = ReadBytes(out);
  ExifInfo info;
  ParseJpegMetadata(stripped, info);
  EXPECT_EQ(info.isExif, 0);
  EXPECT_EQ(info.comments[0], '\0');
  EXPECT_EQ(info.width, 37);
  EXPECT_EQ(std::string(stripped.begin(), stripped.end()).find("ICC_PROFILE"), std::string::npos);
}

TEST(LosslessTransform, ResultCodes) {
  TempDir dir;
  const std::string in = dir.file("a.jpg");
  const auto original = MakeJpeg(32, 32, TJSAMP_444);
  WriteBytes(in, original);
  const auto rotate = TransformArguments(90);

  // The same string: 3, with neither file touched.
  EXPECT_EQ(losslessTransform(in, in, rotate), kTransformSamePath);
  EXPECT_TRUE(ReadBytes(in) == original);
  // Another name of the same file is refused the same way: writing would destroy the source.
  EXPECT_EQ(losslessTransform(in, dir.path() + "/./a.jpg", rotate), kTransformSamePath);
  ASSERT_EQ(::link(in.c_str(), dir.file("hard.jpg").c_str()), 0);
  EXPECT_EQ(losslessTransform(in, dir.file("hard.jpg"), rotate), kTransformSamePath);
  EXPECT_TRUE(ReadBytes(in) == original);

  EXPECT_EQ(losslessTransform(dir.file("missing.jpg"), dir.file("b.jpg"), rotate),
            kTransformSourceUnreadable);
  EXPECT_FALSE(std::filesystem::exists(dir.file("b.jpg")));
  EXPECT_EQ(losslessTransform(in, dir.file("no/such/folder/b.jpg"), rotate),
            kTransformTargetUnwritable);

  // A library error leaves no new target behind, and an existing target as it was.
  const std::string garbage = dir.file("garbage.jpg");
  WriteBytes(garbage, {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F'});
  EXPECT_EQ(losslessTransform(garbage, dir.file("c.jpg"), rotate), kTransformLibraryError);
  EXPECT_FALSE(std::filesystem::exists(dir.file("c.jpg")));
  const std::string existing = dir.file("existing.jpg");
  WriteBytes(existing, {1, 2, 3});
  EXPECT_EQ(losslessTransform(garbage, existing, rotate), kTransformLibraryError);
  EXPECT_TRUE(ReadBytes(existing) == (std::vector<uint8_t>{1, 2, 3}));
  // An existing target is replaced in full by a successful transform.
  EXPECT_EQ(losslessTransform(in, existing, rotate), kTransformOk);
  EXPECT_EQ(SizeOf(ReadBytes(existing)).width, 32);
  // Unknown options and crops outside the picture are library errors.
  EXPECT_EQ(losslessTransform(in, dir.file("d.jpg"), {"-bogus"}), kTransformLibraryError);
  EXPECT_EQ(losslessTransform(in, dir.file("d.jpg"), {"-rotate", "45"}), kTransformLibraryError);
  EXPECT_EQ(losslessTransform(in, dir.file("d.jpg"), CropArguments(8, 8, 40, 0)),
            kTransformLibraryError);
  EXPECT_FALSE(std::filesystem::exists(dir.file("d.jpg")));
}

TEST(LosslessTransform, JpegNames) {
  EXPECT_TRUE(IsJpegName("/pics/photo.JPEG"));
  EXPECT_TRUE(IsJpegName("photo.JpG"));
  EXPECT_FALSE(IsJpegName("photo.jpe"));
  EXPECT_FALSE(IsJpegName("/a.jpg/photo"));
}

// Sets the file's access and modification times to a fixed moment in 2001.
void SetOldTimes(const std::string& path) {
  struct timespec times[2];
  times[0].tv_sec = 1000000000;
  times[0].tv_nsec = 123456789;
  times[1] = times[0];
  times[1].tv_sec = 1000000100;
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST(TransformInPlace, RotatesKeepingTimesAndPermissions) {
  TempDir dir;
  const std::string path = dir.file("photo.jpg");
  WriteBytes(path, MakeJpeg(37, 29, TJSAMP_420, 6));
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  SetOldTimes(path);

  // A plain quarter turn copies the orientation tag unchanged.
  ExifInfo info;
  ASSERT_TRUE(ReadJpegMetadata(path, info));
  ASSERT_EQ(info.isExif, 1);
  const int angle = AutoRotateAngle(info.orientation);
  ASSERT_EQ(angle, 90);
  ASSERT_TRUE(transformInPlace(path, angle));
  ASSERT_TRUE(ReadJpegMetadata(path, info));
  EXPECT_EQ(info.orientation, 6);
  EXPECT_EQ(info.width, 16);
  EXPECT_EQ(info.height, 37);

  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000100);
  EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_FALSE(std::filesystem::exists(path + kTransformTempSuffix));

  // Running it again turns it once more.
  ASSERT_TRUE(transformInPlace(path, AutoRotateAngle(info.orientation)));
  ASSERT_TRUE(ReadJpegMetadata(path, info));
  EXPECT_EQ(info.width, 32);
  EXPECT_EQ(info.height, 16);
}

TEST(TransformInPlace, AutomaticRotationByOrientation) {
  TempDir dir;
  struct Case {
    uint16_t orientation;
    int angle;
  };
  for (const Case c :
       {Case{3, 180}, Case{6, 90}, Case{8, 270}, Case{1, 0}, Case{2, 0}, Case{5, 0}, Case{7, 0}}) {
    SCOPED_TRACE(c.orientation);
    const std::string path = dir.file("auto.jpg");
    const auto original = MakeJpeg(48, 32, TJSAMP_420, c.orientation);
    WriteBytes(path, original);
    EXPECT_EQ(AutoRotateJpeg(path), c.angle);
    const auto now = ReadBytes(path);
    if (c.angle == 0) {
      EXPECT_TRUE(now == original);
    } else {
      const Dimensions d = SizeOf(now);
      EXPECT_EQ(d.width, c.angle == 180 ? 48 : 32);
      EXPECT_EQ(d.height, c.angle == 180 ? 32 : 48);
      // Upright now, and says so: a second run does nothing.
      ExifInfo info;
      ParseJpegMetadata(now, info);
      EXPECT_EQ(info.orientation, 1);
      EXPECT_EQ(AutoRotateJpeg(path), 0);
    }
  }
  // No EXIF block, and no file.
  const std::string plain = dir.file("plain.jpg");
  WriteBytes(plain, MakeJpeg(16, 16, TJSAMP_444));
  ASSERT_EQ(losslessTransform(plain, dir.file("bare.jpg"), TransformArguments(360)), kTransformOk);
  const auto bare = ReadBytes(dir.file("bare.jpg"));
  EXPECT_EQ(AutoRotateJpeg(dir.file("bare.jpg")), 0);
  EXPECT_TRUE(ReadBytes(dir.file("bare.jpg")) == bare);
  EXPECT_EQ(AutoRotateJpeg(dir.file("missing.jpg")), 0);
}

TEST(TransformInPlace, GreyAndCropUseTheirOwnTemporaries) {
  TempDir dir;
  const std::string path = dir.file("g.jpg");
  WriteBytes(path, MakeJpeg(40, 40, TJSAMP_420));
  ASSERT_TRUE(ReplaceWithTransform(path, GrayArguments(), kGrayTempSuffix));
  ExifInfo info;
  ParseJpegMetadata(ReadBytes(path), info);
  EXPECT_EQ(info.isColour, 0);
  EXPECT_EQ(info.isExif, 1);
  ASSERT_TRUE(ReplaceWithTransform(path, CropArguments(10, 10, 20, 20), kCropTempSuffix));
  const Dimensions d = SizeOf(ReadBytes(path));
  EXPECT_EQ(d.width, 14);  // the corner moves from 20 to 16 on the 8 x 8 grey grid
  EXPECT_EQ(d.height, 14);
  // Nothing but the picture is left in the folder.
  size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 1u);
}

TEST(TransformInPlace, ALeftoverTemporaryIsReplacedNotFollowed) {
  TempDir dir;
  const std::string path = dir.file("p.jpg");
  WriteBytes(path, MakeJpeg(32, 32, TJSAMP_444));
  // A symbolic link under the temporary name must not make us write through it.
  const std::string victim = dir.file("victim.txt");
  WriteBytes(victim, {'k', 'e', 'e', 'p'});
  ASSERT_EQ(::symlink(victim.c_str(), (path + kTransformTempSuffix).c_str()), 0);
  ASSERT_TRUE(transformInPlace(path, 90));
  EXPECT_TRUE(ReadBytes(victim) == (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
  EXPECT_FALSE(std::filesystem::is_symlink(path));
  EXPECT_EQ(SizeOf(ReadBytes(path)).width, 32);
  EXPECT_FALSE(std::filesystem::exists(path + kTransformTempSuffix));
}

TEST(TransformInPlace, MatchesJpegtranAndKeepsSymbolicLinks) {
  if (!HaveJpegtran()) GTEST_SKIP() << "jpegtran not installed";
  TempDir dir;
  const std::string real = dir.file("real.jpg");
  const auto original = MakeJpeg(45, 33, TJSAMP_420);
  WriteBytes(real, original);
  const std::string link = dir.file("link.jpg");
  ASSERT_EQ(::symlink("real.jpg", link.c_str()), 0);
  ASSERT_TRUE(transformInPlace(link, 270));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  WriteBytes(dir.file("src.jpg"), original);
  EXPECT_TRUE(ReadBytes(real) ==
              Jpegtran("-rotate 270 -trim -copy all", dir.file("src.jpg"), dir.file("ref.jpg")));
  EXPECT_FALSE(std::filesystem::exists(real + kTransformTempSuffix));
  EXPECT_FALSE(std::filesystem::exists(link + kTransformTempSuffix));
}

TEST(TransformInPlace, AnyFailedStepLeavesTheOriginal) {
  TempDir dir;
  const std::string path = dir.file("keep.jpg");
  const auto original = MakeJpeg(40, 24, TJSAMP_444);
  WriteBytes(path, original);
  SetOldTimes(path);
  for (const ReplaceStep failing :
       {ReplaceStep::Transform, ReplaceStep::Measure, ReplaceStep::Permissions, ReplaceStep::Times,
        ReplaceStep::Sync, ReplaceStep::Rename}) {
    SCOPED_TRACE(static_cast<int>(failing));
    std::vector<ReplaceStep> reached;
    EXPECT_FALSE(transformInPlace(path, 90, [&](ReplaceStep step) {
      reached.push_back(step);
      return step == failing;
    }));
    EXPECT_EQ(reached.back(), failing);
    EXPECT_TRUE(ReadBytes(path) == original);
    EXPECT_FALSE(std::filesystem::exists(path + kTransformTempSuffix));
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mtim.tv_sec, 1000000100);
  }
  // A library failure (not a JPEG) and a missing file are failures too.
  const std::string text = dir.file("text.jpg");
  WriteBytes(text, {'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'});
  EXPECT_FALSE(transformInPlace(text, 180));
  EXPECT_TRUE(ReadBytes(text) ==
              (std::vector<uint8_t>{'n', 'o', 't', ' ', 'a', ' ', 'j', 'p', 'e', 'g'}));
  EXPECT_FALSE(std::filesystem::exists(text + kTransformTempSuffix));
  EXPECT_FALSE(transformInPlace(dir.file("missing.jpg"), 90));
  EXPECT_FALSE(std::filesystem::exists(dir.file("missing.jpg")));
}

TEST(TransformInPlace, WritesAndFlushesTheTemporaryBeforeTheAtomicRename) {
  TempDir dir;
  const std::string path = dir.file("order.jpg");
  const auto original = MakeJpeg(32, 16, TJSAMP_420);
  WriteBytes(path, original);
  struct stat before;
  ASSERT_EQ(::stat(path.c_str(), &before), 0);
  // Keep the original open: after an atomic rename this descriptor still reads the old file.
  const int held = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(held, 0);

  const std::string temp = path + kTransformTempSuffix;
  std::vector<uint8_t> tempAtRename;
  std::vector<ReplaceStep> steps;
  ASSERT_TRUE(transformInPlace(path, 180, [&](ReplaceStep step) {
    steps.push_back(step);
    if (step == ReplaceStep::Rename) {
      // Just before the rename: the original is untouched and the complete result sits
      // beside it under the temporary name.
      EXPECT_TRUE(ReadBytes(path) == original);
      tempAtRename = ReadBytes(temp);
    }
    return false;
  }));
  EXPECT_EQ(steps, (std::vector<ReplaceStep>{ReplaceStep::Transform, ReplaceStep::Measure,
                                             ReplaceStep::Permissions, ReplaceStep::Times,
                                             ReplaceStep::Sync, ReplaceStep::Rename}));
  EXPECT_FALSE(tempAtRename.empty());
  EXPECT_TRUE(ReadBytes(path) == tempAtRename);

  // The path now names a different inode; the old one is still whole behind the descriptor.
  struct stat after;
  ASSERT_EQ(::stat(path.c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino);
  std::vector<uint8_t> old(original.size() + 16);
  const ssize_t n = ::pread(held, old.data(), old.size(), 0);
  ::close(held);
  ASSERT_EQ(n, static_cast<ssize_t>(original.size()));
  old.resize(static_cast<size_t>(n));
  EXPECT_TRUE(old == original);
}

}  // namespace
}  // namespace qp
