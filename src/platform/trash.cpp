#include "platform/trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <optional>

#include "core/paths.h"

namespace qp {

namespace {

struct FreeChars {
  void operator()(char* p) const noexcept { std::free(p); }
};

bool IsFolder(const std::string& path, struct stat* out = nullptr) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  if (out) *out = st;
  return true;
}

// One folder level with mode 0700; an existing folder is fine.
bool MakeFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) == 0) return true;
  return errno == EEXIST && IsFolder(path);
}

// Every missing folder of an absolute path, each with mode 0700.
bool MakeFolderChain(const std::string& path) {
  for (size_t pos = 1;; ++pos) {
    pos = path.find('/', pos);
    const std::string prefix = path.substr(0, pos);
    if (!IsFolder(prefix) && !MakeFolder(prefix)) return false;
    if (pos == std::string::npos) return true;
  }
}

// A trash folder of another mount must be a real folder of this user, not a link someone
// else planted.
bool OwnFolder(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}

struct Trash {
  std::string root;    // holds files/ and info/
  std::string topdir;  // the mount's top folder; empty for the home trash
};

// files/ and info/ inside `root`, made when missing; the device files/ is on.
std::optional<dev_t> PrepareTrash(const std::string& root) {
  struct stat st {};
  if (!MakeFolder(root + "/files") || !MakeFolder(root + "/info") ||
      !IsFolder(root + "/files", &st))
    return std::nullopt;
  return st.st_dev;
}

// The top folder of the mount holding `folder` (an absolute path without links).
std::string TopFolder(std::string folder, dev_t device) {
  while (folder != "/") {
    const std::string parent = FolderOf(folder);
    struct stat st {};
    if (parent.empty() || ::stat(parent.c_str(), &st) != 0 || st.st_dev != device) break;
    folder = parent;
  }
  return folder;
}

std::optional<Trash> TopTrash(const std::string& topdir, dev_t device) {
  const std::string base = topdir == "/" ? std::string() : topdir;
  const std::string uid = std::to_string(::geteuid());
  // A shared .Trash made by the administrator counts only when it is a sticky folder.
  struct stat st {};
  const std::string shared = base + "/.Trash";
  if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0) {
    const std::string mine = shared + "/" + uid;
    if (MakeFolder(mine) && OwnFolder(mine)) {
      if (const auto dev = PrepareTrash(mine); dev && *dev == device) return Trash{mine, topdir};
    }
  }
  const std::string own = base + "/.Trash-" + uid;
  if (MakeFolder(own) && OwnFolder(own)) {
    if (const auto dev = PrepareTrash(own); dev && *dev == device) return Trash{own, topdir};
  }
  return std::nullopt;
}

std::string DeletionDate() {
  const std::time_t now = std::time(nullptr);
  std::tm local {};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// The names tried in the trash: the file's own, then "photo.2.jpg", "photo.3.jpg" ...
std::string TrashName(const std::string& name, int attempt) {
  if (attempt == 1) return name;
  const std::string ext = ExtensionOf(name);
  return WithoutExtension(name) + "." + std::to_string(attempt) + ext;
}

// Writes the record under a free name, then renames the file beside it. The record is made
// with O_EXCL, which reserves the name against another program trashing at the same time.
bool MoveInto(const Trash& trash, const std::string& path) {
  const std::string recorded =
      trash.topdir.empty() ? path
                           : path.substr(trash.topdir == "/" ? 1 : trash.topdir.size() + 1);
  const std::string record = "[Trash Info]\nPath=" + TrashInfoEscape(recorded) +
                             "\nDeletionDate=" + DeletionDate() + "\n";
  const std::string name = FileNameOf(path);
  for (int attempt = 1; attempt <= 1000; ++attempt) {
    const std::string trashName = TrashName(name, attempt);
    const std::string info = trash.root + "/info/" + trashName + ".trashinfo";
    const std::string target = trash.root + "/files/" + trashName;
    const int fd = ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    bool ok = WriteAll(fd, record) && ::fsync(fd) == 0;
    if (::close(fd) != 0) ok = false;
    struct stat st {};
    if (ok && ::lstat(target.c_str(), &st) == 0) {
      // A file without its record (left by a crash): keep it and take the next name.
      ::unlink(info.c_str());
      continue;
    }
    if (ok && ::rename(path.c_str(), target.c_str()) == 0) return true;
    ::unlink(info.c_str());
    return false;
  }
  return false;
}

}  // namespace

std::string HomeTrashFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data != nullptr && data[0] == '/') return JoinPath(data, "Trash");
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return JoinPath(home, ".local/share/Trash");
  return {};
}

std::string TrashInfoEscape(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(path.size());
  for (const char c : path) {
    const auto b = static_cast<unsigned char>(c);
    const bool keep = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') ||
                      b == '-' || b == '.' || b == '_' || b == '~' || b == '/';
    if (keep) {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

bool FreedesktopTrash::MoveToTrash(const std::string& path) {
  struct stat file {};
  if (path.empty() || ::lstat(path.c_str(), &file) != 0) return false;
  // The record names the file by its absolute path; the folder is resolved so that the walk
  // to the top of its mount sees real folders.
  const std::string folder = FolderOf(path).empty() ? "." : FolderOf(path);
  const std::unique_ptr<char, FreeChars> real(::realpath(folder.c_str(), nullptr));
  if (!real) return false;
  const std::string absolute = JoinPath(real.get(), FileNameOf(path));

  const std::string home = HomeTrashFolder();
  if (!home.empty() && MakeFolderChain(home)) {
    if (const auto dev = PrepareTrash(home); dev && *dev == file.st_dev)
      return MoveInto(Trash{home, {}}, absolute);
  }
  // Another file system: its own trash at the top of the mount.
  const auto top = TopTrash(TopFolder(real.get(), file.st_dev), file.st_dev);
  return top && MoveInto(*top, absolute);
}

}  // namespace qp
