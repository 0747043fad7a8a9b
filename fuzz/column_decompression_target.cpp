// One compressed column value (7-bit when it does not lead with 0x18, LZXPRESS when it does)
// through the three ways the program decodes it, which must agree.

#include <optional>
#include <string>
#include <vector>

#include "fuzz/checks.h"
#include "fuzz/targets.h"
#include "store/column_decompression.h"
#include "store/lzxpress_decoder.h"

namespace tarvex::fuzz {

int FuzzColumnDecompression(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> value(data, size);
  const std::optional<std::vector<std::uint8_t>> bytes = Decompress(value);
  const std::optional<std::u16string> text = DecompressedText(value);
  const std::optional<std::size_t> foretold = DecompressedSize(value);
  Require(bytes.has_value() == text.has_value(), "bytes and text decode alike");
  if (!bytes) return 0;
  Require(foretold == bytes->size(), "the size foretold is the size decoded");
  if (value[0] != kLzxpressLeadByte) {
    for (const std::uint8_t byte : *bytes) Require(byte < 0x80, "7-bit characters stay below 128");
  }
  return 0;
}

}  // namespace tarvex::fuzz
