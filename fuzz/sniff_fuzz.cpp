// The sniffer over arbitrary first bytes and extensions: the first bytes are the header, the
// rest names the file.
#include <cstddef>
#include <cstdint>
#include <string>

#include "codecs/sniff.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t head = size < 8 ? size : 8;
  const std::string name(reinterpret_cast<const char*>(data) + head, size - head);
  const int32_t code = qp::SniffBytes(name, data, head);
  (void)qp::FileTypeName(name, code);
  (void)qp::ClipboardKind(name);
  return 0;
}
