#pragma once

// Renderings of stored bytes as the texts the program shows, matches and exports.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tarvex {

enum class ByteOrder { kBigEndian, kLittleEndian };

// Keeps the bytes "-", " ", "/", "#", "&", "\", ".", 0x30-0x5A and 0x5F-0x7A as characters of the
// same code; every other byte is dropped. Used where binary data must become readable text.
std::u16string PrintableFilter(std::span<const std::uint8_t> bytes);

// Two lower-case hexadecimal digits per byte, no separator.
std::u16string HexText(std::span<const std::uint8_t> bytes);

// UTF-16 units with each zero unit turned into one blank.
std::u16string Utf16ZerosToBlanks(std::u16string_view units);

// 8 bytes as one number in the given byte order.
std::uint64_t ReadUint64(std::span<const std::uint8_t, 8> bytes, ByteOrder order);

// The same digits of a number, written into `room` (no text made): a view of them there.
using IdentifierDigits = std::array<char16_t, 16>;
std::u16string_view LowerHexInto(std::uint64_t value, IdentifierDigits& room);

// Lower-case hexadecimal without leading zeros ("4fd").
std::u16string IdentifierText(std::span<const std::uint8_t, 8> bytes, ByteOrder order);

// The identifier form of the 2010 public store (format revision 17): the replica part taken
// from the first two bytes, "-", the rest in upper case ("1-4FD").
std::u16string AlternativeIdentifierText(std::span<const std::uint8_t, 8> bytes, ByteOrder order);

// "Jan,05 2010 09:03:07" in UTC. A FILETIME beyond what a calendar date can hold gives
// "(0x" + high 32 bits + " 0x" + low 32 bits + ")", cut to its first 21 characters.
std::u16string DateText(std::uint64_t filetime);

}  // namespace tarvex
