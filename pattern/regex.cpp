#include "pattern/regex.h"

#include "base/utf_conversion.h"
#include "pattern/word_class_syntax.h"

namespace tarvex {
namespace {

RegexProgram CompileOrThrow(std::u16string_view pattern) {
  RegexCompileError error;
  std::optional<RegexProgram> program = RegexProgram::Compile(
      WithUnicodeWordClasses(pattern), RegexOptions{.unicode_classes = true}, &error);
  // The offset refers to the rewritten pattern, so only the message is passed on as exact.
  if (!program) throw RegexError(error.message, error.offset);
  return std::move(*program);
}

}  // namespace

RegexError::RegexError(std::u16string message, std::size_t offset)
    : std::runtime_error(Utf16ToUtf8(message)), message_(std::move(message)), offset_(offset) {}

Regex::Regex(std::u16string_view pattern) : program_(CompileOrThrow(pattern)) {}

RegexMatches Regex::Matches(std::u16string_view input) const {
  std::vector<RegexMatch> matches;
  const bool completed = program_.ForEachMatch(input, [&](std::span<const RegexSpan> spans) {
    std::vector<RegexCapture> groups;
    groups.reserve(spans.size());
    for (const RegexSpan& span : spans) {
      if (span.matched) {
        groups.emplace_back(input.substr(span.begin, span.end - span.begin), span.begin);
      } else {
        groups.emplace_back();
      }
    }
    matches.emplace_back(std::move(groups));
    return true;
  });
  if (!completed) throw RegexError(u"the search gave up on this input", 0);
  return RegexMatches(std::move(matches));
}

}  // namespace tarvex
