// One line on standard error per picture shown, for measuring how long the user waits:
// "trace: shown <ms> <path>", the milliseconds from the arrival of the command that led to
// the picture (a key, the wheel, the game pad; the start of the program for the first picture)
// to the end of the paint that showed it.
#pragma once

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace qp {

class ShowTrace {
 public:
  using Clock = std::chrono::steady_clock;
  // `start` is the program's start, the arrival time of the first picture's command.
  ShowTrace(Clock::time_point start, std::FILE* out);
  // A trace when QUILLPIX_TRACE is "1", else none.
  static std::unique_ptr<ShowTrace> FromEnvironment(Clock::time_point start);

  // A command arrived now.
  void CommandArrived() { CommandArrivedAt(Clock::now()); }
  void CommandArrivedAt(Clock::time_point t) { arrival_ = t; }
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
};

}  // namespace qp
