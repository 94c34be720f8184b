#include "codecs/orientation.h"

#include <gtest/gtest.h>
#include <webp/mux.h>

#include <cstdlib>
#include <functional>

#include "codecs/freeimage.h"
#include "codecs/load_dispatch.h"
#include "codecs/png.h"
#include "codecs/scaled_decode.h"
#include "codecs/webp.h"
#include "core/settings_access.h"
#include "ops/transforms.h"
#include "support/jpeg_builder.h"
#include "support/test_support.h"

namespace qp {
namespace {

using test::TempDir;

// Settings with only the orientation flag.
struct FlagSettings final : SettingsAccess {
  explicit FlagSettings(bool on) : autoOrient(on) {}
  bool autoOrient;
  std::string ReadText(std::string_view) override { return {}; }
  int32_t ReadNumber(std::string_view) override { return 0; }
  bool ReadFlag(std::string_view name) override { return name == "AutoOrient" && autoOrient; }
  void WriteText(std::string_view, std::string_view) override {}
  void WriteNumber(std::string_view, int32_t) override {}
};

// The upright picture: 4 x 2 flat blocks of 8 x 8 pixels, so that JPEG keeps the colours
// nearly exact whichever way the blocks are turned.
ImageBuffer Upright() {
  return test::MakePicture(32, 16, [](int32_t x, int32_t y) {
    const uint32_t block = static_cast<uint32_t>(y / 8 * 4 + x / 8);
    return 0xFF000000u | (block * 31 % 256) << 16 | (255 - block * 29 % 256) << 8 | block * 53 % 256;
  });
}

// The stored pixels a camera writes with each orientation: the upright picture turned back,
// made with the editing transforms.
ImageBuffer Stored(int32_t orientation) {
  ViewerState s;
  ImageBuffer img = Upright();
  switch (orientation) {
    case 2: FlipHorizontal(img, s); break;
    case 3: UpsideDown(img, s); break;
    case 4: FlipVertical(img, s); break;
    case 5: RotateClockwise(img, s); FlipHorizontal(img, s); break;
    case 6: RotateCounterClockwise(img, s); break;
    case 7: RotateClockwise(img, s); FlipVertical(img, s); break;
    case 8: RotateClockwise(img, s); break;
    default: break;
  }
  return img;
}

// The TIFF block of an EXIF segment holding only the orientation.
std::vector<uint8_t> ExifTiff(uint16_t orientation, bool bigEndian = false) {
  const std::vector<uint8_t> seg = test::OrientationSegment(orientation, bigEndian);
  return {seg.begin() + 10, seg.end()};  // marker, length and "Exif\0\0" dropped
}

uint32_t Crc32(const uint8_t* p, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1)));
  }
  return ~c;
}

// A PNG with an eXIf chunk right after the header chunk.
void WritePng(const std::string& path, const ImageBuffer& img, uint16_t orientation) {
  ASSERT_EQ(SavePng(img.data(), img.width(), img.height(), 6, path.c_str()), nullptr);
  std::vector<uint8_t> bytes = test::ReadBytes(path);
  const std::vector<uint8_t> exif = ExifTiff(orientation, orientation % 2 == 0);
  std::vector<uint8_t> chunk;
  test::PutU32be(chunk, static_cast<uint32_t>(exif.size()));
  test::PutText(chunk, "eXIf");
  chunk.insert(chunk.end(), exif.begin(), exif.end());
  test::PutU32be(chunk, Crc32(chunk.data() + 4, chunk.size() - 4));
  bytes.insert(bytes.begin() + 33, chunk.begin(), chunk.end());  // signature and IHDR
  test::WriteBytes(path, bytes);
}

