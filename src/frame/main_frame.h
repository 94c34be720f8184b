// The frame window's own steps: the bar visibility read at creation and stored at close, the
// start-up flags put into ViewerState, and the file list as the view sees it.
#pragma once

#include "core/settings_access.h"
#include "core/viewer_state.h"
#include "frame/file_list.h"
#include "view/view_host.h"

namespace qp {

struct BarVisibility {
  bool toolbar = false;
  bool status = true;
};
// "ToolbarVisible" (off unless "true") and "StatusVisible" (on when missing).
BarVisibility ReadBarVisibility(SettingsAccess& settings);
void SaveBarVisibility(SettingsAccess& settings, BarVisibility bars);

// The flags the frame reads once at creation: joystick, gestures, progress bar, numeric sort.
void ReadStartupFlags(ViewerState& state, SettingsAccess& settings);

class FileListForView final : public ViewFileList {
 public:
  explicit FileListForView(FileList& files) : files_(files) {}
  void SetCurrent(const std::string& path) override { files_.setCurrent(path); }
  void LoadListFile(const std::string& path) override { files_.loadListFile(path); }
  int32_t Position() const override { return files_.position(); }
  int32_t Count() const override { return files_.count(); }
  bool SpansSeveralFolders() const override { return files_.spansSeveralFolders(); }

 private:
  FileList& files_;
};

}  // namespace qp
