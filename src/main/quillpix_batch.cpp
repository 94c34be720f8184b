// QuillpixBatch: converts many pictures at once. With "-to" it converts from the command line
// and prints the report; otherwise it opens its window with the named files or folders.
#include <QApplication>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <csignal>
#include <cstdio>

#include "app/batch.h"
#include "codecs/file_filters.h"
#include "frame/settings_store.h"
#include "qt/batch_app/batch_window.h"
#include "qt/qsettings_backend.h"
#include "qt/system_decoder_qt.h"

namespace {

std::atomic<bool> g_cancel{false};

extern "C" void OnSignal(int) {
  g_cancel.store(true);
}

int ConvertNow(const qp::BatchCommand& cmd, qp::SettingsStore& store,
               qp::SystemImageDecoder& decoder) {
  // Ctrl+C or a termination request lets the files in progress finish and stops the rest, so
  // no half-written file is left behind.
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);

  qp::SharedSettings shared(store);
  const auto items = qp::PlanBatch(cmd.inputs, cmd.options, qp::patternList(&shared));
  if (items.empty()) {
    std::fputs("QuillpixBatch: no pictures to convert\n", stderr);
    return 1;
  }
  qp::BatchContext context{shared, &decoder};
  const qp::BatchReport report = qp::RunBatch(items, cmd.options, context, g_cancel);
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
