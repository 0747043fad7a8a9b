#include "content/body_text_encoding.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "base/code_page_1252.h"
#include "base/utf_conversion.h"

namespace tarvex {
namespace {

// Enough of the value to recognise UTF-16 by its zero high bytes.
constexpr std::size_t kSniffBytes = 1024;
// The units a body file's reading looks at for a zero high byte.
constexpr std::size_t kFileSniffUnits = 128;

std::u16string Utf16LeUntilNul(std::span<const std::uint8_t> bytes) {
  std::u16string text;
  text.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto unit = static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
    if (unit == 0) break;
    text.push_back(unit);
  }
  return text;
}

std::string_view BytesUntilNul(std::span<const std::uint8_t> bytes) {
  const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
  return {reinterpret_cast<const char*>(bytes.data()),
          static_cast<std::size_t>(end - bytes.begin())};
}

// UTF-16LE markup has a zero high byte in every ASCII unit, so zeros at odd offsets; 8-bit
// text has no zero before its terminator, and at most junk after it.
bool LooksLikeUtf16Le(std::span<const std::uint8_t> bytes) {
  const std::size_t examined = std::min(bytes.size(), kSniffBytes);
  std::size_t odd_zeros = 0;
  std::size_t even_zeros = 0;
  for (std::size_t i = 0; i < examined; ++i) {
    if (bytes[i] == 0) ++(i % 2 == 1 ? odd_zeros : even_zeros);
  }
  return odd_zeros >= 2 && odd_zeros > 4 * even_zeros;
}

}  // namespace

std::u16string DecodeBodyBytes(std::span<const std::uint8_t> bytes) {
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    return Utf16LeUntilNul(bytes.subspan(2));
  }
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    return Utf8ToUtf16(BytesUntilNul(bytes.subspan(3)));
  }
  if (LooksLikeUtf16Le(bytes)) return Utf16LeUntilNul(bytes);
  const std::string_view text = BytesUntilNul(bytes);
  if (std::optional<std::u16string> decoded = DecodeUtf8Strict(text)) return *decoded;
  return Windows1252ToUtf16(text);
}

std::u16string BodyFileText(const std::string& bytes) {
  if (bytes.starts_with("\xFF\xFE")) {
    return DecodeUtf16LeStrict(bytes.substr(2)).value_or(std::u16string());
  }
  bool zero_in_odd_byte = false;
  for (std::size_t i = 1; i < bytes.size() && i < 2 * kFileSniffUnits; i += 2) {
    zero_in_odd_byte |= bytes[i] == 0;
  }
  if (zero_in_odd_byte && bytes.size() % 2 == 0) {
    if (std::optional<std::u16string> text = DecodeUtf16LeStrict(bytes)) return *text;
  }
  if (std::optional<std::u16string> text = DecodeUtf8Strict(bytes)) return *text;
  return Windows1252ToUtf16(bytes);
}

bool ReadsBackAsWritten(std::u16string_view text) {
  if (text.empty()) return true;
  if (text.front() == u'\xFEFF') return false;
  const std::u16string_view sniffed = text.substr(0, kFileSniffUnits);
  return std::any_of(sniffed.begin(), sniffed.end(), [](char16_t unit) { return unit < 0x100; }) &&
         !HasSurrogate(text);
}

}  // namespace tarvex
