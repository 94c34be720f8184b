#include "frame/frame_file_host.h"

#include "core/file_io.h"
#include "frame/commands.h"
#include "view/view.h"

namespace qp {

bool FrameFileHost::OpenDocument(const std::string& path) {
  // A file that cannot be read is not opened, so it never enters the recent list.
  if (!CanOpenForRead(path)) return false;
  view_.OpenDocument(path);
  return true;
}

void FrameFileHost::FlashWindow() { frame_.Flash(); }

void FrameFileHost::SetPositionText(const std::string& text) {
  frame_.SetPaneText(kPanePosition, text);
}

}  // namespace qp
