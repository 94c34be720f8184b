#include "view/prefetch.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <functional>

#include "codecs/ico.h"
#include "codecs/qoi.h"
#include "codecs/webp.h"
#include "metadata/exif.h"
#include "support/jpeg_builder.h"
#include "support/view_fixture.h"
#include "view/show_trace.h"

namespace qp {
namespace {

// Everything a load leaves in the view and the state that a user or a later command can see.
struct Shown {
  std::vector<uint8_t> pixels;
  int32_t width = 0, height = 0;
  int64_t fileSize = 0;
  int32_t sniffCode = 0;
  bool placeholder = false;
  std::vector<int32_t> details;
  std::string gifVersion;
  std::vector<uint8_t> exif;
  float zoom = 0;
  std::vector<uint8_t> display;
  int32_t displayWidth = 0, displayHeight = 0;
  std::string colour;
  bool operator==(const Shown&) const = default;
};

Shown Capture(CImgViewerView& view, const ViewerState& s) {
  Shown out;
  if (const uint8_t* p = view.pixels())
    out.pixels.assign(p, p + size_t{4} * view.pictureWidth() * view.pictureHeight());
  out.width = view.pictureWidth();
  out.height = view.pictureHeight();
  out.fileSize = view.fileSize();
  out.sniffCode = view.sniffCode();
  out.placeholder = view.isPlaceholder();
  out.details = {s.detailsValid,     s.hasAlpha,       s.vectorSource,  s.jpegColourSpace,
                 s.jpegProgressive,  s.gifBitDepth,    s.webpHasAlpha,  s.webpLossless,
                 s.videoAudioStream, s.videoFrameRate, s.pngColourType, s.pngBitDepth};
  out.gifVersion.assign(s.gifVersion, sizeof s.gifVersion);
  const auto* e = reinterpret_cast<const uint8_t*>(&s.exif);
  out.exif.assign(e, e + sizeof s.exif);
  out.zoom = s.zoom;
  if (const DisplayBitmap* d = view.displayBitmap()) out.display = d->bits;
  out.displayWidth = view.displayWidth();
  out.displayHeight = view.displayHeight();
  out.colour = ColourSpaceName(s.colourProfile.get());
  return out;
}

// A picture with detail in every channel, so a wrong pixel cannot hide.
ImageBuffer Gradient(int32_t w, int32_t h, bool alpha) {
  return test::MakePicture(w, h, [alpha](int32_t x, int32_t y) {
    const uint32_t a = alpha ? static_cast<uint32_t>((x * 9 + y) & 0xFF) : 0xFFu;
    return (a << 24) | (static_cast<uint32_t>(x * 5 & 0xFF) << 16) |
           (static_cast<uint32_t>(y * 3 & 0xFF) << 8) | static_cast<uint32_t>((x + y) & 0xFF);
  });
}

class Prefetch : public test::ViewFixture {
 protected:
  Prefetch() : loader(MetadataReaderOf()) {
    InstallMetadataReader(state);
    // A screen the fit divides; 400 x 300 pictures shrink into it.
    ports.screen.full = ScreenRect{0, 0, 320, 200};
    ports.screen.available = ScreenRect{0, 0, 320, 180};
    view.context().prefetch = &loader;
  }
  static ViewerState::MetadataReader MetadataReaderOf() {
    ViewerState s;
    InstallMetadataReader(s);
    return s.metadataReader();
  }
  // Opens `path` as a step does: in fullscreen the step fits the picture.
  void Open(const std::string& path) {
    if (state.fullScreen) state.zoom = kFitScreen;
    view.OpenDocument(path);
  }
  // Shows `path` with the loader out of the way: a plain load.
  Shown FreshLoad(const std::string& path) {
    view.context().prefetch = nullptr;
    Open(path);
    Shown out = Capture(view, state);
    view.context().prefetch = &loader;
    return out;
  }
  // Shows `other`, has `path` decoded ahead, then steps to it.
  Shown PrefetchedLoad(const std::string& path, const std::string& other) {
    FreshLoad(other);
    loader.Want({path}, PrefetchBudgetBytes(64), view.PlanNextLayout());
    loader.WaitIdle();
    Open(path);
    return Capture(view, state);
  }

