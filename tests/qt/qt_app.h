// One QApplication for the widget tests, on the offscreen platform unless one is chosen.
#pragma once

#include <QApplication>
#include <cstdlib>
#include <memory>

namespace qp::test {

inline QApplication& WidgetApp() {
  static std::unique_ptr<QApplication> app = [] {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "qp_qt_tests";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QApplication>(argc, argv);
  }();
  return *app;
}

}  // namespace qp::test
