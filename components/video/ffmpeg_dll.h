/* The video component's C interface: one context record per open file, frames decoded in
 * order into BGRA pictures (4 bytes per pixel, blue green red alpha, top row first, stride
 * width * 4).
 *
 * The record is allocated and owned by the library. Its first 32 bytes are private; the
 * fields after them are filled by OpenFFmpeg and read by the program at fixed byte offsets.
 */
#ifndef QUILLPIX_FFMPEG_DLL_H
#define QUILLPIX_FFMPEG_DLL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct FFmpegContext {
  unsigned char priv[32];    /* library-private (holds the decoder state) */
  int32_t audioStream;       /* offset 32: index of the first audio stream, -1 when none */
  int32_t width;             /* offset 36: frame width in pixels */
  int32_t height;            /* offset 40: frame height in pixels */
  int32_t durationMs;        /* offset 44: duration in milliseconds */
  int32_t frameRate100;      /* offset 48: frames per second x 100 (2997 for 29.97) */
} FFmpegContext;

/* A new zero-filled record, or NULL when memory is short. */
FFmpegContext* AllocFFmpeg(void);
/* Opens the file's first video stream; 1 on success, 0 on failure. */
int OpenFFmpeg(const char* path, FFmpegContext* ctx);
/* Decodes the next frame into `target` (width x height x 4 bytes); non-zero when a frame was
 * written, 0 at the end of the stream or on error. */
int DecodeFFmpeg(FFmpegContext* ctx, uint8_t* target);
/* Seeks to the key frame at or before `ms`; 1 on success. */
int SeekFFmpeg(FFmpegContext* ctx, int32_t ms);
/* Releases everything OpenFFmpeg acquired; the record stays allocated. */
void CloseFFmpeg(FFmpegContext* ctx);
/* Releases the record. */
void FreeFFmpeg(FFmpegContext* ctx);

#ifdef __cplusplus
}
#endif

#endif
