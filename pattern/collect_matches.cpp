#include "pattern/collect_matches.h"

#include "pattern/regex.h"

namespace tarvex {

std::u16string CollectMatches(std::u16string_view pattern, std::u16string_view input) {
  if (pattern.empty() || input.empty()) return {};
  try {
    const Regex regex(pattern);
    const RegexMatches matches = regex.Matches(input);
    std::u16string joined;
    for (std::size_t i = 0; i < matches.Count(); ++i) {
      joined += matches[i].Value();
      joined += u',';
    }
    return joined;
  } catch (const RegexError&) {
    return {};
  }
}

}  // namespace tarvex
