#include "frame/animation_clock.h"

#include <algorithm>
#include <chrono>

#include "core/viewer_state.h"

namespace qp {
namespace {

constexpr int32_t kSliceMs = 60;
constexpr int32_t kShownWaitMs = 96;
constexpr int32_t kFirstShownWaitMs = 64;

}  // namespace

AnimationClock::AnimationClock(ViewerState& state, PostPort post, SleepPort sleep)
    : state_(state), post_(std::move(post)), sleep_(std::move(sleep)) {}

AnimationClock::~AnimationClock() { stop(); }

void AnimationClock::start() {
  if (thread_.joinable()) return;
  stop_ = false;
  thread_ = std::thread([this] { run(); });
}

void AnimationClock::requestStop() {
  {
    std::lock_guard guard(wakeLock_);
    stop_ = true;
  }
  wake_.notify_all();
}

void AnimationClock::stop() {
  requestStop();
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

// False once a stop has been requested.
bool AnimationClock::nap(int32_t milliseconds) {
  if (stop_) return false;
  if (sleep_) {
    sleep_(milliseconds);
  } else {
    std::unique_lock guard(wakeLock_);
    wake_.wait_for(guard, std::chrono::milliseconds(milliseconds), [this] { return stop_.load(); });
  }
  return !stop_;
}

void AnimationClock::post(int32_t generation) {
  if (post_)
    post_(kCmdAnimationTick, generation);
  else if (state_.hooks.postToFrame)
    state_.hooks.postToFrame(kCmdAnimationTick, generation);
}

// Sleeps `milliseconds` in slices, ending early (Restart) when the playback stops or a new one
// begins.
AnimationClock::Outcome AnimationClock::slicedSleep(int32_t milliseconds, int32_t generation) {
  do {
    if (!nap(std::min(milliseconds, kSliceMs))) return Outcome::Stop;
    if (!state_.animating || state_.animationGeneration != generation) return Outcome::Restart;
    milliseconds -= kSliceMs;
  } while (milliseconds > 0);
  return Outcome::Done;
}

void AnimationClock::run() {
  while (!stop_) {
    while (!state_.animating)
      if (!nap(kSliceMs)) return;
    const int32_t generation = state_.animationGeneration;
    // The frame on screen keeps its delay before the first tick.
    if (const int32_t shown = state_.frameIndex; shown >= 0) {
      if (slicedSleep(state_.FrameDelay(shown), generation) == Outcome::Stop) return;
    }
    if (!state_.animating || state_.animationGeneration != generation) continue;
    if (play(generation) == Outcome::Stop) return;
  }
}

// Ticks one playback until it stops or is replaced.
AnimationClock::Outcome AnimationClock::play(int32_t generation) {
  auto current = [&] { return state_.animating && state_.animationGeneration == generation; };
  for (;;) {
    while (state_.paused) {
      if (!nap(kSliceMs)) return Outcome::Stop;
      if (state_.animationGeneration != generation) break;
      if (!state_.animating) return Outcome::Restart;
    }
    if (!current()) return Outcome::Restart;

    const int32_t shown = state_.frameIndex;
    int32_t next = shown + 1;
    if (next >= state_.frameCount) next = 0;
    const int32_t delay = state_.FrameDelay(next);
    post(generation);
    if (!current()) return Outcome::Restart;

    // The tick that shows the last frame completes a loop.
    if (next >= state_.frameCount - 1) {
      const int32_t limit = state_.LoopLimit();
      if (limit > 0 && state_.loopsDone.fetch_add(1) + 1 == limit) {
        state_.loopsDone = 0;
        state_.paused = 1;
      }
    }

    // A stop or a new playback during the delay starts over at once: waiting for the old
    // frame to be shown would only hold up the new file's first delay.
    if (const Outcome slept = slicedSleep(delay, generation); slept != Outcome::Done) return slept;

    // Wait until the user-interface thread has shown the frame.
    if (shown > 0) {
      while (current() && state_.frameIndex == shown)
        if (!nap(kShownWaitMs)) return Outcome::Stop;
    } else if (state_.frameIndex == shown) {
      if (!nap(kFirstShownWaitMs)) return Outcome::Stop;
    }
    if (!current()) return Outcome::Restart;
  }
}

}  // namespace qp
