#include "codecs/gif.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace qp {
namespace {

using test::PutU16le;

// Packs LZW codes least significant bit first into sub-blocks of up to 255 bytes.
struct BitPacker {
  std::vector<uint8_t> bytes;
  uint32_t acc = 0;
  int bits = 0;
  void put(uint32_t code, int width) {
    acc |= code << bits;
    bits += width;
    while (bits >= 8) {
      bytes.push_back(static_cast<uint8_t>(acc));
      acc >>= 8;
      bits -= 8;
    }
  }
  std::vector<uint8_t> blocks() {
    if (bits > 0) bytes.push_back(static_cast<uint8_t>(acc));
    bits = 0;
    std::vector<uint8_t> out;
    for (size_t i = 0; i < bytes.size(); i += 255) {
      const size_t n = std::min<size_t>(255, bytes.size() - i);
      out.push_back(static_cast<uint8_t>(n));
      out.insert(out.end(), bytes.begin() + static_cast<long>(i),
                 bytes.begin() + static_cast<long>(i + n));
    }
    return out;
  }
};

// LZW data of literal codes only (a valid stream: the decoder adds an entry per code and the
// code width grows as it would for any encoder). Ends with an end code unless told not to.
std::vector<uint8_t> Lzw(const std::vector<uint8_t>& idx, int minCode = 2, bool endCode = true,
                         bool terminator = true) {
  BitPacker p;
  const uint32_t clear = 1u << minCode;
  int width = minCode + 1;
  uint32_t next = clear + 2;
  p.put(clear, width);
  for (size_t i = 0; i < idx.size(); ++i) {
    p.put(idx[i], width);
    if (i > 0 && next < 4096) {
      ++next;
      if (next == (1u << width) && width < 12) ++width;
    }
  }
  if (endCode) p.put(clear + 1, width);
  std::vector<uint8_t> out{static_cast<uint8_t>(minCode)};
  auto b = p.blocks();
  out.insert(out.end(), b.begin(), b.end());
  if (terminator) out.push_back(0);
  return out;
}

// A 4-colour GIF89a with logical screen w x h and a global table black, red, green, blue.
std::vector<uint8_t> Header(uint16_t w, uint16_t h, uint8_t bg = 0) {
  std::vector<uint8_t> g{'G', 'I', 'F', '8', '9', 'a'};
  PutU16le(g, w);  // screen width
  PutU16le(g, h);  // screen height
  g.push_back(0x91);  // global table, colour resolution 2 (bits 6-4 = 1), 4 entries
  g.push_back(bg);    // background index
  g.push_back(0);     // aspect
  for (uint8_t c : {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255}) g.push_back(c);
  return g;
}

// Graphic control: disposal, transparency flag, delay (hundredths), transparent index.
void Control(std::vector<uint8_t>& g, int disposal, bool transparent, uint16_t delay,
             uint8_t index) {
  g.insert(g.end(), {0x21, 0xF9, 4});
  g.push_back(static_cast<uint8_t>(disposal << 2 | (transparent ? 1 : 0)));
  PutU16le(g, delay);
  g.push_back(index);
  g.push_back(0);  // terminator
}

// Image descriptor without local table, then its LZW data.
void Image(std::vector<uint8_t>& g, uint16_t x, uint16_t y, uint16_t w, uint16_t h,
           const std::vector<uint8_t>& data) {
  g.push_back(0x2C);
  PutU16le(g, x);
  PutU16le(g, y);
  PutU16le(g, w);
  PutU16le(g, h);
  g.push_back(0);  // no local table, not interlaced
  g.insert(g.end(), data.begin(), data.end());
}

// LZW data from explicit codes of the given widths (for streams no encoder would write).
std::vector<uint8_t> Codes(std::initializer_list<std::pair<uint32_t, int>> codes, int minCode = 2) {
  BitPacker p;
  for (const auto& [code, width] : codes) p.put(code, width);
  std::vector<uint8_t> out{static_cast<uint8_t>(minCode)};
  auto b = p.blocks();
  out.insert(out.end(), b.begin(), b.end());
  out.push_back(0);
  return out;
}

std::vector<uint8_t> Fill(size_t n, uint8_t v) { return std::vector<uint8_t>(n, v); }

constexpr uint32_t kBlack = 0xFF000000, kRed = 0xFFFF0000, kGreen = 0xFF00FF00,
                   kBlue = 0xFF0000FF;

struct Loaded {
  ViewerState state;
  test::TempDir dir;
  std::string path;
  explicit Loaded(const std::vector<uint8_t>& bytes) : path(dir.file("a.gif")) {
    test::WriteBytes(path, bytes);
  }
  // Pixel word of the last result.
  static uint32_t At(const DecodeResult& r, int x, int y) {
    return LoadPixel(r.pixels() + (static_cast<size_t>(y) * r.width() + x) * 4);
  }
};

TEST(Gif, StillPictureAndDetails) {
  auto g = Header(2, 2);
  Image(g, 0, 0, 2, 2, Lzw({1, 2, 3, 0}));
  g.push_back(0x3B);
  Loaded l(g);
  DecodeResult r = loadGif(l.path, l.state, true);
  ASSERT_TRUE(r.isOwned());
  EXPECT_EQ(r.width(), 2);
  EXPECT_EQ(Loaded::At(r, 0, 0), kRed);
  EXPECT_EQ(Loaded::At(r, 1, 0), kGreen);
  EXPECT_EQ(Loaded::At(r, 0, 1), kBlue);
  EXPECT_EQ(Loaded::At(r, 1, 1), kBlack);
  EXPECT_STREQ(r.details.gifVersion, "89a");
  EXPECT_EQ(r.details.gifBitDepth, 2);
  EXPECT_TRUE(r.details.detailsValid);
  EXPECT_FALSE(r.details.hasAlpha);
  EXPECT_EQ(l.state.animating, 0);
}

TEST(Gif, StillTransparentIsWhiteAndSetsAlpha) {
  auto g = Header(2, 1);
  Control(g, 0, true, 0, 1);  // index 1 transparent
  Image(g, 0, 0, 2, 1, Lzw({1, 2}));
  g.push_back(0x3B);
  Loaded l(g);
  DecodeResult r = loadGif(l.path, l.state, false);
  ASSERT_TRUE(r);
  EXPECT_EQ(Loaded::At(r, 0, 0), 0x00FFFFFFu);
  EXPECT_EQ(Loaded::At(r, 1, 0), kGreen);
  EXPECT_TRUE(r.details.hasAlpha);
}

TEST(Gif, DelaysLoopsAndComments) {
  GifDecoder d;
  auto g = Header(1, 1);
  // Application extension: 11-byte identifier, sub-block id 1, loop count 3.
  g.insert(g.end(), {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0',
                     3, 1, 3, 0, 0});
  g.insert(g.end(), {0x21, 0xFE, 3, 'o', 'n', 'e', 0});  // first comment
  g.insert(g.end(), {0x21, 0xFE, 3, 't', 'w', 'o', 2, 'x', 'y', 0});  // second comment
  for (uint16_t delay : {0, 1, 2}) {
    Control(g, 0, false, delay, 0);
    Image(g, 0, 0, 1, 1, Lzw({1}));
  }
  Image(g, 0, 0, 1, 1, Lzw({2}));  // no control: default delay
  g.push_back(0x3B);
  ASSERT_TRUE(d.openBytes(g));
  EXPECT_EQ(d.frameCount(), 4u);
  EXPECT_EQ(d.frameDelay(0), 100);
  EXPECT_EQ(d.frameDelay(1), 100);
  EXPECT_EQ(d.frameDelay(2), 20);
  EXPECT_EQ(d.frameDelay(3), 100);
  EXPECT_EQ(d.frameDelay(-1), 100);
  EXPECT_EQ(d.totalDuration(), 220u);
  EXPECT_EQ(d.loopCount(), 4);
  EXPECT_STREQ(d.comment(), "two");

  auto forever = Header(1, 1);
  forever.insert(forever.end(), {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2',
                                 '.', '0', 3, 1, 0, 0, 0});  // count 0
  Image(forever, 0, 0, 1, 1, Lzw({1}));
  GifDecoder f;
  ASSERT_TRUE(f.openBytes(forever));
  EXPECT_EQ(f.loopCount(), 0);

  auto once = Header(1, 1);
  Image(once, 0, 0, 1, 1, Lzw({1}));
  GifDecoder o;
  ASSERT_TRUE(o.openBytes(once));
  EXPECT_EQ(o.loopCount(), 1);
  EXPECT_EQ(o.comment(), nullptr);
}

// Frames step by step through loadGif with a playback.
TEST(Gif, PlaybackCompositing) {
  auto g = Header(4, 1, 3);  // background blue
  // 0: full red, disposal none.
  Control(g, 1, false, 5, 0);
  Image(g, 0, 0, 4, 1, Lzw(Fill(4, 1)));
  // 1: transparent index 0, pixel 0 transparent, pixel 1 green; disposal 3.
  Control(g, 3, true, 5, 0);
  Image(g, 0, 0, 2, 1, Lzw({0, 2}));
  // 2: no control: transparency carried over (index 0 transparent), small frame at x=2.
  Image(g, 2, 0, 2, 1, Lzw({0, 3}));
  // 3: disposal 2 small rectangle at x=1.
  Control(g, 2, false, 5, 0);
  Image(g, 1, 0, 1, 1, Lzw({2}));
  // 4: a frame crossing the screen's edge (x + width > 4): only x=3 is drawn; disposal 2 of
  // a rectangle the screen's size.
  Control(g, 2, false, 5, 0);
  Image(g, 3, 0, 4, 1, Lzw(Fill(4, 2)));
  // 5: a one-pixel frame.
  Control(g, 0, false, 5, 0);
  Image(g, 0, 0, 1, 1, Lzw({0}));
  g.push_back(0x3B);
  Loaded l(g);
  auto step = [&] { return loadGif(l.path, l.state, true); };

  DecodeResult r = step();
  ASSERT_TRUE(r.isCanvas());
  EXPECT_EQ(l.state.frameCount, 6);
  EXPECT_EQ(l.state.gifAnimated, 1);
  EXPECT_FALSE(r.details.hasAlpha);
  EXPECT_EQ(l.state.FrameDelay(0), 50);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(Loaded::At(r, x, 0), kRed);

  r = step();  // frame 1: pixel 0 keeps red colour bytes with alpha 0
  EXPECT_EQ(Loaded::At(r, 0, 0), 0x00FF0000u);
  EXPECT_EQ(Loaded::At(r, 1, 0), kGreen);

  r = step();  // frame 2: disposal 3 restored the canvas before frame 1; index 0 transparent
  EXPECT_EQ(Loaded::At(r, 0, 0), kRed);
  EXPECT_EQ(Loaded::At(r, 1, 0), kRed);
  EXPECT_EQ(Loaded::At(r, 2, 0), 0x00FF0000u);
  EXPECT_EQ(Loaded::At(r, 3, 0), kBlue);

  r = step();  // frame 3 draws green at x=1
  EXPECT_EQ(Loaded::At(r, 1, 0), kGreen);
  r = step();  // frame 4: x=1 restored to the blue background; its on-screen pixel drawn
  EXPECT_EQ(Loaded::At(r, 1, 0), kBlue);
  EXPECT_EQ(Loaded::At(r, 0, 0), kRed);
  EXPECT_EQ(Loaded::At(r, 3, 0), kGreen);
  r = step();  // frame 5: the crossing frame 4 had the screen's size: whole canvas restored
  EXPECT_EQ(Loaded::At(r, 0, 0), kBlack);
  for (int x = 1; x < 4; ++x) EXPECT_EQ(Loaded::At(r, x, 0) & 0xFFFFFF, 0x0000FFu);

  r = step();  // wraps: background fill, frame 0 again
  EXPECT_EQ(l.state.frameIndex, 0);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(Loaded::At(r, x, 0), kRed);

  // Without animate the running playback stays and a caller-owned first frame comes back.
  DecodeResult still = loadGif(l.path, l.state, false);
  EXPECT_TRUE(still.isOwned());
  EXPECT_EQ(l.state.gifAnimated, 1);
  l.state.StopPlayback();
  EXPECT_EQ(l.state.gifAnimated, 0);
  EXPECT_EQ(RunningGifDecoder(l.state), nullptr);
}

TEST(Gif, FullScreenDisposal2RestoresWholeCanvas) {
  auto g = Header(2, 1, 2);  // background green
  Control(g, 2, false, 0, 0);
  Image(g, 0, 0, 2, 1, Lzw({1, 1}));
  Control(g, 0, false, 0, 0);
  Image(g, 0, 0, 1, 1, Lzw({3}));
  g.push_back(0x3B);
  Loaded l(g);
  loadGif(l.path, l.state, true);
  DecodeResult r = loadGif(l.path, l.state, true);
  EXPECT_EQ(Loaded::At(r, 0, 0), kBlue);
  EXPECT_EQ(Loaded::At(r, 1, 0) & 0xFFFFFF, 0x00FF00u);
}

TEST(Gif, CodeWidthGrowsTo12AndClearResets) {
  // 5000 literal codes of min size 2 pass every width up to 12 and then stay at 12.
  std::vector<uint8_t> idx(5000);
  for (size_t i = 0; i < idx.size(); ++i) idx[i] = static_cast<uint8_t>(i * 7 % 4);
  auto g = Header(100, 50);
  Image(g, 0, 0, 100, 50, Lzw(idx));
  g.push_back(0x3B);
  Loaded l(g);
  DecodeResult r = loadGif(l.path, l.state, false);
  ASSERT_TRUE(r);
  const uint32_t colours[4] = {kBlack, kRed, kGreen, kBlue};
  for (int i : {0, 1, 2, 254, 255, 4093, 4094, 4095, 4999})
    EXPECT_EQ(Loaded::At(r, i % 100, i / 100), colours[idx[static_cast<size_t>(i)]]) << i;

  // Clear codes in the middle: width back to 3, table emptied, code 6 then means "1 1".
  BitPacker p;
  p.put(4, 3);  // clear
  p.put(1, 3);  // red
  p.put(4, 3);  // clear again
  p.put(2, 3);  // green
  p.put(6, 3);  // not yet in the table: green, green
  p.put(5, 3);  // end
  auto data = std::vector<uint8_t>{2};
  auto b = p.blocks();
  data.insert(data.end(), b.begin(), b.end());
  data.push_back(0);
  auto h = Header(4, 1);
  Image(h, 0, 0, 4, 1, data);
  GifDecoder d;
  ASSERT_TRUE(d.openBytes(h));
  const GifFrame* f = d.nextFrame();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(std::vector<uint8_t>(f->indices.begin(), f->indices.end()),
            (std::vector<uint8_t>{1, 2, 2, 2}));
}

// Minimum code sizes 9 to 11 have roots above 255; they decode to their low byte and never
// read outside the one-byte root strings.
TEST(Gif, RootCodesAbove255) {
  for (int minCode : {9, 11}) {
    SCOPED_TRACE(minCode);
    const uint32_t clear = 1u << minCode;
    const int width = minCode + 1;
    auto h = Header(4, 1);
    // Literal 257 first, then the roots 258 and 259 read from the table, then the end code.
    Image(h, 0, 0, 4, 1,
          Codes({{clear, width}, {257, width}, {258, width}, {259, width}, {1, width},
                 {clear + 1, width}},
                minCode));
    h.push_back(0x3B);
    GifDecoder d;
    ASSERT_TRUE(d.openBytes(h));
    const GifFrame* f = d.nextFrame();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(f->indices.begin(), f->indices.end()),
              (std::vector<uint8_t>{1, 2, 3, 1}));
  }
}

