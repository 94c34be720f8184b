#include "core/setting_values.h"

#include "core/colour.h"
#include "core/paths.h"

namespace qp {

bool FlagIsOn(std::string_view text) { return EqualsIgnoreCase(text, "true"); }

bool SwitchIsOn(int32_t stored) { return stored != 0; }

uint32_t ColourSetting(std::string_view text, uint32_t builtin) {
  return text.empty() ? builtin : ParseColour(text) & 0xFFFFFFu;
}

double FitQuotient(int32_t stored, double fallback) {
  const double q = static_cast<double>(static_cast<uint32_t>(stored)) / 1000.0;
  return (q < 0.1 || q > 10.0) ? fallback : q;
}

int32_t JoystickIndex(int32_t stored) { return stored == 2 ? 1 : 0; }

uint16_t ButtonCommand(int32_t stored) {
  return stored >= 4000 && stored <= 5000 ? static_cast<uint16_t>(stored) : 0;
}

int64_t PrefetchBudgetBytes(int32_t megabytes) {
  return megabytes <= 0 ? 0 : int64_t{megabytes} * 1024 * 1024;
}

}  // namespace qp
