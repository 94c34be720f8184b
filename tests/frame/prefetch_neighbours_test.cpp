#include "frame/prefetch_neighbours.h"

#include <cstdio>

#include <gtest/gtest.h>

#include "frame/main_frame.h"
#include "support/view_fixture.h"
#include "view/prefetch.h"

namespace qp {
namespace {

TEST(FileListPeek, NamesTheEntryAStepWouldReachWithoutMoving) {
  test::TempDir dir;
  ViewerState state;
  for (const char* name : {"a.png", "b.png", "c.png", "d.png"}) test::WriteBytes(dir.file(name), {1});
  FileList list(state, ".png", 1);
  EXPECT_EQ(list.peek(1), std::nullopt);  // not read yet
  list.setCurrent(dir.file("a.png"));
  list.refreshIfStale();
  std::remove(dir.file("d.png").c_str());  // listed, but gone: a step skips it
  struct Case {
    const char* current;
    int direction;
    const char* expected;
  };
  for (const Case& c : {Case{"a.png", 1, "b.png"}, Case{"a.png", -1, "c.png"},
                        Case{"c.png", 1, "a.png"}, Case{"b.png", -1, "a.png"}}) {
    list.seek(dir.file(c.current));
    const int32_t position = list.position();
    EXPECT_EQ(list.peek(c.direction), dir.file(c.expected)) << c.current << " " << c.direction;
    EXPECT_EQ(list.position(), position);
    bool wrapped = false;
    EXPECT_EQ(c.direction > 0 ? list.next(&wrapped) : list.previous(&wrapped), dir.file(c.expected));
  }
  // One entry: forwards is the entry itself, backwards nothing; a stale list answers nothing.
  for (const char* name : {"b.png", "c.png"}) std::remove(dir.file(name).c_str());
  list.markStale();
  EXPECT_EQ(list.peek(1), std::nullopt);
  list.refreshIfStale();
  EXPECT_EQ(list.peek(1), dir.file("a.png"));
  EXPECT_EQ(list.peek(-1), std::nullopt);
}

class Neighbours : public test::ViewFixture {
 protected:
  Neighbours()
      : list(state, ".png;.jpg", 7),
        listForView(list),
        router(MakeCommandRouter(FrameContext{state, settings, ports.ports, view, list, host})) {
    files.forward = &listForView;
    view.context().prefetch = &loader;
    a = WritePng("a.png", 300, 200, 0xFF0000FF);
    b = WritePng("b.png", 300, 200, 0xFF00FF00);
    c = WritePng("c.png", 200, 300, 0xFFFF0000);
  }
  // Opens the first picture as the program does at start: shown first, the folder read after.
  void Start(const std::string& path) {
    view.OpenDocument(path);
    ScanFolderAfterFirstPicture(router->context());
    loader.WaitIdle();
  }
  std::vector<uint8_t> Display() const {
    const DisplayBitmap* d = view.displayBitmap();
    return d != nullptr ? d->bits : std::vector<uint8_t>{};
  }

