// The main window as the file commands see it: opening documents in the view, flashing and
// raising the window, the position pane, the recent-file menu and the three dialog forms.
#pragma once

#include <QList>
#include <QPointer>

#include "frame/frame_file_host.h"
#include "frame/recent_files.h"

class QAction;
class QMenu;

namespace qp {

class ActionFactory;
class CImgViewerView;
class CommandRouter;
class DesktopPort;
class MainWindow;

class QtFileHost final : public FrameFileHost {
 public:
  QtFileHost(MainWindow& window, CImgViewerView& view, DesktopPort& desktop);

  // Puts the recent files in the File menu in place of its "Recent File" item, refreshed
  // each time the menu opens.
  void InstallRecentMenu(ActionFactory& actions, RecentFileList& recent, CommandRouter& router);

  void ActivateWindow() override;
  void RecentFilesChanged() override;
  void RunRenameDialog(RenameDialogModel& model) override;
  void ShowProperties(const PropertiesDialogModel& model) override;
  void ShowAbout(const AboutDialogModel& model) override;

 private:
  void RebuildRecentMenu();

  MainWindow& window_;
  DesktopPort& desktop_;
  RecentFileList* recent_ = nullptr;
  CommandRouter* router_ = nullptr;
  QPointer<QMenu> recentMenu_;
  QAction* placeholder_ = nullptr;
  QList<QAction*> recentActions_;
};

}  // namespace qp
