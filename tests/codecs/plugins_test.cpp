#include "codecs/plugins.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "codecs/file_filters.h"
#include "codecs/load_dispatch.h"
#include "codecs/png.h"
#include "codecs/save_dispatch.h"
#include "support/test_support.h"

namespace qp {
namespace {

class FolderSettings : public SettingsAccess {
 public:
  explicit FolderSettings(std::string folder) : folder_(std::move(folder)) {}
  std::string ReadText(std::string_view name) override {
    return name == "PluginsPath" ? folder_ : std::string();
  }
  int32_t ReadNumber(std::string_view) override { return 0; }
  bool ReadFlag(std::string_view) override { return false; }
  void WriteText(std::string_view, std::string_view) override {}
  void WriteNumber(std::string_view, int32_t) override {}

 private:
  std::string folder_;
};

std::string FirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

// A plug-in folder made of copies of the built stand-ins, named so they sort in order.
class PluginRegistryTest : public ::testing::Test {
 protected:
  void Use(std::initializer_list<const char*> standIns) {
    int n = 0;
    for (const char* s : standIns) {
      const std::string from = std::string(QP_BIN_DIR) + "/../test-plugins/" + s + ".so";
      const std::string to = dir_.file(std::to_string(n++) + "_" + s + ".so");
      std::filesystem::copy_file(from, to);
    }
    std::ofstream(dir_.file("notes.txt")) << "not a plug-in";
    const ComponentPresence none{};
    ResetFileFiltersForTesting(&none);
  }
  void TearDown() override { ResetFileFiltersForTesting(nullptr); }

  test::TempDir dir_;
  test::TempDir out_;
  FolderSettings settings_{dir_.path()};
  ViewerState state_;
};

TEST_F(PluginRegistryTest, ExamplePluginInAllStrings) {
  Use({"example_rw", "no_info", "flags_zero", "no_exports"});
  EXPECT_TRUE(patternList(&settings_).ends_with(";*.lst;*.xyz;*.nx"));
  EXPECT_EQ(PluginCount(), 2u);  // no_info and flags_zero are skipped
  EXPECT_TRUE(openFilter(&settings_).ends_with(
      "|Example (*.xyz)|*.xyz|No Exports (*.nx)|*.nx|All Files (*.*)|*.*||"));
  EXPECT_TRUE(saveFilter(&settings_).ends_with(
      "|Example (*.xyz)|*.xyz|No Exports (*.nx)|*.nx||"));
  EXPECT_EQ(defaultSaveExtension(7, &settings_), ".xyz");
  EXPECT_TRUE(isSupportedFile("/x/Pic.XYZ", &settings_));
  EXPECT_FALSE(isSupportedFile("/x/pic.fz", &settings_));

  const std::string xyz = out_.file("a.xyz");
  test::WriteBytes(xyz, {1, 2, 3});
  auto picture = loadWithPlugin(xyz, &settings_);
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->width(), 2);
  EXPECT_EQ(test::PixelAt(*picture, 1, 0), 0xFF112233u);

  // The load dispatch offers an unknown extension to the plug-ins.
  LoadContext ctx{state_, &settings_};
  auto viaDispatch = LoadPictureFile(xyz, ctx);
  ASSERT_TRUE(viaDispatch);
  EXPECT_EQ(test::PixelAt(*viaDispatch, 0, 0), 0xFF112233u);

  ImageBuffer img = test::SolidPicture(3, 2, 0x80AABBCC);
  EXPECT_TRUE(pluginWrites("xyz", &settings_));
  EXPECT_TRUE(pluginWrites("/out/b.XYZ", &settings_));
  EXPECT_EQ(saveWithPlugin(img.data(), 3, 2, out_.file("b.xyz"), &settings_), nullptr);
  EXPECT_EQ(FirstLine(out_.file("b.xyz")), "Example 3x2 80AABBCC");

