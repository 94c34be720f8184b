// The Qt implementations of the platform ports, owned by the application and bound to the main
// window once it exists.
#pragma once

#include <QEvent>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

#include "platform/ports.h"
#include "platform/trash.h"

namespace qp {

// A (command, argument) posted to the main window's deferred-command dispatcher.
class PostedCommandEvent final : public QEvent {
 public:
  static QEvent::Type EventType();
  PostedCommandEvent(uint16_t cmd, intptr_t arg)
      : QEvent(EventType()), command(cmd), argument(arg) {}
  const uint16_t command;
  const intptr_t argument;
};

class QtMessageBox final : public MessageBoxPort {
 public:
  MessageAnswer Show(const std::string& text, MessageIcon icon, MessageButtons buttons) override;
  QPointer<QWidget> parent;
};

class QtFileDialogs final : public FileDialogPort {
 public:
  std::optional<FileDialogResult> Open(const FileDialogRequest& request) override;
  std::optional<FileDialogResult> Save(const FileDialogRequest& request) override;
  std::optional<std::string> ChooseFolder(const std::string& title,
                                          const std::string& start) override;
  QPointer<QWidget> parent;
};

class QtClipboard final : public ClipboardPort {
 public:
  bool SetImage(const ImageBuffer& picture) override;
  std::optional<ImageBuffer> GetImage() override;
  bool SetText(const std::string& text) override;
  std::optional<std::string> GetText() override;
  bool HasImage() override;
};

class QtDesktop final : public DesktopPort {
 public:
  bool OpenUrl(const std::string& url) override;
  bool StartDetached(const std::string& program,
                     const std::vector<std::string>& arguments) override;
};

// The X screen as a connection of its own sees it before the application object exists: its
// size in pixels and the colour profile of its first screen (`_ICC_PROFILE`). Nothing
// without an X display.
struct EarlyScreen {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> icc;
  // The connection, to be held until the application object has its own: an X server left
  // without clients resets itself (a virtual one does), and a connection made meanwhile fails.
  std::shared_ptr<void> connection;
};
std::optional<EarlyScreen> ReadEarlyScreen();

// The screen of `window`, in device pixels.
class QtScreen final : public ScreenPort {
 public:
  ScreenRect AvailableGeometry() override;
  ScreenRect FullGeometry() override;
  // The `_ICC_PROFILE` property of the X root window (`_ICC_PROFILE_n` for screen n > 0).
  std::vector<uint8_t> IccProfile() override;
  QPointer<QWidget> window;
};

class QtCursor final : public CursorPort {
 public:
  void SetWaitCursor(bool on) override;
  void ShowCursor(bool visible) override;
  QPointer<QWidget> view;
};

// Thread-safe: Qt's event queue takes posts from any thread.
class QtPost final : public PostPort {
 public:
  void Post(uint16_t command, intptr_t argument) override;
  QPointer<QObject> receiver;
};

// The filter list of a "Desc|*.a;*.b|...||" text as Qt name filters ("Desc (*.a *.b)").
QStringList QtNameFilters(const std::string& filter);

struct QtPorts {
  QtMessageBox messages;
  QtFileDialogs fileDialogs;
  QtClipboard clipboard;
  QtDesktop desktop;
  // Qt's own trash call needs the data folder to exist already; this one makes what it needs.
  FreedesktopTrash trash;
  QtScreen screen;
  QtCursor cursor;
  QtPost post;
  Ports ports{messages, fileDialogs, clipboard, desktop, trash, screen, cursor, post};
  // Binds the window-dependent ports.
  void Bind(QWidget* window, QWidget* view, QObject* receiver) {
    messages.parent = window;
    fileDialogs.parent = window;
    screen.window = window;
    cursor.view = view;
    post.receiver = receiver;
  }
};

}  // namespace qp
