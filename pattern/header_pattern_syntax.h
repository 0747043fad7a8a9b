#pragma once

// The header patterns of the mail preview are written in a compact syntax (the one of ATL's
// regular-expression template); this translates it into PCRE2 syntax:
//   {...} capture group, numbered from 0 in order of the opening brace (PCRE2 group n + 1)
//   (...) grouping without capture        |  alternation
//   ? * +  optional, zero or more, one or more; followed by ? they take as few as possible
//   .      any character, line ends included (compile with dot_all)
//   [...]  character class, [^...] negated, a-z ranges, \x a literal x
//   ^      at the very start: start of the text     $  at the very end: end of the text
//   !x     x does not match here (a lookahead; consumes nothing)
//   \0-\9  the text of that group again
//   \a [a-zA-Z0-9]  \b [ \t]  \c [a-zA-Z]  \d [0-9]  \h [0-9a-fA-F]  \n a line end (CR,
//   optional CR + LF)  \q a "double" or 'single' quoted text  \w [a-zA-Z]+  \z [0-9]+
//   \ and any other character: that character; any other character stands for itself.

#include <optional>
#include <string>
#include <string_view>

namespace tarvex {

// None when the pattern is malformed (unbalanced brackets, a quantifier with nothing to
// repeat, a trailing backslash, nesting too deep to translate safely).
std::optional<std::u16string> TranslateHeaderPattern(std::u16string_view pattern);

}  // namespace tarvex
