#include "frame/file_operations.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "support/file_fixture.h"

namespace qp {
namespace {

using test::FileFixture;
using test::ReadBytes;
using test::WriteBytes;

std::vector<uint8_t> Bytes(uint8_t v, size_t n = 3) { return std::vector<uint8_t>(n, v); }

// Every name in the folder, so a test sees leftovers such as temporary copies.
std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  CSrchDir scan;
  scan.search(folder + "/", "*.jpg;*.png;*.tmp");
  for (const auto& p : scan.results()) names.push_back(p.substr(p.rfind('/') + 1));
  std::sort(names.begin(), names.end());
  return names;
}

TEST(RenameFile, NamesTypedInTheDialog) {
  struct Case {
    const char* typed;
    const char* result;  // the file afterwards
  } cases[] = {
      {"holiday", "holiday.jpg"},       // the extension is kept
      {"holiday.png", "holiday.png"},   // only the name changes
      {"Photo.jpg", "Photo.jpg"},       // a change of letter case is a rename
  };
  for (const Case& c : cases) {
    FileFixture f;
    const std::string photo = f.file("photo.jpg");
    WriteBytes(photo, Bytes(1));
    f.host.OpenDocument(photo);
    f.files.refreshIfStale();
    f.host.typedNames = {c.typed};
    RenameFileCommand(f.ctx);
    EXPECT_FALSE(PathExists(photo)) << c.typed;
    EXPECT_EQ(ReadBytes(f.file(c.result)), Bytes(1)) << c.typed;
    EXPECT_EQ(f.state.currentPath, f.file(c.result));
    EXPECT_EQ(f.files.currentPath().value_or(""), f.file(c.result));
    EXPECT_TRUE(f.messages().empty());
  }
}

TEST(RenameFile, OntoAnExistingNameKeepsBothFilesAndTheDialogOpen) {
  FileFixture f;
  WriteBytes(f.file("a.jpg"), Bytes(1));
  WriteBytes(f.file("b.jpg"), Bytes(2));
  f.host.OpenDocument(f.file("a.jpg"));
  f.host.typedNames = {"b", "c"};  // the first is refused, the dialog stays for the second
  RenameFileCommand(f.ctx);
  EXPECT_EQ(f.messages(), std::vector<std::string>{"File could not be renamed"});
  EXPECT_EQ(ReadBytes(f.file("b.jpg")), Bytes(2));
  EXPECT_EQ(ReadBytes(f.file("c.jpg")), Bytes(1));
  EXPECT_FALSE(PathExists(f.file("a.jpg")));
}

TEST(RenameFile, OffersTheUnescapedNameAndReturnsToFullScreen) {
  FileFixture f;
  const std::string odd = f.file("a%20b%2Cc&amp;d.jpg");
  WriteBytes(odd, Bytes(1));
  f.host.OpenDocument(odd);
  f.state.fullScreen = 1;
  RenameFileCommand(f.ctx);  // cancelled
  EXPECT_EQ(f.host.renameOffered, std::vector<std::string>{"a b,c&d.jpg"});
  EXPECT_TRUE(PathExists(odd));
  EXPECT_EQ(f.toggles, 2);
  EXPECT_EQ(f.state.fullScreen, 1);
}

// A FAT file system (as on a camera's memory card) in an image file, mounted through the
// user-space FAT driver; letter case is kept in names but ignored in lookups.
class FatCard {
 public:
  explicit FatCard(const test::TempDir& dir) : image_(dir.file("card.img")), mount_(dir.file("card")) {
    if (::geteuid() != 0 || ::access("/dev/fuse", R_OK | W_OK) != 0) return;
    WriteBytes(image_, {});
    if (::truncate(image_.c_str(), 8 << 20) != 0 || ::mkdir(mount_.c_str(), 0755) != 0) return;
    const std::string quiet = " >/dev/null 2>&1";
    if (std::system(("mkfs.vfat '" + image_ + "'" + quiet).c_str()) != 0) return;
    if (std::system(("fusefat -o rw+ '" + image_ + "' '" + mount_ + "'" + quiet).c_str()) != 0)
      return;
    struct stat outer {}, inner {};
    for (int i = 0; i < 200 && !mounted_; ++i) {
      mounted_ = ::stat(image_.c_str(), &outer) == 0 && ::stat(mount_.c_str(), &inner) == 0 &&
                 outer.st_dev != inner.st_dev;
      if (!mounted_) ::usleep(10000);
    }
  }
  ~FatCard() {
    if (mounted_) ::umount2(mount_.c_str(), MNT_DETACH);
  }
  FatCard(const FatCard&) = delete;
  FatCard& operator=(const FatCard&) = delete;
  bool mounted() const { return mounted_; }
  std::string file(const std::string& name) const { return mount_ + "/" + name; }
  std::string folder() const { return mount_; }

