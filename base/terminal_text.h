#pragma once

// Text from the store as a terminal is to show it. Names and subjects are the store's, and a
// terminal obeys what it is sent: a line feed forges a line, ESC starts a sequence that moves
// the cursor, recolours, retitles or clears the screen, a bidirectional override reverses what
// follows. Such characters are written as visible escapes instead: "\n", "\r", "\t", "\x1b"
// for C0 controls and DEL, "\u0085" for C1 controls, line and paragraph separators, and the
// bidirectional marks, embeddings, overrides and isolates. Everything else stays as it is.

#include <string>
#include <string_view>

namespace tarvex {

enum class LineBreaks { kEscaped, kKept };

// UTF-8 for the terminal. With kKept, "\n" and "\r\n" still end a line (the program's own
// multi-line messages).
std::string TerminalText(std::u16string_view text, LineBreaks line_breaks = LineBreaks::kEscaped);
std::string TerminalText(std::string_view utf8, LineBreaks line_breaks = LineBreaks::kEscaped);

// JSON text (as nlohmann's dump() writes it: C0 controls already escaped) with DEL and the
// invisible controls above written as "\u0085" escapes too: still the same JSON value.
std::string TerminalSafeJson(std::string_view json);

}  // namespace tarvex
