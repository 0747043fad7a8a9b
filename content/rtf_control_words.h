#pragma once

// What the RTF reader needs to know about individual control words: which groups hold no
// document text and which words stand for a character.

#include <optional>
#include <string_view>

namespace tarvex {

// Destinations whose content never shows: tables, document information, pictures, field
// instructions, headers and footers, list numbering text and the like.
bool IsHiddenDestination(std::string_view word);

// The text a symbol word stands for ("\emdash", "\tab", "\lquote" ...), or none.
std::optional<std::u16string_view> SymbolWordText(std::string_view word);

}  // namespace tarvex
