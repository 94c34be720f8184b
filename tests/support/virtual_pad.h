// A virtual SDL device for one scope: a pad with the full pad layout, or a raw joystick with
// two axes and sixteen buttons. It holds SDL's game-controller subsystem while it lives.
#pragma once

#include <SDL2/SDL.h>

namespace qp::test {

class VirtualPad {
 public:
  explicit VirtualPad(bool pad = true) {
    SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER);
    SDL_VirtualJoystickDesc d{};
    d.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    d.type = pad ? SDL_JOYSTICK_TYPE_GAMECONTROLLER : SDL_JOYSTICK_TYPE_UNKNOWN;
    d.naxes = pad ? SDL_CONTROLLER_AXIS_MAX : 2;
    d.nbuttons = pad ? SDL_CONTROLLER_BUTTON_MAX : 16;
    d.name = pad ? "virtual pad" : "virtual stick";
    const int index = SDL_JoystickAttachVirtualEx(&d);
    joystick_ = index >= 0 ? SDL_JoystickOpen(index) : nullptr;
  }
  ~VirtualPad() {
    Detach();
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
  }
  VirtualPad(const VirtualPad&) = delete;
  VirtualPad& operator=(const VirtualPad&) = delete;

  bool ok() const { return joystick_ != nullptr; }
  // Unplugs the device.
  void Detach() {
    if (!joystick_) return;
    const SDL_JoystickID id = SDL_JoystickInstanceID(joystick_);
    SDL_JoystickClose(joystick_);
    joystick_ = nullptr;
    for (int i = 0; i < SDL_NumJoysticks(); ++i) {
      if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
    }
  }
  void Button(int button, bool down) {
    SDL_JoystickSetVirtualButton(joystick_, button, down ? 1 : 0);
  }
  void Axis(int axis, int16_t value) { SDL_JoystickSetVirtualAxis(joystick_, axis, value); }

 private:
  SDL_Joystick* joystick_ = nullptr;
};

}  // namespace qp::test
