// The batch converter's window: the pictures to convert (files, or folders with their
// subfolders on request), the target format and its options, the target folder and the rule
// for existing files; Convert runs the batch on all cores with a progress bar and Cancel, and
// shows the report when it ends.
#pragma once

#include <QWidget>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/batch.h"
#include "core/settings_access.h"
#include "platform/system_decoder.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace qp {

class BatchWindow : public QWidget {
  Q_OBJECT
 public:
  // `settings` gives the saved qualities and the plug-in folder; `decoder` may be null.
  BatchWindow(SettingsAccess& settings, SystemImageDecoder* decoder, QWidget* parent = nullptr);
  ~BatchWindow() override;

  void addInputs(const std::vector<std::string>& paths);
  // The options as the form shows them.
  BatchOptions options() const;
  // Starts converting; false when nothing is to be converted or a batch is running.
  bool start();
  void cancel();
  bool running() const { return static_cast<bool>(worker_); }
  const BatchReport& lastReport() const { return lastReport_; }

 signals:
  void finished();

 private:
  void formatChanged();
  void done(BatchReport report);
  void setRunning(bool on);

  SettingsAccess& settings_;
  SystemImageDecoder* decoder_;
  std::vector<SaveFormat> formats_;

  QListWidget* inputs_ = nullptr;
  QCheckBox* recursive_ = nullptr;
  QComboBox* format_ = nullptr;
  QSpinBox* quality_ = nullptr;
  QCheckBox* lossless_ = nullptr;
  QCheckBox* resize_ = nullptr;
  QSpinBox* longest_ = nullptr;
  QCheckBox* autoRotate_ = nullptr;
  QLineEdit* targetFolder_ = nullptr;
  QComboBox* existing_ = nullptr;
  QPushButton* convert_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* status_ = nullptr;
  QPlainTextEdit* report_ = nullptr;
  QList<QWidget*> form_;  // disabled while a batch runs

  std::unique_ptr<SharedSettings> shared_;
  std::unique_ptr<BatchContext> context_;
  std::atomic<bool> cancel_flag_{false};
  std::unique_ptr<std::jthread> worker_;
  BatchReport lastReport_;
};

}  // namespace qp
