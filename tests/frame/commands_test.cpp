#include "frame/commands.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include <gtest/gtest.h>

#include "codecs/jpeg.h"
#include "core/paths.h"
#include "frame/jpeg_commands.h"
#include "frame/main_frame.h"
#include "jpegxform/lossless.h"
#include "support/jpeg_builder.h"
#include "support/view_fixture.h"

namespace qp {
namespace {

TEST(CommandTable, IdsAndKeysAreUniqueAndMenusListEveryItem) {
  std::set<uint16_t> ids;
  std::map<std::string, uint16_t> keys;
  for (const CommandRow& row : CommandTable()) {
    EXPECT_TRUE(ids.insert(row.id).second) << row.id;
    std::string list(row.keys);
    size_t start = 0;
    while (start < list.size()) {
      size_t end = list.find(", ", start);
      if (end == std::string::npos) end = list.size();
      const std::string key = list.substr(start, end - start);
      auto [it, fresh] = keys.emplace(key, row.id);
      EXPECT_TRUE(fresh) << key << " bound to " << it->second << " and " << row.id;
      start = end + 2;
    }
    EXPECT_EQ(row.menu.empty(), row.text.empty()) << row.id;
  }
  // Every row with a menu appears exactly once in the menu layout, in its own top menu.
  std::map<uint16_t, int> listed;
  for (const MenuLayout& menu : MenuBar())
    for (uint16_t id : menu.items) {
      if (id == 0) continue;
      ++listed[id];
      const CommandRow* row = FindCommand(id);
      ASSERT_NE(row, nullptr) << id;
      EXPECT_EQ(row->menu.substr(0, row->menu.find('>')), menu.menu) << id;
    }
  for (const CommandRow& row : CommandTable())
    EXPECT_EQ(listed[row.id], row.menu.empty() ? 0 : 1) << row.id;
  // The tool bar: 13 items, 3 of them separators.
  EXPECT_EQ(ToolBarItems().size(), 13u);
  EXPECT_EQ(std::count(ToolBarItems().begin(), ToolBarItems().end(), 0), 3);
  EXPECT_EQ(FindCommand(4034)->text, "&Information\tI");
  EXPECT_EQ(FindCommand(4033)->text, "Lock Zoom \tCtrl+L");
  EXPECT_EQ(FindCommand(12), nullptr);
}

class Frame : public test::ViewFixture {
 protected:
  Frame()
      : list(state, ".png;.jpg", 7),
        listForView(list),
        router(MakeCommandRouter(FrameContext{state, settings, ports.ports, view, list, host})) {
    files.forward = &listForView;
  }
  FileList list;
  FileListForView listForView;
  std::unique_ptr<CommandRouter> router;
};

// Commands routed to the view that a frame group carries out because they work on the file.
bool IsFileViewCommand(uint16_t id) {
  return id == 4097 || id == 57604 || id == 4125 || id == 4126 || id == 4182 || id == 4105;
}

TEST_F(Frame, EveryRowHasAHandler) {
  view.OpenDocument(WritePng("a.png", 4, 4));
  for (const CommandRow& row : CommandTable()) {
    switch (row.route) {
      case Route::Frame: case Route::App: case Route::Framework:
        EXPECT_NE(router->HandlerOf(row.id), nullptr) << row.id;
        break;
      case Route::FrameToView: case Route::AppToView: case Route::View:
        // The view takes these and answers "handled" for each (4039 is a query); the file
        // commands among them are the file group's.
        if (row.id != kCmdHasSelection) {
          EXPECT_NE(state.SendViewCommand(row.id, 0), 0) << row.id;
        }
        EXPECT_EQ(router->HandlerOf(row.id) != nullptr, IsFileViewCommand(row.id)) << row.id;
        break;
      case Route::None:
        EXPECT_EQ(router->HandlerOf(row.id), nullptr) << row.id;
        EXPECT_FALSE(router->Execute(row.id)) << row.id;
        break;
    }
  }
}

TEST_F(Frame, UpdateRulesFollowTheState) {
  auto enabled = [&](uint16_t id) { return router->Query(id).enabled; };
  // Nothing open.
  EXPECT_TRUE(enabled(kCmdFileOpen));
  EXPECT_TRUE(enabled(kCmdAbout));
  EXPECT_FALSE(enabled(kCmdFirstFile));
  EXPECT_FALSE(enabled(kCmdNextFileOrFrame));
  EXPECT_FALSE(enabled(kCmdCut));
  EXPECT_FALSE(enabled(4099));   // editable image
  EXPECT_FALSE(enabled(57637));  // nothing on the clipboard
  settings.WriteText("LastBookmark", "/somewhere.png");
  EXPECT_TRUE(enabled(kCmdNextFileOrFrame));

  view.OpenDocument(WritePng("a.png", 4, 4));
  EXPECT_TRUE(enabled(kCmdFirstFile));
  EXPECT_TRUE(enabled(4099));
  EXPECT_TRUE(enabled(4070));    // real file
  EXPECT_FALSE(enabled(4050));   // not a JPEG
  EXPECT_FALSE(enabled(4027));   // no animation
  EXPECT_FALSE(enabled(4104));   // no selection
  EXPECT_FALSE(enabled(57643));  // no undo snapshot
  EXPECT_FALSE(enabled(kCmdCut));
  EXPECT_FALSE(router->Query(kCmdLockZoom).checked);
  router->Execute(kCmdLockZoom);
  EXPECT_TRUE(router->Query(kCmdLockZoom).checked);
  ports.clipboard.image = test::SolidPicture(1, 1, 0);
  EXPECT_TRUE(enabled(57637));

  // Animation: edits off, pause on.
  auto pb = std::make_unique<test::CountingPlayback>();
  state.StartPlayback(std::move(pb), test::SolidPicture(4, 4, 0), 3);
  view.Hook(kViewCommandMarker, kCmdAnimationTick, 0);
  EXPECT_TRUE(enabled(4027));
  EXPECT_FALSE(enabled(4099));

  // A broken file: the placeholder is no image.
  const std::string broken = dir.file("x.jpg");
  test::WriteBytes(broken, {1, 2, 3});
  view.OpenDocument(broken);
  EXPECT_FALSE(enabled(4099));
  EXPECT_FALSE(enabled(57604));
  EXPECT_TRUE(enabled(4050));  // the JPEG rule looks at the name only

  // A video's name turns off the real-file commands.
  const std::string video = dir.file("clip.MP4");
  test::WriteBytes(video, {1, 2, 3});
  view.OpenDocument(video);
  EXPECT_FALSE(enabled(4070));
  EXPECT_TRUE(enabled(4123));

  // External slots take their state and text from the settings.
  EXPECT_FALSE(enabled(4061));
  settings.WriteText("External2", "/usr/bin/gimp");
  settings.WriteText("ExternalTitle2", "Gimp");
  const CommandState ext = router->Query(4062);
  EXPECT_TRUE(ext.enabled);
  EXPECT_EQ(ext.text, "Gimp\tCtrl 2");
}

TEST_F(Frame, StepsThroughTheFolderInOrder) {
  const std::string a = WritePng("a10.png", 4, 4), b = WritePng("a9.png", 6, 4), c = WritePng("b.png", 8, 4);
  router->navigation().OpenChosenFile(b);
  EXPECT_EQ(host.panes[kPanePosition], "0/0");  // the list is built at the first step
  router->Execute(kCmdNextFileOrFrame);
  EXPECT_EQ(state.currentPath, a);  // numeric order: a9 before a10
  EXPECT_EQ(host.panes[kPanePosition], "2/3");
  router->Execute(kCmdLastFile);
  EXPECT_EQ(state.currentPath, c);
  router->Execute(kCmdNextFile);
  EXPECT_EQ(state.currentPath, b);
  EXPECT_EQ(host.flashes, 1);  // wrapped around
  router->Execute(kCmdPreviousFile);
  EXPECT_EQ(state.currentPath, c);
  router->Execute(kCmdFirstFile);
  EXPECT_EQ(host.panes[kPanePosition], "1/3");
  EXPECT_EQ(host.panes[kPaneDimensions], "6 x 4");
}

TEST_F(Frame, LosslessCropCutsTheViewsSelection) {
  const std::string photo = dir.file("photo.jpg");
  ASSERT_TRUE(test::WriteJpeg(photo, test::RandomPicture(48, 40, 5)));
  router->navigation().OpenChosenFile(photo);
  ASSERT_EQ(view.pictureWidth(), 48);

  // Without a selection the command is disabled and asks nothing.
  EXPECT_FALSE(router->Query(kCmdJpegLosslessCrop).enabled);
  router->Execute(kCmdJpegLosslessCrop);
  EXPECT_TRUE(ports.fileDialogs.requests.empty());

  // Image pixels 16..39 x 16..31, on the block grid of any sampling.
  ASSERT_TRUE(view.selection().SelectByNumbers(17, 17, 40, 32, 48, 40, state.zoom));
  EXPECT_TRUE(router->Query(kCmdJpegLosslessCrop).enabled);
  const std::string cut = dir.file("cut.jpg");
  ports.fileDialogs.answers.push_back(FileDialogResult{{cut}, 1});
  router->Execute(kCmdJpegLosslessCrop);
  ASSERT_EQ(ports.fileDialogs.requests.size(), 1u);
  EXPECT_EQ(ports.fileDialogs.requests[0].fileName, "photo_crop.jpg");
  auto cropped = LoadJpeg(cut).toOwned();
  ASSERT_TRUE(cropped);
  EXPECT_EQ(cropped->width(), 24);
  EXPECT_EQ(cropped->height(), 16);
  const std::string expected = dir.file("expected.jpg");
  ASSERT_EQ(losslessTransform(photo, expected, CropArguments(24, 16, 16, 16)), kTransformOk);
  EXPECT_EQ(test::ReadBytes(cut), test::ReadBytes(expected));
  if (test::HaveTool("jpegtran")) {
    const std::string tool = dir.file("jpegtran.jpg");
    ASSERT_EQ(test::RunShell("jpegtran -crop 24x16+16+16 -trim -copy all -outfile " +
                             test::ShellQuote(tool) + " " + test::ShellQuote(photo)),
              0);
    EXPECT_EQ(test::ReadBytes(cut), test::ReadBytes(tool));
  }
}

TEST_F(Frame, InvalidTimestampIsRefused) {
  const std::string a = WritePng("a.png", 4, 4), old = WritePng("b.png", 4, 4);
  struct timespec ts[2] = {{12 * 3600, 0}, {12 * 3600, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, old.c_str(), ts, 0), 0);
  router->navigation().OpenChosenFile(a);
  router->navigation().OpenFile(old);
  ASSERT_EQ(ports.messages.shown.size(), 1u);
  EXPECT_EQ(ports.messages.shown[0].text, "Invalid file timestamp");
  EXPECT_EQ(ports.messages.shown[0].icon, MessageIcon::Error);
  EXPECT_EQ(state.currentPath, a);
}

TEST_F(Frame, FullscreenStepsFitAndExitLeavesFullscreenFirst) {
  ports.screen.full = {0, 0, 800, 600};
  router->navigation().OpenChosenFile(WritePng("a.png", 40, 20));
  WritePng("b.png", 20, 40);
  router->Execute(kCmdToggleFullScreen);
  EXPECT_TRUE(host.fullScreen);
  EXPECT_FLOAT_EQ(state.zoom, 20.0f);  // min(800 / 40, 600 / 20)
  router->Execute(kCmdNextFileOrFrame);
  EXPECT_FLOAT_EQ(state.zoom, 15.0f);  // min(800 / 20, 600 / 40)
  router->Execute(kCmdExit);
  EXPECT_FALSE(host.fullScreen);
  EXPECT_EQ(host.closes, 0);
  router->Execute(kCmdExit);
  EXPECT_EQ(host.closes, 1);
}

TEST_F(Frame, DeferredCommands) {
  router->navigation().OpenChosenFile(WritePng("a.png", 4, 4));
  const int repaints = host.repaints;
  router->Dispatch(0, 0);
  router->Dispatch(5000, 0);
  EXPECT_EQ(host.repaints, repaints);
  router->Dispatch(kCmdZoomIn, 99);
  EXPECT_FLOAT_EQ(state.zoom, kZoomStep);
  router->Dispatch(kCmdToggleFullScreen, 0);
  EXPECT_TRUE(host.fullScreen);
  router->Dispatch(kCmdExit, 0);
  EXPECT_FALSE(host.fullScreen);

  // Ticks reach the view with their generation; a stale one does nothing.
  auto pb = std::make_unique<test::CountingPlayback>();
  test::CountingPlayback* p = pb.get();
  state.StartPlayback(std::move(pb), test::SolidPicture(4, 4, 0), 3);
  router->Dispatch(kCmdAnimationTick, state.animationGeneration + 5);
  EXPECT_EQ(p->steps, 0);
  router->Dispatch(kCmdAnimationTick, state.animationGeneration);
  EXPECT_EQ(p->steps, 1);
  // Next File or Frame on a paused animation posts a tick with argument 0.
  state.paused = 1;
  router->Execute(kCmdNextFileOrFrame);
  ASSERT_FALSE(ports.post.queue.empty());
  EXPECT_EQ(ports.post.queue.back(), (std::pair<uint16_t, intptr_t>{kCmdAnimationTick, 0}));
}

TEST_F(Frame, SettingsToggles) {
  router->Execute(kCmdUseJoystick);
  EXPECT_EQ(settings.ReadText("UseJoystick"), "true");
  EXPECT_TRUE(router->Query(kCmdUseJoystick).checked);
  router->Execute(kCmdUseJoystick);
  EXPECT_EQ(settings.ReadText("UseJoystick"), "false");
  router->Execute(kCmdUseGestures);
  EXPECT_EQ(settings.ReadText("UseGestures"), "true");
  router->Execute(4123);  // Copy Filename without a file: nothing
  EXPECT_FALSE(ports.clipboard.text.has_value());
  router->navigation().OpenChosenFile(WritePng("a.png", 4, 4));
  router->Execute(4123);
  EXPECT_EQ(ports.clipboard.text, state.currentPath);
}

TEST_F(Frame, MapLinkNeedsAPosition) {
  router->navigation().OpenChosenFile(WritePng("a.png", 4, 4));
  EXPECT_FALSE(router->Query(4159).enabled);
  state.exif.isExif = 1;
  std::strcpy(state.exif.latitudeRef, "N");
  std::strcpy(state.exif.longitudeRef, "E");
  state.exif.latitudeDegrees = 52;
  state.exif.longitudeDegrees = 13;
  EXPECT_TRUE(router->Query(4159).enabled);
  router->Execute(4159);
  ASSERT_EQ(ports.desktop.urls.size(), 1u);
  EXPECT_NE(ports.desktop.urls[0].find("52"), std::string::npos) << ports.desktop.urls[0];
  EXPECT_EQ(ports.desktop.urls[0].find('\n'), std::string::npos);
}

TEST(MainFrame, BarVisibilityDefaultsAndRoundTrip) {
  MemorySettingsBackend backend;
  SettingsStore settings(backend);
  BarVisibility bars = ReadBarVisibility(settings);
  EXPECT_FALSE(bars.toolbar);
  EXPECT_TRUE(bars.status);
  SaveBarVisibility(settings, BarVisibility{true, false});
  EXPECT_EQ(settings.ReadText("ToolbarVisible"), "true");
  EXPECT_EQ(settings.ReadText("StatusVisible"), "false");
  bars = ReadBarVisibility(settings);
  EXPECT_TRUE(bars.toolbar);
  EXPECT_FALSE(bars.status);

  ViewerState state;
  settings.WriteText("DisableProgress", "TRUE");
  ReadStartupFlags(state, settings);
  EXPECT_EQ(state.useJoystick, 1);
  EXPECT_EQ(state.useGestures, 1);
  EXPECT_EQ(state.showProgress, 0);
  EXPECT_EQ(state.numericSort, 0);  // "DisableNumericSort" defaults to "true"
}

}  // namespace
}  // namespace qp
