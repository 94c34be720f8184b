// Game-controller polling, while ViewerState::useJoystick is set (the frame reads it from
// "UseJoystick" and its Use Joystick command flips it). A worker thread reads the controller
// every 60 ms and posts commands to the user-interface thread: buttons run configurable
// commands once per press, the sticks and the direction pad post the four direction commands
// on every poll while held.
//
// Two kinds of device are read. A game pad comes with the usual pad layout and is reported in
// the classic pad button word (A 0x1000, B 0x2000, X 0x4000, Y 0x8000, shoulders 0x0100 and
// 0x0200, back 0x0020, start 0x0010, stick presses 0x0040 and 0x0080, direction pad 0x0001 up,
// 0x0002 down, 0x0004 left, 0x0008 right) with signed stick values whose y grows upwards. Any
// other joystick is read raw: button n is bit n - 1 and the two axes run 0-65535 with y growing
// downwards.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "core/settings_access.h"
#include "core/viewer_state.h"
#include "platform/ports.h"

namespace qp {

inline constexpr int32_t kPadPollMs = 60;
inline constexpr int32_t kPadIdleMs = 1000;
// Sticks count as deflected beyond this (of 32767).
inline constexpr int32_t kStickDeadZone = 6400;

// The pad button word's bits, in the order of the pad's button numbers 1-10.
inline constexpr std::array<uint32_t, 10> kPadButtonMasks = {
    0x1000, 0x2000, 0x4000, 0x8000, 0x0100, 0x0200, 0x0020, 0x0010, 0x0040, 0x0080};
inline constexpr uint32_t kPadUp = 0x0001, kPadDown = 0x0002, kPadLeft = 0x0004, kPadRight = 0x0008;

// One reading of the device.
struct ControllerReading {
  bool pad = false;      // pad layout; otherwise a raw joystick
  uint32_t device = 0;   // changes when another device is being read
  uint32_t buttons = 0;  // the pad button word, or the joystick's buttons (bit n-1 = button n)
  int16_t leftX = 0, leftY = 0, rightX = 0, rightY = 0;  // pad sticks, y up
  uint16_t x = 0x8000, y = 0x8000;                       // joystick axes, y down
};

// Where readings come from; SDL in the program.
class ControllerSource {
 public:
  virtual ~ControllerSource() = default;
  // The current state, or nothing when no device can be read (none present, unplugged).
  virtual std::optional<ControllerReading> Read() = 0;
};

// The settings the poller works with, read once on the user-interface thread.
struct GamePadConfig {
  // Which raw joystick to read: 1 when "JoyID" is 2, else 0.
  int32_t joystickIndex = 0;
  // Command of buttons 1-16 ("JoyButton%d" when within 4000-5000, else the default; 0 none).
  std::array<uint16_t, 16> buttonCommand{};
};
GamePadConfig ReadGamePadConfig(SettingsAccess& settings);

// The poll step: reads the device, posts what it shows, and says how long to wait.
class GamePadPoller {
 public:
  GamePadPoller(const GamePadConfig& config, const ViewerState& state, PostPort& post)
      : config_(config), state_(state), post_(post) {}
  // Milliseconds until the next step: 60 while polling, 1000 while polling is off or no
  // device can be read.
  int32_t Step(ControllerSource& source);

 private:
  void Post(uint16_t command) { post_.Post(command, 0); }
  GamePadConfig config_;
  const ViewerState& state_;
  PostPort& post_;
  uint32_t previousButtons_ = 0;
  std::optional<uint32_t> previousDevice_;
};

// The polling thread. It makes its source on the thread itself (SDL is used from there only),
// waits 60 ms, then steps the poller until the object goes away.
class GamePadThread {
 public:
  using SourceFactory = std::function<std::unique_ptr<ControllerSource>(int32_t joystickIndex)>;
  GamePadThread(const GamePadConfig& config, const ViewerState& state, PostPort& post,
                SourceFactory makeSource);
  ~GamePadThread();
  GamePadThread(const GamePadThread&) = delete;
  GamePadThread& operator=(const GamePadThread&) = delete;

 private:
  void Run(SourceFactory makeSource);
  // False once the thread is to end.
  bool Wait(int32_t ms);
  GamePadPoller poller_;
  int32_t joystickIndex_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace qp
