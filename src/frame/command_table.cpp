#include "frame/command_table.h"

#include <algorithm>
#include <array>

namespace qp {
namespace {

using R = Route;
using U = UpdateRule;

constexpr std::string_view kFile = "File";
constexpr std::string_view kEdit = "Edit";
constexpr std::string_view kView = "View";
constexpr std::string_view kImage = "Image";
constexpr std::string_view kTransparency = "Image>Transparency";
constexpr std::string_view kDither = "Image>Dither...";
constexpr std::string_view kJoin = "Image>Join...";
constexpr std::string_view kDraw = "Draw";
constexpr std::string_view kJpeg = "Jpeg Transform";
constexpr std::string_view kExternal = "External";
constexpr std::string_view kOptions = "Options";
constexpr std::string_view kHelp = "Help";

constexpr CommandRow kRows[] = {
    {4000, kView, "First File\tCtrl+Home", "Ctrl+Home", R::Frame, U::File},
    {4001, kView, "Next File or Frame\tSpace", "Space", R::Frame, U::FileOrBookmark},
    {4002, kView, "Previous File\tBkspace", "Backspace", R::Frame, U::File},
    {4003, kView, "Paddle Next\t.", ".", R::Frame, U::File},
    {4004, kView, "Paddle Previous\t,", ",", R::Frame, U::File},
    {4009, kView, "Last File\tCtrl+End", "Ctrl+End", R::Frame, U::File},
    {4010, "", "", "Home", R::FrameToView, U::Always},
    {4011, "", "", "Down", R::FrameToView, U::Always},
    {4012, "", "", "Up", R::FrameToView, U::Always},
    {4013, "", "", "Left", R::FrameToView, U::Always},
    {4014, "", "", "Right", R::FrameToView, U::Always},
    {4015, "", "", "PgDown", R::FrameToView, U::Always},
    {4016, "", "", "PgUp", R::FrameToView, U::Always},
    {4017, "", "", "Ctrl+PgUp", R::FrameToView, U::Always},
    {4019, "", "", "End", R::FrameToView, U::Always},
    {4020, "", "", "", R::View, U::Internal},
    {4021, kView, "Fit to Screen\tCtrl+T", "Ctrl+T", R::App, U::File},
    // Enter is both the main key and the keypad's.
    {4022, kView, "Fullscreen\tEnter", "Return, Num+Enter, Alt+Return", R::App, U::File},
    {4025, "", "", "", R::View, U::Internal},
    {4026, "", "", "", R::View, U::Internal},
    {4027, kView, "Pause Animation\tPause/Break", "Pause", R::FrameToView, U::Animation},
    {4028, "", "", "", R::Frame, U::File},
    {4030, kView, "Original Size\tCtrl+0", "Ctrl+0", R::App, U::File},
    // "=" is the character; "+" is the same key with Shift on most layouts.
    {4031, kView, "Zoom In\t+", "=, +, Num++", R::AppToView, U::File},
    {4032, kView, "Zoom Out\t-", "-, Num+-", R::AppToView, U::File},
    {4033, kView, "Lock Zoom \tCtrl+L", "Shift+L, Ctrl+L", R::App, U::FileMarkedLocked},
    {4034, kView, "&Information\tI", "I", R::App, U::File},
    {4035, kView, "Use &Joystick", "", R::App, U::AlwaysMarkedJoystick},
    {4036, "", "", "", R::View, U::Internal},
    {4037, "", "", "", R::View, U::Internal},
    {4038, "", "", "", R::View, U::Internal},
    {4039, "", "", "", R::View, U::Internal},
    {4040, kFile, "E&xit\tEsc", "Esc, Q", R::Frame, U::Always},
    {4041, kFile, "&Delete File...\tDel", "D, Del", R::Frame, U::RealFile},
    {4050, kJpeg, "&Rotate 90\u00b0\tF9", "F9", R::Frame, U::Jpeg},
    {4051, kJpeg, "R&otate 180\u00b0\tF8", "F8", R::Frame, U::Jpeg},
    {4052, kJpeg, "Ro&tate 270\u00b0\tF7", "F7", R::Frame, U::Jpeg},
    {4053, kJpeg, "Rotat&e 360\u00b0  (strip EXIF)\tF6", "F6", R::Frame, U::Jpeg},
    {4055, kJpeg, "Rotate &Automatic\tF10", "F10", R::Frame, U::Jpeg},
    {4057, kJpeg, "Flip &Vertical", "", R::Frame, U::Jpeg},
    {4058, kJpeg, "Flip &Horizontal", "", R::Frame, U::Jpeg},
    {4061, kExternal, "External 1\tCtrl 1", "Ctrl+1", R::Frame, U::ExternalSet},
    {4062, kExternal, "External 2\tCtrl 2", "Ctrl+2", R::Frame, U::ExternalSet},
    {4063, kExternal, "External 3\tCtrl 3", "Ctrl+3", R::Frame, U::ExternalSet},
    {4064, kExternal, "External 4\tCtrl 4", "Ctrl+4", R::Frame, U::ExternalSet},
    {4065, kExternal, "External 5\tCtrl 5", "Ctrl+5", R::Frame, U::ExternalSet},
    {4066, kExternal, "External 6\tCtrl 6", "Ctrl+6", R::Frame, U::ExternalSet},
    {4067, kExternal, "External 7\tCtrl 7", "Ctrl+7", R::Frame, U::ExternalSet},
    {4068, kExternal, "External 8\tCtrl 8", "Ctrl+8", R::Frame, U::ExternalSet},
    {4069, kExternal, "External 9\tCtrl 9", "Ctrl+9", R::Frame, U::ExternalSet},
    {4070, kFile, "&Refresh\tF5", "F5", R::Frame, U::RealFile},
    {4072, kFile, "&Export to RIOT...", "", R::FrameToView, U::ImageNotVideo},
    {4073, kFile, "Re&name File...\tF2", "F2", R::App, U::RealFile},
    {4074, "", "", "F12", R::AppToView, U::Always},
    {4080, kExternal, "External 10", "", R::Frame, U::ExternalSet},
    {4081, kExternal, "External 11", "", R::Frame, U::ExternalSet},
    {4082, kExternal, "External 12", "", R::Frame, U::ExternalSet},
    {4083, kExternal, "External 13", "", R::Frame, U::ExternalSet},
    {4084, kExternal, "External 14", "", R::Frame, U::ExternalSet},
    {4085, kExternal, "External 15", "", R::Frame, U::ExternalSet},
    {4086, kExternal, "External 16", "", R::Frame, U::ExternalSet},
    {4087, kExternal, "External 17", "", R::Frame, U::ExternalSet},
    {4088, kExternal, "External 18", "", R::Frame, U::ExternalSet},
    {4089, kExternal, "External 19", "", R::Frame, U::ExternalSet},
    {4090, kOptions, "Properties / &Settings\tP", "P", R::App, U::Always},
    {4092, kView, "Use Mouse &Gestures", "", R::App, U::AlwaysMarkedGestures},
    {4094, kFile, "Refresh File &List\tCtrl+F5", "Ctrl+F5", R::Frame, U::File},
    {4097, kFile, "Sa&ve (source folder)\tCtrl+S", "Ctrl+S", R::FrameToView, U::ImageNotVideo},
    {4099, kImage, "Rotate &Left\tL", "L", R::FrameToView, U::EditableImage},
    {4100, kImage, "Rotate &Right\tR", "R", R::FrameToView, U::EditableImage},
    {4101, kImage, "&Veritcal Flip\tV", "V", R::FrameToView, U::EditableImage},
    {4102, kImage, "&Horizontal Flip\tH", "H", R::FrameToView, U::EditableImage},
    {4103, kImage, "&Upside Down\tU", "U", R::FrameToView, U::EditableImage},
    {4104, kEdit, "C&rop\tCtrl+Y", "Ctrl+Y", R::AppToView, U::Selection},
    {4105, kJpeg, "Lossless &Crop\tCtrl+Shift+J", "Ctrl+Shift+J", R::FrameToView, U::JpegAndSelection},
    {4106, kImage, "Sharpen", "", R::FrameToView, U::EditableImage},
    {4107, kImage, "Soften", "", R::FrameToView, U::EditableImage},
    {4108, kImage, "Blur", "", R::FrameToView, U::EditableImage},
    {4109, kImage, "Pixelate\tX", "X", R::FrameToView, U::EditableImage},
    {4112, kEdit, "1:1", "", R::AppToView, U::Selection},
    {4113, kEdit, "4:3", "", R::AppToView, U::Selection},
    {4114, kEdit, "16:9", "", R::AppToView, U::Selection},
    {4115, kImage, "Sharpen More", "", R::FrameToView, U::EditableImage},
    {4116, kImage, "Re&sample / Resize...\tCtrl+R", "Ctrl+R", R::FrameToView, U::EditableImage},
    {4117, kEdit, "Custom Selection....\tShift+C", "Shift+C", R::AppToView, U::File},
    {4118, kFile, "&Properties\tShift+F10", "Shift+F10", R::App, U::File},
    {4119, kTransparency, "&Toggle Transparency\tT", "T", R::FrameToView, U::EditableImage},
    {4120, kImage, "&Negative", "", R::FrameToView, U::EditableImage},
    {4121, kImage, "&Grayscale", "", R::FrameToView, U::EditableImage},
    {4122, kFile, "Read &Barcode / QR-code...\tCtrl+Q", "Ctrl+Q", R::FrameToView, U::EditableImage},
    {4123, kEdit, "Copy Filename\tF11", "F11", R::App, U::FileNotClipboard},
    {4124, kImage, "&Outline Image\tO", "O", R::FrameToView, U::EditableImage},
    {4125, kFile, "&Copy File...\tF3", "F3", R::FrameToView, U::ImageNotVideo},
    {4126, kFile, "&Move File...\tF4", "F4", R::FrameToView, U::ImageNotVideo},
    {4128, kDither, "Floyd-Steinberg", "", R::FrameToView, U::EditableImage},
    {4129, kDither, "Ordered-Dithering", "", R::FrameToView, U::EditableImage},
    {4130, kDither, "Burkes", "", R::FrameToView, U::EditableImage},
    {4131, kDither, "Stucki", "", R::FrameToView, U::EditableImage},
    {4132, kDither, "Threshold", "", R::FrameToView, U::EditableImage},
    {4133, kImage, "Left Right Swap", "", R::FrameToView, U::EditableImage},
    {4134, kEdit, "Trim Borders\tShift+T", "Shift+T", R::AppToView, U::File},
    {4135, kFile, "Clear Recent Files", "", R::App, U::Always},
    {4136, kTransparency, "Remove Transparency\tR", "", R::FrameToView, U::EditableImage},
    {4140, kTransparency, "Set To Background\tS", "", R::FrameToView, U::EditableImage},
    {4141, kTransparency, "Fill From Background\tF", "", R::FrameToView, U::EditableImage},
    {4142, kDraw, "Rounded &Corners", "", R::FrameToView, U::EditableImage},
    {4146, kTransparency, "View Transparency Only\tV", "", R::FrameToView, U::EditableImage},
    {4147, kEdit, "Paste with Transparency", "", R::AppToView, U::ClipboardBitmap},
    {4149, kEdit, "Copy Frame\tCtrl+K", "Ctrl+K", R::AppToView, U::File},
    {4150, kFile, "Batch Conversions...\tCtrl+B", "Ctrl+B", R::App, U::Always},
    {4151, kDraw, "&Ellipse\tE", "E", R::AppToView, U::Selection},
    {4152, kDraw, "&Rectangle", "", R::AppToView, U::Selection},
    {4153, kView, "Fit to Width\tCtrl+W", "Ctrl+W", R::App, U::File},
    {4154, kView, "Fit to Height\tCtrl+H", "Ctrl+H", R::App, U::File},
    {4155, kView, "Fit to Image\tCtrl+I", "Ctrl+I", R::AppToView, U::File},
    {4156, kFile, "Bookmark File", "", R::Frame, U::RealFile},
    {4157, kFile, "Open Last Bookmark", "", R::Frame, U::Bookmark},
    {4158, kFile, "Clear Bookmark", "", R::Frame, U::Bookmark},
    {4159, kFile, "Google Maps...\tCtrl+G", "Ctrl+G", R::App, U::Gps},
    {4160, kView, "Random\tM", "M", R::Frame, U::File},
    {4161, kView, "Previous Random\tCtrl+M", "Ctrl+M", R::Frame, U::File},
    {4170, kDraw, "&Box\tB", "B", R::AppToView, U::Selection},
    {4171, kJoin, "Above", "", R::FrameToView, U::EditableImage},
    {4172, kJoin, "Right", "", R::FrameToView, U::EditableImage},
    {4173, kJoin, "Left", "", R::FrameToView, U::EditableImage},
    {4174, kJoin, "Below", "", R::FrameToView, U::EditableImage},
    {4175, kImage, "Black and White", "", R::FrameToView, U::EditableImage},
    {4176, kTransparency, "Load From Image", "", R::FrameToView, U::EditableImage},
    {4177, kImage, "Add Borders...", "", R::FrameToView, U::EditableImage},
    {4178, kEdit, "Show Selected Colour\tShift+P", "Shift+P", R::AppToView, U::Selection},
    {4179, kFile, "Perform O&CR...\tCtrl+D", "Ctrl+D", R::FrameToView, U::EditableImage},
    {4180, kEdit, "15:10", "", R::AppToView, U::Selection},
    {4181, kEdit, "10:8", "", R::AppToView, U::Selection},
    {4182, kJpeg, "&Grayscale", "", R::FrameToView, U::Jpeg},
    {4183, kView, "Restart Animation\t0", "0", R::FrameToView, U::Animation},
    {4200, kView, "&Thumbnails\tG", "G", R::Frame, U::File},
    {57601, kFile, "&Open...\tCtrl+O", "Ctrl+O", R::App, U::Always},
    {57604, kFile, "&Save as...\tS", "S", R::FrameToView, U::ImageNotVideo},
    {57616, kFile, "Recent File", "", R::Framework, U::Always},
    {57634, kEdit, "&Copy\tCtrl+C", "Ctrl+C, Ctrl+Ins", R::AppToView, U::File},
    {57635, kEdit, "Cu&t\tCtrl+X", "Shift+Del, Ctrl+X", R::None, U::Never},
    {57637, kEdit, "&Paste\tCtrl+V", "Ctrl+V, Shift+Ins", R::AppToView, U::ClipboardBitmap},
    {57642, kEdit, "Select &All\tCtrl+A", "Ctrl+A", R::AppToView, U::File},
    {57643, kEdit, "&Undo\tCtrl+Z", "Ctrl+U, Ctrl+Z", R::AppToView, U::Undo},
    {57664, kHelp, "&About...\tA", "F1, A", R::App, U::Always},
};

constexpr uint16_t kFileMenu[] = {57601, 4070, 4094, 0, 4097, 57604, 4125, 4126, 4073, 4041, 0,
                                  4156, 4157, 4158, 0, 4118, 4159, 4122, 4179, 4072, 4150, 0,
                                  57616, 4135, 0, 4040};
constexpr uint16_t kEditMenu[] = {57643, 0, 57635, 57634, 4149, 57637, 4147, 4123, 0, 57642,
                                  4117, 4112, 4113, 4181, 4180, 4114, 0, 4104, 4134, 4178};
constexpr uint16_t kViewMenu[] = {4000, 4002, 4001, 4009, 4003, 4004, 4160, 4161, 0,
                                  4021, 4153, 4154, 4155, 4030, 4031, 4032, 4033, 4022, 4200, 0,
                                  4034, 4027, 4183, 0, 4035, 4092};
constexpr uint16_t kImageMenu[] = {4099, 4100, 4101, 4102, 4103, 4133, 0, 4116, 4177, 4171,
                                   4172, 4173, 4174, 0, 4106, 4115, 4107, 4108, 4109, 4124, 0,
                                   4120, 4121, 4175, 4128, 4129, 4130, 4131, 4132, 0,
                                   4119, 4146, 4136, 4140, 4141, 4176};
constexpr uint16_t kDrawMenu[] = {4151, 4152, 4170, 4142};
constexpr uint16_t kJpegMenu[] = {4050, 4051, 4052, 4053, 4055, 4057, 4058, 0, 4182, 4105};
constexpr uint16_t kExternalMenu[] = {4061, 4062, 4063, 4064, 4065, 4066, 4067, 4068, 4069, 4080,
                                      4081, 4082, 4083, 4084, 4085, 4086, 4087, 4088, 4089};
constexpr uint16_t kOptionsMenu[] = {4090};
constexpr uint16_t kHelpMenu[] = {57664};

// Each menu opens with Alt and a letter of its own; no key of an item uses Alt with a letter.
constexpr MenuLayout kMenuBar[] = {
    {kFile, "&File", kFileMenu},
    {kEdit, "&Edit", kEditMenu},
    {kView, "&View", kViewMenu},
    {kImage, "&Image", kImageMenu},
    {kDraw, "&Draw", kDrawMenu},
    {kJpeg, "&Jpeg Transform", kJpegMenu},
    {kExternal, "E&xternal", kExternalMenu},
    {kOptions, "&Options", kOptionsMenu},
    {kHelp, "&Help", kHelpMenu},
};

constexpr uint16_t kToolBar[] = {57601, 0, 57635, 57634, 57637, 0, 4000, 4002, 4028, 4009, 4159,
                                 0, 57664};
static_assert(std::size(kToolBar) == 13);

constexpr bool SortedById() {
  for (size_t i = 1; i < std::size(kRows); ++i)
    if (kRows[i - 1].id >= kRows[i].id) return false;
  return true;
}
static_assert(SortedById(), "command rows are kept in id order, each id once");

}  // namespace

std::span<const CommandRow> CommandTable() { return kRows; }

const CommandRow* FindCommand(uint16_t id) {
  auto it = std::lower_bound(std::begin(kRows), std::end(kRows), id,
                             [](const CommandRow& r, uint16_t v) { return r.id < v; });
  return it != std::end(kRows) && it->id == id ? &*it : nullptr;
}

std::span<const MenuLayout> MenuBar() { return kMenuBar; }

std::string_view SubmenuTitle(std::string_view name) {
  // Letters no item of the Image menu uses.
  if (name == "Transparency") return "&Transparency";
  if (name == "Dither...") return "&Dither...";
  if (name == "Join...") return "&Join...";
  return name;
}
std::span<const uint16_t> ToolBarItems() { return kToolBar; }

}  // namespace qp
