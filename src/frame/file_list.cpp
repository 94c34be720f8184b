#include "frame/file_list.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <ctime>
#include <memory>

#include "core/byte_reader.h"
#include "core/file_io.h"
#include "core/paths.h"
#include "core/viewer_state.h"
#include "frame/natural_sort.h"

namespace qp {
namespace {

struct DirCloser {
  void operator()(DIR* d) const noexcept {
    if (d) closedir(d);
  }
};

std::string withSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

// A pasted picture is shown under a pseudo-name: a file name without "." that begins with
// "Clipboard".
bool isClipboardDocument(std::string_view path) {
  const std::string name = FileNameOf(path);
  return name.find('.') == std::string::npos && name.rfind("Clipboard", 0) == 0;
}

// The folder part of a path: the text before its last "/", keeping a leading "/" alone.
std::string_view folderPart(std::string_view path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {};
  return path.substr(0, slash == 0 ? 1 : slash);
}

// Longest line of a list file that can still name a file.
constexpr size_t kMaxListLine = PATH_MAX - 1;

}  // namespace

bool isOpenable(const std::string& path) {
  if (path.empty()) return false;
  // O_NONBLOCK keeps a FIFO from hanging the open; only regular files count.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  struct stat st {};
  const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  return regular;
}

void CSrchDir::setExtensions(std::string_view patternList) {
  extensions_.clear();
  size_t i = 0;
  while (i < patternList.size()) {
    const size_t end = patternList.find_first_of(" ;*", i);
    const size_t stop = end == std::string_view::npos ? patternList.size() : end;
    const std::string_view token = patternList.substr(i, stop - i);
    if (!token.empty() && token != ".lst") extensions_.emplace(token);
    i = stop + 1;
  }
}

int32_t CSrchDir::search(std::string_view folder, std::string_view patternList) {
  setExtensions(patternList);
  results_.clear();
  const std::string base = withSlash(std::string(folder));
  std::unique_ptr<DIR, DirCloser> dir(opendir(base.c_str()));
  if (!dir) return 0;
  const int dirFd = dirfd(dir.get());
  while (const dirent* e = readdir(dir.get())) {
    const std::string_view name = e->d_name;
    const size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) continue;
    if (extensions_.find(ToLowerAscii(name.substr(dot))) == extensions_.end()) continue;
    // Folders (and links to folders) are skipped; a name the file system cannot classify
    // cheaply is looked up.
    bool isDir = e->d_type == DT_DIR;
    if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
      struct stat st {};
      isDir = fstatat(dirFd, e->d_name, &st, 0) == 0 && S_ISDIR(st.st_mode);
    }
    if (isDir) continue;
    results_.push_back(base + std::string(name));
  }
  return static_cast<int32_t>(results_.size());
}

CDirManager::CDirManager(ViewerState& state, std::string patternList,
                         std::optional<uint32_t> seed)
    : state_(state),
      patternList_(std::move(patternList)),
      random_(seed ? *seed : static_cast<uint32_t>(std::time(nullptr))) {}

int CDirManager::compare(std::string_view a, std::string_view b) const {
  return state_.numericSort ? naturalCompare(a, b) : plainCompare(a, b);
}

// Yields 0..32767 from a linear congruential generator.
int32_t CDirManager::nextRandom() {
  random_ = random_ * 214013u + 2531011u;
  return static_cast<int32_t>((random_ >> 16) & 0x7FFF);
}

void CDirManager::clear() {
  entries_.clear();
  byRank_.clear();
  current_ = -1;
  between_ = false;
}

void CDirManager::adopt(std::vector<std::string> paths) {
  entries_.reserve(paths.size());
  for (auto& p : paths) entries_.push_back(Entry{std::move(p), 0});
  sortEntries();
  shuffle();
  current_ = entries_.empty() ? -1 : 0;
}

void CDirManager::sortEntries() {
  const bool natural = state_.numericSort != 0;
  std::stable_sort(entries_.begin(), entries_.end(), [natural](const Entry& a, const Entry& b) {
    return (natural ? naturalCompare(a.path, b.path) : plainCompare(a.path, b.path)) < 0;
  });
}

void CDirManager::shuffle() {
  const auto n = static_cast<int32_t>(entries_.size());
  for (int32_t i = 0; i < n; ++i) entries_[i].shuffleRank = i;
  for (int32_t i = 0; i < n; ++i) {
    const int32_t j = nextRandom() % n;
    if (j != i) std::swap(entries_[i].shuffleRank, entries_[j].shuffleRank);
  }
  byRank_.assign(entries_.size(), 0);
  for (int32_t i = 0; i < n; ++i) byRank_[entries_[i].shuffleRank] = i;
}

