#pragma once

// What an RTF document says about the code pages of its 8-bit text: the document's ANSI code
// page (\ansicpg, \ansi, \mac, \pc, \pca), its default font (\deff) and, per font of the font
// table, a charset (\fcharset) or an explicit code page (\cpg).

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tarvex {

class RtfFonts {
 public:
  // A document-level word; false when the word is not one of them.
  bool DocumentWord(std::string_view word, bool has_parameter, int parameter);
  // A word inside the font table: \f starts an entry, \fcharset and \cpg describe it.
  void FontTableWord(std::string_view word, int parameter);

  // The code page of text in font `font` (-1: the default font).
  int CodePageOf(int font) const;

 private:
  struct Entry {
    std::optional<int> charset_code_page;
    std::optional<int> code_page;  // \cpg wins over the charset
  };

  int code_page_ = 1252;
  int default_font_ = 0;
  int current_entry_ = 0;
  std::unordered_map<int, Entry> entries_;
};

// The Windows code page of an RTF font charset; none for the charsets that take the
// document's code page (0 and 1) and for unknown values.
std::optional<int> CharsetCodePage(int charset);

// Bytes of text in a Windows code page.
std::u16string DecodeCodePageBytes(std::string_view bytes, int code_page);

}  // namespace tarvex
