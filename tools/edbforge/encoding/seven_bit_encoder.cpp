#include "tools/edbforge/encoding/seven_bit_encoder.h"

namespace tarvex::edbforge {
namespace {

std::uint8_t FormBase(SevenBitForm form) {
  switch (form) {
    case SevenBitForm::kEightBit:
      return 0x08;
    case SevenBitForm::kUnicode:
      return 0x10;
    case SevenBitForm::kUtf16Bytes:
      return 0x00;
  }
  return 0x08;
}

template <typename Character>
std::optional<std::vector<std::uint8_t>> Pack(std::span<const Character> characters,
                                              std::uint8_t form_base) {
  std::vector<std::uint8_t> packed;
  packed.reserve(1 + (characters.size() * 7 + 7) / 8);
  packed.push_back(form_base);
  unsigned buffer = 0;
  unsigned held_bits = 0;
  for (const Character character : characters) {
    if (static_cast<unsigned>(character) >= 0x80) return std::nullopt;
    buffer |= static_cast<unsigned>(character) << held_bits;
    held_bits += 7;
    if (held_bits >= 8) {
      packed.push_back(static_cast<std::uint8_t>(buffer & 0xFFu));
      buffer >>= 8;
      held_bits -= 8;
    }
  }
  unsigned last_byte_bits = 8;
  if (held_bits > 0) {
    packed.push_back(static_cast<std::uint8_t>(buffer));
    last_byte_bits = held_bits;
  }
  packed[0] = static_cast<std::uint8_t>(form_base | (last_byte_bits - 1));
  return packed;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> EncodeSevenBit(std::span<const std::uint8_t> data) {
  return Pack(data, FormBase(SevenBitForm::kEightBit));
}

std::optional<std::vector<std::uint8_t>> EncodeSevenBitText(std::u16string_view text,
                                                            SevenBitForm form) {
  if (form != SevenBitForm::kUtf16Bytes) {
    return Pack(std::span<const char16_t>(text.data(), text.size()), FormBase(form));
  }
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() * 2);
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return Pack(std::span<const std::uint8_t>(bytes), FormBase(form));
}

}  // namespace tarvex::edbforge
