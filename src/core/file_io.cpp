#include "core/file_io.h"

#include <sys/stat.h>

namespace qp {

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path, uint64_t limit) {
  UniqueFile f = OpenFile(path, "rb");
  if (!f) return std::nullopt;
  struct stat st {};
  if (fstat(fileno(f.get()), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
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

bool CanOpenForRead(const std::string& path) { return OpenFile(path, "rb") != nullptr; }

}  // namespace qp
