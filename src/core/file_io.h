// Small RAII helpers for files: whole-file reads with a size limit, FILE* ownership.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qp {

struct FileCloser {
  void operator()(std::FILE* f) const noexcept {
    if (f) std::fclose(f);
  }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

inline UniqueFile OpenFile(const std::string& path, const char* mode) {
  return UniqueFile(std::fopen(path.c_str(), mode));
}

// Files larger than this are refused by ReadWholeFile (decoders never need more).
inline constexpr uint64_t kMaxFileBytes = uint64_t{2} << 30;

// The whole file, or nothing when it cannot be opened or read or exceeds `limit` bytes.
std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path,
                                                  uint64_t limit = kMaxFileBytes);

// Reads exactly `n` bytes at `offset` of an open file; false when fewer are there.
bool ReadFileAt(std::FILE* f, uint64_t offset, void* dst, size_t n);
// The `n` bytes at `offset`, or nothing when the file ends before them. Callers bound `n`.
std::optional<std::vector<uint8_t>> ReadFileBlock(std::FILE* f, uint64_t offset, uint64_t n);

// Writes all bytes; false on any failure.
bool WriteWholeFile(const std::string& path, std::span<const uint8_t> bytes);

// True when the path names something that can be opened for reading. The test never blocks,
// so a FIFO without a writer is reported at once instead of hanging the caller.
bool CanOpenForRead(const std::string& path);

// Opens a regular file for binary reading; null for anything else (missing, unreadable, a
// directory, a FIFO or a device). The open itself never blocks on a FIFO.
UniqueFile OpenRegularFile(const std::string& path);

// False when the file's last-write time lies before 2 January 1970 (UTC); true when it is
// later or when the file cannot be opened (the open fails later, elsewhere).
bool FileTimestampValid(const std::string& path);

}  // namespace qp
