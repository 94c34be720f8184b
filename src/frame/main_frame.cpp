#include "frame/main_frame.h"

namespace qp {

BarVisibility ReadBarVisibility(SettingsAccess& settings) {
  return BarVisibility{settings.ReadFlag("ToolbarVisible"), settings.ReadFlag("StatusVisible")};
}

void SaveBarVisibility(SettingsAccess& settings, BarVisibility bars) {
  settings.WriteText("ToolbarVisible", bars.toolbar ? "true" : "false");
  settings.WriteText("StatusVisible", bars.status ? "true" : "false");
}

void ReadStartupFlags(ViewerState& state, SettingsAccess& settings) {
  state.useJoystick = settings.ReadFlag("UseJoystick") ? 1 : 0;
  state.useGestures = settings.ReadFlag("UseGestures") ? 1 : 0;
  state.showProgress = settings.ReadFlag("DisableProgress") ? 0 : 1;
  state.numericSort = settings.ReadFlag("DisableNumericSort") ? 0 : 1;
}

}  // namespace qp
