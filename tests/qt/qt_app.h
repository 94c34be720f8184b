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
  static QApplication app(argc, argv);
  return app;
}

}  // namespace qp::test
