#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "codecs/avif.h"
#include "codecs/freeimage.h"
#include "codecs/lurawave.h"
#include "codecs/png.h"
#include "codecs/save_dispatch.h"
#include "core/paths.h"
#include "support/scoped_env.h"
#include "support/test_support.h"

namespace qp {
namespace {

using test::PixelAt;
using test::TempDir;

size_t CountFiles(const std::string& dir) {
  size_t n = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir)) ++n;
  return n;
}

using test::ScopedEnv;

void WriteScript(const std::string& path, const std::string& body) {
  test::WriteBytes(path, std::vector<uint8_t>(body.begin(), body.end()));
  chmod(path.c_str(), 0755);
}

TEST(Avif, MissingOrSilentDecoderYieldsNothingAndLeavesNoTemporaryFile) {
  TempDir bin, tmp, src;
  test::WriteBytes(src.file("a.avif"), {0, 0, 0, 0x1C, 'f', 't', 'y', 'p', 'a', 'v', 'i', 'f'});
  ScopedEnv trace("TMP_TRACE", tmp.path());
  {
    ScopedEnv path("PATH", bin.path());
    EXPECT_FALSE(avifDecoderPresent());
    EXPECT_FALSE(loadAvif(src.file("a.avif")));
    // A decoder that runs but writes nothing, and one that writes garbage.
    WriteScript(bin.file("avifdec"), "#!/bin/sh\nexit 1\n");
    EXPECT_TRUE(avifDecoderPresent());
    EXPECT_FALSE(loadAvif(src.file("a.avif")));
    WriteScript(bin.file("avifdec"), "#!/bin/sh\necho not-a-png > \"$2\"\n");
    EXPECT_FALSE(loadAvif(src.file("a.avif")));
  }
  EXPECT_EQ(CountFiles(tmp.path()), 0u);
}

TEST(Avif, DecodesThroughTheTemporaryPngInTmpTrace) {
  if (!test::HaveTool("avifdec") || !test::HaveTool("avifenc") || !FreeImageAvailable())
    GTEST_SKIP() << "avifdec/avifenc or FreeImage missing";
  TempDir dir, tmp, bin;
  auto pic = test::MakePicture(8, 6, [](int x, int y) { return 0xFF000000u | (x * 30) << 16 | (y * 40); });
  // FreeImage's PNG writer (format 13) makes the source for avifenc.
  ASSERT_NE(saveWithLibrary(dir.file("src.png"), 13, 0, pic.data(), 8, 6), 0);
  ASSERT_EQ(test::RunShell("avifenc -l " + test::ShellQuote(dir.file("src.png")) + " " +
                           test::ShellQuote(dir.file("a.avif")) + " >/dev/null 2>&1"),
            0);
  // A wrapper records where the decoder was asked to write.
  WriteScript(bin.file("avifdec"), "#!/bin/sh\necho \"$2\" > " + test::ShellQuote(dir.file("where")) +
                                       "\nexec /usr/bin/avifdec \"$@\"\n");
  ScopedEnv trace("TMP_TRACE", tmp.path());
  ScopedEnv path("PATH", bin.path() + ":/usr/bin:/bin");
  auto img = loadAvif(dir.file("a.avif"));
  const auto where = test::ReadBytes(dir.file("where"));
  EXPECT_EQ(FolderOf(std::string(where.begin(), where.end() - 1)), tmp.path());
  EXPECT_EQ(CountFiles(tmp.path()), 0u);
  if (!LoadPng(dir.file("src.png"))) GTEST_SKIP() << "PNG reader not available yet";
  ASSERT_TRUE(img);
  EXPECT_EQ(img->width(), 8);
  EXPECT_EQ(img->height(), 6);
  EXPECT_EQ(PixelAt(*img, 3, 2) & 0xFFFFFF, PixelAt(pic, 3, 2) & 0xFFFFFF);
}

class FreeImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!FreeImageAvailable()) GTEST_SKIP() << "libfreeimage.so.3 not installed";
  }
};

TEST_F(FreeImageTest, SavesWithoutAlphaAndLoadsTopRowFirst) {
  TempDir dir;
  // Top row red, bottom row half-transparent blue.
  auto pic = test::MakePicture(3, 2, [](int, int y) { return y == 0 ? 0xFFFF0000u : 0x800000FFu; });
  for (const char* ext : {".bmp", ".tga", ".tif"}) {
    const std::string path = dir.file(std::string("p") + ext);
    auto fmt = LibraryFormatFor(path);
    ASSERT_TRUE(fmt);
    ASSERT_NE(saveWithLibrary(path, fmt->format, fmt->flags, pic.data(), 3, 2), 0) << ext;
    auto back = loadAnyWithLibrary(path);
    ASSERT_TRUE(back) << ext;
    EXPECT_EQ(back->width(), 3);
    EXPECT_EQ(PixelAt(*back, 1, 0), 0xFFFF0000u) << ext;
    EXPECT_EQ(PixelAt(*back, 1, 1), 0xFF0000FFu) << ext;  // 24 bits: alpha gone
  }
  EXPECT_EQ(LibraryFormatFor("p.TIFF")->format, 18);
  EXPECT_EQ(LibraryFormatFor("p.targa")->format, 17);
  EXPECT_EQ(LibraryFormatFor("p.j2k")->format, 30);
  EXPECT_EQ(LibraryFormatFor("p.jp2")->format, 31);
  EXPECT_FALSE(LibraryFormatFor("p.png"));
}

