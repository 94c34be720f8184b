#include "view/edit_dialogs.h"

#include <cstdio>
#include <limits>

#include "core/colour.h"
#include "core/image_buffer.h"

namespace qp {

static bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::optional<int64_t> ParseWholeNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size() || text[i] < '0' || text[i] > '9') return std::nullopt;
  constexpr int64_t kCap = std::numeric_limits<int64_t>::max() / 10 - 10;
  int64_t v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    v = v >= kCap ? kCap : v * 10 + (text[i] - '0');
  }
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (i != text.size()) return std::nullopt;
  return negative ? -v : v;
}

std::optional<std::string> CheckNumberField(std::string_view text, std::string_view what,
                                            int64_t min, int64_t max) {
  const std::string name(what);
  bool blank = true;
  for (char c : text) blank = blank && IsBlank(c);
  if (blank) return "Please enter a number for the " + name + ".";
  const auto v = ParseWholeNumber(text);
  if (!v) return "The " + name + " must be a whole number.";
  if (*v < 0 && min >= 0) return "The " + name + " cannot be negative.";
  if (*v < min) return "The " + name + " must be at least " + std::to_string(min) + ".";
  if (*v > max) return "The " + name + " must not be more than " + std::to_string(max) + ".";
  return std::nullopt;
}

// Whether a picture of w x h pixels can be allocated at all.
static std::optional<std::string> CheckPictureSize(int64_t w, int64_t h) {
  if (PictureBytes(w, h)) return std::nullopt;
  char text[160];
  std::snprintf(text, sizeof text, "A picture of %lld x %lld pixels is too large.",
                static_cast<long long>(w), static_cast<long long>(h));
  return std::string(text);
}

ResampleDialog::ResampleDialog(int32_t width, int32_t height, bool vectorPicture)
    : widthText(std::to_string(width)),
      heightText(std::to_string(height)),
      pixelOptionsEnabled(!vectorPicture),
      follower_(width, height) {}

std::optional<std::string> ResampleDialog::WidthEdited(std::string_view text) {
  widthText = std::string(text.substr(0, kMaxFieldText));
  std::optional<std::string> written;
  follower_.WidthEdited(widthText, [&](const std::string& t) { written = heightText = t; });
  return written;
}

std::optional<std::string> ResampleDialog::HeightEdited(std::string_view text) {
  heightText = std::string(text.substr(0, kMaxFieldText));
  std::optional<std::string> written;
  follower_.HeightEdited(heightText, [&](const std::string& t) { written = widthText = t; });
  return written;
}

std::optional<std::string> ResampleDialog::Validate() const {
  if (auto e = CheckNumberField(widthText, "width", 1, kMaxResampleSide)) return e;
  if (auto e = CheckNumberField(heightText, "height", 1, kMaxResampleSide)) return e;
  return CheckPictureSize(*ParseWholeNumber(widthText), *ParseWholeNumber(heightText));
}

ResampleRequest ResampleDialog::Request() const {
  ResampleRequest r;
  r.width = ReadIntField(widthText);
  r.height = ReadIntField(heightText);
  r.useResize = useResize;
  r.sharpen = sharpen;
  return r;
}

AddBordersDialog::AddBordersDialog(int32_t width, int32_t height, uint32_t firstPixelColour)
    : colourText(FormatColour(firstPixelColour)), width_(width), height_(height) {}

std::optional<std::string> AddBordersDialog::Validate() const {
  if (auto e = CheckNumberField(topText, "top border", 0, kMaxBorder)) return e;
  if (auto e = CheckNumberField(leftText, "left border", 0, kMaxBorder)) return e;
  if (auto e = CheckNumberField(rightText, "right border", 0, kMaxBorder)) return e;
  if (auto e = CheckNumberField(bottomText, "bottom border", 0, kMaxBorder)) return e;
  // A colour is "#RRGGBB" (fewer hex fields allowed) or a decimal number.
  size_t i = 0;
  while (i < colourText.size() && IsBlank(colourText[i])) ++i;
  const bool hex = i < colourText.size() && colourText[i] == '#';
  const bool decimal = i < colourText.size() && colourText[i] >= '0' && colourText[i] <= '9';
  if (!hex && !decimal) return std::string("The colour must be written as #RRGGBB.");
  const BorderSizes s = Sizes();
  return CheckPictureSize(int64_t{width_} + s.left + s.right, int64_t{height_} + s.top + s.bottom);
}

BorderSizes AddBordersDialog::Sizes() const {
  BorderSizes s;
  s.top = ReadIntField(topText);
  s.left = ReadIntField(leftText);
  s.right = ReadIntField(rightText);
  s.bottom = ReadIntField(bottomText);
  return s;
}

uint32_t AddBordersDialog::Colour() const { return ParseColour(colourText); }

CustomSelectionDialog::CustomSelectionDialog(int32_t width, int32_t height)
    : widthText(std::to_string(width)), heightText(std::to_string(height)) {}

std::optional<std::string> CustomSelectionDialog::Validate() const {
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  if (auto e = CheckNumberField(topText, "top", 1, kMax)) return e;
  if (auto e = CheckNumberField(leftText, "left", 1, kMax)) return e;
  if (auto e = CheckNumberField(widthText, "width", 1, kMax)) return e;
  if (auto e = CheckNumberField(heightText, "height", 1, kMax)) return e;
  return std::nullopt;
}

CustomSelectionDialog::Numbers CustomSelectionDialog::Values() const {
  // Read in 64 bits, so left + width cannot overflow before the picture limits them.
  const int64_t top = ReadIntField(topText);
  const int64_t left = ReadIntField(leftText);
  const int64_t width = ReadIntField(widthText);
  const int64_t height = ReadIntField(heightText);
  return {top, left, left + width - 1, top + height - 1};
}

SelectColourDialog::SelectColourDialog(uint32_t pixel)
    : redText(std::to_string((pixel >> 16) & 0xFF)),
      greenText(std::to_string((pixel >> 8) & 0xFF)),
      blueText(std::to_string(pixel & 0xFF)),
      colourText(FormatColour(pixel & 0xFFFFFF)) {}

}  // namespace qp
