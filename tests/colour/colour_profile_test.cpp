// Colour profiles: reading them from files, the conversions (compared with ImageMagick's, which
// runs lcms, and with the formulas of the code points), the conversion cache and saving.
#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <thread>

#include "codecs/file_filters.h"
#include "codecs/iso_media.h"
#include "codecs/load_dispatch.h"
#include "codecs/plugins.h"
#include "codecs/png.h"
#include "codecs/qoi.h"
#include "codecs/save_dispatch.h"
#include "colour/colour_profile.h"
#include "core/viewer_state.h"
#include "frame/settings_store.h"
#include "platform/settings_backend.h"
#include "support/test_support.h"
#include "view/view_geometry.h"

namespace qp {
namespace {

const std::string kProfileDir = "/usr/share/color/icc/colord/";

ColourProfilePtr ProfileFile(const std::string& name) {
  const std::vector<uint8_t> bytes = test::ReadBytes(kProfileDir + name);
  return bytes.empty() ? nullptr : ColourProfile::FromIcc(bytes);
}

// Patches across the whole cube plus a grey ramp, in 8 x 8 blocks (JPEG keeps flat blocks).
ImageBuffer Patches() {
  return test::MakePicture(128, 64, [](int32_t x, int32_t y) {
    const int32_t block = (y / 8) * 16 + x / 8;  // 0..127
    const uint32_t r = static_cast<uint32_t>((block % 5) * 255 / 4);
    const uint32_t g = static_cast<uint32_t>((block / 5 % 5) * 255 / 4);
    const uint32_t b = static_cast<uint32_t>((block / 25 % 5) * 255 / 4);
    if (block >= 125) return 0xFF000000u | 0x404040u * static_cast<uint32_t>(block - 124);
    return 0xFF000000u | r << 16 | g << 8 | b;
  });
}

// The display path: the bitmap of the picture, converted to an sRGB screen.
std::vector<uint8_t> ShownRgb(const ImageBuffer& img, const ColourProfile* colour) {
  auto bmp = MakeDisplayBitmap(img.data(), img.width(), img.height());
  EXPECT_TRUE(bmp.has_value());
  ToScreenColours(*bmp, colour, nullptr);
  std::vector<uint8_t> rgb;
  for (int32_t y = 0; y < img.height(); ++y)
    for (int32_t x = 0; x < img.width(); ++x) {
      const uint8_t* p = bmp->bits.data() + y * bmp->stride() + x * 3;
      rgb.insert(rgb.end(), {p[2], p[1], p[0]});
    }
  return rgb;
}

int MaxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  EXPECT_EQ(a.size(), b.size());
  int worst = 0;
  for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

bool HaveImageMagick() { return test::RunShell("convert -version 2>/dev/null | grep -q ImageMagick") == 0; }

class Colour : public ::testing::Test {
 protected:
  Colour() : settings(backend) {}
  DecodeDetails Load(const std::string& path, ImageBuffer& out) {
    LoadContext ctx{state, &settings, nullptr};
    DecodeDetails details;
    auto img = LoadPictureFile(path, ctx, &details);
    EXPECT_TRUE(img.has_value()) << path;
    if (img) out = std::move(*img);
    return details;
  }
  test::TempDir dir;
  ViewerState state;
  MemorySettingsBackend backend;
  SettingsStore settings;
};

TEST_F(Colour, TaggedFilesShowAsLcmsConvertsThem) {
  if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  const ImageBuffer picture = Patches();
  const std::string srgb = kProfileDir + "sRGB.icc";
  for (const char* profileName : {"AdobeRGB1998.icc", "ProPhotoRGB.icc", "SwappedRedAndGreen.icc"}) {
    const ColourProfilePtr profile = ProfileFile(profileName);
    if (!profile) GTEST_SKIP() << profileName << " is not installed (colord-data)";
    for (const char* ext : {".jpg", ".png", ".webp"}) {
      SCOPED_TRACE(std::string(profileName) + ext);
      const std::string path = dir.file(std::string("tagged") + ext);
      // WebP at 100 is lossless; the JPEG is compared with its own decoded pixels.
      ASSERT_EQ(SaveByExtension(picture, false, path, 100, 95, PluginOrder::AfterQoi, nullptr,
                                profile.get())
                    .status,
                SaveStatus::Saved);
      ImageBuffer stored;
      const DecodeDetails details = Load(path, stored);
      ASSERT_NE(details.colour, nullptr);
      EXPECT_EQ(details.colour->id(), profile->id());
      EXPECT_EQ(ColourSpaceName(details.colour.get()), profile->description());
      const std::string reference = dir.file("reference.rgb");
      ASSERT_EQ(test::RunShell("convert " + test::ShellQuote(path) + " -profile " +
                               test::ShellQuote(srgb) + " -depth 8 rgb:" +
                               test::ShellQuote(reference)),
                0);
      EXPECT_LE(MaxDifference(ShownRgb(stored, details.colour.get()), test::ReadBytes(reference)), 2);
    }
  }
}

// The shipped plug-ins store the profile in the file and report it back with the numbers as
// they were (JPEG XL codes them losslessly, HEIC lossily).
TEST_F(Colour, PluginFormatsCarryTheProfile) {
  const ColourProfilePtr adobe = ProfileFile("AdobeRGB1998.icc");
  if (!adobe) GTEST_SKIP() << "colord-data is not installed";
  settings.WriteText("PluginsPath", test::BinDir() + "/plugins");
  const ComponentPresence none{};
  ResetFileFiltersForTesting(&none);
  const ImageBuffer picture = Patches();
  const struct {
    const char* ext;
    int tolerance;
  } cases[] = {{".jxl", 0}, {".heic", 4}};
  int tried = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ext);
    if (!pluginWrites(c.ext, &settings)) continue;  // its library was missing at build time
    ++tried;
    EXPECT_TRUE(pluginEmbedsProfile(c.ext, &settings));
    const std::string path = dir.file(std::string("tagged") + c.ext);
    ASSERT_EQ(SaveByExtension(picture, false, path, 100, 95, PluginOrder::AfterQoi, &settings,
                              adobe.get())
                  .status,
              SaveStatus::Saved);
    ImageBuffer stored;
    const DecodeDetails details = Load(path, stored);
    ASSERT_NE(details.colour, nullptr);
    EXPECT_EQ(details.colour->id(), adobe->id());
    EXPECT_EQ(ColourSpaceName(details.colour.get()), adobe->description());
    ASSERT_EQ(stored.width(), picture.width());
    ASSERT_EQ(stored.height(), picture.height());
    int worst = 0;
    for (size_t i = 0; i < picture.pixelCount() * 4; ++i)
      if (i % 4 != 3) worst = std::max(worst, std::abs(stored.data()[i] - picture.data()[i]));
    EXPECT_LE(worst, c.tolerance);
    // With colour management off the file's profile is not reported.
    settings.WriteText("ColourManagement", "false");
    EXPECT_EQ(Load(path, stored).colour, nullptr);
    settings.WriteText("ColourManagement", "true");
    // An sRGB picture is written and read back as one, without a profile to name.
    const std::string plain = dir.file(std::string("plain") + c.ext);
    ASSERT_EQ(SaveByExtension(picture, false, plain, 100, 95, PluginOrder::AfterQoi, &settings,
                              nullptr)
                  .status,
              SaveStatus::Saved);
    EXPECT_EQ(Load(plain, stored).colour, nullptr);
  }
  ResetFileFiltersForTesting(nullptr);
  if (tried == 0) GTEST_SKIP() << "the JPEG XL and HEIF plug-ins are not built";
}

