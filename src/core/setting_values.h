// How the viewer turns a stored setting into the value it acts on. The viewer's readers and the
// settings program both call these, so the settings program always shows what the viewer will
// do with a value, including values written by hand in forms the program would not write.
#pragma once

#include <cstdint>
#include <string_view>

namespace qp {

// A text flag is on exactly when it reads "true" in any letter case ("1", "yes" are off).
bool FlagIsOn(std::string_view text);

// A number switch (the resample dialog's options) is on for any number but 0.
bool SwitchIsOn(int32_t stored);

// A colour text: empty means `builtin`; otherwise ParseColour's reading ("#RRGGBB", "#GG" as
// grey, or a decimal number), cut to 24 bits.
uint32_t ColourSetting(std::string_view text, uint32_t builtin);

// A fit factor stored in thousandths. The number is taken as unsigned, so a negative value
// becomes huge; a quotient outside 0.1 to 10 gives `fallback`.
double FitQuotient(int32_t stored, double fallback);

// The joystick the controller thread opens: 2 picks the second, anything else the first (0-based).
int32_t JoystickIndex(int32_t stored);

// A controller button's command: kept when within 4000 to 5000, else 0 (the built-in command).
uint16_t ButtonCommand(int32_t stored);

// The memory for pictures decoded ahead, from MiB; 0 or less decodes nothing ahead.
int64_t PrefetchBudgetBytes(int32_t megabytes);

}  // namespace qp
