#include "codecs/lzw.h"

#include <algorithm>
#include <cstring>

namespace qp {

namespace {

constexpr uint32_t kTableSize = 4096;
constexpr int kMaxCodeWidth = 12;
constexpr size_t kFirstBlock = size_t{1} << 16;

}  // namespace

LzwDecoder::LzwDecoder() = default;
LzwDecoder::~LzwDecoder() = default;

// Strings of new codes always lie in the output already written (the previous code's string
// followed by one more byte), so an entry is an offset and a length and a code's output is one
// block copy. Root codes are their own one-byte string.
LzwDecoder::Outcome LzwDecoder::decode(int minCodeSize, size_t total, size_t keep,
                                       const SubBlockSource& next, std::vector<uint8_t>& out) {
  Outcome result;
  keep = std::min(keep, total);
  // A clear code of 4096 or more would lie outside the 12-bit table.
  if (minCodeSize < 0 || minCodeSize > 11) return result;
  if (!table_) table_ = std::make_unique<Entry[]>(kTableSize);
  Entry* table = table_.get();

  // Room for `need` indices, grown geometrically and never beyond `keep`.
  auto reserve = [&](size_t need) {
    if (need <= out.size()) return;
    out.resize(std::min(keep, std::max({need, out.size() * 2, std::min(keep, kFirstBlock)})));
  };

  const uint32_t clear = 1u << minCodeSize;
  const uint32_t endCode = clear + 1;
  uint32_t nextFree = clear + 2;
  int width = minCodeSize + 1;

  uint64_t acc = 0;  // unread bits, lowest first
  int bits = 0;
  std::span<const uint8_t> block;
  size_t blockAt = 0;

  size_t pos = 0;      // indices produced
  size_t prevPos = 0;  // where the previous code's string starts
  size_t prevLength = 0;
  bool first = true;
  // The string of `code` goes to `pos`: stored up to `keep`, counted always.
  auto emitCopy = [&](size_t from, size_t length, int extraFirst) {
    // extraFirst >= 0 appends the string's own first byte (a code not yet in the table).
    const size_t whole = length + (extraFirst >= 0 ? 1 : 0);
    if (pos < keep) {
      const size_t stored = std::min(whole, keep - pos);
      reserve(pos + stored);
      uint8_t* o = out.data();
      const size_t copied = std::min(length, stored);
      std::memmove(o + pos, o + from, copied);
      if (stored > length) o[pos + length] = o[from];
    }
    pos += whole;
  };

  for (;;) {
    // Gather enough bits for one code, fetching data sub-blocks as needed.
    while (bits < width) {
      if (blockAt == block.size()) {
        if (result.terminatorRead) {  // the data ended before an end code: keep what we have
          result.status = Status::Complete;
          result.produced = std::min(pos, keep);
          return result;
        }
        const SubBlock got = next(block);
        blockAt = 0;
        if (got == SubBlock::Cut) {
          result.status = Status::Cut;
          return result;
        }
        if (got == SubBlock::Terminator) {
          result.terminatorRead = true;
          block = {};
        }
        continue;
      }
      acc |= uint64_t{block[blockAt++]} << bits;
      bits += 8;
    }
    const uint32_t code = static_cast<uint32_t>(acc & ((1u << width) - 1));
    acc >>= width;
    bits -= width;

    if (code == clear) {
      width = minCodeSize + 1;
      nextFree = clear + 2;
      first = true;
      continue;
    }
    if (first) {
      if (code >= endCode) break;  // neither a literal nor a clear code: corrupt
      if (pos >= total) {          // the image is already full
        result.status = Status::Complete;
        break;
      }
      if (pos < keep) {
        reserve(pos + 1);
        out[pos] = static_cast<uint8_t>(code);
      }
      prevPos = pos;
      prevLength = 1;
      ++pos;
      first = false;
    } else {
      if (code == endCode) {
        result.status = Status::Complete;
        break;
      }
      // Index bytes hold 8 bits, so with a minimum code size above 8 the roots 256 and up are
      // the byte of their low bits (as a literal first code is written).
      const bool root = code < clear;
      const bool known = root || code < nextFree;
      const size_t length = root ? 1 : known ? table[code].length : prevLength + 1;
      if (length > total - pos) break;  // more indices than the image holds: corrupt
      const size_t start = pos;
      if (root) {
        if (pos < keep) {
          reserve(pos + 1);
          out[pos] = static_cast<uint8_t>(code);
        }
        ++pos;
      } else if (known) {
        emitCopy(table[code].offset, length, -1);
      } else {
        // A code not yet in the table: the previous string plus its own first byte.
        emitCopy(prevPos, prevLength, 0);
      }
      // New string: the previous one (which ends right at `start`) plus this one's first byte.
      if (nextFree < kTableSize) {
        const Entry added = known ? Entry{static_cast<uint32_t>(prevPos),
                                          static_cast<uint32_t>(prevLength + 1)}
                                  : Entry{static_cast<uint32_t>(start), static_cast<uint32_t>(length)};
        table[nextFree++] = added;
      }
      prevPos = start;
      prevLength = length;
      if (nextFree == (1u << width) && width < kMaxCodeWidth) ++width;
    }
    if (pos >= keep && keep < total) {  // everything wanted is stored
      result.status = Status::Complete;
      break;
    }
  }
  result.produced = std::min(pos, keep);
  return result;
}

}  // namespace qp
