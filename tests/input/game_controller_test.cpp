// Game-controller polling against SDL's virtual devices: the poll step is driven by hand, so
// nothing depends on timing.
#include "input/game_controller.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include "frame/settings_store.h"
#include "input/sdl_controller.h"
#include "support/fake_ports.h"
#include "support/virtual_pad.h"

namespace qp {
namespace {

using Posted = std::vector<uint16_t>;

using VirtualDevice = test::VirtualPad;

struct GamePadTest : ::testing::Test {
  MemorySettingsBackend backend;
  SettingsStore settings{backend};
  ViewerState state;
  test::FakePost post;
  std::unique_ptr<SdlControllerSource> source;
  std::unique_ptr<GamePadPoller> poller;

  void SetUp() override {
    // The test's own hold on SDL keeps virtual devices alive while Start() replaces the source.
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER), 0) << SDL_GetError();
    state.useJoystick = 1;
    Start();
    ASSERT_TRUE(source->ready()) << SDL_GetError();
  }
  void TearDown() override {
    poller.reset();
    source.reset();
    SDL_QuitSubSystem(SDL_INIT_GAMECONTROLLER);
  }
  // A fresh poller and source with the settings as they are now.
  void Start() {
    poller.reset();
    source.reset();
    source = std::make_unique<SdlControllerSource>(ReadGamePadConfig(settings).joystickIndex);
    poller = std::make_unique<GamePadPoller>(ReadGamePadConfig(settings), state, post);
  }
  // One poll: what it posted, and the wait it asked for in `wait`.
  Posted Poll(int32_t* wait = nullptr) {
    post.queue.clear();
    const int32_t w = poller->Step(*source);
    if (wait) *wait = w;
    Posted out;
    for (const auto& [command, argument] : post.queue) {
      EXPECT_EQ(argument, 0);
      out.push_back(command);
    }
    return out;
  }
};

TEST_F(GamePadTest, NoDeviceWaitsASecondAndPostsNothing) {
  int32_t wait = 0;
  EXPECT_EQ(Poll(&wait), Posted{});
  EXPECT_EQ(wait, kPadIdleMs);
}

TEST_F(GamePadTest, PadPluggedInLaterIsUsedAndEachPressPostsOnce) {
  Poll();  // nothing there yet
  VirtualDevice pad(true);
  ASSERT_TRUE(pad.ok()) << SDL_GetError();
  int32_t wait = 0;
  EXPECT_EQ(Poll(&wait), Posted{});
  EXPECT_EQ(wait, kPadPollMs);
  pad.Button(SDL_CONTROLLER_BUTTON_A, true);
  EXPECT_EQ(Poll(), Posted{4002});
  EXPECT_EQ(Poll(), Posted{});  // held: no repeat
  pad.Button(SDL_CONTROLLER_BUTTON_A, false);
  EXPECT_EQ(Poll(), Posted{});
  pad.Button(SDL_CONTROLLER_BUTTON_A, true);
  EXPECT_EQ(Poll(), Posted{4002});
  // Unplugged: back to one look a second.
  pad.Detach();
  EXPECT_EQ(Poll(&wait), Posted{});
  EXPECT_EQ(wait, kPadIdleMs);
}

