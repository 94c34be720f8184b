#include "frame/navigation.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/file_fixture.h"

namespace qp {
namespace {

using test::FileFixture;

void Touch(const std::string& path) { test::WriteBytes(path, {1, 2, 3}); }

std::string Name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

// The names opened so far.
std::vector<std::string> Opened(const FileFixture& f) {
  std::vector<std::string> out;
  for (const auto& p : f.host.opened) out.push_back(Name(p));
  return out;
}

struct Folder : FileFixture {
  Folder() {
    for (const char* n : {"a.png", "b.png", "c.png"}) Touch(file(n));
    host.OpenDocument(file("a.png"));
    host.opened.clear();
  }
};

TEST(Navigation, StepsWrapAroundAndFlash) {
  Folder f;
  for (int i = 0; i < 3; ++i) NextFile(f.ctx);
  EXPECT_EQ(Opened(f), (std::vector<std::string>{"b.png", "c.png", "a.png"}));
  EXPECT_EQ(f.host.flashes, 1);
  PreviousFile(f.ctx);
  EXPECT_EQ(Name(f.host.opened.back()), "c.png");
  EXPECT_EQ(f.host.flashes, 2);
  EXPECT_EQ(f.host.positions.back(), "3/3");
  LastFile(f.ctx);
  FirstFile(f.ctx);
  EXPECT_EQ(Name(f.host.opened.back()), "a.png");
  EXPECT_EQ(f.host.positions.back(), "1/3");
  EXPECT_TRUE(f.messages().empty());
}

TEST(Navigation, AFolderThatChangesUnderneath) {
  Folder f;
  NextFile(f.ctx);  // b
  ::unlink(f.file("c.png").c_str());
  NextFile(f.ctx);  // the deleted entry is skipped
  EXPECT_EQ(Name(f.host.opened.back()), "a.png");
  Touch(f.file("d.png"));
  NextFile(f.ctx);  // b: the list was not rebuilt
  NextFile(f.ctx);  // a again, d unknown
  EXPECT_EQ(Name(f.host.opened.back()), "a.png");
  RefreshFileList(f.ctx);
  NextFile(f.ctx);
  NextFile(f.ctx);
  EXPECT_EQ(Opened(f), (std::vector<std::string>{"b.png", "a.png", "b.png", "a.png", "b.png",
                                                  "d.png"}));
  EXPECT_EQ(f.host.positions.back(), "3/3");
}

TEST(Navigation, SingleEntryAndEmptyList) {
  FileFixture f;
  Touch(f.file("only.png"));
  f.host.OpenDocument(f.file("only.png"));
  f.host.opened.clear();
  NextFile(f.ctx);
  EXPECT_EQ(Opened(f), std::vector<std::string>{"only.png"});  // reloaded
  PreviousFile(f.ctx);
  EXPECT_EQ(Opened(f).size(), 1u);  // nothing but a flash
  EXPECT_EQ(f.host.flashes, 1);
  ::unlink(f.file("only.png").c_str());
  RefreshFileList(f.ctx);
  FirstFile(f.ctx);
  EXPECT_EQ(f.messages(), std::vector<std::string>{"No image to show"});
  LastFile(f.ctx);  // no message for the other steps
  EXPECT_EQ(f.messages().size(), 1u);
}

TEST(Navigation, NextFileOrFrameAndThePaddles) {
  Folder f;
  f.state.animating = 1;
  f.state.paused = 1;
  NextFileOrFrame(f.ctx);
  ASSERT_EQ(f.fakes.post.queue.size(), 1u);
  EXPECT_EQ(f.fakes.post.queue.front(), (std::pair<uint16_t, intptr_t>{4026, 0}));
  EXPECT_TRUE(f.host.opened.empty());
  f.state.paused = 0;  // playing: the next file
  PaddleNext(f.ctx);
  EXPECT_EQ(Name(f.host.opened.back()), "b.png");
  EXPECT_EQ(f.viewCommands.back().first, 4017);
  PaddlePrevious(f.ctx);
  EXPECT_EQ(Name(f.host.opened.back()), "a.png");
  EXPECT_EQ(f.viewCommands.back().first, 4017);
}

TEST(Navigation, InFullScreenEveryStepFitsUnlessTheZoomIsLocked) {
  Folder f;
  f.state.fullScreen = 1;
  f.state.zoom = 2.0f;
  NextFile(f.ctx);
  EXPECT_EQ(f.state.zoom, -1.0f);
  EXPECT_EQ(f.viewCommands.back().first, kCmdRefresh);
  f.state.zoom = 2.0f;
  f.state.zoomLocked = 1;
  NextFile(f.ctx);
  EXPECT_EQ(f.state.zoom, 2.0f);
}

TEST(Navigation, InvalidTimestampIsRefusedButCounted) {
  Folder f;
  const timespec firstDay[2] = {{3600, 0}, {3600, 0}};  // 1 January 1970, 01:00
  ASSERT_EQ(::utimensat(AT_FDCWD, f.file("b.png").c_str(), firstDay, 0), 0);
  NextFile(f.ctx);
  EXPECT_EQ(f.messages(), std::vector<std::string>{"Invalid file timestamp"});
  EXPECT_TRUE(f.host.opened.empty());
  EXPECT_EQ(f.host.positions.back(), "2/3");
  const timespec secondDay[2] = {{86400, 0}, {86400, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, f.file("b.png").c_str(), secondDay, 0), 0);
  PreviousFile(f.ctx);
  NextFile(f.ctx);
  EXPECT_EQ(Opened(f), (std::vector<std::string>{"a.png", "b.png"}));
}

TEST(Navigation, ListFilesFromTheDialogAndDropped) {
  Folder f;
  const std::string sub = f.file("sub");
  ASSERT_EQ(::mkdir(sub.c_str(), 0700), 0);
  Touch(sub + "/z.png");
  test::WriteBytes(f.file("list.lst"), {});
  {
    std::FILE* out = std::fopen(f.file("list.lst").c_str(), "w");
    std::fputs("missing.png\nsub/z.png\nc.png\n", out);
    std::fclose(out);
  }
  f.fakes.fileDialogs.answers.push_back(FileDialogResult{{f.file("list.lst")}, 1});
  OpenWithDialog(f.ctx);
  EXPECT_EQ(f.fakes.fileDialogs.requests[0].filter, openFilter(&f.settings));
  // The list is sorted by path; the first openable entry is shown and stepping stays in it.
  NextFile(f.ctx);
  NextFile(f.ctx);
  EXPECT_EQ(Opened(f), (std::vector<std::string>{"c.png", "z.png", "c.png"}));

  // A dropped list whose entries are all missing: the message, nothing opened.
  {
    std::FILE* out = std::fopen(f.file("gone.lst").c_str(), "w");
    std::fputs("nothing.png\n", out);
    std::fclose(out);
  }
  f.host.opened.clear();
  DropFiles(f.ctx, {f.file("notes.txt"), f.file("gone.lst"), f.file("a.png")});
  EXPECT_EQ(f.messages(), std::vector<std::string>{"No image to show"});
  EXPECT_TRUE(f.host.opened.empty());
  EXPECT_EQ(f.host.activations, 1);
  // A dropped picture marks the list for a rebuild from its folder.
  DropFiles(f.ctx, {f.file("notes.txt"), f.file("b.png"), f.file("c.png")});
  EXPECT_EQ(Opened(f), std::vector<std::string>{"b.png"});
  EXPECT_TRUE(f.files.isStale());
}

void WriteText(const std::string& path, const char* text) {
  std::FILE* out = std::fopen(path.c_str(), "w");
  ASSERT_NE(out, nullptr);
  std::fputs(text, out);
  std::fclose(out);
}

TEST(Navigation, ListFilesThatNameListFilesDoNotNest) {
  Folder f;
  // A list that names itself, and two lists that name each other: entries that are lists are
  // left out, so nothing is opened again and again.
  WriteText(f.file("loop.lst"), "loop.lst\n");
  WriteText(f.file("one.lst"), "two.lst\n");
  WriteText(f.file("two.lst"), "one.lst\nLOOP.LST\nb.png\n");
  OpenFile(f.ctx, f.file("loop.lst"));
  OpenFile(f.ctx, f.file("one.lst"));
  EXPECT_TRUE(f.host.opened.empty());
  EXPECT_EQ(f.files.count(), 0);
  FirstFile(f.ctx);  // the view's way in for a list opened as a document
  EXPECT_EQ(f.messages(), std::vector<std::string>{"No image to show"});
  DropFiles(f.ctx, {f.file("loop.lst")});
  EXPECT_EQ(f.messages(), std::vector<std::string>(2, "No image to show"));
  EXPECT_TRUE(f.host.opened.empty());

  OpenFile(f.ctx, f.file("two.lst"));
  NextFile(f.ctx);
  EXPECT_EQ(Opened(f), (std::vector<std::string>{"b.png", "b.png"}));
  EXPECT_EQ(f.files.paths(), std::vector<std::string>{f.file("b.png")});
}

// A folder a..e with c shown; the list is waiting for a rebuild (Refresh File List, File Open or
// a drop) when c goes.
struct FiveWithCGone : FileFixture {
  FiveWithCGone() {
    for (const char* n : {"a.png", "b.png", "c.png", "d.png", "e.png"}) Touch(file(n));
    host.OpenDocument(file("c.png"));
    NextFile(ctx);      // d: the folder is listed
    PreviousFile(ctx);  // c
    host.opened.clear();
    RefreshFileList(ctx);
    ::unlink(file("c.png").c_str());
  }
};

TEST(Navigation, AfterTheShownFileWentARebuiltListStepsFromWhereItWas) {
  {
    FiveWithCGone f;
    NextFile(f.ctx);
    EXPECT_EQ(Opened(f), std::vector<std::string>{"d.png"});
    EXPECT_EQ(f.host.positions.back(), "3/4");
    NextFile(f.ctx);
    EXPECT_EQ(Name(f.host.opened.back()), "e.png");
    EXPECT_EQ(f.host.flashes, 0);
  }
  {
    FiveWithCGone f;
    PreviousFile(f.ctx);
    EXPECT_EQ(Opened(f), std::vector<std::string>{"b.png"});
    EXPECT_EQ(f.host.positions.back(), "2/4");
  }
  {
    // Also when the neighbour is gone too, and across the end of the list.
    FiveWithCGone f;
    ::unlink(f.file("d.png").c_str());
    NextFile(f.ctx);
    EXPECT_EQ(Opened(f), std::vector<std::string>{"e.png"});
  }
  {
    FileFixture f;
    for (const char* n : {"a.png", "b.png", "c.png"}) Touch(f.file(n));
    f.host.OpenDocument(f.file("c.png"));
    f.host.opened.clear();
    ::unlink(f.file("c.png").c_str());
    NextFile(f.ctx);  // first listing, already without c: wraps to the first entry
    EXPECT_EQ(Opened(f), std::vector<std::string>{"a.png"});
    EXPECT_EQ(f.host.flashes, 1);
  }
}

TEST(Navigation, ARecentFileOrTheBookmarkFromAnotherFolderListsThatFolder) {
  FileFixture f;
  ASSERT_EQ(::mkdir(f.file("A").c_str(), 0700), 0);
  ASSERT_EQ(::mkdir(f.file("B").c_str(), 0700), 0);
  for (const char* n : {"A/a1.png", "A/a2.png", "B/b1.png", "B/b2.png"}) Touch(f.file(n));
  f.host.OpenDocument(f.file("A/a1.png"));
  NextFile(f.ctx);  // a2: folder A is listed
  f.recent.Add(f.file("B/b1.png"));
  ASSERT_TRUE(ExecuteNavigation(f.ctx, kCmdRecentFirst));
  NextFile(f.ctx);
  EXPECT_EQ(f.state.currentPath, f.file("B/b2.png"));
  f.settings.WriteText("LastBookmark", f.file("A/a1.png"));
  OpenLastBookmark(f.ctx);
  NextFile(f.ctx);
  EXPECT_EQ(f.state.currentPath, f.file("A/a2.png"));
  EXPECT_EQ(f.host.positions.back(), "2/2");
}

TEST(Navigation, Bookmarks) {
  FileFixture f;
  NextFileOrFrame(f.ctx);  // no file, no bookmark: nothing
  EXPECT_TRUE(f.host.opened.empty());
  Touch(f.file("a.png"));
  f.host.OpenDocument(f.file("a.png"));
  BookmarkFile(f.ctx);
  EXPECT_EQ(f.settings.ReadText("LastBookmark"), f.file("a.png"));
  f.state.currentPath.clear();
  f.host.opened.clear();
  NextFileOrFrame(f.ctx);  // no file: the bookmark
  RandomFile(f.ctx);       // the same for Random while nothing is shown
  EXPECT_EQ(Opened(f), std::vector<std::string>{"a.png"});

  ::unlink(f.file("a.png").c_str());
  f.fakes.messages.answers = {MessageAnswer::No, MessageAnswer::Yes};
  OpenLastBookmark(f.ctx);
  EXPECT_EQ(f.settings.ReadText("LastBookmark"), f.file("a.png"));
  OpenLastBookmark(f.ctx);
  EXPECT_EQ(f.settings.ReadText("LastBookmark"), "");
  EXPECT_EQ(f.messages(), std::vector<std::string>(2, "Bookmark was not found, clear the bookmark?"));
}

TEST(Navigation, RefreshAndMediaKeys) {
  Folder f;
  f.state.paused = 1;
  RefreshFile(f.ctx);
  EXPECT_EQ(f.state.paused, 0);
  EXPECT_EQ(f.viewCommands.back().first, 4025);
  EXPECT_TRUE(MediaKey(f.ctx, 2));
  EXPECT_EQ(Name(f.host.opened.back()), "b.png");
  EXPECT_TRUE(MediaKey(f.ctx, 12));
  EXPECT_EQ(Name(f.host.opened.back()), "a.png");
  EXPECT_TRUE(MediaKey(f.ctx, 14));
  EXPECT_EQ(f.viewCommands.back().first, 4027);
  EXPECT_FALSE(MediaKey(f.ctx, 5));
}

TEST(RecentFiles, EightNewestFirstAcrossRestarts) {
  FileFixture f;
  for (int i = 0; i < 10; ++i) f.recent.Add("/p/" + std::to_string(i) + ".png");
  f.recent.Add("/p/5.png");  // moves to the front
  RecentFileList again(f.recentBackend);
  again.Load();
  EXPECT_EQ(again.entries(), (std::vector<std::string>{"/p/5.png", "/p/9.png", "/p/8.png",
                                                       "/p/7.png", "/p/6.png", "/p/4.png",
                                                       "/p/3.png", "/p/2.png"}));
  EXPECT_EQ(f.recentBackend.getText("File1").value_or(""), "/p/5.png");

  ClearRecentFiles(f.recent, f.fakes.messages);
  EXPECT_TRUE(f.recent.entries().empty());
  again.Load();
  EXPECT_TRUE(again.entries().empty());
}

// The settings store behind the recent list, counting the calls that change it: the
// application's store rewrites its file on each.
class CountingBackend final : public SettingsBackend {
 public:
  std::optional<std::string> getText(std::string_view name) override { return inner.getText(name); }
  std::optional<int32_t> getNumber(std::string_view name) override { return inner.getNumber(name); }
  bool setText(std::string_view name, std::string_view value) override {
    ++writes;
    return inner.setText(name, value);
  }
  bool setNumber(std::string_view name, int32_t value) override {
    ++writes;
    return inner.setNumber(name, value);
  }
  bool removeGroup(std::string_view group) override {
    ++writes;
    return inner.removeGroup(group);
  }
  bool replaceGroup(std::string_view group,
                    const std::vector<std::pair<std::string, std::string>>& values) override {
    ++writes;
    return inner.replaceGroup(group, values);
  }
  MemorySettingsBackend inner{"Recent File List"};
  int writes = 0;
};

TEST(RecentFiles, ShowingAFileWritesTheStoreOnce) {
  // Every step saves the list, so it must cost one write whatever the length of the list.
  CountingBackend backend;
  RecentFileList recent(backend);
  for (int i = 0; i < 12; ++i) {
    backend.writes = 0;
    recent.Add("/p/" + std::to_string(i) + ".png");
    EXPECT_EQ(backend.writes, 1) << "entry " << i;
  }
  // The list written is the whole list, newest first, without the entries that fell off.
  RecentFileList again(backend.inner);
  again.Load();
  EXPECT_EQ(again.entries(), (std::vector<std::string>{"/p/11.png", "/p/10.png", "/p/9.png",
                                                       "/p/8.png", "/p/7.png", "/p/6.png",
                                                       "/p/5.png", "/p/4.png"}));
  EXPECT_FALSE(backend.inner.getText("File9").has_value());

  // Deferred, as the window does until the picture is on the screen: adds meanwhile share one
  // write, which writes the list as it is then; a removal writes at once, and so does the
  // end of the program with a write still waiting.
  std::vector<std::function<void()>> deferred;
  recent.DeferSaves([&deferred](std::function<void()> save) { deferred.push_back(save); });
  backend.writes = 0;
  recent.Add("/p/a.png");
  recent.Add("/p/b.png");
  EXPECT_EQ(backend.writes, 0);
  ASSERT_EQ(deferred.size(), 1u);
  deferred[0]();
  deferred[0]();  // a second call (the fallback timer) finds nothing to write
  EXPECT_EQ(backend.writes, 1);
  EXPECT_EQ(backend.inner.getText("File1").value_or(""), "/p/b.png");
  EXPECT_EQ(backend.inner.getText("File2").value_or(""), "/p/a.png");
  recent.Add("/p/c.png");
  recent.Remove(0);
  EXPECT_EQ(backend.writes, 2);
  recent.SaveIfPending();
  EXPECT_EQ(backend.writes, 2);
  recent.Add("/p/d.png");
  recent.SaveIfPending();
  EXPECT_EQ(backend.writes, 3);
  EXPECT_EQ(backend.inner.getText("File1").value_or(""), "/p/d.png");
}

TEST(RecentFiles, OpeningAddsAndADeadEntryIsDropped) {
  Folder f;
  NextFile(f.ctx);
  NextFile(f.ctx);
  ASSERT_EQ(f.recent.entries(), (std::vector<std::string>{f.file("c.png"), f.file("b.png")}));
  ::unlink(f.file("b.png").c_str());
  EXPECT_TRUE(ExecuteNavigation(f.ctx, kCmdRecentFirst + 1));
  EXPECT_EQ(f.recent.entries(), std::vector<std::string>{f.file("c.png")});
  EXPECT_TRUE(ExecuteNavigation(f.ctx, kCmdRecentFirst));
  EXPECT_EQ(f.state.currentPath, f.file("c.png"));
}

TEST(RecentFiles, MenuTexts) {
  struct Case {
    const char* path;
    const char* shown;
  } cases[] = {
      {"/home/me/a.png", "/home/me/a.png"},
      {"/home/someone/Pictures/2024/summer/beach.jpg", "/.../2024/summer/beach.jpg"},
      {"/home/someone/Pictures/a-very-long-file-name.jpg", "/.../a-very-long-file-name.jpg"},
      {"/a/an-even-longer-file-name-than-thirty.jpg", "an-even-longer-file-name-than-thirty.jpg"},
  };
  for (const Case& c : cases) EXPECT_EQ(AbbreviatePath(c.path, 30), c.shown);
  FileFixture f;
  f.recent.Add("/x/Tom & Jerry.png");
  EXPECT_EQ(f.recent.MenuText(0), "&1 /x/Tom && Jerry.png");
}

}  // namespace
}  // namespace qp
