#include "base/terminal_text.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "base/utf_conversion.h"

namespace tarvex {
namespace {

// Characters that are not shown but change how the terminal shows what follows.
bool IsFormatControl(char16_t unit) {
  return (unit >= 0x80 && unit <= 0x9F) || unit == 0x061C || unit == 0x200E || unit == 0x200F ||
         (unit >= 0x2028 && unit <= 0x202E) || (unit >= 0x2066 && unit <= 0x2069);
}

void AppendEscape(std::u16string& shown, const char* format, unsigned value) {
  char escape[8];
  std::snprintf(escape, sizeof escape, format, value);
  for (const char* c = escape; *c != '\0'; ++c) shown.push_back(static_cast<char16_t>(*c));
}

// The code point of the UTF-8 sequence at `at` and its length; {0, 1} for a byte that starts
// none of the sequences IsFormatControl looks at.
std::pair<char16_t, std::size_t> FormatControlAt(std::string_view utf8, std::size_t at) {
  const auto byte = [&](std::size_t i) {
    return at + i < utf8.size() ? static_cast<unsigned char>(utf8[at + i]) : 0u;
  };
  if (byte(0) == 0x7F) return {0x7F, 1};
  if ((byte(0) & 0xE0) == 0xC0 && (byte(1) & 0xC0) == 0x80) {
    const auto unit = static_cast<char16_t>((byte(0) & 0x1F) << 6 | (byte(1) & 0x3F));
    if (IsFormatControl(unit)) return {unit, 2};
  }
  if ((byte(0) & 0xF0) == 0xE0 && (byte(1) & 0xC0) == 0x80 && (byte(2) & 0xC0) == 0x80) {
    const auto unit =
        static_cast<char16_t>((byte(0) & 0x0F) << 12 | (byte(1) & 0x3F) << 6 | (byte(2) & 0x3F));
    if (IsFormatControl(unit)) return {unit, 3};
  }
  return {0, 1};
}

}  // namespace

std::string TerminalSafeJson(std::string_view json) {
  std::string safe;
  safe.reserve(json.size());
  for (std::size_t at = 0; at < json.size();) {
    const auto [unit, length] = FormatControlAt(json, at);
    if (unit == 0) {
      safe.push_back(json[at++]);
      continue;
    }
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(unit));
    safe += escape;
    at += length;
  }
  return safe;
}

std::string TerminalText(std::u16string_view text, LineBreaks line_breaks) {
  // Printable ASCII, the most common text, is shown as it is.
  if (std::all_of(text.begin(), text.end(),
                  [](char16_t unit) { return unit >= 0x20 && unit < 0x7F; })) {
    return std::string(text.begin(), text.end());
  }
  std::u16string shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    const bool kept = line_breaks == LineBreaks::kKept;
    if (unit == u'\n') {
      shown += kept ? u"\n" : u"\\n";
    } else if (unit == u'\r' && kept && i + 1 < text.size() && text[i + 1] == u'\n') {
      continue;  // a CR LF line end is one line end
    } else if (unit == u'\r') {
      shown += u"\\r";
    } else if (unit == u'\t') {
      shown += u"\\t";
    } else if (unit < 0x20 || unit == 0x7F) {
      AppendEscape(shown, "\\x%02x", unit);
    } else if (IsFormatControl(unit)) {
      AppendEscape(shown, "\\u%04x", unit);
    } else {
      shown.push_back(unit);
    }
  }
  return Utf16ToUtf8(shown);
}

std::string TerminalText(std::string_view utf8, LineBreaks line_breaks) {
  return TerminalText(Utf8ToUtf16(utf8), line_breaks);
}

}  // namespace tarvex