// A frame wholly outside the screen is not decoded: a huge frame beyond the screen's right
// edge comes back without indices (nothing is allocated for it), and a cut one still fails.
TEST(Gif, FramesOutsideTheScreenAreSteppedOver) {
  auto g = Header(2, 2);
  Control(g, 2, false, 5, 0);
  Image(g, 2, 0, 16384, 16384, Lzw({1, 2, 3}));
  Image(g, 0, 0, 2, 2, Lzw({1, 2, 3, 1}));
  g.push_back(0x3B);
  GifDecoder d;
  ASSERT_TRUE(d.openBytes(g));
  const GifFrame* f = d.nextFrame();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->width, 16384);
  EXPECT_TRUE(f->indices.empty());
  EXPECT_EQ(f->control.disposal, 2);
  f = d.nextFrame();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->indices.size(), 4u);

  Loaded l(g);
  DecodeResult r = loadGif(l.path, l.state, false);
  ASSERT_TRUE(r);
  EXPECT_EQ(r.width(), 2);

  auto cut = Header(2, 2);
  Image(cut, 1, 1, 2, 2, {2, 200, 0x44, 0x0A});  // a sub-block claiming more than the file holds
  GifDecoder c;
  ASSERT_TRUE(c.openBytes(cut));
  EXPECT_EQ(c.nextFrame(), nullptr);
}

