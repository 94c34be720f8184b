#include "codecs/sniff.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/test_support.h"

namespace qp {
namespace {

using test::TempDir;
using test::WriteBytes;

std::vector<uint8_t> Head(std::initializer_list<uint8_t> first) {
  std::vector<uint8_t> b(first);
  b.resize(16, 0x20);
  return b;
}

struct Case {
  const char* name;
  std::vector<uint8_t> bytes;
  int32_t code;
};

TEST(Sniff, SignatureAgainstExtension) {
  TempDir dir;
  const std::vector<uint8_t> riff = Head({'R', 'I', 'F', 'F'});
  const std::vector<uint8_t> jpeg = Head({0xFF, 0xD8, 0xFF, 0xE0});
  const std::vector<uint8_t> png = Head({0x89, 'P', 'N', 'G'});
  const std::vector<uint8_t> ftyp = Head({0, 0, 0, 0x1C, 'f', 't', 'y', 'p'});
  const std::vector<Case> cases = {
      {"a.webp", riff, 1},          {"a.png", riff, -1},
      {"a.jpg", jpeg, 2},           {"x.JPEG", jpeg, 2},
      {"x.png", jpeg, -2},          {"a.gif", Head({'G', 'I', 'F', '8'}), 3},
      {"a.webp", Head({'G', 'I', 'F'}), -3},
      {"a.png", png, 4},            {"photo.jpg", png, -4},
      {"a.bmp", Head({'B', 'M'}), 5}, {"a.dib", Head({'B', 'M'}), -5},
      {"a.lwf", Head({'W', 'V'}), 10}, {"a.jpg", Head({'W', 'V'}), -10},
      {"a.qoi", Head({'q', 'o', 'i', 'f'}), 12}, {"a.bin", Head({'q', 'o', 'i', 'f'}), -12},
      {"a.mp4", ftyp, 13},          {"a.avif", ftyp, -13},
      {"a.ico", Head({0, 0, 1, 0}), 9}, {"a.ico", Head({0, 0, 2, 0}), 0},
      {"a.avif", Head({1, 2, 3}), 11}, {"a.webm", Head({0x1A, 0x45}), 13},
      {"a.MP4", Head({1}), 13},     {"a.webp", Head({1}), 0},
      {"a.xyz", Head({1}), 6},      {"README", Head({1}), 6},
      // A first byte that matches but whose next bytes do not falls through to the extension.
      {"a.gif", Head({'G', 'X', 'F'}), 0}, {"a.txt", Head({'R', 'I', 'X'}), 6},
      {"a.webp", {'R', 'I', 'F', 'F', 1}, 0},  // 5 bytes: too short
  };
  for (const Case& c : cases) {
    const std::string path = dir.file(c.name);
    WriteBytes(path, c.bytes);
    int64_t size = -1;
    EXPECT_EQ(SniffFileType(path, &size), c.code) << c.name;
    EXPECT_EQ(size, static_cast<int64_t>(c.bytes.size())) << c.name;
    EXPECT_EQ(SniffFileType(path), c.code) << c.name;
  }
}

TEST(Sniff, EmptyAndUnopenableFiles) {
  TempDir dir;
  WriteBytes(dir.file("empty.png"), {});
  int64_t size = -1;
  EXPECT_EQ(SniffFileType(dir.file("empty.png"), &size), 8);
  EXPECT_EQ(size, 0);
  // Without the size out-parameter an empty file is just too short.
  EXPECT_EQ(SniffFileType(dir.file("empty.png")), 0);
  size = -1;
  EXPECT_EQ(SniffFileType(dir.file("missing.png"), &size), 7);
  EXPECT_EQ(size, 0);
}

// A folder has no content, and a FIFO without a writer would block a plain open for ever:
// both are reported as not openable, without waiting and without a size.
TEST(Sniff, OnlyRegularFilesAreOpened) {
  TempDir dir;
  ASSERT_EQ(::mkdir(dir.file("folder.png").c_str(), 0700), 0);
  ASSERT_EQ(::mkfifo(dir.file("pipe.webp").c_str(), 0600), 0);
  for (const char* name : {"folder.png", "pipe.webp"}) {
    int64_t size = -1;
    EXPECT_EQ(SniffFileType(dir.file(name), &size), 7) << name;
    EXPECT_EQ(size, 0) << name;
    EXPECT_EQ(SniffFileType(dir.file(name)), 7) << name;
  }
}

TEST(Sniff, TypeNames) {
  EXPECT_EQ(FileTypeName("a.png", -1), "WEBP");
  EXPECT_EQ(FileTypeName("a.x", 2), "JPG");
  EXPECT_EQ(FileTypeName("a.x", -10), "LWF");
  EXPECT_EQ(FileTypeName("a.avif", 11), "AVIF");
  EXPECT_EQ(FileTypeName("a.qoi", 12), "QOI");
  EXPECT_EQ(FileTypeName("a.bin", -12), "bin");
  EXPECT_EQ(FileTypeName("a.mp4", 13), "MP4");
  EXPECT_EQ(FileTypeName("a.avif", -13), "avif");
  EXPECT_EQ(FileTypeName("/x/pic.tiff", 6), "tiff");
  EXPECT_EQ(FileTypeName("/x/README", 0), "Unknown");
  EXPECT_EQ(FileTypeName("/x.d/README", 0), "Unknown");
}

TEST(Sniff, ClipboardKind) {
  EXPECT_EQ(ClipboardKind("Clipboard3"), 1);
  EXPECT_EQ(ClipboardKind("/tmp/ClipboardWithTransparency12"), 2);
  EXPECT_EQ(ClipboardKind("Clipboard3.png"), 0);
  EXPECT_EQ(ClipboardKind("clipboard3"), 0);
  EXPECT_EQ(ClipboardKind("/home/Clipboard.d/photo"), 0);
}

}  // namespace
}  // namespace qp