  PrefetchLoader loader;
};

TEST_F(Prefetch, AStepToAPrefetchedPictureShowsWhatAFreshLoadShows) {
  struct Case {
    const char* name;
    std::function<void(const std::string&)> write;
  };
  const ImageBuffer opaque = Gradient(400, 300, false), alpha = Gradient(400, 300, true);
  const ColourProfilePtr wide = ColourProfile::FromCicp({9, 13, 0, true});
  ASSERT_NE(wide, nullptr);
  const std::vector<Case> cases = {
      {"photo.jpg", [&](const std::string& p) { ASSERT_TRUE(test::WriteJpeg(p, opaque, 6)); }},
      // A JPEG by content under another name: the content's decoder and metadata.
      {"named.png", [&](const std::string& p) { ASSERT_TRUE(test::WriteJpeg(p, opaque, 3)); }},
      {"alpha.png",
       [&](const std::string& p) {
         ASSERT_EQ(SavePng(alpha.data(), 400, 300, 100, p.c_str()), nullptr);
       }},
      {"lossy.webp",
       [&](const std::string& p) {
         ASSERT_EQ(EncodeWebP(alpha.data(), 400, 300, 80, p.c_str(), true), nullptr);
       }},
      // Tagged pictures: the worker converts their display bitmaps to the screen's colours.
      {"tagged.jpg",
       [&](const std::string& p) {
         ASSERT_EQ(SaveJpeg(opaque.data(), 400, 300, 90, p.c_str(), wide->icc()), nullptr);
       }},
      {"tagged.webp",
       [&](const std::string& p) {
         ASSERT_EQ(EncodeWebP(alpha.data(), 400, 300, 100, p.c_str(), true, wide->icc()), nullptr);
       }},
      {"still.qoi",
       [&](const std::string& p) {
         ASSERT_EQ(writeQoi(alpha.data(), 400, 300, p.c_str()), nullptr);
       }},
      {"small.ico",
       [&](const std::string& p) {
         const ImageBuffer icon = Gradient(32, 32, true);
         ASSERT_EQ(writeIcon(icon.data(), 32, 32, p.c_str()), nullptr);
       }},
  };
  // The picture shown before has other details, so every field must be written by the step.
  const std::string other = dir.file("other.webp");
  ASSERT_EQ(EncodeWebP(opaque.data(), 400, 300, 100, other.c_str(), false), nullptr);
  const std::string otherJpeg = dir.file("other.jpg");
  ASSERT_TRUE(test::WriteJpeg(otherJpeg, opaque, 8));

  for (bool fullScreen : {false, true}) {
    state.fullScreen = fullScreen ? 1 : 0;
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (fullScreen ? " fullscreen" : " window"));
      const std::string path = dir.file(c.name);
      c.write(path);
      // The fields of other formats stay as the picture before left them, so both loads
      // follow the same picture.
      const std::string before = path.ends_with(".jpg") ? other : otherJpeg;
      FreshLoad(before);
      const Shown fresh = FreshLoad(path);
      const int32_t adoptedBefore = loader.counters().adopted;
      const Shown ahead = PrefetchedLoad(path, before);
      EXPECT_EQ(loader.counters().adopted, adoptedBefore + 1);
      EXPECT_FALSE(fresh.pixels.empty());
      EXPECT_TRUE(fresh == ahead);
      EXPECT_EQ(fresh.details, ahead.details);
      EXPECT_EQ(fresh.exif, ahead.exif);
      EXPECT_EQ(fresh.display, ahead.display);
      // A second layout before the paint shows the same bitmap the worker made.
      state.Refresh();
      EXPECT_EQ(Capture(view, state).display, ahead.display);
      if (std::string(c.name).starts_with("tagged")) {
        EXPECT_EQ(ahead.colour, wide->description());
        // Unscaled in the window: the bitmap is not the stored numbers, it was converted.
        if (!fullScreen) {
          const auto plain = MakeDisplayBitmap(ahead.pixels.data(), ahead.width, ahead.height);
          ASSERT_TRUE(plain.has_value());
          EXPECT_NE(plain->bits, ahead.display);
        }
      }
    }
  }
  // The JPEG's metadata was read ahead too.
  FreshLoad(otherJpeg);
  PrefetchedLoad(dir.file("photo.jpg"), other);
  EXPECT_EQ(state.exif.orientation, 6);
  EXPECT_EQ(state.exif.isExif, 1);
}

