#include "cli/display_width.h"

#include <locale.h>
#include <wchar.h>

#include <algorithm>
#include <vector>

#include "base/terminal_text.h"

namespace tarvex::cli {
namespace {

// The C library knows the widths of the Unicode data it was built with; they are asked for
// through a UTF-8 locale of this thread only, whatever locale the program runs in. The locale
// is loaded once for the process (loading it reads its file), and stays for its life.
locale_t Utf8Locale() {
  static const locale_t kLocale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  return kLocale;
}

class Utf8CharacterWidths {
 public:
  Utf8CharacterWidths() : locale_(Utf8Locale()) {
    if (locale_ != static_cast<locale_t>(0)) previous_ = uselocale(locale_);
  }
  ~Utf8CharacterWidths() {
    if (locale_ != static_cast<locale_t>(0)) uselocale(previous_);
  }
  Utf8CharacterWidths(const Utf8CharacterWidths&) = delete;
  Utf8CharacterWidths& operator=(const Utf8CharacterWidths&) = delete;

  // Columns of one code point; a character the library cannot place takes one column.
  std::size_t Of(char32_t code_point) const {
    if (locale_ == static_cast<locale_t>(0)) return 1;
    const int width = wcwidth(static_cast<wchar_t>(code_point));
    return width < 0 ? 1 : static_cast<std::size_t>(width);
  }

 private:
  locale_t locale_;
  locale_t previous_ = static_cast<locale_t>(0);
};

struct CodePoint {
  char32_t value;
  std::size_t bytes;
};

// One code point from the start of `text`; a stray byte stands for itself.
CodePoint NextCodePoint(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  if (lead >= 0x80 && lead < 0xC0) length = 1;
  if (length > text.size()) length = 1;
  char32_t value = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[i]);
    if ((next & 0xC0) != 0x80) return {lead, 1};
    value = (value << 6) | (next & 0x3F);
  }
  return {value, length};
}

bool IsPrintableAscii(std::string_view utf8) {
  return std::all_of(utf8.begin(), utf8.end(),
                     [](char byte) { return byte >= 0x20 && byte < 0x7F; });
}

// Appends the text cut to fit, and gives the columns it then takes. Printable ASCII, most of
// what is shown, takes a column a byte; the library is asked only when a text holds more.
std::size_t AppendFitted(std::string_view utf8, std::size_t columns, std::string& out) {
  const bool ascii = IsPrintableAscii(utf8);
  const std::size_t width = ascii ? utf8.size() : DisplayWidth(utf8);
  if (width <= columns) {
    out.append(utf8);
    return width;
  }
  if (columns == 0) return 0;
  if (ascii) {
    out.append(utf8.substr(0, columns - 1)).append("\u2026");
    return columns;
  }
  const Utf8CharacterWidths widths;
  std::size_t used = 0;
  while (!utf8.empty()) {
    const CodePoint next = NextCodePoint(utf8);
    const std::size_t next_width = widths.Of(next.value);
    // One column stays free for the ellipsis; marks that follow a kept character stay on it.
    if (used + next_width > columns - 1) break;
    out.append(utf8.substr(0, next.bytes));
    used += next_width;
    utf8.remove_prefix(next.bytes);
  }
  out.append("\u2026");
  return used + 1;
}

}  // namespace

std::size_t DisplayWidth(std::string_view utf8) {
  if (IsPrintableAscii(utf8)) return utf8.size();
  const Utf8CharacterWidths widths;
  std::size_t columns = 0;
  while (!utf8.empty()) {
    const CodePoint next = NextCodePoint(utf8);
    columns += widths.Of(next.value);
    utf8.remove_prefix(next.bytes);
  }
  return columns;
}

std::string FitToWidth(std::string_view utf8, std::size_t columns) {
  std::string fitted;
  AppendFitted(utf8, columns, fitted);
  return fitted;
}

std::string PadToWidth(std::string_view utf8, std::size_t columns) {
  std::string padded;
  AppendPaddedToWidth(utf8, columns, padded);
  return padded;
}

void AppendPaddedToWidth(std::string_view utf8, std::size_t columns, std::string& out) {
  const std::size_t width = AppendFitted(utf8, columns, out);
  if (width < columns) out.append(columns - width, ' ');
}

void AppendTerminalColumn(std::u16string_view text, std::size_t columns, std::string& out) {
  // Printable ASCII and the Latin letters and signs from U+00A0 to U+02FF (names, subjects):
  // a column a unit, none of them escaped for the terminal.
  const bool one_column_each = std::all_of(text.begin(), text.end(), [](char16_t unit) {
    return (unit >= 0x20 && unit < 0x7F) || (unit >= 0xA0 && unit <= 0x2FF);
  });
  if (!one_column_each) {
    AppendPaddedToWidth(TerminalText(text), columns, out);
    return;
  }
  // Cut as AppendFitted cuts, one column kept for the ellipsis.
  const bool cut = text.size() > columns;
  const std::u16string_view kept = cut ? text.substr(0, columns == 0 ? 0 : columns - 1) : text;
  for (char16_t unit : kept) {
    if (unit < 0x80) {
      out.push_back(static_cast<char>(unit));
    } else {
      out.push_back(static_cast<char>(0xC0 | unit >> 6));
      out.push_back(static_cast<char>(0x80 | (unit & 0x3F)));
    }
  }
  if (cut && columns != 0) out.append("\u2026");
  if (!cut) out.append(columns - text.size(), ' ');
}

}  // namespace tarvex::cli
