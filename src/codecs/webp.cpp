#include "codecs/webp.h"
#include "codecs/scaled_decode.h"

#include <webp/decode.h>
#include <webp/demux.h>
#include <webp/encode.h>
#include <webp/mux.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "core/file_io.h"

namespace qp {

namespace {

struct DemuxDeleter {
  void operator()(WebPDemuxer* d) const noexcept { WebPDemuxDelete(d); }
};
using DemuxPtr = std::unique_ptr<WebPDemuxer, DemuxDeleter>;

// An iterator that always gives back what the demultiplexer lent it.
class FrameIterator {
 public:
  FrameIterator() { std::memset(&it_, 0, sizeof it_); }
  ~FrameIterator() { WebPDemuxReleaseIterator(&it_); }
  FrameIterator(const FrameIterator&) = delete;
  FrameIterator& operator=(const FrameIterator&) = delete;
  bool Get(const WebPDemuxer* demux, int frame) {
    WebPDemuxReleaseIterator(&it_);
    return WebPDemuxGetFrame(demux, frame, &it_) != 0;
  }
  bool Next() { return WebPDemuxNextFrame(&it_) != 0; }
  const WebPIterator& operator*() const { return it_; }
  const WebPIterator* operator->() const { return &it_; }

 private:
  WebPIterator it_;
};

struct Rect {
  int x = 0, y = 0, w = 0, h = 0;
  WebPMuxAnimDispose dispose = WEBP_MUX_DISPOSE_NONE;
};

// Clips a rectangle to the canvas; false when nothing is left.
bool Clip(const Rect& r, int canvasW, int canvasH, int& x0, int& y0, int& x1, int& y1) {
  x0 = std::max(r.x, 0);
  y0 = std::max(r.y, 0);
  x1 = std::min<int64_t>(int64_t{r.x} + r.w, canvasW);
  y1 = std::min<int64_t>(int64_t{r.y} + r.h, canvasH);
  return x0 < x1 && y0 < y1;
}

// A background whose colour bits are white (whatever its alpha) fills opaque white; any other
// fills with the value exactly, alpha included.
void FillBackground(ImageBuffer& canvas, const Rect& r, uint32_t background) {
  int x0, y0, x1, y1;
  if (!Clip(r, canvas.width(), canvas.height(), x0, y0, x1, y1)) return;
  for (int y = y0; y < y1; ++y) {
    uint8_t* p = canvas.pixel(x0, y);
    if ((background & 0xFFFFFFu) == 0xFFFFFFu) {
      std::memset(p, 0xFF, static_cast<size_t>(x1 - x0) * 4);
    } else {
      for (int x = x0; x < x1; ++x, p += 4) StorePixel(p, background);
    }
  }
}

// Decodes one frame's bitstream to BGRA; nothing on failure.
std::optional<ImageBuffer> DecodeFrame(const uint8_t* data, size_t size) {
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(data, size, &features) != VP8_STATUS_OK) return std::nullopt;
  auto out = ImageBuffer::Allocate(features.width, features.height);
  if (!out) return std::nullopt;
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) return std::nullopt;
  config.options.use_threads = 1;
  config.output.colorspace = MODE_BGRA;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = out->data();
  config.output.u.RGBA.stride = static_cast<int>(out->stride());
  config.output.u.RGBA.size = out->byteSize();
  const VP8StatusCode status = WebPDecode(data, size, &config);
  WebPFreeDecBuffer(&config.output);
  if (status != VP8_STATUS_OK) return std::nullopt;
  return out;
}

// The state of one animated file: its bytes (which the demultiplexer points into), the frame
// last composed and the rectangle of the one before.
class WebpPlayer {
 public:
  static std::unique_ptr<WebpPlayer> Open(std::vector<uint8_t> data) {
    auto p = std::unique_ptr<WebpPlayer>(new WebpPlayer(std::move(data)));
    WebPData wd{p->data_.data(), p->data_.size()};
    int w = 0, h = 0;
    if (!WebPGetInfo(wd.bytes, wd.size, &w, &h)) return nullptr;
    p->demux_.reset(WebPDemux(&wd));  // complete files only
    if (!p->demux_) return nullptr;
    p->canvasW_ = static_cast<int>(WebPDemuxGetI(p->demux_.get(), WEBP_FF_CANVAS_WIDTH));
    p->canvasH_ = static_cast<int>(WebPDemuxGetI(p->demux_.get(), WEBP_FF_CANVAS_HEIGHT));
    if (!PictureBytes(p->canvasW_, p->canvasH_)) return nullptr;
    // The first frame starts from a cleared canvas.
    p->previous_ = Rect{0, 0, p->canvasW_, p->canvasH_, WEBP_MUX_DISPOSE_BACKGROUND};
    if (!p->iter_.Get(p->demux_.get(), 1)) return nullptr;
    p->frameCount_ = p->iter_->num_frames;
    p->loopCount_ = static_cast<int32_t>(WebPDemuxGetI(p->demux_.get(), WEBP_FF_LOOP_COUNT));
    p->background_ = WebPDemuxGetI(p->demux_.get(), WEBP_FF_BACKGROUND_COLOR);
    return p;
  }

