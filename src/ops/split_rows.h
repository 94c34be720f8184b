// Runs a row loop on the calling thread and one helper thread. The operations that use it
// write disjoint output rows, so the two halves never touch the same bytes.
#pragma once

#include <cstdint>
#include <thread>

namespace qp {

// Calls body(begin, end) over [0, n): the lower half here, the upper half on a helper. Small
// jobs, and a helper that cannot be started, run whole on the calling thread.
template <typename F>
void SplitRows(int32_t n, F&& body) {
  if (n < 64) {
    body(0, n);
    return;
  }
  const int32_t mid = n / 2;
  std::thread helper;
  try {
    helper = std::thread([&] { body(mid, n); });
  } catch (...) {
    body(0, n);
    return;
  }
  body(0, mid);
  helper.join();
}

}  // namespace qp