// A lossless WebP in the extended format with an EXIF chunk (with the "Exif\0\0" some
// writers put in front).
void WriteWebp(const std::string& path, const ImageBuffer& img, uint16_t orientation) {
  ASSERT_EQ(EncodeWebP(img.data(), img.width(), img.height(), 100, path.c_str(), false), nullptr);
  const std::vector<uint8_t> plain = test::ReadBytes(path);
  std::vector<uint8_t> exif{'E', 'x', 'i', 'f', 0, 0};
  const std::vector<uint8_t> tiff = ExifTiff(orientation);
  exif.insert(exif.end(), tiff.begin(), tiff.end());
  const WebPData in{plain.data(), plain.size()};
  WebPMux* mux = WebPMuxCreate(&in, 1);
  ASSERT_NE(mux, nullptr);
  const WebPData chunk{exif.data(), exif.size()};
  WebPData out{};
  ASSERT_EQ(WebPMuxSetChunk(mux, "EXIF", &chunk, 1), WEBP_MUX_OK);
  ASSERT_EQ(WebPMuxAssemble(mux, &out), WEBP_MUX_OK);
  test::WriteBytes(path, {out.bytes, out.bytes + out.size});
  WebPDataClear(&out);
  WebPMuxDelete(mux);
}

// An uncompressed RGB TIFF whose first directory carries the orientation.
void WriteTiff(const std::string& path, const ImageBuffer& img, uint16_t orientation) {
  const uint32_t w = static_cast<uint32_t>(img.width()), h = static_cast<uint32_t>(img.height());
  std::vector<uint8_t> f;
  test::PutText(f, "II");
  test::PutU16le(f, 42);
  test::PutU32le(f, 8);
  const uint16_t entries = 11;
  const uint32_t bitsAt = 8 + 2 + entries * 12 + 4;
  const uint32_t pixelsAt = bitsAt + 6;
  test::PutU16le(f, entries);
  auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    test::PutU16le(f, tag);
    test::PutU16le(f, type);
    test::PutU32le(f, count);
    test::PutU32le(f, value);  // a SHORT sits in the low half (little-endian)
  };
  entry(256, 4, 1, w);                  // ImageWidth
  entry(257, 4, 1, h);                  // ImageLength
  entry(258, 3, 3, bitsAt);             // BitsPerSample 8, 8, 8
  entry(259, 3, 1, 1);                  // no compression
  entry(262, 3, 1, 2);                  // RGB
  entry(273, 4, 1, pixelsAt);           // StripOffsets
  entry(274, 3, 1, orientation);        // Orientation
  entry(277, 3, 1, 3);                  // SamplesPerPixel
  entry(278, 4, 1, h);                  // RowsPerStrip
  entry(279, 4, 1, w * h * 3);          // StripByteCounts
  entry(284, 3, 1, 1);                  // chunky
  test::PutU32le(f, 0);
  for (int k = 0; k < 3; ++k) test::PutU16le(f, 8);
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) {
      const uint8_t* p = img.pixel(static_cast<int32_t>(x), static_cast<int32_t>(y));
      f.insert(f.end(), {p[2], p[1], p[0]});
    }
  }
  test::WriteBytes(path, f);
}

// Largest difference of the colour channels; -1 when the sizes differ.
int ColourDistance(const ImageBuffer& a, const ImageBuffer& b) {
  if (a.width() != b.width() || a.height() != b.height()) return -1;
  int worst = 0;
  for (int32_t y = 0; y < a.height(); ++y)
    for (int32_t x = 0; x < a.width(); ++x)
      for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(a.pixel(x, y)[c] - b.pixel(x, y)[c]));
  return worst;
}

struct Format {
  const char* extension;
  std::function<void(const std::string&, const ImageBuffer&, uint16_t)> write;
  int tolerance;
  bool worker;  // read by the prefetch worker's loader too
};

