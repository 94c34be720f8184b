// Arbitrary bytes as a icon file, with its information read too.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "codecs/ico.h"
#include "core/file_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = "/tmp/qp-fuzz-" + std::to_string(getpid()) + ".ico";
  if (!qp::WriteWholeFile(path, std::span<const uint8_t>(data, size))) return 0;
  (void)qp::readIcon(path);
  (void)qp::readIconInfo(path);
  std::remove(path.c_str());
  return 0;
}