void CDirManager::loadFolder(const std::string& folder) {
  clear();
  if (folder.empty()) return;
  if (patternSource_) {
    patternList_ = patternSource_();
    patternSource_ = nullptr;
  }
  CSrchDir scanner;
  scanner.search(folder, patternList_);
  adopt(scanner.takeResults());
}

void CDirManager::loadListFile(const std::string& listPath) {
  clear();
  if (listPath.empty()) return;
  // A list file without a folder part is read relative to the working folder, like its path.
  const std::string listFolder = FolderOf(listPath).empty() ? "" : withSlash(FolderOf(listPath));
  std::vector<std::string> paths;
  if (auto bytes = ReadWholeFile(listPath)) {
    ByteReader reader(*bytes);
    while (!reader.atEnd()) {
      const auto rest = reader.peek(reader.remaining());
      const auto newline = std::find(rest.begin(), rest.end(), uint8_t{'\n'});
      const size_t length = static_cast<size_t>(newline - rest.begin());
      const auto raw = reader.bytes(length);
      reader.skip(newline == rest.end() ? 0 : 1);
      std::string_view line(reinterpret_cast<const char*>(raw.data()), raw.size());
      // Lines written with CR LF read like LF lines; a NUL ends the text of a line.
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (const size_t nul = line.find('\0'); nul != std::string_view::npos)
        line = line.substr(0, nul);
      if (!line.empty() && line.front() == ':') break;  // the end of the list
      if (line.size() > kMaxListLine) continue;          // cannot name a file
      if (HasExtension(line, ".lst")) continue;          // lists do not nest
      if (!line.empty() && line.front() == '/')
        paths.emplace_back(line);
      else
        paths.push_back(listFolder + std::string(line));
    }
  }
  adopt(std::move(paths));
  reloadMark_ = false;
}

void CDirManager::loadPaths(std::vector<std::string> paths) {
  clear();
  adopt(std::move(paths));
  reloadMark_ = false;
}

void CDirManager::setCurrent(const std::string& path) {
  const std::string folder = FolderOf(path);
  folder_ = folder.empty() ? std::string() : withSlash(folder);
  seek(path);
}

void CDirManager::seek(std::string_view path) {
  between_ = false;
  if (entries_.empty()) {
    current_ = -1;
    return;
  }
  if (path.empty()) return;
  const auto n = static_cast<int32_t>(entries_.size());
  const int32_t start = current_ < 0 ? 0 : current_;
  // Names that differ only in letter case are equal to the list, but on this file system they
  // can be two files: the exact one wins when both are listed.
  int32_t found = -1;
  for (int32_t k = 0; k < n; ++k) {
    const int32_t i = (start + k) % n;
    if (compare(entries_[i].path, path) != 0) continue;
    if (entries_[i].path == path) {
      found = i;
      break;
    }
    if (found < 0) found = i;
  }
  if (found >= 0) current_ = found;
}

void CDirManager::refreshIfStale() {
  if (!reloadMark_) return;
  loadFolder(folder_);
  const std::string& path =
      isClipboardDocument(state_.currentPath) ? state_.lastFilePath : state_.currentPath;
  seek(path);
  reloadMark_ = false;
  if (path.empty() || entries_.empty()) return;
  const auto n = static_cast<int32_t>(entries_.size());
  if (current_ >= 0 && current_ < n && compare(entries_[current_].path, path) == 0) return;
  // The file has gone from the folder: stand where it would sort.
  const auto at = std::partition_point(entries_.begin(), entries_.end(), [&](const Entry& e) {
    return compare(e.path, path) < 0;
  });
  current_ = static_cast<int32_t>(at - entries_.begin());
  between_ = true;
}

std::optional<int32_t> CDirManager::openableFromGap(int direction, bool* wrapped) const {
  const auto n = static_cast<int32_t>(entries_.size());
  int32_t i = direction > 0 ? current_ : current_ - 1;
  for (int32_t k = 0; k < n; ++k, i += direction) {
    if (i >= n) {
      i = 0;
      if (wrapped) *wrapped = true;
    } else if (i < 0) {
      i = n - 1;
      if (wrapped) *wrapped = true;
    }
    if (isOpenable(entries_[i].path)) return i;
  }
  return std::nullopt;
}

