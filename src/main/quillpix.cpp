// The quillpix program: reads the command line, runs a one-shot mode, or opens the viewer
// window. This is the one place where the program's parts are made and wired together: the
// state, the settings, the file list, the ports, the view, the command router, the window, the
// animation clock, the game-pad thread and the prefetch loader.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "app/application.h"
#include "app/one_shot.h"
#include "frame/settings_store.h"

#ifdef QP_HAVE_QT
#include <QApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include "codecs/file_filters.h"
#include "core/debug.h"
#include "core/paths.h"
#include "frame/animation_clock.h"
#include "frame/commands.h"
#include "frame/file_context.h"
#include "frame/file_list.h"
#include "frame/main_frame.h"
#include "frame/navigation.h"
#include "frame/prefetch_neighbours.h"
#include "frame/recent_files.h"
#include "input/game_controller.h"
#include "input/sdl_controller.h"
#include "metadata/exif.h"
#include "qt/dialogs/edit_dialogs_qt.h"
#include "qt/file_host_qt.h"
#include "qt/input_arrival.h"
#include "qt/main_window.h"
#include "qt/qsettings_backend.h"
#include "qt/qt_ports.h"
#include "qt/quick_start.h"
#include "qt/system_decoder_qt.h"
#include "qt/tool_dialogs.h"
#include "view/prefetch.h"
#include "view/show_trace.h"
#include "view/view.h"
#endif

namespace {

#ifdef QP_HAVE_QT
bool HaveDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* v = std::getenv(name);
    if (v != nullptr && *v != '\0') return true;
  }
  return false;
}

// A document path as the window keeps it: absolute, so the file list knows its folder.
std::string DocumentPath(const std::string& token) {
  if (token.empty()) return token;
  std::error_code ec;
  const std::filesystem::path p = std::filesystem::absolute(token, ec);
  return ec ? token : p.lexically_normal().string();
}

// No one-shot mode: the window opens.
bool PlainStart(const qp::CommandLine& cl) {
  return cl.mode == qp::CommandMode::None ||
         (cl.mode == qp::CommandMode::Convert && cl.secondFile.empty());
}

// A plain start on a file: the window opens on it at original size.
bool OpensWindowOnFile(const qp::CommandLine& cl) {
  return PlainStart(cl) && !cl.firstFile.empty() && !cl.drawLines && HaveDisplay();
}

// The metadata reader the view installs, for the prefetch worker.
qp::ViewerState::MetadataReader MetadataReader() {
  qp::ViewerState s;
  qp::InstallMetadataReader(s);
  return s.metadataReader();
}

long long MillisecondsSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t)
      .count();
}

