// Named per-user settings, read at the moment of use with the table's default. A text value
// that is missing or does not fit its read capacity yields the default; a flag is on exactly
// when its text is "true" in any case. Writes go through at once; failures are ignored.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/settings_access.h"
#include "platform/settings_backend.h"

namespace qp {

inline constexpr std::string_view kSettingsGroup = "Settings";
inline constexpr std::string_view kRecentFileGroup = "Recent File List";

class SettingsStore final : public SettingsAccess {
 public:
  explicit SettingsStore(SettingsBackend& backend) : backend_(backend) {}

  // The stored text when it fits `capacity` bytes with its terminating NUL, else `def`.
  std::string readText(std::string_view name, int32_t capacity, std::string_view def);
  int32_t readNumber(std::string_view name, int32_t def);
  bool writeText(std::string_view name, std::string_view text);
  bool writeNumber(std::string_view name, int32_t value);
  // Removes a group with everything in it; true when it is gone or never existed.
  bool deleteKeyTree(std::string_view group);

  // SettingsAccess, with capacities and defaults from the settings table.
  std::string ReadText(std::string_view name) override;
  int32_t ReadNumber(std::string_view name) override;
  bool ReadFlag(std::string_view name) override;
  void WriteText(std::string_view name, std::string_view value) override { writeText(name, value); }
  void WriteNumber(std::string_view name, int32_t value) override { writeNumber(name, value); }

 private:
  SettingsBackend& backend_;
};

}  // namespace qp