TEST_F(GamePadTest, PadButtonsRunTheirCommandsInButtonOrder) {
  backend.setNumber("JoyButton3", 4160);  // X: Random
  backend.setNumber("JoyButton4", 3000);  // Y: out of range, keeps Zoom Out
  backend.setNumber("JoyButton9", 0);     // left stick press: Exit by default
  Start();
  VirtualDevice pad(true);
  ASSERT_TRUE(pad.ok());
  Poll();
  const std::pair<SDL_GameControllerButton, uint16_t> table[] = {
      {SDL_CONTROLLER_BUTTON_A, 4002},
      {SDL_CONTROLLER_BUTTON_B, 4028},
      {SDL_CONTROLLER_BUTTON_X, 4160},
      {SDL_CONTROLLER_BUTTON_Y, 4032},
      {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, 4004},
      {SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, 4003},
      {SDL_CONTROLLER_BUTTON_BACK, 4004},
      {SDL_CONTROLLER_BUTTON_START, 4003},
      {SDL_CONTROLLER_BUTTON_LEFTSTICK, 4040},
      {SDL_CONTROLLER_BUTTON_RIGHTSTICK, 4022}};
  for (const auto& [button, command] : table) {
    pad.Button(button, true);
    EXPECT_EQ(Poll(), Posted{command}) << button;
    pad.Button(button, false);
    Poll();
  }
  // Pressed together: one post each, in button order.
  pad.Button(SDL_CONTROLLER_BUTTON_RIGHTSHOULDER, true);
  pad.Button(SDL_CONTROLLER_BUTTON_B, true);
  EXPECT_EQ(Poll(), (Posted{4028, 4003}));
  // The guide button has no number.
  pad.Button(SDL_CONTROLLER_BUTTON_GUIDE, true);
  EXPECT_EQ(Poll(), Posted{});
}

TEST_F(GamePadTest, SticksAndDirectionPadRepeatBeyondTheDeadZone) {
  VirtualDevice pad(true);
  ASSERT_TRUE(pad.ok());
  Poll();
  // SDL's stick y grows downwards.
  const struct {
    SDL_GameControllerAxis axis;
    int16_t value;
    Posted posted;
  } sticks[] = {
      {SDL_CONTROLLER_AXIS_LEFTX, -6400, {}},      {SDL_CONTROLLER_AXIS_LEFTX, -6401, {4013}},
      {SDL_CONTROLLER_AXIS_LEFTX, 6400, {}},       {SDL_CONTROLLER_AXIS_LEFTX, 6401, {4014}},
      {SDL_CONTROLLER_AXIS_LEFTY, -6401, {4012}},  {SDL_CONTROLLER_AXIS_LEFTY, 6401, {4011}},
      {SDL_CONTROLLER_AXIS_LEFTY, -32768, {4012}}, {SDL_CONTROLLER_AXIS_RIGHTX, -32768, {4013}},
      {SDL_CONTROLLER_AXIS_RIGHTX, 32767, {4014}}, {SDL_CONTROLLER_AXIS_RIGHTY, 6400, {}},
      {SDL_CONTROLLER_AXIS_RIGHTY, 6401, {4011}},  {SDL_CONTROLLER_AXIS_RIGHTY, -6401, {4012}},
  };
  for (const auto& s : sticks) {
    pad.Axis(s.axis, s.value);
    EXPECT_EQ(Poll(), s.posted) << s.axis << " " << s.value;
    EXPECT_EQ(Poll(), s.posted) << "held";
    pad.Axis(s.axis, 0);
  }
  // Direction pad, then both sticks at once: pad left/right/up/down, left stick x then y,
  // right stick x then y.
  const std::pair<SDL_GameControllerButton, uint16_t> dpad[] = {
      {SDL_CONTROLLER_BUTTON_DPAD_LEFT, 4013},
      {SDL_CONTROLLER_BUTTON_DPAD_RIGHT, 4014},
      {SDL_CONTROLLER_BUTTON_DPAD_UP, 4012},
      {SDL_CONTROLLER_BUTTON_DPAD_DOWN, 4011}};
  for (const auto& [button, command] : dpad) {
    pad.Button(button, true);
    EXPECT_EQ(Poll(), Posted{command});
    EXPECT_EQ(Poll(), Posted{command});
    pad.Button(button, false);
  }
  pad.Button(SDL_CONTROLLER_BUTTON_DPAD_DOWN, true);
  pad.Axis(SDL_CONTROLLER_AXIS_LEFTX, 20000);
  pad.Axis(SDL_CONTROLLER_AXIS_LEFTY, 20000);
  pad.Axis(SDL_CONTROLLER_AXIS_RIGHTX, -20000);
  EXPECT_EQ(Poll(), (Posted{4011, 4014, 4011, 4013}));
}

