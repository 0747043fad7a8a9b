#pragma once

// Conversion between the program's UTF-16 text and 8-bit text of a Windows code page, for the
// files written and read in a chosen code page.

#include <string>
#include <string_view>

namespace tarvex {

// The code page number that stands for the system ANSI code page (Windows-1252 here).
inline constexpr int kSystemCodePage = -1;
inline constexpr int kUtf8CodePage = 65001;

// Characters the code page cannot hold become `unknown` (one per character, a surrogate pair
// counting as one); UTF-8 holds everything. A code page the platform does not know converts
// as Windows-1252.
std::string WideToCodePage(std::u16string_view text, int code_page, char unknown);

// Bytes that do not form a character of the code page become U+FFFD.
std::u16string CodePageToWide(std::string_view bytes, int code_page);

}  // namespace tarvex
