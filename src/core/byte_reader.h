// The one bounded reader every parser of file bytes goes through. Reads past the end never
// touch memory: they fail and leave the reader in a failed state, so a parser can read a run of
// fields and check once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace qp {

// True when [offset, offset + length) lies within a block of `size` bytes. Cannot overflow.
constexpr bool RangeFits(uint64_t offset, uint64_t length, uint64_t size) {
  return offset <= size && length <= size - offset;
}

// a * b when it fits in 64 bits without overflow.
constexpr std::optional<uint64_t> CheckedMul(uint64_t a, uint64_t b) {
  if (a != 0 && b > UINT64_MAX / a) return std::nullopt;
  return a * b;
}

// a + b when it fits in 64 bits without overflow.
constexpr std::optional<uint64_t> CheckedAdd(uint64_t a, uint64_t b) {
  if (b > UINT64_MAX - a) return std::nullopt;
  return a + b;
}

class ByteReader {
 public:
  ByteReader() = default;
  explicit ByteReader(std::span<const uint8_t> data) : data_(data) {}

  size_t size() const { return data_.size(); }
  size_t position() const { return pos_; }
  size_t remaining() const { return data_.size() - pos_; }
  bool atEnd() const { return pos_ >= data_.size(); }
  // False once any read or seek went past the end.
  bool ok() const { return ok_; }
  std::span<const uint8_t> data() const { return data_; }

  // Moves to an absolute offset; an offset beyond the end fails.
  bool seek(uint64_t offset) {
    if (offset > data_.size()) return fail();
    pos_ = static_cast<size_t>(offset);
    return true;
  }
  bool skip(uint64_t count) {
    if (count > remaining()) return fail();
    pos_ += static_cast<size_t>(count);
    return true;
  }

  // Each read yields 0 (or an empty span) and fails the reader when too few bytes remain.
  uint8_t u8() {
    if (remaining() < 1) return fail(), 0;
    return data_[pos_++];
  }
  uint16_t u16le() { return static_cast<uint16_t>(read(2, false)); }
  uint16_t u16be() { return static_cast<uint16_t>(read(2, true)); }
  uint32_t u32le() { return static_cast<uint32_t>(read(4, false)); }
  uint32_t u32be() { return static_cast<uint32_t>(read(4, true)); }
  uint16_t u16(bool bigEndian) { return bigEndian ? u16be() : u16le(); }
  uint32_t u32(bool bigEndian) { return bigEndian ? u32be() : u32le(); }

  std::span<const uint8_t> bytes(uint64_t count) {
    if (count > remaining()) return fail(), std::span<const uint8_t>();
    auto s = data_.subspan(pos_, static_cast<size_t>(count));
    pos_ += static_cast<size_t>(count);
    return s;
  }
  // The next bytes without moving; fewer when fewer remain.
  std::span<const uint8_t> peek(size_t count) const {
    return data_.subspan(pos_, count < remaining() ? count : remaining());
  }
  // True (and consumed) when the next bytes equal `magic`.
  bool expect(std::string_view magic) {
    auto s = peek(magic.size());
    if (s.size() != magic.size()) return false;
    for (size_t i = 0; i < s.size(); ++i)
      if (s[i] != static_cast<uint8_t>(magic[i])) return false;
    pos_ += magic.size();
    return true;
  }

  // A reader over [offset, offset + length) of this block, or a failed empty reader.
  ByteReader sub(uint64_t offset, uint64_t length) const {
    if (!RangeFits(offset, length, data_.size())) {
      ByteReader r;
      r.ok_ = false;
      return r;
    }
    return ByteReader(data_.subspan(static_cast<size_t>(offset), static_cast<size_t>(length)));
  }

 private:
  bool fail() {
    ok_ = false;
    return false;
  }
  uint64_t read(size_t n, bool bigEndian) {
    if (remaining() < n) return fail(), 0;
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) {
      const uint64_t b = data_[pos_ + i];
      v |= bigEndian ? b << (8 * (n - 1 - i)) : b << (8 * i);
    }
    pos_ += n;
    return v;
  }

  std::span<const uint8_t> data_;
  size_t pos_ = 0;
  bool ok_ = true;
};

}  // namespace qp
