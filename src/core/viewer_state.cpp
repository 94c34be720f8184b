#include "core/viewer_state.h"

namespace qp {

ViewerState::~ViewerState() {
  std::lock_guard guard(lock);
  playback.reset();
  animationCanvas.reset();
}

int32_t ViewerState::SendViewCommand(uint16_t command, intptr_t argument) {
  if (!hasView || !hooks.viewCommand) return 0;
  return hooks.viewCommand(command, argument);
}

void ViewerState::ToggleFullScreenWithFit() {
  zoom = -1.0f;
  backgroundDirty = 1;
  SendViewCommand(kCmdToggleFullScreen, 0);
  Refresh();
}

void ViewerState::PostAnimationMessage(uintptr_t wParam) {
  if (hooks.postToFrame) hooks.postToFrame(wParam, 0);
}

static void SetKindFlag(ViewerState& s, PlaybackKind kind, int32_t value) {
  switch (kind) {
    case PlaybackKind::Gif: s.gifAnimated = value; break;
    case PlaybackKind::Webp: s.webpAnimated = value; break;
    case PlaybackKind::Video: s.videoActive = value; break;
  }
}

void ViewerState::StartPlayback(std::unique_ptr<Playback> p, ImageBuffer canvas, int32_t frames) {
  std::lock_guard guard(lock);
  StopPlayback();
  const PlaybackKind kind = p->kind();
  playback = std::move(p);
  animationCanvas = std::move(canvas);
  frameCount = frames;
  frameIndex = 0;
  loopsDone = 0;
  paused = 0;
  SetKindFlag(*this, kind, 1);
  animating = 1;
}

std::optional<PixelView> ViewerState::StepPlayback() {
  std::lock_guard guard(lock);
  if (!animating || !playback) return std::nullopt;
  if (!playback->Step(*this)) return std::nullopt;
  return PixelView{animationCanvas.data(), animationCanvas.width(), animationCanvas.height()};
}

void ViewerState::StopPlayback() {
  if (!animating) return;
  std::lock_guard guard(lock);
  ++animationGeneration;
  animating = 0;
  paused = 0;
  frameIndex = 0;
  frameCount = 0;
  loopsDone = 0;
  animationCanvas.reset();
  if (playback) {
    SetKindFlag(*this, playback->kind(), 0);
    playback.reset();
  }
}

// The clock thread asks for delays and loop limits; taking the lock here (briefly) keeps a
// concurrent StopPlayback from releasing the decoder under it.
uint16_t ViewerState::FrameDelay(int32_t index) {
  std::lock_guard guard(lock);
  return playback ? playback->FrameDelay(index) : 100;
}

int32_t ViewerState::LoopLimit() {
  std::lock_guard guard(lock);
  return playback ? playback->LoopLimit() : 0;
}

void ViewerState::ClearMetadata() {
  exif = ExifInfo{};
  jpegColourSpace = 0;
}

void ViewerState::ReadMetadata(const std::string& path) {
  ClearMetadata();
  if (metadataReader_) metadataReader_(path, exif);
}

}  // namespace qp
