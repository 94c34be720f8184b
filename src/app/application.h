// CImgViewerApp's start-up without the window: reads the command line, runs a one-shot mode
// and says how the program ends. main() supplies the platform pieces; tests supply their own.
#pragma once

#include <string>

#include "app/command_line.h"
#include "core/settings_access.h"
#include "platform/system_decoder.h"

namespace qp {

struct AppPorts {
  SettingsAccess& settings;
  SystemImageDecoder* systemDecoder = nullptr;
};

struct AppOutcome {
  int exitCode = 0;
  std::string out;  // for standard output
  std::string err;  // one line for standard error when a mode failed
  bool openWindow = false;        // a normal start: the viewer window opens on `firstFile`
  bool invalidTimestamp = false;  // refused: the first file's last-write time is not valid
};

AppOutcome RunCommandLine(const CommandLine& cl, AppPorts& ports);

}  // namespace qp
