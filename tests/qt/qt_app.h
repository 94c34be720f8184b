// One QApplication for the widget tests, on the offscreen platform unless one is chosen. It is
// destroyed when the tests end, before the libraries' own statics go away at exit.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <memory>

namespace qp::test {

class WidgetAppEnvironment : public ::testing::Environment {
 public:
  void TearDown() override { app.reset(); }
  std::unique_ptr<QApplication> app;
};

inline QApplication& WidgetApp() {
  // GoogleTest takes ownership of the environment.
  static WidgetAppEnvironment* env = [] {
    auto owned = std::make_unique<WidgetAppEnvironment>();
    WidgetAppEnvironment* e = owned.get();
    ::testing::AddGlobalTestEnvironment(owned.release());
    return e;
  }();
  if (!env->app) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "qp_qt_tests";
    static char* argv[] = {name, nullptr};
    env->app = std::make_unique<QApplication>(argc, argv);
  }
  return *env->app;
}

}  // namespace qp::test
