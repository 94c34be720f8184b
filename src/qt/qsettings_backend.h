// Settings in an INI file through QSettings: organisation "Quillpix", application
// "Quill Pix" ($XDG_CONFIG_HOME/Quillpix/Quill Pix.conf), values in one group. Each read first
// re-reads the file so that a value another program wrote is seen at once.
#pragma once

#include <memory>
#include <string>

#include "platform/settings_backend.h"

class QSettings;

namespace qp {

class QSettingsBackend final : public SettingsBackend {
 public:
  // The per-user file, or an explicit INI file (tests, portable setups).
  explicit QSettingsBackend(std::string group = "Settings", std::string iniFile = {});
  ~QSettingsBackend() override;

  std::optional<std::string> getText(std::string_view name) override;
  std::optional<int32_t> getNumber(std::string_view name) override;
  bool setText(std::string_view name, std::string_view value) override;
  bool setNumber(std::string_view name, int32_t value) override;
  bool removeGroup(std::string_view group) override;
  bool replaceGroup(std::string_view group,
                    const std::vector<std::pair<std::string, std::string>>& values) override;
  // The file the values live in.
  std::string fileName() const;

 private:
  std::unique_ptr<QSettings> settings_;
  std::string group_;
};

}  // namespace qp
