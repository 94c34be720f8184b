// The commands of the Image, Draw, Edit and Transparency menus as the view runs them: each
// one calls its picture operation with the undo snapshot, reads and writes its settings,
// opens its dialog, leaves fullscreen first where a dialog follows, shows the wait cursor
// during long work, and tells the view what to do afterwards.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/image_buffer.h"
#include "core/settings_access.h"
#include "core/viewer_state.h"
#include "ops/undo.h"
#include "platform/ports.h"
#include "view/clipboard.h"
#include "view/command_ids.h"
#include "view/edit_dialogs.h"
#include "view/selection.h"

namespace qp {

// What the edit commands need from the view that shows the picture.
class EditView {
 public:
  virtual ~EditView() = default;
  // The view's own picture, or null when it shows none, only the placeholder, or the frame
  // of a running playback (which belongs to the playback).
  virtual ImageBuffer* OwnedPicture() = 0;
  // The picture on screen: the owned picture or the playback's frame; null when none.
  virtual const ImageBuffer* ShownPicture() = 0;
  // Replaces the shown picture by a new owned one (after the playback was stopped).
  virtual void AdoptPicture(ImageBuffer picture) = 0;
  // The display copy of the picture, when one exists.
  virtual std::optional<DisplayPixels> Display() = 0;
  // Whether the pointer is visible (the wait cursor is shown only then).
  virtual bool CursorVisible() = 0;
  // The document's path, and setting it without adding it to the recent files.
  virtual std::string DocumentPath() = 0;
  virtual void SetDocumentPath(const std::string& path) = 0;
  // Reads a picture file without touching the view (animated files give their first frame).
  virtual std::optional<ImageBuffer> LoadPicture(const std::string& path) = 0;
  // Renders the current vector picture again at a size; nothing when it cannot.
  virtual std::optional<ImageBuffer> RenderVector(int32_t width, int32_t height) = 0;
  // The file-type filter for the open dialogs ("Desc|*.x|...||").
  virtual std::string OpenFilter() = 0;
};

// What the view does after a command.
enum class AfterCommand {
  Nothing,  // no redraw (the display shows no alpha, or nothing changed)
  Repaint,  // the selection changed: draw again
  Refresh,  // the picture changed: lay it out again and draw
};

struct CommandOutcome {
  bool handled = false;
  AfterCommand after = AfterCommand::Nothing;
  int32_t result = 1;  // the hook's answer (the selection query answers 0 or 1)
};

class EditCommands {
 public:
  EditCommands(ViewerState& state, SettingsAccess& settings, Ports& ports,
               EditDialogPort& dialogs, UndoSnapshot& undo, Selection& selection, EditView& view)
      : state_(state),
        settings_(settings),
        ports_(ports),
        dialogs_(dialogs),
        undo_(undo),
        selection_(selection),
        view_(view) {}

  // Whether `id` is one of these commands.
  static bool Handles(uint16_t id);
  // Runs command `id`; not handled for ids of other menus.
  CommandOutcome Execute(uint16_t id);

  // The selected region of the shown picture, when there is one: what Crop, Copy, the tools
  // and the lossless crop act on (the view's selectedRegion() is this).
  std::optional<PixelRect> Region() const;

  // The view's own count of pastes (stands in while the setting is missing).
  uint32_t clipboardCounter = 0;

 private:
  // Toggles fullscreen off (with a fit) when it is on, so that a dialog opens in the window.
  void LeaveFullScreen();
  CommandOutcome Crop();
  CommandOutcome Aspect(int32_t xUnits, int32_t yUnits);
  CommandOutcome CustomSelection();
  CommandOutcome SelectAll();
  CommandOutcome TrimBorders();
  CommandOutcome ShowSelectedColour();
  CommandOutcome Resample(ImageBuffer& img);
  CommandOutcome AddBorders(ImageBuffer& img);
  CommandOutcome Join(ImageBuffer& img, int32_t direction);
  CommandOutcome LoadFromImage(ImageBuffer& img);
  CommandOutcome Shape(uint16_t id, ImageBuffer& img);
  CommandOutcome Copy();
  CommandOutcome CopyFrame();
  CommandOutcome Paste(bool withTransparency);
  CommandOutcome Undo();
  CommandOutcome PictureCommand(uint16_t id, ImageBuffer& img);
  std::string CurrentFolder();

  ViewerState& state_;
  SettingsAccess& settings_;
  Ports& ports_;
  EditDialogPort& dialogs_;
  UndoSnapshot& undo_;
  Selection& selection_;
  EditView& view_;
};

}  // namespace qp
