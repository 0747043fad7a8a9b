#include "pattern/pattern_groups.h"

#include <unordered_set>

#include "base/utf16_text.h"
#include "pattern/header_pattern_syntax.h"
#include "pattern/regex_program.h"

namespace tarvex {

bool FindPatternGroups(std::u16string_view pattern, bool case_sensitive, int group_count,
                       std::u16string_view input, std::vector<std::u16string>& groups,
                       bool keep_duplicates) {
  groups.clear();
  if (pattern.empty() || group_count < 1 || input.empty()) return false;
  const std::optional<std::u16string> translated = TranslateHeaderPattern(pattern);
  if (!translated) return false;
  const std::optional<RegexProgram> program = RegexProgram::Compile(
      *translated, RegexOptions{.caseless = !case_sensitive, .dot_all = true});
  if (!program) return false;

  // Keys of the texts collected so far, so that duplicates are found without rescanning.
  std::unordered_set<std::u16string> collected;
  const std::size_t wanted = static_cast<std::size_t>(group_count);
  const bool completed = program->ForEachMatch(input, [&](std::span<const RegexSpan> spans) {
    // spans[0] is the whole match; the pattern's group n is PCRE2 group n + 1.
    for (std::size_t group = 1; group <= wanted && group < spans.size(); ++group) {
      const RegexSpan& span = spans[group];
      if (!span.matched) break;
      std::u16string text(input.substr(span.begin, span.end - span.begin));
      if (!keep_duplicates &&
          !collected.insert(case_sensitive ? text : ToAsciiUpper(text)).second) {
        continue;
      }
      groups.push_back(std::move(text));
    }
    return true;
  });
  if (!completed) {
    groups.clear();
    return false;
  }
  return true;
}

}  // namespace tarvex
