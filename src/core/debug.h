// Debug output: silent unless QUILLPIX_DEBUG is set in the environment, then to stderr.
#pragma once

namespace qp {

bool DebugEnabled();
void DebugLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace qp
