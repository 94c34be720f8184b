#include "view/view.h"

#include <algorithm>

#include "codecs/svg.h"
#include "core/paths.h"
#include "codecs/sniff.h"
#include "ops/display_scale.h"
#include "ops/resample.h"
#include "ops/shapes.h"
#include "view/prefetch.h"
#include "view/show_trace.h"
#include "core/debug.h"

namespace qp {

CImgViewerView::CImgViewerView(ViewContext ctx) : ctx_(ctx) {
  if (auto p = ImageBuffer::Filled(1, 1, 0)) placeholderPixel_ = std::move(*p);
  ctx_.state.hooks.viewCommand = [this](uint16_t command, intptr_t argument) {
    return Hook(kViewCommandMarker, command, argument);
  };
  ctx_.state.hasView = true;
  MakeEditCommands();
}

CImgViewerView::~CImgViewerView() {
  ctx_.state.hasView = false;
  ctx_.state.hooks.viewCommand = nullptr;
  showsCanvas_ = false;
  ctx_.state.StopPlayback();
}

int32_t CImgViewerView::Hook(uint16_t marker, uint16_t command, intptr_t argument) {
  if (marker != kViewCommandMarker) return 0;
  if (command == kCmdFreeReleased) {
    released_.clear();
    return 1;
  }
  if (command == kCmdExactPicture) {
    // Posted after the preview's paint and by the worker: take the exact picture once the
    // worker is done with it (or has given it up, and the view loads it itself).
    if (preview_ && (ctx_.prefetch == nullptr || !ctx_.prefetch->ExactPending(documentPath_)))
      EnsureExact();
    return 1;
  }
  // What changes the layout or works on the picture needs the exact one; scrolling, the
  // selection queries and animation ticks do not.
  switch (command) {
    case kCmdRefresh: case kCmdReload: case kCmdAnimationTick: case kCmdHasSelection:
    case kCmdClearSelection:
      break;
    default:
      EnsureExact();
      break;
  }
  if (command != kCmdRefresh) prepared_.reset();
  ViewerState& s = ctx_.state;
  ViewHost& host = ctx_.host;
  const bool h = host.HasHorizontalScrollBar();
  const bool v = host.HasVerticalScrollBar();
  // Arrow steps are fractions of the area a window may use, as the keys step through a
  // picture larger than the screen in a fixed number of presses.
  const ScreenRect area = ctx_.ports.screen.AvailableGeometry();
  const int32_t vstep = area.height() / 12;
  const int32_t hstep = area.width() / 16;
  switch (command) {
    case kCmdScrollHome: if (h || v) host.ScrollTo(0, 0); break;
    case kCmdScrollDown: if (v) ScrollBy(0, vstep); break;
    case kCmdScrollUp: if (v) ScrollBy(0, -vstep); break;
    case kCmdScrollLeft: if (h) ScrollBy(-hstep, 0); break;
    case kCmdScrollRight: if (h) ScrollBy(hstep, 0); break;
    case kCmdPageDown: if (v) ScrollBy(0, host.ViewportHeight()); break;
    case kCmdPageUp: if (v) ScrollBy(0, -host.ViewportHeight()); break;
    case kCmdScrollTopRight: if (h || v) host.ScrollTo(h ? 65536 : 0, 0); break;
    case kCmdScrollBottomLeft: if (h || v) host.ScrollTo(0, v ? 65536 : 0); break;
    case kCmdRefresh: Refresh(); break;
    case kCmdToggleFullScreen: ToggleFullScreen(); break;
    case kCmdReload: Reload(); break;
    case kCmdAnimationTick: AnimationTick(argument); break;
    case kCmdPauseAnimation:
      if (s.animating) {
        s.paused = s.paused ? 0 : 1;
        ClearSelection();
      }
      break;
    case kCmdZoomIn: ZoomBy(kZoomStep); break;
    case kCmdZoomOut: ZoomBy(1.0 / static_cast<double>(kZoomStep)); break;
    case kCmdDoubleZoom: ZoomBy(2.0); break;
    case kCmdHalveZoom: ZoomBy(0.5); break;
    case kCmdLockZoom: ToggleLockZoom(); break;
    case kCmdClearSelection: ClearSelection(); break;
    case kCmdHasSelection: return hasSelection() ? 1 : 0;
    case 4074: break;  // F12: accepted, nothing to do
    case kCmdFitToImage: FitToImage(); break;
    case kCmdRestartAnimation:
      if (s.animating) {
        s.frameIndex = s.frameCount.load();
        loadedPath_.clear();
        Redraw();
      }
      break;
    default: return EditHook(command, argument);
  }
  return 1;
}

void CImgViewerView::OpenDocument(const std::string& path) {
  documentPath_ = path;
  Refresh();
}

bool CImgViewerView::holdsPicture() const {
  if (placeholder_ || preview_) return true;
  if (showsCanvas_) return !ctx_.state.animationCanvas.empty();
  return !picture_.empty();
}

// The buffer behind the current picture: the owned one, the playback canvas or the placeholder.
static const ImageBuffer& SourceOf(const ImageBuffer& owned, bool canvas, bool placeholder,
                                   const ImageBuffer& placeholderPixel, const ViewerState& s) {
  if (placeholder) return placeholderPixel;
  if (canvas) return s.animationCanvas;
  return owned;
}

const uint8_t* CImgViewerView::pixels() const {
  EnsureExactFromConst();
  if (!holdsPicture()) return nullptr;
  return SourceOf(picture_, showsCanvas_, placeholder_, placeholderPixel_, ctx_.state).data();
}
const ImageBuffer* CImgViewerView::currentImage() const {
  EnsureExactFromConst();
  if (!holdsImage()) return nullptr;
  return &SourceOf(picture_, showsCanvas_, placeholder_, placeholderPixel_, ctx_.state);
}
int32_t CImgViewerView::pictureWidth() const {
  if (preview_) return preview_->fullWidth;
  if (!holdsPicture()) return 0;
  return SourceOf(picture_, showsCanvas_, placeholder_, placeholderPixel_, ctx_.state).width();
}
int32_t CImgViewerView::pictureHeight() const {
  if (preview_) return preview_->fullHeight;
  if (!holdsPicture()) return 0;
  return SourceOf(picture_, showsCanvas_, placeholder_, placeholderPixel_, ctx_.state).height();
}

void CImgViewerView::ReleasePicture() {
  // The playback canvas and the placeholder belong to others; only the owned picture is freed.
  ReleaseDisplay();  // a bitmap lent by the preview or the prepared display goes back first
  Released r;
  r.picture = std::move(picture_);
  picture_.reset();
  r.preview = std::move(preview_);
  if (prepared_ && !prepared_->lent) r.display = std::move(prepared_->bitmap);
  prepared_.reset();
  KeepUntilPainted(std::move(r));
  showsCanvas_ = false;
  placeholder_ = false;
}

std::pair<int32_t, int32_t> CImgViewerView::AvailableArea() {
  const ScreenRect r = ctx_.state.fullScreen ? ctx_.ports.screen.FullGeometry()
                                             : ctx_.ports.screen.AvailableGeometry();
  return {r.width(), r.height()};
}

bool CImgViewerView::LoadForDisplay(const std::string& path, int32_t clipboardKind) {
  ViewerState& s = ctx_.state;
  if (path != loadedPath_) {
    loadedPath_ = path;
    if (ctx_.trace != nullptr && !s.animating) ctx_.trace->PictureLoaded(path);
    if (!s.fullScreen && !s.zoomLocked && !s.animating) {
      s.zoom = s.lockedZoom = 1.0f;
      s.backgroundDirty = 1;
    }
    ReleasePicture();
    if (s.animating) {
      // A playback step: only the running decoder is asked, no sniffing, no metadata.
      if (s.StepPlayback()) {
        showsCanvas_ = true;
        DrawPlaybackProgress();
      }
    } else if (clipboardKind >= 1) {
      // A pasted picture has no file: the last file's size and type must not be shown for it.
      fileSize_ = 0;
      sniffCode_ = 0;
      // Nor the last file's camera data (overlay, properties, map link).
      s.ClearMetadata();
      if (auto img = ctx_.ports.clipboard.GetImage()) {
        undo_.Free();
        s.detailsValid = s.hasAlpha = s.vectorSource = 0;
        s.colourProfile.reset();  // the clipboard holds sRGB pixels
        picture_ = std::move(*img);
        if (clipboardKind == 1) {
          for (size_t i = 3; i < picture_.byteSize(); i += 4) picture_.data()[i] = 255;
          s.vectorSource = 0;
        }
      }
    } else if (LoadFile(path, true)) {
      return display_.has_value();
    }
  }
  Layout();
  return display_.has_value();
}

bool CImgViewerView::LoadFile(const std::string& path, bool allowPreview) {
  ViewerState& s = ctx_.state;
  if (allowPreview && ShowPreview(path)) return false;
  if (AdoptPrefetched(path)) return false;  // decoded ahead, with everything a load learns
  undo_.Free();
  LoadContext lc{s, &ctx_.settings, ctx_.systemDecoder};
  DisplayLoad d = LoadFileForDisplay(path, lc);
  fileSize_ = d.fileSize;
  sniffCode_ = d.sniffCode;
  if (d.picture.isCanvas()) {
    // The first frame of a playback carries the progress bar as every later one does.
    showsCanvas_ = true;
    DrawPlaybackProgress();
  } else if (d.picture) {
    picture_ = d.picture.takeOwned();
  }
  if (d.fromSystem && holdsPicture() && s.zoom > 0.999f && s.zoom < 1.001f) {
    // Shown unscaled at once. The previous file's metadata must not stay with this one.
    s.ClearMetadata();
    Layout();
    return true;
  }
  if (!holdsPicture()) {
    placeholder_ = true;
  } else if (s.drawLines) {
    const std::vector<int32_t> l = std::move(*s.drawLines);
    s.drawLines.reset();
    ImageBuffer& target = showsCanvas_ ? s.animationCanvas : picture_;
    const uint32_t colour = DrawingColour(ctx_.settings.ReadText("LineColour"), 0xFF0000);
    if (l.size() >= 4) {
      DrawLine(target, l[0], l[1], l[2], l[3], colour);
      int32_t px = l[2], py = l[3];
      for (size_t i = 4; i + 1 < l.size(); i += 2) {
        DrawLine(target, px, py, l[i], l[i + 1], colour);
        px = l[i];
        py = l[i + 1];
      }
    }
  }
  ReadMetadataFor(path, sniffCode_);
  return false;
}

void CImgViewerView::DrawPlaybackProgress() {
  ViewerState& s = ctx_.state;
  if (!s.showProgress || s.frameCount <= 8) return;
  std::lock_guard guard(s.lock);
  ImageBuffer& c = s.animationCanvas;
  DrawProgressBar(c.data(), c.width(), c.height(), s.frameIndex, s.frameCount);
}

void CImgViewerView::ReadMetadataFor(const std::string& path, int32_t sniffCode) {
  ViewerState& s = ctx_.state;
  if (sniffCode == kSniffJpeg || sniffCode == -kSniffJpeg) {
    // Reading the camera data clears the colour space with it; the decoder recorded the
    // file's when it was loaded, and the properties report shows it.
    const int32_t colourSpace = s.jpegColourSpace;
    s.ReadMetadata(path);
    s.jpegColourSpace = colourSpace;
  } else {
    s.ClearMetadata();
  }
}

DisplayPlan CImgViewerView::CurrentPlan() {
  const ViewerState& s = ctx_.state;
  DisplayPlan plan;
  plan.zoom = s.zoomLocked && s.lockedZoom < 0 ? s.lockedZoom : s.zoom;
  plan.fullScreen = s.fullScreen != 0;
  const auto [aw, ah] = AvailableArea();
  plan.areaWidth = aw;
  plan.areaHeight = ah;
  plan.factors = ReadFitFactors(ctx_.settings);
  plan.autoOrient = ctx_.settings.ReadFlag("AutoOrient");
  plan.manageColour = ColourManaged(&ctx_.settings);
  plan.screen = ScreenProfile();
  const ScrollPoint at = ctx_.host.ScrollPosition();
  plan.scrollX = at.x;
  plan.scrollY = at.y;
  return plan;
}

std::pair<int32_t, int32_t> CImgViewerView::ShownSize() const {
  if (!display_) return {0, 0};
  if (preview_ && preview_->partial) return {preview_->fullWidth, preview_->fullHeight};
  return {display_->scaledWidth, display_->height};
}

bool CImgViewerView::PreviewCovers(int32_t x, int32_t y, int32_t w, int32_t h) const {
  if (!preview_ || !preview_->partial) return true;
  // The part of the view the picture fills.
  const int32_t right = std::min(x + w, preview_->fullWidth);
  const int32_t bottom = std::min(y + h, preview_->fullHeight);
  const OrientedRect& r = preview_->region;
  return x >= r.left && y >= r.top && right <= r.right && bottom <= r.bottom;
}

bool CImgViewerView::ShowPreview(const std::string& path) {
  ViewerState& s = ctx_.state;
  // The exact picture comes from the worker; the line list is drawn into the picture itself;
  // the overlay's figures are the exact picture's.
  if (ctx_.prefetch == nullptr || s.drawLines || s.overlayMode != 0) return false;
  if (PrefetchBudgetBytes(ctx_.settings.ReadNumber("PrefetchMemoryMB")) <= 0) return false;
  if (ctx_.prefetch->ExactReady(path)) return false;
  const DisplayPlan plan = CurrentPlan();
  // Larger than original size the picture is needed; at original size its part on screen.
  if (plan.zoom >= 0.999f && plan.zoom != 1.0f) return false;
  std::optional<PreviewPicture> p = ctx_.prefetch->TakePreview(path, plan);
  if (!p) {
    // A held key outran the worker: the preview is made here, and the worker's decode of
    // another file, stale now, gives way.
    ctx_.prefetch->StopDecodeUnlessFor(path);
    p = DecodePreview(path, plan);
  }
  if (!p) return false;
  undo_.Free();
  fileSize_ = p->fileSize;
  sniffCode_ = p->sniffCode;
  StoreDetails(p->details, s);
  if (!ColourManaged(&ctx_.settings)) s.colourProfile.reset();
  s.ClearMetadata();  // read with the exact picture
  preview_ = std::make_unique<PreviewPicture>(std::move(*p));
  DebugLog("view: preview of %s at %dx%d%s", path.c_str(), preview_->display.scaledWidth,
           preview_->display.height, preview_->partial ? ", the part on screen" : "");
  return true;
}

void CImgViewerView::ReplacePreview() {
  if (!preview_) return;
  ReleaseDisplay();
  preview_.reset();
  const bool wait = cursorVisible_;
  if (wait) ctx_.ports.cursor.SetWaitCursor(true);
  // The worker's picture if it has it (waiting while it decodes it), else a load of the file;
  // either reads the file as it is now.
  LoadFile(loadedPath_, false);
  if (wait) ctx_.ports.cursor.SetWaitCursor(false);
}

void CImgViewerView::EnsureExact() {
  if (!preview_) return;
  ReplacePreview();
  Layout();
  SetPanes();
  RefreshTail();
}

void CImgViewerView::Layout() {
  LayOutDisplay();
  // The image rectangle is what the operations use; the drawn rectangle follows it to the zoom
  // the picture now has (a reload resets it, fullscreen refits it).
  if (holdsPicture()) selection_.FollowZoom(ctx_.state.zoom, pictureWidth(), pictureHeight());
}

void CImgViewerView::LayOutDisplay() {
  ViewerState& s = ctx_.state;
  ReleaseDisplay();
  if (preview_) {
    // The preview stands for the picture while the layout is the one it was made for (a
    // resized window or another zoom needs the exact picture).
    if (s.zoomLocked && s.lockedZoom < 0) s.zoom = s.lockedZoom;
    float z = s.zoom;
    if (z < 0) {
      const auto [aw, ah] = AvailableArea();
      z = FitZoom(z, preview_->fullWidth, preview_->fullHeight, s.fullScreen != 0, aw, ah,
                  ReadFitFactors(ctx_.settings));
    }
    if (z == preview_->zoom) {
      if (s.zoom < 0) s.backgroundDirty = 1;
      s.zoom = z;
      // Lent, not copied, as the prepared display.
      display_ = std::move(preview_->display);
      previewLent_ = true;
      return;
    }
    ReplacePreview();
  }
  if (!holdsPicture()) return;
  const ImageBuffer& src = SourceOf(picture_, showsCanvas_, placeholder_, placeholderPixel_, s);
  const int32_t w = src.width(), h = src.height();
  if (s.zoomLocked && s.lockedZoom < 0) s.zoom = s.lockedZoom;
  float z = s.zoom;
  if (z < 0) {
    const auto [aw, ah] = AvailableArea();
    // A fit of a very long, thin picture could ask for more than the pixel limit.
    z = ClampZoom(FitZoom(z, w, h, s.fullScreen != 0, aw, ah, ReadFitFactors(ctx_.settings)), w, h);
    s.zoom = z;
    s.backgroundDirty = 1;
  } else {
    // A zoom carried over from a picture of another size (Lock Zoom) keeps its value for the
    // next ones; this picture is scaled within its own limits.
    z = ClampZoom(z, w, h);
  }
  if (UsePreparedDisplay(z)) return;
  std::optional<ImageBuffer> scaled;
  if (NeedsScaling(z)) {
    const Size t = ScaledSize(w, h, z);
    if (t.width > 0 && t.height > 0) {
      if (s.vectorSource) {
        DecodeResult svg = HasExtension(s.currentPath, ".svgz")
                               ? renderSvgz(s.currentPath, t.width, t.height)
                               : renderSvg(s.currentPath, t.width, t.height);
        scaled = svg.toOwned();
      } else if (z < 2) {
        scaled = DisplayScale(src.data(), w, h, t.width, t.height);
      } else {
        scaled = ResizeNearest(src, t.width, t.height);
      }
    }
  }
  // Without a scaled copy (no memory, renderer failed) the picture is shown unscaled.
  display_ = scaled ? MakeDisplayBitmap(scaled->data(), scaled->width(), scaled->height())
                    : MakeDisplayBitmap(src.data(), w, h);
  // The picture's numbers are converted on the way to the screen, after scaling: the bitmap
  // is at most the screen's size, and the picture itself stays as decoded.
  if (display_ && ColourManaged(&ctx_.settings))
    ToScreenColours(*display_, s.colourProfile.get(), ScreenProfile().get());
}

const ColourProfilePtr& CImgViewerView::ScreenProfile() {
  if (!screenProfileRead_) {
    screenProfileRead_ = true;
    screenProfile_ = ScreenProfileOf(ctx_.ports.screen.IccProfile());
  }
  return screenProfile_;
}

void CImgViewerView::ScreenChanged() {
  const ColourProfilePtr before = ScreenProfile();
  screenProfileRead_ = false;
  const ColourProfilePtr& now = ScreenProfile();
  const bool same = before == now || (before && now && before->id() == now->id());
  if (same) return;
  prepared_.reset();
  if (ctx_.prefetch != nullptr) ctx_.prefetch->Replan(PlanNextLayout());
  if (!holdsPicture()) return;
  Layout();
  ctx_.host.Repaint();
}

void CImgViewerView::Refresh() {
  ViewerState& s = ctx_.state;
  if (documentPath_ != s.currentPath) {
    ClearSelection();
    if (s.animating) {
      showsCanvas_ = false;
      s.StopPlayback();
    }
    s.currentPath = documentPath_;
  }
  ctx_.host.SetWindowTitle(WindowTitle(documentPath_));
  ReleaseDisplay();
  if (documentPath_.empty()) {
    for (uint32_t pane : {kPanePath, kPaneDimensions, kPaneSize, kPaneZoom}) ctx_.host.SetPaneText(pane, "");
    RefreshTail();
    return;
  }
  if (HasExtension(documentPath_, ".lst")) {
    ctx_.files.LoadListFile(documentPath_);
    ctx_.ports.post.Post(4000, 0);
    return;
  }
  ctx_.host.SetPaneText(kPanePath, documentPath_ + " ...");
  s.showProgress = ctx_.settings.ReadFlag("DisableProgress") ? 0 : 1;
  const bool wait = cursorVisible_;
  if (wait) ctx_.ports.cursor.SetWaitCursor(true);
  const int32_t kind = ClipboardKind(documentPath_);
  if (kind == 0) ctx_.files.SetCurrent(documentPath_);
  LoadForDisplay(documentPath_, kind);
  if (wait) ctx_.ports.cursor.SetWaitCursor(false);
  SetPanes();
  RefreshTail();
}

void CImgViewerView::SetPanes() {
  ViewHost& host = ctx_.host;
  host.SetPaneText(kPanePath, documentPath_);
  if (display_) {
    host.SetPaneText(kPaneDimensions, DimensionsText(pictureWidth(), pictureHeight()));
    host.SetPaneText(kPaneSize, SizePaneText(fileSize_));
  } else {
    host.SetPaneText(kPaneDimensions, "");
    host.SetPaneText(kPaneSize, "");
  }
  host.SetPaneText(kPaneZoom, ZoomPaneText(ctx_.state.zoom));
}

void CImgViewerView::RefreshTail() {
  ViewerState& s = ctx_.state;
  // The scaled width, not the padded row: on a screen whose width is not a multiple of 4 a
  // fitted picture would otherwise be wider than the screen and scroll.
  const auto [dw, dh] = ShownSize();
  bool wantVisible = true;
  if (s.fullScreen) {
    const ScreenRect full = ctx_.ports.screen.FullGeometry();
    int32_t ew = dw, eh = dh;
    if (dw <= full.width() && dh <= full.height()) {
      ew = full.width();
      eh = full.height();
      wantVisible = false;
    }
    if (ew != extentW_ || eh != extentH_) ctx_.host.SetScrollExtent(ew, eh);
    if (s.zoomLocked) ctx_.host.ScrollTo(0, 0);
    extentW_ = ew;
    extentH_ = eh;
  } else {
    ctx_.host.SetScrollExtent(dw, dh);
    extentW_ = dw;
    extentH_ = dh;
  }
  ctx_.host.Repaint();
  if (wantVisible != cursorVisible_) {
    ctx_.ports.cursor.ShowCursor(wantVisible);
    cursorVisible_ = wantVisible;
  }
}

void CImgViewerView::Reload() {
  ViewerState& s = ctx_.state;
  loadedPath_.clear();
  if (ClipboardKind(documentPath_) != 0 && !s.lastFilePath.empty()) documentPath_ = s.lastFilePath;
  if (ctx_.prefetch != nullptr) ctx_.prefetch->Forget(documentPath_);  // read the file again
  Refresh();
}

void CImgViewerView::AnimationTick(intptr_t generation) {
  ViewerState& s = ctx_.state;
  if (!s.animating) return;
  if (generation != 0 && generation != s.animationGeneration) return;  // a tick of an old playback
  loadedPath_.clear();
  Redraw();
}

void CImgViewerView::Redraw() {
  ViewerState& s = ctx_.state;
  if (documentPath_ != s.currentPath) return;
  ReleaseDisplay();
  LoadForDisplay(documentPath_, 0);
  ctx_.host.Repaint();
}

void CImgViewerView::ZoomBy(double factor) {
  ViewerState& s = ctx_.state;
  ClearSelection();
  // Zooming stops where the picture would shrink below a pixel or its scaled copy would pass
  // the pixel limit; the product is bounded before it becomes a float.
  float z = static_cast<float>(std::clamp(static_cast<double>(s.zoom) * factor, kMinZoom, kMaxZoom));
  if (holdsPicture()) z = ClampZoom(z, pictureWidth(), pictureHeight());
  s.zoom = z;
  s.lockedZoom = s.zoom;
  s.backgroundDirty = 1;
  Refresh();
}

void CImgViewerView::SetFit(float code) {
  ViewerState& s = ctx_.state;
  ClearSelection();
  s.zoom = code;
  if (s.zoomLocked) s.lockedZoom = code;
  Refresh();
}

void CImgViewerView::OriginalSize() {
  ViewerState& s = ctx_.state;
  if (s.zoom == 1.0f) return;
  ClearSelection();
  s.zoom = 1.0f;
  s.lockedZoom = 1.0f;
  Refresh();
}

void CImgViewerView::ToggleLockZoom() { ctx_.state.zoomLocked = ctx_.state.zoomLocked ? 0 : 1; }

void CImgViewerView::ToggleFullScreen() {
  ViewerState& s = ctx_.state;
  if (!s.fullScreen) {
    ClearSelection();
    s.fullScreen = 1;
    ctx_.host.ShowFullScreen(true);
  } else {
    s.fullScreen = 0;
    ctx_.host.ShowFullScreen(false);
  }
  // The pictures decoded ahead were scaled for the other layout.
  if (ctx_.prefetch != nullptr) ctx_.prefetch->Replan(PlanNextLayout());
}

void CImgViewerView::FitToImage() {
  // Without a picture there is nothing to fit the window to.
  if (!display_) return;
  if (ctx_.state.fullScreen) ctx_.state.ToggleFullScreenWithFit();
  ClearSelection();
  if (!display_) return;
  // The picture is measured in device pixels, the frame's bars and borders in window units.
  ctx_.host.ResizeFrame(display_->scaledWidth, display_->height, 40, 90);
}

void CImgViewerView::ScrollBy(int32_t dx, int32_t dy) {
  const ScrollPoint p = ctx_.host.ScrollPosition();
  ctx_.host.ScrollTo(ClampScroll(int64_t{p.x} + dx), ClampScroll(int64_t{p.y} + dy));
}

void CImgViewerView::CycleOverlay() {
  ViewerState& s = ctx_.state;
  s.overlayMode = (s.overlayMode + 1) % 3;
  if (s.overlayMode == 2) ReadMetadataFor(s.currentPath, SniffFileType(s.currentPath));
  s.backgroundDirty = 1;
  Refresh();
}

PaintLayout CImgViewerView::Paint(int32_t sw, int32_t sh) {
  ViewerState& s = ctx_.state;
  PaintLayout layout;
  if (!display_) return layout;
  const auto [dw, dh] = ShownSize();
  layout = LayOutPaint(dw, dh, s.fullScreen != 0, sw, sh, !s.animating || s.backgroundDirty);
  if (preview_ && preview_->partial) {
    layout.bitmapX = preview_->region.left;
    layout.bitmapY = preview_->region.top;
  }
  if (s.fullScreen && (!s.animating || s.backgroundDirty)) s.backgroundDirty = 0;
  return layout;
}

std::vector<OverlayLine> CImgViewerView::OverlayLines(const PaintLayout& layout) const {
  const ViewerState& s = ctx_.state;
  if (!display_ || s.overlayMode == 0) return {};
  OverlayInput in;
  in.mode = s.overlayMode;
  in.path = s.currentPath;
  in.severalFolders = ctx_.files.SpansSeveralFolders();
  in.listPosition = ctx_.files.Position();
  in.listCount = ctx_.files.Count();
  const auto [dw, dh] = ShownSize();
  in.dw = dw;
  in.dh = dh;
  in.ox = layout.ox;
  in.oy = layout.oy;
  in.fullScreen = s.fullScreen != 0;
  in.width = pictureWidth();
  in.height = pictureHeight();
  in.fileSize = fileSize_;
  in.sniffCode = sniffCode_;
  in.detailsValid = s.detailsValid != 0;
  in.hasAlpha = s.hasAlpha != 0;
  in.webpHasAlpha = s.webpHasAlpha != 0;
  in.webpAnimated = s.webpAnimated != 0;
  in.animating = s.animating != 0;
  in.pngColourType = s.pngColourType;
  in.videoFrameRate = s.videoFrameRate;
  in.videoAudioStream = s.videoAudioStream;
  if (ColourManaged(&ctx_.settings)) in.colourProfile = ColourSpaceName(s.colourProfile.get());
  in.exif = &s.exif;
  return LayOutOverlay(in);
}

}  // namespace qp
