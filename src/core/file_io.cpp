#include "core/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qp {

bool ReadFileAt(std::FILE* f, uint64_t offset, void* dst, size_t n) {
  if (offset > static_cast<uint64_t>(INT64_MAX)) return false;
  return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0 && std::fread(dst, 1, n, f) == n;
}

std::optional<std::vector<uint8_t>> ReadFileBlock(std::FILE* f, uint64_t offset, uint64_t n) {
  std::vector<uint8_t> out(static_cast<size_t>(n));
  if (n != 0 && !ReadFileAt(f, offset, out.data(), out.size())) return std::nullopt;
  return out;
}

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path, uint64_t limit) {
  UniqueFile f = OpenRegularFile(path);
  if (!f) return std::nullopt;
  struct stat st {};
  if (fstat(fileno(f.get()), &st) != 0) return std::nullopt;
  if (st.st_size < 0 || static_cast<uint64_t>(st.st_size) > limit) return std::nullopt;
  std::vector<uint8_t> bytes(static_cast<size_t>(st.st_size));
  if (!bytes.empty() && std::fread(bytes.data(), 1, bytes.size(), f.get()) != bytes.size())
    return std::nullopt;
  return bytes;
}

bool WriteWholeFile(const std::string& path, std::span<const uint8_t> bytes) {
  UniqueFile f = OpenFile(path, "wb");
  if (!f) return false;
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f.get()) != bytes.size())
    return false;
  return std::fclose(f.release()) == 0;
}

bool CanOpenForRead(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

UniqueFile OpenRegularFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  // Non-blocking mode only mattered for the open; plain reads follow.
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  std::FILE* f = ::fdopen(fd, "rb");
  if (f == nullptr) ::close(fd);
  return UniqueFile(f);
}

// Opened without blocking so that a FIFO named on the command line cannot hang the start.
bool FileTimestampValid(const std::string& path) {
  // The first last-write time that counts as valid: 2 January 1970, 00:00 UTC.
  constexpr time_t kFirstValidTime = 24 * 60 * 60;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return true;
  struct stat st {};
  const bool statted = ::fstat(fd, &st) == 0;
  ::close(fd);
  return statted && st.st_mtim.tv_sec >= kFirstValidTime;
}

}  // namespace qp
