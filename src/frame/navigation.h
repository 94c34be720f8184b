// Moving from picture to picture: opening a file, stepping through the file list forwards,
// backwards, to the ends and in shuffled order, the animation frame step, the bookmark, the
// Open dialog, dropped files, the multimedia keys, the recent-file commands and the reloads.
// All on the user-interface thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "frame/command_table.h"
#include "frame/file_context.h"

namespace qp {

inline constexpr const char* kNoImageToShow = "No image to show";
inline constexpr const char* kInvalidTimestamp = "Invalid file timestamp";
inline constexpr const char* kBookmarkMissing = "Bookmark was not found, clear the bookmark?";

// Command ids of this area beyond those of the command table.
inline constexpr uint16_t kCmdBookmarkFile = 4156;
inline constexpr uint16_t kCmdOpenLastBookmark = 4157;
inline constexpr uint16_t kCmdClearBookmark = 4158;
inline constexpr uint16_t kCmdClearRecentFiles = 4135;

// Asks the application to open the document and, when it opened, puts it first in the recent
// list. Every way of opening a file ends here.
bool OpenDocument(FileContext& ctx, const std::string& path);
// Puts an opened document first in the recent list (stored at once) and updates its menu.
void RememberOpened(FileContext& ctx, const std::string& path);

// The single entry of every navigation step: a list file is loaded and its first entry shown;
// a file with an invalid last-write time is refused with a message; anything else is opened.
// Nothing happens for no path. The position pane is updated whenever a file was tried.
void OpenFile(FileContext& ctx, const std::optional<std::string>& path);
// In fullscreen every step fits the new picture to the screen (unless the zoom is locked).
void AfterStep(FileContext& ctx);

void FirstFile(FileContext& ctx);
void LastFile(FileContext& ctx);
void NextFile(FileContext& ctx);
void PreviousFile(FileContext& ctx);
void NextFileOrFrame(FileContext& ctx);
void PaddleNext(FileContext& ctx);
void PaddlePrevious(FileContext& ctx);
void RandomFile(FileContext& ctx);
void PreviousRandomFile(FileContext& ctx);
void RefreshFile(FileContext& ctx);
void RefreshFileList(FileContext& ctx);
void BookmarkFile(FileContext& ctx);
void OpenLastBookmark(FileContext& ctx);
void ClearBookmark(FileContext& ctx);
// File Open: the Open dialog with the open filter; the chosen file is opened and the list
// rebuilt at the next step.
void OpenWithDialog(FileContext& ctx);
// Files dropped on the window: the first supported name decides.
void DropFiles(FileContext& ctx, const std::vector<std::string>& names);
// A recent-file command (0-based entry): opened directly, and the list rebuilt from its folder
// at the next step; an entry that no longer opens is dropped from the list.
void OpenRecentFile(FileContext& ctx, int index);
// Multimedia and browser keys by their application-command code; false for codes not handled.
bool MediaKey(FileContext& ctx, int code);

// Runs one of the navigation commands above by id; false for an id that is not one of them.
bool ExecuteNavigation(FileContext& ctx, uint16_t id);

}  // namespace qp
