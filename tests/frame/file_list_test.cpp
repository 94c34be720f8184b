#include "frame/file_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <set>

#include "core/viewer_state.h"
#include "frame/natural_sort.h"
#include "support/test_support.h"

namespace qp {
namespace {

constexpr const char* kPatterns = "*.webp;*.jpg;*.jpeg;*.gif;*.png;*.svg;*.qoi;*.lst";

void Touch(const std::string& path) { test::WriteBytes(path, {1, 2, 3}); }

TEST(NaturalSort, OrdersOfBothComparators) {
  EXPECT_LT(naturalCompare("img2.webp", "img10.webp"), 0);
  EXPECT_GT(plainCompare("img2.webp", "img10.webp"), 0);
  // Equal number runs: the plain order of the remainders decides...
  EXPECT_LT(naturalCompare("img010.png", "img10.png"), 0);
  // ...but where the text ends after the number, more leading zeros order later.
  EXPECT_GT(naturalCompare("a01", "a1"), 0);
  EXPECT_EQ(naturalCompare("Photo.JPG", "photo.jpg"), 0);
  EXPECT_EQ(plainCompare("Photo.JPG", "photo.jpg"), 0);
  // "_" lies between the upper- and the lower-case letters.
  EXPECT_LT(plainCompare("_x.png", "ax.png"), 0);
  EXPECT_GT(naturalCompare("_x.png", "ax.png"), 0);
  EXPECT_LT(plainCompare("abc", "abcd"), 0);
  EXPECT_LT(naturalCompare("abc", "abcd"), 0);
  // Bytes above 0x7F order before ASCII in natural order and after it in plain order.
  EXPECT_LT(naturalCompare("\xC3\xA9.png", "a.png"), 0);
  EXPECT_GT(plainCompare("\xC3\xA9.png", "a.png"), 0);
  EXPECT_LT(naturalCompare("x9y", "x10y"), 0);
  EXPECT_LT(naturalCompare("v1.2.png", "v1.10.png"), 0);
}

TEST(NaturalSort, LongDigitHeavyNamesDoNotExhaustTheStack) {
  std::string a, b;
  for (int i = 0; i < 2000; ++i) a += "1a", b += "1a";
  b += "2";
  EXPECT_LT(naturalCompare(a, b), 0);
  EXPECT_EQ(naturalCompare(a, a), 0);
}

TEST(SrchDir, ExtensionSetAndScan) {
  CSrchDir scan;
  scan.setExtensions(kPatterns);
  EXPECT_EQ(scan.extensions().count(".webp"), 1u);
  EXPECT_EQ(scan.extensions().count(".lst"), 0u);
  EXPECT_EQ(scan.extensions().size(), 7u);

  test::TempDir dir;
  Touch(dir.file("a.txt"));
  ASSERT_EQ(mkdir(dir.file("b.jpg").c_str(), 0700), 0);
  Touch(dir.file("c.lst"));
  Touch(dir.file("noext"));
  EXPECT_EQ(scan.search(dir.path(), kPatterns), 0);
  Touch(dir.file("X.WEBP"));
  Touch(dir.file(".hidden.png"));
  EXPECT_EQ(scan.search(dir.path() + "/", kPatterns), 2);
  std::set<std::string> found(scan.results().begin(), scan.results().end());
  EXPECT_EQ(found, (std::set<std::string>{dir.file("X.WEBP"), dir.file(".hidden.png")}));
  EXPECT_EQ(scan.search(dir.file("missing"), kPatterns), 0);
}

class FileListTest : public ::testing::Test {
 protected:
  ViewerState state;
  CDirManager list{state, kPatterns, 7u};
  test::TempDir dir;

