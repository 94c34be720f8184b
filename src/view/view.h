// CImgViewerView: the one view. It owns the current picture and its display bitmap, loads a
// document path for display (sniff, decode, fall-backs, line list, metadata), lays the picture
// out at the current zoom, runs the view's command hook (zoom, fit, scroll, fullscreen, reload,
// animation ticks) and fills the status panes. No Qt: the window reaches it through ViewHost.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "codecs/load_dispatch.h"
#include "core/image_buffer.h"
#include "core/settings_access.h"
#include "core/viewer_state.h"
#include "ops/undo.h"
#include "platform/ports.h"
#include "view/edit_commands.h"
#include "tools/result_dialogs.h"
#include "view/overlay.h"
#include "view/selection.h"
#include "view/view_geometry.h"
#include "view/view_host.h"

namespace qp {

// View commands (the hook's ids).
enum ViewCommand : uint16_t {
  kCmdScrollHome = 4010,
  kCmdScrollDown = 4011,
  kCmdScrollUp = 4012,
  kCmdScrollLeft = 4013,
  kCmdScrollRight = 4014,
  kCmdPageDown = 4015,
  kCmdPageUp = 4016,
  kCmdScrollTopRight = 4017,
  kCmdScrollBottomLeft = 4019,
  kCmdReload = 4025,
  kCmdPauseAnimation = 4027,
  kCmdZoomIn = 4031,
  kCmdZoomOut = 4032,
  kCmdLockZoom = 4033,
  kCmdDoubleZoom = 4036,
  kCmdHalveZoom = 4037,
  kCmdClearSelection = 4038,
  kCmdHasSelection = 4039,
  kCmdFitToImage = 4155,
  kCmdRestartAnimation = 4183,
  // Internal, posted: the exact picture of the preview on show may have arrived.
  kCmdExactPicture = 4197,
  // Internal, posted after a paint: what the pictures shown before held is given back.
  kCmdFreeReleased = 4198,
};

class PrefetchLoader;
struct DisplayPlan;
struct PreviewPicture;
class ShowTrace;

// Everything the view works with, handed down by the application.
struct ViewContext {
  ViewerState& state;
  SettingsAccess& settings;
  Ports& ports;
  ViewHost& host;
  ViewFileList& files;
  SystemImageDecoder* systemDecoder = nullptr;
  // The OCR and barcode result dialogs; without them those commands do nothing.
  ToolDialogPort* toolDialogs = nullptr;
  // The edit commands' dialogs; without them those commands act as if cancelled.
  EditDialogPort* editDialogs = nullptr;
  // Pictures decoded ahead (none: every file is loaded when shown).
  PrefetchLoader* prefetch = nullptr;
  // The "shown" lines for measuring (none: no lines).
  ShowTrace* trace = nullptr;
};

class CImgViewerView : private EditView {
 public:
  explicit CImgViewerView(ViewContext ctx);
  ~CImgViewerView() override;
  CImgViewerView(const CImgViewerView&) = delete;
  CImgViewerView& operator=(const CImgViewerView&) = delete;

  // The command hook: anything but the marker is declined with 0.
  int32_t Hook(uint16_t marker, uint16_t command, intptr_t argument);

  // The document's path (empty: no document). Opening sets it and refreshes.
  const std::string& documentPath() const { return documentPath_; }
  void OpenDocument(const std::string& path);
  void SetDocumentPath(const std::string& path) override { documentPath_ = path; }

  // Reloads the document if its path changed, lays it out, fills the panes and repaints.
  void Refresh();
  // Turns the document path into the current picture and the display bitmap; false when
  // nothing is shown.
  bool LoadForDisplay(const std::string& path, int32_t clipboardKind);

  // Zoom operations of the view.
  void ZoomBy(double factor);
  void SetFit(float code);
  void OriginalSize();
  void ToggleLockZoom();
  void ToggleFullScreen();
  void FitToImage();
  void ScrollBy(int32_t dx, int32_t dy);
  // The information overlay: next mode, metadata read or cleared, refresh.
  void CycleOverlay();

