// Rename, copy, move and delete of the file being shown, and copying or moving it into a fixed
// folder. These act on the file on disk only; the picture stays on screen.
//
// Nothing here ever replaces an existing file unless the user said so, and a copy or move that
// fails leaves the source as it was: a copy is written beside its destination under a
// temporary name, flushed, and only then renamed over it; a move across file systems is such a
// copy followed by the removal of the source.
#pragma once

#include <string>
#include <string_view>

#include "frame/file_context.h"

namespace qp {

// Messages of the file operations.
inline constexpr const char* kRenameFailed = "File could not be renamed";
inline constexpr const char* kCopyFailed = "Could not copy file";
inline constexpr const char* kMoveFailed = "Could not move file";
inline constexpr const char* kDeleteFailed = "File could not be deleted: %s";
inline constexpr const char* kDeleteQuestion = "Are you sure you want to delete '%s'?";
inline constexpr const char* kDeleteToTrashQuestion =
    "Are you sure you want to delete '%s' to the recycle bin?";
inline constexpr const char* kFolderNotCreated = "Could not create destination folder";
inline constexpr const char* kFolderCopyFailed = "File could not be copied";
inline constexpr const char* kFolderMoveFailed = "File could not be moved";
inline constexpr const char* kOverwriteQuestion = "Overwrite existing file?";
inline constexpr const char* kReplaceQuestion = "Replace existing file?";

// True when anything (file, folder, link, even a dangling one) has this name.
bool PathExists(const std::string& path);

// Two names of one file: the same text, or the same file on disk. Letter case counts, as it
// does on this file system.
bool SameFile(const std::string& a, const std::string& b);

// A free hidden name beside `target` ending in `extension`, for writing a file completely
// before it replaces the target; empty when none was found.
std::string TemporaryBeside(const std::string& target, std::string_view extension);

// Renames without ever replacing: false when `to` exists or the rename is refused. A target
// that is the file itself under another spelling (a file system that ignores letter case) is
// reached through a temporary name.
bool RenameNoReplace(const std::string& from, const std::string& to);
// Copies `from` to `to`, replacing `to` only once the copy is complete and flushed. Keeps the
// permission bits and the access and modification times. False when `from` and `to` are the
// same file.
bool CopyFileReplacing(const std::string& from, const std::string& to);
// Moves `from` to `to`, replacing `to`: a rename on one file system, else a complete copy
// followed by the removal of `from`. Moving a file onto itself succeeds without change.
bool MoveFileReplacing(const std::string& from, const std::string& to);

// The file to the trash when "UseRecycleBin" is on (a refusal is a failure, never a permanent
// delete), else removed for good.
bool deleteFile(FileContext& ctx, const std::string& path);
// Creates every missing folder of the chain; true when all exist afterwards.
bool createFolderChain(const std::string& folder);
// Copies or moves `source` into `folder` (created when missing), asking before it replaces a
// file there. Shows its own messages.
bool copyOrMoveToFolder(FileContext& ctx, const std::string& source, const std::string& folder,
                        bool move);

// The name the rename dialog offers: the file name with "%20", "%2C" and "&amp;" turned back
// into " ", "," and "&".
std::string RenameDialogName(const std::string& path);
// The path a typed name leads to: the current extension is added when the name has no ".".
std::string RenameTarget(const std::string& currentPath, const std::string& typed);

// The commands.
void RenameFileCommand(FileContext& ctx);
void CopyOrMoveFileCommand(FileContext& ctx, bool move);
void DeleteFileCommand(FileContext& ctx);

}  // namespace qp
