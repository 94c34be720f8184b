#include "core/prefault.h"

#include <system_error>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace qp {

void BackgroundPrefault::Start([[maybe_unused]] uint8_t* block, [[maybe_unused]] size_t bytes) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  constexpr size_t kMinBytes = size_t{16} << 20;
  if (block == nullptr || bytes < kMinBytes || worker_.joinable()) return;
  const uintptr_t page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(block) + page - 1) & ~(page - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(page - 1);
  if (end <= begin) return;
  try {
    worker_ = std::jthread([begin, end] {
      madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
    });
  } catch (const std::system_error&) {
  }
#endif
}

}  // namespace qp
