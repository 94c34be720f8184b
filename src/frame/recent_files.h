// The recent-file list: the eight files opened or saved last, newest first, kept in the
// settings group "Recent File List" as "File1" … "File8" and shown as menu commands
// 57616–57623 with names shortened to 30 characters.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "frame/settings_store.h"
#include "platform/settings_backend.h"

namespace qp {

class MessageBoxPort;

inline constexpr uint16_t kCmdRecentFirst = 57616;
inline constexpr int kRecentFileCount = 8;
inline constexpr size_t kRecentDisplayLength = 30;
inline constexpr const char* kRecentClearFailed = "Could not clear the recent file list";

class RecentFileList {
 public:
  // `backend` holds the group "Recent File List".
  explicit RecentFileList(SettingsBackend& backend, int size = kRecentFileCount)
      : backend_(backend), size_(size) {}

  // Reads the entries from the settings ("File%d", 1 to size; gaps end the list).
  void Load();
  // Replaces the stored list by the entries.
  void Save();
  // Puts `path` first, removing an older copy of it and the oldest entry beyond the size, and
  // writes the list so that it survives a crash: at once, or when the deferral runs the write.
  void Add(const std::string& path);
  // Writes of Add are handed to `defer`, which runs the write it is given later (the window:
  // once the picture is on the screen, since a write of the store can take tens of
  // milliseconds); adds meanwhile share that one write.
  void DeferSaves(std::function<void(std::function<void()>)> defer) { defer_ = std::move(defer); }
  // Writes a change still waiting for its deferred write (at exit).
  void SaveIfPending() {
    if (pending_) Save();
  }
  // Removes entry `index` (0-based) and writes the list.
  void Remove(int index);
  // Forgets the entries without touching the settings.
  void Reset() { entries_.clear(); }
  // Removes the stored group with everything in it; true when it is gone.
  bool DeleteStored() { return backend_.removeGroup(kRecentFileGroup); }

  const std::vector<std::string>& entries() const { return entries_; }
  int size() const { return size_; }

  // The menu text of entry `index`: "&1 " and the path shortened to 30 characters, with any
  // "&" of the path doubled so that it shows as itself.
  std::string MenuText(int index) const;

 private:
  SettingsBackend& backend_;
  int size_;
  std::vector<std::string> entries_;
  std::function<void(std::function<void()>)> defer_;
  bool pending_ = false;  // changed since the last write, the write deferred
};

// A path shortened to at most `maxLength` characters for a menu: the whole path when it fits;
// else "/..." followed by as many trailing folders as fit and the file name; else the file name
// alone, whatever its length.
std::string AbbreviatePath(const std::string& path, size_t maxLength);

// Clear Recent Files: writes the list, removes the whole settings group, says so when that
// fails, and starts again with an empty list read back from the settings.
void ClearRecentFiles(RecentFileList& recent, MessageBoxPort& messages);

}  // namespace qp
