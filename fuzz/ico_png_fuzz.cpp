// Arbitrary bytes as the PNG-stored image of a one-entry icon: the PNG signature is put in
// front so that every input takes the PNG path of the icon reader and of its information.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "codecs/ico.h"
#include "core/file_io.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  const uint32_t entry = static_cast<uint32_t>(sizeof kSignature + size);
  // Header: reserved 0, type 1, one image; directory entry: 0 x 0 (256), 0 colours, reserved,
  // 1 plane, 32 bits, data size, data at offset 22.
  std::vector<uint8_t> file = {0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1, 0, 32, 0};
  for (int i = 0; i < 4; ++i) file.push_back(static_cast<uint8_t>(entry >> (8 * i)));
  file.insert(file.end(), {22, 0, 0, 0});
  file.insert(file.end(), kSignature, kSignature + sizeof kSignature);
  file.insert(file.end(), data, data + size);
  const std::string path = "/tmp/qp-fuzz-png-" + std::to_string(getpid()) + ".ico";
  if (!qp::WriteWholeFile(path, file)) return 0;
  (void)qp::readIcon(path);
  (void)qp::readIconInfo(path);
  std::remove(path.c_str());
  return 0;
}
