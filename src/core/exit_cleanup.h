// What a process that has to end at once (a second Ctrl+C, a fatal signal) still tidies up:
// the temporary files being written and the helper programs running for it. Both lists live in
// fixed tables so that a signal handler can walk them; adding and removing entries is safe from
// any thread, and the walk uses only calls that are safe in a signal handler.
#pragma once

#include <sys/types.h>

#include <string>

namespace qp {

// Keeps a temporary file's name in the table for as long as it lives (RAII). When the table is
// full the file is simply not listed; it is still removed on every ordinary path.
class ListedTempFile {
 public:
  ListedTempFile() = default;
  explicit ListedTempFile(const std::string& path);
  ~ListedTempFile();
  ListedTempFile(const ListedTempFile&) = delete;
  ListedTempFile& operator=(const ListedTempFile&) = delete;
  ListedTempFile(ListedTempFile&& other) noexcept : slot_(other.slot_) { other.slot_ = -1; }
  ListedTempFile& operator=(ListedTempFile&& other) noexcept;

 private:
  int slot_ = -1;
};

// A helper program's process group (its id is the helper's process id) while it runs.
class ListedHelper {
 public:
  explicit ListedHelper(pid_t group);
  ~ListedHelper();
  ListedHelper(const ListedHelper&) = delete;
  ListedHelper& operator=(const ListedHelper&) = delete;

 private:
  int slot_ = -1;
};

// Kills every listed helper's process group and removes every listed temporary file.
// Async-signal-safe: meant for a signal handler just before _exit.
void CleanUpForImmediateExit();

// How many temporary files are listed now (for tests).
int ListedTempFileCount();

}  // namespace qp
