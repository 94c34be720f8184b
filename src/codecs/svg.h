// SVG and SVGZ rendering (librsvg), white opaque background, 96 dpi.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "codecs/decode_result.h"

namespace qp {

// A wanted size of 0 or less counts as not given. The parsed document of the last path is
// kept, so rendering the same path again at another size does not parse it again. A rendered
// picture carries vectorSource in its details.
DecodeResult renderSvg(const std::string& path, int32_t wantedWidth, int32_t wantedHeight);
DecodeResult renderSvgz(const std::string& path, int32_t wantedWidth, int32_t wantedHeight);

// Largest inflated SVGZ text accepted (the gzip size trailer above it is refused).
inline constexpr uint32_t kMaxSvgzText = 0x1FFFFFF;
// Inflates a gzip (or zlib) SVGZ file whose last four bytes announce the inflated size. Never
// produces more than the announced size; only a stream that reaches its end is accepted.
std::optional<std::vector<uint8_t>> InflateSvgz(std::span<const uint8_t> file);
// The picture size for a document of docWidth x docHeight pixels: nothing when a side comes
// out below one pixel.
std::optional<std::pair<int32_t, int32_t>> SvgTargetSize(double docWidth, double docHeight,
                                                         int32_t wantedWidth,
                                                         int32_t wantedHeight);
// How many documents have been parsed in this run.
uint64_t SvgParseCount();

}  // namespace qp