std::optional<std::string> CDirManager::step(int direction, bool* wrapped) {
  refreshIfStale();
  if (wrapped) *wrapped = false;
  const auto n = static_cast<int32_t>(entries_.size());
  if (n == 0) return std::nullopt;
  if (between_) {
    between_ = false;
    const auto found = openableFromGap(direction, wrapped);
    current_ = std::min(found.value_or(current_), n - 1);
    if (!found) return std::nullopt;
    return entries_[current_].path;
  }
  if (direction > 0 && n == 1) {
    current_ = 0;
    if (isOpenable(entries_[0].path)) return entries_[0].path;
    return std::nullopt;
  }
  if (current_ < 0) current_ = 0;
  const int32_t start = current_;
  for (;;) {
    current_ += direction;
    if (current_ >= n) {
      current_ = 0;
      if (wrapped) *wrapped = true;
    } else if (current_ < 0) {
      current_ = n - 1;
      if (wrapped) *wrapped = true;
    }
    if (current_ == start) return std::nullopt;
    if (isOpenable(entries_[current_].path)) return entries_[current_].path;
  }
}

std::optional<std::string> CDirManager::peek(int direction, int steps) const {
  const auto n = static_cast<int32_t>(entries_.size());
  if (reloadMark_ || n == 0 || steps < 1) return std::nullopt;
  int32_t start = current_ < 0 ? 0 : current_;
  if (between_) {
    // The first step from a gap lands on the entry after it.
    const auto found = openableFromGap(direction, nullptr);
    if (!found) return std::nullopt;
    if (--steps == 0) return entries_[*found].path;
    start = *found;
  } else if (direction > 0 && n == 1) {
    if (isOpenable(entries_[0].path)) return entries_[0].path;
    return std::nullopt;
  }
  for (int32_t i = start;;) {
    i += direction;
    if (i >= n) i = 0;
    else if (i < 0) i = n - 1;
    if (i == start) return std::nullopt;
    if (isOpenable(entries_[i].path) && --steps == 0) return entries_[i].path;
  }
}

std::optional<std::string> CDirManager::next(bool* wrapped) { return step(+1, wrapped); }
std::optional<std::string> CDirManager::previous(bool* wrapped) { return step(-1, wrapped); }

std::optional<std::string> CDirManager::randomStep(int direction) {
  refreshIfStale();
  const auto n = static_cast<int32_t>(entries_.size());
  if (between_) current_ = std::min(current_, n - 1);
  between_ = false;
  if (n <= 1) return std::nullopt;
  if (current_ < 0) current_ = 0;
  const int32_t start = current_;
  int32_t k = entries_[current_].shuffleRank;
  for (;;) {
    k = (k + direction + n) % n;
    current_ = byRank_[k];
    if (current_ == start) return std::nullopt;
    if (isOpenable(entries_[current_].path)) return entries_[current_].path;
  }
}

std::optional<std::string> CDirManager::randomNext() { return randomStep(+1); }
std::optional<std::string> CDirManager::randomPrevious() { return randomStep(-1); }

std::optional<std::string> CDirManager::first() {
  refreshIfStale();
  between_ = false;
  if (entries_.empty() || current_ < 0) return std::nullopt;
  current_ = 0;
  if (isOpenable(entries_[0].path)) return entries_[0].path;
  return next();
}

std::optional<std::string> CDirManager::last() {
  refreshIfStale();
  between_ = false;
  if (entries_.empty() || current_ < 0) return std::nullopt;
  current_ = count() - 1;
  if (isOpenable(entries_[current_].path)) return entries_[current_].path;
  return previous();
}

bool CDirManager::spansSeveralFolders() const {
  if (entries_.empty()) return false;
  const auto n = static_cast<int32_t>(entries_.size());
  const int32_t start = std::clamp(current_, 0, n - 1);
  // Folder names are compared exactly: this file system tells "/A" and "/a" apart.
  const std::string_view firstFolder = folderPart(entries_[start].path);
  for (int32_t k = 1; k < n; ++k)
    if (folderPart(entries_[(start + k) % n].path) != firstFolder) return true;
  return false;
}

void CDirManager::renameCurrent(const std::string& newPath) {
  if (current_ < 0 || between_) return;
  entries_[current_].path = newPath;
}

std::optional<std::string> CDirManager::currentPath() const {
  if (current_ < 0 || between_) return std::nullopt;
  return entries_[current_].path;
}

std::vector<std::string> CDirManager::paths() const {
  std::vector<std::string> out;
  out.reserve(entries_.size());
  for (const auto& e : entries_) out.push_back(e.path);
  return out;
}

}  // namespace qp