  // A plug-in without the load and save functions reads and writes nothing.
  test::WriteBytes(out_.file("c.nx"), {1});
  EXPECT_FALSE(loadWithPlugin(out_.file("c.nx"), &settings_));
  EXPECT_STREQ(saveWithPlugin(img.data(), 3, 2, out_.file("d.nx"), &settings_),
               "Format not supported");
  EXPECT_STREQ(saveWithPlugin(img.data(), 3, 2, out_.file("d.fz"), &settings_),
               "Format not supported");
}

TEST_F(PluginRegistryTest, TwoPluginsForOneExtension) {
  Use({"first_ro", "second_rw"});
  test::WriteBytes(out_.file("a.dup"), {0});
  auto picture = loadWithPlugin(out_.file("a.dup"), &settings_);
  ASSERT_TRUE(picture);
  EXPECT_EQ(test::PixelAt(*picture, 0, 0), 0xFF0000FFu);  // the first one reads
  EXPECT_FALSE(pluginWrites("dup", &settings_));          // the first entry decides
  ImageBuffer img = test::SolidPicture(1, 1, 0xFF000000);
  EXPECT_EQ(saveWithPlugin(img.data(), 1, 1, out_.file("b.DUP"), &settings_), nullptr);
  EXPECT_EQ(FirstLine(out_.file("b.DUP")), "Second 1x1 FF000000");  // the first that writes
}

TEST_F(PluginRegistryTest, WriteOnlyFailingAndLyingPlugins) {
  Use({"write_only", "failing", "liar"});
  test::WriteBytes(out_.file("a.wo"), {0});
  EXPECT_FALSE(loadWithPlugin(out_.file("a.wo"), &settings_));
  EXPECT_EQ(patternList(&settings_).find("*.wo"), std::string::npos);
  EXPECT_TRUE(pluginWrites("wo", &settings_));
  ImageBuffer img = test::SolidPicture(1, 1, 0xFF000000);
  EXPECT_EQ(saveWithPlugin(img.data(), 1, 1, out_.file("b.wo"), &settings_), nullptr);
  EXPECT_STREQ(saveWithPlugin(img.data(), 1, 1, out_.file("b.bad"), &settings_),
               "Could not save");
  test::WriteBytes(out_.file("a.bad"), {0});
  EXPECT_FALSE(loadWithPlugin(out_.file("a.bad"), &settings_));
  // A size that does not match the returned block is refused, not read past.
  test::WriteBytes(out_.file("a.lie"), {0});
  EXPECT_FALSE(loadWithPlugin(out_.file("a.lie"), &settings_));
}

// The colour entry points are optional: a plug-in without them reads sRGB pictures and is
// handed sRGB pixels; one with them reports the colour space and is handed the picture's own
// numbers with the profile.
TEST_F(PluginRegistryTest, ColourEntriesAreOptional) {
  Use({"example_rw", "colour_rw"});
  test::WriteBytes(out_.file("a.xyz"), {0});
  test::WriteBytes(out_.file("a.col"), {0});
  auto plain = loadWithPlugin(out_.file("a.xyz"), &settings_);
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain.details.colour, nullptr);
  // Code points 12/13 (the profile block claims more bytes than it holds and is not read).
  auto picture = loadWithPlugin(out_.file("a.col"), &settings_);
  ASSERT_TRUE(picture);
  EXPECT_EQ(test::PixelAt(*picture, 1, 0), 0xFF204080u);
  const ColourProfilePtr p3 = ColourProfile::FromCicp({12, 13, 0, true});
  ASSERT_NE(picture.details.colour, nullptr);
  EXPECT_EQ(picture.details.colour->id(), p3->id());
  // These settings read every flag as off: with colour management off the load forgets it.
  LoadContext ctx{state_, &settings_};
  DecodeDetails details;
  ASSERT_TRUE(LoadPictureFile(out_.file("a.col"), ctx, &details));
  EXPECT_EQ(details.colour, nullptr);

  EXPECT_FALSE(pluginEmbedsProfile("xyz", &settings_));
  EXPECT_TRUE(pluginEmbedsProfile("col", &settings_));
  const ImageBuffer img = test::SolidPicture(3, 2, 0xFF20C040);
  for (const char* ext : {"xyz", "col"}) {
    const std::string path = out_.file(std::string("b.") + ext);
    ASSERT_EQ(SaveByExtension(img, false, path, 80, 90, PluginOrder::AfterQoi, &settings_,
                              p3.get())
                  .status,
              SaveStatus::Saved);
  }
  // The plug-in without the entry gets the numbers converted to sRGB.
  const std::string old = FirstLine(out_.file("b.xyz"));
  EXPECT_TRUE(old.starts_with("Example 3x2 FF")) << old;
  EXPECT_NE(old, "Example 3x2 FF20C040");
  EXPECT_EQ(FirstLine(out_.file("b.col")),
            "Colour 3x2 FF20C040 icc " + std::to_string(p3->icc().size()) + " acsp");
  // Without a profile both get plain sRGB saves.
  ASSERT_EQ(SaveByExtension(img, false, out_.file("c.col"), 80, 90, PluginOrder::AfterQoi,
                            &settings_, nullptr)
                .status,
            SaveStatus::Saved);
  EXPECT_EQ(FirstLine(out_.file("c.col")), "Colour 3x2 FF20C040");
  // Pixels meant in a profile are never handed to a plug-in as if they were sRGB.
  EXPECT_STREQ(saveWithPlugin(img.data(), 3, 2, out_.file("d.xyz"), &settings_, p3->icc()),
               "Could not save");
}

