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

std::optional<int> CharsetCodePage(int charset) {
  switch (charset) {
    case 2:  // symbol fonts: their bytes read best as Latin-1 shapes
      return 1252;
    case 77:
      return 10000;
    case 128:
      return 932;
    case 129:
      return 949;
    case 130:
      return 1361;
    case 134:
      return 936;
    case 136:
      return 950;
    case 161:
      return 1253;
    case 162:
      return 1254;
    case 163:
      return 1258;
    case 177:
      return 1255;
    case 178:
      return 1256;
    case 186:
      return 1257;
    case 204:
      return 1251;
    case 222:
      return 874;
    case 238:
      return 1250;
    case 254:
      return 437;
    case 255:
      return 850;
    default:
      return std::nullopt;
  }
}

}  // namespace tarvex
