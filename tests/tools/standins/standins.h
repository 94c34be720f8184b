/* What the tool stand-ins record, shared by the stand-ins (C) and the tests (C++). */
#ifndef QP_TESTS_TOOLS_STANDINS_H
#define QP_TESTS_TOOLS_STANDINS_H

#include <stddef.h>

/* The last call of RIOT_LoadFromDIB. */
struct RiotCall {
  int calls;
  unsigned char* bitmap; /* malloc'ed copy of the block, as long as its header says */
  size_t bitmapSize;
  int second;
  char path[4096];
  int pathIsNull;
  int fourthEmpty;
  int fifth;
  int sixthEmpty;
};

#define BARCODE_STANDIN_MAX_CALLS 4

struct BarcodeCall {
  int width, height, capacity;
  int resultFirstByte; /* result[0] as it arrived */
  unsigned char* grey; /* malloc'ed copy of width * height bytes */
};

/* The scripted answers of ReadBarcode and the calls it received. */
struct BarcodeStandIn {
  int answers[BARCODE_STANDIN_MAX_CALLS];
  int answerCount;
  char text[2048];
  int calls;
  struct BarcodeCall call[BARCODE_STANDIN_MAX_CALLS];
};

#endif
