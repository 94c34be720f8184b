#include "input/sdl_controller.h"

#include <SDL2/SDL.h>

#include <algorithm>

namespace qp {

namespace {

struct PadCloser {
  void operator()(SDL_GameController* p) const { SDL_GameControllerClose(p); }
};
struct JoystickCloser {
  void operator()(SDL_Joystick* j) const { SDL_JoystickClose(j); }
};

// SDL's stick y grows downwards; the pad word's grows upwards.
int16_t Upwards(int16_t v) {
  return static_cast<int16_t>(std::min<int32_t>(-int32_t{v}, 32767));
}

}  // namespace

struct SdlControllerSource::Devices {
  std::unique_ptr<SDL_GameController, PadCloser> pad;
  std::unique_ptr<SDL_Joystick, JoystickCloser> joystick;
};

SdlControllerSource::SdlControllerSource(int32_t joystickIndex)
    : joystickIndex_(joystickIndex), devices_(std::make_unique<Devices>()) {
  // SDL would otherwise take SIGINT and SIGTERM for its own quit event.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  ready_ = SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
  if (ready_) {
    // Nothing reads SDL's event queue; the state is asked for on every poll instead.
    SDL_GameControllerEventState(SDL_IGNORE);
    SDL_JoystickEventState(SDL_IGNORE);
  }
}

SdlControllerSource::~SdlControllerSource() {
  devices_.reset();
  if (ready_) SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
  // SDL keeps per-thread data (its error text) that a thread it did not start never frees.
  SDL_TLSCleanup();
}

std::optional<ControllerReading> SdlControllerSource::Read() {
  if (!ready_) return std::nullopt;
  Devices& d = *devices_;
  // Updates every open device and looks for devices plugged in or out.
  SDL_GameControllerUpdate();
  if (d.pad && !SDL_GameControllerGetAttached(d.pad.get())) d.pad.reset();
  if (d.joystick && !SDL_JoystickGetAttached(d.joystick.get())) d.joystick.reset();
  if (!d.pad && !d.joystick) {
    const int count = SDL_NumJoysticks();
    for (int i = 0; i < count && !d.pad; ++i) {
      if (SDL_IsGameController(i)) d.pad.reset(SDL_GameControllerOpen(i));
    }
    if (!d.pad && joystickIndex_ < count) d.joystick.reset(SDL_JoystickOpen(joystickIndex_));
    if (!d.pad && !d.joystick) return std::nullopt;
  }

  ControllerReading r;
  if (d.pad) {
    SDL_GameController* p = d.pad.get();
    r.pad = true;
    r.device = static_cast<uint32_t>(SDL_JoystickInstanceID(SDL_GameControllerGetJoystick(p)));
    static constexpr std::pair<SDL_GameControllerButton, uint32_t> kWord[] = {
        {SDL_CONTROLLER_BUTTON_DPAD_UP, kPadUp},
        {SDL_CONTROLLER_BUTTON_DPAD_DOWN, kPadDown},
        {SDL_CONTROLLER_BUTTON_DPAD_LEFT, kPadLeft},
        {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, kPadRight},
        {SDL_CONTROLLER_BUTTON_START, 0x0010},
        {SDL_CONTROLLER_BUTTON_BACK, 0x0020},
        {SDL_CONTROLLER_BUTTON_LEFTSTICK, 0x0040},
        {SDL_CONTROLLER_BUTTON_RIGHTSTICK, 0x0080},
        {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, 0x0100},
        {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, 0x0200},
        {SDL_CONTROLLER_BUTTON_A, 0x1000},
        {SDL_CONTROLLER_BUTTON_B, 0x2000},
        {SDL_CONTROLLER_BUTTON_X, 0x4000},
        {SDL_CONTROLLER_BUTTON_Y, 0x8000}};
    for (const auto& [button, bit] : kWord) {
      if (SDL_GameControllerGetButton(p, button)) r.buttons |= bit;
    }
    r.leftX = SDL_GameControllerGetAxis(p, SDL_CONTROLLER_AXIS_LEFTX);
    r.leftY = Upwards(SDL_GameControllerGetAxis(p, SDL_CONTROLLER_AXIS_LEFTY));
    r.rightX = SDL_GameControllerGetAxis(p, SDL_CONTROLLER_AXIS_RIGHTX);
    r.rightY = Upwards(SDL_GameControllerGetAxis(p, SDL_CONTROLLER_AXIS_RIGHTY));
    return r;
  }
  SDL_Joystick* j = d.joystick.get();
  r.device = static_cast<uint32_t>(SDL_JoystickInstanceID(j));
  const int buttons = std::min(SDL_JoystickNumButtons(j), 16);
  for (int i = 0; i < buttons; ++i) {
    if (SDL_JoystickGetButton(j, i)) r.buttons |= uint32_t{1} << i;
  }
  // SDL's axes run -32768..32767; the raw joystick's 0..65535.
  if (SDL_JoystickNumAxes(j) >= 2) {
    r.x = static_cast<uint16_t>(SDL_JoystickGetAxis(j, 0) + 32768);
    r.y = static_cast<uint16_t>(SDL_JoystickGetAxis(j, 1) + 32768);
  }
  return r;
}

std::unique_ptr<ControllerSource> MakeSdlControllerSource(int32_t joystickIndex) {
  return std::make_unique<SdlControllerSource>(joystickIndex);
}

}  // namespace qp