  std::vector<std::string> names() {
    std::vector<std::string> out;
    for (const auto& p : list.paths()) out.push_back(p.substr(dir.path().size() + 1));
    return out;
  }
};

TEST_F(FileListTest, FolderSortedInBothModes) {
  for (const char* n : {"img10.webp", "img2.webp", "_x.png", "ax.png", "img010.png"})
    Touch(dir.file(n));
  state.numericSort = 1;
  list.loadFolder(dir.path());
  EXPECT_EQ(names(), (std::vector<std::string>{"ax.png", "img2.webp", "img010.png", "img10.webp",
                                               "_x.png"}));
  EXPECT_EQ(list.position(), 1);
  state.numericSort = 0;
  list.loadFolder(dir.path());
  EXPECT_EQ(names(), (std::vector<std::string>{"_x.png", "ax.png", "img010.png", "img10.webp",
                                               "img2.webp"}));
  EXPECT_FALSE(list.spansSeveralFolders());
}

TEST_F(FileListTest, EmptyListAnswersNothing) {
  EXPECT_EQ(list.count(), 0);
  EXPECT_EQ(list.position(), 0);
  bool wrapped = true;
  EXPECT_FALSE(list.next(&wrapped));
  EXPECT_FALSE(wrapped);
  EXPECT_FALSE(list.previous());
  EXPECT_FALSE(list.randomNext());
  EXPECT_FALSE(list.randomPrevious());
  EXPECT_FALSE(list.first());
  EXPECT_FALSE(list.last());
  EXPECT_FALSE(list.spansSeveralFolders());
  list.renameCurrent("/x.png");  // nothing to rename
  EXPECT_EQ(list.count(), 0);
}

TEST_F(FileListTest, SteppingWrapsAndSkipsUnopenable) {
  for (const char* n : {"a.png", "b.png", "c.png"}) Touch(dir.file(n));
  state.currentPath = dir.file("b.png");
  list.setCurrent(state.currentPath);
  EXPECT_EQ(list.folder(), dir.path() + "/");
  bool wrapped = true;
  EXPECT_EQ(list.next(&wrapped), dir.file("c.png"));  // rebuilt, then stepped from b
  EXPECT_FALSE(wrapped);
  EXPECT_EQ(list.next(&wrapped), dir.file("a.png"));
  EXPECT_TRUE(wrapped);
  EXPECT_EQ(list.previous(&wrapped), dir.file("c.png"));
  EXPECT_TRUE(wrapped);
  std::remove(dir.file("a.png").c_str());
  EXPECT_EQ(list.next(), dir.file("b.png"));  // a.png skipped
  EXPECT_EQ(list.first(), dir.file("b.png"));
  EXPECT_EQ(list.last(), dir.file("c.png"));
  // All others gone: nothing, and the current entry stays.
  std::remove(dir.file("c.png").c_str());
  list.seek(dir.file("b.png"));
  EXPECT_FALSE(list.next());
  EXPECT_FALSE(list.previous());
  EXPECT_EQ(list.currentPath(), dir.file("b.png"));
  list.renameCurrent(dir.file("renamed.png"));
  EXPECT_EQ(list.currentPath(), dir.file("renamed.png"));
}

TEST_F(FileListTest, OneEntry) {
  Touch(dir.file("only.jpg"));
  list.setCurrent(dir.file("only.jpg"));
  bool wrapped = true;
  EXPECT_EQ(list.next(&wrapped), dir.file("only.jpg"));
  EXPECT_FALSE(wrapped);
  EXPECT_FALSE(list.previous(&wrapped));
  EXPECT_TRUE(wrapped);
  EXPECT_FALSE(list.randomNext());
}

TEST_F(FileListTest, SeekIgnoresCaseButPrefersTheExactFile) {
  Touch(dir.file("Photo.JPG"));
  Touch(dir.file("other.jpg"));
  list.loadFolder(dir.path());
  list.seek(dir.file("photo.jpg"));
  EXPECT_EQ(list.currentPath(), dir.file("Photo.JPG"));
  list.seek(dir.file("other.JPG"));
  EXPECT_EQ(list.currentPath(), dir.file("other.jpg"));
  list.seek(dir.file("nothere.jpg"));
  EXPECT_EQ(list.currentPath(), dir.file("other.jpg"));
  Touch(dir.file("photo.jpg"));  // a second file differing only in case
  list.loadFolder(dir.path());
  list.seek(dir.file("photo.jpg"));
  EXPECT_EQ(list.currentPath(), dir.file("photo.jpg"));
  list.seek(dir.file("Photo.JPG"));
  EXPECT_EQ(list.currentPath(), dir.file("Photo.JPG"));
}

TEST_F(FileListTest, StaleRebuildSeeksLastRealFileForClipboard) {
  for (const char* n : {"a.png", "b.png", "c.png"}) Touch(dir.file(n));
  list.setCurrent(dir.file("c.png"));
  state.currentPath = "Clipboard";
  state.lastFilePath = dir.file("a.png");
  EXPECT_EQ(list.next(), dir.file("b.png"));
  EXPECT_FALSE(list.isStale());
  Touch(dir.file("d.png"));  // not seen until marked stale
  EXPECT_EQ(list.count(), 3);
  list.markStale();
  state.currentPath = dir.file("b.png");
  EXPECT_EQ(list.next(), dir.file("c.png"));
  EXPECT_EQ(list.count(), 4);
}

TEST_F(FileListTest, RandomOrderIsOneFixedCycle) {
  for (int i = 0; i < 9; ++i) Touch(dir.file("f" + std::to_string(i) + ".png"));
  list.setCurrent(dir.file("f4.png"));
  state.currentPath = dir.file("f4.png");
  std::vector<std::string> forward;
  for (int i = 0; i < 8; ++i) forward.push_back(list.randomNext().value_or("none"));
  std::set<std::string> distinct(forward.begin(), forward.end());
  EXPECT_EQ(distinct.size(), 8u);
  EXPECT_EQ(distinct.count(dir.file("f4.png")), 0u);
  EXPECT_EQ(list.randomNext(), dir.file("f4.png"));  // the cycle closes
  std::vector<std::string> back;
  for (int i = 0; i < 8; ++i) back.push_back(list.randomPrevious().value_or("none"));
  EXPECT_EQ(back, std::vector<std::string>(forward.rbegin(), forward.rend()));
}

TEST_F(FileListTest, ListFile) {
  const std::string lst = dir.file("set.lst");
  test::WriteBytes(lst, {});
  {
    std::FILE* f = std::fopen(lst.c_str(), "wb");
    std::fputs("b.jpg\r\n/x/b.png\r\na:b.jpg\n\n:end\nafter.jpg\n", f);
    std::fclose(f);
  }
  list.loadListFile(lst);
  EXPECT_FALSE(list.isStale());
  EXPECT_EQ(list.paths(), (std::vector<std::string>{dir.path() + "/", dir.file("a:b.jpg"),
                                                   dir.file("b.jpg"), "/x/b.png"}));
  EXPECT_TRUE(list.spansSeveralFolders());
  // The list folder itself (from the empty line) and the missing files are skipped.
  Touch(dir.file("b.jpg"));
  EXPECT_EQ(list.first(), dir.file("b.jpg"));
  EXPECT_EQ(list.count(), 4);  // not rebuilt from the folder
}

TEST(IsOpenable, OnlyRegularReadableFiles) {
  test::TempDir dir;
  Touch(dir.file("f.png"));
  EXPECT_TRUE(isOpenable(dir.file("f.png")));
  EXPECT_FALSE(isOpenable(dir.path()));
  EXPECT_FALSE(isOpenable(dir.file("missing.png")));
  EXPECT_FALSE(isOpenable(""));
  ASSERT_EQ(mkfifo(dir.file("pipe.png").c_str(), 0600), 0);
  EXPECT_FALSE(isOpenable(dir.file("pipe.png")));  // and does not block
}

}  // namespace
}  // namespace qp
