#include "frame/prefetch_neighbours.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include <gtest/gtest.h>

#include "codecs/load_dispatch.h"
#include "frame/main_frame.h"
#include "frame/properties_dialog.h"
#include "frame/save_as.h"
#include "metadata/exif.h"
#include "support/jpeg_builder.h"
#include "view/command_ids.h"
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
  // Two steps on, skipping the gone entry; three come back to the entry shown.
  list.seek(dir.file("a.png"));
  EXPECT_EQ(list.peek(1, 2), dir.file("c.png"));
  EXPECT_EQ(list.peek(-1, 2), dir.file("b.png"));
  EXPECT_EQ(list.peek(1, 3), std::nullopt);
  // One entry: forwards is the entry itself, backwards nothing; a stale list answers nothing.
  for (const char* name : {"b.png", "c.png"}) std::remove(dir.file(name).c_str());
  list.markStale();
  EXPECT_EQ(list.peek(1), std::nullopt);
  list.refreshIfStale();
  EXPECT_EQ(list.peek(1), dir.file("a.png"));
  EXPECT_EQ(list.peek(-1), std::nullopt);
  // A pattern list given as a source is built when the folder is first read, not before.
  int asked = 0;
  FileList later(state, "", 1);
  later.setPatternSource([&asked] {
    ++asked;
    return std::string("*.png");
  });
  later.setCurrent(dir.file("a.png"));
  EXPECT_EQ(asked, 0);
  later.refreshIfStale();
  later.markStale();
  later.refreshIfStale();
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(later.count(), 1);
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

// Same size and colours, whatever the alpha bytes.
bool SameColours(const ImageBuffer& a, const ImageBuffer& b) {
  if (a.width() != b.width() || a.height() != b.height()) return false;
  for (int32_t y = 0; y < a.height(); ++y)
    for (int32_t x = 0; x < a.width(); ++x)
      if ((test::PixelAt(a, x, y) ^ test::PixelAt(b, x, y)) & 0xFFFFFFu) return false;
  return true;
}

// Photos larger than the screen: fitted in fullscreen, a step shows a preview first.
class Previews : public Neighbours {
 protected:
  Previews() {
    InstallMetadataReader(state);
    ports.screen.full = ScreenRect{0, 0, 320, 200};
    std::filesystem::create_directory(dir.file("photos"));
    for (int i = 1; i <= 3; ++i) {
      const std::string p = dir.file("photos/p" + std::to_string(i) + ".jpg");
      EXPECT_TRUE(test::WriteJpeg(p, Photo(1600, 1200, i), 6));
      photos.push_back(p);
    }
  }
  static ImageBuffer Photo(int32_t w, int32_t h, int seed) {
    return test::MakePicture(w, h, [seed](int32_t x, int32_t y) {
      return 0xFF000000u | (static_cast<uint32_t>((x / 7 + seed * 40) & 0xFF) << 16) |
             (static_cast<uint32_t>((y / 5) & 0xFF) << 8) | static_cast<uint32_t>(seed * 60);
    });
  }
  // What a plain load shows for `path` fitted in fullscreen: the display and the picture.
  std::pair<std::vector<uint8_t>, std::vector<uint8_t>> PlainFitted(const std::string& path) {
    view.context().prefetch = nullptr;
    const int32_t fullScreen = state.fullScreen;
    const float zoom = state.zoom;
    state.fullScreen = 1;
    state.zoom = kFitScreen;
    view.ForgetLoadedPath();
    view.OpenDocument(path);
    std::pair<std::vector<uint8_t>, std::vector<uint8_t>> out{Display(), Pixels()};
    state.fullScreen = fullScreen;
    state.zoom = zoom;
    view.context().prefetch = &loader;
    view.ForgetLoadedPath();
    return out;
  }
  std::vector<uint8_t> Pixels() {
    const ImageBuffer* img = view.currentImage();
    return img ? std::vector<uint8_t>(img->data(), img->data() + img->byteSize()) : std::vector<uint8_t>{};
  }
  // Starts on the first photo in a window, then fullscreen.
  void StartFullscreen() {
    Start(photos[0]);
    state.ToggleFullScreenWithFit();
    loader.WaitIdle();
  }
  // Shows `path` with a preview, whatever the worker has: as a step in fullscreen, or with
  // `partial` at original size in a window smaller than the picture.
  void OpenWithPreview(const std::string& path) {
    state.fullScreen = partial ? 0 : 1;
    state.zoom = partial ? 1.0f : kFitScreen;
    if (partial) ports.screen.available = ScreenRect{0, 0, 320, 200};
    view.OpenDocument(path);
    ASSERT_TRUE(view.showsPreview());
  }
  bool partial = false;
  // A window of 300 x 180 on a screen of 320 x 200, smaller than the photos: what a plain load
  // of `path` shows there at original size.
  std::vector<uint8_t> PlainAtOriginalSize(const std::string& path) {
    ports.screen.available = ScreenRect{0, 0, 320, 200};
    host.viewW = 300;
    host.viewH = 180;
    view.context().prefetch = nullptr;
    view.OpenDocument(path);
    std::vector<uint8_t> plain = Display();
    view.context().prefetch = &loader;
    return plain;
  }
  // Runs what the window's queue would: the posted commands of the view and the worker.
  void Pump() {
    while (!ports.post.queue.empty()) {
      const auto [command, argument] = ports.post.queue.front();
      ports.post.queue.pop_front();
      router->Dispatch(command, argument);
    }
  }
  std::vector<std::string> photos;
};