TEST_F(Prefetch, AFileChangedOnDiskSinceItWasDecodedIsLoadedAgain) {
  const std::string path = dir.file("a.png");
  const std::string other = WritePng("b.png", 8, 8, 0xFF000000);
  for (bool sameSize : {false, true}) {
    SCOPED_TRACE(sameSize ? "same size, new time" : "new size");
    WritePng("a.png", 16, 16, 0xFF112233);
    view.OpenDocument(other);
    loader.Want({path}, PrefetchBudgetBytes(16));
    loader.WaitIdle();
    // Rewritten: another colour, and for the first round another size.
    WritePng("a.png", sameSize ? 16 : 20, 16, 0xFF445566);
    if (sameSize) {
      struct timespec times[2] = {{0, UTIME_OMIT}, {1700000000, 0}};
      ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }
    const int32_t changed = loader.counters().changed;
    view.OpenDocument(path);
    EXPECT_EQ(loader.counters().changed, changed + 1);
    EXPECT_EQ(view.pictureWidth(), sameSize ? 16 : 20);
    EXPECT_EQ(test::PixelAt(view.picture(), 0, 0) & 0xFFFFFFu, 0x445566u);
  }
}

TEST_F(Prefetch, FilesThatNeedTheUserInterfaceThreadAreLeftToTheLoad) {
  const std::string svg = dir.file("a.svg"), gif = dir.file("a.gif"), empty = dir.file("e.png");
  test::WriteBytes(svg, {'<', 's', 'v', 'g', '/', '>'});
  // A 1 x 1 GIF: header, screen, no palette, image, one LZW code block, trailer.
  test::WriteBytes(gif, {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0,    0,    0, 0x2C, 0,
                         0,   0,   0,   1,   0,   1,   0, 0, 2, 2, 0x44, 0x01, 0, 0x3B});
  test::WriteBytes(empty, {});
  const std::string unknown = dir.file("a.xyz");
  test::WriteBytes(unknown, {1, 2, 3, 4, 5, 6, 7, 8, 9});
  const std::string broken = dir.file("broken.jpg");
  test::WriteBytes(broken, {0xFF, 0xD8, 0xFF, 0xE0, 0, 0, 0, 0, 0});
  loader.Want({svg, gif, empty, unknown, broken, dir.file("missing.png")}, PrefetchBudgetBytes(16));
  loader.WaitIdle();
  EXPECT_EQ(loader.counters().decoded, 0);
  EXPECT_EQ(loader.counters().declined, 6);
  for (const std::string& p : {svg, gif, unknown, broken}) EXPECT_FALSE(loader.Take(p)) << p;
}

TEST_F(Prefetch, PicturesNoLongerWantedOrOverTheBudgetAreDropped) {
  const std::string a = WritePng("a.png", 64, 64), b = WritePng("b.png", 64, 64),
                    c = WritePng("c.png", 64, 64);
  loader.Want({a, b}, PrefetchBudgetBytes(1));
  loader.WaitIdle();
  EXPECT_EQ(loader.counters().decoded, 2);
  // The user went elsewhere: a and b go, c comes.
  loader.Want({c}, PrefetchBudgetBytes(1));
  loader.WaitIdle();
  EXPECT_EQ(loader.counters().dropped, 2);
  EXPECT_FALSE(loader.Take(a));
  EXPECT_TRUE(loader.Take(c));
  // A budget of one picture and its display bitmap keeps the first wish only.
  const int64_t one = 64 * 64 * 4 + 64 * 64 * 3;
  loader.Want({a, b}, one, view.PlanNextLayout());
  loader.WaitIdle();
  EXPECT_TRUE(loader.Take(a));
  EXPECT_FALSE(loader.Take(b));
  // Turned off: nothing kept, nothing decoded.
  loader.Want({a, b}, PrefetchBudgetBytes(64));
  loader.WaitIdle();
  const int32_t decoded = loader.counters().decoded;
  loader.Want({a, b}, PrefetchBudgetBytes(0));
  loader.WaitIdle();
  EXPECT_FALSE(loader.Take(a));
  EXPECT_EQ(loader.counters().decoded, decoded);
}

