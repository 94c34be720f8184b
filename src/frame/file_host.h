// What the file commands need from the main window beyond the platform ports: opening a
// document, flashing and raising the window, the position pane, the recent-file menu and the
// three dialogs of this area. The Qt main window implements it; engine tests use a fake.
//
// Each dialog is an engine model (fields, the exact texts, what the buttons do) shown by a thin
// form; the form only collects input and calls the model.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace qp {

class DesktopPort;

// The rename dialog: one line of up to 519 characters, OK and Cancel. OK asks `accept`, which
// renames the file or shows why it could not; the dialog closes only when `accept` says so.
struct RenameDialogModel {
  static constexpr const char* kTitle = "Rename File";
  static constexpr int kMaxLength = 519;
  std::string initialName;
  std::function<bool(const std::string& typed)> accept;
};

// The properties box: the path, the report, and the map button when the report has a link.
struct PropertiesDialogModel {
  static constexpr const char* kTitle = "Properties";
  static constexpr const char* kMapButton = "&Google Maps";
  static constexpr const char* kCloseButton = "&Close";
  std::string path;
  std::string report;                 // lines end with "\r\n"
  std::optional<std::string> mapLink;  // the button is shown only with a link
  // The map button: opens the link in the desktop's browser.
  void PressMap(DesktopPort& desktop) const;
};

// The about box: the fixed text and a button that opens the program's documentation. The
// program has no web page of its own, so the button opens the README instead.
struct AboutDialogModel {
  static constexpr const char* kTitle = "About Quill Pix";
  std::string text;
  // The README to open; empty when none was found, and the button is then disabled.
  std::string documentation;
  void PressDocumentation(DesktopPort& desktop) const;
};

class FileHost {
 public:
  virtual ~FileHost() = default;
  // Asks the application to open the document: the view loads and shows the file and makes it
  // the list's current entry. False when the document could not be opened.
  virtual bool OpenDocument(const std::string& path) = 0;
  // Flashes the window once to draw attention (a wrap-around, a copy into a folder).
  virtual void FlashWindow() = 0;
  // Brings the window to the front (files dropped on it).
  virtual void ActivateWindow() = 0;
  // The status bar's position pane ("%d/%d").
  virtual void SetPositionText(const std::string& text) = 0;
  // The recent-file list changed: rebuild its menu entries.
  virtual void RecentFilesChanged() = 0;
  virtual void RunRenameDialog(RenameDialogModel& model) = 0;
  virtual void ShowProperties(const PropertiesDialogModel& model) = 0;
  virtual void ShowAbout(const AboutDialogModel& model) = 0;
};

}  // namespace qp
