#include "qt/settings_app/settings_window.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTest>
#include <cstdlib>
#include <fstream>

#include "frame/settings_store.h"
#include "qt/qsettings_backend.h"
#include "qt/qt_test_app.h"
#include "support/test_support.h"

namespace qp {
namespace {

// The per-user settings file of the viewer, in a configuration folder of the test's own.
class SettingsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::App();
    setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
    // Qt reads the folder once per process; an earlier test may have fixed it already.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(dir_.path()));
    ASSERT_EQ(QSettingsBackend().fileName(), file_);
  }
  void TearDown() override { unsetenv("XDG_CONFIG_HOME"); }

  template <typename T>
  T* editor(SettingsWindow& w, const char* name) {
    T* e = w.findChild<T*>(name);
    EXPECT_NE(e, nullptr) << name;
    return e;
  }

  test::TempDir dir_;
  std::string file_ = dir_.path() + "/Quillpix/Quill Pix.conf";
};

TEST_F(SettingsWindowTest, ChangesReachTheViewersStore) {
  QSettingsBackend backend;
  SettingsWindow window(backend);
  editor<QSpinBox>(window, "WebpQuality")->setValue(55);
  editor<QCheckBox>(window, "ToolbarVisible")->click();
  editor<QComboBox>(window, "External4Action")->setCurrentIndex(1);
  QTest::keyClicks(editor<QLineEdit>(window, "External4"), "/backup");
  QTest::keyClicks(editor<QLineEdit>(window, "ExternalTitle4"), "Back up");
  editor<QSpinBox>(window, "JoyButton3")->setValue(4160);
  editor<QPushButton>(window, "apply")->click();

  // What the viewer reads: its own backend on the per-user file, through its store.
  QSettingsBackend viewerBackend;
  SettingsStore viewer(viewerBackend);
  EXPECT_EQ(viewer.ReadNumber("WebpQuality"), 55);
  EXPECT_TRUE(viewer.ReadFlag("ToolbarVisible"));
  EXPECT_EQ(viewer.ReadText("External4"), "COPY /backup");
  EXPECT_EQ(viewer.ReadText("ExternalTitle4"), "Back up");
  EXPECT_EQ(viewer.ReadNumber("JoyButton3"), 4160);
  // Settings left alone are not written at all.
  EXPECT_FALSE(viewerBackend.getText("JpegQuality").has_value());

  window.restoreDefaults();
  EXPECT_EQ(window.value("WebpQuality"), "80");
  EXPECT_EQ(window.value("External4"), "");
  editor<QPushButton>(window, "apply")->click();
  EXPECT_EQ(viewer.ReadNumber("WebpQuality"), 80);
  EXPECT_FALSE(viewer.ReadFlag("ToolbarVisible"));
  EXPECT_EQ(viewer.ReadText("External4"), "");
}

TEST_F(SettingsWindowTest, HandWrittenValuesShowTheViewersReadingAndStayUntilChanged) {
  test::RunShell("mkdir -p " + test::ShellQuote(dir_.path() + "/Quillpix"));
  const std::string untouched[] = {"DisableNumericSort=1", "OSDColour=#40", "UseResize=2",
                                   "UseGestures=yes", "FitWidthFactor=50"};
  {
    std::ofstream out(file_);
    out << "[Settings]\nJpegQuality=abc\n";
    for (const std::string& line : untouched) out << line << "\n";
  }
  QSettingsBackend backend;
  SettingsWindow window(backend);
  EXPECT_TRUE(window.flagged("JpegQuality"));
  EXPECT_TRUE(window.flagged("UseGestures"));
  EXPECT_TRUE(window.flagged("OSDColour"));
  EXPECT_FALSE(window.flagged("WebpQuality"));
  EXPECT_EQ(editor<QSpinBox>(window, "JpegQuality")->value(), 75);
  EXPECT_FALSE(editor<QCheckBox>(window, "UseGestures")->isChecked());  // only "true" is on
  EXPECT_FALSE(editor<QCheckBox>(window, "DisableNumericSort")->isChecked());
  EXPECT_TRUE(editor<QCheckBox>(window, "UseResize")->isChecked());
  EXPECT_EQ(editor<QSpinBox>(window, "FitWidthFactor")->value(), 970);
  EXPECT_EQ(window.value("OSDColour"), "#404040");
  EXPECT_EQ(window.findChild<QLabel*>("OSDColourWarning")->text(),
            "The file holds \"#40\": the viewer reads it as #404040.");

  // Out-of-range numbers and over-long texts cannot be typed in.
  QSpinBox* quality = editor<QSpinBox>(window, "JpegQuality");
  quality->setValue(250);
  EXPECT_EQ(quality->value(), 100);
  QLineEdit* title = editor<QLineEdit>(window, "ExternalTitle2");
  QTest::keyClicks(title, QString(520, 'x'));
  EXPECT_EQ(title->text().size(), 511);

  // Apply writes the two changed values; the others stay in the file as they were written.
  ASSERT_TRUE(window.apply());
  EXPECT_FALSE(window.flagged("JpegQuality"));
  EXPECT_TRUE(window.flagged("UseGestures"));
  QSettings file(QString::fromStdString(file_), QSettings::IniFormat);
  EXPECT_EQ(file.value("Settings/JpegQuality").toString(), "100");
  EXPECT_EQ(file.value("Settings/ExternalTitle2").toString().size(), 511);
  const std::vector<uint8_t> bytes = test::ReadBytes(file_);
  const std::string text(bytes.begin(), bytes.end());
  for (const std::string& line : untouched)
    EXPECT_NE(text.find("\n" + line + "\n"), std::string::npos) << line << " in\n" << text;
}

}  // namespace
}  // namespace qp
