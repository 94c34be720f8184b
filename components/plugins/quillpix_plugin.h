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
 *
 * Colour: a picture's numbers are meant in a colour space. Without the optional colour entry
 * points below they are taken as sRGB both ways: a loaded picture is shown as sRGB, and a
 * picture in another colour space is converted to sRGB before wvSaveImage gets it. A plug-in
 * that exports wvLoadImageWithColour tells the colour space of the pixels it hands over; one
 * that exports wvSaveImageWithProfile is handed the picture's own numbers with its ICC profile
 * and stores the profile in the file. Both are optional: a plug-in without them works as
 * before. With the setting "ColourManagement" off Quillpix ignores what a load tells and calls
 * only wvSaveImage.
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

/* The colour space of a loaded picture, filled by wvLoadImageWithColour. Quillpix zero-fills
 * the record before the call. An ICC profile (RGB or grey) describes the pixels as handed
 * over; when there is none, the code points (ITU-T H.273, as in the "nclx" colour box of a
 * HEIF or AVIF file) do. Neither: sRGB. */
typedef struct QuillpixColour {
  uint8_t* icc;      /* an ICC profile in a block allocated with malloc (Quillpix takes it over
                        and releases it with free), or NULL */
  uint32_t iccBytes; /* the profile's size in bytes; Quillpix ignores profiles over 64 MiB */
  int32_t hasCicp;   /* non-zero: the four code points below are set */
  uint8_t primaries; /* colour primaries: 1 BT.709, 9 BT.2020, 12 Display P3, ... */
  uint8_t transfer;  /* transfer characteristics: 13 sRGB, 16 PQ, 18 HLG, ... */
  uint8_t matrix;    /* matrix coefficients the file's YCbCr used (the pixels are RGB) */
  uint8_t fullRange; /* 1 when the file's samples used the full range */
} QuillpixColour;

#define QP_PLUGIN_MAX_ICC_BYTES (64u << 20)

/* Optional, for a plug-in that reads. When exported, Quillpix calls it instead of wvLoadImage
 * (which must still be exported: a plug-in without wvLoadImage counts as unable to read). As
 * wvLoadImage, and fills `colour` with the colour space of the returned pixels. On failure
 * (NULL) the plug-in frees any profile it allocated and leaves colour->icc NULL. */
typedef uint8_t* (*wvLoadImageWithColourFn)(const char* path, int32_t* width, int32_t* height,
                                            QuillpixColour* colour);
uint8_t* wvLoadImageWithColour(const char* path, int32_t* width, int32_t* height,
                               QuillpixColour* colour);

/* Optional, for a plug-in that writes (wvSaveImage must still be exported). Quillpix calls it
 * for a picture with a colour profile other than sRGB: the pixels are the picture's own
 * numbers, meant in the ICC profile `icc` (iccBytes bytes, an RGB profile, valid only during
 * the call), which the plug-in stores in the file. A picture without a profile goes to
 * wvSaveImage. Non-zero on success, 0 on failure. */
typedef int32_t (*wvSaveImageWithProfileFn)(const char* path, int32_t width, int32_t height,
                                            const uint8_t* pixels, const uint8_t* icc,
                                            uint32_t iccBytes);
int32_t wvSaveImageWithProfile(const char* path, int32_t width, int32_t height,
                               const uint8_t* pixels, const uint8_t* icc, uint32_t iccBytes);

#ifdef __cplusplus
}
#endif

#endif
