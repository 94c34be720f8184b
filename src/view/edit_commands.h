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

// Command ids of these menus.
namespace cmd {
inline constexpr uint16_t kRotateLeft = 4099;
inline constexpr uint16_t kRotateRight = 4100;
inline constexpr uint16_t kVerticalFlip = 4101;
inline constexpr uint16_t kHorizontalFlip = 4102;
inline constexpr uint16_t kUpsideDown = 4103;
inline constexpr uint16_t kCrop = 4104;
inline constexpr uint16_t kSharpen = 4106;
inline constexpr uint16_t kSoften = 4107;
inline constexpr uint16_t kBlur = 4108;
inline constexpr uint16_t kPixelate = 4109;
inline constexpr uint16_t kAspect1x1 = 4112;
inline constexpr uint16_t kAspect4x3 = 4113;
inline constexpr uint16_t kAspect16x9 = 4114;
inline constexpr uint16_t kSharpenMore = 4115;
inline constexpr uint16_t kResample = 4116;
inline constexpr uint16_t kCustomSelection = 4117;
inline constexpr uint16_t kToggleTransparency = 4119;
inline constexpr uint16_t kNegative = 4120;
inline constexpr uint16_t kGrayscale = 4121;
inline constexpr uint16_t kCopyFilename = 4123;
inline constexpr uint16_t kOutline = 4124;
inline constexpr uint16_t kFloydSteinberg = 4128;
inline constexpr uint16_t kThresholdDither = 4132;
inline constexpr uint16_t kLeftRightSwap = 4133;
inline constexpr uint16_t kTrimBorders = 4134;
inline constexpr uint16_t kRemoveTransparency = 4136;
inline constexpr uint16_t kSetToBackground = 4140;
inline constexpr uint16_t kFillFromBackground = 4141;
inline constexpr uint16_t kRoundedCorners = 4142;
inline constexpr uint16_t kViewTransparencyOnly = 4146;
inline constexpr uint16_t kPasteWithTransparency = 4147;
inline constexpr uint16_t kCopyFrame = 4149;
inline constexpr uint16_t kEllipse = 4151;
inline constexpr uint16_t kRectangle = 4152;
inline constexpr uint16_t kBox = 4170;
inline constexpr uint16_t kJoinAbove = 4171;
inline constexpr uint16_t kJoinRight = 4172;
inline constexpr uint16_t kJoinLeft = 4173;
inline constexpr uint16_t kJoinBelow = 4174;
inline constexpr uint16_t kBlackAndWhite = 4175;
inline constexpr uint16_t kLoadFromImage = 4176;
inline constexpr uint16_t kAddBorders = 4177;
inline constexpr uint16_t kShowSelectedColour = 4178;
inline constexpr uint16_t kAspect15x10 = 4180;
inline constexpr uint16_t kAspect10x8 = 4181;
inline constexpr uint16_t kClearSelection = 4038;
inline constexpr uint16_t kSelectionQuery = 4039;
inline constexpr uint16_t kCopy = 57634;
inline constexpr uint16_t kPaste = 57637;
inline constexpr uint16_t kSelectAll = 57642;
inline constexpr uint16_t kUndo = 57643;
}  // namespace cmd

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

  // The selected region of the shown picture, when there is one.
  std::optional<PixelRect> Region();

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
