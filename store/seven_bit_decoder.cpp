#include "store/seven_bit_decoder.h"

#include <limits>

namespace tarvex {
namespace {

constexpr std::size_t kMaxValueSize = std::numeric_limits<std::int32_t>::max();

// Every whole 7-bit group in the packed bytes.
std::size_t PackedCharacterCount(std::size_t packed_bytes) {
  return packed_bytes * 8 / 7;
}

// The character that starts at `bit` of the packed stream; bits past the end read as 0.
std::uint8_t CharacterAt(std::span<const std::uint8_t> packed, std::size_t bit) {
  const std::size_t index = bit / 8;
  const unsigned shift = static_cast<unsigned>(bit % 8);
  unsigned bits = packed[index] >> shift;
  if (index + 1 < packed.size()) bits |= static_cast<unsigned>(packed[index + 1]) << (8 - shift);
  return static_cast<std::uint8_t>(bits & 0x7F);
}

// Header bytes 0x08-0x17 are the engine's own 7-bit forms; their low three bits hold the
// number of bits used in the last packed byte, minus one. When that byte is only partly used,
// the whole-group count can exceed the real count by one character made of padding (a text of
// 7, 15, 23... characters). Such a character is all zero; a non-zero one is real data.
bool EndsInPaddingCharacter(std::span<const std::uint8_t> value, std::size_t count) {
  const std::uint8_t header = value[0];
  if (header < 0x08 || header > 0x17 || count == 0) return false;
  const std::span<const std::uint8_t> packed = value.subspan(1);
  const std::size_t used_bits = (packed.size() - 1) * 8 + (header & 0x07u) + 1;
  if (used_bits / 7 >= count) return false;
  return CharacterAt(packed, (count - 1) * 7) == 0;
}

bool ValidSize(std::span<const std::uint8_t> value) {
  return !value.empty() && value.size() <= kMaxValueSize;
}

// Whatever is left above the last whole group must be clear.
bool PaddingIsClear(std::span<const std::uint8_t> packed, std::size_t count) {
  const std::size_t first_spare_bit = count * 7;
  const std::size_t total_bits = packed.size() * 8;
  if (first_spare_bit >= total_bits) return true;
  const std::uint8_t last = packed.back();
  const unsigned spare = static_cast<unsigned>(total_bits - first_spare_bit);
  return (last >> (8 - spare)) == 0;
}

}  // namespace

std::optional<std::size_t> SevenBitDecodedSize(std::span<const std::uint8_t> value) {
  if (!ValidSize(value)) return std::nullopt;
  const std::span<const std::uint8_t> packed = value.subspan(1);
  std::size_t count = PackedCharacterCount(packed.size());
  if (!PaddingIsClear(packed, count)) return std::nullopt;
  if (EndsInPaddingCharacter(value, count)) --count;
  return count;
}

std::optional<std::vector<std::uint8_t>> DecodeSevenBit(std::span<const std::uint8_t> value) {
  const std::optional<std::size_t> size = SevenBitDecodedSize(value);
  if (!size) return std::nullopt;
  std::vector<std::uint8_t> output;
  output.reserve(*size);
  unsigned buffer = 0;
  unsigned held_bits = 0;
  for (const std::uint8_t byte : value.subspan(1)) {
    buffer |= static_cast<unsigned>(byte) << held_bits;
    held_bits += 8;
    while (held_bits >= 7 && output.size() < *size) {
      output.push_back(static_cast<std::uint8_t>(buffer & 0x7Fu));
      buffer >>= 7;
      held_bits -= 7;
    }
    if (output.size() == *size) break;
  }
  return output;
}

}  // namespace tarvex
