#include "frame/save_as.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>

#include "codecs/file_filters.h"
#include "codecs/save_dispatch.h"
#include "core/paths.h"
#include "codecs/sniff.h"
#include "frame/file_operations.h"

namespace qp {

namespace {


// Flushes the written file, gives it the mode of the file it replaces and renames it over it.
bool Commit(const std::string& temporary, const std::string& target) {
  const int fd = ::open(temporary.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0) ::fchmod(fd, old.st_mode & 07777);
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  return synced && ::rename(temporary.c_str(), target.c_str()) == 0;
}

struct WaitCursor {
  CursorPort& cursor;
  explicit WaitCursor(CursorPort& c) : cursor(c) { cursor.SetWaitCursor(true); }
  ~WaitCursor() { cursor.SetWaitCursor(false); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

std::string CompleteSaveName(const std::string& chosen, int32_t filterIndex,
                             const std::string& saveFilterText) {
  const std::string ext = ExtensionOf(chosen);
  if (!ext.empty() && IsSaveExtensionIn(saveFilterText, ext.substr(1))) return chosen;
  const std::string added = DefaultSaveExtensionIn(saveFilterText, filterIndex);
  return chosen + (added.empty() ? ".webp" : added);
}

SaveAsOutcome SaveAsCommand(FileContext& ctx, const ImageBuffer& picture, bool hasAlpha,
                            bool sourceFolder) {
  ctx.LeaveFullScreen();
  const std::string& current = ctx.state.currentPath;
  const std::string filters = saveFilter(&ctx.settings);
  FileDialogRequest request;
  request.title = "Save As";
  request.filter = filters;
  request.fileName = WithoutExtension(FileNameOf(current));
  if (sourceFolder && ClipboardKind(current) == 0) request.folder = FolderOf(current);
  request.filterIndex = ctx.settings.ReadNumber("SaveFilterIndex");
  auto chosen = ctx.ports.fileDialogs.Save(request);
  if (!chosen || chosen->paths.empty()) return SaveAsOutcome::Cancelled;
  const int32_t filterIndex = chosen->filterIndex;
  ctx.settings.WriteNumber("SaveFilterIndex", filterIndex);

  const std::string path = CompleteSaveName(chosen->paths.front(), filterIndex, filters);
  if (PathExists(path) &&
      ctx.ports.messages.Show(kOverwriteQuestion, MessageIcon::Question, MessageButtons::YesNo) !=
          MessageAnswer::Yes)
    return SaveAsOutcome::Declined;

  const int32_t webpQuality = filterIndex == 2 ? 100 : ctx.settings.ReadNumber("WebpQuality");
  const int32_t jpegQuality = ctx.settings.ReadNumber("JpegQuality");
  // Written under a hidden name with the same extension, which picks the same encoder.
  const std::string temporary = TemporaryBeside(path, ExtensionOf(path));
  SaveResult result;
  {
    std::lock_guard guard(ctx.state.lock);
    WaitCursor wait(ctx.ports.cursor);
    if (temporary.empty()) {
      result = {SaveStatus::Failed, "Could not save image"};
    } else {
      result = SaveByExtension(picture, hasAlpha, temporary, webpQuality, jpegQuality,
                               PluginOrder::AfterQoi, &ctx.settings, ctx.state.colourProfile.get());
      if (result.status == SaveStatus::Saved && !Commit(temporary, path))
        result = {SaveStatus::Failed, "Could not save image"};
    }
    if (result.status != SaveStatus::Saved) ::unlink(temporary.c_str());
  }
  switch (result.status) {
    case SaveStatus::IconTooLarge:
      ctx.ports.messages.Show(kIconTooLarge, MessageIcon::Error);
      return SaveAsOutcome::IconTooLarge;
    case SaveStatus::UnknownExtension:
      ctx.ports.messages.Show(kUnknownExtension, MessageIcon::Error);
      return SaveAsOutcome::UnknownExtension;
    case SaveStatus::Failed:
      ctx.ports.messages.Show(result.message ? result.message : "Could not save image",
                              MessageIcon::Error);
      return SaveAsOutcome::Failed;
    case SaveStatus::Saved: break;
  }
  ctx.recent.Add(path);
  ctx.host.RecentFilesChanged();
  return SaveAsOutcome::Saved;
}

}  // namespace qp