// A frame crossing the screen's edge shows the part that lies on the screen, interlaced or
// not; a huge crossing frame decodes only what its data holds.
TEST(Gif, FramesCrossingTheScreenEdgeDrawTheirVisiblePart) {
  // Rows of the 4 x 3 frame at (2, 0) on a 4 x 2 screen; the third row is below the screen.
  const std::vector<uint8_t> rows[3] = {{1, 1, 2, 2}, {3, 3, 1, 1}, {2, 2, 2, 2}};
  for (bool interlaced : {false, true}) {
    SCOPED_TRACE(interlaced);
    std::vector<uint8_t> idx;
    // Interlaced rows of a 3-row image arrive as 0, 2, 1.
    for (int r : interlaced ? std::vector<int>{0, 2, 1} : std::vector<int>{0, 1, 2})
      idx.insert(idx.end(), rows[r].begin(), rows[r].end());
    auto g = Header(4, 2, 3);  // background blue
    Image(g, 2, 0, 4, 3, Lzw(idx));
    if (interlaced) g[g.size() - Lzw(idx).size() - 1] = 0x40;
    g.push_back(0x3B);
    Loaded l(g);
    DecodeResult r = loadGif(l.path, l.state, false);
    ASSERT_TRUE(r);
    EXPECT_EQ(Loaded::At(r, 0, 0), kBlue);
    EXPECT_EQ(Loaded::At(r, 1, 1), kBlue);
    EXPECT_EQ(Loaded::At(r, 2, 0), kRed);
    EXPECT_EQ(Loaded::At(r, 3, 0), kRed);
    EXPECT_EQ(Loaded::At(r, 2, 1), kBlue);
    EXPECT_EQ(Loaded::At(r, 3, 1), kBlue);
  }

  // An interlaced 2 x 16 frame on a 2 x 1 screen needs only its first stream row, which is
  // all its indices hold; the rows below the screen are never decoded.
  std::vector<uint8_t> tall(32, 3);
  tall[0] = 1;
  tall[1] = 2;
  auto t = Header(2, 1);
  Image(t, 0, 0, 2, 16, Lzw(tall));
  t[t.size() - Lzw(tall).size() - 1] = 0x40;
  t.push_back(0x3B);
  GifDecoder ti;
  ASSERT_TRUE(ti.openBytes(t));
  const GifFrame* tf = ti.nextFrame();
  ASSERT_NE(tf, nullptr);
  EXPECT_EQ(tf->indices.size(), 2u);
  Loaded lt(t);
  DecodeResult rt = loadGif(lt.path, lt.state, false);
  ASSERT_TRUE(rt);
  EXPECT_EQ(Loaded::At(rt, 0, 0), kRed);
  EXPECT_EQ(Loaded::At(rt, 1, 0), kGreen);

  // A 16384 x 16384 frame at the origin of a 2 x 2 screen: three indices of data are drawn,
  // the rest of the visible part is index 0.
  auto g = Header(2, 2, 3);
  Image(g, 0, 0, 16384, 16384, Lzw({1, 2, 3}));
  g.push_back(0x3B);
  GifDecoder d;
  ASSERT_TRUE(d.openBytes(g));
  const GifFrame* f = d.nextFrame();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->indices.size(), 3u);
  Loaded l(g);
  DecodeResult r = loadGif(l.path, l.state, false);
  ASSERT_TRUE(r);
  EXPECT_EQ(Loaded::At(r, 0, 0), kRed);
  EXPECT_EQ(Loaded::At(r, 1, 0), kGreen);
  EXPECT_EQ(Loaded::At(r, 0, 1), kBlack);
  EXPECT_EQ(Loaded::At(r, 1, 1), kBlack);
}

