#pragma once

// Packs values the way the engine stores small compressible columns: a header byte, then the
// 7-bit characters as one continuous stream, the first in the lowest bits of the first byte.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace tarvex::edbforge {

enum class SevenBitForm {
  // Header 0x08-0x0F: 8-bit text and binary data, one character per byte, as the engine
  // writes them.
  kEightBit,
  // Header 0x10-0x17: text whose UTF-16 units are all below 0x80, one character per unit.
  kUnicode,
  // Header 0x00-0x07: the text's UTF-16LE bytes packed byte by byte (a form read as UTF-16).
  kUtf16Bytes,
};

// The header's low three bits hold the number of bits used in the last packed byte, minus
// one, as the engine writes them. None when some character (in kUtf16Bytes: some byte of the
// UTF-16LE text) is 0x80 or above.
std::optional<std::vector<std::uint8_t>> EncodeSevenBit(std::span<const std::uint8_t> data);
std::optional<std::vector<std::uint8_t>> EncodeSevenBitText(std::u16string_view text,
                                                            SevenBitForm form);

}  // namespace tarvex::edbforge