// avifdec hands over the numbers of an AVIF described by code points unconverted and without
// a colour chunk; the load takes the code points from the file's own colour box. The HEIF
// plug-in reports the same code points through its library (which reads AVIF files too).
TEST_F(Colour, AvifCodePointsAreReported) {
  if (!test::HaveTool("avifenc") || !test::HaveTool("avifdec"))
    GTEST_SKIP() << "avifenc/avifdec missing";
  settings.WriteText("PluginsPath", test::BinDir() + "/plugins");
  const ComponentPresence none{};
  ResetFileFiltersForTesting(&none);
  const bool heifPlugin = isSupportedFile("a.heif", &settings);
  const ImageBuffer picture = Patches();
  const std::string png = dir.file("source.png");
  ASSERT_EQ(SavePng(picture.data(), picture.width(), picture.height(), 6, png.c_str()), nullptr);
  const struct {
    const char* cicp;
    Cicp expected;  // primaries 1 with transfer 13 is sRGB: no profile
  } cases[] = {{"12/13/1", {12, 13, 1, true}}, {"9/16/9", {9, 16, 9, true}},
               {"1/13/6", {1, 13, 6, true}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cicp);
    const std::string avif = dir.file("nclx.avif");
    ASSERT_EQ(test::RunShell(std::string("avifenc -s 10 --min 0 --max 0 -y 444 --cicp ") +
                             c.cicp + " " + test::ShellQuote(png) + " " + test::ShellQuote(avif) +
                             " >/dev/null 2>&1"),
              0);
    const IsoColour boxes = ReadIsoMediaColour(avif);
    ASSERT_TRUE(boxes.nclx.has_value());
    EXPECT_EQ(boxes.nclx->primaries, c.expected.primaries);
    EXPECT_EQ(boxes.nclx->transfer, c.expected.transfer);
    EXPECT_EQ(boxes.nclx->matrix, c.expected.matrix);
    EXPECT_TRUE(boxes.icc.empty());
    ImageBuffer stored;
    const DecodeDetails details = Load(avif, stored);
    const ColourProfilePtr expected = ColourProfile::FromCicp(c.expected);
    if (expected == nullptr) {
      EXPECT_EQ(details.colour, nullptr);
    } else {
      ASSERT_NE(details.colour, nullptr);
      EXPECT_EQ(details.colour->id(), expected->id());
    }
    // The numbers are the source's, not converted to sRGB (4:4:4 at the finest quantizer
    // loses only the rounding of the YCbCr round trip).
    int worst = 0;
    for (size_t i = 0; i < picture.pixelCount() * 4; ++i)
      if (i % 4 != 3) worst = std::max(worst, std::abs(stored.data()[i] - picture.data()[i]));
    EXPECT_LE(worst, 3);
    // A file cut inside its meta box reports nothing.
    std::vector<uint8_t> bytes = test::ReadBytes(avif);
    test::WriteBytes(dir.file("nclx.heif"), bytes);
    bytes.resize(60);
    test::WriteBytes(dir.file("cut.avif"), bytes);
    EXPECT_FALSE(ReadIsoMediaColour(dir.file("cut.avif")).nclx.has_value());
    if (!heifPlugin) continue;
    const DecodeResult viaPlugin = loadWithPlugin(dir.file("nclx.heif"), &settings);
    ASSERT_TRUE(viaPlugin);
    if (expected == nullptr) {
      EXPECT_EQ(viaPlugin.details.colour, nullptr);
    } else {
      ASSERT_NE(viaPlugin.details.colour, nullptr);
      EXPECT_EQ(viaPlugin.details.colour->id(), expected->id());
    }
  }
  ResetFileFiltersForTesting(nullptr);
}

