// MD5 (RFC 1321). Used only where a file format asks for it as a name (the shared thumbnail
// cache names each thumbnail by the MD5 of its file's URI), never for security.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qp {

std::array<uint8_t, 16> Md5(std::span<const uint8_t> bytes);
// The digest as 32 lower-case hexadecimal digits.
std::string Md5Hex(std::string_view text);

}  // namespace qp
