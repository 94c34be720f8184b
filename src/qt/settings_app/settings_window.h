// The settings program's window: one tab per group of settings, one editor per setting that
// only takes valid values, the default beside it. Each editor shows what the viewer does with
// the stored value; a value written by hand in another form is marked, with the viewer's
// reading in its tool tip. Apply writes only the editors the user changed, through the viewer's
// SettingsStore into the same file, so the viewer sees them at its next read.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "frame/settings_model.h"
#include "platform/settings_backend.h"

class QLabel;
class QTabWidget;
class QDialogButtonBox;

namespace qp {

class SettingsWindow : public QDialog {
  Q_OBJECT
 public:
  explicit SettingsWindow(SettingsBackend& backend, QWidget* parent = nullptr);

  // Writes every value the user changed. True when all writes went through.
  bool apply();
  // Sets every editor to its default (written at the next Apply).
  void restoreDefaults();
  // The value an editor holds now, in the settings' text form; "" for an unknown name.
  std::string value(const std::string& name) const;
  // Whether the setting's stored value is marked as read differently from its written form.
  bool flagged(const std::string& name) const;

 private:
  struct Row {
    const SettingField* field = nullptr;
    std::function<std::string()> get;
    std::function<void(const std::string&)> set;
    QLabel* warning = nullptr;
    std::string shown;  // what the editor showed for the value read
  };
  QWidget* makeEditor(Row& row, QWidget* parent);
  void load();
  const Row* find(const std::string& name) const;

  SettingsEdit edit_;
  QTabWidget* tabs_ = nullptr;
  QDialogButtonBox* buttons_ = nullptr;
  std::vector<Row> rows_;
};

}  // namespace qp
