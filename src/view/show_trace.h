// One line on standard error per picture shown, for measuring how long the user waits:
// "trace: shown <ms> <path>", the milliseconds from the command that led to the picture (a
// key, the wheel, the game pad; the start of the program for the first picture) to the end of
// the paint that showed it. A key or wheel turn counts from its own time stamp, so a key that
// waited in the queue behind a slow paint counts its wait too.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace qp {

// Maps the time stamps of input events (milliseconds on the window system's clock, 32 bits
// that wrap) to the steady clock. An X server on this machine stamps with the same monotonic
// clock the steady clock reads, so a stamp a little before now is taken as it is. A stamp from
// another clock is placed by the smallest delay seen so far, which counts as no delay.
class EventTimeMapper {
 public:
  using Clock = std::chrono::steady_clock;
  // The steady time of an event stamped `stampMs`, looked at `now`; `now` for a stamp of 0.
  Clock::time_point Map(uint64_t stampMs, Clock::time_point now);

 private:
  std::optional<uint32_t> offsetMs_;  // least (now - stamp) seen, for a foreign clock
};

class ShowTrace {
 public:
  using Clock = std::chrono::steady_clock;
  // `start` is the program's start, the arrival time of the first picture's command.
  ShowTrace(Clock::time_point start, std::FILE* out);
  // A trace when QUILLPIX_TRACE is "1", else none.
  static std::unique_ptr<ShowTrace> FromEnvironment(Clock::time_point start);
  // When the process was started (the kernel's record), on the steady clock; `fallback`
  // when that cannot be read.
  static Clock::time_point ProcessStart(Clock::time_point fallback);

  // A command arrived now.
  void CommandArrived() { CommandArrivedAt(Clock::now()); }
  void CommandArrivedAt(Clock::time_point t) { arrival_ = t; }
  // An input event stamped `stampMs` by the window system was taken now.
  void InputArrived(uint64_t stampMs) { CommandArrivedAt(events_.Map(stampMs, Clock::now())); }
  // The view loaded a new picture; it is shown by the next paint.
  void PictureLoaded(const std::string& path);
  // A paint ended; writes the line of the picture it showed, if any.
  void Painted() { PaintedAt(Clock::now()); }
  void PaintedAt(Clock::time_point t);

 private:
  std::FILE* out_;
  Clock::time_point arrival_;
  std::optional<Clock::time_point> pendingSince_;
  std::string pendingPath_;
  EventTimeMapper events_;
};

}  // namespace qp
