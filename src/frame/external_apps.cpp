#include "frame/external_apps.h"

#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "core/paths.h"
#include "codecs/sniff.h"
#include "frame/file_operations.h"

namespace qp {

namespace {

std::string SlotSetting(const char* family, int slot) { return family + std::to_string(slot); }

// A regular file that is not executable is a document: it goes to the desktop's opener.
bool IsDocument(const std::string& value) {
  struct stat st {};
  return ::stat(value.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         ::access(value.c_str(), X_OK) != 0;
}

void StartSibling(FileContext& ctx, const char* program, const std::vector<std::string>& args) {
  const std::string path = JoinPath(ctx.programFolder, program);
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(path.c_str(), R_OK) != 0) {
    ctx.ports.messages.Show(std::string("Could not launch ") + program, MessageIcon::Error);
    return;
  }
  ctx.ports.desktop.StartDetached(path, args);
}

}  // namespace

std::optional<int> ExternalSlotOf(uint16_t id) {
  if (id >= 4061 && id <= 4069) return id - 4060;
  if (id >= 4080 && id <= 4089) return id - 4070;
  return std::nullopt;
}

uint16_t ExternalCommandOf(int slot) {
  return static_cast<uint16_t>(slot <= 9 ? 4060 + slot : 4070 + slot);
}

std::string DefaultExternalText(int slot) {
  std::string text = "External " + std::to_string(slot);
  if (slot <= 9) text += "\tCtrl " + std::to_string(slot);
  return text;
}

SlotState QueryExternalSlot(FileContext& ctx, int slot) {
  SlotState out{false, DefaultExternalText(slot)};
  if (ctx.settings.ReadText(SlotSetting("External", slot)).empty()) return out;
  out.enabled = true;
  const std::string title = ctx.settings.ReadText(SlotSetting("ExternalTitle", slot));
  if (!title.empty()) out.text = title + "\tCtrl " + std::to_string(slot);
  return out;
}

void RunExternal(FileContext& ctx, int slot) {
  const std::string value = ctx.settings.ReadText(SlotSetting("External", slot));
  if (value.empty()) return;
  const std::string& current = ctx.state.currentPath;
  for (const auto& [prefix, move] : {std::pair{"COPY ", false}, std::pair{"MOVE ", true}}) {
    if (value.rfind(prefix, 0) != 0) continue;
    if (value.size() > 5 && !current.empty())
      copyOrMoveToFolder(ctx, current, value.substr(5), move);
    return;
  }
  // The path is handed over as one argument of its own, so blanks in it need no quoting.
  std::vector<std::string> args;
  if (!current.empty() && ClipboardKind(current) == 0) args.push_back(current);
  if (IsDocument(value))
    ctx.ports.desktop.OpenUrl(value);
  else
    ctx.ports.desktop.StartDetached(value, args);
}

void StartSettingsProgram(FileContext& ctx) {
  ctx.LeaveFullScreen();
  StartSibling(ctx, kSettingsProgram, {});
}

void StartBatchProgram(FileContext& ctx) {
  ctx.LeaveFullScreen();
  std::vector<std::string> args;
  if (!ctx.state.currentPath.empty()) args.push_back(ctx.state.currentPath);
  StartSibling(ctx, kBatchProgram, args);
}

}  // namespace qp
