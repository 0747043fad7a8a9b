#pragma once

// A compiled PCRE2 pattern over UTF-16 text and the walk over its successive matches. Both
// the regular-expression facade and the pattern-group matcher run on it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

struct pcre2_real_code_16;

namespace tarvex {

struct RegexOptions {
  bool caseless = false;
  // "." also matches line ends.
  bool dot_all = false;
  // \d, \s, \w, \b and POSIX classes use Unicode properties instead of ASCII.
  bool unicode_classes = false;
};

struct RegexCompileError {
  std::u16string message;
  std::size_t offset = 0;  // code unit of the pattern where compiling stopped
};

// Code-unit offsets into the subject; `matched` is false for a group that took no part.
struct RegexSpan {
  std::size_t begin = 0;
  std::size_t end = 0;
  bool matched = false;
};

class RegexProgram {
 public:
  // Compiles PCRE2 syntax in UTF mode. Subjects may hold ill-formed UTF-16 (lone surrogates
  // from a damaged store): such units never match and no match crosses them.
  static std::optional<RegexProgram> Compile(std::u16string_view pattern,
                                             const RegexOptions& options,
                                             RegexCompileError* error = nullptr);

  // Number of capture groups, the whole match not counted.
  std::uint32_t CaptureCount() const;

  // Receives spans[0] for the whole match and spans[i] for group i; returns false to stop.
  using Visitor = std::function<bool(std::span<const RegexSpan> spans)>;

  // Visits the matches from the start of `subject`, left to right and without overlap: each
  // search starts where the previous match ended, one character later after an empty match
  // (never between the halves of a surrogate pair). Returns false when the matcher gave up
  // (a resource limit on hostile input); the matches visited until then stand.
  bool ForEachMatch(std::u16string_view subject, const Visitor& visit) const;

 private:
  struct CodeFreer {
    void operator()(pcre2_real_code_16* code) const;
  };
  using Code = std::unique_ptr<pcre2_real_code_16, CodeFreer>;

  explicit RegexProgram(Code code) : code_(std::move(code)) {}

  Code code_;
};

}  // namespace tarvex
