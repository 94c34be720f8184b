#include "input/game_controller.h"

#include <cstdio>

#include "core/setting_values.h"
#include "view/view.h"

namespace qp {

namespace {

constexpr std::array<uint16_t, 10> kDefaultButtonCommands = {4002, 4028, 4031, 4032, 4004,
                                                             4003, 4004, 4003, 4040, 4022};
// Joystick axes count as deflected in their outer quarters.
constexpr uint16_t kAxisLow = 0x4000;
constexpr uint16_t kAxisHigh = 0xC000;

}  // namespace

GamePadConfig ReadGamePadConfig(SettingsAccess& settings) {
  GamePadConfig config;
  config.joystickIndex = JoystickIndex(settings.ReadNumber("JoyID"));
  for (size_t n = 1; n <= config.buttonCommand.size(); ++n) {
    char name[16];
    std::snprintf(name, sizeof name, "JoyButton%zu", n);
    const int32_t value = settings.ReadNumber(name);
    uint16_t command = ButtonCommand(value);
    if (command == 0 && n <= kDefaultButtonCommands.size()) command = kDefaultButtonCommands[n - 1];
    config.buttonCommand[n - 1] = command;
  }
  return config;
}

int32_t GamePadPoller::Step(ControllerSource& source) {
  if (state_.useJoystick.load(std::memory_order_relaxed) == 0) return kPadIdleMs;
  const std::optional<ControllerReading> r = source.Read();
  if (!r) return kPadIdleMs;
  // A newly read device starts with nothing pressed.
  if (previousDevice_ != r->device) previousButtons_ = 0;
  previousDevice_ = r->device;

  const size_t buttons = r->pad ? kPadButtonMasks.size() : config_.buttonCommand.size();
  for (size_t i = 0; i < buttons; ++i) {
    const uint32_t mask = r->pad ? kPadButtonMasks[i] : uint32_t{1} << i;
    const uint16_t command = config_.buttonCommand[i];
    if (command != 0 && (r->buttons & mask) != 0 && (previousButtons_ & mask) == 0) Post(command);
  }

  if (r->pad) {
    if (r->buttons & kPadLeft) Post(kCmdScrollLeft);
    if (r->buttons & kPadRight) Post(kCmdScrollRight);
    if (r->buttons & kPadUp) Post(kCmdScrollUp);
    if (r->buttons & kPadDown) Post(kCmdScrollDown);
    for (const auto& [sx, sy] : {std::pair{r->leftX, r->leftY}, std::pair{r->rightX, r->rightY}}) {
      if (sx < -kStickDeadZone) Post(kCmdScrollLeft);
      if (sx > kStickDeadZone) Post(kCmdScrollRight);
      if (sy > kStickDeadZone) Post(kCmdScrollUp);
      if (sy < -kStickDeadZone) Post(kCmdScrollDown);
    }
  } else {
    if (r->x < kAxisLow) Post(kCmdScrollLeft);
    if (r->x > kAxisHigh) Post(kCmdScrollRight);
    if (r->y < kAxisLow) Post(kCmdScrollUp);
    if (r->y > kAxisHigh) Post(kCmdScrollDown);
  }
  previousButtons_ = r->buttons;
  return state_.useJoystick.load(std::memory_order_relaxed) != 0 ? kPadPollMs : kPadIdleMs;
}

GamePadThread::GamePadThread(const GamePadConfig& config, const ViewerState& state, PostPort& post,
                             SourceFactory makeSource)
    : poller_(config, state, post), joystickIndex_(config.joystickIndex) {
  thread_ = std::thread([this, f = std::move(makeSource)]() mutable { Run(std::move(f)); });
}

GamePadThread::~GamePadThread() {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

bool GamePadThread::Wait(int32_t ms) {
  std::unique_lock<std::mutex> hold(mutex_);
  return !wake_.wait_for(hold, std::chrono::milliseconds(ms), [this] { return stop_; });
}

void GamePadThread::Run(SourceFactory makeSource) {
  std::unique_ptr<ControllerSource> source = makeSource(joystickIndex_);
  if (!source) return;
  int32_t wait = kPadPollMs;
  while (Wait(wait)) wait = poller_.Step(*source);
}

}  // namespace qp