// ---- PNG chunks ----

void PutChunk(std::vector<uint8_t>& png, size_t at, const char* type, std::vector<uint8_t> data) {
  std::vector<uint8_t> chunk;
  test::PutU32be(chunk, static_cast<uint32_t>(data.size()));
  chunk.insert(chunk.end(), type, type + 4);
  chunk.insert(chunk.end(), data.begin(), data.end());
  const uLong crc = crc32(0, chunk.data() + 4, static_cast<uInt>(chunk.size() - 4));
  test::PutU32be(chunk, static_cast<uint32_t>(crc));
  png.insert(png.begin() + static_cast<std::ptrdiff_t>(at), chunk.begin(), chunk.end());
}

double SrgbDecode(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }
uint8_t SrgbEncode(double l) {
  l = std::clamp(l, 0.0, 1.0);
  const double v = l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
  return static_cast<uint8_t>(std::lround(v * 255));
}

using Matrix = std::array<std::array<double, 3>, 3>;
Matrix Inverse(const Matrix& m) {
  const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                     m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                     m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  Matrix r;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      const int a = (j + 1) % 3, b = (j + 2) % 3, c = (i + 1) % 3, d = (i + 2) % 3;
      r[i][j] = (m[a][c] * m[b][d] - m[a][d] * m[b][c]) / det;
    }
  return r;
}
// RGB to XYZ for primaries and a white point given as x, y.
Matrix ToXyz(const double (&p)[8]) {
  Matrix m;
  for (int c = 0; c < 3; ++c) {
    const double x = p[2 + 2 * c], y = p[3 + 2 * c];
    m[0][c] = x / y;
    m[1][c] = 1;
    m[2][c] = (1 - x - y) / y;
  }
  const double white[3] = {p[0] / p[1], 1, (1 - p[0] - p[1]) / p[1]};
  const Matrix inv = Inverse(m);
  for (int c = 0; c < 3; ++c) {
    const double s = inv[c][0] * white[0] + inv[c][1] * white[1] + inv[c][2] * white[2];
    for (int r = 0; r < 3; ++r) m[r][c] *= s;
  }
  return m;
}

