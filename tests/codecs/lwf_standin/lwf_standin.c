/* Reads a test file of this shape and hands its bitmap back the way the component does:
 *   "WV", two unused bytes, u32le width, u32le height, then the bitmap block itself
 *   (40-byte header, palette for 8-bit, bottom-up padded rows), copied verbatim into a new
 *   malloc'ed block. A file whose width is 0 makes the call fail. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

static uint32_t u32le(const unsigned char* p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

void* ReadLuRaWave(const char* path, int zero, void* a, void* b, int* width, int* height) {
  (void)zero;
  (void)a;
  (void)b;
  FILE* f = fopen(path, "rb");
  if (!f) return NULL;
  unsigned char head[12];
  void* block = NULL;
  if (fread(head, 1, 12, f) == 12 && head[0] == 'W' && head[1] == 'V' && u32le(head + 4) != 0) {
    fseek(f, 0, SEEK_END);
    long size = ftell(f) - 12;
    fseek(f, 12, SEEK_SET);
    if (size > 0 && (block = malloc((size_t)size)) != NULL &&
        fread(block, 1, (size_t)size, f) != (size_t)size) {
      free(block);
      block = NULL;
    }
    *width = (int)u32le(head + 4);
    *height = (int)u32le(head + 8);
  }
  fclose(f);
  return block;
}
