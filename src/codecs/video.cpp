// Video playback through the libFFmpegDLL.so component.
//
// The component exports six C functions around a context record it allocates. The program
// reads five 32-bit fields of that record at fixed byte offsets (audio stream, width, height,
// duration in ms, frame rate x 100) and has frames decoded, in order, into the playback
// canvas. After the last frame the file is opened again, so a video loops forever.
#include "codecs/video.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

#include "codecs/runtime_library.h"
#include "core/debug.h"

namespace qp {

namespace {

using AllocFn = void* (*)();
using OpenFn = int (*)(const char*, void*);
using DecodeFn = int (*)(void*, uint8_t*);
using CloseFn = void (*)(void*);
using FreeFn = void (*)(void*);
using SeekFn = int (*)(void*, int32_t);

struct VideoLibrary {
  RuntimeLibrary library;
  AllocFn alloc = nullptr;
  OpenFn open = nullptr;
  DecodeFn decode = nullptr;
  CloseFn close = nullptr;
  FreeFn free = nullptr;
  SeekFn seek = nullptr;  // looked up so a library without it counts as absent; not called
};

std::mutex gLibraryMutex;
bool gLibrarySearched = false;
std::string gLibraryOverride;
std::unique_ptr<VideoLibrary> gLibrary;

// The component, loaded on first use; null when it is missing or lacks an export.
const VideoLibrary* Library() {
  std::lock_guard guard(gLibraryMutex);
  if (gLibrarySearched) return gLibrary.get();
  gLibrarySearched = true;
  auto lib = std::make_unique<VideoLibrary>();
  lib->library = gLibraryOverride.empty() ? OpenComponentLibrary("libFFmpegDLL.so")
                                          : RuntimeLibrary(gLibraryOverride);
  if (!lib->library) {
    DebugLog("video: libFFmpegDLL.so not found");
    return nullptr;
  }
  lib->alloc = lib->library.Symbol<AllocFn>("AllocFFmpeg");
  lib->open = lib->library.Symbol<OpenFn>("OpenFFmpeg");
  lib->decode = lib->library.Symbol<DecodeFn>("DecodeFFmpeg");
  lib->close = lib->library.Symbol<CloseFn>("CloseFFmpeg");
  lib->free = lib->library.Symbol<FreeFn>("FreeFFmpeg");
  lib->seek = lib->library.Symbol<SeekFn>("SeekFFmpeg");
  if (!lib->alloc || !lib->open || !lib->decode || !lib->close || !lib->free || !lib->seek) {
    DebugLog("video: libFFmpegDLL.so lacks an export");
    return nullptr;
  }
  gLibrary = std::move(lib);
  return gLibrary.get();
}

// An open context: CloseFFmpeg, then FreeFFmpeg, when it goes away.
class VideoContext {
 public:
  explicit VideoContext(const VideoLibrary& lib) : lib_(&lib), ctx_(lib.alloc()) {}
  ~VideoContext() { Release(); }
  VideoContext(const VideoContext&) = delete;
  VideoContext& operator=(const VideoContext&) = delete;

  bool Open(const std::string& path) {
    if (ctx_ == nullptr || lib_->open(path.c_str(), ctx_) != 1) return false;
    opened_ = true;
    return true;
  }
  std::optional<VideoRecord> Record() const {
    if (ctx_ == nullptr) return std::nullopt;
    return ParseVideoRecord(std::span<const uint8_t, kVideoRecordBytes>(
        static_cast<const uint8_t*>(ctx_), kVideoRecordBytes));
  }
  bool Decode(uint8_t* target) { return opened_ && lib_->decode(ctx_, target) != 0; }
  void Release() {
    if (ctx_ == nullptr) return;
    lib_->close(ctx_);
    lib_->free(ctx_);
    ctx_ = nullptr;
    opened_ = false;
  }

 private:
  const VideoLibrary* lib_;
  void* ctx_;
  bool opened_ = false;
};

// Opens `path` and decodes its first frame into a new picture of the video's size.
struct OpenedVideo {
  std::unique_ptr<VideoContext> context;
  VideoRecord record;
  ImageBuffer firstFrame;
};

std::optional<OpenedVideo> OpenVideo(const VideoLibrary& lib, const std::string& path) {
  auto context = std::make_unique<VideoContext>(lib);
  if (!context->Open(path)) return std::nullopt;
  auto record = context->Record();
  if (!record) return std::nullopt;
  auto canvas = ImageBuffer::Allocate(record->width, record->height);
  if (!canvas || !context->Decode(canvas->data())) return std::nullopt;
  return OpenedVideo{std::move(context), *record, std::move(*canvas)};
}

class VideoPlayback final : public Playback {
 public:
  VideoPlayback(const VideoLibrary& lib, std::string path, OpenedVideo video)
      : lib_(&lib), path_(std::move(path)), context_(std::move(video.context)),
        record_(video.record) {}

  PlaybackKind kind() const override { return PlaybackKind::Video; }

