#pragma once

// The visible text of an RTF document, as a rich-text control shows it: text in reading order,
// paragraph and line ends as CR LF, table cells separated by tabs and rows ended by CR LF.
// Font and colour tables, the style sheet, document information, pictures, field instructions
// and every "\*" destination the reader does not know contribute nothing. HTML carried inside
// RTF (\fromhtml1) gives the visible text of that HTML.
//
// The input is untrusted: any byte sequence gives some text, never a read past its end, and
// nesting depth costs no recursion. Input that does not start with "{\rtf" is taken as plain
// text, as a rich-text control takes it.

#include <string>
#include <string_view>

namespace tarvex {

// RTF as stored: 8-bit text whose "\'hh" escapes and literal high bytes are read in the code
// page of their font (\fcharset, \cpg) or of the document (\ansicpg).
std::u16string RtfToPlainText(std::string_view rtf);

// RTF already widened to UTF-16: units from 0x80 up are characters as they stand; "\'hh"
// escapes are still read in their font's code page.
std::u16string RtfToPlainText(std::u16string_view rtf);

}  // namespace tarvex
