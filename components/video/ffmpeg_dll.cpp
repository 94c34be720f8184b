// The video component: opens the first video stream of a file with libavformat, decodes it
// with libavcodec and converts every frame to BGRA with libswscale.
#include "ffmpeg_dll.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#define QP_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Sides beyond this are refused: no real video has them, and the caller allocates w*h*4.
constexpr int kMaxSide = 1 << 14;
// The program's picture limit (2^28 pixels); libavcodec refuses larger frames itself, so a
// hostile header cannot make it allocate before the sizes are looked at.
constexpr int64_t kMaxPixels = int64_t{1} << 28;

struct Decoder {
  AVFormatContext* format = nullptr;
  AVCodecContext* codec = nullptr;
  SwsContext* scaler = nullptr;
  AVPacket* packet = nullptr;
  AVFrame* frame = nullptr;
  int videoStream = -1;
  bool inputDone = false;   // no more packets: the decoder has been sent its flush packet
  bool decoderDone = false; // the decoder has returned its last frame

  ~Decoder() {
    sws_freeContext(scaler);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&codec);
    avformat_close_input(&format);
  }
};

Decoder* GetDecoder(const FFmpegContext* ctx) {
  Decoder* d = nullptr;
  std::memcpy(&d, ctx->priv, sizeof d);
  return d;
}

void SetDecoder(FFmpegContext* ctx, Decoder* d) { std::memcpy(ctx->priv, &d, sizeof d); }

int32_t ClampToInt32(int64_t v) {
  if (v < 0) return 0;
  if (v > INT32_MAX) return INT32_MAX;
  return static_cast<int32_t>(v);
}

int32_t DurationMs(const AVFormatContext* format, const AVStream* stream) {
  if (format->duration > 0) return ClampToInt32(format->duration / 1000);
  if (stream->duration > 0 && stream->time_base.den > 0) {
    return ClampToInt32(av_rescale_q(stream->duration, stream->time_base, AVRational{1, 1000}));
  }
  return 0;
}

int32_t FrameRate100(const AVStream* stream) {
  AVRational r = stream->avg_frame_rate;
  if (r.num <= 0 || r.den <= 0) r = stream->r_frame_rate;
  if (r.num <= 0 || r.den <= 0) return 0;
  return ClampToInt32(std::llround(static_cast<double>(r.num) * 100.0 / r.den));
}

// Converts the decoded frame into the target picture of the record's size.
bool WriteFrame(Decoder& d, const FFmpegContext& ctx, uint8_t* target) {
  const AVFrame* f = d.frame;
  if (f->width <= 0 || f->height <= 0) return false;
  d.scaler = sws_getCachedContext(d.scaler, f->width, f->height,
                                  static_cast<AVPixelFormat>(f->format), ctx.width, ctx.height,
                                  AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
  if (d.scaler == nullptr) return false;
  uint8_t* dst[4] = {target, nullptr, nullptr, nullptr};
  int dstStride[4] = {ctx.width * 4, 0, 0, 0};
  const int rows = sws_scale(d.scaler, f->data, f->linesize, 0, f->height, dst, dstStride);
  return rows == ctx.height;
}

}  // namespace

QP_EXPORT FFmpegContext* AllocFFmpeg(void) {
  auto* ctx = static_cast<FFmpegContext*>(std::calloc(1, sizeof(FFmpegContext)));
  if (ctx) ctx->audioStream = -1;
  return ctx;
}

QP_EXPORT void CloseFFmpeg(FFmpegContext* ctx) {
  if (ctx == nullptr) return;
  delete GetDecoder(ctx);
  SetDecoder(ctx, nullptr);
}

QP_EXPORT void FreeFFmpeg(FFmpegContext* ctx) {
  if (ctx == nullptr) return;
  CloseFFmpeg(ctx);
  std::free(ctx);
}

