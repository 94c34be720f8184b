#include "view/edit_commands.h"

#include "codecs/load_dispatch.h"
#include "colour/colour_profile.h"
#include "core/paths.h"
#include "core/setting_values.h"
#include "ops/ops.h"

namespace qp {
namespace {

// Shows the busy pointer for the lifetime of the object, while the pointer is visible.
class WaitCursor {
 public:
  WaitCursor(CursorPort& cursor, bool visible) : cursor_(cursor), on_(visible) {
    if (on_) cursor_.SetWaitCursor(true);
  }
  ~WaitCursor() {
    if (on_) cursor_.SetWaitCursor(false);
  }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  CursorPort& cursor_;
  bool on_;
};

constexpr CommandOutcome Done(AfterCommand after) { return {true, after, 1}; }
constexpr CommandOutcome RefreshIf(bool ok) {
  return Done(ok ? AfterCommand::Refresh : AfterCommand::Nothing);
}

}  // namespace

bool EditCommands::Handles(uint16_t id) {
  switch (id) {
    case cmd::kRotateLeft: case cmd::kRotateRight: case cmd::kVerticalFlip:
    case cmd::kHorizontalFlip: case cmd::kUpsideDown: case cmd::kLeftRightSwap:
    case cmd::kCrop: case cmd::kSharpen: case cmd::kSoften: case cmd::kBlur:
    case cmd::kSharpenMore: case cmd::kPixelate: case cmd::kOutline:
    case cmd::kAspect1x1: case cmd::kAspect4x3: case cmd::kAspect10x8:
    case cmd::kAspect15x10: case cmd::kAspect16x9: case cmd::kResample:
    case cmd::kCustomSelection: case cmd::kTrimBorders: case cmd::kShowSelectedColour:
    case cmd::kSelectAll: case cmd::kClearSelection: case cmd::kSelectionQuery:
    case cmd::kToggleTransparency: case cmd::kViewTransparencyOnly:
    case cmd::kRemoveTransparency: case cmd::kSetToBackground: case cmd::kFillFromBackground:
    case cmd::kLoadFromImage: case cmd::kNegative: case cmd::kGrayscale:
    case cmd::kBlackAndWhite: case cmd::kRoundedCorners: case cmd::kEllipse:
    case cmd::kRectangle: case cmd::kBox: case cmd::kJoinAbove: case cmd::kJoinRight:
    case cmd::kJoinLeft: case cmd::kJoinBelow: case cmd::kAddBorders: case cmd::kCopy:
    case cmd::kCopyFrame: case cmd::kPaste: case cmd::kPasteWithTransparency:
    case cmd::kUndo:
      return true;
    default:
      return id >= cmd::kFloydSteinberg && id <= cmd::kThresholdDither;
  }
}

std::optional<PixelRect> EditCommands::Region() const {
  const ImageBuffer* shown = view_.ShownPicture();
  if (shown == nullptr || shown->empty()) return std::nullopt;
  return selection_.Region(shown->width(), shown->height(), state_.zoom);
}

void EditCommands::LeaveFullScreen() {
  if (state_.fullScreen != 0) state_.ToggleFullScreenWithFit();
}

std::string EditCommands::CurrentFolder() {
  const std::string path = view_.DocumentPath();
  return ClipboardKind(path) == kRealFile ? FolderOf(path) : std::string();
}

CommandOutcome EditCommands::Execute(uint16_t id) {
  if (!Handles(id)) return {};
  switch (id) {
    case cmd::kClearSelection:
      selection_.Clear();
      return Done(AfterCommand::Repaint);
    case cmd::kSelectionQuery:
      return {true, AfterCommand::Nothing, selection_.Exists() ? 1 : 0};
    case cmd::kCrop: return Crop();
    case cmd::kAspect1x1: return Aspect(1, 1);
    case cmd::kAspect4x3: return Aspect(4, 3);
    case cmd::kAspect10x8: return Aspect(10, 8);
    case cmd::kAspect15x10: return Aspect(15, 10);
    case cmd::kAspect16x9: return Aspect(16, 9);
    case cmd::kCustomSelection: return CustomSelection();
    case cmd::kSelectAll: return SelectAll();
    case cmd::kTrimBorders: return TrimBorders();
    case cmd::kShowSelectedColour: return ShowSelectedColour();
    case cmd::kCopy: return Copy();
    case cmd::kCopyFrame: return CopyFrame();
    case cmd::kPaste: return Paste(false);
    case cmd::kPasteWithTransparency: return Paste(true);
    case cmd::kUndo: return Undo();
    case cmd::kResample:
    case cmd::kAddBorders:
    case cmd::kLoadFromImage:
      // Their dialogs open in the window, not over the fullscreen picture.
      LeaveFullScreen();
      break;
    default: break;
  }
  ImageBuffer* img = view_.OwnedPicture();
  if (img == nullptr || img->empty()) return Done(AfterCommand::Nothing);
  return PictureCommand(id, *img);
}

CommandOutcome EditCommands::PictureCommand(uint16_t id, ImageBuffer& img) {
  switch (id) {
    case cmd::kResample: return Resample(img);
    case cmd::kAddBorders: return AddBorders(img);
    case cmd::kLoadFromImage: return LoadFromImage(img);
    case cmd::kJoinAbove: return Join(img, 0);
    case cmd::kJoinRight: return Join(img, 1);
    case cmd::kJoinLeft: return Join(img, 2);
    case cmd::kJoinBelow: return Join(img, 3);
    case cmd::kEllipse:
    case cmd::kRectangle:
    case cmd::kBox: return Shape(id, img);
    default: break;
  }
  WaitCursor wait(ports_.cursor, view_.CursorVisible());
  switch (id) {
    case cmd::kRotateLeft: return RefreshIf(RotateCounterClockwise(img, state_));
    case cmd::kRotateRight: return RefreshIf(RotateClockwise(img, state_));
    case cmd::kVerticalFlip: FlipVertical(img, state_); break;
    case cmd::kHorizontalFlip: FlipHorizontal(img, state_); break;
    case cmd::kUpsideDown: UpsideDown(img, state_); break;
    case cmd::kLeftRightSwap: LeftRightSwap(img, state_); break;
    case cmd::kSharpen: return RefreshIf(ApplyFilter(FilterKind::Sharpen, img, undo_, state_));
    case cmd::kSharpenMore:
      return RefreshIf(ApplyFilter(FilterKind::SharpenMore, img, undo_, state_));
    case cmd::kSoften: return RefreshIf(ApplyFilter(FilterKind::Soften, img, undo_, state_));
    case cmd::kBlur: return RefreshIf(ApplyFilter(FilterKind::Blur, img, undo_, state_));
    case cmd::kPixelate:
      Pixelate(img, Region(), undo_, state_);
      selection_.Clear();
      break;
    case cmd::kOutline: Outline(img, state_); break;
    case cmd::kNegative: Negative(img, undo_, state_); break;
    case cmd::kGrayscale: Grayscale(img, undo_, state_); break;
    case cmd::kBlackAndWhite: BlackAndWhite(img, undo_, state_); break;
    case cmd::kToggleTransparency: return RefreshIf(ToggleTransparency(img, state_));
    case cmd::kViewTransparencyOnly: ViewTransparencyOnly(img, undo_, state_); break;
    // The display shows no alpha, so the alpha-only tools leave the screen as it is.
    case cmd::kRemoveTransparency:
      RemoveTransparency(img, undo_, state_);
      return Done(AfterCommand::Nothing);
    case cmd::kSetToBackground:
      SetToBackground(img, undo_, state_);
      return Done(AfterCommand::Nothing);
    case cmd::kFillFromBackground:
      FillFromBackground(img, undo_, state_);
      return Done(AfterCommand::Nothing);
    case cmd::kRoundedCorners: return RefreshIf(RoundedCorners(img, undo_, state_));
    default:
      if (id >= cmd::kFloydSteinberg && id <= cmd::kThresholdDither) {
        return RefreshIf(ApplyDither(id - cmd::kFloydSteinberg, img, undo_, state_));
      }
      return {};
  }
  return Done(AfterCommand::Refresh);
}

CommandOutcome EditCommands::Crop() {
  const auto region = Region();
  if (!region) return Done(AfterCommand::Nothing);
  const ImageBuffer& shown = *view_.ShownPicture();
  auto cropped = CopyRegion(shown, *region);
  if (!cropped) return Done(AfterCommand::Nothing);
  undo_.TakeCopy(shown);
  state_.vectorSource = 0;
  // The frame of a paused playback is copied; the playback ends with the crop.
  if (state_.animating.load() != 0 || state_.playback) state_.StopPlayback();
  view_.AdoptPicture(std::move(*cropped));
  selection_.Clear();
  return Done(AfterCommand::Refresh);
}

CommandOutcome EditCommands::Aspect(int32_t xUnits, int32_t yUnits) {
  const ImageBuffer* shown = view_.ShownPicture();
  if (shown == nullptr || shown->empty()) return Done(AfterCommand::Nothing);
  const bool changed =
      selection_.Aspect(xUnits, yUnits, shown->width(), shown->height(), state_.zoom);
  return Done(changed ? AfterCommand::Repaint : AfterCommand::Nothing);
}

CommandOutcome EditCommands::CustomSelection() {
  LeaveFullScreen();
  const ImageBuffer* shown = view_.ShownPicture();
  if (shown == nullptr || shown->empty()) return Done(AfterCommand::Nothing);
  const int32_t w = shown->width(), h = shown->height();
  CustomSelectionDialog dialog(w, h);
  if (!dialogs_.CustomSelection(dialog) || dialog.Validate()) return Done(AfterCommand::Nothing);
  const auto v = dialog.Values();
  const bool selected = selection_.SelectByNumbers(v.top, v.left, v.right, v.bottom, w, h,
                                                   state_.zoom);
  return Done(selected ? AfterCommand::Repaint : AfterCommand::Nothing);
}

CommandOutcome EditCommands::SelectAll() {
  const ImageBuffer* shown = view_.ShownPicture();
  if (shown == nullptr || shown->empty()) return Done(AfterCommand::Nothing);
  const bool selected = selection_.SelectAll(shown->width(), shown->height(), state_.zoom);
  return Done(selected ? AfterCommand::Repaint : AfterCommand::Nothing);
}

CommandOutcome EditCommands::TrimBorders() {
  const ImageBuffer* shown = view_.ShownPicture();
  if (shown == nullptr || shown->empty()) return Done(AfterCommand::Nothing);
  // Without a selection the whole picture is selected first, which shows even when the
  // border cannot be found.
  selection_.TrimBorders(*shown, state_.zoom);
  return Done(AfterCommand::Repaint);
}

CommandOutcome EditCommands::ShowSelectedColour() {
  const auto region = Region();
  if (!region) return Done(AfterCommand::Nothing);
  const uint32_t pixel = CentrePixel(*view_.ShownPicture(), *region);
  LeaveFullScreen();
  dialogs_.ShowColour(SelectColourDialog(pixel));
  return Done(AfterCommand::Nothing);
}

CommandOutcome EditCommands::Resample(ImageBuffer& img) {
  ResampleDialog dialog(img.width(), img.height(), state_.vectorSource != 0);
  dialog.SetKeepAspect(SwitchIsOn(settings_.ReadNumber("KeepAspectRatio")));
  dialog.sharpen = SwitchIsOn(settings_.ReadNumber("SharpenAfterResample"));
  dialog.useResize = SwitchIsOn(settings_.ReadNumber("UseResize"));
  if (!dialogs_.Resample(dialog) || dialog.Validate()) return Done(AfterCommand::Nothing);
  settings_.WriteNumber("KeepAspectRatio", dialog.keepAspect ? 1 : 0);
  settings_.WriteNumber("SharpenAfterResample", dialog.sharpen ? 1 : 0);
  settings_.WriteNumber("UseResize", dialog.useResize ? 1 : 0);
  WaitCursor wait(ports_.cursor, view_.CursorVisible());
  const VectorRenderer render = [this](int32_t w, int32_t h) {
    return view_.RenderVector(w, h);
  };
  return RefreshIf(ResampleCommand(img, dialog.Request(), render, undo_, state_));
}

CommandOutcome EditCommands::AddBorders(ImageBuffer& img) {
  AddBordersDialog dialog(img.width(), img.height(), LoadPixel(img.data()) & 0xFFFFFFu);
  if (!dialogs_.AddBorders(dialog) || dialog.Validate()) return Done(AfterCommand::Nothing);
  WaitCursor wait(ports_.cursor, view_.CursorVisible());
  return RefreshIf(qp::AddBorders(img, dialog.Sizes(), dialog.Colour(), undo_, state_));
}

CommandOutcome EditCommands::Join(ImageBuffer& img, int32_t direction) {
  FileDialogRequest request;
  request.filter = view_.OpenFilter();
  request.folder = CurrentFolder();
  request.allowMultiple = true;
  const auto chosen = ports_.fileDialogs.Open(request);
  if (!chosen) return Done(AfterCommand::Nothing);
  WaitCursor wait(ports_.cursor, view_.CursorVisible());
  // In the dialog's order; the first failure ends the series, the joins before it stay.
  for (const std::string& path : chosen->paths) {
    const JoinOutcome outcome = JoinImage(img, view_.LoadPicture(path),
                                          static_cast<JoinDirection>(direction), undo_, state_);
    if (outcome == JoinOutcome::CouldNotLoad) {
      ports_.messages.Show(kCouldNotLoadImage, MessageIcon::Error);
      break;
    }
    if (outcome != JoinOutcome::Joined) break;
  }
  return Done(AfterCommand::Refresh);
}

CommandOutcome EditCommands::LoadFromImage(ImageBuffer& img) {
  FileDialogRequest request;
  request.filter = view_.OpenFilter();
  request.folder = CurrentFolder();
  const auto chosen = ports_.fileDialogs.Open(request);
  if (!chosen || chosen->paths.empty()) return Done(AfterCommand::Nothing);
  const char* message =
      LoadTransparencyFromImage(img, view_.LoadPicture(chosen->paths.front()), undo_, state_);
  if (message != nullptr) ports_.messages.Show(message, MessageIcon::Error);
  return Done(AfterCommand::Nothing);
}

CommandOutcome EditCommands::Shape(uint16_t id, ImageBuffer& img) {
  const auto region = Region();
  switch (id) {
    case cmd::kEllipse:
      DrawEllipse(img, region, DrawingColour(settings_.ReadText("EllipseColour"), 0xFF0000),
                  undo_, state_);
      break;
    case cmd::kRectangle:
      DrawRectangle(img, region,
                    DrawingColour(settings_.ReadText("RectangleColour"), 0xFF0000), undo_,
                    state_);
      break;
    default:
      DrawBox(img, region, DrawingColour(settings_.ReadText("BoxColour"), 0), undo_, state_);
      break;
  }
  selection_.Clear();
  return Done(AfterCommand::Refresh);
}

CommandOutcome EditCommands::Copy() {
  const ImageBuffer* shown = view_.ShownPicture();
  if (shown == nullptr || shown->empty()) return Done(AfterCommand::Nothing);
  if (auto picture = CopyPicture(*shown, Region())) {
    // Other programs read clipboard pictures as sRGB.
    if (ColourManaged(&settings_))
      ConvertBgra(picture->data(), picture->pixelCount(), state_.colourProfile.get(), nullptr);
    ports_.clipboard.SetImage(*picture);
  }
  return Done(AfterCommand::Nothing);
}

CommandOutcome EditCommands::CopyFrame() {
  if (const auto display = view_.Display()) {
    if (auto picture = FramePicture(*display)) ports_.clipboard.SetImage(*picture);
  }
  return Done(AfterCommand::Nothing);
}

CommandOutcome EditCommands::Paste(bool withTransparency) {
  const std::string name =
      PreparePaste(withTransparency, view_.DocumentPath(), state_, settings_, clipboardCounter);
  view_.SetDocumentPath(name);
  return Done(AfterCommand::Refresh);
}

CommandOutcome EditCommands::Undo() {
  // Not while a playback runs: its next frame would replace the restored picture at once.
  if (state_.animating.load() != 0 && state_.paused.load() == 0) {
    return Done(AfterCommand::Nothing);
  }
  auto restored = undo_.Restore();
  if (!restored) return Done(AfterCommand::Nothing);
  if (state_.animating.load() != 0 || state_.playback) state_.StopPlayback();
  view_.AdoptPicture(std::move(*restored));
  state_.vectorSource = 0;
  selection_.Clear();
  return Done(AfterCommand::Refresh);
}

}  // namespace qp