// A FIFO named like a library is passed over instead of blocking the first look at the folder.
TEST_F(PluginRegistryTest, FifoNamedLikeALibraryIsSkipped) {
  Use({"example_rw"});
  ASSERT_EQ(mkfifo(dir_.file("1_pipe.so").c_str(), 0600), 0);
  EXPECT_TRUE(patternList(&settings_).ends_with(";*.lst;*.xyz"));
  EXPECT_EQ(PluginCount(), 1u);
}

TEST(PluginRegistry, NoFolderNoPlugins) {
  const ComponentPresence none{};
  ResetFileFiltersForTesting(&none);
  FolderSettings missing("/nonexistent/plugins");
  ViewerState s;
  EXPECT_FALSE(loadWithPlugin("/tmp/a.xyz", &missing));
  EXPECT_EQ(PluginCount(), 0u);
  ImageBuffer img = test::SolidPicture(1, 1, 0);
  EXPECT_STREQ(saveWithPlugin(img.data(), 1, 1, "/tmp/a.xyz", &missing), "Format not supported");
  EXPECT_TRUE(saveFilter(&missing).ends_with("Quite OK Image Format (*.qoi)|*.qoi||"));
  EXPECT_EQ(defaultSaveExtension(2, &missing), ".webp");  // the lossless entry
  EXPECT_EQ(defaultSaveExtension(3, &missing), ".bgra");
  ResetFileFiltersForTesting(nullptr);
}

// The real plug-ins shipped beside the program.
class ShippedPluginsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const ComponentPresence none{};
    ResetFileFiltersForTesting(&none);
  }
  void TearDown() override { ResetFileFiltersForTesting(nullptr); }
  test::TempDir dir_;
  FolderSettings settings_{test::BinDir() + "/plugins"};
  ViewerState state_;
};

TEST_F(ShippedPluginsTest, JpegXlRoundTripIsLossless) {
  if (!pluginWrites("jxl", &settings_)) GTEST_SKIP() << "JPEG XL plug-in not built";
  EXPECT_TRUE(isSupportedFile("a.jxl", &settings_));
  EXPECT_TRUE(isSupportedFile("a.HEIC", &settings_));
  EXPECT_TRUE(isSupportedFile("a.heif", &settings_));
  EXPECT_TRUE(pluginWrites("heic", &settings_));

  // Opaque: alpha bytes all 0 (as the JPEG decoder leaves them) must not become transparent.
  ImageBuffer opaque = test::RandomPicture(37, 23, 7);
  for (size_t i = 0; i < opaque.pixelCount(); ++i) opaque.data()[i * 4 + 3] = 0;
  const std::string a = dir_.file("opaque.jxl");
  ASSERT_EQ(saveWithPlugin(opaque.data(), 37, 23, a, &settings_), nullptr);
  auto back = loadWithPlugin(a, &settings_);
  ASSERT_TRUE(back);
  ASSERT_EQ(back->width(), 37);
  ASSERT_EQ(back->height(), 23);
  for (int y = 0; y < 23; ++y) {
    for (int x = 0; x < 37; ++x) {
      ASSERT_EQ(test::PixelAt(*back, x, y), test::PixelAt(opaque, x, y) | 0xFF000000u);
    }
  }
  EXPECT_FALSE(back.details.hasAlpha);

  ImageBuffer soft = test::RandomPicture(16, 9, 3, /*withAlpha=*/true);
  const std::string b = dir_.file("soft.jxl");
  ASSERT_EQ(saveWithPlugin(soft.data(), 16, 9, b, &settings_), nullptr);
  auto softBack = loadWithPlugin(b, &settings_);
  ASSERT_TRUE(softBack);
  EXPECT_EQ(std::vector<uint8_t>(softBack->bytes().begin(), softBack->bytes().end()),
            std::vector<uint8_t>(soft.bytes().begin(), soft.bytes().end()));
  EXPECT_TRUE(softBack.details.hasAlpha);

  // Damaged files yield nothing.
  auto bytes = test::ReadBytes(b);
  bytes.resize(bytes.size() / 2);
  test::WriteBytes(dir_.file("cut.jxl"), bytes);
  EXPECT_FALSE(loadWithPlugin(dir_.file("cut.jxl"), &settings_));
  test::WriteBytes(dir_.file("junk.jxl"), {0xFF, 0x0A, 1, 2, 3});
  EXPECT_FALSE(loadWithPlugin(dir_.file("junk.jxl"), &settings_));
}

