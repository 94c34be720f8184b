// Colour texts as stored in settings such as "LineColour": "#RRGGBB" or a decimal number.
// A colour value is 0x00RRGGBB, the word of a pixel's blue, green and red bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qp {

// Empty text -> 0; text not starting with "#" -> its leading decimal digits (atoi rules);
// "#" followed by up to three two-digit hex fields -> red, green, blue, where a single field
// means grey.
uint32_t ParseColour(std::string_view text);

// "#RRGGBB" in upper-case hexadecimal.
std::string FormatColour(uint32_t value);

}  // namespace qp
