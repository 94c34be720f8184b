#include "view/show_trace.h"

#include <cstdlib>
#include <cstring>

namespace qp {

ShowTrace::ShowTrace(Clock::time_point start, std::FILE* out) : out_(out), arrival_(start) {}

std::unique_ptr<ShowTrace> ShowTrace::FromEnvironment(Clock::time_point start) {
  const char* v = std::getenv("QUILLPIX_TRACE");
  if (v == nullptr || std::strcmp(v, "1") != 0) return nullptr;
  return std::make_unique<ShowTrace>(start, stderr);
}

void ShowTrace::PictureLoaded(const std::string& path) {
  pendingSince_ = arrival_;
  pendingPath_ = path;
}

void ShowTrace::PaintedAt(Clock::time_point t) {
  if (!pendingSince_) return;
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t - *pendingSince_).count();
  std::fprintf(out_, "trace: shown %lld %s\n", static_cast<long long>(ms), pendingPath_.c_str());
  std::fflush(out_);
  pendingSince_.reset();
}

}  // namespace qp
