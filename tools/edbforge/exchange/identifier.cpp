#include "tools/edbforge/exchange/identifier.h"

#include <cstdio>

#include "base/utf16_text.h"

namespace tarvex::edbforge {
namespace {

std::optional<uint64_t> ParseHex(std::u16string_view digits, size_t max_digits) {
  if (digits.empty() || digits.size() > max_digits) return std::nullopt;
  uint64_t value = 0;
  for (char16_t unit : digits) {
    uint64_t digit = 0;
    if (unit >= u'0' && unit <= u'9') {
      digit = static_cast<uint64_t>(unit - u'0');
    } else if (unit >= u'a' && unit <= u'f') {
      digit = static_cast<uint64_t>(unit - u'a' + 10);
    } else if (unit >= u'A' && unit <= u'F') {
      digit = static_cast<uint64_t>(unit - u'A' + 10);
    } else {
      return std::nullopt;
    }
    value = (value << 4) | digit;
  }
  return value;
}

std::u16string Hex(uint64_t value, bool upper) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, upper ? "%llX" : "%llx",
                static_cast<unsigned long long>(value));
  return FromAscii(buffer);
}

uint64_t BigEndianValue(const Identifier& id) {
  uint64_t value = 0;
  for (uint8_t byte : id.bytes) value = (value << 8) | byte;
  return value;
}

}  // namespace

Identifier MakeIdentifier(uint32_t replica, uint64_t counter) {
  Identifier id;
  id.bytes[0] = static_cast<uint8_t>(replica);
  id.bytes[1] = static_cast<uint8_t>(replica >> 8);
  for (size_t i = 0; i < 6; ++i) id.bytes[7 - i] = static_cast<uint8_t>(counter >> (8 * i));
  return id;
}

std::optional<Identifier> ParseIdentifier(std::u16string_view text) {
  if (text.starts_with(u"0x") || text.starts_with(u"0X")) {
    const std::optional<uint64_t> value = ParseHex(text.substr(2), 16);
    if (!value) return std::nullopt;
    Identifier id;
    for (size_t i = 0; i < 8; ++i) id.bytes[7 - i] = static_cast<uint8_t>(*value >> (8 * i));
    return id;
  }
  const size_t dash = text.find(u'-');
  if (dash == std::u16string_view::npos) return std::nullopt;
  const std::optional<uint64_t> replica = ParseHex(text.substr(0, dash), 4);
  const std::optional<uint64_t> counter = ParseHex(text.substr(dash + 1), 12);
  if (!replica || !counter) return std::nullopt;
  return MakeIdentifier(static_cast<uint32_t>(*replica), *counter);
}

std::u16string IdentifierHexText(const Identifier& id) {
  return Hex(BigEndianValue(id), false);
}

std::optional<std::u16string> ContentTableName(const Identifier& id) {
  const std::u16string text = ToAsciiUpper(IdentifierHexText(id));
  if (text.size() < 15) return std::nullopt;
  const size_t split = text.size() - 14;
  std::u16string counter = text.substr(split);
  const size_t first = counter.find_first_not_of(u'0');
  counter = first == std::u16string::npos ? u"0" : counter.substr(first);
  return text.substr(0, split) + u"-" + counter;
}

std::u16string ReplicaCounterText(const Identifier& id) {
  uint64_t counter = 0;
  for (size_t i = 2; i < 8; ++i) counter = (counter << 8) | id.bytes[i];
  // The replica part is shown as the reader of that store shows it: the two bytes swapped to
  // the top of a 64-bit number, of whose digits only the leading ones up to the first zeros
  // are kept. Replica 1 gives "1", replica 0x12 gives "12".
  const std::u16string digits =
      Hex((uint64_t{id.bytes[1]} << 56) | (uint64_t{id.bytes[0]} << 48), false);
  auto zero_at = [&digits](size_t index) { return index < digits.size() && digits[index] == u'0'; };
  size_t keep = 2;
  if (!zero_at(3)) {
    keep = 4;
  } else if (!zero_at(2)) {
    keep = 3;
  } else if (zero_at(1)) {
    keep = 1;
  }
  return digits.substr(0, keep) + u"-" + Hex(counter, true);
}

}  // namespace tarvex::edbforge
