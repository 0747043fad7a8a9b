#include "pattern/cm_regex.h"

#include "base/utf_conversion.h"
#include "pattern/word_class_syntax.h"

namespace tarvex {
namespace {

RegexProgram CompileOrThrow(std::u16string_view pattern) {
  RegexCompileError error;
  std::optional<RegexProgram> program = RegexProgram::Compile(
      WithUnicodeWordClasses(pattern), RegexOptions{.unicode_classes = true}, &error);
  // The offset refers to the rewritten pattern, so only the message is passed on as exact.
  if (!program) throw CMException(error.message, error.offset);
  return std::move(*program);
}

}  // namespace

CMException::CMException(std::u16string message, std::size_t offset)
    : std::runtime_error(Utf16ToUtf8(message)), message_(std::move(message)), offset_(offset) {}

CMRegex::CMRegex(std::u16string_view pattern) : program_(CompileOrThrow(pattern)) {}

CMMatchCollection CMRegex::Matches(std::u16string_view input) const {
  std::vector<CMMatch> matches;
  const bool completed = program_.ForEachMatch(input, [&](std::span<const RegexSpan> spans) {
    std::vector<CMCapture> groups;
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
  if (!completed) throw CMException(u"the search gave up on this input", 0);
  return CMMatchCollection(std::move(matches));
}

}  // namespace tarvex
