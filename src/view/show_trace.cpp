#include "view/show_trace.h"

#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "core/file_io.h"

namespace qp {

namespace {

// Stamps further back than this are not the steady clock's (or the event is stale).
constexpr uint32_t kSameClockWindowMs = 60'000;

int64_t MillisecondsOf(EventTimeMapper::Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
}

}  // namespace

EventTimeMapper::Clock::time_point EventTimeMapper::Map(uint64_t stampMs, Clock::time_point now) {
  if (stampMs == 0) return now;
  // Both clocks in 32-bit milliseconds: the difference is right across a wrap.
  const uint32_t sinceStamp =
      static_cast<uint32_t>(static_cast<uint64_t>(MillisecondsOf(now)) - stampMs);
  uint32_t delay = sinceStamp;
  if (sinceStamp > kSameClockWindowMs) {
    if (!offsetMs_ || static_cast<int32_t>(sinceStamp - *offsetMs_) < 0) offsetMs_ = sinceStamp;
    delay = sinceStamp - *offsetMs_;
    if (delay > kSameClockWindowMs) delay = 0;
  }
  return now - std::chrono::milliseconds(delay);
}

ShowTrace::ShowTrace(Clock::time_point start, std::FILE* out) : out_(out), arrival_(start) {}

std::unique_ptr<ShowTrace> ShowTrace::FromEnvironment(Clock::time_point start) {
  const char* v = std::getenv("QUILLPIX_TRACE");
  if (v == nullptr || std::strcmp(v, "1") != 0) return nullptr;
  return std::make_unique<ShowTrace>(start, stderr);
}

ShowTrace::Clock::time_point ShowTrace::ProcessStart(Clock::time_point fallback) {
  // Field 22 of /proc/self/stat: clock ticks from boot to the start, on the boot-time clock,
  // which also counts suspended time; the steady clock does not, so the gap between the two
  // clocks now is taken off.
  // A file of the process table reports no size: read what it gives.
  UniqueFile f = OpenFile("/proc/self/stat", "rb");
  if (!f) return fallback;
  char buffer[1024];
  const size_t got = std::fread(buffer, 1, sizeof buffer, f.get());
  const std::string text(buffer, got);
  const size_t close = text.rfind(')');  // the command name may hold spaces and brackets
  if (close == std::string::npos) return fallback;
  size_t pos = close + 1;
  for (int field = 3; field <= 22; ++field) {
    pos = text.find_first_not_of(' ', pos);
    if (pos == std::string::npos) return fallback;
    if (field == 22) break;
    pos = text.find(' ', pos);
    if (pos == std::string::npos) return fallback;
  }
  const unsigned long long ticks = std::strtoull(text.c_str() + pos, nullptr, 10);
  const long hz = ::sysconf(_SC_CLK_TCK);
  timespec boot{}, mono{};
  if (hz <= 0 || ::clock_gettime(CLOCK_BOOTTIME, &boot) != 0 ||
      ::clock_gettime(CLOCK_MONOTONIC, &mono) != 0)
    return fallback;
  const auto ns = [](const timespec& t) { return int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec; };
  const int64_t startBootNs = static_cast<int64_t>(ticks) * (1'000'000'000 / hz);
  const int64_t startMonoNs = startBootNs - (ns(boot) - ns(mono));
  const Clock::time_point start{std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(startMonoNs))};
  // The steady clock is the monotonic one; a start after the fallback cannot be.
  return start <= fallback ? start : fallback;
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