  // Two-stage display: a preview (the picture decoded at screen size) is on show while the
  // exact picture is decoded on the worker. The picture's size, file size and type are the
  // exact ones already; its pixels are not there yet.
  bool showsPreview() const { return preview_ != nullptr; }
  // False while a preview of only a part of the picture is on show and the view area of w x h
  // at scroll position (x, y) shows more than that part: the exact picture is needed.
  bool PreviewCovers(int32_t x, int32_t y, int32_t w, int32_t h) const;
  // Puts the exact picture in place of a preview on show, waiting for it under the wait
  // cursor, and shows it. Everything that works on the picture itself comes through here
  // first; without a preview it does nothing.
  void EnsureExact();
  // The layout the current state gives a picture shown now.
  DisplayPlan CurrentPlan();

  // What the window paints.
  const DisplayBitmap* displayBitmap() const { return display_ ? &*display_ : nullptr; }
  // The bitmap's row width (a multiple of 4) and the width the picture takes on screen.
  int32_t displayWidth() const { return display_ ? display_->width : -1; }
  int32_t shownWidth() const { return display_ ? display_->scaledWidth : -1; }
  int32_t displayHeight() const { return display_ ? display_->height : -1; }
  // The picture's offset and margins for a surface of sw x sh (the screen in fullscreen).
  PaintLayout Paint(int32_t sw, int32_t sh);
  std::vector<OverlayLine> OverlayLines(const PaintLayout& layout) const;

  // The current picture: pixels present (the placeholder counts as none for editing).
  bool holdsPicture() const;
  bool holdsImage() const { return holdsPicture() && !placeholder_; }
  bool isPlaceholder() const { return placeholder_; }
  const uint8_t* pixels() const;
  // The picture as a buffer (the owned one or the playback canvas); null for none or the
  // placeholder.
  const ImageBuffer* currentImage() const;
  int32_t pictureWidth() const;
  int32_t pictureHeight() const;
  // The owned picture edits work on (empty while an animation frame is shown).
  ImageBuffer& picture() {
    EnsureExact();
    prepared_.reset();  // the pixels may change: a bitmap made from them earlier is stale
    return picture_;
  }
  UndoSnapshot& undo() { return undo_; }
  int64_t fileSize() const { return fileSize_; }
  int32_t sniffCode() const { return sniffCode_; }
  const std::string& loadedPath() const { return loadedPath_; }
  void ForgetLoadedPath() { loadedPath_.clear(); }

  // The selection the mouse and the edit commands work on.
  bool hasSelection() const { return selection_.Exists(); }
  void ClearSelection() { selection_.Clear(); }
  Selection& selection() { return selection_; }
  // The selected rectangle in image pixels, limited to the picture on show; nothing without a
  // selection, a picture or a zoom factor.
  std::optional<PixelRect> selectedRegion() const;
  // Shows or hides the pointer over the view when that changes its state.
  void ShowPointer(bool visible);

  ViewContext& context() { return ctx_; }

  // Decoding ahead (view_prefetch.cpp). How the next picture will be laid out, for the
  // prefetch loader to make its display bitmap as well.
  DisplayPlan PlanNextLayout();
  // The window moved to another screen, or the screen's profile changed: it is read again and
  // the picture laid out in its colours.
  void ScreenChanged();
  // The screen's colour profile (null: sRGB), read once from the screen port.
  const ColourProfilePtr& ScreenProfile();

  // The window calls this at the end of every paint; `then` runs once after the next one, after
  // those given before it.
  void Painted();
  void AfterNextPaint(std::function<void()> then) { afterPaint_.push_back(std::move(then)); }

