/* A stand-in image plug-in for the registry tests, built once per variant. The variant's
 * defines pick what it reports and which functions it exports:
 *   STAND_IN_FLAGS, STAND_IN_EXT, STAND_IN_DESC  what wvGetPluginInfo reports
 *   STAND_IN_INFO / STAND_IN_LOAD / STAND_IN_SAVE  export that function
 *   STAND_IN_COLOUR  the 0xAARRGGBB colour of the 2 x 1 picture wvLoadImage returns
 *   STAND_IN_FAIL    wvLoadImage returns nothing and wvSaveImage reports failure
 *   STAND_IN_LIE     wvLoadImage claims a size far larger than the block it returns
 *   STAND_IN_CICP    also exports the colour entry points: wvLoadImageWithColour reports code
 *                    points 12/13/0 (Display P3) and a profile block shorter than the size it
 *                    claims; wvSaveImageWithProfile writes the line of wvSaveImage followed by
 *                    " icc <size> <the profile's signature field: acsp>"
 * wvSaveImage writes one text line "<description> <width>x<height> <first pixel>". */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "quillpix_plugin.h"

#define EXPORT __attribute__((visibility("default")))

#ifdef STAND_IN_INFO
EXPORT void wvGetPluginInfo(QuillpixPluginInfo* info) {
  strcpy(info->description, STAND_IN_DESC);
  strcpy(info->extension, STAND_IN_EXT);
  info->flags = STAND_IN_FLAGS;
}
#endif

#ifdef STAND_IN_LOAD
EXPORT uint8_t* wvLoadImage(const char* path, int32_t* width, int32_t* height) {
  FILE* f = fopen(path, "rb");
  if (f == NULL) return NULL;
  fclose(f);
#ifdef STAND_IN_FAIL
  return NULL;
#else
  uint8_t* p = malloc(8);
  if (p == NULL) return NULL;
  for (int i = 0; i < 2; ++i) {
    const uint32_t c = STAND_IN_COLOUR;
    p[i * 4 + 0] = (uint8_t)c;
    p[i * 4 + 1] = (uint8_t)(c >> 8);
    p[i * 4 + 2] = (uint8_t)(c >> 16);
    p[i * 4 + 3] = (uint8_t)(c >> 24);
  }
#ifdef STAND_IN_LIE
  *width = 4000;
  *height = 3000;
#else
  *width = 2;
  *height = 1;
#endif
  return p;
#endif
}
#endif

#ifdef STAND_IN_SAVE
EXPORT int32_t wvSaveImage(const char* path, int32_t width, int32_t height,
                           const uint8_t* pixels) {
#ifdef STAND_IN_FAIL
  (void)path; (void)width; (void)height; (void)pixels;
  return 0;
#else
  FILE* f = fopen(path, "w");
  if (f == NULL) return 0;
  const unsigned first = (unsigned)pixels[0] | (unsigned)pixels[1] << 8 |
                         (unsigned)pixels[2] << 16 | (unsigned)pixels[3] << 24;
  fprintf(f, "%s %dx%d %08X\n", STAND_IN_DESC, (int)width, (int)height, first);
  return fclose(f) == 0;
#endif
}
#endif

#ifdef STAND_IN_CICP
EXPORT uint8_t* wvLoadImageWithColour(const char* path, int32_t* width, int32_t* height,
                                      QuillpixColour* colour) {
  uint8_t* p = wvLoadImage(path, width, height);
  if (p == NULL) return NULL;
  colour->hasCicp = 1;
  colour->primaries = 12;
  colour->transfer = 13;
  colour->matrix = 0;
  colour->fullRange = 1;
  /* The host must not read past the block: it claims far more than it holds. */
  colour->icc = malloc(4);
  colour->iccBytes = colour->icc != NULL ? 1u << 20 : 0;
  return p;
}

EXPORT int32_t wvSaveImageWithProfile(const char* path, int32_t width, int32_t height,
                                      const uint8_t* pixels, const uint8_t* icc,
                                      uint32_t iccBytes) {
  FILE* f = fopen(path, "w");
  if (f == NULL) return 0;
  const unsigned first = (unsigned)pixels[0] | (unsigned)pixels[1] << 8 |
                         (unsigned)pixels[2] << 16 | (unsigned)pixels[3] << 24;
  fprintf(f, "%s %dx%d %08X icc %u %.4s\n", STAND_IN_DESC, (int)width, (int)height, first,
          (unsigned)iccBytes, iccBytes >= 40 ? (const char*)icc + 36 : "");
  return fclose(f) == 0;
}
#endif
