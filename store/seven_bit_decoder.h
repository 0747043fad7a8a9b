#pragma once

// The engine's 7-bit packing: a header byte followed by a stream of 7-bit characters, the
// first character in the lowest bits of the first byte.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tarvex {

// The number of characters the value unpacks to; fails on an empty value, a value above the
// engine's 2^31 - 1 byte limit, or bits set in the padding.
std::optional<std::size_t> SevenBitDecodedSize(std::span<const std::uint8_t> value);

// One byte (0 to 127) per packed character.
std::optional<std::vector<std::uint8_t>> DecodeSevenBit(std::span<const std::uint8_t> value);

}  // namespace tarvex
