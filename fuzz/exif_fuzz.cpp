// Parses the input as a whole JPEG file's metadata and prints the camera part of the
// properties report from the result, so that hostile values also pass through the formatting;
// then resets the orientation entries of a copy, which must stay inside it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "metadata/exif.h"
#include "metadata/properties.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qp::PropertiesInput in;
  qp::ParseJpegMetadata({data, size}, in.exif);
  in.width = static_cast<uint32_t>(in.exif.width);
  in.height = static_cast<uint32_t>(in.exif.height);
  in.isFile = true;
  in.sniffCode = 2;
  in.fileSize = static_cast<int64_t>(size);
  in.detailsValid = 1;
  qp::BuildPropertiesReport(in);
  std::vector<uint8_t> copy(data, data + size);
  qp::ResetOrientation(copy);
  return 0;
}
