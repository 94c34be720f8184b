// The program's command line: the switches of the one-shot modes (automatic rotation,
// landscape, conversion with crop and quality), the line list, the file names, and the Linux
// additions --help, --version and --properties.
//
// A switch is written "-name" in any letter case; "/name" counts as a switch only when the
// token is exactly a known switch name, so that "/home/me/a.png" stays a file name.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qp {

enum class CommandMode { None, AutoRotate, Landscape, Convert, Properties, Help, Version };

struct CommandLine {
  CommandMode mode = CommandMode::None;  // the last mode switch wins
  int32_t lossless = 0;
  int32_t overwrite = 0;
  int32_t quality = 0;
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  int32_t w = 0, h = 0;
  // The first and the last file token.
  std::string firstFile;
  std::string secondFile;
  // Every file token in order. Two or more open the window with them as the stepping list.
  std::vector<std::string> files;
  // The file named after --properties.
  std::string propertiesFile;
  // "-drawlines": every token after it, as x, y pairs.
  std::optional<std::vector<int32_t>> drawLines;
};

// Parses the arguments after the program name.
CommandLine ParseCommandLine(std::span<const std::string> args);
CommandLine ParseCommandLine(int argc, const char* const* argv);

// A decimal integer the way C's atoi reads it (blanks, a sign, digits up to the first other
// character; 0 when there are none), but clamped to the 32-bit range instead of overflowing.
int32_t ParseInteger(std::string_view text);

}  // namespace qp
