// Where named settings are kept: text values and 32-bit numbers under one per-user group.
// The application's backend is an INI file through QSettings; engine tests use the in-memory
// one. Every call goes to the store at once: no caching, so another program's writes are seen
// at the next read.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qp {

class SettingsBackend {
 public:
  virtual ~SettingsBackend() = default;
  virtual std::optional<std::string> getText(std::string_view name) = 0;
  virtual std::optional<int32_t> getNumber(std::string_view name) = 0;
  virtual bool setText(std::string_view name, std::string_view value) = 0;
  virtual bool setNumber(std::string_view name, int32_t value) = 0;
  // Removes every value of a group (the settings, or the recent-file list).
  virtual bool removeGroup(std::string_view group) = 0;
  // Replaces every value of the backend's group `group` by `values` (name, text), as
  // removeGroup followed by setText for each. A store that writes a file on every change
  // writes it once here: the recent-file list is saved this way on every file shown.
  virtual bool replaceGroup(std::string_view group,
                            const std::vector<std::pair<std::string, std::string>>& values) {
    bool ok = removeGroup(group);
    for (const auto& [name, text] : values) ok = setText(name, text) && ok;
    return ok;
  }
};

// Holds one group's values in memory; removing another group leaves them alone.
class MemorySettingsBackend final : public SettingsBackend {
 public:
  explicit MemorySettingsBackend(std::string group = "Settings") : group_(std::move(group)) {}
  std::optional<std::string> getText(std::string_view name) override {
    auto it = values_.find(std::string(name));
    if (it == values_.end()) return std::nullopt;
    return it->second;
  }
  std::optional<int32_t> getNumber(std::string_view name) override {
    auto it = values_.find(std::string(name));
    if (it == values_.end()) return std::nullopt;
    try {
      return static_cast<int32_t>(std::stol(it->second));
    } catch (...) {
      return std::nullopt;
    }
  }
  bool setText(std::string_view name, std::string_view value) override {
    values_[std::string(name)] = std::string(value);
    return true;
  }
  bool setNumber(std::string_view name, int32_t value) override {
    values_[std::string(name)] = std::to_string(value);
    return true;
  }
  bool removeGroup(std::string_view group) override {
    if (group == group_) values_.clear();
    return true;
  }

 private:
  std::string group_;
  std::map<std::string, std::string, std::less<>> values_;
};

}  // namespace qp