TEST_F(Prefetch, EnteringFullscreenRemakesTheDisplayBitmapsOfPicturesDecodedAhead) {
  const std::string a = WritePng("a.png", 400, 300), b = WritePng("b.png", 400, 300);
  const Shown fresh = [&] {
    state.fullScreen = 1;
    Shown out = FreshLoad(b);
    state.fullScreen = 0;
    return out;
  }();
  FreshLoad(a);
  // Decoded for the window, at original size.
  loader.Want({b}, PrefetchBudgetBytes(64), view.PlanNextLayout(), a);
  loader.WaitIdle();
  state.SendViewCommand(kCmdToggleFullScreen, 0);
  ASSERT_TRUE(state.fullScreen);
  loader.WaitIdle();
  // The step in fullscreen finds the bitmap made for the fitted layout.
  std::optional<PrefetchedPicture> p = loader.Take(b);
  ASSERT_TRUE(p && p->display);
  const DisplayPlan plan = view.PlanNextLayout();
  float zoom = 0;
  const std::optional<DisplayBitmap> expected =
      PlannedDisplay(*p->load.picture.owned(), plan, zoom);
  ASSERT_TRUE(expected);
  EXPECT_LT(zoom, 1.0f);
  EXPECT_EQ(p->displayZoom, zoom);
  EXPECT_EQ(p->display->width, expected->width);
  EXPECT_EQ(p->display->bits, expected->bits);
  // And what is shown is what a fresh load shows.
  loader.Want({b}, PrefetchBudgetBytes(64), plan, a);
  loader.WaitIdle();
  Open(b);
  EXPECT_EQ(Capture(view, state), fresh);
}

// The first picture waits only for its part on screen when that part is decoded alone: a large
// JPEG at original size, judged upright from the header.
TEST_F(Prefetch, TheFirstPictureWaitsForItsPartOnScreenOnlyWhenThatPartComesFirst) {
  const ImageBuffer wide = Gradient(1000, 100, false);
  const std::string plain = dir.file("plain.jpg"), turned = dir.file("turned.jpg");
  ASSERT_TRUE(test::WriteJpeg(plain, wide));
  ASSERT_TRUE(test::WriteJpeg(turned, wide, 6));  // upright 100 x 1000
  const std::string png = WritePng("wide.png", 1000, 100);
  struct Case {
    const char* name;
    const std::string& path;
    float zoom;
    int32_t areaWidth, areaHeight;
    bool autoOrient, expected;
  };
  const Case cases[] = {
      {"a tenth on screen", plain, 1.0f, 100, 100, true, true},
      {"more than half on screen", plain, 1.0f, 600, 100, true, false},
      {"fitted", plain, kFitScreen, 100, 100, true, false},
      {"not a JPEG", png, 1.0f, 100, 100, true, false},
      // 1000 x 100 of area shows all of the stored picture, a tenth of the upright one.
      {"upright by its orientation", turned, 1.0f, 1000, 100, true, true},
      {"orientation ignored", turned, 1.0f, 1000, 100, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DisplayPlan plan;
    plan.zoom = c.zoom;
    plan.areaWidth = c.areaWidth;
    plan.areaHeight = c.areaHeight;
    plan.autoOrient = c.autoOrient;
    EXPECT_EQ(VisiblePartComesFirst(c.path, plan), c.expected);
    // What the header promised, the decode gives.
    if (c.expected) {
      const std::optional<PreviewPicture> part = DecodePreview(c.path, plan);
      ASSERT_TRUE(part.has_value());
      EXPECT_TRUE(part->partial);
    }
  }
}

TEST_F(Prefetch, AReloadReadsTheFileAgain) {
  const std::string a = WritePng("a.png", 8, 8, 0xFF0000FF);
  view.OpenDocument(a);
  loader.Want({a}, PrefetchBudgetBytes(16));
  loader.WaitIdle();
  state.SendViewCommand(kCmdReload, 0);
  EXPECT_EQ(loader.counters().adopted, 0);
  EXPECT_EQ(loader.counters().dropped, 1);
}

TEST(ShowTraceLines, OneLinePerShownPictureFromTheCommandsArrival) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  const ShowTrace::Clock::time_point start{};
  using std::chrono::milliseconds;
  ShowTrace trace(start, out);
  trace.PictureLoaded("/p/first.jpg");  // the first picture counts from the start
  trace.PaintedAt(start + milliseconds(250));
  trace.PaintedAt(start + milliseconds(300));  // a repaint shows nothing new
  trace.CommandArrivedAt(start + milliseconds(1000));
  trace.PictureLoaded("/p/a b.jpg");
  trace.CommandArrivedAt(start + milliseconds(1010));  // arrives after the load: not its command
  trace.PaintedAt(start + milliseconds(1042));
  std::rewind(out);
  char text[256] = {};
  const size_t n = std::fread(text, 1, sizeof text - 1, out);
  std::fclose(out);
  EXPECT_EQ(std::string(text, n), "trace: shown 250 /p/first.jpg\ntrace: shown 42 /p/a b.jpg\n");
}

