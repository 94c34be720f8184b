// The one process-wide state shared by the frame, the view, the decoders and the worker
// threads. Owned by the application and passed by reference. Fields that the animation clock
// and game-pad threads touch are atomics; everything else belongs to the UI thread. The lock
// guards the animated decoders and the pixel block during a decode step, a playback stop and
// a save.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/exif_info.h"
#include "core/image_buffer.h"

namespace qp {

class ViewerState;
class ColourProfile;

enum class PlaybackKind { Gif, Webp, Video };

// A running animation or video. The composed frame lives in ViewerState::animationCanvas;
// the playback owns its decoder and any saved canvases. Implemented by the GIF, animated-WebP
// and video decoders.
class Playback {
 public:
  virtual ~Playback() = default;
  virtual PlaybackKind kind() const = 0;
  // Advances to the next frame (wrapping after the last) and composes it into the canvas.
  // False when the frame could not be produced; the canvas is then unchanged.
  virtual bool Step(ViewerState& state) = 0;
  // Delay of frame `index` in milliseconds.
  virtual uint16_t FrameDelay(int32_t index) const = 0;
  // Passes after which the clock pauses; 0 means endless.
  virtual int32_t LoopLimit() const = 0;
};

// Receives what the view hook and the frame need; set by the application, fakes in tests.
struct ViewHooks {
  // The view's command hook (marker 0xBEEF, command, argument) -> result.
  std::function<int32_t(uint16_t command, intptr_t argument)> viewCommand;
  // Posts (command or tick, argument) to the UI thread's deferred-command queue.
  std::function<void(uintptr_t wParam, intptr_t lParam)> postToFrame;
};

inline constexpr uint16_t kViewCommandMarker = 48879;  // 0xBEEF
inline constexpr uint16_t kCmdRefresh = 4020;
inline constexpr uint16_t kCmdToggleFullScreen = 4022;
inline constexpr uint16_t kCmdAnimationTick = 4026;

class ViewerState {
 public:
  ViewerState() = default;
  ViewerState(const ViewerState&) = delete;
  ViewerState& operator=(const ViewerState&) = delete;
  ~ViewerState();

  // Re-entrant lock.
  std::recursive_mutex lock;
  void Lock() { lock.lock(); }
  void Unlock() { lock.unlock(); }

  ViewHooks hooks;
  bool hasView = false;

  std::string currentPath;
  std::string lastFilePath;
  std::string idleStatusText;

  float zoom = 1.0f;  // -1 fit to screen, -2 fit to width, -3 fit to height
  float lockedZoom = 1.0f;
  int32_t fullScreen = 0;
  int32_t zoomLocked = 0;
  std::atomic<int32_t> useJoystick{0};
  int32_t useGestures = 0;
  int32_t showProgress = 1;
  int32_t numericSort = 1;

  // Playback state; read by the animation clock thread without the lock.
  std::atomic<int32_t> animating{0};
  std::atomic<int32_t> paused{0};
  std::atomic<int32_t> animationGeneration{1};
  std::atomic<int32_t> frameIndex{0};
  std::atomic<int32_t> frameCount{0};
  std::atomic<int32_t> loopsDone{0};
  // The composed frame of the running playback; freed only by StopPlayback.
  ImageBuffer animationCanvas;
  std::unique_ptr<Playback> playback;

  // Details the last decoder recorded about its file.
  int32_t detailsValid = 0;
  int32_t hasAlpha = 0;
  int32_t vectorSource = 0;
  // The orientation the current picture was turned upright from at load (1: as stored).
  int32_t pictureOrientation = 1;
  int32_t overlayMode = 0;
  int32_t backgroundDirty = 1;
  ExifInfo exif{};
  int32_t jpegColourSpace = 0;
  int32_t jpegProgressive = 0;
  char gifVersion[4] = {0, 0, 0, 0};
  int32_t gifBitDepth = 0;
  int32_t gifAnimated = 0;
  int32_t webpHasAlpha = 0;
  int32_t webpAnimated = 0;
  int32_t webpLossless = 0;
  int32_t videoActive = 0;
  int32_t videoAudioStream = 0;
  int32_t videoFrameRate = 0;
  int32_t pngColourType = 0;
  int32_t pngBitDepth = 0;
  // The colour space of the picture's numbers (null: sRGB). Set by every load, kept by edits.
  std::shared_ptr<const ColourProfile> colourProfile;
  // Coordinates of the command line's line list; consumed by the first successful load.
  std::optional<std::vector<int32_t>> drawLines;

  // View command hook; 0 when there is no view.
  int32_t SendViewCommand(uint16_t command, intptr_t argument);
  void Refresh() { SendViewCommand(kCmdRefresh, 0); }
  void ToggleFullScreenWithFit();
  void PostAnimationMessage(uintptr_t wParam);

  bool IsAnimationCanvas(const uint8_t* p) const {
    return p != nullptr && p == animationCanvas.data();
  }

  // Starts a playback: the canvas and decoder become the state's, `animating` is set and the
  // playback kind's flag raised. Called by the animated decoders under the lock.
  void StartPlayback(std::unique_ptr<Playback> p, ImageBuffer canvas, int32_t frames);
  // Steps the running playback under the lock; the canvas, or nothing when no playback runs
  // or the step failed.
  std::optional<PixelView> StepPlayback();
  // Ends any playback: new generation, counters cleared, canvas and decoder released.
  void StopPlayback();
  // Delay of frame `index` of the running playback, 100 ms when nothing plays.
  uint16_t FrameDelay(int32_t index);
  // Passes after which the playback pauses; 0 means endless or nothing plays.
  int32_t LoopLimit();

  void ClearMetadata();
  // Clears the metadata and reads the JPEG file's EXIF data into `exif` through the parser
  // installed with SetMetadataReader (none installed: only clears).
  void ReadMetadata(const std::string& path);
  using MetadataReader = std::function<void(const std::string& path, ExifInfo& out)>;
  void SetMetadataReader(MetadataReader reader) { metadataReader_ = std::move(reader); }
  // The installed reader, for reading metadata ahead of time on another thread.
  const MetadataReader& metadataReader() const { return metadataReader_; }

 private:
  MetadataReader metadataReader_;
};

}  // namespace qp
