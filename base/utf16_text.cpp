#include "base/utf16_text.h"

#include <bit>
#include <cstring>

namespace tarvex {

void ReplaceAll(std::u16string& text, std::u16string_view from, std::u16string_view to) {
  if (from.empty()) return;
  std::u16string result;
  std::size_t start = 0;
  std::size_t found = text.find(from);
  if (found == std::u16string::npos) return;
  result.reserve(text.size());
  while (found != std::u16string::npos) {
    result.append(text, start, found - start);
    result.append(to);
    start = found + from.size();
    found = text.find(from, start);
  }
  result.append(text, start, std::u16string::npos);
  text = std::move(result);
}

std::u16string ReplacedAll(std::u16string_view text, std::u16string_view from,
                           std::u16string_view to) {
  std::u16string result(text);
  ReplaceAll(result, from, to);
  return result;
}

std::u16string Trim(std::u16string_view text, std::u16string_view characters) {
  const std::size_t first = text.find_first_not_of(characters);
  if (first == std::u16string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(characters);
  return std::u16string(text.substr(first, last - first + 1));
}

void TrimInPlace(std::u16string& text, std::u16string_view characters) {
  const std::size_t last = text.find_last_not_of(characters);
  text.erase(last == std::u16string::npos ? 0 : last + 1);
  text.erase(0, std::min(text.find_first_not_of(characters), text.size()));
}

char16_t ToAsciiUpper(char16_t unit) {
  return (unit >= u'a' && unit <= u'z') ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
}

std::u16string ToAsciiUpper(std::u16string_view text) {
  std::u16string result(text);
  for (char16_t& unit : result) unit = ToAsciiUpper(unit);
  return result;
}

bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (ToAsciiUpper(a[i]) != ToAsciiUpper(b[i])) return false;
  }
  return true;
}

bool StartsWithIgnoringAsciiCase(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() &&
         EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

std::vector<std::u16string> Split(std::u16string_view text, char16_t separator) {
  std::vector<std::u16string> pieces;
  std::size_t start = 0;
  while (true) {
    const std::size_t found = text.find(separator, start);
    if (found == std::u16string_view::npos) {
      pieces.emplace_back(text.substr(start));
      return pieces;
    }
    pieces.emplace_back(text.substr(start, found - start));
    start = found + 1;
  }
}

std::size_t FindUnit(std::u16string_view text, char16_t unit, std::size_t from) {
  if constexpr (std::endian::native != std::endian::little) return text.find(unit, from);
  // The unit's low byte, then whether it begins the unit itself: a unit's low byte comes first.
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = 2 * text.size();
  const int low = unit & 0xFF;
  for (std::size_t at = 2 * from; at < size;) {
    const void* found = std::memchr(bytes + at, low, size - at);
    if (found == nullptr) break;
    const auto offset = static_cast<std::size_t>(static_cast<const unsigned char*>(found) - bytes);
    if (offset % 2 == 0 && text[offset / 2] == unit) return offset / 2;
    at = offset + 1;
  }
  return std::u16string_view::npos;
}

std::u16string FromAscii(std::string_view ascii) {
  std::u16string result;
  result.reserve(ascii.size());
  for (char c : ascii) result.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
  return result;
}

std::u16string EscapeHtml(std::u16string_view text) {
  std::u16string escaped;
  escaped.reserve(text.size());
  for (char16_t unit : text) {
    switch (unit) {
      case u'&':
        escaped += u"&amp;";
        break;
      case u'<':
        escaped += u"&lt;";
        break;
      case u'>':
        escaped += u"&gt;";
        break;
      case u'"':
        escaped += u"&quot;";
        break;
      case u'\'':
        escaped += u"&#39;";
        break;
      default:
        escaped.push_back(unit);
    }
  }
  return escaped;
}

}  // namespace tarvex
