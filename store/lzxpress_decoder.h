#pragma once

// LZXPRESS values: the byte 0x18, the uncompressed size as 16-bit little-endian, then a plain
// LZ77 stream (MS-XCA 2.3/2.4).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tarvex {

inline constexpr std::uint8_t kLzxpressLeadByte = 0x18;
inline constexpr std::size_t kLzxpressHeaderSize = 3;

// The size from the header; fails on a value shorter than the header.
std::optional<std::size_t> LzxpressDecodedSize(std::span<const std::uint8_t> value);

// Decodes a whole value, header included. Fails unless the stream yields exactly the size the
// header declares.
std::optional<std::vector<std::uint8_t>> DecodeLzxpress(std::span<const std::uint8_t> value);

// Decodes a bare plain LZ77 stream that must yield exactly `output_size` bytes.
std::optional<std::vector<std::uint8_t>> DecodePlainLz77(std::span<const std::uint8_t> stream,
                                                         std::size_t output_size);

}  // namespace tarvex
