#pragma once

// The pattern-group matcher: the captured texts of every match of a header pattern (see
// pattern/header_pattern_syntax.h), as the mail preview takes header values out of transport
// headers.

#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

// Searches `input` from its start, match after match without overlap, and appends to
// `groups` (emptied first) the texts of capture groups 0 to group_count - 1 of each match,
// stopping at the first group that took no part. Unless `keep_duplicates`, a text already in
// `groups` is not added again; with `case_sensitive` off that comparison ignores the case of
// a-z, as the C runtime compares in its default locale. Returns false, with `groups` empty,
// when the pattern or the input is empty, group_count is below 1, the pattern does not
// compile or the search gives up on hostile input; true otherwise, also when nothing matched.
bool FindPatternGroups(std::u16string_view pattern, bool case_sensitive, int group_count,
                       std::u16string_view input, std::vector<std::u16string>& groups,
                       bool keep_duplicates);

}  // namespace tarvex
