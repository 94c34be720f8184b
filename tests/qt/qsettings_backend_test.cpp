#include "qt/qsettings_backend.h"

#include <gtest/gtest.h>

#include <QSettings>

#include "frame/settings_store.h"
#include "support/test_support.h"

namespace qp {
namespace {

TEST(QSettingsBackend, ValuesPersistInTheIniFile) {
  test::TempDir dir;
  const std::string ini = dir.file("Quill Pix.conf");
  {
    QSettingsBackend backend("Settings", ini);
    SettingsStore store(backend);
    store.WriteNumber("WebpQuality", 91);
    store.WriteText("LineColour", "#FF8000");
  }
  QSettingsBackend again("Settings", ini);
  SettingsStore store(again);
  EXPECT_EQ(store.ReadNumber("WebpQuality"), 91);
  EXPECT_EQ(store.ReadText("LineColour"), "#FF8000");
  EXPECT_EQ(store.ReadNumber("JpegQuality"), 75);
  const std::vector<uint8_t> bytes = test::ReadBytes(ini);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_NE(text.find("[Settings]"), std::string::npos);
}

TEST(QSettingsBackend, ReplacingAGroupKeepsOnlyTheNewValuesAndOtherGroups) {
  test::TempDir dir;
  const std::string ini = dir.file("Quill Pix.conf");
  {
    QSettingsBackend settings("Settings", ini);
    settings.setText("LineColour", "#FF8000");
    QSettingsBackend recent("Recent File List", ini);
    for (int i = 1; i <= 4; ++i) recent.setText("File" + std::to_string(i), "/old/" + std::to_string(i));
    EXPECT_TRUE(recent.replaceGroup("Recent File List", {{"File1", "/new/a.png"}, {"File2", "/new/b.png"}}));
  }
  QSettingsBackend recent("Recent File List", ini);
  EXPECT_EQ(recent.getText("File1").value_or(""), "/new/a.png");
  EXPECT_EQ(recent.getText("File2").value_or(""), "/new/b.png");
  EXPECT_FALSE(recent.getText("File3").has_value());
  EXPECT_FALSE(recent.getText("File4").has_value());
  QSettingsBackend settings("Settings", ini);
  EXPECT_EQ(settings.getText("LineColour").value_or(""), "#FF8000");
}

TEST(QSettingsBackend, AnotherProgramsWritesAreSeenAtTheNextRead) {
  test::TempDir dir;
  const std::string ini = dir.file("Quill Pix.conf");
  QSettingsBackend backend("Settings", ini);
  SettingsStore store(backend);
  EXPECT_FALSE(store.ReadFlag("ToolbarVisible"));
  {
    QSettings other(QString::fromStdString(ini), QSettings::IniFormat);
    other.setValue("Settings/ToolbarVisible", "TRUE");
    other.setValue("Settings/JpegQuality", 33);
  }
  EXPECT_TRUE(store.ReadFlag("ToolbarVisible"));
  EXPECT_EQ(store.ReadNumber("JpegQuality"), 33);
  EXPECT_TRUE(store.deleteKeyTree(kSettingsGroup));
  EXPECT_FALSE(store.ReadFlag("ToolbarVisible"));
  EXPECT_EQ(store.ReadNumber("JpegQuality"), 75);
}

TEST(QSettingsBackend, PerUserFileFollowsTheConfigFolder) {
  QSettingsBackend backend;
  const std::string name = backend.fileName();
  EXPECT_NE(name.find("Quillpix/Quill Pix.conf"), std::string::npos) << name;
}

}  // namespace
}  // namespace qp
