// Debug output: silent unless QUILLPIX_DEBUG is set in the environment, then one line per
// call to stderr (the newline is added here).
#pragma once

namespace qp {

bool DebugEnabled();
void DebugLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace qp
