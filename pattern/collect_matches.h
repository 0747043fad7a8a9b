#pragma once

// All matches of a facade pattern in one text, as one comma-terminated list.

#include <string>
#include <string_view>

namespace tarvex {

// The value of every match of `pattern` in `input`, in order and without overlap, each
// followed by ",". Empty when either text is empty, when nothing matches, and when the
// pattern does not compile or the search gives up (a clean failure instead of a throw into a
// worker thread).
std::u16string CollectMatches(std::u16string_view pattern, std::u16string_view input);

}  // namespace tarvex
