#pragma once

// Windows-1252, the code page the program reads 8-bit catalogue text in and calls "ANSI".

#include <string>
#include <string_view>

namespace tarvex {

// Every byte maps to one unit. The five bytes 1252 leaves undefined (81, 8D, 8F, 90, 9D)
// become the C1 controls of the same value, as Windows itself converts them.
std::u16string Windows1252ToUtf16(std::string_view bytes);
char16_t Windows1252ToUtf16(unsigned char byte);

// Characters outside the code page become `unknown` (a lone surrogate half counts as one
// character; a pair counts as one character too).
std::string Utf16ToWindows1252(std::u16string_view text, char unknown = '?');

}  // namespace tarvex
