// The dialogs of the edit commands as engine models: their fields with the texts they open
// with, the rules a field must meet before OK is accepted (each failure a sentence the user
// can act on), and what the command reads from them. The Qt forms in qt/dialogs/ bind their
// widgets to these models; tests fill the models through a fake port.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ops/resample.h"
#include "ops/shapes.h"

namespace qp {

// A whole number typed into a field: optional blanks, an optional sign, digits, optional
// blanks. Nothing when the text is empty or not such a number; values beyond 64 bits are
// saturated so that "too large" can still be told.
std::optional<int64_t> ParseWholeNumber(std::string_view text);
// Checks one numeric field: empty, not a number, below `min` or above `max` each give a
// message naming the field; nothing when the value is acceptable.
std::optional<std::string> CheckNumberField(std::string_view text, std::string_view what,
                                            int64_t min, int64_t max);

// "Resample Image": new width and height, and three options stored in settings.
struct ResampleDialog {
  static constexpr const char* kTitle = "Resample Image";
  static constexpr const char* kKeepAspect = "Keep aspect ratio";
  static constexpr const char* kSharpen = "Sharpen image after resampling";
  static constexpr const char* kUseResize = "Use resize instead of resample";
  static constexpr size_t kMaxFieldText = 30;

  ResampleDialog(int32_t width, int32_t height, bool vectorPicture);

  std::string widthText;
  std::string heightText;
  bool keepAspect = true;
  bool sharpen = true;
  bool useResize = false;
  // A vector picture is rendered again at the new size, so the pixel options do not apply;
  // their boxes are disabled but keep their state.
  bool pixelOptionsEnabled = true;

  // The user edited a field: the other field's new text when the aspect ratio is kept and
  // the edit reads as a positive number.
  std::optional<std::string> WidthEdited(std::string_view text);
  std::optional<std::string> HeightEdited(std::string_view text);
  void SetKeepAspect(bool on) {
    keepAspect = on;
    follower_.keep = on;
  }

  // The first problem with the fields, or nothing.
  std::optional<std::string> Validate() const;
  ResampleRequest Request() const;

 private:
  AspectRatioFollower follower_;
};

// "Add Borders": four widths and a colour.
struct AddBordersDialog {
  static constexpr const char* kTitle = "Add Borders";
  // The widest border accepted on one side.
  static constexpr int64_t kMaxBorder = 65536;

  AddBordersDialog(int32_t width, int32_t height, uint32_t firstPixelColour);

  std::string topText = "0";
  std::string leftText = "0";
  std::string rightText = "0";
  std::string bottomText = "0";
  std::string colourText;

  std::optional<std::string> Validate() const;
  BorderSizes Sizes() const;
  uint32_t Colour() const;

 private:
  int32_t width_, height_;
};

// "Custom Selection": 1-based top and left, width and height in image pixels.
struct CustomSelectionDialog {
  static constexpr const char* kTitle = "Custom Selection";

  CustomSelectionDialog(int32_t width, int32_t height);

  std::string topText = "1";
  std::string leftText = "1";
  std::string widthText;
  std::string heightText;

  std::optional<std::string> Validate() const;
  // top, left, right, bottom for selecting by numbers (right and bottom inclusive).
  struct Numbers {
    int64_t top, left, right, bottom;
  };
  Numbers Values() const;
};

// "Select Colour": shows the colour at the centre of the selection; changes nothing.
struct SelectColourDialog {
  static constexpr const char* kTitle = "Select Colour";
  explicit SelectColourDialog(uint32_t pixel);
  std::string redText, greenText, blueText, colourText;
};

// Opens the dialogs; true when the user accepted (the Qt forms accept only fields the model
// validates).
class EditDialogPort {
 public:
  virtual ~EditDialogPort() = default;
  virtual bool Resample(ResampleDialog& dialog) = 0;
  virtual bool AddBorders(AddBordersDialog& dialog) = 0;
  virtual bool CustomSelection(CustomSelectionDialog& dialog) = 0;
  virtual void ShowColour(const SelectColourDialog& dialog) = 0;
};

}  // namespace qp
