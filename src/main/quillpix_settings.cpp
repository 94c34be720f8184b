// QuillpixSettings: edits the viewer's settings in the per-user settings file.
#include <QApplication>

#include "qt/qsettings_backend.h"
#include "qt/settings_app/settings_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("QuillpixSettings");
  QApplication::setApplicationVersion(QP_VERSION);
  QApplication::setDesktopFileName("org.quillpix.Quillpix");
  qp::QSettingsBackend backend;
  qp::SettingsWindow window(backend);
  window.resize(760, 560);
  window.show();
  return app.exec();
}
