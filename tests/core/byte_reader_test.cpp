#include "core/byte_reader.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/paths.h"

namespace qp {
namespace {

TEST(ByteReader, ReadsBothByteOrders) {
  const std::vector<uint8_t> bytes = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
  ByteReader r(bytes);
  EXPECT_EQ(r.u16le(), 0x0201);
  EXPECT_EQ(r.u32be(), 0x03040506u);
  EXPECT_TRUE(r.atEnd());
  EXPECT_TRUE(r.ok());
}

TEST(ByteReader, ShortReadsFailWithoutMoving) {
  const std::vector<uint8_t> bytes = {0xAA, 0xBB, 0xCC};
  ByteReader r(bytes);
  r.u8();
  EXPECT_EQ(r.u32le(), 0u);
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.position(), 1u);
  EXPECT_TRUE(r.bytes(3).empty());
  EXPECT_FALSE(r.seek(4));
  EXPECT_FALSE(r.skip(UINT64_MAX));
}

TEST(ByteReader, SubReadersStayInsideTheirRange) {
  const std::vector<uint8_t> bytes = {'q', 'o', 'i', 'f', 1, 2, 3, 4};
  ByteReader r(bytes);
  EXPECT_TRUE(r.expect("qoif"));
  EXPECT_FALSE(r.expect("xx"));
  ByteReader s = r.sub(6, 2);
  EXPECT_EQ(s.u16be(), 0x0304);
  EXPECT_EQ(s.u8(), 0);
  EXPECT_FALSE(s.ok());
  EXPECT_FALSE(r.sub(UINT64_MAX, 2).ok());
  EXPECT_FALSE(r.sub(4, UINT64_MAX).ok());
}

TEST(CheckedArithmetic, CatchesOverflow) {
  EXPECT_TRUE(RangeFits(0, 8, 8));
  EXPECT_FALSE(RangeFits(1, 8, 8));
  EXPECT_FALSE(RangeFits(UINT64_MAX, 2, 8));
  EXPECT_FALSE(RangeFits(2, UINT64_MAX, 8));
  EXPECT_FALSE(CheckedMul(UINT64_MAX / 2 + 1, 2));
  EXPECT_EQ(CheckedMul(65536, 65536), uint64_t{1} << 32);
  EXPECT_FALSE(CheckedAdd(UINT64_MAX, 1));
}

TEST(Paths, ExtensionComesFromTheFileName) {
  EXPECT_EQ(ExtensionOf("/a/b/c.PNG"), ".PNG");
  EXPECT_EQ(ExtensionOf("/photos.2020/README"), "");
  EXPECT_EQ(ExtensionOf("archive.tar.gz"), ".gz");
  EXPECT_EQ(FolderOf("/a/b/c.png"), "/a/b");
  EXPECT_EQ(FolderOf("/c.png"), "/");
  EXPECT_EQ(FolderOf("c.png"), "");
  EXPECT_EQ(FileNameOf("/a/b/c.png"), "c.png");
  EXPECT_EQ(WithoutExtension("/a.b/c.png"), "/a.b/c");
  EXPECT_EQ(JoinPath("/a/", "b"), "/a/b");
  EXPECT_TRUE(HasExtension("X.WebP", ".webp"));
  EXPECT_EQ(ToLowerAscii("AbC\xC3\x84"), "abc\xC3\x84");  // UTF-8 bytes untouched
}

}  // namespace
}  // namespace qp