TEST_F(Colour, PngCicpAndGammaChunksConvertAsTheirFormulasSay) {
  const ImageBuffer picture = Patches();
  const double p3[8] = {0.3127, 0.3290, 0.680, 0.320, 0.265, 0.690, 0.150, 0.060};
  const double bt709[8] = {0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06};
  Matrix p3ToSrgb{};
  const Matrix a = ToXyz(p3), b = Inverse(ToXyz(bt709));
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) p3ToSrgb[i][j] += b[i][k] * a[k][j];

  struct Case {
    const char* name;
    const char* type;
    std::vector<uint8_t> data;
    std::function<std::array<uint8_t, 3>(const uint8_t*)> expected;  // RGB in, RGB out
  };
  const std::vector<Case> cases = {
      {"Display P3 (CICP 12/13)", "cICP", {12, 13, 0, 1},
       [&](const uint8_t* rgb) {
         std::array<uint8_t, 3> out;
         for (int i = 0; i < 3; ++i) {
           double l = 0;
           for (int k = 0; k < 3; ++k) l += p3ToSrgb[i][k] * SrgbDecode(rgb[k] / 255.0);
           out[i] = SrgbEncode(l);
         }
         return out;
       }},
      // gAMA 45455: the stored values are linear light raised to 1/2.2.
      {"gAMA 0.45455", "gAMA", {0, 0, 0xB1, 0x8F},
       [](const uint8_t* rgb) {
         std::array<uint8_t, 3> out;
         for (int i = 0; i < 3; ++i) out[i] = SrgbEncode(std::pow(rgb[i] / 255.0, 1 / 0.45455));
         return out;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.file("chunk.png");
    ASSERT_EQ(SavePng(picture.data(), picture.width(), picture.height(), 100, path.c_str()), nullptr);
    std::vector<uint8_t> png = test::ReadBytes(path);
    PutChunk(png, 8 + 25, c.type, c.data);  // right after IHDR
    test::WriteBytes(path, png);
    ImageBuffer stored;
    const DecodeDetails details = Load(path, stored);
    ASSERT_NE(details.colour, nullptr);
    EXPECT_EQ(details.colour->description(), c.name);
    const std::vector<uint8_t> shown = ShownRgb(stored, details.colour.get());
    std::vector<uint8_t> expected;
    for (size_t i = 0; i < stored.pixelCount(); ++i) {
      const uint8_t* p = stored.data() + i * 4;
      const uint8_t rgb[3] = {p[2], p[1], p[0]};
      const auto e = c.expected(rgb);
      expected.insert(expected.end(), e.begin(), e.end());
    }
    EXPECT_LE(MaxDifference(shown, expected), 2);
  }
  // An sRGB chunk, and cICP saying sRGB, are no profile at all.
  for (auto [type, data] : {std::pair<const char*, std::vector<uint8_t>>{"sRGB", {0}},
                            {"cICP", {1, 13, 0, 1}}}) {
    const std::string path = dir.file("srgb.png");
    ASSERT_EQ(SavePng(picture.data(), picture.width(), picture.height(), 100, path.c_str()), nullptr);
    std::vector<uint8_t> png = test::ReadBytes(path);
    PutChunk(png, 8 + 25, type, data);
    test::WriteBytes(path, png);
    ImageBuffer stored;
    EXPECT_EQ(Load(path, stored).colour, nullptr) << type;
  }
}

TEST_F(Colour, ConversionsAreCachedPerPairAndSrgbCostsNothing) {
  ImageBuffer picture = Patches();
  const std::vector<uint8_t> before(picture.bytes().begin(), picture.bytes().end());
  const int32_t made = ConversionsMade();
  // sRGB to sRGB, also lcms's own sRGB profile against none: nothing made, nothing changed.
  EXPECT_TRUE(ConvertBgra(picture.data(), picture.pixelCount(), nullptr, nullptr));
  EXPECT_TRUE(ConvertBgra(picture.data(), picture.pixelCount(), ColourProfile::Srgb().get(), nullptr));
  EXPECT_TRUE(SameColours(ColourProfile::Srgb().get(), nullptr));
  EXPECT_EQ(ConversionsMade(), made);
  EXPECT_TRUE(std::equal(before.begin(), before.end(), picture.data()));

  // A pair no other test converts (one conversion serves both pixel layouts).
  const ColourProfilePtr wide = ColourProfile::FromCicp({9, 13, 0, true});
  ASSERT_NE(wide, nullptr);
  EXPECT_FALSE(SameColours(wide.get(), nullptr));
  // Two pictures of the same profile read apart still share one conversion.
  const ColourProfilePtr again = ColourProfile::FromIcc(wide->icc());
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->id(), wide->id());
  // The same code points made into a profile in a later second name the same profile (a
  // profile's header carries a date, which its identity covers).
  const time_t madeAt = time(nullptr);
  while (time(nullptr) == madeAt) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const ColourProfilePtr later = ColourProfile::FromCicp({9, 13, 0, true});
  ASSERT_NE(later, nullptr);
  EXPECT_EQ(later->id(), wide->id());
  ConvertBgra(picture.data(), picture.pixelCount(), wide.get(), nullptr);
  const int32_t afterFirst = ConversionsMade();
  EXPECT_EQ(afterFirst, made + 1);
  ConvertBgra(picture.data(), picture.pixelCount(), again.get(), nullptr);
  EXPECT_EQ(ConversionsMade(), afterFirst);
  // Alpha is never touched.
  ImageBuffer alpha = test::RandomPicture(33, 7, 5, true);
  const std::vector<uint8_t> a(alpha.bytes().begin(), alpha.bytes().end());
  ConvertBgra(alpha.data(), alpha.pixelCount(), wide.get(), nullptr);
  for (size_t i = 3; i < a.size(); i += 4) ASSERT_EQ(alpha.data()[i], a[i]);

  // Bytes that are no profile, or a profile of another colour space, mean sRGB.
  EXPECT_EQ(ColourProfile::FromIcc(std::vector<uint8_t>(200, 7)), nullptr);
  EXPECT_EQ(ColourProfile::FromIcc({}), nullptr);
  EXPECT_EQ(ColourProfile::FromCicp({2, 2, 0, true}), nullptr);
  EXPECT_EQ(ColourProfile::FromCicp({99, 13, 0, true}), nullptr);
  EXPECT_EQ(ColourSpaceName(nullptr), "sRGB");
}

