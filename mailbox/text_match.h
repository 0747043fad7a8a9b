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
  // A plain text of ASCII characters, lower case, and whether it must be the whole text: an
  // ASCII text is matched against it directly, as the engine would (beyond ASCII the engine
  // folds case by Unicode: "k" also matches the Kelvin sign).
  std::optional<std::u16string> ascii_wanted_;
  bool whole_text_ = false;
};

}  // namespace tarvex
