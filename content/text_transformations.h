#pragma once

// Fixed transformations of the sender, recipient and date texts before they go into a page or
// an export record. Pure functions of their input. (Joining texts needs no helper: it is "+".)

#include <string>
#include <string_view>

namespace tarvex {

// The e-mail addresses in a sender or recipient text, in order of appearance, each followed by
// ","; empty when there is none. Display names, quotes, brackets and X.500 forms are dropped;
// hyphens, apostrophes and plus signs inside addresses are kept.
std::u16string ExtractMailAddresses(std::u16string_view text);

// Makes each doubled space (pairs taken from the left, not overlapping) a single space and
// removes every other space: "J o h n  D o e" becomes "John Doe".
std::u16string CollapseRecipientSpaces(std::u16string_view text);

// "<" becomes "[" and ">" becomes "]", so that "Ann <ann@example.com>" shows as
// "Ann [ann@example.com]" in a page.
std::u16string EscapeAngleBrackets(std::u16string_view text);
void EscapeAngleBracketsInPlace(std::u16string& text);

// Replaces every three-letter English month name (Jan to Dec) with its number 1 to 12:
// "Dec,05 2010 09:03:07" becomes "12,05 2010 09:03:07".
std::u16string MonthNamesToNumbers(std::u16string_view text);

}  // namespace tarvex
