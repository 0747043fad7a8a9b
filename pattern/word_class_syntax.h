#pragma once

// In the facade's patterns \w is a letter, a decimal digit, a combining mark (spacing or not)
// or connector punctuation, of any script; other numbers (superscripts, Roman numerals) are
// not word characters. PCRE2 (before 10.43) gives \w, even in UCP mode, all numbers but no marks
// and no connector punctuation other than "_", so those escapes are spelled out as Unicode
// properties.

#include <string>
#include <string_view>

namespace tarvex {

// Rewrites \w, \W, \b and \B (and \w, \W inside character classes) as property classes;
// everything else is passed on for PCRE2 to judge. A "[" inside a class stands for itself.
std::u16string WithUnicodeWordClasses(std::u16string_view pattern);

}  // namespace tarvex
