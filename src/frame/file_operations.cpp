#include "frame/file_operations.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <random>

#include "core/paths.h"
#include "frame/navigation.h"

namespace qp {

namespace {

struct Fd {
  int fd = -1;
  explicit Fd(int f) : fd(f) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
  int release() {
    const int f = fd;
    fd = -1;
    return f;
  }
};

std::string Format(const char* pattern, const std::string& value) {
  const int n = std::snprintf(nullptr, 0, pattern, value.c_str());
  if (n <= 0) return pattern;
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), pattern, value.c_str());
  out.resize(static_cast<size_t>(n));
  return out;
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Flushes a folder so that a rename or removal in it is on disk.
void SyncFolder(const std::string& path) {
  const std::string folder = FolderOf(path);
  Fd dir{::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  if (dir.fd >= 0) ::fsync(dir.fd);
}

// Copies the bytes, mode and times of `from` into a new file beside `to`, flushes it and
// renames it over `to`. Nothing is left behind on failure.
bool CopyThroughTemporary(const std::string& from, const std::string& to) {
  Fd in{::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
  if (in.fd < 0) return false;
  struct stat st {};
  if (::fstat(in.fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const std::string temporary = TemporaryBeside(to, ".tmp");
  if (temporary.empty()) return false;
  Fd out{::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600)};
  if (out.fd < 0) return false;
  bool ok = true;
  std::array<char, 1 << 16> buffer{};
  for (;;) {
    const ssize_t n = ::read(in.fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    if (!WriteAll(out.fd, buffer.data(), static_cast<size_t>(n))) {
      ok = false;
      break;
    }
  }
  if (ok) ok = ::fchmod(out.fd, st.st_mode & 07777) == 0;
  if (ok) {
    const std::array<timespec, 2> times{st.st_atim, st.st_mtim};
    ok = ::futimens(out.fd, times.data()) == 0;
  }
  if (ok) ok = ::fsync(out.fd) == 0;
  if (::close(out.release()) != 0) ok = false;
  if (ok) ok = ::rename(temporary.c_str(), to.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary.c_str());
    return false;
  }
  SyncFolder(to);
  return true;
}

void ShowError(FileContext& ctx, const std::string& text) {
  ctx.ports.messages.Show(text, MessageIcon::Error);
}

bool AskYes(FileContext& ctx, const char* question) {
  return ctx.ports.messages.Show(question, MessageIcon::Question, MessageButtons::YesNo) ==
         MessageAnswer::Yes;
}

}  // namespace

bool PathExists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  struct stat sa {}, sb {};
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

std::string TemporaryBeside(const std::string& target, std::string_view extension) {
  static std::mt19937 generator{std::random_device{}()};
  const std::string folder = FolderOf(target);
  const std::string name = FileNameOf(target);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate =
        JoinPath(folder.empty() ? "." : folder, "." + WithoutExtension(name) + ".qp-" +
                                                    std::to_string(generator() % 1000000) +
                                                    std::string(extension));
    if (!PathExists(candidate)) return candidate;
  }
  return {};
}

namespace {

bool RenameOnce(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
    return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // A file system without the no-replace rename: a hard link cannot replace either.
  if (::link(from.c_str(), to.c_str()) == 0) {
    if (::unlink(from.c_str()) == 0) return true;
    ::unlink(to.c_str());
    return false;
  }
  if (errno != EPERM && errno != ENOSYS && errno != EOPNOTSUPP) return false;
  // Nor hard links (FAT through a user-space driver): look first, then a plain rename.
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0 || errno != ENOENT) return false;
  return ::rename(from.c_str(), to.c_str()) == 0;
}

// Whether the name `to` reaches the file `from` itself under another spelling, as it does on
// file systems that ignore letter case (FAT and exFAT memory cards, case-folded folders): the
// same device and inode, or a name the folder resolves although no entry is spelt that way
// (user-space drivers do not keep inode numbers steady).
bool OtherSpellingOfItself(const std::string& from, const std::string& to) {
  if (from == to) return false;
  struct stat sf {}, st {};
  if (::lstat(from.c_str(), &sf) != 0 || ::lstat(to.c_str(), &st) != 0) return false;
  if (sf.st_dev != st.st_dev) return false;
  if (sf.st_ino == st.st_ino) return true;
  const std::string folder = FolderOf(to).empty() ? "." : FolderOf(to);
  const std::string name = FileNameOf(to);
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (!dir) return false;
  while (const dirent* e = ::readdir(dir.get()))
    if (name == e->d_name) return false;
  return true;
}

}  // namespace

bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (!OtherSpellingOfItself(from, to)) return RenameOnce(from, to);
  // The target name is taken by the file itself: through a free temporary name, and back
  // when the second step is refused (the name belonged to another file after all).
  const std::string temporary = TemporaryBeside(from, ExtensionOf(from));
  if (temporary.empty() || !RenameOnce(from, temporary)) return false;
  if (RenameOnce(temporary, to)) {
    SyncFolder(to);
    return true;
  }
  ::rename(temporary.c_str(), from.c_str());
  return false;
}

bool CopyFileReplacing(const std::string& from, const std::string& to) {
  if (SameFile(from, to)) return false;
  return CopyThroughTemporary(from, to);
}