  // The canvas with the first frame composed, and the delay table built.
  std::optional<ImageBuffer> Start() {
    auto canvas = ImageBuffer::Allocate(canvasW_, canvasH_);
    if (!canvas) return std::nullopt;
    FillBackground(*canvas, Rect{0, 0, canvasW_, canvasH_}, background_);
    if (!Compose(*canvas)) return std::nullopt;
    delays_.assign(1, static_cast<uint16_t>(iter_->duration));
    FrameIterator walk;
    walk.Get(demux_.get(), 1);
    for (int i = 1; i < frameCount_; ++i) {
      if (!walk.Next()) {
        frameCount_ = i;
        break;
      }
      delays_.push_back(static_cast<uint16_t>(walk->duration));
    }
    return canvas;
  }

  // Composes frame `index` (0-based) onto the canvas; a frame that does not decode leaves the
  // canvas unchanged.
  void ComposeFrame(int index, ImageBuffer& canvas) {
    if (iter_.Get(demux_.get(), index + 1)) Compose(canvas);
  }

  int frameCount() const { return frameCount_; }
  int32_t loopCount() const { return loopCount_; }
  const std::vector<uint16_t>& delays() const { return delays_; }

 private:
  explicit WebpPlayer(std::vector<uint8_t> data) : data_(std::move(data)) {}

  bool Compose(ImageBuffer& canvas) {
    const WebPIterator& it = *iter_;
    auto frame = DecodeFrame(it.fragment.bytes, it.fragment.size);
    if (!frame) return false;
    const Rect current{it.x_offset, it.y_offset, frame->width(), frame->height(),
                       it.dispose_method};
    if (previous_.dispose == WEBP_MUX_DISPOSE_BACKGROUND) {
      FillBackground(canvas, previous_, background_);
    } else if (it.blend_method == WEBP_MUX_NO_BLEND) {
      FillBackground(canvas, current, background_);
    }
    int x0, y0, x1, y1;
    if (Clip(current, canvas.width(), canvas.height(), x0, y0, x1, y1)) {
      for (int y = y0; y < y1; ++y) {
        const uint8_t* src = frame->pixel(x0 - current.x, y - current.y);
        uint8_t* dst = canvas.pixel(x0, y);
        for (int x = x0; x < x1; ++x, src += 4, dst += 4) {
          if (src[3] != 0) std::memcpy(dst, src, 4);
        }
      }
    }
    previous_ = current;
    return true;
  }

  std::vector<uint8_t> data_;
  DemuxPtr demux_;
  FrameIterator iter_;
  Rect previous_;
  int canvasW_ = 0, canvasH_ = 0;
  int frameCount_ = 0;
  int32_t loopCount_ = 0;
  uint32_t background_ = 0;
  std::vector<uint16_t> delays_;
};

class WebpPlayback final : public Playback {
 public:
  explicit WebpPlayback(std::unique_ptr<WebpPlayer> player) : player_(std::move(player)) {}
  PlaybackKind kind() const override { return PlaybackKind::Webp; }

  bool Step(ViewerState& state) override {
    int32_t next = state.frameIndex + 1;
    if (next >= state.frameCount) next = 0;
    state.frameIndex = next;
    player_->ComposeFrame(next, state.animationCanvas);
    return true;
  }
  uint16_t FrameDelay(int32_t index) const override {
    const auto& d = player_->delays();
    if (index < 0 || static_cast<size_t>(index) >= d.size() || d[index] == 0) return 100;
    return d[index];
  }
  int32_t LoopLimit() const override {
    const int32_t n = player_->loopCount();
    return n <= 0 ? n : n + 1;
  }
  const WebpPlayer& player() const { return *player_; }

 private:
  std::unique_ptr<WebpPlayer> player_;
};

const WebpPlayback* RunningWebp(const ViewerState& state) {
  if (!state.webpAnimated || !state.playback) return nullptr;
  return dynamic_cast<const WebpPlayback*>(state.playback.get());
}


// What the bitstream header tells about the file.
DecodeDetails WebpDetails(const WebPBitstreamFeatures& features) {
  DecodeDetails details;
  details.format = DecodeDetails::Format::Webp;
  details.hasAlpha = features.has_alpha != 0;
  details.webpHasAlpha = features.has_alpha ? 1 : 0;
  details.detailsValid = true;
  details.webpLossless = features.format == 2 ? 1 : 0;
  return details;
}

