#include "qt/batch_app/batch_window.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QCheckBox>

#include "codecs/png.h"
#include "frame/settings_store.h"
#include "qt/qt_test_app.h"
#include "support/test_support.h"

namespace qp {
namespace {

TEST(BatchWindow, ConvertsTheChosenFolderAndShowsTheReport) {
  test::App();
  test::TempDir dir;
  const std::string in = dir.file("in");
  test::RunShell("mkdir -p " + test::ShellQuote(in));
  for (int i = 0; i < 3; ++i) {
    const ImageBuffer img = test::RandomPicture(30, 20, i);
    const std::string path = in + "/p" + std::to_string(i) + ".png";
    ASSERT_EQ(SavePng(img.data(), img.width(), img.height(), 100, path.c_str()), nullptr);
  }
  test::WriteBytes(in + "/broken.png", {0x89, 'P', 'N', 'G'});

  MemorySettingsBackend backend;
  SettingsStore store(backend);
  BatchWindow window(store, nullptr);
  window.addInputs({in});
  QComboBox* format = window.findChild<QComboBox*>("format");
  ASSERT_NE(format, nullptr);
  format->setCurrentIndex(format->findData("qoi"));
  window.findChild<QLineEdit*>("targetFolder")->setText(QString::fromStdString(dir.file("out")));

  QSignalSpy finished(&window, &BatchWindow::finished);
  window.findChild<QPushButton*>("convert")->click();
  ASSERT_TRUE(window.running());
  ASSERT_TRUE(finished.wait(60000));
  EXPECT_FALSE(window.running());
  EXPECT_EQ(window.lastReport().converted, 3u);
  EXPECT_EQ(window.lastReport().failed, 1u);
  EXPECT_EQ(window.findChild<QProgressBar*>("progress")->value(), 4);
  const QString report = window.findChild<QPlainTextEdit*>("report")->toPlainText();
  EXPECT_TRUE(report.startsWith("Converted 3, skipped 0, failed 1\n")) << report.toStdString();
  EXPECT_TRUE(report.contains("broken.png")) << report.toStdString();
  for (int i = 0; i < 3; ++i)
    EXPECT_FALSE(test::ReadBytes(dir.file("out/p" + std::to_string(i) + ".qoi")).empty());
}

// The quality editor offers only what the chosen format takes: 1 to 100 for JPEG (0 is no
// JPEG quality), 0 to 100 for WebP, nothing for lossless WebP or formats without one.
TEST(BatchWindow, QualityFollowsTheFormatsRange) {
  test::App();
  MemorySettingsBackend backend;
  SettingsStore store(backend);
  BatchWindow window(store, nullptr);
  auto* format = window.findChild<QComboBox*>("format");
  auto* quality = window.findChild<QSpinBox*>("quality");
  format->setCurrentIndex(format->findData("jpg"));
  quality->setValue(0);
  EXPECT_EQ(quality->minimum(), 1);
  EXPECT_EQ(window.options().quality, 1);
  format->setCurrentIndex(format->findData("webp"));
  EXPECT_EQ(quality->minimum(), 0);
  quality->setValue(0);
  EXPECT_EQ(window.options().quality, 0);
  window.findChild<QCheckBox*>("lossless")->setChecked(true);
  EXPECT_FALSE(quality->isEnabled());
  format->setCurrentIndex(format->findData("png"));
  EXPECT_FALSE(quality->isEnabled());
  EXPECT_EQ(window.options().quality, -1);
}

}  // namespace
}  // namespace qp