// A HEIC made by the HEIF encoder from a two-colour picture opens through the secondary
// loader: its ftyp box sniffs as ISO media, the video loader and the external library cannot
// read it, and the plug-in for its extension does.
TEST_F(ShippedPluginsTest, HeicOpens) {
  if (!test::HaveTool("heif-enc")) GTEST_SKIP() << "heif-enc not installed";
  if (!isSupportedFile("a.heic", &settings_)) GTEST_SKIP() << "HEIF plug-in not built";
  ImageBuffer source = test::SolidPicture(64, 32, 0xFF2040C0);
  for (int y = 0; y < 32; ++y)
    for (int x = 32; x < 64; ++x) StorePixel(source.pixel(x, y), 0xFFE0C020);
  const std::string png = dir_.file("src.png");
  ASSERT_EQ(SavePng(source.data(), 64, 32, 100, png.c_str()), nullptr);
  LoadContext ctx{state_, &settings_};
  for (const char* name : {"photo.heic", "photo.HEIF"}) {
    SCOPED_TRACE(name);
    const std::string heic = dir_.file(name);
    ASSERT_EQ(test::RunShell("heif-enc -q 90 -o " + test::ShellQuote(heic) + " " +
                             test::ShellQuote(png) + " >/dev/null 2>&1"),
              0);
    auto picture = LoadPictureFile(heic, ctx);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->width(), 64);
    EXPECT_EQ(picture->height(), 32);
    for (const auto& [x, want] : {std::pair{8, 0x2040C0u}, std::pair{56, 0xE0C020u}}) {
      const uint32_t p = test::PixelAt(*picture, x, 16);
      EXPECT_NEAR(int(p >> 16 & 255), int(want >> 16 & 255), 12) << x;
      EXPECT_NEAR(int(p >> 8 & 255), int(want >> 8 & 255), 12) << x;
      EXPECT_NEAR(int(p & 255), int(want & 255), 12) << x;
    }
    // The viewer's own load takes the same way.
    ViewerState view;
    LoadContext viewCtx{view, &settings_};
    DisplayLoad shown = LoadFileForDisplay(heic, viewCtx);
    ASSERT_TRUE(shown.picture);
    EXPECT_EQ(shown.picture.width(), 64);
    view.StopPlayback();
  }
  test::WriteBytes(dir_.file("junk.heic"), {0, 0, 0, 12, 'f', 't', 'y', 'p', 'h', 'e', 'i', 'c'});
  EXPECT_FALSE(loadWithPlugin(dir_.file("junk.heic"), &settings_));
  EXPECT_FALSE(LoadPictureFile(dir_.file("junk.heic"), ctx));
}

// The JPEG XL plug-in behind the save table and the secondary loader: the extension alone
// picks it on both ways.
TEST_F(ShippedPluginsTest, JpegXlThroughTheSaveAndLoadTables) {
  if (!pluginWrites("jxl", &settings_)) GTEST_SKIP() << "JPEG XL plug-in not built";
  ImageBuffer picture = test::RandomPicture(29, 14, 5);
  for (size_t i = 0; i < picture.pixelCount(); ++i) picture.data()[i * 4 + 3] = 0;
  const std::string path = dir_.file("Saved.JXL");
  for (PluginOrder order : {PluginOrder::BeforeQoi, PluginOrder::AfterQoi}) {
    const SaveResult saved =
        SaveByExtension(picture, /*hasAlpha=*/false, path, 80, 90, order, &settings_);
    ASSERT_EQ(saved.status, SaveStatus::Saved);
    LoadContext ctx{state_, &settings_};
    auto back = LoadPictureFile(path, ctx);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->width(), 29);
    ASSERT_EQ(back->height(), 14);
    for (int y = 0; y < 14; ++y)
      for (int x = 0; x < 29; ++x)
        ASSERT_EQ(test::PixelAt(*back, x, y) & 0xFFFFFF, test::PixelAt(picture, x, y) & 0xFFFFFF);
  }
  // A directory in the way fails the save with the plug-in's message.
  std::filesystem::create_directory(dir_.file("taken.jxl"));
  const SaveResult blocked = SaveByExtension(picture, false, dir_.file("taken.jxl"), 80, 90,
                                             PluginOrder::AfterQoi, &settings_);
  EXPECT_EQ(blocked.status, SaveStatus::Failed);
  ASSERT_NE(blocked.message, nullptr);
  EXPECT_STREQ(blocked.message, "Could not save");
}

}  // namespace
}  // namespace qp
