// Arbitrary bytes as a raw BGRA file.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "codecs/bgra.h"
#include "core/file_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = "/tmp/qp-fuzz-" + std::to_string(getpid()) + ".bgra";
  if (!qp::WriteWholeFile(path, std::span<const uint8_t>(data, size))) return 0;
  (void)qp::readRawBgra(path);
  std::remove(path.c_str());
  return 0;
}
