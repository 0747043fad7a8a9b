#include "output/mime_encoding.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "base/utf16_text.h"
#include "base/utf_conversion.h"

namespace tarvex {
namespace {

constexpr std::string_view kBase64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
// 57 bytes make one full line of 76 base64 characters.
constexpr std::size_t kBytesPerBase64Line = 57;
// 39 bytes give 52 base64 characters: with "=?utf-8?B?" and "?=" a word of 64 characters,
// below the 75 that RFC 2047 allows, and short enough to fit a header line.
constexpr std::size_t kBytesPerEncodedWord = 39;
// Percent-encoded characters per RFC 2231 continuation line.
constexpr std::size_t kCharactersPerContinuation = 60;

std::string Base64(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t group =
        static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16 |
        static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8 |
        static_cast<unsigned char>(bytes[i + 2]);
    out.push_back(kBase64Alphabet[group >> 18 & 0x3F]);
    out.push_back(kBase64Alphabet[group >> 12 & 0x3F]);
    out.push_back(kBase64Alphabet[group >> 6 & 0x3F]);
    out.push_back(kBase64Alphabet[group & 0x3F]);
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    std::uint32_t group = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (rest == 2)
      group |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    out.push_back(kBase64Alphabet[group >> 18 & 0x3F]);
    out.push_back(kBase64Alphabet[group >> 12 & 0x3F]);
    out.push_back(rest == 2 ? kBase64Alphabet[group >> 6 & 0x3F] : '=');
    out.push_back('=');
  }
  return out;
}

bool IsPlainHeaderUnit(char16_t unit) {
  return (unit >= 0x20 && unit < 0x7F) || unit == u'\t';
}

bool IsBlank(char16_t unit) {
  return unit == u' ' || unit == u'\t';
}

// A word must be encoded when it is not plain, or when a reader would take it for an
// encoded-word of its own.
bool WordNeedsEncoding(std::u16string_view word) {
  return !IsPlainHeaderText(word) || word.find(u"=?") != std::u16string_view::npos;
}

// Cuts UTF-8 into pieces of at most `limit` bytes without splitting a character.
std::vector<std::string_view> Utf8Pieces(std::string_view utf8, std::size_t limit) {
  std::vector<std::string_view> pieces;
  while (!utf8.empty()) {
    std::size_t size = std::min(limit, utf8.size());
    if (size < utf8.size()) {
      std::size_t cut = size;
      while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) --cut;
      // A run of continuation bytes longer than the limit is ill-formed; cut it anywhere.
      if (cut > 0) size = cut;
    }
    pieces.push_back(utf8.substr(0, size));
    utf8.remove_prefix(size);
  }
  return pieces;
}

std::u16string EncodedWords(std::u16string_view text, std::u16string_view separator) {
  const std::string utf8 = Utf16ToUtf8(text);
  std::u16string out;
  for (std::string_view piece : Utf8Pieces(utf8, kBytesPerEncodedWord)) {
    if (!out.empty()) out += separator;
    out += u"=?utf-8?B?";
    out += FromAscii(Base64(piece));
    out += u"?=";
  }
  return out;
}

std::u16string EncodeAddressEntry(std::u16string_view entry) {
  if (IsPlainHeaderText(entry)) return std::u16string(entry);
  const std::size_t open = entry.rfind(u'<');
  if (open == std::u16string_view::npos || entry.find(u'>', open) == std::u16string_view::npos) {
    return EncodeHeaderText(entry);
  }
  const std::u16string_view name = entry.substr(0, open);
  std::u16string encoded = EncodeHeaderText(name);
  // An encoded-word must be set apart from the address that follows it.
  if (encoded != name && encoded.ends_with(u"?=")) encoded.push_back(u' ');
  encoded += entry.substr(open);
  return encoded;
}

bool IsAttributeCharacter(unsigned char byte) {
  if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
      (byte >= '0' && byte <= '9')) {
    return true;
  }
  return std::string_view("!#$&+-.^_`|~").find(static_cast<char>(byte)) != std::string_view::npos;
}

