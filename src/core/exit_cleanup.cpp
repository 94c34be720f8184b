#include "core/exit_cleanup.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace qp {

namespace {

// A slot is free, being filled, listed, or being used by the exit walk. Only a listed slot is
// read by the walk, and a slot the walk holds is never refilled before the process ends.
enum SlotState : int { kFree, kFilling, kListed, kWalking };

constexpr int kTempSlots = 512;
constexpr size_t kPathBytes = 4096;

struct TempSlot {
  std::atomic<int> state{kFree};
  char path[kPathBytes];
};
// Set at compile time: 2 MiB of zeros that no page is touched for until a slot is used.
constinit TempSlot g_temps[kTempSlots];

constexpr int kHelperSlots = 256;
constinit std::atomic<pid_t> g_helpers[kHelperSlots]{};

int ClaimTempSlot(const std::string& path) {
  if (path.empty() || path.size() >= kPathBytes) return -1;
  for (int i = 0; i < kTempSlots; ++i) {
    int expected = kFree;
    if (g_temps[i].state.compare_exchange_strong(expected, kFilling, std::memory_order_acquire)) {
      std::memcpy(g_temps[i].path, path.c_str(), path.size() + 1);
      g_temps[i].state.store(kListed, std::memory_order_release);
      return i;
    }
  }
  return -1;
}

void ReleaseTempSlot(int slot) {
  if (slot < 0) return;
  int expected = kListed;
  // When the exit walk holds the slot, the process is about to end: leave it alone.
  g_temps[slot].state.compare_exchange_strong(expected, kFree, std::memory_order_release);
}

}  // namespace

ListedTempFile::ListedTempFile(const std::string& path) : slot_(ClaimTempSlot(path)) {}

ListedTempFile::~ListedTempFile() { ReleaseTempSlot(slot_); }

ListedTempFile& ListedTempFile::operator=(ListedTempFile&& other) noexcept {
  if (this != &other) {
    ReleaseTempSlot(slot_);
    slot_ = other.slot_;
    other.slot_ = -1;
  }
  return *this;
}

ListedHelper::ListedHelper(pid_t group) {
  for (int i = 0; i < kHelperSlots && group > 0; ++i) {
    pid_t expected = 0;
    if (g_helpers[i].compare_exchange_strong(expected, group)) {
      slot_ = i;
      return;
    }
  }
}

ListedHelper::~ListedHelper() {
  if (slot_ >= 0) g_helpers[slot_].store(0);
}

void CleanUpForImmediateExit() {
  // Helpers first, so that none of them writes a file after it was removed.
  for (auto& helper : g_helpers) {
    const pid_t group = helper.load();
    if (group > 0) ::kill(-group, SIGKILL);
  }
  for (auto& slot : g_temps) {
    int expected = kListed;
    if (slot.state.compare_exchange_strong(expected, kWalking, std::memory_order_acquire))
      ::unlink(slot.path);
  }
}

int ListedTempFileCount() {
  int n = 0;
  for (auto& slot : g_temps) n += slot.state.load() == kListed ? 1 : 0;
  return n;
}

}  // namespace qp
