// QuillpixBatch: converts many pictures at once. With "-to" it converts from the command line
// and prints the report; otherwise it opens its window with the named files or folders.
#include <QApplication>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "app/batch.h"
#include "codecs/file_filters.h"
#include "core/exit_cleanup.h"
#include "frame/settings_store.h"
#include "qt/batch_app/batch_window.h"
#include "qt/qsettings_backend.h"
#include "qt/system_decoder_qt.h"

namespace {

std::atomic<bool> g_cancel{false};
std::atomic<int> g_signals{0};

// Stops at once: the helpers are killed and the temporary files removed first.
[[noreturn]] void EndNow(int signal) {
  qp::CleanUpForImmediateExit();
  ::_exit(128 + signal);
}

// The first Ctrl+C, termination request or hang-up lets the pictures in progress finish and
// cancels the rest; a second one ends the program at once.
extern "C" void OnSignal(int signal) {
  if (g_signals.fetch_add(1) > 0) EndNow(signal);
  g_cancel.store(true);
  constexpr char kMessage[] =
      "QuillpixBatch: finishing the pictures in progress (press Ctrl+C again to stop at once)\n";
  [[maybe_unused]] const auto written = ::write(2, kMessage, sizeof kMessage - 1);
}

// The window has no report to finish: any of these signals ends it at once, tidily.
extern "C" void OnSignalInWindow(int signal) { EndNow(signal); }

void CatchSignals(void (*handler)(int)) {
  struct sigaction sa {};
  sa.sa_handler = handler;
  sigemptyset(&sa.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &sa, nullptr);
}

int ConvertNow(const qp::BatchCommand& cmd, qp::SettingsStore& store,
               qp::SystemImageDecoder& decoder) {
  CatchSignals(OnSignal);
  qp::SharedSettings shared(store);
  const qp::BatchPlan plan = qp::PlanBatch(cmd.inputs, cmd.options, qp::patternList(&shared));
  if (plan.items.empty() && plan.unreadable.empty()) {
    std::fputs("QuillpixBatch: no pictures to convert\n", stderr);
    return 1;
  }
  qp::BatchContext context{shared, &decoder};
  const qp::BatchReport report = qp::RunBatch(plan, cmd.options, context, g_cancel);
  std::fputs(qp::FormatReport(report).c_str(), stdout);
  return report.failed > 0 || report.cancelled > 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const auto parsed = qp::ParseBatchCommandLine(args);
  if (std::holds_alternative<qp::BatchHelp>(parsed)) {
    std::fputs(qp::BatchHelpText().c_str(), stdout);
    return 0;
  }
  if (const auto* error = std::get_if<qp::BatchUsageError>(&parsed)) {
    std::fprintf(stderr, "QuillpixBatch: %s\n%s", error->message.c_str(),
                 qp::BatchHelpText().c_str());
    return 2;
  }
  const auto& cmd = std::get<qp::BatchCommand>(parsed);
  qp::QtSystemImageDecoder decoder;
  if (cmd.convertNow) {
    // Qt's image plug-ins (the last fall-back decoder) are found through the application object.
    QCoreApplication core(argc, argv);
    // Qt's decoders complain on stderr about damaged files; the report already names them.
    QLoggingCategory::setFilterRules("qt.gui.imageio*=false");
    qp::QSettingsBackend backend;
    qp::SettingsStore store(backend);
    return ConvertNow(cmd, store, decoder);
  }
  CatchSignals(OnSignalInWindow);
  QApplication app(argc, argv);
  QApplication::setApplicationName("QuillpixBatch");
  QApplication::setApplicationVersion(QP_VERSION);
  QApplication::setDesktopFileName("org.quillpix.Quillpix");
  qp::QSettingsBackend backend;
  qp::SettingsStore store(backend);
  qp::BatchWindow window(store, &decoder);
  window.addInputs(cmd.inputs);
  window.resize(720, 640);
  window.show();
  return app.exec();
}
