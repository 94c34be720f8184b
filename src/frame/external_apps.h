// The nineteen external-application slots of the External menu, and the two sibling programs
// (the settings program and the batch converter) found beside the running program.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "frame/file_context.h"

namespace qp {

inline constexpr int kExternalSlots = 19;
inline constexpr uint16_t kCmdOptions = 4090;
inline constexpr uint16_t kCmdBatchConversions = 4150;
inline constexpr const char* kSettingsProgram = "QuillpixSettings";
inline constexpr const char* kBatchProgram = "QuillpixBatch";

// The slot (1-19) of a command id: 4061-4069 are slots 1-9, 4080-4089 slots 10-19.
std::optional<int> ExternalSlotOf(uint16_t id);
uint16_t ExternalCommandOf(int slot);
// The menu text the slot has before any setting: "External 1\tCtrl 1" ... "External 19".
std::string DefaultExternalText(int slot);

struct SlotState {
  bool enabled = false;
  std::string text;
};
// The update rule: disabled while "External%d" is empty; else enabled, and titled
// "<title>\tCtrl <n>" when "ExternalTitle%d" is set.
SlotState QueryExternalSlot(FileContext& ctx, int slot);

// Runs a slot: "COPY <folder>" / "MOVE <folder>" copy or move the current file into the
// folder; anything else names a program, started detached with the current file as its one
// argument (none for a clipboard picture or no file). A program that does not start is
// ignored.
void RunExternal(FileContext& ctx, int slot);

// Options: starts the settings program beside this one, or says it is missing.
void StartSettingsProgram(FileContext& ctx);
// Batch Conversions: starts the batch converter beside this one with the current file.
void StartBatchProgram(FileContext& ctx);

}  // namespace qp
