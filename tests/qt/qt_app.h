// One QApplication for the Qt tests, on the offscreen platform unless another is chosen.
#pragma once

#include <QApplication>
#include <cstdlib>

namespace qp::test {

inline QApplication& QtApp() {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "qp_qt_tests";
  static char* argv[] = {name, nullptr};
  // Never destroyed: at exit Qt's own statics go first, and tearing the application down after
  // them crashes. The pointer stays reachable, so leak checkers do not count it.
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

}  // namespace qp::test