TEST_F(Previews, AStepShowsTheScreenSizePreviewAndTheExactPictureReplacesItInPlace) {
  const auto plain1 = PlainFitted(photos[1]), plain2 = PlainFitted(photos[2]);
  // 1 MiB holds previews but no exact picture: the view then loads that itself.
  settings.WriteNumber("PrefetchMemoryMB", 1);
  StartFullscreen();
  ports.post.queue.clear();
  router->Execute(kCmdNextFile);
  ASSERT_EQ(state.currentPath, photos[1]);
  ASSERT_TRUE(view.showsPreview());
  // The preview stands in place: the exact picture's size, zoom, panes and display size. The
  // photos are stored 1600 x 1200 with orientation 6: both show them upright, 1200 x 1600.
  EXPECT_EQ(view.pictureWidth(), 1200);
  EXPECT_EQ(host.panes[kPaneDimensions], DimensionsText(1200, 1600));
  EXPECT_FLOAT_EQ(state.zoom, 200.0f / 1600.0f);
  const std::vector<uint8_t> preview = Display();
  ASSERT_EQ(preview.size(), plain1.first.size());
  int64_t difference = 0;
  for (size_t i = 0; i < preview.size(); ++i) difference += std::abs(preview[i] - plain1.first[i]);
  EXPECT_LT(static_cast<double>(difference) / static_cast<double>(preview.size()), 6.0);
  // The worker made the neighbours' previews when the layout became fullscreen, and those of
  // the new neighbours after the step; the exact picture has no room.
  loader.WaitIdle();
  EXPECT_EQ(loader.counters().previews, 3);
  view.Painted();
  Pump();
  EXPECT_FALSE(view.showsPreview());
  // The final screen is what a plain load shows.
  EXPECT_EQ(Display(), plain1.first);
  EXPECT_EQ(Pixels(), plain1.second);
  EXPECT_EQ(state.exif.orientation, 6);
  // A held key: the next step shows the preview the worker made.
  router->Execute(kCmdNextFile);
  EXPECT_EQ(state.currentPath, photos[2]);
  EXPECT_TRUE(view.showsPreview());
  // With room, the worker decodes the exact picture and tells the view, which takes it.
  settings.WriteNumber("PrefetchMemoryMB", 512);
  const int32_t adopted = loader.counters().adopted;
  loader.Want(std::vector<PrefetchWish>{{photos[2], false}}, PrefetchBudgetBytes(512),
              view.PlanNextLayout(), photos[2]);
  loader.WaitIdle();
  view.Painted();
  Pump();
  EXPECT_FALSE(view.showsPreview());
  EXPECT_EQ(loader.counters().adopted, adopted + 1);
  EXPECT_EQ(Display(), plain2.first);
  EXPECT_EQ(Pixels(), plain2.second);
}