TEST_F(FreeImageTest, UnreadableFilesAndHiding) {
  TempDir dir;
  test::WriteBytes(dir.file("junk.bin"), {1, 2, 3, 4, 5});
  EXPECT_FALSE(loadAnyWithLibrary(dir.file("junk.bin")));
  EXPECT_FALSE(loadWithLibrary(dir.file("junk.bin"), kFreeImageBmp));
  EXPECT_FALSE(loadAnyWithLibrary(dir.file("missing.bmp")));
  auto pic = test::SolidPicture(2, 2, 0xFF112233);
  ASSERT_NE(saveWithLibrary(dir.file("a.bmp"), kFreeImageBmp, 0, pic.data(), 2, 2), 0);
  SetFreeImageHidden(true);
  EXPECT_FALSE(FreeImageAvailable());
  EXPECT_FALSE(loadAnyWithLibrary(dir.file("a.bmp")));
  EXPECT_EQ(saveWithLibrary(dir.file("b.bmp"), kFreeImageBmp, 0, pic.data(), 2, 2), 0);
  SetFreeImageHidden(false);
  EXPECT_TRUE(loadWithLibrary(dir.file("a.bmp"), kFreeImageBmp));
}

// The 40-byte bitmap info header with the given bit count.
std::vector<uint8_t> DibHeader(int32_t w, int32_t h, uint16_t bits) {
  std::vector<uint8_t> d;
  test::PutU32le(d, 40);  // header size
  test::PutU32le(d, static_cast<uint32_t>(w));
  test::PutU32le(d, static_cast<uint32_t>(h));
  test::PutU16le(d, 1);     // planes
  test::PutU16le(d, bits);  // bit count
  d.resize(40, 0);          // compression, sizes, resolution, colours: unused
  return d;
}

// The stand-in component's file: "WV", 2 spare bytes, width, height, then the block.
void WriteLwf(const std::string& path, int32_t w, int32_t h, const std::vector<uint8_t>& block) {
  std::vector<uint8_t> f = {'W', 'V', 0, 0};
  test::PutU32le(f, static_cast<uint32_t>(w));
  test::PutU32le(f, static_cast<uint32_t>(h));
  f.insert(f.end(), block.begin(), block.end());
  test::WriteBytes(path, f);
}

TEST(LuraWave, TwentyFourAndEightBitBlocksBottomUp) {
  TempDir dir;
  ViewerState s;
  // 2 x 2, 24-bit: rows of 6 bytes padded to 8, bottom row first.
  auto b24 = DibHeader(2, 2, 24);
  for (uint8_t v : {1, 2, 3, 4, 5, 6, 0, 0,         // bottom row
                    10, 20, 30, 40, 50, 60, 0, 0})  // top row
    b24.push_back(v);
  WriteLwf(dir.file("a.lwf"), 2, 2, b24);
  auto img = loadLuraWave(dir.file("a.lwf"), s);
  ASSERT_TRUE(img) << "stand-in libLwf.so not found beside the test program";
  EXPECT_EQ(PixelAt(*img, 0, 0), 0x001E140Au);  // B 10, G 20, R 30, alpha 0
  EXPECT_EQ(PixelAt(*img, 1, 1), 0x00060504u);

  // 3 x 2, 8-bit: palette then rows of 3 indices padded to 4.
  auto b8 = DibHeader(3, 2, 8);
  for (int i = 0; i < 256; ++i)
    for (uint8_t v : {uint8_t(i), uint8_t(255 - i), uint8_t(7), uint8_t(0)}) b8.push_back(v);
  for (uint8_t v : {0, 1, 2, 0, 9, 8, 7, 0}) b8.push_back(v);
  WriteLwf(dir.file("b.lwf"), 3, 2, b8);
  img = loadLuraWave(dir.file("b.lwf"), s);
  ASSERT_TRUE(img);
  EXPECT_EQ(PixelAt(*img, 0, 0), 0x0007F609u);  // index 9 on the top row
  EXPECT_EQ(PixelAt(*img, 2, 1), 0x0007FD02u);

  // A failed call, and blocks too short for the padded rows.
  WriteLwf(dir.file("c.lwf"), 0, 2, b24);
  EXPECT_FALSE(loadLuraWave(dir.file("c.lwf"), s));
  EXPECT_FALSE(ConvertLuraWaveBlock({b24.data(), b24.size() - 1}, 2, 2));
  EXPECT_FALSE(ConvertLuraWaveBlock({b8.data(), b8.size() - 1}, 3, 2));
  EXPECT_FALSE(ConvertLuraWaveBlock({b24.data(), 20}, 2, 2));
  EXPECT_FALSE(ConvertLuraWaveBlock(b24, 2, -1));
  EXPECT_FALSE(ConvertLuraWaveBlock(b24, 1 << 30, 1 << 30));
  // Without a usable bit count the block's size decides.
  auto unknown = b24;
  unknown[14] = 0;
  EXPECT_TRUE(ConvertLuraWaveBlock(unknown, 2, 2));
}

}  // namespace
}  // namespace qp
