// The ports through which the engine reaches the desktop: dialogs, message boxes, clipboard,
// the shell, the trash, the screen, the cursor and the user-interface thread's queue. The
// application fills one `Ports` with the Qt implementations and hands it down by reference;
// engine tests fill it with the fakes of tests/support. No port is a singleton.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/image_buffer.h"

namespace qp {

// A rectangle in device pixels: left and top inclusive, right and bottom exclusive.
struct ScreenRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
  int32_t width() const { return right - left; }
  int32_t height() const { return bottom - top; }
};

enum class MessageIcon { None, Error, Warning, Information, Question };
enum class MessageButtons { Ok, YesNo, YesNoCancel, OkCancel };
enum class MessageAnswer { Ok, Yes, No, Cancel };

// Modal message boxes of the main window: the text, icon and buttons are the caller's.
class MessageBoxPort {
 public:
  virtual ~MessageBoxPort() = default;
  virtual MessageAnswer Show(const std::string& text, MessageIcon icon,
                             MessageButtons buttons = MessageButtons::Ok) = 0;
};

// The platform's file chooser. Filters are the engine's "Desc|*.a;*.b|...||" texts; indexes
// are 1-based as the engine stores them.
struct FileDialogRequest {
  std::string title;
  std::string filter;       // "Desc|*.x|...||"
  int32_t filterIndex = 1;  // pre-selected entry, 1-based
  std::string folder;       // initial folder, may be empty
  std::string fileName;     // initial name (save) , may be empty
  std::string defaultExtension;
  bool allowMultiple = false;  // open only
};
struct FileDialogResult {
  std::vector<std::string> paths;  // at least one on OK
  int32_t filterIndex = 1;         // the entry the user left selected, 1-based
};
class FileDialogPort {
 public:
  virtual ~FileDialogPort() = default;
  // Nothing when the user cancels.
  virtual std::optional<FileDialogResult> Open(const FileDialogRequest& request) = 0;
  virtual std::optional<FileDialogResult> Save(const FileDialogRequest& request) = 0;
  // A folder chooser; nothing when cancelled.
  virtual std::optional<std::string> ChooseFolder(const std::string& title,
                                                  const std::string& start) = 0;
};

// The system clipboard: pictures (BGRA, alpha kept as given) and text.
class ClipboardPort {
 public:
  virtual ~ClipboardPort() = default;
  virtual bool SetImage(const ImageBuffer& picture) = 0;
  virtual std::optional<ImageBuffer> GetImage() = 0;
  // Whether a picture is offered, without fetching it.
  virtual bool HasImage() { return GetImage().has_value(); }
  virtual bool SetText(const std::string& text) = 0;
  virtual std::optional<std::string> GetText() = 0;
};

// The desktop shell: links in the user's browser, programs started detached.
class DesktopPort {
 public:
  virtual ~DesktopPort() = default;
  virtual bool OpenUrl(const std::string& url) = 0;
  // Starts `program` detached with `arguments`; false when it could not be started.
  virtual bool StartDetached(const std::string& program,
                             const std::vector<std::string>& arguments) = 0;
};

// The freedesktop trash. A refusal is a failure; nothing falls back to a permanent delete.
class TrashPort {
 public:
  virtual ~TrashPort() = default;
  virtual bool MoveToTrash(const std::string& path) = 0;
};

// The screen the main window is on.
class ScreenPort {
 public:
  virtual ~ScreenPort() = default;
  // The area a window may use (without panels and docks).
  virtual ScreenRect AvailableGeometry() = 0;
  // The whole screen, for fullscreen.
  virtual ScreenRect FullGeometry() = 0;
  // The ICC profile the desktop publishes for that screen; empty when none (sRGB).
  virtual std::vector<uint8_t> IccProfile() { return {}; }
};

// The mouse cursor over the view.
class CursorPort {
 public:
  virtual ~CursorPort() = default;
  // The busy cursor during long operations.
  virtual void SetWaitCursor(bool on) = 0;
  // Shows or hides the pointer over the view.
  virtual void ShowCursor(bool visible) = 0;
};

// Posts (command, argument) to the user-interface thread's deferred-command dispatcher. Safe
// from any thread.
class PostPort {
 public:
  virtual ~PostPort() = default;
  virtual void Post(uint16_t command, intptr_t argument) = 0;
};

// Every port the engine uses; the application owns the implementations.
struct Ports {
  MessageBoxPort& messages;
  FileDialogPort& fileDialogs;
  ClipboardPort& clipboard;
  DesktopPort& desktop;
  TrashPort& trash;
  ScreenPort& screen;
  CursorPort& cursor;
  PostPort& post;
};

}  // namespace qp
