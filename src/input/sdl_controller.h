// Game pads and joysticks through SDL: a device with a game-controller mapping is read in the
// pad layout, any other joystick raw. Devices plugged in after the start are found at the next
// read; an unplugged device is let go and the next one present is taken.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "input/game_controller.h"

namespace qp {

class SdlControllerSource final : public ControllerSource {
 public:
  // Starts SDL's game-controller subsystem (reference-counted by SDL); `joystickIndex` picks
  // the raw joystick when no pad is present.
  explicit SdlControllerSource(int32_t joystickIndex);
  ~SdlControllerSource() override;
  SdlControllerSource(const SdlControllerSource&) = delete;
  SdlControllerSource& operator=(const SdlControllerSource&) = delete;

  std::optional<ControllerReading> Read() override;
  // False when SDL could not be started; every read then finds nothing.
  bool ready() const { return ready_; }

 private:
  struct Devices;
  bool ready_ = false;
  int32_t joystickIndex_;
  std::unique_ptr<Devices> devices_;
};

// The factory the program's polling thread uses.
std::unique_ptr<ControllerSource> MakeSdlControllerSource(int32_t joystickIndex);

}  // namespace qp
