#include "mailbox/folder_path.h"

#include <algorithm>
#include <cstdint>

#include "store/folder_key.h"

namespace tarvex {
namespace {

// Position of a unit in the path order: the separators first, then the units folded to lower
// case as a case-insensitive comparison of these texts does.
std::uint32_t PathRank(char16_t unit) {
  if (unit == u'+') return 0;
  if (unit == u'/') return 1;
  if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit - u'A' + u'a');
  return static_cast<std::uint32_t>(unit) + 2;
}

std::u16string_view PathPart(std::u16string_view composite_path) {
  return composite_path.substr(0, composite_path.find(u'+'));
}

}  // namespace

std::u16string CleanFolderPath(std::u16string_view path) {
  std::u16string cleaned;
  cleaned.reserve(path.size());
  for (char16_t unit : path) {
    switch (unit) {
      case u'%':
      case u'.':
        cleaned.push_back(u'_');
        break;
      case u',':
      case u'?':
      case u'(':
      case u')':
        break;
      default:
        cleaned.push_back(unit);
    }
  }
  return cleaned;
}

bool FolderPathLess(std::u16string_view a, std::u16string_view b) {
  return std::lexicographical_compare(
      a.begin(), a.end(), b.begin(), b.end(),
      [](char16_t x, char16_t y) { return PathRank(x) < PathRank(y); });
}

std::size_t FolderPathDepth(std::u16string_view composite_path) {
  const std::u16string_view path = PathPart(composite_path);
  return static_cast<std::size_t>(std::count(path.begin(), path.end(), u'/'));
}

bool IsFinderFolderPath(std::u16string_view composite_path) {
  constexpr std::u16string_view kFinder = u"/Finder";
  const std::u16string_view path = PathPart(composite_path);
  for (std::size_t found = path.find(kFinder); found != std::u16string_view::npos;
       found = path.find(kFinder, found + 1)) {
    const std::size_t after = found + kFinder.size();
    if (after == path.size() || path[after] == u'/') return true;
  }
  return false;
}

std::u16string ContentTableName(std::u16string_view folder_id_text) {
  const std::u16string_view counter =
      folder_id_text.size() > 1 ? folder_id_text.substr(1, 14) : std::u16string_view();
  if (counter.size() == 14 && counter.find_first_not_of(u'0') == std::u16string_view::npos) {
    return u"1-" + std::u16string(counter);
  }
  return FolderTableName(folder_id_text);
}

}  // namespace tarvex
