// A view for the edit commands without a window: the picture, the document path and the
// dialogs are plain fields a test sets and reads.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>

#include "frame/settings_store.h"
#include "platform/settings_backend.h"
#include "support/fake_ports.h"
#include "support/test_support.h"
#include "view/edit_commands.h"

namespace qp::test {

struct FakeEditView final : EditView {
  ImageBuffer picture;
  bool canvasShown = false;  // the playback canvas of the state is on screen
  ViewerState* state = nullptr;
  std::string documentPath;
  std::map<std::string, std::function<ImageBuffer()>> files;  // what LoadPicture reads
  std::vector<uint8_t> display;                               // 24-bit rows
  int32_t displayWidth = 0, displayHeight = 0;
  bool cursorVisible = true;

  ImageBuffer* OwnedPicture() override {
    return canvasShown || picture.empty() ? nullptr : &picture;
  }
  const ImageBuffer* ShownPicture() override {
    if (canvasShown) return &state->animationCanvas;
    return picture.empty() ? nullptr : &picture;
  }
  void AdoptPicture(ImageBuffer p) override {
    picture = std::move(p);
    canvasShown = false;
  }
  std::optional<DisplayPixels> Display() override {
    if (display.empty()) return std::nullopt;
    return DisplayPixels{display.data(), displayWidth, displayHeight,
                         static_cast<size_t>(displayWidth) * 3};
  }
  bool CursorVisible() override { return cursorVisible; }
  std::string DocumentPath() override { return documentPath; }
  void SetDocumentPath(const std::string& p) override { documentPath = p; }
  std::optional<ImageBuffer> LoadPicture(const std::string& path) override {
    auto it = files.find(path);
    if (it == files.end()) return std::nullopt;
    return it->second();
  }
  std::optional<ImageBuffer> RenderVector(int32_t, int32_t) override { return std::nullopt; }
  std::string OpenFilter() override { return "All Files (*.*)|*.*||"; }
};

// Answers each dialog with a function that fills the model; no function: cancelled.
struct FakeEditDialogs final : EditDialogPort {
  std::function<void(ResampleDialog&)> resample;
  std::function<void(AddBordersDialog&)> addBorders;
  std::function<void(CustomSelectionDialog&)> customSelection;
  std::vector<std::string> colours;  // colour texts shown by Select Colour
  int opened = 0;
  bool Resample(ResampleDialog& d) override { return Answer(resample, d); }
  bool AddBorders(AddBordersDialog& d) override { return Answer(addBorders, d); }
  bool CustomSelection(CustomSelectionDialog& d) override { return Answer(customSelection, d); }
  void ShowColour(const SelectColourDialog& d) override {
    ++opened;
    colours.push_back(d.redText + "," + d.greenText + "," + d.blueText + " " + d.colourText);
  }
  template <typename F, typename D>
  bool Answer(const F& f, D& d) {
    ++opened;
    if (!f) return false;
    f(d);
    return true;
  }
};

// The edit commands over a fake view, fake ports and in-memory settings. The state's view
// hook records the commands it receives.
struct EditFixture {
  ViewerState state;
  MemorySettingsBackend backend;
  SettingsStore settings{backend};
  FakePorts fakes;
  FakeEditDialogs dialogs;
  UndoSnapshot undo;
  Selection selection;
  FakeEditView view;
  EditCommands commands{state, settings, fakes.ports, dialogs, undo, selection, view};
  std::vector<uint16_t> hookCalls;

  explicit EditFixture(ImageBuffer picture = RandomPicture(40, 30, 7)) {
    view.state = &state;
    view.picture = std::move(picture);
    view.documentPath = "/pics/a.png";
    state.currentPath = view.documentPath;
    state.hasView = true;
    state.hooks.viewCommand = [this](uint16_t c, intptr_t) {
      hookCalls.push_back(c);
      if (c == kCmdToggleFullScreen) state.fullScreen = !state.fullScreen;
      return 1;
    };
  }
  CommandOutcome Run(uint16_t id) { return commands.Execute(id); }
};

}  // namespace qp::test
