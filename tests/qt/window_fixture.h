// The real window, view and command router on the offscreen platform, assembled as the program
// does, with in-memory settings, a temporary folder for pictures and scripted edit dialogs.
#pragma once

#include <QScrollBar>
#include <QTest>

#include "codecs/file_filters.h"
#include "codecs/png.h"
#include "frame/commands.h"
#include "frame/file_list.h"
#include "frame/main_frame.h"
#include "frame/settings_store.h"
#include "qt/main_window.h"
#include "qt/qt_ports.h"
#include "qt/qt_test_app.h"
#include "support/test_support.h"
#include "view/edit_fixture.h"

namespace qp::test {

struct WindowFixture {
  QApplication& app = App();
  TempDir dir;
  ViewerState state;
  MemorySettingsBackend backend;
  SettingsStore settings{backend};
  QtPorts qtPorts;
  FileList files{state, patternList(&settings)};
  FileListForView listForView{files};
  MainWindow window{settings};
  FakeEditDialogs dialogs;
  CImgViewerView view{ViewContext{state, settings, qtPorts.ports, window, listForView, nullptr,
                                  nullptr, &dialogs}};
  std::unique_ptr<CommandRouter> router =
      MakeCommandRouter(FrameContext{state, settings, qtPorts.ports, view, files, window});

  WindowFixture() {
    qtPorts.Bind(&window, window.viewWidget().viewport(), &window);
    window.Attach(*router, view);
    window.resize(1000, 800);
    window.show();
  }
  QWidget* viewport() { return window.viewWidget().viewport(); }

  std::string WritePng(const std::string& name, const ImageBuffer& img) {
    const std::string path = dir.file(name);
    EXPECT_EQ(SavePng(img.data(), img.width(), img.height(), 1, path.c_str()), nullptr);
    return path;
  }
  void Open(const std::string& path) {
    view.OpenDocument(path);
    QCoreApplication::processEvents();
  }
  // Lays the picture out again at zoom `z`.
  void SetZoom(float z) {
    view.ClearSelection();  // as every zoom command does
    state.zoom = z;
    view.Refresh();
    QCoreApplication::processEvents();
  }
  // A copy of the view's current picture.
  ImageBuffer Picture() {
    auto img = ImageBuffer::Allocate(view.pictureWidth(), view.pictureHeight());
    std::memcpy(img->data(), view.pixels(), img->byteSize());
    return std::move(*img);
  }
};

}  // namespace qp::test