QP_EXPORT int OpenFFmpeg(const char* path, FFmpegContext* ctx) {
  if (path == nullptr || ctx == nullptr) return 0;
  CloseFFmpeg(ctx);
  ctx->audioStream = -1;
  ctx->width = ctx->height = ctx->durationMs = ctx->frameRate100 = 0;

  auto* d = new (std::nothrow) Decoder;
  if (d == nullptr) return 0;
  av_log_set_level(AV_LOG_QUIET);
  if (avformat_open_input(&d->format, path, nullptr, nullptr) < 0) {
    delete d;
    return 0;
  }
  // Probing the streams decodes their first frames: limit the frame size there too.
  const unsigned streams = d->format->nb_streams;
  AVDictionary** probeOptions =
      static_cast<AVDictionary**>(av_calloc(streams == 0 ? 1 : streams, sizeof(AVDictionary*)));
  if (probeOptions == nullptr) {
    delete d;
    return 0;
  }
  for (unsigned i = 0; i < streams; ++i)
    av_dict_set_int(&probeOptions[i], "max_pixels", kMaxPixels, 0);
  const int probed = avformat_find_stream_info(d->format, probeOptions);
  for (unsigned i = 0; i < streams; ++i) av_dict_free(&probeOptions[i]);
  av_free(probeOptions);
  if (probed < 0) {
    delete d;
    return 0;
  }
  const AVCodec* codec = nullptr;
  d->videoStream = av_find_best_stream(d->format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
  if (d->videoStream < 0 || codec == nullptr) {
    delete d;
    return 0;
  }
  const AVStream* stream = d->format->streams[d->videoStream];
  d->codec = avcodec_alloc_context3(codec);
  d->packet = av_packet_alloc();
  d->frame = av_frame_alloc();
  if (d->codec == nullptr || d->packet == nullptr || d->frame == nullptr ||
      avcodec_parameters_to_context(d->codec, stream->codecpar) < 0) {
    delete d;
    return 0;
  }
  d->codec->max_pixels = kMaxPixels;
  if (avcodec_open2(d->codec, codec, nullptr) < 0) {
    delete d;
    return 0;
  }
  const int w = stream->codecpar->width;
  const int h = stream->codecpar->height;
  if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide) {
    delete d;
    return 0;
  }
  for (unsigned i = 0; i < d->format->nb_streams; ++i) {
    if (d->format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
      ctx->audioStream = static_cast<int32_t>(i);
      break;
    }
  }
  ctx->width = w;
  ctx->height = h;
  ctx->durationMs = DurationMs(d->format, stream);
  ctx->frameRate100 = FrameRate100(stream);
  SetDecoder(ctx, d);
  return 1;
}

QP_EXPORT int DecodeFFmpeg(FFmpegContext* ctx, uint8_t* target) {
  if (ctx == nullptr || target == nullptr) return 0;
  Decoder* d = GetDecoder(ctx);
  if (d == nullptr) return 0;
  while (!d->decoderDone) {
    const int got = avcodec_receive_frame(d->codec, d->frame);
    if (got == 0) {
      const bool ok = WriteFrame(*d, *ctx, target);
      av_frame_unref(d->frame);
      if (ok) return 1;
      continue;  // a frame that cannot be converted is skipped
    }
    if (got == AVERROR_EOF) {
      d->decoderDone = true;
      break;
    }
    if (got != AVERROR(EAGAIN)) return 0;
    // The decoder wants input: feed it the next packet of the video stream.
    if (d->inputDone) {
      d->decoderDone = true;
      break;
    }
    for (;;) {
      if (av_read_frame(d->format, d->packet) < 0) {
        d->inputDone = true;
        avcodec_send_packet(d->codec, nullptr);  // drain the frames still held back
        break;
      }
      const bool mine = d->packet->stream_index == d->videoStream;
      const int sent = mine ? avcodec_send_packet(d->codec, d->packet) : 0;
      av_packet_unref(d->packet);
      if (mine) {
        if (sent < 0 && sent != AVERROR(EAGAIN)) continue;  // skip a damaged packet
        break;
      }
    }
  }
  return 0;
}

QP_EXPORT int SeekFFmpeg(FFmpegContext* ctx, int32_t ms) {
  if (ctx == nullptr) return 0;
  Decoder* d = GetDecoder(ctx);
  if (d == nullptr) return 0;
  const int64_t ts = av_rescale_q(ms, AVRational{1, 1000},
                                  d->format->streams[d->videoStream]->time_base);
  if (av_seek_frame(d->format, d->videoStream, ts, AVSEEK_FLAG_BACKWARD) < 0) return 0;
  avcodec_flush_buffers(d->codec);
  d->inputDone = d->decoderDone = false;
  return 1;
}

static_assert(offsetof(FFmpegContext, audioStream) == 32);
static_assert(offsetof(FFmpegContext, width) == 36);
static_assert(offsetof(FFmpegContext, height) == 40);
static_assert(offsetof(FFmpegContext, durationMs) == 44);
static_assert(offsetof(FFmpegContext, frameRate100) == 48);
