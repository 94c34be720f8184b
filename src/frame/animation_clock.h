// The animation clock: a worker thread that only keeps time for a running playback. It waits
// out the delay of the frame on screen, then posts the animation tick (command 4026 with the
// playback generation) to the user-interface thread, which shows the next frame; it counts
// completed loops and pauses the playback at the file's loop limit. A tick from an earlier
// playback carries an old generation and is dropped by the view.
//
// Waits are cut into slices of at most 60 ms so a new file or a stop is noticed within one
// slice; after posting it waits (96 ms steps, or 64 ms once for the first frame) until the
// user-interface thread has shown the frame, so a slow paint delays the next tick instead of
// piling ticks up.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace qp {

class ViewerState;

class AnimationClock {
 public:
  // Posts (command, argument) to the user-interface thread.
  using PostPort = std::function<void(uintptr_t command, intptr_t argument)>;
  // Sleeps for the given milliseconds (may return early when a stop is requested).
  using SleepPort = std::function<void(int32_t milliseconds)>;

  // Without a post port the tick goes to the state's postToFrame hook; without a sleep port
  // the clock sleeps for real.
  explicit AnimationClock(ViewerState& state, PostPort post = {}, SleepPort sleep = {});
  // Stops and joins the thread.
  ~AnimationClock();
  AnimationClock(const AnimationClock&) = delete;
  AnimationClock& operator=(const AnimationClock&) = delete;

  // Runs the clock on its own thread (once).
  void start();
  // Asks the loop to end at its next wait and joins the thread when one runs.
  void stop();
  // Asks the loop to end at its next wait; safe from any thread, including the clock's own.
  void requestStop();
  // The clock loop on the calling thread, until a stop is requested.
  void run();

 private:
  enum class Outcome { Stop, Restart, Done };

  bool nap(int32_t milliseconds);
  Outcome slicedSleep(int32_t milliseconds, int32_t generation);
  Outcome play(int32_t generation);
  void post(int32_t generation);

  ViewerState& state_;
  PostPort post_;
  SleepPort sleep_;
  std::atomic<bool> stop_{false};
  std::mutex wakeLock_;
  std::condition_variable wake_;
  std::thread thread_;
};

}  // namespace qp
