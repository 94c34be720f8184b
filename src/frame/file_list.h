// The ordered list of image files the viewer steps through: every supported file of one folder
// (no subfolders) or the entries of a list file (".lst"), sorted by path, with a current
// position, a fixed shuffled cycle for random stepping and a reload mark that makes the next
// step rebuild the list from the folder. Used only on the user-interface thread.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace qp {

class ViewerState;

// True when the path names a regular file that can be opened for reading now. Never blocks
// (a FIFO or device named like a picture is not openable).
bool isOpenable(const std::string& path);

// Scans one folder for files whose lower-cased extension is in the set.
class CSrchDir {
 public:
  virtual ~CSrchDir() = default;
  // Replaces the extension set from a pattern list such as "*.webp;*.jpg;*.lst": tokens split
  // at blanks, ";" and "*", kept as written; ".lst" is dropped so list files are never entries.
  virtual void setExtensions(std::string_view patternList);
  // setExtensions, then the folder's files (not directories, not recursing) into results() in
  // the order the file system returns them; the number found.
  int32_t search(std::string_view folder, std::string_view patternList);

  const std::vector<std::string>& results() const { return results_; }
  std::vector<std::string> takeResults() { return std::move(results_); }
  const std::unordered_set<std::string>& extensions() const { return extensions_; }

 private:
  std::vector<std::string> results_;
  std::unordered_set<std::string> extensions_;
};

class CDirManager {
 public:
  // `patternList` is the supported-file pattern list; `seed` seeds the shuffle generator
  // (the current time in seconds when absent).
  CDirManager(ViewerState& state, std::string patternList,
              std::optional<uint32_t> seed = std::nullopt);
  virtual ~CDirManager() = default;
  CDirManager(const CDirManager&) = delete;
  CDirManager& operator=(const CDirManager&) = delete;

  void setPatternList(std::string patternList) {
    patternList_ = std::move(patternList);
    patternSource_ = nullptr;
  }
  // The pattern list is asked of `source` when a folder is first read: building it loads the
  // optional decoders, which opening the first picture does not need.
  void setPatternSource(std::function<std::string()> source) { patternSource_ = std::move(source); }

  // Rebuilds from the folder: sorted, shuffled, current at the first entry. Leaves the mark.
  void loadFolder(const std::string& folder);
  // Rebuilds from a list file and clears the mark. Entries that are list files themselves are
  // left out: a list that names itself, or two that name each other, would otherwise be
  // opened again and again.
  void loadListFile(const std::string& listPath);
  // Rebuilds from the given paths (sorted like any list) and clears the mark.
  void loadPaths(std::vector<std::string> paths);
  void markStale() { reloadMark_ = true; }
  bool isStale() const { return reloadMark_; }
  // Remembers the path's folder and seeks to it; never rebuilds.
  void setCurrent(const std::string& path);
  void seek(std::string_view path);
  // Rebuilds from the folder when marked. When the current file is no longer in the rebuilt
  // list (it was deleted or moved away), the position is where its path would sort, so the
  // next step forward shows the entry after it and a step backward the one before it.
  void refreshIfStale();

  std::optional<std::string> next(bool* wrapped = nullptr);
  std::optional<std::string> previous(bool* wrapped = nullptr);
  std::optional<std::string> randomNext();
  std::optional<std::string> randomPrevious();
  // The entry next() (direction 1) or previous() (-1) would reach now, or `steps` of them in a
  // row, without moving and without rebuilding: nothing while the list waits for a rebuild or
  // has no other entry that can be opened.
  std::optional<std::string> peek(int direction, int steps = 1) const;
  std::optional<std::string> first();
  std::optional<std::string> last();

  // 1-based index of the current entry; 0 when empty. Between entries: the number of entries
  // before that place.
  int32_t position() const { return current_ < 0 ? 0 : between_ ? current_ : current_ + 1; }
  int32_t count() const { return static_cast<int32_t>(entries_.size()); }
  bool spansSeveralFolders() const;
  void renameCurrent(const std::string& newPath);

  // The folder of the current file, ending in "/" ("" before the first file).
  const std::string& folder() const { return folder_; }
  // The current entry's path, or nothing when empty or between entries.
  std::optional<std::string> currentPath() const;
  // The entries in sorted order.
  std::vector<std::string> paths() const;

 private:
  struct Entry {
    std::string path;
    int32_t shuffleRank = 0;
  };

  int compare(std::string_view a, std::string_view b) const;
  void clear();
  void adopt(std::vector<std::string> paths);
  void sortEntries();
  void shuffle();
  int32_t nextRandom();
  std::optional<std::string> step(int direction, bool* wrapped);
  std::optional<std::string> randomStep(int direction);
  // The first entry that can be opened looking from the place before entry current_ (see
  // between_), the nearest in the direction of travel first.
  std::optional<int32_t> openableFromGap(int direction, bool* wrapped) const;

  ViewerState& state_;
  std::string patternList_;
  std::function<std::string()> patternSource_;
  std::string folder_;
  std::vector<Entry> entries_;
  std::vector<int32_t> byRank_;  // entry index of each shuffle rank
  int32_t current_ = -1;
  // Set after a rebuild that no longer holds the current file: current_ is then the index of
  // the entry its path sorts before (count() when it sorts after all of them).
  bool between_ = false;
  bool reloadMark_ = true;
  uint32_t random_;
};

using FileList = CDirManager;

}  // namespace qp