TEST_F(GamePadTest, RawJoystickButtonsAndOuterQuarters) {
  backend.setNumber("JoyButton12", 4100);
  backend.setNumber("JoyButton16", 5001);  // out of range, and no default past button 10
  Start();
  VirtualDevice stick(false);
  ASSERT_TRUE(stick.ok());
  ASSERT_FALSE(SDL_IsGameController(0));
  Poll();
  for (int b = 0; b < 16; ++b) {
    stick.Button(b, true);
    const Posted expected = b < 10    ? Posted{ReadGamePadConfig(settings).buttonCommand[b]}
                            : b == 11 ? Posted{4100}
                                      : Posted{};
    EXPECT_EQ(Poll(), expected) << "button " << b + 1;
    EXPECT_EQ(Poll(), Posted{});
    stick.Button(b, false);
    Poll();
  }
  // SDL's -32768..32767 is the joystick's 0..65535: 0x4000 is -16384, 0xC000 is 16384.
  const struct {
    int axis;
    int16_t value;
    Posted posted;
  } axes[] = {{0, -16384, {}},     {0, -16385, {4013}}, {0, 16384, {}}, {0, 16385, {4014}},
              {1, -16385, {4012}}, {1, 16385, {4011}},  {1, 16384, {}}};
  for (const auto& a : axes) {
    stick.Axis(a.axis, a.value);
    EXPECT_EQ(Poll(), a.posted) << a.axis << " " << a.value;
    EXPECT_EQ(Poll(), a.posted) << "held";
    stick.Axis(a.axis, 0);
  }
}

TEST_F(GamePadTest, JoyIdTwoReadsTheSecondJoystick) {
  VirtualDevice first(false), second(false);
  ASSERT_TRUE(first.ok() && second.ok());
  backend.setNumber("JoyID", 2);
  Start();
  Poll();
  first.Button(0, true);
  EXPECT_EQ(Poll(), Posted{});
  second.Button(1, true);
  EXPECT_EQ(Poll(), Posted{4028});
}

TEST_F(GamePadTest, UseJoystickOffPostsNothing) {
  VirtualDevice pad(true);
  ASSERT_TRUE(pad.ok());
  Poll();
  state.useJoystick = 0;
  pad.Button(SDL_CONTROLLER_BUTTON_A, true);
  pad.Axis(SDL_CONTROLLER_AXIS_LEFTX, 32767);
  int32_t wait = 0;
  EXPECT_EQ(Poll(&wait), Posted{});
  EXPECT_EQ(wait, kPadIdleMs);
  // Turned on from the menu: the held button counts as a new press.
  state.useJoystick = 1;
  EXPECT_EQ(Poll(&wait), (Posted{4002, 4014}));
  EXPECT_EQ(wait, kPadPollMs);
}

TEST(GamePadSettings, DefaultsAndRange) {
  MemorySettingsBackend backend;
  SettingsStore settings{backend};
  const std::pair<int32_t, uint16_t> values[] = {
      {4000, 4000}, {5000, 5000}, {3999, 4031}, {5001, 4031}};
  for (const auto& [value, command] : values) {
    backend.setNumber("JoyButton3", value);
    EXPECT_EQ(ReadGamePadConfig(settings).buttonCommand[2], command) << value;
  }
  const std::pair<int32_t, int32_t> ids[] = {{1, 0}, {2, 1}, {3, 0}, {0, 0}};
  for (const auto& [id, index] : ids) {
    backend.setNumber("JoyID", id);
    EXPECT_EQ(ReadGamePadConfig(settings).joystickIndex, index) << id;
  }
}

}  // namespace
}  // namespace qp
