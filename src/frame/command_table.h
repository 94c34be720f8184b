// The command set as data: one row per command with its 16-bit id, the menu it sits in and its
// exact text, the keys bound to it, where it is routed and when it is enabled. The window builds
// its menus, accelerators and tool bar from these rows; the router and the update rules read
// them too.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace qp {

// Where a command goes.
enum class Route : uint8_t {
  Frame,       // a frame handler
  FrameToView, // the frame sends the same id to the view hook
  App,         // an application handler
  AppToView,   // the application sends the same id to the view hook
  View,        // internal: straight to the view hook
  Framework,   // the framework's defaults (recent files)
  None,        // no handler: always disabled
};

// When a command is enabled (and checked).
enum class UpdateRule : uint8_t {
  Always,
  Never,
  File,
  FileOrBookmark,
  Bookmark,
  RealFile,
  FileNotClipboard,
  ImageNotVideo,
  EditableImage,
  Animation,
  Selection,
  Jpeg,
  JpegAndSelection,
  ClipboardBitmap,
  Undo,
  Gps,
  FileMarkedLocked,
  AlwaysMarkedJoystick,
  AlwaysMarkedGestures,
  ExternalSet,
  Internal,
};

struct CommandRow {
  uint16_t id;
  // Menu path: top menu, then submenus, separated by ">"; empty for commands without an item.
  std::string_view menu;
  // The exact menu text; a tab separates the shown key.
  std::string_view text;
  // Bound keys, separated by ", ", in the key-sequence notation of the window toolkit
  // ("Ctrl+Home", "Num++" for the keypad plus).
  std::string_view keys;
  Route route;
  UpdateRule rule;
};

std::span<const CommandRow> CommandTable();
// The status-bar prompt of a command with a menu item or tool-bar button; empty for others.
std::string_view CommandPrompt(uint16_t id);
// The row of an id, or null.
const CommandRow* FindCommand(uint16_t id);

// The top menus in menu-bar order, and each menu's items in order (0 is a separator). Items
// whose row names a submenu ("Image>Transparency") appear in that submenu at the place of
// their first item.
struct MenuLayout {
  std::string_view menu;
  // The menu bar's text, with "&" before the letter that opens the menu with Alt.
  std::string_view title;
  std::span<const uint16_t> items;
};
// The text of a submenu ("Transparency" of "Image>Transparency") with its "&" letter.
std::string_view SubmenuTitle(std::string_view name);
std::span<const MenuLayout> MenuBar();

// The tool bar's 13 items, 0 for a separator.
std::span<const uint16_t> ToolBarItems();

// Framework commands that have no row: the bar toggles and the application's exit.
inline constexpr uint16_t kCmdViewToolbar = 59392;
inline constexpr uint16_t kCmdViewStatusBar = 59393;
inline constexpr uint16_t kCmdAppExit = 57665;

// Ids the frame and application handle that other code names.
enum FrameCommand : uint16_t {
  kCmdFirstFile = 4000,
  kCmdNextFileOrFrame = 4001,
  kCmdPreviousFile = 4002,
  kCmdPaddleNext = 4003,
  kCmdPaddlePrevious = 4004,
  kCmdLastFile = 4009,
  kCmdFitToScreen = 4021,
  kCmdNextFile = 4028,
  kCmdOriginalSize = 4030,
  kCmdInformation = 4034,
  kCmdUseJoystick = 4035,
  kCmdExit = 4040,
  kCmdRefreshFile = 4070,
  kCmdUseGestures = 4092,
  kCmdRefreshFileList = 4094,
  kCmdFitToWidth = 4153,
  kCmdFitToHeight = 4154,
  kCmdRandom = 4160,
  kCmdPreviousRandom = 4161,
  // The thumbnail grid: the command of its key, and the workers' "thumbnails are ready".
  kCmdThumbnails = 4200,
  kCmdThumbnailsReady = 4201,
  kCmdFileOpen = 57601,
  kCmdCut = 57635,
  kCmdAbout = 57664,
};

}  // namespace qp
