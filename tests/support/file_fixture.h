// A FileContext over the fake ports, an in-memory settings store, a recent list and a fake
// main window whose "open document" makes the file current the way the view does.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "codecs/file_filters.h"
#include "frame/file_context.h"
#include "support/fake_ports.h"
#include "support/test_support.h"

namespace qp::test {

struct FakeFileHost final : FileHost {
  ViewerState& state;
  FileList& files;
  std::vector<std::string> opened;
  std::vector<std::string> positions;
  int flashes = 0;
  int activations = 0;
  int recentChanges = 0;
  // The rename dialog: the names typed, in order; the dialog is cancelled when they run out.
  std::vector<std::string> typedNames;
  std::vector<std::string> renameOffered;
  std::vector<PropertiesDialogModel> properties;
  std::vector<AboutDialogModel> abouts;

  FakeFileHost(ViewerState& s, FileList& f) : state(s), files(f) {}
  bool OpenDocument(const std::string& path) override {
    if (!isOpenable(path)) return false;
    opened.push_back(path);
    state.currentPath = path;
    files.setCurrent(path);
    return true;
  }
  void FlashWindow() override { ++flashes; }
  void ActivateWindow() override { ++activations; }
  void SetPositionText(const std::string& text) override { positions.push_back(text); }
  void RecentFilesChanged() override { ++recentChanges; }
  void RunRenameDialog(RenameDialogModel& model) override {
    renameOffered.push_back(model.initialName);
    for (const std::string& name : typedNames)
      if (model.accept(name)) break;
    typedNames.clear();
  }
  void ShowProperties(const PropertiesDialogModel& model) override { properties.push_back(model); }
  void ShowAbout(const AboutDialogModel& model) override { abouts.push_back(model); }
};

constexpr const char* kTestPatterns = "*.webp;*.jpg;*.jpeg;*.gif;*.png;*.qoi;*.lst";

struct FileFixture {
  TempDir dir;
  ViewerState state;
  MemorySettingsBackend settingsBackend;
  SettingsStore settings{settingsBackend};
  MemorySettingsBackend recentBackend{"Recent File List"};
  RecentFileList recent{recentBackend};
  FakePorts fakes;
  FileList files{state, kTestPatterns, 7u};
  FakeFileHost host{state, files};
  FileContext ctx{state, settings, fakes.ports, host, files, recent, dir.path(), "about"};
  int toggles = 0;

  FileFixture() {
    // Built-in formats only, so the filters do not depend on what is installed.
    const ComponentPresence none{};
    ResetFileFiltersForTesting(&none);
    state.hasView = true;
    state.hooks.viewCommand = [this](uint16_t command, intptr_t argument) -> int32_t {
      viewCommands.emplace_back(command, argument);
      if (command == kCmdToggleFullScreen) {
        state.fullScreen = state.fullScreen ? 0 : 1;
        ++toggles;
      }
      return 1;
    };
  }
  ~FileFixture() { ResetFileFiltersForTesting(nullptr); }
  std::vector<std::pair<uint16_t, intptr_t>> viewCommands;

  // The texts of the message boxes shown so far.
  std::vector<std::string> messages() const {
    std::vector<std::string> out;
    for (const auto& m : fakes.messages.shown) out.push_back(m.text);
    return out;
  }
  std::string file(const std::string& name) const { return dir.file(name); }
};

}  // namespace qp::test
