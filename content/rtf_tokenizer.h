#pragma once

// The lexical level of RTF: group braces, control words with their parameters, control
// symbols, "\'hh" escapes and text, read from RTF as stored (8-bit) or already widened to
// UTF-16. Never reads past the input; line ends in the source are not text and are passed
// over.

#include <cstddef>
#include <string>
#include <string_view>

namespace tarvex {

struct RtfToken {
  enum class Kind {
    kEnd,
    kGroupOpen,
    kGroupClose,
    kWord,         // `word`, `has_parameter`, `parameter`
    kSymbol,       // a backslash and one non-letter `unit` ("\~", "\*", "\{" ...)
    kEscapedByte,  // "\'hh": `unit` is the byte
    kText,         // `unit` is a byte of text (RTF as stored, or an ASCII unit)
    kWideText,     // `unit` is a UTF-16 unit from 0x80 up (widened RTF only)
  };
  Kind kind = Kind::kEnd;
  std::string word;  // at most 32 letters; longer runs of letters are read but not kept
  bool has_parameter = false;
  int parameter = 0;  // clamped to the 32-bit range
  unsigned unit = 0;
};

class RtfTokenizer {
 public:
  explicit RtfTokenizer(std::string_view rtf) : bytes_(rtf), size_(rtf.size()) {}
  explicit RtfTokenizer(std::u16string_view rtf) : units_(rtf), wide_(true), size_(rtf.size()) {}

  // Reads the next token into `token`, whose word keeps its room from one token to the next
  // (a document is mostly one-character tokens); false at the end.
  bool Next(RtfToken& token);

  // Passes over binary data (\binN): `count` units, or what is left of the input.
  void SkipData(std::size_t count);

 private:
  unsigned At(std::size_t index) const {
    return wide_ ? units_[index] : static_cast<unsigned char>(bytes_[index]);
  }
  void ReadWord(RtfToken& token);

  std::string_view bytes_;
  std::u16string_view units_;
  bool wide_ = false;
  std::size_t size_ = 0;
  std::size_t pos_ = 0;
};

}  // namespace tarvex
