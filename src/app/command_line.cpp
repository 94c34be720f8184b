#include "app/command_line.h"

#include <array>
#include <limits>

#include "core/paths.h"

namespace qp {

namespace {

enum class Switch {
  None, AutoRotate, Landscape, Convert, Lossless, Overwrite, Quality,
  X1, Y1, X2, Y2, W, H, DrawLines,
};

struct SwitchName {
  std::string_view name;
  Switch value;
};

constexpr std::array<SwitchName, 13> kSwitches{{
    {"autorotate", Switch::AutoRotate}, {"landscape", Switch::Landscape},
    {"convert", Switch::Convert},       {"lossless", Switch::Lossless},
    {"overwrite", Switch::Overwrite},   {"quality", Switch::Quality},
    {"x1", Switch::X1},                 {"y1", Switch::Y1},
    {"x2", Switch::X2},                 {"y2", Switch::Y2},
    {"w", Switch::W},                   {"h", Switch::H},
    {"drawlines", Switch::DrawLines},
}};

Switch Lookup(std::string_view name) {
  for (const auto& s : kSwitches)
    if (EqualsIgnoreCase(s.name, name)) return s.value;
  return Switch::None;
}

// The field a value switch fills, or null.
int32_t* ValueField(CommandLine& cl, Switch s) {
  switch (s) {
    case Switch::Quality: return &cl.quality;
    case Switch::X1: return &cl.x1;
    case Switch::Y1: return &cl.y1;
    case Switch::X2: return &cl.x2;
    case Switch::Y2: return &cl.y2;
    case Switch::W: return &cl.w;
    case Switch::H: return &cl.h;
    default: return nullptr;
  }
}

}  // namespace

int32_t ParseInteger(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Accumulate the magnitude in 64 bits and stop growing once it passes the 32-bit range.
  int64_t value = 0;
  constexpr int64_t kCap = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > kCap) value = kCap;
  }
  if (negative) return static_cast<int32_t>(-value);
  return static_cast<int32_t>(value > kCap - 1 ? kCap - 1 : value);
}

CommandLine ParseCommandLine(std::span<const std::string> args) {
  CommandLine cl;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& token = args[i];
    if (token.empty()) continue;
    if (token == "--help") {
      cl.mode = CommandMode::Help;
      continue;
    }
    if (token == "--version") {
      cl.mode = CommandMode::Version;
      continue;
    }
    if (token == "--properties") {
      cl.mode = CommandMode::Properties;
      if (i + 1 < args.size()) cl.propertiesFile = args[++i];
      continue;
    }
    Switch s = Switch::None;
    if (token[0] == '-') {
      s = Lookup(std::string_view(token).substr(1));
      if (s == Switch::None) continue;  // unknown switches are ignored
    } else if (token[0] == '/') {
      s = Lookup(std::string_view(token).substr(1));  // otherwise an absolute path
    }
    switch (s) {
      case Switch::None:
        if (cl.firstFile.empty()) cl.firstFile = token;
        else cl.secondFile = token;
        cl.files.push_back(token);
        break;
      case Switch::AutoRotate: cl.mode = CommandMode::AutoRotate; break;
      case Switch::Landscape: cl.mode = CommandMode::Landscape; break;
      case Switch::Convert: cl.mode = CommandMode::Convert; break;
      case Switch::Lossless: cl.lossless = 1; break;
      case Switch::Overwrite: cl.overwrite = 1; break;
      case Switch::DrawLines: {
        // Everything after the switch is the line list; nothing more is parsed.
        auto& list = cl.drawLines.emplace();
        for (++i; i < args.size(); ++i) list.push_back(ParseInteger(args[i]));
        return cl;
      }
      default:
        // A value switch at the end of the line leaves its field as it was.
        if (i + 1 < args.size()) *ValueField(cl, s) = ParseInteger(args[++i]);
        break;
    }
  }
  return cl;
}

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i] ? argv[i] : "");
  return ParseCommandLine(args);
}

}  // namespace qp