// Canvas areas no frame covers show the background colour, opaque, unless the file uses a
// transparent index somewhere; without a global table the background is black.
TEST(Gif, UncoveredMarginsAreOpaqueUnlessTheFileUsesTransparency) {
  struct Case {
    const char* what;
    bool globalTable;
    bool transparentLater;
    uint32_t margin;
    bool hasAlpha;
  };
  for (const Case& c : {Case{"opaque", true, false, kBlue, false},
                        Case{"no global table", false, false, kBlack, false},
                        Case{"transparent index later", true, true, 0x000000FFu, true}}) {
    SCOPED_TRACE(c.what);
    auto g = Header(3, 1, 3);  // background blue
    if (!c.globalTable) {
      g[10] = 0x11;  // colour resolution 2, no global table
      g.resize(13);
    }
    if (!c.globalTable) {
      // A local table for the frame: black, red.
      g.insert(g.end(), {0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0x80, 0, 0, 0, 255, 0, 0});
      auto data = Lzw({1});
      g.insert(g.end(), data.begin(), data.end());
    } else {
      Image(g, 0, 0, 1, 1, Lzw({1}));
    }
    Control(g, 0, c.transparentLater, 5, 0);
    Image(g, 1, 0, 1, 1, Lzw({c.globalTable ? uint8_t{2} : uint8_t{0}}));
    g.push_back(0x3B);
    Loaded l(g);
    DecodeResult still = loadGif(l.path, l.state, false);
    ASSERT_TRUE(still);
    EXPECT_EQ(Loaded::At(still, 0, 0), kRed);
    EXPECT_EQ(Loaded::At(still, 2, 0), c.margin);
    EXPECT_EQ(still.details.hasAlpha, c.hasAlpha);
    DecodeResult first = loadGif(l.path, l.state, true);  // the playback's first frame
    ASSERT_TRUE(first.isCanvas());
    EXPECT_EQ(Loaded::At(first, 2, 0), c.margin);
    l.state.StopPlayback();
  }
}

