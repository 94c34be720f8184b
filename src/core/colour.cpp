#include "core/colour.h"

#include <cstdio>
#include <cstdlib>

namespace qp {

uint32_t ParseColour(std::string_view text) {
  if (text.empty()) return 0;
  const std::string s(text);
  if (s[0] != '#') return static_cast<uint32_t>(std::atoi(s.c_str()));
  unsigned red = 0, green = 0, blue = 0;
  const int fields = std::sscanf(s.c_str(), "#%02X%02X%02X", &red, &green, &blue);
  if (fields == 1) return (red & 0xFF) * 0x10101u;
  return (red & 0xFF) * 65536u + (green & 0xFF) * 256u + (blue & 0xFF);
}

std::string FormatColour(uint32_t value) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "#%02X%02X%02X", (value >> 16) & 255, (value >> 8) & 255,
                value & 255);
  return buf;
}

}  // namespace qp
