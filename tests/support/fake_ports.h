// Fakes of the platform ports for engine tests: each records what the engine asked of it and
// answers from a script the test sets up.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/ports.h"

namespace qp::test {

struct FakeMessages final : MessageBoxPort {
  struct Shown {
    std::string text;
    MessageIcon icon;
    MessageButtons buttons;
  };
  std::vector<Shown> shown;
  std::deque<MessageAnswer> answers;  // answered in order; Ok/Yes once empty
  MessageAnswer Show(const std::string& text, MessageIcon icon, MessageButtons buttons) override {
    shown.push_back({text, icon, buttons});
    if (!answers.empty()) {
      MessageAnswer a = answers.front();
      answers.pop_front();
      return a;
    }
    return buttons == MessageButtons::Ok || buttons == MessageButtons::OkCancel ? MessageAnswer::Ok
                                                                                : MessageAnswer::Yes;
  }
};

struct FakeFileDialogs final : FileDialogPort {
  std::vector<FileDialogRequest> requests;
  std::deque<std::optional<FileDialogResult>> answers;  // nothing left: cancelled
  std::deque<std::optional<std::string>> folders;
  std::optional<FileDialogResult> next(const FileDialogRequest& r) {
    requests.push_back(r);
    if (answers.empty()) return std::nullopt;
    auto a = answers.front();
    answers.pop_front();
    return a;
  }
  std::optional<FileDialogResult> Open(const FileDialogRequest& r) override { return next(r); }
  std::optional<FileDialogResult> Save(const FileDialogRequest& r) override { return next(r); }
  std::optional<std::string> ChooseFolder(const std::string&, const std::string&) override {
    if (folders.empty()) return std::nullopt;
    auto a = folders.front();
    folders.pop_front();
    return a;
  }
};

struct FakeClipboard final : ClipboardPort {
  std::optional<ImageBuffer> image;
  std::optional<std::string> text;
  bool SetImage(const ImageBuffer& picture) override {
    auto copy = picture.Clone();
    if (!copy) return false;
    image = std::move(*copy);
    return true;
  }
  std::optional<ImageBuffer> GetImage() override {
    if (!image) return std::nullopt;
    return image->Clone();
  }
  bool SetText(const std::string& t) override {
    text = t;
    return true;
  }
  std::optional<std::string> GetText() override { return text; }
};

struct FakeDesktop final : DesktopPort {
  std::vector<std::string> urls;
  std::vector<std::pair<std::string, std::vector<std::string>>> started;
  bool startSucceeds = true;
  bool OpenUrl(const std::string& url) override {
    urls.push_back(url);
    return true;
  }
  bool StartDetached(const std::string& program, const std::vector<std::string>& args) override {
    started.emplace_back(program, args);
    return startSucceeds;
  }
};

struct FakeTrash final : TrashPort {
  std::vector<std::string> trashed;
  bool succeeds = true;
  bool MoveToTrash(const std::string& path) override {
    if (!succeeds) return false;
    trashed.push_back(path);
    return true;
  }
};

struct FakeScreen final : ScreenPort {
  ScreenRect available{0, 0, 1920, 1040};
  ScreenRect full{0, 0, 1920, 1080};
  ScreenRect AvailableGeometry() override { return available; }
  ScreenRect FullGeometry() override { return full; }
  std::vector<uint8_t> icc;  // the screen's profile; empty is sRGB
  std::vector<uint8_t> IccProfile() override { return icc; }
};

struct FakeCursor final : CursorPort {
  int waitDepth = 0;
  int waitShown = 0;
  bool visible = true;
  void SetWaitCursor(bool on) override {
    waitDepth += on ? 1 : -1;
    if (on) ++waitShown;
  }
  void ShowCursor(bool v) override { visible = v; }
};

// Keeps posted commands in a queue the test drains by hand.
struct FakePost final : PostPort {
  std::deque<std::pair<uint16_t, intptr_t>> queue;
  void Post(uint16_t command, intptr_t argument) override { queue.emplace_back(command, argument); }
};

// One of each fake, and the Ports struct over them.
struct FakePorts {
  FakeMessages messages;
  FakeFileDialogs fileDialogs;
  FakeClipboard clipboard;
  FakeDesktop desktop;
  FakeTrash trash;
  FakeScreen screen;
  FakeCursor cursor;
  FakePost post;
  Ports ports{messages, fileDialogs, clipboard, desktop, trash, screen, cursor, post};
};

}  // namespace qp::test