std::u16string QuotedParameter(std::u16string_view attribute, std::u16string_view value) {
  std::u16string line = u"\t";
  line += attribute;
  line += u"=\"";
  for (char16_t unit : value) {
    if (unit == u'"' || unit == u'\\') line.push_back(u'\\');
    line.push_back(unit);
  }
  line += u"\"";
  return line;
}

}  // namespace

std::string Base64Lines(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4 + (bytes.size() / kBytesPerBase64Line + 1) * 2);
  while (!bytes.empty()) {
    const std::size_t size = std::min(kBytesPerBase64Line, bytes.size());
    out += Base64(bytes.substr(0, size));
    out += "\r\n";
    bytes.remove_prefix(size);
  }
  return out;
}

bool IsPlainHeaderText(std::u16string_view text) {
  for (char16_t unit : text) {
    if (!IsPlainHeaderUnit(unit)) return false;
  }
  return true;
}

std::u16string EncodeHeaderText(std::u16string_view value) {
  if (IsPlainHeaderText(value)) return std::u16string(value);
  std::size_t first_start = std::u16string_view::npos;
  std::size_t last_end = 0;
  std::size_t i = 0;
  while (i < value.size()) {
    if (IsBlank(value[i])) {
      ++i;
      continue;
    }
    const std::size_t start = i;
    while (i < value.size() && !IsBlank(value[i])) ++i;
    if (WordNeedsEncoding(value.substr(start, i - start))) {
      if (first_start == std::u16string_view::npos) first_start = start;
      last_end = i;
    }
  }
  if (first_start == std::u16string_view::npos) return std::u16string(value);
  std::u16string out(value.substr(0, first_start));
  // Folding between the words keeps the lines short; readers drop the blank between
  // adjacent encoded-words.
  out += EncodedWords(value.substr(first_start, last_end - first_start), u"\r\n ");
  out += value.substr(last_end);
  return out;
}

std::u16string EncodeAddressHeader(std::u16string_view value) {
  if (IsPlainHeaderText(value)) return std::u16string(value);
  std::u16string out;
  bool first = true;
  for (const std::u16string& entry : Split(value, u',')) {
    if (!first) out.push_back(u',');
    first = false;
    out += EncodeAddressEntry(entry);
  }
  return out;
}

std::u16string FileNameParameter(std::u16string_view attribute, std::u16string_view file_name) {
  if (IsPlainHeaderText(file_name)) return QuotedParameter(attribute, file_name);

  std::string encoded;
  for (char c : Utf16ToUtf8(file_name)) {
    const auto byte = static_cast<unsigned char>(c);
    if (IsAttributeCharacter(byte)) {
      encoded.push_back(c);
    } else {
      static constexpr std::string_view kHex = "0123456789ABCDEF";
      encoded.push_back('%');
      encoded.push_back(kHex[byte >> 4]);
      encoded.push_back(kHex[byte & 0x0F]);
    }
  }
  const std::u16string prefix = u"utf-8''";
  if (encoded.size() <= kCharactersPerContinuation) {
    return u"\t" + std::u16string(attribute) + u"*=" + prefix + FromAscii(encoded);
  }
  std::u16string lines;
  std::size_t number = 0;
  std::string_view rest = encoded;
  while (!rest.empty()) {
    std::size_t size = std::min(kCharactersPerContinuation, rest.size());
    // Never cut a %XX triplet.
    if (size < rest.size()) {
      if (size >= 1 && rest[size - 1] == '%') {
        size -= 1;
      } else if (size >= 2 && rest[size - 2] == '%') {
        size -= 2;
      }
    }
    if (number > 0) lines += u";\r\n";
    lines += u"\t" + std::u16string(attribute) + u"*" + FromAscii(std::to_string(number)) + u"*=";
    if (number == 0) lines += prefix;
    lines += FromAscii(rest.substr(0, size));
    rest.remove_prefix(size);
    ++number;
  }
  return lines;
}

std::u16string EncodedWordParameter(std::u16string_view attribute, std::u16string_view file_name) {
  if (IsPlainHeaderText(file_name)) return QuotedParameter(attribute, file_name);
  // Folding inside the quotes keeps the line short; readers drop the blank between the words.
  return QuotedParameter(attribute, EncodedWords(file_name, u"\r\n\t"));
}

}  // namespace tarvex
