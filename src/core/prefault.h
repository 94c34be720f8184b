// Faulting in the pages of a fresh pixel block on a second thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <thread>

namespace qp {

// A decoder that fills a new block from the top hands it here first: a helper thread faults
// the block's pages in ahead of the decoder. The kernel zeroes every new page on first use,
// about a tenth of decoding a photo; done on the other core, the decoder finds its rows
// mapped. Small blocks are left alone (the thread would cost more), and on failure or on
// systems without the facility the decoder simply takes the faults itself. The contents are
// never touched.
class BackgroundPrefault {
 public:
  void Start(uint8_t* block, size_t bytes);

 private:
  std::jthread worker_;  // joined on destruction
};

}  // namespace qp
