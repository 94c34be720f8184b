#include "codecs/file_filters.h"

#include <gtest/gtest.h>

#include "codecs/avif.h"
#include "codecs/freeimage.h"

namespace qp {
namespace {

const std::string kBuiltinPatterns =
    "*.webp;*.jpg;*.jpeg;*.gif;*.bmp;*.dib;*.png;*.tif;*.tiff;*.wmf;*.emf;*.ico;*.bgra;*.svg;"
    "*.svgz;*.qoi;*.lst";
const std::string kFixedOpen =
    "|Google Webp (*.webp)|*.webp|Uncompressed (*.bgra)|*.bgra|Windows or OS/2 Bitmap (*.bmp)|"
    "*.bmp|Compuserve Graphics Interchange Format (*.gif)|*.gif|Windows Icon (*.ico)|*.ico|"
    "Independent JPEG Group (*.jpg;*.jpeg)|*.jpg;*.jpeg|Portable Network Graphics (*.png)|*.png|"
    "Tagged Image Format (*.tif)|*.tif;*.tiff|Windows Meta Files (*.wmf)|*.wmf;*.emf|Scalable "
    "Vector Graphics (*.svg;*.svgz)|*.svg;*.svgz|Quite OK Image Format (*.qoi)|*.qoi|Image "
    "List (*.lst)|*.lst";

TEST(FileFilters, BuiltInOnly) {
  const FileFilterSet f = BuildFileFilters({}, {});
  EXPECT_EQ(f.patterns, kBuiltinPatterns);
  EXPECT_EQ(f.openFilter, "Supported Image Files|" + kBuiltinPatterns + kFixedOpen +
                              "|All Files (*.*)|*.*||");
  EXPECT_EQ(f.saveFilter,
            "Google Webp (*.webp)|*.webp|Google Lossless Webp (*.webp)|*.webp|Uncompressed "
            "(*.bgra)|*.bgra|Windows Icon (*.ico)|*.ico|Portable Network Graphics (*.png)|*.png|"
            "Quite OK Image Format (*.qoi)|*.qoi||");
  EXPECT_EQ(DefaultSaveExtensionIn(f.saveFilter, 1), ".webp");
  EXPECT_EQ(DefaultSaveExtensionIn(f.saveFilter, 2), ".webp");
  EXPECT_EQ(DefaultSaveExtensionIn(f.saveFilter, 3), ".bgra");
  EXPECT_EQ(DefaultSaveExtensionIn(f.saveFilter, 6), ".qoi");
  EXPECT_EQ(DefaultSaveExtensionIn(f.saveFilter, 7), "");
  EXPECT_EQ(DefaultSaveExtensionIn(f.saveFilter, 0), "");
  EXPECT_TRUE(IsSaveExtensionIn(f.saveFilter, "QOI"));
  EXPECT_TRUE(IsSaveExtensionIn(f.saveFilter, "png"));
  EXPECT_FALSE(IsSaveExtensionIn(f.saveFilter, "pn"));
  EXPECT_FALSE(IsSaveExtensionIn(f.saveFilter, "jpg"));
}

TEST(FileFilters, ComponentsAndOnePlugin) {
  const ComponentPresence all{true, true, true, true};
  const PluginDescription example{"Example", "xyz", 3};
  const FileFilterSet f = BuildFileFilters(all, std::span(&example, 1));
  EXPECT_TRUE(f.patterns.ends_with(";*.cut;*.lwf;*.avif;*.mp4;*.webm;*.xyz"));
  EXPECT_TRUE(f.openFilter.ends_with("|Image List (*.lst)|*.lst|Example (*.xyz)|*.xyz"
                                     "|All Files (*.*)|*.*||"));
  EXPECT_TRUE(f.saveFilter.ends_with("|Tagged Image Format (*.tif)|*.tif"
                                     "|Example (*.xyz)|*.xyz||"));
  EXPECT_EQ(DefaultSaveExtensionIn(f.saveFilter, 12), ".xyz");
  EXPECT_TRUE(IsSaveExtensionIn(f.saveFilter, "xyz"));
  EXPECT_TRUE(IsSaveExtensionIn(f.saveFilter, "jp2"));

  // Read-only and write-only plug-ins appear only where they belong.
  const PluginDescription two[] = {{"Reader", "rd", 1}, {"Writer", "wr", 2}};
  const FileFilterSet g = BuildFileFilters({}, two);
  EXPECT_TRUE(g.patterns.ends_with(";*.lst;*.rd"));
  EXPECT_NE(g.openFilter.find("|Reader (*.rd)|*.rd|All"), std::string::npos);
  EXPECT_EQ(g.openFilter.find("Writer"), std::string::npos);
  EXPECT_TRUE(g.saveFilter.ends_with("|Writer (*.wr)|*.wr||"));
  EXPECT_EQ(g.saveFilter.find("Reader"), std::string::npos);
}

TEST(FileFilters, DroppedFileCheck) {
  EXPECT_TRUE(IsSupportedIn(kBuiltinPatterns, "/photos/IMG_1.JPG"));
  EXPECT_FALSE(IsSupportedIn(kBuiltinPatterns, "/photos/IMG_1.jp"));
  EXPECT_TRUE(IsSupportedIn(kBuiltinPatterns, "list.lst"));  // the last pattern
  EXPECT_FALSE(IsSupportedIn(kBuiltinPatterns, "/photos.jpg/README"));
  EXPECT_FALSE(IsSupportedIn(kBuiltinPatterns, "a.peg"));
}

TEST(FileFilters, ManyPluginsStayWithinLimits) {
  std::vector<PluginDescription> many;
  for (int i = 0; i < 400; ++i) {
    many.push_back({"Format number " + std::to_string(i), "f" + std::to_string(i), 3});
  }
  const FileFilterSet f = BuildFileFilters({true, true, true, true}, many);
  for (const std::string* s : {&f.patterns, &f.openFilter, &f.saveFilter}) {
    EXPECT_LE(s->size(), kMaxFilterText);
  }
  EXPECT_GT(f.patterns.size(), 1010u);  // filled nearly to the limit with whole patterns
  EXPECT_TRUE(f.patterns.starts_with(kBuiltinPatterns));
  EXPECT_TRUE(f.openFilter.ends_with("|All Files (*.*)|*.*||"));
  EXPECT_NE(f.openFilter.find(kFixedOpen), std::string::npos);
  EXPECT_TRUE(f.saveFilter.ends_with("*.f" + std::to_string(0) + "||") ||
              f.saveFilter.ends_with("||"));
  // Every entry kept is whole: descriptions and patterns still pair up.
  const size_t bars = static_cast<size_t>(std::count(f.saveFilter.begin(), f.saveFilter.end(), '|'));
  EXPECT_EQ(bars % 2, 1u);
  EXPECT_EQ(std::count(f.openFilter.begin(), f.openFilter.end(), '|') % 2, 1);
  // The last pattern of the list is a whole one and still found.
  const std::string last = f.patterns.substr(f.patterns.rfind(';') + 2);
  EXPECT_TRUE(IsSupportedIn(f.patterns, "x" + last));
}

// The limits are exact: a plug-in whose pattern or save entry brings its string to 1023
// characters is kept, one character more is left out, and a later shorter one still fits.
TEST(FileFilters, PluginEntriesUpToTheLastCharacter) {
  const size_t builtinSave = BuildFileFilters({}, {}).saveFilter.size() - 2;  // without "||"
  const size_t patternRoom = kMaxFilterText - kBuiltinPatterns.size() - 3;  // ";*." + ext
  for (size_t extra : {0, 1}) {
    SCOPED_TRACE(extra);
    const PluginDescription readers[] = {{"Long", std::string(patternRoom + extra, 'e'), 1},
                                         {"Short", "s", 1}};
    const FileFilterSet f = BuildFileFilters({}, readers);
    if (extra == 0) {
      EXPECT_EQ(f.patterns.size(), kMaxFilterText);
      EXPECT_TRUE(f.patterns.ends_with(";*." + readers[0].extension));
    } else {
      EXPECT_TRUE(f.patterns.ends_with(";*.lst;*.s"));
    }
    EXPECT_LE(f.openFilter.size(), kMaxFilterText);

    // "|" + description + " (*." + ext + ")|*." + ext is the description plus 11 here.
    const std::string description(kMaxFilterText - builtinSave - 2 - 11 + extra, 'd');
    const PluginDescription writers[] = {{description, "w", 2}, {"S", "s", 2}};
    const FileFilterSet g = BuildFileFilters({}, writers);
    if (extra == 0) {
      EXPECT_EQ(g.saveFilter.size(), kMaxFilterText);
      EXPECT_TRUE(g.saveFilter.ends_with(" (*.w)|*.w||"));
    } else {
      EXPECT_TRUE(g.saveFilter.ends_with("|*.qoi|S (*.s)|*.s||"));
    }
  }
}

// The lists name only what the decoders will really open: a hidden FreeImage adds nothing.
TEST(FileFilters, DetectionAgreesWithTheDecoders) {
  SetFreeImageHidden(true);
  EXPECT_FALSE(DetectComponents().freeImage);
  SetFreeImageHidden(false);
  const ComponentPresence found = DetectComponents();
  EXPECT_EQ(found.freeImage, FreeImageAvailable());
  EXPECT_EQ(found.avif, avifDecoderPresent());
}

}  // namespace
}  // namespace qp
