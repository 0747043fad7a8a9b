#pragma once

// What the RTF reader needs to know about individual control words: which groups hold no
// document text, which words stand for a character, and which code page a font charset means.

#include <optional>
#include <string_view>

namespace tarvex {

// Destinations whose content never shows: tables, document information, pictures, field
// instructions, headers and footers, list numbering text and the like.
bool IsHiddenDestination(std::string_view word);

// The text a symbol word stands for ("\emdash", "\tab", "\lquote" ...), or none.
std::optional<std::u16string_view> SymbolWordText(std::string_view word);

// The Windows code page of an RTF font charset (\fcharsetN); none for the charsets that take
// the document's code page (0 and 1) and for unknown values.
std::optional<int> CharsetCodePage(int charset);

}  // namespace tarvex
