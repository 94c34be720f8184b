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
