#include "input/sdl_controller.h"

#include <SDL2/SDL.h>

#include <algorithm>

#include "codecs/runtime_library.h"

namespace qp {

namespace {

// SDL is opened when a game pad is first looked for, not when the program starts: it brings
// the sound and window-system libraries along, milliseconds the first picture would wait for.
struct SdlApi {
  RuntimeLibrary library{"libSDL2-2.0.so.0"};
  bool found = static_cast<bool>(library);
  RuntimeFunction<decltype(&::SDL_GameControllerClose)> GameControllerClose{
      library, "SDL_GameControllerClose", found};
  RuntimeFunction<decltype(&::SDL_GameControllerEventState)> GameControllerEventState{
      library, "SDL_GameControllerEventState", found};
  RuntimeFunction<decltype(&::SDL_GameControllerGetAttached)> GameControllerGetAttached{
      library, "SDL_GameControllerGetAttached", found};
  RuntimeFunction<decltype(&::SDL_GameControllerGetAxis)> GameControllerGetAxis{
      library, "SDL_GameControllerGetAxis", found};
  RuntimeFunction<decltype(&::SDL_GameControllerGetButton)> GameControllerGetButton{
      library, "SDL_GameControllerGetButton", found};
  RuntimeFunction<decltype(&::SDL_GameControllerGetJoystick)> GameControllerGetJoystick{
      library, "SDL_GameControllerGetJoystick", found};
  RuntimeFunction<decltype(&::SDL_GameControllerOpen)> GameControllerOpen{
      library, "SDL_GameControllerOpen", found};
  RuntimeFunction<decltype(&::SDL_GameControllerUpdate)> GameControllerUpdate{
      library, "SDL_GameControllerUpdate", found};
  RuntimeFunction<decltype(&::SDL_InitSubSystem)> InitSubSystem{library, "SDL_InitSubSystem",
                                                                found};
  RuntimeFunction<decltype(&::SDL_IsGameController)> IsGameController{
      library, "SDL_IsGameController", found};
  RuntimeFunction<decltype(&::SDL_JoystickClose)> JoystickClose{library, "SDL_JoystickClose",
                                                                found};
  RuntimeFunction<decltype(&::SDL_JoystickEventState)> JoystickEventState{
      library, "SDL_JoystickEventState", found};
  RuntimeFunction<decltype(&::SDL_JoystickGetAttached)> JoystickGetAttached{
      library, "SDL_JoystickGetAttached", found};
  RuntimeFunction<decltype(&::SDL_JoystickGetAxis)> JoystickGetAxis{library, "SDL_JoystickGetAxis",
                                                                    found};
  RuntimeFunction<decltype(&::SDL_JoystickGetButton)> JoystickGetButton{
      library, "SDL_JoystickGetButton", found};
  RuntimeFunction<decltype(&::SDL_JoystickInstanceID)> JoystickInstanceID{
      library, "SDL_JoystickInstanceID", found};
  RuntimeFunction<decltype(&::SDL_JoystickNumAxes)> JoystickNumAxes{library, "SDL_JoystickNumAxes",
                                                                    found};
  RuntimeFunction<decltype(&::SDL_JoystickNumButtons)> JoystickNumButtons{
      library, "SDL_JoystickNumButtons", found};
  RuntimeFunction<decltype(&::SDL_JoystickOpen)> JoystickOpen{library, "SDL_JoystickOpen", found};
  RuntimeFunction<decltype(&::SDL_NumJoysticks)> NumJoysticks{library, "SDL_NumJoysticks", found};
  RuntimeFunction<decltype(&::SDL_QuitSubSystem)> QuitSubSystem{library, "SDL_QuitSubSystem",
                                                                found};
  RuntimeFunction<decltype(&::SDL_SetHint)> SetHint{library, "SDL_SetHint", found};
  RuntimeFunction<decltype(&::SDL_TLSCleanup)> TLSCleanup{library, "SDL_TLSCleanup", found};
};

// The library's functions, opened once; every call goes through a set found whole.
const SdlApi& Sdl() {
  static const SdlApi api;
  return api;
}

bool SdlPresent() {
  return Sdl().found;
}

struct PadCloser {
  void operator()(SDL_GameController* p) const { Sdl().GameControllerClose(p); }
};
struct JoystickCloser {
  void operator()(SDL_Joystick* j) const { Sdl().JoystickClose(j); }
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
  if (!SdlPresent()) return;  // no SDL on this system: no game pads
  Sdl().SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  Sdl().SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  ready_ = Sdl().InitSubSystem(SDL_INIT_GAMECONTROLLER) == 0;
  if (ready_) {
    // Nothing reads SDL's event queue; the state is asked for on every poll instead.
    Sdl().GameControllerEventState(SDL_IGNORE);
    Sdl().JoystickEventState(SDL_IGNORE);
  }
}

SdlControllerSource::~SdlControllerSource() {
  devices_.reset();
  if (!SdlPresent()) return;
  if (ready_) Sdl().QuitSubSystem(SDL_INIT_GAMECONTROLLER);
  // SDL keeps per-thread data (its error text) that a thread it did not start never frees.
  Sdl().TLSCleanup();
}

std::optional<ControllerReading> SdlControllerSource::Read() {
  if (!ready_) return std::nullopt;
  Devices& d = *devices_;
  // Updates every open device and looks for devices plugged in or out.
  Sdl().GameControllerUpdate();
  if (d.pad && !Sdl().GameControllerGetAttached(d.pad.get())) d.pad.reset();
  if (d.joystick && !Sdl().JoystickGetAttached(d.joystick.get())) d.joystick.reset();
  if (!d.pad && !d.joystick) {
    const int count = Sdl().NumJoysticks();
    for (int i = 0; i < count && !d.pad; ++i) {
      if (Sdl().IsGameController(i)) d.pad.reset(Sdl().GameControllerOpen(i));
    }
    if (!d.pad && joystickIndex_ < count) d.joystick.reset(Sdl().JoystickOpen(joystickIndex_));
    if (!d.pad && !d.joystick) return std::nullopt;
  }

  ControllerReading r;
  if (d.pad) {
    SDL_GameController* p = d.pad.get();
    r.pad = true;
    r.device = static_cast<uint32_t>(Sdl().JoystickInstanceID(Sdl().GameControllerGetJoystick(p)));
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
      if (Sdl().GameControllerGetButton(p, button)) r.buttons |= bit;
    }
    r.leftX = Sdl().GameControllerGetAxis(p, SDL_CONTROLLER_AXIS_LEFTX);
    r.leftY = Upwards(Sdl().GameControllerGetAxis(p, SDL_CONTROLLER_AXIS_LEFTY));
    r.rightX = Sdl().GameControllerGetAxis(p, SDL_CONTROLLER_AXIS_RIGHTX);
    r.rightY = Upwards(Sdl().GameControllerGetAxis(p, SDL_CONTROLLER_AXIS_RIGHTY));
    return r;
  }
  SDL_Joystick* j = d.joystick.get();
  r.device = static_cast<uint32_t>(Sdl().JoystickInstanceID(j));
  const int buttons = std::min(Sdl().JoystickNumButtons(j), 16);
  for (int i = 0; i < buttons; ++i) {
    if (Sdl().JoystickGetButton(j, i)) r.buttons |= uint32_t{1} << i;
  }
  // SDL's axes run -32768..32767; the raw joystick's 0..65535.
  if (Sdl().JoystickNumAxes(j) >= 2) {
    r.x = static_cast<uint16_t>(Sdl().JoystickGetAxis(j, 0) + 32768);
    r.y = static_cast<uint16_t>(Sdl().JoystickGetAxis(j, 1) + 32768);
  }
  return r;
}

std::unique_ptr<ControllerSource> MakeSdlControllerSource(int32_t joystickIndex) {
  return std::make_unique<SdlControllerSource>(joystickIndex);
}

}  // namespace qp
