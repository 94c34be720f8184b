/* Records what the program hands to RIOT_LoadFromDIB so a test can check it: the bitmap is
 * copied by the size its own 40-byte header gives (40 + width * 4 * height), the other
 * arguments as they came. The test reads the record through RiotStandInLastCall. */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "standins.h"

static struct RiotCall lastCall;

static uint32_t u32le(const unsigned char* p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

#ifndef RIOT_WITHOUT_EXPORT
int RIOT_LoadFromDIB(void* bitmap, int second, const char* path, const char* fourth, int fifth,
                     const char* sixth) {
  const unsigned char* b = (const unsigned char*)bitmap;
  ++lastCall.calls;
  free(lastCall.bitmap);
  lastCall.bitmap = NULL;
  lastCall.bitmapSize = 0;
  if (b != NULL) {
    size_t size = 40 + (size_t)u32le(b + 4) * 4 * (size_t)u32le(b + 8);
    lastCall.bitmap = (unsigned char*)malloc(size);
    if (lastCall.bitmap != NULL) {
      memcpy(lastCall.bitmap, b, size);
      lastCall.bitmapSize = size;
    }
  }
  lastCall.second = second;
  lastCall.pathIsNull = path == NULL;
  lastCall.path[0] = 0;
  if (path != NULL) strncat(lastCall.path, path, sizeof lastCall.path - 1);
  lastCall.fourthEmpty = fourth != NULL && fourth[0] == 0;
  lastCall.fifth = fifth;
  lastCall.sixthEmpty = sixth != NULL && sixth[0] == 0;
  return 1;
}
#endif

const struct RiotCall* RiotStandInLastCall(void) { return &lastCall; }
