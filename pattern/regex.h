#pragma once

// The regular-expression facade: a compiled pattern, the matches of one search and their
// captured spans, all returned by value as UTF-16 text. Patterns use the usual Perl-style
// syntax with case-sensitive matching; \w, \W, \b and \B have their Unicode meaning (letters,
// decimal digits, combining marks and connector punctuation of any script).

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "pattern/regex_program.h"

namespace tarvex {

// Raised when a pattern does not compile, or when a search gives up on hostile input.
class RegexError : public std::runtime_error {
 public:
  RegexError(std::u16string message, std::size_t offset);

  const std::u16string& Message() const { return message_; }
  // Where compiling stopped, in code units of the pattern as the engine saw it (with the word
  // classes spelled out); 0 for a search that gave up.
  std::size_t Offset() const { return offset_; }

 private:
  std::u16string message_;
  std::size_t offset_;
};

class RegexCapture {
 public:
  RegexCapture() = default;
  RegexCapture(std::u16string_view value, std::size_t index)
      : value_(value), index_(index), success_(true) {}

  const std::u16string& Value() const { return value_; }
  // Code unit of the input where the span begins.
  std::size_t Index() const { return index_; }
  std::size_t Length() const { return value_.size(); }
  // False for a group that took no part in the match; its value is then empty.
  bool Success() const { return success_; }

 private:
  std::u16string value_;
  std::size_t index_ = 0;
  bool success_ = false;
};

class RegexMatch : public RegexCapture {
 public:
  // groups[0] is the whole match, groups[i] capture group i.
  explicit RegexMatch(std::vector<RegexCapture> groups)
      : RegexCapture(groups.at(0)), groups_(std::move(groups)) {}

  const std::vector<RegexCapture>& Groups() const { return groups_; }

 private:
  std::vector<RegexCapture> groups_;
};

class RegexMatches {
 public:
  explicit RegexMatches(std::vector<RegexMatch> matches) : matches_(std::move(matches)) {}

  std::size_t Count() const { return matches_.size(); }
  // Throws std::out_of_range for an index at or past Count().
  const RegexMatch& operator[](std::size_t index) const { return matches_.at(index); }

 private:
  std::vector<RegexMatch> matches_;
};

class Regex {
 public:
  // Throws RegexError when the pattern does not compile.
  explicit Regex(std::u16string_view pattern);

  // Every match in `input`, in order and without overlap; after an empty match the search
  // moves on by one character. Throws RegexError when the search gives up.
  RegexMatches Matches(std::u16string_view input) const;

 private:
  RegexProgram program_;
};

}  // namespace tarvex
