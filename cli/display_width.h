#pragma once

// How many terminal columns UTF-8 text takes: wide East Asian characters take two, combining
// marks and other zero-width characters none, as terminals count them (wcwidth). Tables and
// the progress line are laid out by this, not by bytes.

#include <cstddef>
#include <string>
#include <string_view>

namespace tarvex::cli {

std::size_t DisplayWidth(std::string_view utf8);

// The text cut to at most `columns` columns, its end replaced by "…" when it was cut.
std::string FitToWidth(std::string_view utf8, std::size_t columns);

// The text cut to fit, then filled with spaces to exactly `columns` columns.
std::string PadToWidth(std::string_view utf8, std::size_t columns);
// The same, appended to `out`.
void AppendPaddedToWidth(std::string_view utf8, std::size_t columns, std::string& out);
// The store's text as a terminal shows it (TerminalText), cut and padded the same, appended to
// `out`: a column of a table of a million lines, most of whose texts are taken over unit by
// unit.
void AppendTerminalColumn(std::u16string_view text, std::size_t columns, std::string& out);

}  // namespace tarvex::cli
