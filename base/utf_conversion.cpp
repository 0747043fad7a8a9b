#include "base/utf_conversion.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace tarvex {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

void AppendUtf8(std::string& out, char32_t code_point) {
  auto put = [&out](std::uint32_t byte) { out.push_back(static_cast<char>(byte)); };
  if (code_point < 0x80) {
    put(code_point);
  } else if (code_point < 0x800) {
    put(0xC0 | (code_point >> 6));
    put(0x80 | (code_point & 0x3F));
  } else if (code_point < 0x10000) {
    put(0xE0 | (code_point >> 12));
    put(0x80 | ((code_point >> 6) & 0x3F));
    put(0x80 | (code_point & 0x3F));
  } else {
    put(0xF0 | (code_point >> 18));
    put(0x80 | ((code_point >> 12) & 0x3F));
    put(0x80 | ((code_point >> 6) & 0x3F));
    put(0x80 | (code_point & 0x3F));
  }
}

void AppendUtf16(std::u16string& out, char32_t code_point) {
  if (code_point < 0x10000) {
    out.push_back(static_cast<char16_t>(code_point));
  } else {
    code_point -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (code_point >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (code_point & 0x3FF)));
  }
}

// Reads one UTF-8 sequence at `pos`; returns nullopt for an ill-formed one and advances
// `pos` past the bytes that were looked at (at least one).
std::optional<char32_t> NextUtf8(std::string_view bytes, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(bytes[pos++]);
  if (lead < 0x80) return lead;
  int trailing = 0;
  char32_t code_point = 0;
  char32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    trailing = 1, code_point = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    trailing = 2, code_point = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    trailing = 3, code_point = lead & 0x07, minimum = 0x10000;
  } else {
    return std::nullopt;
  }
  for (int i = 0; i < trailing; ++i) {
    if (pos >= bytes.size()) return std::nullopt;
    const auto next = static_cast<unsigned char>(bytes[pos]);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    code_point = (code_point << 6) | (next & 0x3F);
    ++pos;
  }
  if (code_point < minimum || code_point > 0x10FFFF || IsHighSurrogate(code_point) ||
      IsLowSurrogate(code_point)) {
    return std::nullopt;
  }
  return code_point;
}

}  // namespace

void AppendAsUtf8(std::u16string_view text, std::string& out) {
  for (std::size_t i = 0; i < text.size();) {
    // A run of ASCII, the most of any text here, is copied unit for byte.
    std::size_t end = i;
    while (end < text.size() && text[end] < 0x80) ++end;
    if (end != i) {
      const std::size_t start = out.size();
      out.resize(start + (end - i));
      for (std::size_t k = i; k < end; ++k) out[start + (k - i)] = static_cast<char>(text[k]);
      i = end;
      continue;
    }
    char32_t unit = text[i++];
    if (IsHighSurrogate(unit) && i < text.size() && IsLowSurrogate(text[i])) {
      unit = 0x10000 + ((unit - 0xD800) << 10) + (text[i++] - 0xDC00);
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      unit = kReplacement;
    }
    AppendUtf8(out, unit);
  }
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendAsUtf8(text, out);
  return out;
}

namespace {

// Copies the run of ASCII bytes from `pos` on, the most of any text here, unit for byte;
// returns where the run ends.
std::size_t AppendAsciiRun(std::string_view bytes, std::size_t pos, std::u16string& out) {
  std::size_t end = pos;
  while (end < bytes.size() && static_cast<unsigned char>(bytes[end]) < 0x80) ++end;
  const std::size_t start = out.size();
  out.resize(start + (end - pos));
  for (std::size_t i = pos; i < end; ++i) {
    out[start + (i - pos)] = static_cast<unsigned char>(bytes[i]);
  }
  return end;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  std::size_t pos = 0;
  while ((pos = AppendAsciiRun(bytes, pos, out)) < bytes.size()) {
    const std::optional<char32_t> code_point = NextUtf8(bytes, pos);
    AppendUtf16(out, code_point.value_or(kReplacement));
  }
  return out;
}

std::optional<std::u16string> DecodeUtf8Strict(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  std::size_t pos = 0;
  while ((pos = AppendAsciiRun(bytes, pos, out)) < bytes.size()) {
    const std::optional<char32_t> code_point = NextUtf8(bytes, pos);
    if (!code_point) return std::nullopt;
    AppendUtf16(out, *code_point);
  }
  return out;
}

std::optional<std::u16string> DecodeUtf16LeStrict(std::string_view bytes) {
  if (bytes.size() % 2 != 0) return std::nullopt;
  std::u16string out(bytes.size() / 2, u'\0');
  if constexpr (std::endian::native == std::endian::little) {
    if (!out.empty()) std::memcpy(out.data(), bytes.data(), bytes.size());
  } else {
    for (std::size_t i = 0; i < out.size(); ++i) {
      out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    }
  }
  if (!HasSurrogate(out)) return out;
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (IsHighSurrogate(out[i])) {
      if (i + 1 >= out.size() || !IsLowSurrogate(out[i + 1])) return std::nullopt;
      ++i;
    } else if (IsLowSurrogate(out[i])) {
      return std::nullopt;
    }
  }
  return out;
}

std::string EncodeUtf16Le(std::u16string_view text) {
  std::string out(text.size() * 2, '\0');
  if constexpr (std::endian::native == std::endian::little) {
    if (!text.empty()) std::memcpy(out.data(), text.data(), out.size());
  } else {
    for (std::size_t i = 0; i < text.size(); ++i) {
      out[2 * i] = static_cast<char>(text[i] & 0xFF);
      out[2 * i + 1] = static_cast<char>(text[i] >> 8);
    }
  }
  return out;
}

bool HasSurrogate(std::u16string_view text) {
  // Surrogates are rare: four units are looked at a time. A word whose units, masked to their
  // top five bits, include D800's has one.
  constexpr std::uint64_t kTopBits = 0xF800F800F800F800ULL;
  constexpr std::uint64_t kSurrogateTop = 0xD800D800D800D800ULL;
  constexpr std::uint64_t kOnes = 0x0001000100010001ULL;
  constexpr std::uint64_t kHighs = 0x8000800080008000ULL;
  std::size_t i = 0;
  for (; i + 4 <= text.size(); i += 4) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, sizeof word);
    const std::uint64_t differs = (word & kTopBits) ^ kSurrogateTop;  // a zero unit: surrogate
    if (((differs - kOnes) & ~differs & kHighs) != 0) return true;
  }
  for (; i < text.size(); ++i) {
    if ((text[i] & 0xF800) == 0xD800) return true;
  }
  return false;
}

}  // namespace tarvex
