// GIF's LZW decompression: variable-length codes of (minimum code size + 1) up to 12 bits,
// packed least significant bit first into data sub-blocks of up to 255 bytes, with a clear
// code (1 << minimum code size) and an end code (clear + 1).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace qp {

// What the next data sub-block request found: a block of data, the zero-size terminator, or
// the end of the file (the data was cut).
enum class SubBlock { Data, Terminator, Cut };
using SubBlockSource = std::function<SubBlock(std::span<const uint8_t>& block)>;

class LzwDecoder {
 public:
  LzwDecoder();
  ~LzwDecoder();
  LzwDecoder(const LzwDecoder&) = delete;
  LzwDecoder& operator=(const LzwDecoder&) = delete;

  enum class Status {
    Complete,  // end code, data ended early (the rest counts as index 0), or `keep` reached
    Corrupt,   // an impossible first code, or more indices than the image holds
    Cut,       // the file ended inside the data
  };
  struct Outcome {
    Status status = Status::Corrupt;
    size_t produced = 0;           // indices written to the front of `out`
    bool terminatorRead = false;   // the sub-blocks were read up to their terminator
  };

  // Decodes an image of `total` indices. Only the first `keep` (at most `total`) are stored,
  // and decoding stops once they are. `out` grows as the data produces indices, so a large
  // image with little data allocates little; its earlier contents are overwritten.
  Outcome decode(int minCodeSize, size_t total, size_t keep, const SubBlockSource& next,
                 std::vector<uint8_t>& out);

 private:
  struct Entry {
    uint32_t offset;  // where the string starts in the output
    uint32_t length;
  };
  std::unique_ptr<Entry[]> table_;  // the 4096-entry string table
};

}  // namespace qp
