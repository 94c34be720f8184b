// The file commands' window as far as the frame can serve it without a toolkit: documents open
// in the view, the flash and the position pane go to the frame window. It has no dialogs (a
// rename is cancelled, the properties and about boxes do not show) and leaves the window where
// it is; the Qt host adds those. A router assembled without file parts uses it with a recent
// list kept in memory.
#pragma once

#include <string>

#include "frame/file_host.h"

namespace qp {

class CImgViewerView;
class FrameHost;

class FrameFileHost : public FileHost {
 public:
  FrameFileHost(FrameHost& frame, CImgViewerView& view) : frame_(frame), view_(view) {}

  bool OpenDocument(const std::string& path) override;
  void FlashWindow() override;
  void ActivateWindow() override {}
  void SetPositionText(const std::string& text) override;
  void RecentFilesChanged() override {}
  void RunRenameDialog(RenameDialogModel& /*model*/) override {}
  void ShowProperties(const PropertiesDialogModel& /*model*/) override {}
  void ShowAbout(const AboutDialogModel& /*model*/) override {}

 private:
  FrameHost& frame_;
  CImgViewerView& view_;
};

}  // namespace qp
