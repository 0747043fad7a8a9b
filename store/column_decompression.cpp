#include "store/column_decompression.h"

#include <limits>
#include <string_view>

#include "base/code_page_1252.h"
#include "base/utf_conversion.h"
#include "store/lzxpress_decoder.h"
#include "store/seven_bit_decoder.h"

namespace tarvex {
namespace {

constexpr std::size_t kMaxValueSize = std::numeric_limits<std::int32_t>::max();

bool IsLzxpress(std::span<const std::uint8_t> value) {
  return !value.empty() && value[0] == kLzxpressLeadByte;
}

// The engine's other stored forms, scrubbed data (0x20), Xpress9 (0x28) and Xpress10 (0x30),
// are no 7-bit packing: unpacked they would give noise, so they are refused.
bool IsOtherEngineForm(std::span<const std::uint8_t> value) {
  return !value.empty() && value[0] >= 0x20 && value[0] <= 0x37;
}

// The engine packs 8-bit text and binary data as 7-bit with a header byte of 0x08-0x0F (its
// low bits count the bits in the last byte). Such bytes are characters, never UTF-16 units,
// whatever their count.
bool IsSevenBitOfEightBitCharacters(std::uint8_t header) {
  return header >= 0x08 && header <= 0x0F;
}

bool HoldsUtf16(std::span<const std::uint8_t> value, std::size_t decoded_size) {
  if (decoded_size % 2 != 0) return false;
  const std::uint8_t header = value[0];
  if (header == kLzxpressLeadByte) return true;
  return (header & 0x10) == 0 && !IsSevenBitOfEightBitCharacters(header);
}

std::string_view AsChars(const std::vector<std::uint8_t>& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::optional<std::u16string> Utf16WithByteOrderMark(std::string_view bytes) {
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE')
    bytes.remove_prefix(2);
  else if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF') {
    std::string swapped(bytes.substr(2));
    for (std::size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
    return DecodeUtf16LeStrict(swapped);
  }
  return DecodeUtf16LeStrict(bytes);
}

}  // namespace

std::optional<std::size_t> DecompressedSize(std::span<const std::uint8_t> value) {
  if (value.empty() || value.size() > kMaxValueSize || IsOtherEngineForm(value)) {
    return std::nullopt;
  }
  if (IsLzxpress(value)) return LzxpressDecodedSize(value);
  return SevenBitDecodedSize(value);
}

std::optional<std::vector<std::uint8_t>> Decompress(std::span<const std::uint8_t> value) {
  if (value.empty() || value.size() > kMaxValueSize || IsOtherEngineForm(value)) {
    return std::nullopt;
  }
  if (IsLzxpress(value)) return DecodeLzxpress(value);
  return DecodeSevenBit(value);
}

std::vector<std::uint8_t> WidenToUtf16Le(std::span<const std::uint8_t> characters) {
  std::vector<std::uint8_t> wide;
  wide.reserve(2 * characters.size());
  for (std::uint8_t character : characters) {
    wide.push_back(character);
    wide.push_back(0);
  }
  return wide;
}

std::optional<std::vector<std::uint8_t>> DecompressSegment(std::span<const std::uint8_t> stored,
                                                           std::uint64_t size) {
  std::optional<std::vector<std::uint8_t>> bytes = Decompress(stored);
  if (!bytes) return std::nullopt;
  const bool seven_bit_unicode = stored[0] >= 0x10 && stored[0] <= 0x17;
  if (seven_bit_unicode && bytes->size() * 2 == size) return WidenToUtf16Le(*bytes);
  if (bytes->size() != size) return std::nullopt;
  return bytes;
}

std::optional<std::u16string> DecompressedText(std::span<const std::uint8_t> value) {
  const std::optional<std::vector<std::uint8_t>> bytes = Decompress(value);
  if (!bytes) return std::nullopt;
  const std::string_view chars = AsChars(*bytes);
  if (HoldsUtf16(value, bytes->size())) {
    if (std::optional<std::u16string> text = Utf16WithByteOrderMark(chars)) return text;
  }
  if (std::optional<std::u16string> text = DecodeUtf8Strict(chars)) return text;
  // Not UTF-8 either: 8-bit text in the system code page, which maps every byte.
  return Windows1252ToUtf16(chars);
}

}  // namespace tarvex