// The ICC profile of an extended file (VP8X), when its flags announce one.
ColourProfilePtr WebpColour(const uint8_t* data, size_t size) {
  if (size < 16 || std::memcmp(data + 12, "VP8X", 4) != 0) return nullptr;
  const WebPData wd{data, size};
  DemuxPtr demux(WebPDemuxPartial(&wd, nullptr));
  if (!demux || (WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS) & ICCP_FLAG) == 0) return nullptr;
  WebPChunkIterator it;
  if (!WebPDemuxGetChunk(demux.get(), "ICCP", 1, &it)) return nullptr;
  ColourProfilePtr profile = ColourProfile::FromIcc({it.chunk.bytes, it.chunk.size});
  WebPDemuxReleaseChunkIterator(&it);
  return profile;
}

}  // namespace

DecodeResult LoadWebPFromMemory(std::vector<uint8_t> data, ViewerState& state, bool animate) {
  std::lock_guard guard(state.lock);
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(data.data(), data.size(), &features) != VP8_STATUS_OK) return {};
  DecodeDetails details = WebpDetails(features);
  details.colour = WebpColour(data.data(), data.size());

  if (!features.has_animation)
    return DecodeResult(DecodeFrame(data.data(), data.size())).with(details);

  auto player = WebpPlayer::Open(std::move(data));
  if (!player) return DecodeResult::Failed(details);
  auto canvas = player->Start();
  if (!canvas) return DecodeResult::Failed(details);
  if (!animate) return DecodeResult(std::move(*canvas)).with(details);  // the caller's own first frame
  const int frames = player->frameCount();
  state.StartPlayback(std::make_unique<WebpPlayback>(std::move(player)), std::move(*canvas),
                      frames);
  return DecodeResult::Canvas({state.animationCanvas.data(), state.animationCanvas.width(),
                               state.animationCanvas.height()})
      .with(details);
}

DecodeResult LoadWebP(const std::string& path, ViewerState& state, bool animate) {
  if (animate && state.webpAnimated) {
    auto frame = state.StepPlayback();
    if (!frame) return {};
    return DecodeResult::Canvas(*frame);
  }
  auto data = ReadWholeFile(path);
  if (!data) return {};
  return LoadWebPFromMemory(std::move(*data), state, animate);
}

DecodeResult LoadStillWebP(const std::string& path) {
  auto data = ReadWholeFile(path);
  if (!data) return {};
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(data->data(), data->size(), &features) != VP8_STATUS_OK) return {};
  DecodeDetails details = WebpDetails(features);
  details.colour = WebpColour(data->data(), data->size());
  if (features.has_animation) return DecodeResult::Failed(details);
  return DecodeResult(DecodeFrame(data->data(), data->size())).with(details);
}

std::optional<ScaledPicture> LoadStillWebPScaled(const std::string& path, const ScaledTarget& target) {
  auto data = ReadWholeFile(path);
  if (!data) return std::nullopt;
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(data->data(), data->size(), &features) != VP8_STATUS_OK) return std::nullopt;
  if (features.has_animation || features.width <= 0 || features.height <= 0) return std::nullopt;
  auto [tw, th] = target(features.width, features.height);
  if (tw <= 0 || th <= 0 || tw > features.width || th > features.height) {
    tw = features.width;
    th = features.height;
  }
  auto out = ImageBuffer::Allocate(tw, th);
  if (!out) return std::nullopt;
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) return std::nullopt;
  config.options.use_threads = 1;
  if (tw != features.width || th != features.height) {
    config.options.use_scaling = 1;
    config.options.scaled_width = tw;
    config.options.scaled_height = th;
  }
  config.output.colorspace = MODE_BGRA;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = out->data();
  config.output.u.RGBA.stride = static_cast<int>(out->stride());
  config.output.u.RGBA.size = out->byteSize();
  const VP8StatusCode status = WebPDecode(data->data(), data->size(), &config);
  WebPFreeDecBuffer(&config.output);
  if (status != VP8_STATUS_OK) return std::nullopt;
  ScaledPicture result;
  result.picture = std::move(*out);
  result.fullWidth = features.width;
  result.fullHeight = features.height;
  result.details = WebpDetails(features);
  result.details.colour = WebpColour(data->data(), data->size());
  return result;
}

uint16_t WebpFrameDelay(const ViewerState& state, int32_t index) {
  const WebpPlayback* p = RunningWebp(state);
  if (p == nullptr || index >= state.frameCount) return 100;
  return p->FrameDelay(index);
}

uint32_t WebpTotalDuration(const ViewerState& state) {
  uint32_t total = 0;
  for (int32_t i = 0; i < state.frameCount; ++i) total += WebpFrameDelay(state, i);
  return total;
}

