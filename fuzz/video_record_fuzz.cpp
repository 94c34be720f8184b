// Feeds arbitrary context records to the video adapter's record reader: whatever the
// component leaves in the record, the result is a frame size the program can allocate and a
// non-negative frame count, or nothing.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "codecs/video.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  uint8_t record[qp::kVideoRecordBytes] = {};
  std::memcpy(record, data, size < sizeof record ? size : sizeof record);
  const auto r = qp::ParseVideoRecord(std::span<const uint8_t, qp::kVideoRecordBytes>(record));
  if (r) {
    if (!qp::PictureBytes(r->width, r->height) || r->frameCount < 0 || r->audioStream < -1) {
      std::abort();
    }
    (void)qp::VideoDelayForRate(r->frameRate100);
  }
  return 0;
}
