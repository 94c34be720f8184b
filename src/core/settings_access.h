// How code below the frame reads and writes named settings. The frame's SettingsStore
// implements it over the per-user settings file; each read goes to the store at the moment of
// use and yields the setting's default from the one settings table when the value is missing,
// unreadable or too long.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qp {

class SettingsAccess {
 public:
  virtual ~SettingsAccess() = default;
  virtual std::string ReadText(std::string_view name) = 0;
  virtual int32_t ReadNumber(std::string_view name) = 0;
  // On exactly when the text equals "true" ignoring case.
  virtual bool ReadFlag(std::string_view name) = 0;
  virtual void WriteText(std::string_view name, std::string_view value) = 0;
  virtual void WriteNumber(std::string_view name, int32_t value) = 0;
};

}  // namespace qp