TEST(Orientation, TheEightOrientationsOfOnePictureLoadUpright) {
  std::vector<Format> formats = {
      {".jpg", [](const std::string& p, const ImageBuffer& i,
                  uint16_t o) { ASSERT_TRUE(test::WriteJpeg(p, i, o, o % 2 == 1)); },
       6, true},
      {".png", WritePng, 0, true},
      {".webp", WriteWebp, 0, true},
  };
  if (FreeImageAvailable()) formats.push_back({".tif", WriteTiff, 0, false});
  const ImageBuffer upright = Upright();
  TempDir dir;
  FlagSettings off(false);
  for (const Format& format : formats) {
    for (uint16_t o = 1; o <= 8; ++o) {
      SCOPED_TRACE(std::string(format.extension) + " " + std::to_string(o));
      const ImageBuffer stored = Stored(o);
      const std::string path = dir.file("o" + std::to_string(o) + format.extension);
      format.write(path, stored, o);
      EXPECT_EQ(ReadFileOrientation(path), o);

      ViewerState state;
      LoadContext on{state};
      DecodeDetails details;
      auto picture = LoadPictureFile(path, on, &details);
      ASSERT_TRUE(picture);
      EXPECT_LE(ColourDistance(*picture, upright), format.tolerance);
      EXPECT_EQ(details.orientation, o);
      EXPECT_EQ(state.pictureOrientation, o);

      DisplayLoad shown = LoadFileForDisplay(path, on);
      ASSERT_TRUE(shown.picture.owned());
      EXPECT_LE(ColourDistance(*shown.picture.owned(), upright), format.tolerance);

      if (format.worker) {
        auto ahead = LoadFileOffUiThread(path, true);
        ASSERT_TRUE(ahead);
        EXPECT_LE(ColourDistance(*ahead->picture.owned(), upright), format.tolerance);
        EXPECT_EQ(ahead->picture.details.orientation, o);
        auto asStored = LoadFileOffUiThread(path, false);
        ASSERT_TRUE(asStored);
        EXPECT_LE(ColourDistance(*asStored->picture.owned(), stored), format.tolerance);
      }

      // With the setting off every load shows the stored pixels.
      LoadContext plain{state, &off};
      auto raw = LoadPictureFile(path, plain, &details);
      ASSERT_TRUE(raw);
      EXPECT_LE(ColourDistance(*raw, stored), format.tolerance);
      EXPECT_EQ(details.orientation, 1);
      DisplayLoad rawShown = LoadFileForDisplay(path, plain);
      ASSERT_TRUE(rawShown.picture.owned());
      EXPECT_LE(ColourDistance(*rawShown.picture.owned(), stored), format.tolerance);
    }
  }
}

TEST(Orientation, QuickLookAtReducedSizeIsUprightToo) {
  // A 64 x 32 picture stored with orientation 6 and 8: asked for half its upright size, the
  // reduced decode is asked in upright terms and comes back upright.
  ImageBuffer big = test::MakePicture(64, 32, [](int32_t x, int32_t y) {
    return x < 8 && y < 8 ? 0xFFFF0000u : 0xFF0000FFu;  // a red corner on blue
  });
  TempDir dir;
  for (uint16_t o : {6, 8}) {
    SCOPED_TRACE(o);
    const std::string path = dir.file("o.jpg");
    ASSERT_TRUE(test::WriteJpeg(path, big, o));
    std::pair<int32_t, int32_t> asked;
    const ScaledTarget half = [&](int32_t w, int32_t h) {
      asked = {w, h};
      return std::pair{w / 2, h / 2};
    };
    int32_t code = 0;
    int64_t size = 0;
    auto small = LoadFileScaledOffUiThread(path, half, code, size);
    ASSERT_TRUE(small);
    EXPECT_EQ(asked, (std::pair{32, 64}));
    EXPECT_EQ(small->fullWidth, 32);
    EXPECT_EQ(small->fullHeight, 64);
    EXPECT_EQ(small->picture.width(), 16);
    EXPECT_EQ(small->picture.height(), 32);
    EXPECT_EQ(small->details.orientation, o);
    // The red corner is stored top left: shown top right (6) or bottom left (8).
    const ImageBuffer& p = small->picture;
    const uint8_t* corner = o == 6 ? p.pixel(15, 0) : p.pixel(0, 31);
    EXPECT_GT(corner[2], 150);
    auto plain = LoadFileScaledOffUiThread(path, half, code, size, false);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->picture.width(), 32);
  }
}