  // Next frame into the canvas; after the last one (or when decoding fails) the file is
  // opened again and its first frame shown.
  bool Step(ViewerState& state) override {
    ImageBuffer& canvas = state.animationCanvas;
    const int32_t next = state.frameIndex + 1;
    // An unknown duration gives no frame count: play until the stream ends.
    const bool withinCount = record_.frameCount <= 0 || next < record_.frameCount;
    if (context_ && withinCount && context_->Decode(canvas.data())) {
      state.frameIndex = next;
      return true;
    }
    state.frameIndex = 0;
    context_.reset();
    auto video = OpenVideo(*lib_, path_);
    if (!video || video->record.width != canvas.width() ||
        video->record.height != canvas.height()) {
      return false;
    }
    std::memcpy(canvas.data(), video->firstFrame.data(), canvas.byteSize());
    context_ = std::move(video->context);
    record_ = video->record;
    return true;
  }

  uint16_t FrameDelay(int32_t) const override {
    return context_ ? VideoDelayForRate(record_.frameRate100) : 100;
  }
  int32_t LoopLimit() const override { return 0; }
  int32_t Duration() const { return context_ ? record_.durationMs : 0; }

 private:
  const VideoLibrary* lib_;
  std::string path_;
  std::unique_ptr<VideoContext> context_;
  VideoRecord record_;
};

VideoPlayback* RunningVideo(ViewerState& state) {
  if (!state.videoActive || !state.playback || state.playback->kind() != PlaybackKind::Video) {
    return nullptr;
  }
  return static_cast<VideoPlayback*>(state.playback.get());
}

int32_t ReadI32(std::span<const uint8_t, kVideoRecordBytes> record, size_t offset) {
  int32_t v;
  std::memcpy(&v, record.data() + offset, sizeof v);
  return v;
}

}  // namespace

std::optional<VideoRecord> ParseVideoRecord(std::span<const uint8_t, kVideoRecordBytes> record) {
  VideoRecord r;
  r.audioStream = ReadI32(record, 32);
  r.width = ReadI32(record, 36);
  r.height = ReadI32(record, 40);
  r.durationMs = ReadI32(record, 44);
  r.frameRate100 = ReadI32(record, 48);
  if (!PictureBytes(r.width, r.height)) return std::nullopt;
  if (r.audioStream < -1) r.audioStream = -1;
  // Computed in 64 bits: a long video at a high rate overflows 32.
  const int64_t frames = r.durationMs > 0 && r.frameRate100 > 0
                             ? int64_t{r.durationMs} * r.frameRate100 / 100000
                             : 0;
  r.frameCount = static_cast<int32_t>(std::min<int64_t>(frames, INT32_MAX));
  return r;
}

uint16_t VideoDelayForRate(int32_t frameRate100) {
  if (frameRate100 <= 0) return 100;
  return static_cast<uint16_t>(std::min<int32_t>(100000 / frameRate100, 65535));
}

bool videoLibraryAvailable() { return Library() != nullptr; }

DecodeResult loadVideo(const std::string& path, ViewerState& state, bool animate) {
  const VideoLibrary* lib = Library();
  if (lib == nullptr) return {};
  std::lock_guard guard(state.lock);
  if (RunningVideo(state) != nullptr) {
    if (auto frame = state.StepPlayback()) return DecodeResult::Canvas(*frame);
    return {};
  }
  auto video = OpenVideo(*lib, path);
  if (!video) return {};
  DecodeDetails details;
  details.format = DecodeDetails::Format::Video;
  details.videoAudioStream = video->record.audioStream;
  details.videoFrameRate = video->record.frameRate100;
  details.detailsValid = true;
  if (!animate) return DecodeResult(std::move(video->firstFrame)).with(details);
  const int32_t frames = video->record.frameCount;
  ImageBuffer canvas = std::move(video->firstFrame);
  state.StartPlayback(std::make_unique<VideoPlayback>(*lib, path, std::move(*video)),
                      std::move(canvas), frames);
  return DecodeResult::Canvas(PixelView{state.animationCanvas.data(),
                                       state.animationCanvas.width(),
                                       state.animationCanvas.height()})
      .with(details);
}

uint16_t videoFrameDelay(ViewerState& state) {
  std::lock_guard guard(state.lock);
  const VideoPlayback* v = RunningVideo(state);
  return v ? v->FrameDelay(state.frameIndex) : 100;
}

int32_t videoDuration(ViewerState& state) {
  std::lock_guard guard(state.lock);
  const VideoPlayback* v = RunningVideo(state);
  return v ? v->Duration() : 0;
}

void closeVideo(ViewerState& state) {
  std::lock_guard guard(state.lock);
  if (RunningVideo(state) != nullptr) state.StopPlayback();
}

void SetVideoLibraryForTesting(const std::string& path) {
  std::lock_guard guard(gLibraryMutex);
  gLibrary.reset();
  gLibraryOverride = path;
  gLibrarySearched = false;
}

}  // namespace qp