TEST_F(Previews, WhileStepsOutrunTheExactPicturesThePictureAfterTheNextGetsItsPreviewToo) {
  // A fourth photo, so that the picture after the next is not the one behind.
  photos.push_back(dir.file("photos/p4.jpg"));
  ASSERT_TRUE(test::WriteJpeg(photos.back(), Photo(1600, 1200, 4), 6));
  // 1 MiB holds previews but no exact picture, so every step shows a preview as when a held
  // key outruns the worker; with 512 MiB each step finds its exact picture, as with pauses.
  for (const int budget : {1, 512}) {
    SCOPED_TRACE(budget);
    const bool held = budget == 1;
    settings.WriteNumber("PrefetchMemoryMB", budget);
    list.markStale();
    StartFullscreen();
    router->Execute(kCmdNextFile);
    loader.WaitIdle();
    ASSERT_EQ(state.currentPath, photos[1]);
    EXPECT_EQ(view.showsPreview(), held);
    EXPECT_EQ(loader.TakePreview(photos[3], view.PlanNextLayout()).has_value(), held);
    // The next step finds its preview made, and the worker is again two pictures ahead.
    if (held) {
      router->Execute(kCmdNextFile);
      loader.WaitIdle();
      ASSERT_EQ(state.currentPath, photos[2]);
      EXPECT_TRUE(view.showsPreview());
      EXPECT_TRUE(loader.TakePreview(photos[0], view.PlanNextLayout()).has_value());
    }
    state.ToggleFullScreenWithFit();
  }
}

TEST_F(Previews, AtOriginalSizeOnlyThePartOnScreenIsDecodedFirstAndTheExactPictureReplacesIt) {
  settings.WriteNumber("PrefetchMemoryMB", 1);  // the view loads the exact picture itself
  const std::vector<uint8_t> plain = PlainAtOriginalSize(photos[1]);
  ASSERT_EQ(view.shownWidth(), 1200);  // upright
  const size_t stride = static_cast<size_t>(view.displayWidth()) * 3;
  // Scrolled to the top, into the picture, and past its end (kept within it).
  struct Case {
    ScrollPoint at;
    OrientedRect part;
  };
  for (const Case& k : {Case{{0, 0}, {0, 0, 320, 200}}, Case{{517, 1333}, {517, 1333, 837, 1533}},
                        Case{{5000, 5000}, {880, 1400, 1200, 1600}}}) {
    SCOPED_TRACE(std::to_string(k.at.x) + "," + std::to_string(k.at.y));
    host.pos = k.at;
    view.ForgetLoadedPath();
    view.OpenDocument(photos[1]);
    ASSERT_TRUE(view.showsPreview());
    // Laid out again before its paint, it shows the same part.
    const std::vector<uint8_t> part = Display();
    state.Refresh();
    ASSERT_TRUE(view.showsPreview());
    ASSERT_EQ(Display(), part);
    // The whole picture's size, panes and scroll extent; only the part on screen decoded, laid
    // where it belongs, with the pixels of the exact picture there.
    EXPECT_EQ(view.pictureHeight(), 1600);
    EXPECT_EQ(host.panes[kPaneDimensions], DimensionsText(1200, 1600));
    EXPECT_EQ(host.extentW, 1200);
    EXPECT_EQ(host.extentH, 1600);
    const DisplayBitmap* d = view.displayBitmap();
    ASSERT_EQ(d->scaledWidth, k.part.right - k.part.left);
    ASSERT_EQ(d->height, k.part.bottom - k.part.top);
    const PaintLayout layout = view.Paint(300, 180);
    EXPECT_EQ(layout.bitmapX, k.part.left);
    EXPECT_EQ(layout.bitmapY, k.part.top);
    int32_t wrong = 0;
    for (int32_t y = 0; y < d->height; ++y)
      wrong += std::memcmp(d->bits.data() + d->stride() * y,
                           plain.data() + stride * (k.part.top + y) + size_t(k.part.left) * 3,
                           size_t(d->scaledWidth) * 3) != 0;
    EXPECT_EQ(wrong, 0);
    // Scrolled within the part nothing more is needed; beyond it, the whole picture is.
    EXPECT_TRUE(view.PreviewCovers(host.pos.x, host.pos.y, 300, 180));
    EXPECT_FALSE(view.PreviewCovers(300, 700, 300, 180));
    view.Painted();
    Pump();
    EXPECT_FALSE(view.showsPreview());
    EXPECT_EQ(Display(), plain);
    EXPECT_EQ(view.Paint(300, 180).bitmapX, 0);
  }
  // As at the start: the worker made the part for a larger screen before the window existed.
  // It serves a view that lies within it; one scrolled beyond it, or in other colours, is
  // decoded by the view itself.
  DisplayPlan early;
  early.areaWidth = 640;
  early.areaHeight = 400;
  for (const ScrollPoint at : {ScrollPoint{0, 0}, ScrollPoint{400, 300}}) {
    for (const bool managed : {true, false}) {
      settings.WriteText("ColourManagement", managed ? "true" : "false");
      loader.Want(std::vector<PrefetchWish>{{photos[1], true}}, PrefetchBudgetBytes(512), early);
      loader.WaitIdle();
      host.pos = at;
      view.ForgetLoadedPath();
      view.OpenDocument(photos[1]);
      ASSERT_TRUE(view.showsPreview());
      const bool served = at.x == 0 && managed;
      EXPECT_EQ(view.displayBitmap()->scaledWidth, served ? 640 : 320) << at.x << " " << managed;
      Pump();
      view.EnsureExact();
      EXPECT_EQ(Display(), plain);
    }
  }
  settings.WriteText("ColourManagement", "true");
  // The part of the picture on show is handed over without a copy. Its wish stays met, so it
  // is not decoded again, and a later look for it finds no empty part to show.
  loader.Want(std::vector<PrefetchWish>{{photos[1], true}}, PrefetchBudgetBytes(512), early,
              photos[1]);
  loader.WaitIdle();
  const int64_t made = loader.counters().previews;
  host.pos = ScrollPoint{0, 0};
  for (const int32_t width : {640, 320}) {
    view.ForgetLoadedPath();
    view.OpenDocument(photos[1]);
    ASSERT_TRUE(view.showsPreview());
    EXPECT_EQ(view.displayBitmap()->scaledWidth, width);
    loader.WaitIdle();
    EXPECT_EQ(loader.counters().previews, made);
  }
  Pump();
  view.EnsureExact();
  EXPECT_EQ(Display(), plain);
}