TEST_F(Colour, TableConversionsOfMatrixShaperProfilesMatchLcms) {
  // Every fifth level of each channel, as packed BGR and as BGRA with alpha to keep.
  std::vector<uint8_t> bgr, bgra;
  for (int b = 0; b <= 255; b += 5)
    for (int g = 0; g <= 255; g += 5)
      for (int r = 0; r <= 255; r += 5) {
        bgr.insert(bgr.end(), {uint8_t(b), uint8_t(g), uint8_t(r)});
        bgra.insert(bgra.end(), {uint8_t(b), uint8_t(g), uint8_t(r), uint8_t(r ^ g)});
      }
  const ColourProfilePtr adobe = ProfileFile("AdobeRGB1998.icc");
  const ColourProfilePtr prophoto = ProfileFile("ProPhotoRGB.icc");
  const ColourProfilePtr swapped = ProfileFile("SwappedRedAndGreen.icc");
  if (!adobe || !prophoto || !swapped) GTEST_SKIP() << "colord-data is not installed";
  const ColourProfilePtr p3 = ColourProfile::FromCicp({12, 13, 0, true});
  const ColourProfilePtr gamma = ColourProfile::FromPng({.gamma = 0.45455});
  const struct {
    const char* name;
    const ColourProfile* from;
    const ColourProfile* to;
  } pairs[] = {
      {"Adobe RGB to sRGB", adobe.get(), nullptr},
      {"ProPhoto to sRGB", prophoto.get(), nullptr},
      {"Display P3 to sRGB", p3.get(), nullptr},
      {"swapped to sRGB", swapped.get(), nullptr},
      {"gAMA to sRGB", gamma.get(), nullptr},
      {"sRGB to an Adobe RGB screen", nullptr, adobe.get()},
      {"ProPhoto to a Display P3 screen", prophoto.get(), p3.get()},
  };
  for (const auto& pair : pairs) {
    SCOPED_TRACE(pair.name);
    ASSERT_TRUE(ConvertsByTables(pair.from, pair.to));
    std::vector<uint8_t> tables = bgr, lcms = bgr, tables4 = bgra;
    ASSERT_TRUE(ConvertBgr(tables.data(), tables.size() / 3, pair.from, pair.to));
    ASSERT_TRUE(ConvertBgra(tables4.data(), tables4.size() / 4, pair.from, pair.to));
    SetShaperConversions(false);
    ASSERT_TRUE(ConvertBgr(lcms.data(), lcms.size() / 3, pair.from, pair.to));
    SetShaperConversions(true);
    EXPECT_LE(MaxDifference(tables, lcms), 1);
    EXPECT_NE(tables, bgr);
    for (size_t i = 0; i < tables.size() / 3; ++i) {
      ASSERT_TRUE(std::equal(tables.begin() + 3 * i, tables.begin() + 3 * i + 3, tables4.begin() + 4 * i));
      ASSERT_EQ(tables4[4 * i + 3], bgra[4 * i + 3]);
    }
  }
}

