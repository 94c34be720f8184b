/* A scripted ReadBarcode: the n-th call returns answers[n] (0 once the script runs out) and,
 * when that is above 0, writes the scripted text. Every call's arguments and a copy of its
 * grey plane are kept for the test, which reaches them through BarcodeStandIn(). */
#include <stdlib.h>
#include <string.h>

#include "standins.h"

static struct BarcodeStandIn state;

struct BarcodeStandIn* BarcodeStandIn(void) { return &state; }

void BarcodeStandInReset(void) {
  int i;
  for (i = 0; i < BARCODE_STANDIN_MAX_CALLS; ++i) free(state.call[i].grey);
  memset(&state, 0, sizeof state);
}

int ReadBarcode(int width, int height, const unsigned char* pixels, int capacity, char* result) {
  int n = state.calls++;
  int answer = n < state.answerCount ? state.answers[n] : 0;
  if (n < BARCODE_STANDIN_MAX_CALLS) {
    struct BarcodeCall* c = &state.call[n];
    size_t size = (size_t)width * (size_t)height;
    c->width = width;
    c->height = height;
    c->capacity = capacity;
    c->resultFirstByte = (unsigned char)result[0];
    c->grey = (unsigned char*)malloc(size ? size : 1);
    if (c->grey != NULL) memcpy(c->grey, pixels, size);
  }
  if (answer > 0) {
    /* Deliberately no terminating NUL when the text fills the capacity: the caller must
     * cope with a component that writes exactly `capacity` bytes. */
    size_t len = strlen(state.text);
    if (len > (size_t)capacity) len = (size_t)capacity;
    memcpy(result, state.text, len);
    if (len < (size_t)capacity) result[len] = 0;
  }
  return answer;
}
