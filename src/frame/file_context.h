// Everything the file commands (navigation, file operations, saving, external programs, the
// lossless JPEG menu and the dialogs of this area) work with. The application assembles one and
// hands it to the command handlers; tests assemble one over fakes and temporary folders.
#pragma once

#include <string>

#include "core/viewer_state.h"
#include "frame/file_host.h"
#include "frame/file_list.h"
#include "frame/recent_files.h"
#include "core/settings_access.h"
#include "platform/ports.h"

namespace qp {

struct FileContext {
  ViewerState& state;
  SettingsAccess& settings;
  Ports& ports;
  FileHost& host;
  FileList& files;
  RecentFileList& recent;
  // Where the sibling programs live: the folder of the running program.
  std::string programFolder;
  // The about box's text.
  std::string aboutText;

  // Leaves fullscreen when it is on; true when it did, so the caller can return to it.
  bool LeaveFullScreen() {
    if (state.fullScreen == 0) return false;
    state.ToggleFullScreenWithFit();
    return true;
  }
};

}  // namespace qp