bool MoveFileReplacing(const std::string& from, const std::string& to) {
  if (SameFile(from, to)) return PathExists(from);
  struct stat st {};
  if (::lstat(from.c_str(), &st) != 0) return false;
  if (::rename(from.c_str(), to.c_str()) == 0) {
    SyncFolder(to);
    return true;
  }
  if (errno != EXDEV || !S_ISREG(st.st_mode)) return false;
  // Another file system: the source goes only once its copy is complete and on disk.
  if (!CopyThroughTemporary(from, to)) return false;
  if (::unlink(from.c_str()) != 0) return false;
  SyncFolder(from);
  return true;
}

bool deleteFile(FileContext& ctx, const std::string& path) {
  if (ctx.settings.ReadFlag("UseRecycleBin")) return ctx.ports.trash.MoveToTrash(path);
  return ::unlink(path.c_str()) == 0;
}

bool createFolderChain(const std::string& folder) {
  if (folder.empty()) return false;
  if (folder == "/") return true;
  // Walk every prefix that ends before a "/", then the whole path.
  for (size_t pos = 1;; ++pos) {
    pos = folder.find('/', pos);
    const std::string prefix = folder.substr(0, pos);
    if (!prefix.empty() && !PathExists(prefix) && ::mkdir(prefix.c_str(), 0777) != 0 &&
        errno != EEXIST)
      return false;
    if (pos == std::string::npos) break;
  }
  struct stat st {};
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool copyOrMoveToFolder(FileContext& ctx, const std::string& source, const std::string& folder,
                        bool move) {
  const std::string target = JoinPath(folder, FileNameOf(source));
  if (!PathExists(folder) && !createFolderChain(folder)) {
    ShowError(ctx, kFolderNotCreated);
    return false;
  }
  if (PathExists(target) && !AskYes(ctx, kReplaceQuestion)) return false;
  ctx.ports.cursor.SetWaitCursor(true);
  const bool done = move ? MoveFileReplacing(source, target) : CopyFileReplacing(source, target);
  ctx.ports.cursor.SetWaitCursor(false);
  if (!done) {
    ShowError(ctx, move ? kFolderMoveFailed : kFolderCopyFailed);
    return false;
  }
  if (ctx.state.fullScreen == 0) ctx.host.FlashWindow();
  return true;
}

std::string RenameDialogName(const std::string& path) {
  std::string name = FileNameOf(path);
  auto replaceAll = [&name](std::string_view from, std::string_view to) {
    for (size_t at = name.find(from); at != std::string::npos; at = name.find(from, at + to.size()))
      name.replace(at, from.size(), to);
  };
  replaceAll("%20", " ");
  replaceAll("%2C", ",");
  replaceAll("&amp;", "&");
  return name;
}

std::string RenameTarget(const std::string& currentPath, const std::string& typed) {
  std::string name = typed.substr(0, RenameDialogModel::kMaxLength);
  if (name.find('.') == std::string::npos) name += ExtensionOf(currentPath);
  return JoinPath(FolderOf(currentPath), name);
}

void RenameFileCommand(FileContext& ctx) {
  const std::string current = ctx.state.currentPath;
  if (current.empty()) return;
  const bool wasFullScreen = ctx.LeaveFullScreen();
  std::optional<std::string> renamedTo;
  RenameDialogModel model;
  model.initialName = RenameDialogName(current);
  model.accept = [&](const std::string& typed) {
    const std::string target = RenameTarget(current, typed);
    if (target == current) return true;
    if (!RenameNoReplace(current, target)) {
      ShowError(ctx, kRenameFailed);
      return false;
    }
    renamedTo = target;
    return true;
  };
  ctx.host.RunRenameDialog(model);
  if (renamedTo) {
    OpenFile(ctx, *renamedTo);
    ctx.files.renameCurrent(*renamedTo);
  }
  if (wasFullScreen) ctx.state.ToggleFullScreenWithFit();
}

void CopyOrMoveFileCommand(FileContext& ctx, bool move) {
  const std::string current = ctx.state.currentPath;
  if (current.empty()) return;
  ctx.LeaveFullScreen();
  FileDialogRequest request;
  request.title = move ? "Move File" : "Copy File";
  request.filter = "All Files (*.*)|*.*||";
  request.folder = FolderOf(current);
  request.fileName = FileNameOf(current);
  auto chosen = ctx.ports.fileDialogs.Save(request);
  if (!chosen || chosen->paths.empty()) return;
  const std::string& target = chosen->paths.front();
  if (PathExists(target) && !AskYes(ctx, kOverwriteQuestion)) return;
  if (move) {
    if (!MoveFileReplacing(current, target)) ShowError(ctx, kMoveFailed);
  } else if (!CopyFileReplacing(current, target)) {
    ShowError(ctx, kCopyFailed);
  }
}

void DeleteFileCommand(FileContext& ctx) {
  const std::string current = ctx.state.currentPath;
  if (current.empty()) return;
  const std::string shown = FileNameOf(current).empty() ? current : FileNameOf(current);
  const bool toTrash = ctx.settings.ReadFlag("UseRecycleBin");
  const std::string question = Format(toTrash ? kDeleteToTrashQuestion : kDeleteQuestion, shown);
  const bool wasFullScreen = ctx.LeaveFullScreen();
  if (ctx.ports.messages.Show(question, MessageIcon::Question, MessageButtons::YesNo) ==
          MessageAnswer::Yes &&
      !deleteFile(ctx, current))
    ShowError(ctx, Format(kDeleteFailed, shown));
  if (wasFullScreen) ctx.state.ToggleFullScreenWithFit();
}

}  // namespace qp
