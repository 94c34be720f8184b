// The QApplication of the Qt tests: the one the test program already runs, else an offscreen one
// made on first use and left to the end of the process on purpose (destroyed among the static
// objects at exit, it would take Qt's input devices down after the globals they refer to).
#pragma once

#include <QApplication>

namespace qp::test {

inline QApplication& App() {
  if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return *app;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "qp_qt_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = new QApplication(argc, argv);
  return *app;
}

}  // namespace qp::test