TEST_F(Previews, AtOriginalSizeTheWorkerMakesTheNeighboursPartsOnScreenFirst) {
  const std::vector<uint8_t> plain = PlainAtOriginalSize(photos[1]);
  view.ForgetLoadedPath();
  // 1 MiB holds the parts but no exact picture.
  settings.WriteNumber("PrefetchMemoryMB", 1);
  Start(photos[0]);
  EXPECT_EQ(loader.counters().previews, 2);  // the next photo and the one behind
  ports.post.queue.clear();
  router->Execute(kCmdNextFile);
  ASSERT_EQ(state.currentPath, photos[1]);
  ASSERT_TRUE(view.showsPreview());
  EXPECT_EQ(view.displayBitmap()->scaledWidth, 320);
  EXPECT_EQ(view.pictureHeight(), 1600);
  view.Painted();
  Pump();
  EXPECT_FALSE(view.showsPreview());
  EXPECT_EQ(Display(), plain);
}

TEST_F(Previews, ThePreviewNeverReachesAnEditASaveTheClipboardOrTheProperties) {
  for (bool part : {false, true}) {
    SCOPED_TRACE(part ? "the part on screen at original size" : "fitted at screen size");
    partial = part;
    settings.WriteNumber("PrefetchMemoryMB", 1);
    const auto plain = PlainFitted(photos[1]);
    StartFullscreen();
    ImageBuffer exact;
    {
      LoadContext lc{state, &settings, nullptr};
      exact = *LoadPictureFile(photos[1], lc);
    }
    ASSERT_EQ(exact.width(), 1200);  // upright
    // Each command meets a fresh preview and must act on the whole picture.
    OpenWithPreview(photos[1]);
    router->Execute(cmd::kNegative);
    EXPECT_FALSE(view.showsPreview());
    ASSERT_EQ(view.pictureWidth(), 1200);
    EXPECT_EQ(test::PixelAt(view.picture(), 700, 500) & 0xFFFFFFu,
              ~test::PixelAt(exact, 700, 500) & 0xFFFFFFu);
    OpenWithPreview(photos[0]);
    OpenWithPreview(photos[1]);
    router->Execute(cmd::kCopy);
    ASSERT_TRUE(ports.clipboard.image);
    EXPECT_EQ(ports.clipboard.image->width(), 1200);
    EXPECT_TRUE(SameColours(*ports.clipboard.image, exact));
    OpenWithPreview(photos[0]);
    OpenWithPreview(photos[1]);
    const std::string saved = dir.file("saved.webp");
    ports.fileDialogs.answers.push_back(FileDialogResult{{saved}, 2});  // lossless WebP
    router->Execute(kCmdSaveAs);
    {
      LoadContext lc{state, &settings, nullptr};
      std::optional<ImageBuffer> back = LoadPictureFile(saved, lc);
      ASSERT_TRUE(back);
      ASSERT_EQ(back->width(), 1200);
      EXPECT_TRUE(SameColours(*back, exact));
    }
    OpenWithPreview(photos[0]);
    OpenWithPreview(photos[1]);
    EXPECT_EQ(state.exif.isExif, 0);  // read with the exact picture
    router->Execute(kCmdProperties);
    EXPECT_FALSE(view.showsPreview());
    EXPECT_EQ(state.exif.orientation, 6);
    // Zooming in and scrolling need the picture too; the wait cursor came and went each time.
    OpenWithPreview(photos[0]);
    OpenWithPreview(photos[1]);
    router->Execute(kCmdZoomIn);
    EXPECT_FALSE(view.showsPreview());
    OpenWithPreview(photos[0]);
    OpenWithPreview(photos[1]);
    router->Execute(kCmdScrollDown);
    EXPECT_FALSE(view.showsPreview());
    EXPECT_EQ(ports.cursor.waitDepth, 0);
    // Stepping on needs nothing of the picture: it does not wait for it.
    OpenWithPreview(photos[0]);
    router->Execute(kCmdNextFile);
    EXPECT_EQ(state.currentPath, photos[1]);
    EXPECT_TRUE(view.showsPreview());
    EXPECT_EQ(Pixels(), plain.second);  // and asked for its pixels, it has the exact ones
  }
}

