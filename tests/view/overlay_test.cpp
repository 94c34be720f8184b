#include "view/overlay.h"

#include <cstring>

#include <gtest/gtest.h>

#include "frame/settings_store.h"

namespace qp {
namespace {

using Lines = std::vector<std::tuple<int32_t, int32_t, std::string>>;

Lines Flat(const std::vector<OverlayLine>& lines) {
  Lines out;
  for (const auto& l : lines) out.emplace_back(l.x, l.y, l.text);
  return out;
}

OverlayInput Jpeg(int32_t mode) {
  OverlayInput in;
  in.mode = mode;
  in.path = "/pics/a.jpg";
  in.dw = 1000;
  in.dh = 750;
  in.width = 2000;
  in.height = 1500;
  in.fileSize = 1025;
  in.sniffCode = 2;
  return in;
}

TEST(Overlay, NameIsCentredUnderThePicture) {
  EXPECT_EQ(Flat(LayOutOverlay(Jpeg(1))), (Lines{{465, 710, "a.jpg"}}));
  EXPECT_TRUE(LayOutOverlay(Jpeg(0)).empty());

  OverlayInput tiny = Jpeg(1);
  tiny.dw = 40;
  tiny.dh = 100;
  EXPECT_EQ(Flat(LayOutOverlay(tiny)), (Lines{{120, 120, "a.jpg"}}));

  OverlayInput full = Jpeg(1);
  full.fullScreen = true;
  full.ox = 460;
  full.oy = 165;
  full.severalFolders = true;  // the whole path is shown
  EXPECT_EQ(Flat(LayOutOverlay(full)), (Lines{{460 + (1000 - 14 * 11) / 2, 750 + 330 - 40, "/pics/a.jpg"}}));

  // Names are centred by their characters: "Grüße.jpg" has 9, in 11 bytes of UTF-8.
  OverlayInput umlauts = Jpeg(1);
  umlauts.path = "/pics/Gr\u00fc\u00dfe.jpg";
  EXPECT_EQ(LayOutOverlay(umlauts).at(0).x, (1000 - 14 * 9) / 2);
  EXPECT_EQ(CharacterCount("\xe6\x97\xa5\xe6\x9c\xac.png"), 6u);  // two of three bytes each
  EXPECT_EQ(CharacterCount("\xf0\x9f\x93\xb7"), 1u);               // one of four
  // Bytes of another encoding are one character each, as each is drawn as one mark.
  EXPECT_EQ(CharacterCount("caf\xe9.jpg"), 8u);
  EXPECT_EQ(CharacterCount("\xe6\x97"), 2u);
}

TEST(Overlay, DetailLines) {
  OverlayInput in = Jpeg(2);
  in.listPosition = 2;
  in.listCount = 7;
  EXPECT_EQ(Flat(LayOutOverlay(in)), (Lines{{465, 710, "a.jpg"},
                                            {20, 40, "#: 2/7"},
                                            {20, 60, "W: 2000"},
                                            {20, 80, "H: 1500"},
                                            {20, 100, "S: 1 KB"},
                                            {20, 120, "R: 0.0%"}}));
  // One file: no position line; 1024 bytes are still bytes; a 1 x 1 picture has no ratio.
  in.listCount = 1;
  in.fileSize = 1024;
  in.width = in.height = 1;
  EXPECT_EQ(Flat(LayOutOverlay(in)), (Lines{{465, 710, "a.jpg"},
                                            {20, 40, "W: 1"},
                                            {20, 60, "H: 1"},
                                            {20, 80, "S: 1024 B"}}));
}

TEST(Overlay, RatioAndRateByType) {
  OverlayInput in = Jpeg(2);
  in.width = 100;
  in.height = 100;
  in.fileSize = 15000;
  struct Case {
    int32_t code;
    bool details, alpha, animating;
    int32_t pngType;
    std::string line;
  };
  const Case cases[] = {
      {2, false, false, false, 0, "R: 50.0%"},
      {-4, true, false, false, 6, "R: 37.5%"},   // RGBA
      {4, true, false, false, 2, "R: 50.0%"},
      {4, false, false, false, 6, ""},           // no details: no line
      {3, true, true, false, 0, "R: 37.5%"},
      {3, true, true, true, 0, ""},              // a playing GIF
      {11, false, false, false, 0, "R: 37.5%"},
      {6, true, false, false, 0, ""},
  };
  for (const Case& c : cases) {
    in.sniffCode = c.code;
    in.detailsValid = c.details;
    in.hasAlpha = c.alpha;
    in.animating = c.animating;
    in.pngColourType = c.pngType;
    const auto lines = LayOutOverlay(in);
    ASSERT_EQ(lines.size(), c.line.empty() ? 4u : 5u) << c.code;
    if (!c.line.empty()) {
      EXPECT_EQ(lines.back().text, c.line) << c.code;
    }
  }
  in.sniffCode = -13;
  in.detailsValid = true;
  in.animating = true;
  in.videoFrameRate = 2997;
  in.videoAudioStream = 1;
  const auto lines = LayOutOverlay(in);
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[4].text, "F: 29.97");
  EXPECT_EQ(lines[5].text, "(audio)");
  EXPECT_EQ(lines[5].y, 120);
}

TEST(Overlay, MetadataLinesSkipAZeroDateWithoutAGap) {
  ExifInfo e{};
  e.isExif = 1;
  std::strcpy(e.cameraMake, "Maker");
  std::strcpy(e.cameraModel, "Model 7");
  std::memcpy(e.dateTime, "0000:00:00 00:00:00", 20);
  e.isoEquivalent = 200;
  std::strcpy(e.latitudeRef, "N");
  e.latitudeDegrees = 52;
  e.latitudeMinutes = 30;
  e.latitudeSeconds = 12.25f;
  e.altitudeRef = 1;
  e.altitude = 12;
  std::strcpy(e.comments, std::string(70, 'c').c_str());
  OverlayInput in = Jpeg(2);
  in.exif = &e;
  const Lines lines = Flat(LayOutOverlay(in));
  const Lines tail(lines.begin() + 5, lines.end());
  EXPECT_EQ(tail, (Lines{{20, 140, "Maker"},
                         {20, 160, "Model 7"},
                         {20, 180, "ISO: 200"},
                         {20, 200, "Lat: 52 30' 12.2\" N"},
                         {20, 220, "Alt: -12"},
                         {20, 260, std::string(63, 'c')}}));
}

TEST(Overlay, ColourFromTheSettings) {
  MemorySettingsBackend backend;
  SettingsStore settings(backend);
  EXPECT_EQ(OverlayColour(settings), 0x00FF00u);
  settings.WriteText("OSDColour", "#FF0000");
  EXPECT_EQ(OverlayColour(settings), 0xFF0000u);
}

}  // namespace
}  // namespace qp
