#include "codecs/iso_media.h"

#include <cstring>

#include "core/byte_reader.h"
#include "core/file_io.h"

namespace qp {

namespace {

// A "meta" box holds item descriptions, not pixels: a few KiB, rarely more.
constexpr uint64_t kMaxMetaBytes = 16u << 20;
// Boxes looked at on one level before giving up, and properties of one "ipco".
constexpr int kMaxBoxes = 256;
constexpr int kMaxProperties = 4096;

// ISO media boxes: 32-bit size (1: a 64-bit size follows, 0: to the end), type, payload.
struct Box {
  std::array<char, 4> type{};
  std::span<const uint8_t> payload;
  bool is(const char* fourcc) const { return std::memcmp(type.data(), fourcc, 4) == 0; }
};

std::optional<Box> NextBox(ByteReader& r) {
  const uint64_t start = r.position();
  Box b;
  uint64_t size = r.u32be();
  const auto type = r.bytes(4);
  if (!r.ok()) return std::nullopt;
  std::memcpy(b.type.data(), type.data(), 4);
  if (size == 1)
    size = uint64_t{r.u32be()} << 32 | r.u32be();
  else if (size == 0)
    size = r.size() - start;
  const uint64_t header = r.position() - start;
  if (!r.ok() || size < header || !RangeFits(start, size, r.size())) return std::nullopt;
  b.payload = r.data().subspan(r.position(), static_cast<size_t>(size - header));
  r.seek(start + size);
  return b;
}

}  // namespace

bool IsoProperty::is(const char* fourcc) const {
  return std::memcmp(type.data(), fourcc, 4) == 0;
}

std::optional<std::vector<uint8_t>> ReadIsoMediaMeta(std::FILE* f) {
  uint64_t at = 0;
  for (int n = 0; n < kMaxBoxes; ++n) {
    uint8_t head[16];
    if (!ReadFileAt(f, at, head, 8)) return std::nullopt;
    ByteReader r(std::span<const uint8_t>(head, 8));
    uint64_t size = r.u32be();
    uint64_t header = 8;
    if (size == 1) {
      if (!ReadFileAt(f, at + 8, head + 8, 8)) return std::nullopt;
      ByteReader l(std::span<const uint8_t>(head + 8, 8));
      size = uint64_t{l.u32be()} << 32 | l.u32be();
      header = 16;
    }
    if (std::memcmp(head + 4, "meta", 4) == 0) {
      if (size == 0 || size < header || size - header > kMaxMetaBytes) return std::nullopt;
      return ReadFileBlock(f, at + header, size - header);
    }
    // A box to the end of the file (0) ends the search too.
    if (size < header) return std::nullopt;
    const auto next = CheckedAdd(at, size);
    if (!next) return std::nullopt;
    at = *next;
  }
  return std::nullopt;
}

std::span<const uint8_t> FindIsoMediaMeta(std::span<const uint8_t> bytes) {
  ByteReader r(bytes);
  for (int n = 0; n < kMaxBoxes && r.ok() && !r.atEnd(); ++n) {
    const auto box = NextBox(r);
    if (!box) break;
    if (box->is("meta")) return box->payload;
  }
  return {};
}

std::vector<IsoProperty> PrimaryItemProperties(std::span<const uint8_t> meta) {
  // The meta box's payload: version and flags, then boxes.
  ByteReader r(meta);
  r.skip(4);
  std::optional<uint32_t> primary;
  std::vector<Box> properties;  // ipco's boxes, index 1 first
  std::span<const uint8_t> ipma;
  for (int n = 0; n < kMaxBoxes && r.ok() && !r.atEnd(); ++n) {
    const auto box = NextBox(r);
    if (!box) break;
    if (box->is("pitm")) {
      ByteReader p(box->payload);
      const uint8_t version = p.u8();
      p.skip(3);
      const uint32_t id = version == 0 ? p.u16be() : p.u32be();
      if (p.ok()) primary = id;
    } else if (box->is("iprp")) {
      ByteReader p(box->payload);
      for (int k = 0; k < kMaxBoxes && p.ok() && !p.atEnd(); ++k) {
        const auto child = NextBox(p);
        if (!child) break;
        if (child->is("ipco")) {
          ByteReader c(child->payload);
          for (int j = 0; j < kMaxProperties && c.ok() && !c.atEnd(); ++j) {
            const auto property = NextBox(c);
            if (!property) break;
            properties.push_back(*property);
          }
        } else if (child->is("ipma") && ipma.empty()) {
          ipma = child->payload;
        }
      }
    }
  }
  std::vector<IsoProperty> out;
  if (!primary || ipma.empty()) return out;
  // ipma: version, flags (bit 0: 15-bit indexes), entry count, then per item its id and its
  // associations (the top bit of each marks an essential property).
  ByteReader a(ipma);
  const uint8_t version = a.u8();
  a.skip(2);
  const bool wideIndex = (a.u8() & 1) != 0;
  const uint32_t entries = a.u32be();
  for (uint32_t e = 0; e < entries && a.ok(); ++e) {
    const uint32_t item = version < 1 ? a.u16be() : a.u32be();
    const uint8_t count = a.u8();
    for (uint8_t k = 0; k < count && a.ok(); ++k) {
      const uint32_t index = wideIndex ? (a.u16be() & 0x7FFFu) : (a.u8() & 0x7Fu);
      if (!a.ok() || item != *primary || index == 0 || index > properties.size()) continue;
      const Box& p = properties[index - 1];
      out.push_back({p.type, p.payload});
    }
  }
  return out;
}

IsoColour PrimaryItemColour(std::span<const uint8_t> meta) {
  IsoColour out;
  for (const IsoProperty& p : PrimaryItemProperties(meta)) {
    if (!p.is("colr")) continue;
    ByteReader r(p.payload);
    const auto kind = r.bytes(4);
    if (!r.ok()) continue;
    const std::string_view k(reinterpret_cast<const char*>(kind.data()), 4);
    if (k == "nclx" && !out.nclx) {
      // 16-bit primaries, transfer and matrix, then the full-range flag in the top bit.
      const uint16_t primaries = r.u16be(), transfer = r.u16be(), matrix = r.u16be();
      const uint8_t range = r.u8();
      // Code points above 255 are reserved; they describe nothing known.
      if (r.ok() && primaries < 256 && transfer < 256 && matrix < 256) {
        out.nclx = Cicp{static_cast<uint8_t>(primaries), static_cast<uint8_t>(transfer),
                        static_cast<uint8_t>(matrix), (range & 0x80) != 0};
      }
    } else if ((k == "prof" || k == "rICC") && out.icc.empty()) {
      const auto icc = r.bytes(r.remaining());
      out.icc.assign(icc.begin(), icc.end());
    }
  }
  return out;
}

IsoColour ReadIsoMediaColour(const std::string& path) {
  UniqueFile f = OpenRegularFile(path);
  if (!f) return {};
  const auto meta = ReadIsoMediaMeta(f.get());
  return meta ? PrimaryItemColour(*meta) : IsoColour{};
}

}  // namespace qp
