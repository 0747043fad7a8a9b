#pragma once

// What the user typed matched against the store's texts: without regard to case, for every
// script (the regular-expression engine folds case by Unicode), as a whole text, as a part of
// one, or as a regular expression.

#include <optional>
#include <string>
#include <string_view>

#include "pattern/regex_program.h"

namespace tarvex {

enum class TextMatchMode { kWholeText, kPart, kRegex };

class TextMatch {
 public:
  // None when a regular expression does not compile; `error` then says why.
  static std::optional<TextMatch> Make(std::u16string_view wanted, TextMatchMode mode,
                                       std::u16string* error = nullptr);

  bool Matches(std::u16string_view text) const;

 private:
  explicit TextMatch(RegexProgram program) : program_(std::move(program)) {}

  RegexProgram program_;
  // A plain text of ASCII characters, lower case, and whether it must be the whole text: a text
  // is matched against it directly, as the engine would. Beyond ASCII the engine folds only two
  // characters to ASCII letters, the Kelvin sign to "k" and the long s to "s": a text holding one
  // that the wanted text has a letter for goes to the engine.
  std::optional<std::u16string> ascii_wanted_;
  bool whole_text_ = false;
  std::u16string folding_to_wanted_;  // of U+212A and U+017F, those that fold into the text
};

}  // namespace tarvex