 private:
  // A prefetched picture of `path` becomes the current one, with everything its load learned.
  bool AdoptPrefetched(const std::string& path);
  // A file's picture becomes the current one: the preview when the layout allows one and the
  // exact picture is not ready, else the picture decoded ahead, else a load of the file.
  // True when the load already laid out the picture (a system decoder's, unscaled).
  bool LoadFile(const std::string& path, bool allowPreview);
  bool ShowPreview(const std::string& path);
  // The exact picture of the preview on show takes its place (as EnsureExact, without the
  // layout and the paint).
  void ReplacePreview();
  // Const accessors of the pixels complete a preview first.
  void EnsureExactFromConst() const { const_cast<CImgViewerView*>(this)->EnsureExact(); }
  // The layout at zoom `z` takes the display bitmap made with the prefetched picture.
  bool UsePreparedDisplay(float z);
  // Empties `display_`; a bitmap the prepared display or the preview lent it goes back.
  void ReleaseDisplay();

  int32_t EditHook(uint16_t command, intptr_t argument);
  // EditView: what the edit commands see of the view.
  ImageBuffer* OwnedPicture() override;
  const ImageBuffer* ShownPicture() override;
  void AdoptPicture(ImageBuffer picture) override;
  std::optional<DisplayPixels> Display() override;
  bool CursorVisible() override { return cursorVisible_; }
  std::string DocumentPath() override { return documentPath_; }
  std::optional<ImageBuffer> LoadPicture(const std::string& path) override;
  std::optional<ImageBuffer> RenderVector(int32_t width, int32_t height) override;
  std::string OpenFilter() override;
  // OCR, barcode reading and the export to RIOT.
  void RunTool(uint16_t command);
  void ReleasePicture();
  // Draws the playback's progress into the last row of the frame on show (long playbacks).
  void DrawPlaybackProgress();
  // Reads the camera data of a JPEG file (by its sniffed type) and clears it for any other,
  // keeping the colour space its decoder recorded.
  void ReadMetadataFor(const std::string& path, int32_t sniffCode);
  // Makes the display bitmap at the current zoom and moves the drawn selection with it.
  void Layout();
  void LayOutDisplay();
  void RefreshTail();
  void Reload();
  void AnimationTick(intptr_t generation);
  void Redraw();
  void SetPanes();
  std::pair<int32_t, int32_t> AvailableArea();
  // The size the picture takes on screen: the display bitmap's, or the whole picture's while
  // the bitmap holds only a part of it.
  std::pair<int32_t, int32_t> ShownSize() const;

  ViewContext ctx_;
  std::string documentPath_;
  std::string loadedPath_;
  ImageBuffer picture_;   // owned picture
  bool showsCanvas_ = false;  // the playback canvas is the picture
  bool placeholder_ = false;
  ImageBuffer placeholderPixel_;
  UndoSnapshot undo_;
  int64_t fileSize_ = 0;
  int32_t sniffCode_ = 0;
  std::optional<DisplayBitmap> display_;
  int32_t extentW_ = 0, extentH_ = 0;
  bool cursorVisible_ = true;
  Selection selection_;
  // Made with the view: the edit commands, and the one home of the selected region.
  std::unique_ptr<EditCommands> edits_;
  void MakeEditCommands();
  // The display bitmap the prefetch loader made for the adopted picture, valid until the
  // picture changes, another view command runs or the window paints.
  struct PreparedDisplay {
    const uint8_t* source = nullptr;
    float zoom = 0.0f;
    DisplayBitmap bitmap;
    bool managed = false;               // converted to the screen's colours
    const ColourProfile* screen = nullptr;  // the screen profile it was converted to
    bool lent = false;                      // `bitmap` is in `display_`
  };
  std::optional<PreparedDisplay> prepared_;
  // What the pictures shown before held, freed once the next one is on screen: giving back a
  // few hundred megabytes takes tens of milliseconds.
  struct Released {
    ImageBuffer picture;
    std::optional<DisplayBitmap> display;
    std::unique_ptr<PreviewPicture> preview;
  };
  void KeepUntilPainted(Released released);
  std::vector<Released> released_;
  std::vector<std::function<void()>> afterPaint_;
  ColourProfilePtr screenProfile_;
  bool screenProfileRead_ = false;
  std::unique_ptr<PreviewPicture> preview_;  // on show instead of the picture
  bool previewLent_ = false;                 // its bitmap is in `display_`
};

}  // namespace qp