// Delays in milliseconds beyond 16 bits stay at the longest a frame delay can hold.
TEST(Gif, LongDelaysSaturate) {
  auto g = Header(1, 1);
  for (uint16_t delay : {6553, 6554, 6600, 65535}) {
    Control(g, 0, false, delay, 0);
    Image(g, 0, 0, 1, 1, Lzw({1}));
  }
  g.push_back(0x3B);
  GifDecoder d;
  ASSERT_TRUE(d.openBytes(g));
  EXPECT_EQ(d.frameDelay(0), 65530);
  EXPECT_EQ(d.frameDelay(1), 65535);
  EXPECT_EQ(d.frameDelay(2), 65535);  // 66 s, not 464 ms
  EXPECT_EQ(d.frameDelay(3), 65535);
  EXPECT_EQ(d.totalDuration(), 65530u + 3 * 65535u);
}

TEST(Gif, DataEndingEarlyAndCutFiles) {
  // Sub-blocks end before the end code: drawn as far as the data reaches, the rest index 0.
  auto g = Header(4, 1);
  Image(g, 0, 0, 4, 1, Lzw({3, 3}, 2, /*endCode=*/false));
  g.push_back(0x3B);
  GifDecoder d;
  ASSERT_TRUE(d.openBytes(g));
  const GifFrame* f = d.nextFrame();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(std::vector<uint8_t>(f->indices.begin(), f->indices.end()),
            (std::vector<uint8_t>{3, 3, 0, 0}));

  // A file cut inside the image data fails the frame.
  std::vector<uint8_t> big(600, 1);
  auto cut = Header(600, 1);
  Image(cut, 0, 0, 600, 1, Lzw(big));
  cut.resize(cut.size() - 200);
  Loaded l(cut);
  DecodeResult failed = loadGif(l.path, l.state, false);
  EXPECT_FALSE(failed);
  EXPECT_TRUE(failed.details.detailsValid);  // the header was fine

  // A file that ends right after a data sub-block has lost the terminator: it was cut inside
  // the image data, even though the end code had been read. The same holds for a frame
  // outside the screen, which is stepped over rather than decoded.
  for (uint16_t left : {0, 1}) {
    SCOPED_TRACE(left);
    auto noTerminator = Header(2, 1);
    Image(noTerminator, left, 0, 2, 1, Lzw({1, 2}, 2, /*endCode=*/true, /*terminator=*/false));
    GifDecoder t;
    ASSERT_TRUE(t.openBytes(noTerminator));
    EXPECT_EQ(t.nextFrame(), nullptr);
    // With the terminator as the file's last byte only the trailer is missing.
    noTerminator.push_back(0);
    GifDecoder u;
    ASSERT_TRUE(u.openBytes(noTerminator));
    EXPECT_NE(u.nextFrame(), nullptr);
  }
}