int32_t WebpLoopCount(const ViewerState& state) {
  const WebpPlayback* p = RunningWebp(state);
  return p ? p->player().loopCount() : 0;
}

namespace {

struct PictureGuard {
  WebPPicture* pic;
  ~PictureGuard() { WebPPictureFree(pic); }
};

// Writes each encoded chunk with one fwrite; an empty chunk counts as written.
int WriteChunk(const uint8_t* data, size_t size, const WebPPicture* picture) {
  if (size == 0) return 1;
  auto* f = static_cast<std::FILE*>(picture->custom_ptr);
  return std::fwrite(data, 1, size, f) == size ? 1 : 0;
}

int DiscardChunk(const uint8_t*, size_t, const WebPPicture*) { return 1; }

// Writes the encoded stream with an ICCP chunk: the mux turns it into an extended file.
bool WriteWithProfile(const WebPMemoryWriter& stream, std::span<const uint8_t> icc, std::FILE* f) {
  const WebPData image{stream.mem, stream.size};
  std::unique_ptr<WebPMux, void (*)(WebPMux*)> mux(WebPMuxCreate(&image, 0), WebPMuxDelete);
  if (!mux) return false;
  const WebPData profile{icc.data(), icc.size()};
  if (WebPMuxSetChunk(mux.get(), "ICCP", &profile, 0) != WEBP_MUX_OK) return false;
  WebPData assembled{nullptr, 0};
  if (WebPMuxAssemble(mux.get(), &assembled) != WEBP_MUX_OK) return false;
  const bool written = std::fwrite(assembled.bytes, 1, assembled.size, f) == assembled.size;
  WebPDataClear(&assembled);
  return written;
}

}  // namespace

const char* EncodeWebP(const uint8_t* pixels, int32_t width, int32_t height, int32_t quality,
                       const char* path, bool hasAlpha, std::span<const uint8_t> icc) {
  WebPPicture picture;
  WebPConfig config;
  if (!WebPPictureInit(&picture) || !WebPConfigInit(&config)) return "Init failed";
  PictureGuard guard{&picture};
  if (quality == 100) {
    config.lossless = 1;
    config.alpha_compression = 1;
    config.alpha_quality = 100;
    picture.use_argb = 1;
  } else if (quality != 0) {
    config.quality = static_cast<float>(quality);
  }
  if (!WebPValidateConfig(&config)) return "Invalid config";

  picture.width = width;
  picture.height = height;
  // An empty picture fails its import: the message names the import that was attempted.
  if (pixels == nullptr || width <= 0 || height <= 0)
    return hasAlpha ? "Could not read RGBA" : "Could not read RGB";
  if (hasAlpha) {
    if (!WebPPictureImportBGRA(&picture, pixels, width * 4)) return "Could not read RGBA";
  } else {
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
    std::unique_ptr<uint8_t[]> bgr(new (std::nothrow) uint8_t[n * 3]);
    if (!bgr) return "Could not read RGB";
    for (size_t i = 0; i < n; ++i) std::memcpy(&bgr[i * 3], pixels + i * 4, 3);
    if (!WebPPictureImportBGR(&picture, bgr.get(), width * 3)) return "Could not read RGB";
  }

  UniqueFile file;
  bool regular = false;
  if (path != nullptr) {
    file = OpenFile(path, "wb");
    if (!file) return "Could not write file";
    // Only a regular file is ours to remove after a failure; a device or pipe named as the
    // target (a user's /dev/null, a FIFO) must stay.
    struct stat st {};
    regular = ::fstat(::fileno(file.get()), &st) == 0 && S_ISREG(st.st_mode);
    picture.writer = WriteChunk;
    picture.custom_ptr = file.get();
  } else if (!icc.empty()) {
    return "Could not write file";
  } else {
    picture.writer = DiscardChunk;
  }
  // With a profile the stream is made in memory first: the profile's chunk goes before it.
  WebPMemoryWriter memory;
  WebPMemoryWriterInit(&memory);
  std::unique_ptr<WebPMemoryWriter, void (*)(WebPMemoryWriter*)> memoryGuard(&memory, WebPMemoryWriterClear);
  if (!icc.empty()) {
    picture.writer = WebPMemoryWrite;
    picture.custom_ptr = &memory;
  }
  // A failure after the file was opened removes the partial file, so none is left behind;
  // failures before that never touch an existing file.
  const bool encoded = WebPEncode(&config, &picture) && (icc.empty() || WriteWithProfile(memory, icc, file.get()));
  if (!encoded) {
    if (file) {
      file.reset();
      if (regular) std::remove(path);
    }
    return "Could not encode";
  }
  // Data still buffered must reach the file; a failed close is a failed write.
  if (file && std::fclose(file.release()) != 0) {
    if (regular) std::remove(path);
    return "Could not write file";
  }
  return nullptr;
}

}  // namespace qp