TEST(Orientation, AvifRotationAndMirrorThroughTheDecoderProgram) {
  if (!test::HaveTool("avifdec") || !test::HaveTool("avifenc"))
    GTEST_SKIP() << "avifdec/avifenc missing";
  // The rotation (quarter turns anticlockwise) and mirror (0 top to bottom, 1 left to right)
  // that record each orientation.
  const struct {
    int32_t orientation, turns, mirror;
  } cases[] = {{1, 0, -1}, {2, 0, 1}, {3, 2, -1}, {4, 0, 0},
               {5, 1, 0},  {6, 3, -1}, {7, 1, 1}, {8, 1, -1}};
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.orientation);
    EXPECT_EQ(OrientationOfRotateMirror(c.turns, c.mirror), c.orientation);
    const ImageBuffer stored = Stored(c.orientation);
    const std::string png = dir.file("s.png");
    ASSERT_EQ(SavePng(stored.data(), stored.width(), stored.height(), 6, png.c_str()), nullptr);
    const std::string avif = dir.file("o" + std::to_string(c.orientation) + ".avif");
    std::string command = "avifenc -l --irot " + std::to_string(c.turns);
    if (c.mirror >= 0) command += " --imir " + std::to_string(c.mirror);
    ASSERT_EQ(test::RunShell(command + " " + test::ShellQuote(png) + " " +
                             test::ShellQuote(avif) + " >/dev/null 2>&1"),
              0);
    EXPECT_EQ(ReadFileOrientation(avif), c.orientation);
    ViewerState state;
    LoadContext ctx{state};
    auto picture = LoadPictureFile(avif, ctx);
    ASSERT_TRUE(picture);
    EXPECT_LE(ColourDistance(*picture, Upright()), 2);
  }
}

TEST(Orientation, DamagedOrMissingRecordsMeanAsStored) {
  TempDir dir;
  const ImageBuffer img = Upright();
  // An orientation outside 1 to 8.
  WritePng(dir.file("nine.png"), img, 9);
  EXPECT_EQ(ReadFileOrientation(dir.file("nine.png")), 1);
  ViewerState state;
  LoadContext ctx{state};
  auto picture = LoadPictureFile(dir.file("nine.png"), ctx);
  ASSERT_TRUE(picture);
  EXPECT_EQ(ColourDistance(*picture, img), 0);

  // An eXIf chunk whose directory runs past its end, a length beyond the file, a TIFF
  // directory offset beyond the file, a truncated ISO media box and no file at all.
  std::vector<uint8_t> bytes = test::ReadBytes(dir.file("nine.png"));
  bytes[33 + 8 + 4] = 0xFF;  // the first directory's offset (Intel order: low byte first)
  test::WriteBytes(dir.file("bad.png"), bytes);
  EXPECT_EQ(ReadFileOrientation(dir.file("bad.png")), 1);
  bytes = test::ReadBytes(dir.file("nine.png"));
  bytes[33] = 0x7F;
  test::WriteBytes(dir.file("long.png"), bytes);
  EXPECT_EQ(ReadFileOrientation(dir.file("long.png")), 1);
  test::WriteBytes(dir.file("far.tif"), {'I', 'I', 42, 0, 0xFF, 0xFF, 0xFF, 0x7F});
  EXPECT_EQ(ReadFileOrientation(dir.file("far.tif")), 1);
  test::WriteBytes(dir.file("cut.avif"), {0, 0, 0, 20, 'f', 't', 'y', 'p', 'a', 'v', 'i', 'f',
                                          0, 0, 0, 0, 'm', 'i', 'f', '1', 0, 0, 0xFF, 0xFF, 'm',
                                          'e', 't', 'a', 0, 0, 0, 0});
  EXPECT_EQ(ReadFileOrientation(dir.file("cut.avif")), 1);
  EXPECT_EQ(ReadFileOrientation(dir.file("missing.jpg")), 1);
}

}  // namespace
}  // namespace qp