TEST(Gif, UnknownBytesBetweenBlocks) {
  auto g = Header(1, 1);
  g.insert(g.end(), {0x41, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                     0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                     0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});  // 0x41 then 65 bytes
  Image(g, 0, 0, 1, 1, Lzw({2}));
  g.push_back(0x3B);
  GifDecoder d;
  ASSERT_TRUE(d.openBytes(g));
  ASSERT_NE(d.nextFrame(), nullptr);

  // 0x07 is skipped by the counting pass but ends frame reading.
  auto h = Header(1, 1);
  h.insert(h.end(), {0x07, 0, 0, 0, 0, 0, 0, 0});
  Image(h, 0, 0, 1, 1, Lzw({2}));
  h.push_back(0x3B);
  GifDecoder e;
  ASSERT_TRUE(e.openBytes(h));
  EXPECT_EQ(e.frameCount(), 1u);
  EXPECT_EQ(e.nextFrame(), nullptr);
}

std::vector<uint8_t> Prefix(const std::vector<uint8_t>& v, size_t n) {
  return std::vector<uint8_t>(v.begin(), v.begin() + static_cast<long>(n));
}

// A 3 x 2 still with a graphic control, and where its blocks lie.
struct GoodGif {
  std::vector<uint8_t> bytes;
  size_t control = 0;  // 0x21 of the graphic control
  size_t image = 0;    // 0x2C of the image descriptor
  GoodGif() {
    bytes = Header(3, 2);
    control = bytes.size();
    Control(bytes, 2, true, 3, 1);
    image = bytes.size();
    Image(bytes, 0, 0, 3, 2, Lzw({1, 2, 3, 0, 1, 2}));
    bytes.push_back(0x3B);
  }
  std::vector<uint8_t> with(size_t at, uint8_t v) const {
    auto b = bytes;
    b[at] = v;
    return b;
  }
};

// A 1 x 1 still whose image data is `data`.
std::vector<uint8_t> StillWith(const std::vector<uint8_t>& data, uint16_t w = 1, uint16_t h = 1) {
  auto g = Header(w, h);
  Image(g, 0, 0, w, h, data);
  g.push_back(0x3B);
  return g;
}

// A 2 x 1 frame at x = 1 of a 2 x 1 screen, whose image data is `data`.
std::vector<uint8_t> Crossing(const std::vector<uint8_t>& data) {
  auto g = Header(2, 1);
  Image(g, 1, 0, 2, 1, data);
  g.push_back(0x3B);
  return g;
}

