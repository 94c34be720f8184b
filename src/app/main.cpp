// The quillpix program: reads the command line and runs a one-shot mode; the window comes with
// a later change. The user's settings come from the per-user settings file when Qt is built.
#include <cstdio>
#include <memory>

#include "app/application.h"
#include "frame/settings_store.h"

#ifdef QP_HAVE_QT
#include <QCoreApplication>

#include "qt/qsettings_backend.h"
#include "qt/system_decoder_qt.h"
#endif

int main(int argc, char** argv) {
  const qp::CommandLine cl = qp::ParseCommandLine(argc, argv);
#ifdef QP_HAVE_QT
  // Qt's image plug-ins (the last fall-back decoder) are found through the application object.
  QCoreApplication qtApp(argc, argv);
  qp::QSettingsBackend backend;
  qp::QtSystemImageDecoder systemDecoder;
  qp::SystemImageDecoder* decoder = &systemDecoder;
#else
  qp::MemorySettingsBackend backend;
  qp::SystemImageDecoder* decoder = nullptr;
#endif
  qp::SettingsStore settings(backend);
  qp::AppPorts ports{settings, decoder};
  const qp::AppOutcome outcome = qp::RunCommandLine(cl, ports);
  std::fputs(outcome.out.c_str(), stdout);
  std::fputs(outcome.err.c_str(), stderr);
  return outcome.exitCode;
}