TEST(ShowTraceLines, AnInputEventCountsFromItsOwnTimeStamp) {
  using std::chrono::milliseconds;
  using Clock = EventTimeMapper::Clock;
  const auto at = [](int64_t ms) { return Clock::time_point(milliseconds(ms)); };
  {
    // The window system stamps with the steady clock: a key that waited 180 ms in the queue
    // counts from its stamp, also where the 32-bit stamp has wrapped.
    EventTimeMapper m;
    EXPECT_EQ(m.Map(5'000'000 - 180, at(5'000'000)), at(5'000'000 - 180));
    const int64_t wrapped = (int64_t{1} << 32) + 50;
    EXPECT_EQ(m.Map((uint64_t{1} << 32) - 100, at(wrapped)), at(wrapped - 150));
    EXPECT_EQ(m.Map(0, at(7000)), at(7000));  // no stamp: taken now
  }
  {
    // Another clock: the quickest event seen sets the offset, later ones count their wait.
    EventTimeMapper m;
    EXPECT_EQ(m.Map(100, at(900'000)), at(900'000));
    EXPECT_EQ(m.Map(1100, at(901'300)), at(901'000));
    EXPECT_EQ(m.Map(2000, at(901'850)), at(901'850));  // quicker still: the new offset
    EXPECT_EQ(m.Map(2500, at(902'450)), at(902'350));
  }
  // The trace line of a queued key holds its wait in the queue.
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  ShowTrace trace(Clock::now(), out);
  const int64_t nowMs =
      std::chrono::duration_cast<milliseconds>(Clock::now().time_since_epoch()).count();
  trace.InputArrived(static_cast<uint64_t>(nowMs - 400));
  trace.PictureLoaded("/p/q.jpg");
  trace.Painted();
  std::rewind(out);
  char text[128] = {};
  const size_t n = std::fread(text, 1, sizeof text - 1, out);
  std::fclose(out);
  int ms = 0;
  ASSERT_EQ(std::sscanf(std::string(text, n).c_str(), "trace: shown %d", &ms), 1);
  EXPECT_GE(ms, 400);
  EXPECT_LT(ms, 60'000);
  // The program's start comes from the kernel's record: before now, not long before.
  const Clock::time_point now = Clock::now();
  const Clock::time_point start = ShowTrace::ProcessStart(now);
  EXPECT_LE(start, now);
  EXPECT_LT(now - start, std::chrono::hours(1));
}

}  // namespace
}  // namespace qp