int RunWindow(const qp::CommandLine& cl, qp::SettingsStore& settings,
              qp::SystemImageDecoder& decoder, std::chrono::steady_clock::time_point programStart,
              qp::PrefetchLoader& prefetch, const std::function<void()>& afterFirstPaint) {
  qp::ViewerState state;
  qp::InstallMetadataReader(state);
  qp::DebugLog("start: window set up from %lld ms", MillisecondsSince(programStart));
  // "QUILLPIX_TRACE=1" reports each shown picture.
  // The first picture counts from the start of the process, loading of libraries included.
  const std::unique_ptr<qp::ShowTrace> trace =
      qp::ShowTrace::FromEnvironment(qp::ShowTrace::ProcessStart(programStart));
  std::unique_ptr<qp::InputArrivalFilter> arrivals;
  if (trace) {
    arrivals = std::make_unique<qp::InputArrivalFilter>(*trace);
    qApp->installEventFilter(arrivals.get());
  }
  state.drawLines = cl.drawLines;
  qp::ReadStartupFlags(state, settings);

  qp::QtPorts qtPorts;
  qp::FileList files(state, std::string());
  files.setPatternSource([&settings] { return qp::patternList(&settings); });
  qp::FileListForView listForView(files);
  qp::MainWindow window(settings);
  qtPorts.Bind(&window, window.viewWidget().viewport(), &window);
  qp::QtEditDialogs editDialogs(&window);
  qp::QtToolDialogs toolDialogs(&window);
  qp::CImgViewerView view(qp::ViewContext{state, settings, qtPorts.ports, window, listForView,
                                          &decoder, &toolDialogs, &editDialogs, &prefetch,
                                          trace.get()});
  // The recent files live beside the settings, in their own group of the same file.
  qp::QSettingsBackend recentBackend{std::string(qp::kRecentFileGroup)};
  qp::RecentFileList recent(recentBackend);
  recent.Load();
  // A step's entry is written once its picture is on the screen, not before its paint; within
  // a second in any case, when no paint comes (a hidden window, Save As).
  recent.DeferSaves([&window, &view](std::function<void()> save) {
    view.AfterNextPaint([&window, save] { QTimer::singleShot(0, &window, save); });
    QTimer::singleShot(1000, &window, save);
  });
  qp::QtFileHost fileHost(window, view, qtPorts.ports.desktop);
  qp::FileContext fileOps{state, settings, qtPorts.ports,          fileHost,
                          files, recent,   qp::ExecutableFolder(), qp::AboutText()};
  auto router = qp::MakeCommandRouter(
      qp::FrameContext{state, settings, qtPorts.ports, view, files, window, &fileOps});
  window.Attach(*router, view);
  fileHost.InstallRecentMenu(*window.actions(), recent, *router);

  // Worker threads post to the window's queue; the clock starts with the frame.
  auto post = [&qtPorts](uintptr_t command, intptr_t argument) {
    qtPorts.post.Post(static_cast<uint16_t>(command), argument);
  };
  state.hooks.postToFrame = post;
  // The worker tells when an exact picture is done; the view replaces its preview with it.
  prefetch.OnExactSettled([&qtPorts] { qtPorts.post.Post(qp::kCmdExactPicture, 0); });
  qp::AnimationClock clock(state, post);
  clock.start();
  // The game pad is polled while "Use Joystick" is on; the thread ends before the window goes.
  // It starts after the first paint: opening the game-pad library (and the sound and bus
  // libraries it brings) would take a core from the first picture.
  std::optional<qp::GamePadThread> gamePad;

  if (QScreen* screen = window.screen()) window.setGeometry(screen->availableGeometry());
  window.showMaximized();
  qp::DebugLog("start: window shown at %lld ms", MillisecondsSince(programStart));
  // The file named on the command line goes into the recent list like any opened file, once
  // it is painted: storing the list rewrites the settings file.
  const std::string first = DocumentPath(cl.firstFile);
  const bool opened = !first.empty() && fileHost.OpenDocument(first);
  if (!opened) view.OpenDocument(first);
  // Several files named (a selection opened from a file manager) are what Space steps through.
  std::vector<std::string> named;
  for (const std::string& file : cl.files) named.push_back(DocumentPath(file));
  // The first picture is painted before its folder is read; a large folder then costs no wait.
  view.AfterNextPaint([&, named = std::move(named)] {
    // Before the view asks for its exact picture, so that it waits for the worker's.
    if (afterFirstPaint) afterFirstPaint();
    // The rest once the paint is on the screen: this runs before the window's contents are
    // handed to the X server.
    QTimer::singleShot(0, &window, [&, named] {
      gamePad.emplace(qp::ReadGamePadConfig(settings), state, qtPorts.post,
                      qp::MakeSdlControllerSource);
      if (opened) qp::RememberOpened(fileOps, first);
      qp::ScanFolderAfterFirstPicture(router->context(), named);
    });
  });
  const int rc = QApplication::exec();
  recent.SaveIfPending();
  prefetch.OnExactSettled(nullptr);
  clock.stop();
  state.hooks.postToFrame = nullptr;
  return rc;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  [[maybe_unused]] const auto programStart = std::chrono::steady_clock::now();
  const qp::CommandLine cl = qp::ParseCommandLine(argc, argv);
#ifdef QP_HAVE_QT
  // Pictures decoded ahead on a worker thread. The first file's decode starts now, so that it
  // runs while Qt and the window are set up; the view then adopts it at original size.
  qp::PrefetchLoader prefetch(MetadataReader());
  // The whole first picture, when only its part on screen is decoded before the first paint.
  std::function<void()> afterFirstPaint;
  // The X connection that read the screen, held until Qt has its own.
  std::shared_ptr<void> earlyConnection;
  if (OpensWindowOnFile(cl)) {
    qp::QSettingsBackend early;
    qp::SettingsStore earlySettings(early);
    qp::DisplayPlan plan;  // original size in a window
    plan.autoOrient = earlySettings.ReadFlag("AutoOrient");
    const std::string first = DocumentPath(cl.firstFile);
    std::vector<qp::PrefetchWish> wishes;
    // The window shows the top left of a larger picture at first: that part, as large as the
    // screen, is decoded first and painted while the whole picture follows.
    if (std::optional<qp::EarlyScreen> screen = qp::ReadEarlyScreen()) {
      earlyConnection = std::move(screen->connection);
      plan.areaWidth = screen->width;
      plan.areaHeight = screen->height;
      plan.manageColour = qp::ColourManaged(&earlySettings);
      plan.screen = qp::ScreenProfileOf(screen->icc);
      wishes.push_back({first, true});
    }
    const int64_t budget = qp::PrefetchBudgetBytes(earlySettings.ReadNumber("PrefetchMemoryMB"));
    // The whole picture waits for the first paint when the part comes first: decoding it
    // meanwhile would take the memory and the second core from Qt's start.
    if (!wishes.empty() && qp::VisiblePartComesFirst(first, plan)) {
      afterFirstPaint = [&prefetch, first, budget, plan] {
        prefetch.Want(std::vector<qp::PrefetchWish>{{first, false}}, budget, plan, first);
      };
    } else {
      wishes.push_back({first, false});
    }
    // Kept as the picture on show: handed over whole, without a spare copy made first.
    prefetch.Want(std::move(wishes), budget, plan, first);
  }
#endif
#ifdef QP_HAVE_QT
  qp::QSettingsBackend backend;
  qp::QtSystemImageDecoder systemDecoder;
  qp::SystemImageDecoder* decoder = &systemDecoder;
#else
  qp::MemorySettingsBackend backend;
  qp::SystemImageDecoder* decoder = nullptr;
#endif
  qp::SettingsStore settings(backend);
  qp::AppPorts ports{settings, decoder};
  qp::AppOutcome outcome;
  {
#ifdef QP_HAVE_QT
    // Qt's image plug-ins (the last fall-back decoder) are found through the application object.
    // A plain start decodes nothing here and goes on to the window's application object.
    std::optional<QCoreApplication> qtApp;
    if (!PlainStart(cl)) qtApp.emplace(argc, argv);
#endif
    outcome = qp::RunCommandLine(cl, ports);
  }
#ifdef QP_HAVE_QT
  if (outcome.openWindow || outcome.invalidTimestamp) {
    if (!HaveDisplay()) {
      if (outcome.invalidTimestamp) {
        std::fputs(outcome.err.c_str(), stderr);
        return outcome.exitCode;
      }
      std::fputs(
          "quillpix: no display to open the window on (DISPLAY is not set); run it under a "
          "virtual one: xvfb-run -a quillpix FILE\n",
          stderr);
      return 1;
    }
    QApplication app(argc, argv);
    earlyConnection.reset();
    // Before any widget: the menu bar and tool bar ask for icons as they are made.
    QApplication::setStyle(new qp::DeferredIconStyle);
    if (outcome.invalidTimestamp) {
      QMessageBox box(QMessageBox::Critical, QStringLiteral("Quill Pix"),
                      QStringLiteral("Invalid file timestamp"), QMessageBox::Ok);
      box.exec();
      std::fputs(outcome.err.c_str(), stderr);
      return outcome.exitCode;
    }
    qp::DebugLog("start: Qt set up at %lld ms", MillisecondsSince(programStart));
    return RunWindow(cl, settings, systemDecoder, programStart, prefetch, afterFirstPaint);
  }
#endif
  std::fputs(outcome.out.c_str(), stdout);
  std::fputs(outcome.err.c_str(), stderr);
  return outcome.exitCode;
}
