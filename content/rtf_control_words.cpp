#include "content/rtf_control_words.h"

#include <algorithm>
#include <array>
#include <utility>

namespace tarvex {
namespace {

// Sorted, so that a lookup is a binary search.
constexpr std::array<std::string_view, 63> kHiddenDestinations = {
    "annotation", "atnauthor",    "atnid",
    "author",     "bkmkend",      "bkmkstart",
    "blipuid",    "buptim",       "colorschememapping",
    "colortbl",   "comment",      "company",
    "creatim",    "datafield",    "datastore",
    "defchp",     "defpap",       "doccomm",
    "docvar",     "falt",         "fchars",
    "ffdeftext",  "ffentrymcr",   "ffexitmcr",
    "ffformat",   "ffhelptext",   "ffl",
    "ffname",     "ffstattext",   "filetbl",
    "fldinst",    "fontemb",      "fontfile",
    "fonttbl",    "footer",       "footerf",
    "footerl",    "footerr",      "footnote",
    "generator",  "header",       "headerf",
    "headerl",    "headerr",      "info",
    "keywords",   "latentstyles", "listoverridetable",
    "listtable",  "listtext",     "mmathPr",
    "nonshppict", "objdata",      "operator",
    "panose",     "pict",         "pntext",
    "printim",    "revtbl",       "revtim",
    "rsidtbl",    "stylesheet",   "themedata",
};

// Only the document's own words are here; \par, \line, \cell and \row shape the text and are
// handled by the reader.
constexpr std::array<std::pair<std::string_view, std::u16string_view>, 17> kSymbolWords = {{
    {"bullet", u"\u2022"},
    {"emdash", u"\u2014"},
    {"emspace", u"\u2003"},
    {"endash", u"\u2013"},
    {"enspace", u"\u2002"},
    {"ldblquote", u"\u201C"},
    {"lquote", u"\u2018"},
    {"ltrmark", u"\u200E"},
    {"qmspace", u"\u2005"},
    {"rdblquote", u"\u201D"},
    {"rquote", u"\u2019"},
    {"rtlmark", u"\u200F"},
    {"tab", u"\t"},
    {"zwbo", u"\u200B"},
    {"zwj", u"\u200D"},
    {"zwnbo", u"\uFEFF"},
    {"zwnj", u"\u200C"},
}};

static_assert(std::is_sorted(kHiddenDestinations.begin(), kHiddenDestinations.end()));
static_assert(std::is_sorted(kSymbolWords.begin(), kSymbolWords.end()));

}  // namespace

bool IsHiddenDestination(std::string_view word) {
  return std::binary_search(kHiddenDestinations.begin(), kHiddenDestinations.end(), word);
}

std::optional<std::u16string_view> SymbolWordText(std::string_view word) {
  const auto found =
      std::lower_bound(kSymbolWords.begin(), kSymbolWords.end(), word,
                       [](const auto& entry, std::string_view key) { return entry.first < key; });
  if (found == kSymbolWords.end() || found->first != word) return std::nullopt;
  return found->second;
}

}  // namespace tarvex