  PrefetchLoader loader;
  FileList list;
  FileListForView listForView;
  std::unique_ptr<CommandRouter> router;
  std::string a, b, c;
};

TEST_F(Neighbours, TheFolderIsReadAfterTheFirstPictureAndStepsAdoptWhatWasDecodedAhead) {
  Start(a);
  EXPECT_EQ(host.panes[kPanePosition], "1/3");
  EXPECT_EQ(loader.counters().decoded, 2);  // b ahead, c behind
  router->Execute(kCmdNextFile);
  EXPECT_EQ(state.currentPath, b);
  EXPECT_EQ(loader.counters().adopted, 1);
  EXPECT_EQ(host.panes[kPanePosition], "2/3");
  loader.WaitIdle();
  // Going back: a, shown first by the plain load, was decoded behind b.
  router->Execute(kCmdPreviousFile);
  EXPECT_EQ(state.currentPath, a);
  EXPECT_EQ(loader.counters().adopted, 2);
  EXPECT_EQ(test::PixelAt(view.picture(), 0, 0) & 0xFFFFFFu, 0x0000FFu);
  // b stayed ready behind when it was shown and c stayed ready ahead: nothing decoded again.
  loader.WaitIdle();
  EXPECT_EQ(loader.counters().decoded, 3);
  router->Execute(kCmdNextFile);
  EXPECT_EQ(state.currentPath, b);
  EXPECT_EQ(loader.counters().adopted, 3);
}

TEST_F(Neighbours, FilesNamedTogetherAreTheSteppingListInsteadOfTheFolder) {
  // Opened as a selection of two of the folder's three pictures, c first.
  view.OpenDocument(c);
  ScanFolderAfterFirstPicture(router->context(), {c, a});
  EXPECT_EQ(host.panes[kPanePosition], "2/2");  // sorted like a list: a, c
  for (const std::string& expected : {a, c, a}) {
    router->Execute(kCmdNextFile);
    EXPECT_EQ(state.currentPath, expected);
  }
  router->Execute(kCmdPreviousFile);
  EXPECT_EQ(state.currentPath, c);
  // One file named: its folder, as before.
  list.markStale();
  Start(b);
  EXPECT_EQ(host.panes[kPanePosition], "2/3");
}

TEST_F(Neighbours, FullscreenStepsShowTheSameFittedPictureWithAndWithoutPrefetch) {
  ports.screen.full = ScreenRect{0, 0, 160, 120};
  std::vector<std::vector<uint8_t>> shown[2];
  std::vector<float> zooms[2];
  for (int on : {1, 0}) {
    settings.WriteNumber("PrefetchMemoryMB", on ? 512 : 0);
    list.markStale();
    Start(a);
    state.ToggleFullScreenWithFit();
    for (uint16_t id : {kCmdNextFile, kCmdNextFile, kCmdNextFile, kCmdPreviousFile}) {
      router->Execute(id);
      loader.WaitIdle();
      shown[on].push_back(Display());
      zooms[on].push_back(state.zoom);
    }
    state.ToggleFullScreenWithFit();
  }
  EXPECT_EQ(loader.counters().adopted, 4);
  EXPECT_EQ(shown[1], shown[0]);
  EXPECT_EQ(zooms[1], zooms[0]);
  EXPECT_FLOAT_EQ(zooms[1][1], 0.4f);  // c, 200 x 300, fitted to 120 rows
}

TEST_F(Neighbours, AFullscreenStepFromASmallPictureNeverLaysTheNextOneOutAtTheOldZoom) {
  ports.screen.full = ScreenRect{0, 0, 160, 120};
  const std::string d = WritePng("d.png", 30, 20);
  for (int on : {1, 0}) {
    settings.WriteNumber("PrefetchMemoryMB", on ? 512 : 0);
    list.markStale();
    Start(d);
    state.ToggleFullScreenWithFit();
    host.extents.clear();
    router->Execute(kCmdNextFile);  // wraps to a, 300 x 200
    EXPECT_EQ(state.currentPath, a);
    for (const auto& [w, h] : host.extents) {
      EXPECT_LE(w, 160) << on;
      EXPECT_LE(h, 120) << on;
    }
    state.ToggleFullScreenWithFit();
  }
}

TEST_F(Neighbours, TurnedOffNothingIsDecodedAheadAndStepsLoadAsBefore) {
  settings.WriteNumber("PrefetchMemoryMB", 0);
  Start(a);
  router->Execute(kCmdNextFile);
  router->Execute(kCmdNextFile);
  EXPECT_EQ(state.currentPath, c);
  EXPECT_EQ(view.pictureWidth(), 200);
  EXPECT_FALSE(loader.workerStarted());
  const PrefetchLoader::Counters n = loader.counters();
  EXPECT_EQ(n.decoded + n.adopted + n.dropped + n.declined, 0);
  // Turned on again, the next step is decoded ahead once more.
  settings.WriteNumber("PrefetchMemoryMB", 512);
  router->Execute(kCmdNextFile);
  loader.WaitIdle();
  router->Execute(kCmdNextFile);
  EXPECT_EQ(state.currentPath, b);
  EXPECT_EQ(loader.counters().adopted, 1);
}

}  // namespace
}  // namespace qp