 private:
  std::string image_;
  std::string mount_;
  bool mounted_ = false;
};

TEST(RenameFile, OnAFileSystemThatIgnoresLetterCase) {
  FileFixture f;
  FatCard card(f.dir);
  if (!card.mounted()) GTEST_SKIP() << "needs root, /dev/fuse, mkfs.vfat and fusefat";
  WriteBytes(card.file("IMG_0001.JPG"), Bytes(1));
  WriteBytes(card.file("b.jpg"), Bytes(2));
  ASSERT_TRUE(PathExists(card.file("img_0001.jpg")));  // the card ignores letter case

  // Only the letter case changes: the name is the file's own.
  f.host.OpenDocument(card.file("IMG_0001.JPG"));
  f.host.typedNames = {"img_0001.jpg"};
  RenameFileCommand(f.ctx);
  EXPECT_TRUE(f.messages().empty());
  EXPECT_EQ(Listing(card.folder()), (std::vector<std::string>{"b.jpg", "img_0001.jpg"}));
  EXPECT_EQ(ReadBytes(card.file("img_0001.jpg")), Bytes(1));
  EXPECT_EQ(f.state.currentPath, card.file("img_0001.jpg"));

  // A name that is another file's in another spelling is refused and changes nothing; a new
  // name works although the driver has neither the no-replace rename nor hard links.
  f.host.typedNames = {"B.JPG", "Holiday"};
  RenameFileCommand(f.ctx);
  EXPECT_EQ(f.messages(), std::vector<std::string>{"File could not be renamed"});
  EXPECT_EQ(Listing(card.folder()), (std::vector<std::string>{"Holiday.jpg", "b.jpg"}));
  EXPECT_EQ(ReadBytes(card.file("b.jpg")), Bytes(2));
  EXPECT_EQ(ReadBytes(card.file("Holiday.jpg")), Bytes(1));
}

TEST(CopyOrMoveFile, AsksBeforeReplacingAndKeepsTheSource) {
  for (bool move : {false, true}) {
    for (MessageAnswer answer : {MessageAnswer::No, MessageAnswer::Yes}) {
      FileFixture f;
      const std::string src = f.file("a.jpg"), dst = f.file("b.jpg");
      WriteBytes(src, Bytes(1, 100000));
      WriteBytes(dst, Bytes(2));
      f.host.OpenDocument(src);
      f.fakes.fileDialogs.answers.push_back(FileDialogResult{{dst}, 1});
      f.fakes.messages.answers.push_back(answer);
      CopyOrMoveFileCommand(f.ctx, move);
      ASSERT_EQ(f.fakes.fileDialogs.requests.size(), 1u);
      EXPECT_EQ(f.fakes.fileDialogs.requests[0].title, move ? "Move File" : "Copy File");
      EXPECT_EQ(f.fakes.fileDialogs.requests[0].filter, "All Files (*.*)|*.*||");
      EXPECT_EQ(f.fakes.fileDialogs.requests[0].fileName, "a.jpg");
      EXPECT_EQ(f.messages(), std::vector<std::string>{"Overwrite existing file?"});
      const bool yes = answer == MessageAnswer::Yes;
      EXPECT_EQ(ReadBytes(dst), yes ? Bytes(1, 100000) : Bytes(2));
      EXPECT_EQ(PathExists(src), !(yes && move));
      // The view keeps showing the old path.
      EXPECT_EQ(f.state.currentPath, src);
      EXPECT_EQ(Listing(f.dir.path()).size(), yes && move ? 1u : 2u);
    }
  }
}

TEST(CopyOrMoveFile, FailuresSayWhichAndLeaveTheSource) {
  for (bool move : {false, true}) {
    FileFixture f;
    const std::string src = f.file("a.jpg");
    WriteBytes(src, Bytes(1));
    f.host.OpenDocument(src);
    f.fakes.fileDialogs.answers.push_back(FileDialogResult{{f.file("missing/b.jpg")}, 1});
    CopyOrMoveFileCommand(f.ctx, move);
    EXPECT_EQ(f.messages(), std::vector<std::string>{move ? "Could not move file"
                                                          : "Could not copy file"});
    EXPECT_EQ(ReadBytes(src), Bytes(1));
  }
  // A copy onto the file itself would truncate it: refused, the file intact.
  FileFixture f;
  const std::string src = f.file("a.jpg");
  WriteBytes(src, Bytes(7));
  EXPECT_FALSE(CopyFileReplacing(src, f.dir.path() + "/./a.jpg"));
  EXPECT_TRUE(MoveFileReplacing(src, src));
  EXPECT_EQ(ReadBytes(src), Bytes(7));
}

TEST(CopyOrMoveFile, CopyKeepsModeAndTimes) {
  FileFixture f;
  const std::string src = f.file("a.jpg"), dst = f.file("b.jpg");
  WriteBytes(src, Bytes(1));
  ASSERT_EQ(::chmod(src.c_str(), 0640), 0);
  const timespec times[2] = {{1000000, 0}, {2000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, src.c_str(), times, 0), 0);
  ASSERT_TRUE(CopyFileReplacing(src, dst));
  struct stat st {};
  ASSERT_EQ(::stat(dst.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(st.st_mtim.tv_sec, 2000000);
}

TEST(CopyOrMoveFile, MoveAcrossFileSystemsCopiesThenRemoves) {
  // /dev/shm is a memory file system on most machines; skip where it is the same as /tmp.
  struct stat a {}, b {};
  FileFixture f;
  if (::stat("/dev/shm", &b) != 0 || ::stat(f.dir.path().c_str(), &a) != 0 || a.st_dev == b.st_dev)
    GTEST_SKIP() << "no second file system";
  const std::string src = f.file("a.jpg");
  const std::string dst = "/dev/shm/qp_move_test_" + std::to_string(::getpid()) + ".jpg";
  WriteBytes(src, Bytes(9, 300000));
  ASSERT_TRUE(MoveFileReplacing(src, dst));
  EXPECT_FALSE(PathExists(src));
  EXPECT_EQ(ReadBytes(dst), Bytes(9, 300000));
  ::unlink(dst.c_str());
}

TEST(DeleteFile, QuestionTrashAndPermanentDelete) {
  struct Case {
    const char* recycle;
    MessageAnswer answer;
    bool trashWorks;
    const char* question;
    bool gone;        // removed from the folder
    bool trashed;     // handed to the trash
    bool failureMessage;
  } cases[] = {
      {"false", MessageAnswer::Yes, true, "Are you sure you want to delete 'a.jpg'?", true, false, false},
      {"false", MessageAnswer::No, true, "Are you sure you want to delete 'a.jpg'?", false, false, false},
      {"TRUE", MessageAnswer::Yes, true,
       "Are you sure you want to delete 'a.jpg' to the recycle bin?", false, true, false},
      // A trash that refuses fails the delete; nothing is removed for good instead.
      {"true", MessageAnswer::Yes, false,
       "Are you sure you want to delete 'a.jpg' to the recycle bin?", false, false, true},
  };
  for (const Case& c : cases) {
    FileFixture f;
    const std::string path = f.file("a.jpg");
    WriteBytes(path, Bytes(1));
    f.host.OpenDocument(path);
    f.settings.WriteText("UseRecycleBin", c.recycle);
    f.fakes.trash.succeeds = c.trashWorks;
    f.fakes.messages.answers.push_back(c.answer);
    DeleteFileCommand(f.ctx);
    ASSERT_FALSE(f.fakes.messages.shown.empty());
    EXPECT_EQ(f.fakes.messages.shown[0].text, c.question);
    EXPECT_EQ(f.fakes.messages.shown[0].icon, MessageIcon::Question);
    EXPECT_EQ(PathExists(path), !c.gone) << c.question;
    EXPECT_EQ(f.fakes.trash.trashed.size(), c.trashed ? 1u : 0u);
    EXPECT_EQ(f.fakes.messages.shown.size(), c.failureMessage ? 2u : 1u);
    if (c.failureMessage) {
      EXPECT_EQ(f.fakes.messages.shown[1].text, "File could not be deleted: a.jpg");
    }
  }
}

TEST(FolderSlots, CreateTheChainAskBeforeReplacingAndFlash) {
  FileFixture f;
  const std::string src = f.file("a.jpg");
  WriteBytes(src, Bytes(1));
  const std::string folder = f.file("x/y/z");
  ASSERT_TRUE(copyOrMoveToFolder(f.ctx, src, folder, false));
  EXPECT_EQ(ReadBytes(folder + "/a.jpg"), Bytes(1));
  EXPECT_EQ(f.host.flashes, 1);
  EXPECT_EQ(f.fakes.cursor.waitDepth, 0);
  EXPECT_EQ(f.fakes.cursor.waitShown, 1);

  WriteBytes(src, Bytes(2));
  f.fakes.messages.answers.push_back(MessageAnswer::No);
  EXPECT_FALSE(copyOrMoveToFolder(f.ctx, src, folder + "/", true));
  EXPECT_EQ(f.messages(), std::vector<std::string>{"Replace existing file?"});
  EXPECT_EQ(ReadBytes(folder + "/a.jpg"), Bytes(1));

  f.state.fullScreen = 1;  // no flash in fullscreen
  EXPECT_TRUE(copyOrMoveToFolder(f.ctx, src, folder, true));
  EXPECT_EQ(ReadBytes(folder + "/a.jpg"), Bytes(2));
  EXPECT_FALSE(PathExists(src));
  EXPECT_EQ(f.host.flashes, 1);

  // A file in the way of the chain.
  WriteBytes(f.file("blocker"), Bytes(3));
  WriteBytes(src, Bytes(1));
  EXPECT_FALSE(createFolderChain(f.file("blocker/sub")));
  EXPECT_FALSE(copyOrMoveToFolder(f.ctx, src, f.file("blocker/sub"), false));
  EXPECT_EQ(f.messages().back(), "Could not create destination folder");
  EXPECT_TRUE(createFolderChain("/"));
}

}  // namespace
}  // namespace qp
