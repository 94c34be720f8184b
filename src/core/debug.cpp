#include "core/debug.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace qp {

bool DebugEnabled() {
  static const bool enabled = std::getenv("QUILLPIX_DEBUG") != nullptr;
  return enabled;
}

void DebugLog(const char* format, ...) {
  if (!DebugEnabled()) return;
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
}

}  // namespace qp