// Truncated and corrupted files. Each one either is refused when opened (header, tables,
// extensions, descriptors) or opens and then fails its only frame (LZW data, sizes); in both
// cases no picture comes back, whether it is loaded as a still or for playback.
TEST(Gif, MalformedFilesFailCleanly) {
  enum Failure { Refused, FrameFails };
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    Failure failure;
  };
  const GoodGif good;
  const size_t image = good.image;
  auto withGce = [](std::initializer_list<uint8_t> tail) {
    auto g = Header(1, 1);
    g.insert(g.end(), tail);
    return g;
  };
  const std::vector<Case> cases = {
      {"empty", {}, Refused},
      {"signature only", {'G', 'I', 'F'}, Refused},
      {"unknown version", {'G', 'I', 'F', '8', '9', 'b', 1, 0, 1, 0, 0, 0, 0}, Refused},
      {"wrong signature", good.with(0, 'X'), Refused},
      {"version 88a", good.with(4, '8'), Refused},
      {"cut screen descriptor", Prefix(good.bytes, 10), Refused},
      {"cut global table", Prefix(good.bytes, 19), Refused},
      {"unknown extension label", good.with(good.control + 1, 0x77), Refused},
      {"extension label 0", good.with(good.control + 1, 0x00), Refused},
      {"global table flag cleared before its table", good.with(10, 0x11), Refused},
      {"local table flag without a table", good.with(image + 9, 0x87), Refused},
      {"no image descriptor", withGce({0x21, 0xF9, 4, 0, 10, 0, 0, 0, 0x3B}), Refused},
      {"graphic control cut off", withGce({0x21, 0xF9, 4, 0}), Refused},
      {"loop extension cut off", withGce({0x21, 0xFF, 11, 'N', 'E', 'T'}), Refused},
      {"cut image descriptor", Prefix(good.bytes, image + 5), Refused},
      {"cut before the code size", Prefix(good.bytes, image + 10), Refused},

      {"no data after the code size", Prefix(good.bytes, image + 11), FrameFails},
      {"cut in the image data", Prefix(good.bytes, good.bytes.size() - 4), FrameFails},
      {"sub-block longer than the file", good.with(image + 11, 200), FrameFails},
      {"minimum code size 12", good.with(image + 10, 12), FrameFails},
      {"first code not a literal", good.with(image + 12, 0xFF), FrameFails},
      {"end code first", StillWith(Codes({{4, 3}, {5, 3}})), FrameFails},
      {"new code right after a clear", StillWith(Codes({{4, 3}, {6, 3}, {5, 3}})), FrameFails},
      {"literals overrun the index block", StillWith(Lzw({1, 1, 1, 1, 1, 1}), 2, 1), FrameFails},
      {"string overruns the index block",
       StillWith(Codes({{4, 3}, {1, 3}, {1, 3}, {6, 3}, {5, 4}}), 3, 1), FrameFails},
      {"new code overruns the index block", StillWith(Codes({{4, 3}, {1, 3}, {6, 3}}), 2, 1),
       FrameFails},
      {"frame above the pixel limit", StillWith(Lzw({1}), 65535, 65535), FrameFails},
      // Frames crossing the screen's edge are decoded, so their data faults count too.
      {"crossing frame, first code not a literal", Crossing(Codes({{4, 3}, {7, 3}})), FrameFails},
      {"crossing frame cut inside its data", Crossing({2, 200, 0x44, 0x0A}), FrameFails},
      {"crossing frame, code size 12", Crossing({12, 1, 0, 0}), FrameFails},
      {"crossing frame overruns its index block", Crossing(Lzw({1, 1, 1})), FrameFails},
      {"unknown byte before the image",
       [] {
         auto g = Header(1, 1);
         g.insert(g.end(), {0x07, 0, 0, 0, 0, 0, 0, 0});
         Image(g, 0, 0, 1, 1, Lzw({2}));
         g.push_back(0x3B);
         return g;
       }(),
       FrameFails},
  };
  ASSERT_GE(cases.size(), 20u);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    GifDecoder d;
    if (c.failure == Refused) {
      EXPECT_FALSE(d.openBytes(c.bytes));
    } else {
      ASSERT_TRUE(d.openBytes(c.bytes));
      EXPECT_EQ(d.nextFrame(), nullptr);
    }
    Loaded l(c.bytes);
    for (bool animate : {false, true}) {
      DecodeResult r = loadGif(l.path, l.state, animate);
      EXPECT_FALSE(r);
      EXPECT_EQ(l.state.animating, 0);
      EXPECT_EQ(r.details.detailsValid, c.failure == FrameFails);
    }
  }
}

// Odd but harmless files: they open and give a picture of the screen's size, and a playback
// of them steps without reading or writing outside the canvas.
TEST(Gif, OddFilesStillGiveAPicture) {
  const GoodGif good;
  const size_t image = good.image;
  auto animated = [](int disposal, uint16_t x, uint16_t y, uint16_t w, uint16_t h) {
    auto g = Header(4, 2);
    Control(g, disposal, false, 5, 0);
    Image(g, x, y, w, h, Lzw(Fill(size_t{w} * h, 1)));
    Control(g, 0, false, 5, 0);
    Image(g, 0, 0, 1, 1, Lzw({2}));
    g.push_back(0x3B);
    return g;
  };
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> cases = {
      {"frame wider than the screen", good.with(image + 5, 0xFF)},
      {"frame taller than the screen", good.with(image + 7, 0xFF)},
      {"frame far outside the screen", good.with(image + 2, 0xFF)},
      {"transparent index beyond the palette", good.with(good.control + 6, 200)},
      {"background beyond the table", good.with(11, 77)},
      {"code size 0", good.with(image + 10, 0)},
      {"code beyond the next free one", StillWith(Codes({{4, 3}, {1, 3}, {7, 3}, {7, 4}}), 8, 1)},
      {"empty frame",
       [] {
         auto z = Header(1, 1);
         Image(z, 0, 0, 0, 0, Lzw({1, 2}));
         z.push_back(0x3B);
         return z;
       }()},
      {"no colour table at all",
       [] {
         std::vector<uint8_t> g{'G', 'I', 'F', '8', '7', 'a', 2, 0, 1, 0, 0x00, 0, 0};
         Image(g, 0, 0, 2, 1, Lzw({1, 3}));
         g.push_back(0x3B);
         return g;
       }()},
      {"no trailer", Prefix(good.bytes, good.bytes.size() - 1)},
      {"disposal 7", animated(7, 0, 0, 2, 2)},
      {"disposal 3 on the first frame", animated(3, 0, 0, 4, 2)},
      {"disposal 2 of a frame outside the screen", animated(2, 3, 1, 4, 4)},
      {"disposal 2 of a frame at the far corner", animated(2, 65000, 65000, 1, 1)},
  };
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    Loaded l(bytes);
    GifDecoder d;
    ASSERT_TRUE(d.openBytes(bytes));
    for (bool animate : {false, true}) {
      DecodeResult r = loadGif(l.path, l.state, animate);
      ASSERT_TRUE(r);
      EXPECT_EQ(r.width(), d.screenWidth());
      EXPECT_EQ(r.height(), d.screenHeight());
      for (int i = 0; i < 5; ++i) {
        DecodeResult next = loadGif(l.path, l.state, true);
        ASSERT_TRUE(next);
        EXPECT_EQ(next.width(), d.screenWidth());
      }
      l.state.StopPlayback();
    }
  }
}

