#pragma once

// Column values the engine stored compressed (value flag 0x02), and every segment of a
// compressed long value. The first byte selects the format: 0x18 is LZXPRESS, 0x20-0x37 are
// engine forms not read here (scrubbed data, Xpress9, Xpress10), anything else is 7-bit
// packing.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tarvex {

// The exact number of bytes Decompress yields, or nullopt for a value that cannot decode to
// a size (empty, too large, an LZXPRESS header cut short, 7-bit padding with bits set).
std::optional<std::size_t> DecompressedSize(std::span<const std::uint8_t> value);

std::optional<std::vector<std::uint8_t>> Decompress(std::span<const std::uint8_t> value);

// 7-bit packed characters (one byte each after Decompress) as the UTF-16LE text they stand for.
std::vector<std::uint8_t> WidenToUtf16Le(std::span<const std::uint8_t> characters);

// A long-value segment stored compressed, unpacked to the `size` bytes it stands for: 7-bit
// packed UTF-16 characters (header 0x10-0x17) come back as UTF-16LE. None when the segment does
// not unpack to exactly that size.
std::optional<std::vector<std::uint8_t>> DecompressSegment(std::span<const std::uint8_t> stored,
                                                           std::uint64_t size);

// The value as text for text columns. UTF-16 little-endian where the value holds it, else
// 8-bit text.
std::optional<std::u16string> DecompressedText(std::span<const std::uint8_t> value);

}  // namespace tarvex