TEST_F(Colour, TargetsWithoutProfilesGetSrgbPixelsAndThePictureStaysAsDecoded) {
  const ColourProfilePtr swapped = ProfileFile("SwappedRedAndGreen.icc");
  if (!swapped) GTEST_SKIP() << "colord-data is not installed";
  const ImageBuffer picture = test::SolidPicture(16, 8, 0xFFC01020);  // red 0xC0, green 0x10
  const std::vector<uint8_t> before(picture.bytes().begin(), picture.bytes().end());
  for (const char* ext : {".qoi", ".bgra"}) {
    SCOPED_TRACE(ext);
    const std::string path = dir.file(std::string("out") + ext);
    ASSERT_EQ(SaveByExtension(picture, false, path, 80, 75, PluginOrder::AfterQoi, nullptr,
                              swapped.get())
                  .status,
              SaveStatus::Saved);
    ImageBuffer back;
    const DecodeDetails details = Load(path, back);
    EXPECT_EQ(details.colour, nullptr);
    const uint32_t p = test::PixelAt(back, 3, 3);
    // Red and green change places on the way to sRGB.
    EXPECT_NEAR(static_cast<int>((p >> 16) & 0xFF), 0x10, 2);
    EXPECT_NEAR(static_cast<int>((p >> 8) & 0xFF), 0xC0, 2);
  }
  EXPECT_TRUE(std::equal(before.begin(), before.end(), picture.data()));

  // PNG keeps the profile and the stored numbers.
  const std::string png = dir.file("kept.png");
  ASSERT_EQ(SaveByExtension(picture, false, png, 80, 75, PluginOrder::AfterQoi, nullptr, swapped.get())
                .status,
            SaveStatus::Saved);
  ImageBuffer back;
  const DecodeDetails details = Load(png, back);
  ASSERT_NE(details.colour, nullptr);
  EXPECT_EQ(details.colour->id(), swapped->id());
  EXPECT_EQ(test::PixelAt(back, 0, 0) & 0xFFFFFF, 0xC01020u);

  // With colour management off the load forgets the profile: the numbers are shown as stored.
  settings.WriteText("ColourManagement", "false");
  EXPECT_EQ(Load(png, back).colour, nullptr);
  EXPECT_EQ(state.colourProfile, nullptr);
}

}  // namespace
}  // namespace qp