// A frame that fails in the middle of a playback leaves the canvas as it was, and the frames
// after it still play with the disposal still pending.
TEST(Gif, PlaybackStepsOverABadFrame) {
  auto g = Header(2, 1, 3);  // background blue
  Control(g, 3, false, 5, 0);
  Image(g, 0, 0, 2, 1, Lzw({1, 1}));  // red, restore the previous canvas afterwards
  Control(g, 0, false, 5, 0);
  Image(g, 0, 0, 2, 1, Codes({{4, 3}, {7, 3}}));  // first code not a literal
  Control(g, 0, false, 5, 0);
  Image(g, 0, 0, 1, 1, Lzw({2}));  // green
  g.push_back(0x3B);
  Loaded l(g);
  DecodeResult r = loadGif(l.path, l.state, true);
  ASSERT_TRUE(r.isCanvas());
  EXPECT_EQ(Loaded::At(r, 1, 0), kRed);
  r = loadGif(l.path, l.state, true);
  ASSERT_TRUE(r.isCanvas());
  EXPECT_EQ(l.state.frameIndex, 1);
  EXPECT_EQ(Loaded::At(r, 0, 0), kRed);
  EXPECT_EQ(Loaded::At(r, 1, 0), kRed);
  r = loadGif(l.path, l.state, true);
  EXPECT_EQ(l.state.frameIndex, 2);
  EXPECT_EQ(Loaded::At(r, 0, 0), kGreen);
  EXPECT_EQ(Loaded::At(r, 1, 0) & 0xFFFFFF, 0x0000FFu);  // the canvas before frame 0
  r = loadGif(l.path, l.state, true);
  EXPECT_EQ(l.state.frameIndex, 0);
  EXPECT_EQ(Loaded::At(r, 0, 0), kRed);
  l.state.StopPlayback();
}

}  // namespace
}  // namespace qp

namespace qp {
namespace {

// Every composed frame against ImageMagick's coalesced frames, wherever ImageMagick's pixel is
// opaque (it restores to transparent where we restore the background colour).
TEST(GifImageMagick, ComposedFramesMatchCoalesce) {
  if (!test::HaveTool("convert")) GTEST_SKIP() << "ImageMagick absent";
  std::vector<std::vector<uint8_t>> files;
  for (int variant = 0; variant < 3; ++variant) {
    auto g = Header(8, 6, 3);
    Control(g, 1, false, 5, 0);
    std::vector<uint8_t> full(48);
    for (size_t i = 0; i < full.size(); ++i) full[i] = static_cast<uint8_t>((i + variant) % 4);
    Image(g, 0, 0, 8, 6, Lzw(full));
    for (int f = 0; f < 6; ++f) {
      const int disposal = (f + variant) % 3 + 1;
      Control(g, disposal, f % 2 == 1, 5, static_cast<uint8_t>(f % 4));
      const uint16_t x = static_cast<uint16_t>(f % 4), y = static_cast<uint16_t>(f % 3);
      std::vector<uint8_t> part(12);
      for (size_t i = 0; i < part.size(); ++i) part[i] = static_cast<uint8_t>((i * 3 + f) % 4);
      Image(g, x, y, 4, 3, Lzw(part));
    }
    g.push_back(0x3B);
    files.push_back(g);
  }
  for (size_t n = 0; n < files.size(); ++n) {
    SCOPED_TRACE(n);
    Loaded l(files[n]);
    const std::string out = l.dir.file("f%d.rgba");
    ASSERT_EQ(test::RunShell("convert " + test::ShellQuote(l.path) +
                             " -coalesce +adjoin -depth 8 " + test::ShellQuote("rgba:" + out)),
              0);
    for (int frame = 0; frame < 7; ++frame) {
      SCOPED_TRACE(frame);
      DecodeResult r = loadGif(l.path, l.state, true);
      ASSERT_TRUE(r);
      const auto ref = test::ReadBytes(l.dir.file("f" + std::to_string(frame) + ".rgba"));
      ASSERT_EQ(ref.size(), size_t{8} * 6 * 4);
      for (int i = 0; i < 48; ++i) {
        const uint8_t* m = ref.data() + i * 4;
        if (m[3] != 255) continue;
        // Our transparent pixels keep the old colour bytes with alpha 0.
        const uint8_t* p = r.pixels() + i * 4;
        EXPECT_EQ(p[2], m[0]) << i;
        EXPECT_EQ(p[1], m[1]) << i;
        EXPECT_EQ(p[0], m[2]) << i;
      }
    }
    l.state.StopPlayback();
  }
}

}  // namespace
}  // namespace qp
