/* Quillpix image plug-ins.
 *
 * A plug-in is a shared library (*.so) placed in the plug-in folder: the folder named by the
 * setting "PluginsPath", or the "plugins" folder beside the quillpix executable when that
 * setting is empty. Quillpix loads every *.so of the folder once per run, in name order, and
 * asks each for the one file extension it serves. All functions use the C calling convention
 * and must be exported under exactly these names (declare them extern "C" in C++).
 *
 * Pictures cross the interface as 32-bit pixels in memory order blue, green, red, alpha
 * (straight, not premultiplied), rows top first, no padding: pixel (x, y) starts at byte
 * (y * width + x) * 4.
 *
 * Loading several plug-ins for one extension is allowed: the first one in name order reads
 * the files, the first one that writes saves them.
 */
#ifndef QUILLPIX_PLUGIN_H
#define QUILLPIX_PLUGIN_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QP_PLUGIN_READS 1  /* the plug-in reads files: wvLoadImage */
#define QP_PLUGIN_WRITES 2 /* the plug-in writes files: wvSaveImage */

/* Filled by wvGetPluginInfo. Quillpix zero-fills both buffers and sets flags to 0 before the
 * call. The address fields are pointer-sized, so the record is 20 bytes in a 32-bit process
 * and 40 bytes in a 64-bit one. */
typedef struct QuillpixPluginInfo {
  char* description; /* 256-byte buffer: the format's name, e.g. "JPEG XL", NUL-terminated */
  void* reserved1;   /* neither set nor read by Quillpix */
  char* extension;   /* 256-byte buffer: the extension without the dot, e.g. "jxl" */
  void* reserved2;   /* neither set nor read by Quillpix */
  int32_t flags;     /* QP_PLUGIN_READS | QP_PLUGIN_WRITES; 0 or less: the plug-in is ignored */
} QuillpixPluginInfo;

#define QP_PLUGIN_TEXT_BYTES 256
#define QP_PLUGIN_MAX_PIXELS (1LL << 28) /* the largest picture Quillpix takes */

/* Required. Fills the record; must not write more than 255 characters plus the NUL into
 * either buffer. */
typedef void (*wvGetPluginInfoFn)(QuillpixPluginInfo* info);
void wvGetPluginInfo(QuillpixPluginInfo* info);

/* Needed to read. Decodes the file into a block allocated with malloc (Quillpix takes it
 * over and releases it with free) of exactly width * height * 4 bytes, writes the size and
 * returns the block; NULL when the file cannot be read. Quillpix refuses pictures of more
 * than QP_PLUGIN_MAX_PIXELS pixels (or a side over 2^20): a plug-in should refuse them from
 * the file's header, before it allocates anything. */
typedef uint8_t* (*wvLoadImageFn)(const char* path, int32_t* width, int32_t* height);
uint8_t* wvLoadImage(const char* path, int32_t* width, int32_t* height);

/* Needed to write. Writes the picture to `path`; non-zero on success, 0 on failure. The
 * alpha bytes carry information only when they differ between pixels or lie strictly
 * between 0 and 255; a picture whose alpha bytes are all equal is opaque. */
typedef int32_t (*wvSaveImageFn)(const char* path, int32_t width, int32_t height,
                                 const uint8_t* pixels);
int32_t wvSaveImage(const char* path, int32_t width, int32_t height, const uint8_t* pixels);

#ifdef __cplusplus
}
#endif

#endif