TEST_F(Previews, AFileChangedOnDiskBetweenThePreviewAndTheExactDecodeIsReadAgain) {
  settings.WriteNumber("PrefetchMemoryMB", 1);  // no exact picture decoded ahead
  const ImageBuffer changed = Photo(1200, 1600, 9);
  for (bool decodedFirst : {false, true}) {
    SCOPED_TRACE(decodedFirst ? "exact decoded, then changed" : "changed, then decoded");
    ASSERT_TRUE(test::WriteJpeg(photos[1], Photo(1600, 1200, 2), 6));
    StartFullscreen();
    OpenWithPreview(photos[1]);
    if (decodedFirst) {
      loader.Want(std::vector<PrefetchWish>{{photos[1], false}}, PrefetchBudgetBytes(512),
                  view.PlanNextLayout(), photos[1]);
      loader.WaitIdle();
      ASSERT_TRUE(loader.ExactReady(photos[1]));
    }
    ASSERT_TRUE(test::WriteJpeg(photos[1], changed));
    struct timespec times[2] = {{0, UTIME_OMIT}, {1700000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, photos[1].c_str(), times, 0), 0);
    if (!decodedFirst) {
      loader.Want(std::vector<PrefetchWish>{{photos[1], false}}, PrefetchBudgetBytes(512),
                  view.PlanNextLayout(), photos[1]);
      loader.WaitIdle();
    }
    view.Painted();
    Pump();
    EXPECT_FALSE(view.showsPreview());
    EXPECT_EQ(view.pictureWidth(), 1200);
    EXPECT_EQ(view.pictureHeight(), 1600);
    EXPECT_EQ(state.exif.isExif, 0);  // the new file has no camera data
    EXPECT_NEAR(static_cast<int>(test::PixelAt(view.picture(), 0, 0) & 0xFF), 9 * 60 & 0xFF, 6);
    state.ToggleFullScreenWithFit();
  }
}

}  // namespace
}  // namespace qp
