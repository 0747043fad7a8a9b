#pragma once

// Compresses values the way the engine stores large compressible columns: the byte 0x18, the
// uncompressed size as 16-bit little-endian, then a plain LZ77 stream (MS-XCA 2.3/2.4).

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tarvex::edbforge {

inline constexpr std::size_t kLzxpressMaxInput = 65535;

// None when the data does not fit the 16-bit size of the header.
std::optional<std::vector<std::uint8_t>> EncodeLzxpress(std::span<const std::uint8_t> data);

// The bare plain LZ77 stream. Matches are found through hash chains over 3-byte prefixes,
// reach back at most 8192 bytes and are at most 32771 bytes long, which every reader takes.
std::vector<std::uint8_t> EncodePlainLz77(std::span<const std::uint8_t> data);

}  // namespace tarvex::edbforge
