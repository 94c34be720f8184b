#include "frame/properties_dialog.h"

#include <gtest/gtest.h>

#include <cstring>

#include "codecs/load_dispatch.h"
#include "core/paths.h"
#include "frame/file_operations.h"
#include "support/file_fixture.h"
#include "support/jpeg_builder.h"

namespace qp {
namespace {

using test::FileFixture;

TEST(PropertiesBox, ReportOfTheShownPictureAndItsButtons) {
  FileFixture f;
  const std::string path = f.file("p.jpg");
  ASSERT_TRUE(test::WriteJpeg(path, test::SolidPicture(4, 2, 0xFF102030), 6));
  LoadContext load{f.state, &f.settings, nullptr};
  f.state.currentPath = path;
  DisplayLoad shown = LoadFileForDisplay(path, load);
  ASSERT_TRUE(shown.picture);
  f.state.fullScreen = 1;
  PropertiesCommand(f.ctx, shown.picture.pixels(), 4, 2);
  EXPECT_EQ(f.toggles, 2);  // left around the box
  ASSERT_EQ(f.host.properties.size(), 1u);
  const PropertiesDialogModel& m = f.host.properties[0];
  EXPECT_EQ(m.path, path);
  EXPECT_EQ(m.report.rfind("Width: 4\r\nHeight: 2\r\nUnique Colours: ", 0), 0u) << m.report;
  EXPECT_NE(m.report.find("File Type: JPG\r\n"), std::string::npos) << m.report;
  EXPECT_NE(m.report.find("Orientation: Rotate 90 CW\r\n"), std::string::npos);
  EXPECT_FALSE(m.mapLink);  // no GPS position: no button
  GoogleMapsCommand(f.ctx);
  EXPECT_TRUE(f.fakes.desktop.urls.empty());

  PropertiesDialogModel withMap;
  withMap.mapLink = "https://maps.example/maps?q=1";
  withMap.PressMap(f.fakes.desktop);
  EXPECT_EQ(f.fakes.desktop.urls, std::vector<std::string>{"https://maps.example/maps?q=1"});
}

TEST(PropertiesBox, GoogleMapsOpensTheLinkWithoutItsLineEnd) {
  FileFixture f;
  f.state.exif.isExif = 1;
  f.state.exif.latitudeDegrees = 48;
  f.state.exif.latitudeMinutes = 51;
  f.state.exif.latitudeSeconds = 29.64f;
  std::strcpy(f.state.exif.latitudeRef, "N");
  f.state.exif.longitudeDegrees = 2;
  f.state.exif.longitudeMinutes = 17;
  f.state.exif.longitudeSeconds = 40.2f;
  std::strcpy(f.state.exif.longitudeRef, "E");
  GoogleMapsCommand(f.ctx);
  ASSERT_EQ(f.fakes.desktop.urls.size(), 1u);
  const std::string& url = f.fakes.desktop.urls[0];
  EXPECT_NE(url.find("/maps"), std::string::npos);
  EXPECT_TRUE(url.ends_with("q=48%2051.494N%202%2017.670E")) << url;
  f.state.exif.isExif = 0;
  GoogleMapsCommand(f.ctx);
  EXPECT_EQ(f.fakes.desktop.urls.size(), 1u);
}

TEST(PropertiesBox, CopyFilenameAndAbout) {
  FileFixture f;
  CopyFilenameCommand(f.ctx);
  EXPECT_FALSE(f.fakes.clipboard.text);
  f.state.currentPath = "/pictures/a b.png";
  CopyFilenameCommand(f.ctx);
  EXPECT_EQ(f.fakes.clipboard.text.value_or(""), "/pictures/a b.png");
  AboutCommand(f.ctx);
  ASSERT_EQ(f.host.abouts.size(), 1u);
  EXPECT_EQ(f.host.abouts[0].text, "about");
  // No invented web address: the button opens the README, here the one beside the source.
  const std::string readme = f.host.abouts[0].documentation;
  EXPECT_EQ(readme, ReadmePath());
  EXPECT_EQ(FileNameOf(readme), "README.md");
  EXPECT_TRUE(PathExists(readme));
  f.host.abouts[0].PressDocumentation(f.fakes.desktop);
  EXPECT_EQ(f.fakes.desktop.urls, std::vector<std::string>{readme});
  // Without a README the button opens nothing.
  AboutDialogModel none;
  none.PressDocumentation(f.fakes.desktop);
  EXPECT_EQ(f.fakes.desktop.urls.size(), 1u);
}

}  // namespace
}  // namespace qp
