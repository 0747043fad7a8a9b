#pragma once

// Helpers for the program's own text, which is UTF-16 throughout.

#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

// Replaces every non-overlapping occurrence of `from`, scanning left to right.
// An empty `from` leaves the text unchanged.
void ReplaceAll(std::u16string& text, std::u16string_view from, std::u16string_view to);
std::u16string ReplacedAll(std::u16string_view text, std::u16string_view from,
                           std::u16string_view to);

// Removes the given characters from both ends (by default blanks, tabs and line ends).
std::u16string Trim(std::u16string_view text, std::u16string_view characters = u" \t\r\n");
void TrimInPlace(std::u16string& text, std::u16string_view characters = u" \t\r\n");

// Upper-cases a to z only; every other unit is kept as it is.
std::u16string ToAsciiUpper(std::u16string_view text);
char16_t ToAsciiUpper(char16_t unit);

bool StartsWithIgnoringAsciiCase(std::u16string_view text, std::u16string_view prefix);
bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b);

// The first `unit` at or after `from`, as std::u16string_view::find gives it, found by the C
// library's byte search (long texts: header blocks and bodies are searched line by line).
std::size_t FindUnit(std::u16string_view text, char16_t unit, std::size_t from = 0);

// Splits at every separator; empty pieces are kept, so "a--b" gives "a", "", "b".
std::vector<std::u16string> Split(std::u16string_view text, char16_t separator);

// Widens ASCII text (a literal or a number formatted with snprintf).
std::u16string FromAscii(std::string_view ascii);

// "&", "<", ">", and both quotes as character references.
std::u16string EscapeHtml(std::u16string_view text);

}  // namespace tarvex
