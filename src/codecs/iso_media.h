// ISO media still-image files (HEIF, AVIF): the top-level "meta" box and the properties of its
// primary item, read through the bounded byte reader. The orientation (irot, imir) and the
// colour box (colr) of a picture are such properties.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "colour/colour_profile.h"

namespace qp {

// One item property: its box type and payload (a view into the meta block it came from).
struct IsoProperty {
  std::array<char, 4> type{};
  std::span<const uint8_t> payload;
  bool is(const char* fourcc) const;
};

// The payload of the file's top-level "meta" box; nothing when there is none, it is larger
// than a meta box ever needs to be (16 MiB), or it cannot be read.
std::optional<std::vector<uint8_t>> ReadIsoMediaMeta(std::FILE* f);
// The same among bytes already read (the file's start); empty when there is none.
std::span<const uint8_t> FindIsoMediaMeta(std::span<const uint8_t> bytes);

// The properties the primary item ("pitm") is associated with ("ipma" indexes into "ipco"),
// in the order the association lists them, which is the order they apply in. Empty when the
// meta block names no primary item or is damaged.
std::vector<IsoProperty> PrimaryItemProperties(std::span<const uint8_t> meta);

// What the primary item's colour boxes say: code points ("nclx") and an ICC profile ("prof"
// or "rICC"); a picture may carry one of each.
struct IsoColour {
  std::optional<Cicp> nclx;
  std::vector<uint8_t> icc;
};
IsoColour PrimaryItemColour(std::span<const uint8_t> meta);
// The same for a file; empty when it is no ISO media file or cannot be read.
IsoColour ReadIsoMediaColour(const std::string& path);

}  // namespace qp
