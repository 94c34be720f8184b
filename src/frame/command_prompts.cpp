// The status-bar prompt of every command a menu or the tool bar offers: one line saying what
// the command does, shown while the pointer rests on its item.
#include <algorithm>
#include <iterator>

#include "frame/command_table.h"

namespace qp {
namespace {

struct Prompt {
  uint16_t id;
  std::string_view text;
};

constexpr Prompt kPrompts[] = {
    {4000, "Show the first file of the folder or list"},
    {4001, "Show the next file, or the next frame of a paused animation"},
    {4002, "Show the previous file"},
    {4003, "Show the next file from its top right corner"},
    {4004, "Show the previous file from its top right corner"},
    {4009, "Show the last file of the folder or list"},
    {4021, "Fit the picture to the screen"},
    {4022, "Show the picture fitted on the whole screen, or leave fullscreen"},
    {4027, "Pause or resume the animation"},
    {4028, "Show the next file"},
    {4030, "Show the picture at its original size"},
    {4031, "Enlarge the picture"},
    {4032, "Reduce the picture"},
    {4033, "Keep the zoom or fit for the next files"},
    {4034, "Show the file name, then the file details, over the picture"},
    {4035, "Step through the files with a game controller"},
    {4040, "Leave fullscreen, or quit the program"},
    {4041, "Delete the current file"},
    {4050, "Turn the JPEG file a quarter to the right without loss"},
    {4051, "Turn the JPEG file upside down without loss"},
    {4052, "Turn the JPEG file a quarter to the left without loss"},
    {4053, "Remove the EXIF data, comments and colour profile from the JPEG file"},
    {4055, "Turn the JPEG file upright by its EXIF orientation without loss"},
    {4057, "Flip the JPEG file top to bottom without loss"},
    {4058, "Flip the JPEG file left to right without loss"},
    {4061, "Open the file in external program 1"},
    {4062, "Open the file in external program 2"},
    {4063, "Open the file in external program 3"},
    {4064, "Open the file in external program 4"},
    {4065, "Open the file in external program 5"},
    {4066, "Open the file in external program 6"},
    {4067, "Open the file in external program 7"},
    {4068, "Open the file in external program 8"},
    {4069, "Open the file in external program 9"},
    {4070, "Load the current file again"},
    {4072, "Export the current image into the Riot plugin"},
    {4073, "Give the current file a new name"},
    {4080, "Open the file in external program 10"},
    {4081, "Open the file in external program 11"},
    {4082, "Open the file in external program 12"},
    {4083, "Open the file in external program 13"},
    {4084, "Open the file in external program 14"},
    {4085, "Open the file in external program 15"},
    {4086, "Open the file in external program 16"},
    {4087, "Open the file in external program 17"},
    {4088, "Open the file in external program 18"},
    {4089, "Open the file in external program 19"},
    {4090, "Change the settings in the settings program"},
    {4092, "Run commands by drawing gestures with the right mouse button"},
    {4094, "Read the folder's file list again"},
    {4097, "Save the picture beside its source file"},
    {4099, "Turn the picture a quarter to the left"},
    {4100, "Turn the picture a quarter to the right"},
    {4101, "Flip the picture top to bottom"},
    {4102, "Flip the picture left to right"},
    {4103, "Turn the picture upside down"},
    {4104, "Cut the picture down to the selection"},
    {4105, "Crop the JPEG file to the selection without loss"},
    {4106, "Sharpen the picture"},
    {4107, "Soften the picture"},
    {4108, "Blur the picture"},
    {4109, "Pixelate the selection"},
    {4112, "Make the selection square"},
    {4113, "Give the selection the proportions 4:3"},
    {4114, "Give the selection the proportions 16:9"},
    {4115, "Sharpen the picture strongly"},
    {4116, "Change the size of the picture"},
    {4117, "Select a rectangle given by numbers"},
    {4118, "Show the properties of the picture and its file"},
    {4119, "Show the transparent pixels in inverted colours, or as they were"},
    {4120, "Invert the colours"},
    {4121, "Turn the picture into shades of grey"},
    {4122, "Read any barcode or QR code in the image"},
    {4123, "Copy the file's path to the clipboard"},
    {4124, "Invert the one-pixel frame around the picture"},
    {4125, "Copy the current file to another place"},
    {4126, "Move the current file to another place"},
    {4128, "Dither to black and white with Floyd-Steinberg error diffusion"},
    {4129, "Dither to black and white with an ordered pattern"},
    {4130, "Dither to black and white with Burkes error diffusion"},
    {4131, "Dither to black and white with Stucki error diffusion"},
    {4132, "Turn the picture black and white at a threshold"},
    {4133, "Swaps left and right panels (for 3D images)"},
    {4134, "Shrink the selection to the content inside a plain border"},
    {4135, "Empty the list of recent files"},
    {4136, "Make every pixel opaque"},
    {4140, "Make every pixel of the background colour transparent"},
    {4141, "Make the background transparent where it touches the border"},
    {4142, "Round the corners of the picture"},
    {4146, "Show only the transparency of the picture"},
    {4147, "Show the picture on the clipboard with its transparency"},
    {4149, "Copy the picture as shown to the clipboard"},
    {4150, "Convert many files at once in the batch converter"},
    {4151, "Draw an ellipse in the selection"},
    {4152, "Draw the outline of the selection"},
    {4153, "Fit the picture to the width of the screen"},
    {4154, "Fit the picture to the height of the screen"},
    {4155, "Size the window to the picture"},
    {4156, "Remember the current file as the bookmark"},
    {4157, "Open the bookmarked file"},
    {4158, "Forget the bookmark"},
    {4159, "Show where the photo was taken on a map"},
    {4160, "Show a file chosen at random"},
    {4161, "Go back to the file shown before the random one"},
    {4170, "Fill the selection with a box"},
    {4171, "Join another picture above this one"},
    {4172, "Join another picture to the right of this one"},
    {4173, "Join another picture to the left of this one"},
    {4174, "Join another picture below this one"},
    {4175, "Turn the picture black and white"},
    {4176, "Take the transparency from another picture"},
    {4177, "Add borders around the picture"},
    {4178, "Show the colour at the centre of the selection"},
    {4179, "OCR any text in the image"},
    {4180, "Give the selection the proportions 15:10"},
    {4181, "Give the selection the proportions 10:8"},
    {4182, "Turn the JPEG file into shades of grey without loss"},
    {4183, "Play the animation from its first frame"},
    {4200, "Show the folder as thumbnails, or open the selected one"},
    {57601, "Open a picture file"},
    {57604, "Save the picture under a new name or in another format"},
    {57616, "Open a recently shown file"},
    {57634, "Copy the selection, or the whole picture, to the clipboard"},
    {57635, "Cutting is not available"},
    {57637, "Show the picture on the clipboard"},
    {57642, "Select the whole picture"},
    {57643, "Undo the last change to the picture"},
    {57664, "Show the program's version and its manual"},
    {kCmdViewToolbar, "Show or hide the tool bar"},
    {kCmdViewStatusBar, "Show or hide the status bar"},
};

constexpr bool SortedById() {
  for (size_t i = 1; i < std::size(kPrompts); ++i)
    if (kPrompts[i - 1].id >= kPrompts[i].id) return false;
  return true;
}
static_assert(SortedById(), "prompts are kept in id order, each id once");

}  // namespace

std::string_view CommandPrompt(uint16_t id) {
  auto it = std::lower_bound(std::begin(kPrompts), std::end(kPrompts), id,
                             [](const Prompt& p, uint16_t v) { return p.id < v; });
  return it != std::end(kPrompts) && it->id == id ? it->text : std::string_view();
}

}  // namespace qp
