#include "qt/file_host_qt.h"

#include <QAction>
#include <QMenu>

#include "frame/commands.h"
#include "qt/action_factory.h"
#include "qt/dialogs/file_dialogs.h"
#include "qt/main_window.h"

namespace qp {

QtFileHost::QtFileHost(MainWindow& window, CImgViewerView& view, DesktopPort& desktop)
    : FrameFileHost(window, view), window_(window), desktop_(desktop) {}

void QtFileHost::InstallRecentMenu(ActionFactory& actions, RecentFileList& recent,
                                   CommandRouter& router) {
  recent_ = &recent;
  router_ = &router;
  placeholder_ = actions.action(kCmdRecentFirst);
  if (placeholder_ == nullptr) return;
  for (QObject* owner : placeholder_->associatedObjects()) {
    if (auto* menu = qobject_cast<QMenu*>(owner)) {
      recentMenu_ = menu;
      QObject::connect(menu, &QMenu::aboutToShow, menu, [this] { RebuildRecentMenu(); });
      break;
    }
  }
  RebuildRecentMenu();
}

void QtFileHost::RebuildRecentMenu() {
  if (recentMenu_ == nullptr || recent_ == nullptr || placeholder_ == nullptr) return;
  for (QAction* a : recentActions_) {
    recentMenu_->removeAction(a);
    a->deleteLater();
  }
  recentActions_.clear();
  const int n = static_cast<int>(recent_->entries().size());
  // "Recent File" stands, disabled, for an empty list.
  placeholder_->setVisible(n == 0);
  placeholder_->setEnabled(false);
  for (int i = 0; i < n; ++i) {
    auto* a = new QAction(QString::fromStdString(recent_->MenuText(i)), recentMenu_);
    const auto id = static_cast<uint16_t>(kCmdRecentFirst + i);
    a->setData(id);
    a->setStatusTip(placeholder_->statusTip());
    QObject::connect(a, &QAction::triggered, recentMenu_, [this, id] {
      if (router_ != nullptr) router_->Execute(id);
    });
    recentMenu_->insertAction(placeholder_, a);
    recentActions_ << a;
  }
}

void QtFileHost::ActivateWindow() {
  window_.raise();
  window_.activateWindow();
}

void QtFileHost::RecentFilesChanged() { RebuildRecentMenu(); }

void QtFileHost::RunRenameDialog(RenameDialogModel& model) { RunRenameForm(&window_, model); }

void QtFileHost::ShowProperties(const PropertiesDialogModel& model) {
  RunPropertiesForm(&window_, model, desktop_);
}

void QtFileHost::ShowAbout(const AboutDialogModel& model) {
  RunAboutForm(&window_, model, desktop_);
}

}  // namespace qp
