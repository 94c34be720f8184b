// The QApplication of the Qt tests: the one the test program's environment made, or (when a
// test runs without it) one on the offscreen platform that lives to the end.
#pragma once

#include <QApplication>
#include <cstdlib>

namespace qp::test {

inline QApplication& QtApp() {
  if (auto* running = qobject_cast<QApplication*>(QCoreApplication::instance())) return *running;
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
