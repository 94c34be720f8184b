// Placeholder until the plug-in registry lands: no plug-in reads or writes anything.
#include "codecs/plugins.h"

namespace qp {

std::optional<ImageBuffer> loadWithPlugin(const std::string&, ViewerState&, SettingsAccess*) {
  return std::nullopt;
}
bool pluginWrites(const std::string&, SettingsAccess*) { return false; }
const char* saveWithPlugin(const uint8_t*, int32_t, int32_t, const std::string&, SettingsAccess*) {
  return "Format not supported";
}

}  // namespace qp
